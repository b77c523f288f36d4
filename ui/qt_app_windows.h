// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows the core opens: the exit statistics dialog and closing the status window here; the setup
// sheet, the groups dialog and the blacklist dialog come in as callbacks.

#include <cstdint>
#include <functional>

#include "app/commands.h"

namespace fk {

class DesktopNotifier;
class StatusWindow;

class QtAppWindows : public AppWindows {
 public:
  struct OtherWindows {
    std::function<bool()> setup_sheet;  // true when left with OK
    std::function<void()> groups_dialog;
    std::function<bool()> bozo_dialog;  // true when left with OK
    // A first start's welcome: the sheet (true on OK) and the groups dialog refreshing at once.
    std::function<bool()> welcome_sheet;
    std::function<void()> groups_dialog_refreshing;
  };

  // The window must outlive this object. Missing callbacks act as a dialog left with Cancel.
  explicit QtAppWindows(StatusWindow& window, OtherWindows others = {});
  // For a core built before its window: attach() the window once it exists.
  explicit QtAppWindows(OtherWindows others = {});
  void attach(StatusWindow& window) { window_ = &window; }
  void set_other_windows(OtherWindows others) { others_ = std::move(others); }
  // Where harvest_finished tells the desktop, and what its action opens (the gallery).
  void set_notifier(DesktopNotifier* notifier, std::function<void()> open_pictures) {
    notifier_ = notifier;
    open_pictures_ = std::move(open_pictures);
  }
  // From any thread: a notification while the status window is open.
  void harvest_finished(std::int64_t pictures, int groups) override;

  bool run_setup_sheet() override;
  void run_groups_dialog() override;
  bool run_bozo_dialog() override;
  bool offers_welcome() const override { return static_cast<bool>(others_.welcome_sheet); }
  bool run_welcome_sheet() override;
  void run_groups_dialog_refreshing() override;
  // Modal over the status window; returns when the user has pressed OK.
  void show_exit_statistics(const ExitStatistics& stats) override;
  // Stops the tick and closes the status window (and with it the program's event loop).
  void close_window() override;
  // Runs the window's pending events once (message boxes asked meanwhile open and are answered here).
  void process_events() override;

 private:
  StatusWindow* window_ = nullptr;
  OtherWindows others_;
  DesktopNotifier* notifier_ = nullptr;
  std::function<void()> open_pictures_;
};

}  // namespace fk
