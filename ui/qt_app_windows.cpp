// SPDX-License-Identifier: GPL-3.0-or-later
// The windows the core opens.
#include "ui/qt_app_windows.h"

#include <QCoreApplication>

#include "ui/desktop_notifier.h"
#include "ui/dialogs.h"
#include "ui/status_window.h"

namespace fk {

QtAppWindows::QtAppWindows(StatusWindow& window, OtherWindows others)
    : window_(&window), others_(std::move(others)) {}

QtAppWindows::QtAppWindows(OtherWindows others) : others_(std::move(others)) {}

bool QtAppWindows::run_setup_sheet() {
  return others_.setup_sheet ? others_.setup_sheet() : false;
}

void QtAppWindows::run_groups_dialog() {
  if (others_.groups_dialog) others_.groups_dialog();
}

void QtAppWindows::harvest_finished(std::int64_t pictures, int groups) {
  if (!notifier_ || !window_) return;
  QMetaObject::invokeMethod(
      window_,
      [this, pictures, groups] {
        if (!window_->isVisible()) return;
        notifier_->notify(harvest_notice(pictures, groups), QStringLiteral("Show Pictures"), open_pictures_);
      },
      Qt::QueuedConnection);
}

bool QtAppWindows::run_welcome_sheet() {
  return others_.welcome_sheet ? others_.welcome_sheet() : false;
}

void QtAppWindows::run_groups_dialog_refreshing() {
  if (others_.groups_dialog_refreshing)
    others_.groups_dialog_refreshing();
  else
    run_groups_dialog();
}

bool QtAppWindows::run_bozo_dialog() {
  return others_.bozo_dialog ? others_.bozo_dialog() : false;
}

void QtAppWindows::show_exit_statistics(const ExitStatistics& stats) {
  ExitStatisticsDialog dialog(window_);
  dialog.set_statistics(stats);
  dialog.exec();
}

void QtAppWindows::close_window() {
  if (window_) window_->close_for_good();
}

void QtAppWindows::process_events() {
  QCoreApplication::processEvents();
}

}  // namespace fk
