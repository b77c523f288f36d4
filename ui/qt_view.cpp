// SPDX-License-Identifier: GPL-3.0-or-later
// The core's View and Dialogs on top of the status window, callable from any thread.
#include "ui/qt_view.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/data_files.h"
#include "ui/qt_text.h"
#include "ui/status_window.h"

namespace fk {

namespace {

// Worker updates reach the screen this long after the first of a burst at the latest.
constexpr int kFlushDelayMs = 15;

QMessageBox::Icon box_icon(Icon icon) {
  switch (icon) {
    case Icon::None:
      return QMessageBox::NoIcon;
    case Icon::Information:
      return QMessageBox::Information;
    case Icon::Question:
      return QMessageBox::Question;
    case Icon::Warning:
      return QMessageBox::Warning;
    case Icon::Error:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons box_buttons(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
      return QMessageBox::Ok;
    case Buttons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
  }
  return QMessageBox::Ok;
}

Answer run_box(QWidget* parent, const std::string& text, const std::string& caption, Icon icon,
               Buttons buttons) {
  QMessageBox box(box_icon(icon), to_qstring(caption), to_qstring(text), box_buttons(buttons), parent);
  box.setObjectName(QStringLiteral("messageBox"));
  box.setTextFormat(Qt::PlainText);  // texts may carry server replies and authors' "<...>"
  // A message box sizes to its text only; a long caption would be cut in the title bar. Window managers
  // draw captions bold and larger than the text, beside three buttons and the icon.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    QFont title = QApplication::font("QMdiSubWindowTitleBar");
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.2);
    const QFontMetrics metrics(title);
    int wanted = metrics.horizontalAdvance(box.windowTitle()) + metrics.height() * 8;
    if (parent && parent->screen()) wanted = std::min(wanted, parent->screen()->availableGeometry().width() * 3 / 4);
    grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
  // Centred on the window it belongs to, placed before showing so that no later placement moves it.
  if (QWidget* owner = parent ? parent->window() : nullptr; owner && owner->isVisible()) {
    box.adjustSize();
    QPoint at = owner->frameGeometry().center() - QPoint(box.width() / 2, box.height() / 2);
    if (QScreen* screen = owner->screen()) {
      const QRect room = screen->availableGeometry();
      at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - box.width())));
      at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - box.height())));
    }
    box.move(at);
  }
  const int clicked = box.exec();
  switch (buttons) {
    case Buttons::Ok:
      return Answer::Ok;
    case Buttons::OkCancel:
      return clicked == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
    case Buttons::YesNo:
      return clicked == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  return Answer::Ok;
}

}  // namespace

void QtView::pending_counted(const std::string& group, std::size_t count) {
  const QString n = number_text(static_cast<qint64>(count));
  set_text(ControlId::PendingBox, (count == 1 ? QStringLiteral("1 Pending Download From %2")
                                              : QStringLiteral("%1 Pending Downloads From %2").arg(n))
                                      .arg(to_qstring(group))
                                      .toStdString());
}

void QtView::counters_changed(const SessionCounters& c) {
  QString text = QStringLiteral("%1 downloaded from %2, %3 skipped, %4 base64, %5 unknown format")
                     .arg(count_text(c.pictures, QStringLiteral("picture")), count_text(c.articles_examined, QStringLiteral("article")),
                          count_text(c.duplicates, QStringLiteral("duplicate")), number_text(c.base64),
                          number_text(c.unknown_format));
  if (!c.set_progress.empty()) text += QStringLiteral("; ") + to_qstring(c.set_progress);
  set_text(ControlId::PictureSummary, text.toStdString());
}

void QtView::group_counted(int index, int total) {
  set_text(ControlId::GroupCounter,
           QStringLiteral("%1 of %2").arg(number_text(index), count_text(total, QStringLiteral("news group"))).toStdString());
}

void QtView::connected_to(const std::string& server, int attempts) {
  set_text(ControlId::ConnectionStatus,
           QStringLiteral("%1 (%2)").arg(to_qstring(server), count_text(attempts, QStringLiteral("connection attempt")))
               .toStdString());
}

void QtView::transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) {
  set_text(ControlId::ConnectionStatus,
           QStringLiteral("%1 (%2, %3 KB/s)")
               .arg(to_qstring(server), count_text(connections, QStringLiteral("connection")),
                    number_text(std::max<std::int64_t>(bytes_per_second, 0) / 1024))
               .toStdString());
}

void QtView::nobody_connected(int attempts, bool waiting) {
  QString text = QStringLiteral("Nobody... ") + count_text(attempts, QStringLiteral("connection attempt"));
  if (waiting) text += QStringLiteral(", waiting for scheduler");
  set_text(ControlId::ConnectionStatus, text.toStdString());
}

QtView::QtView(QObject* parent) : QObject(parent), flush_timer_(this) {
  flush_timer_.setSingleShot(true);
  flush_timer_.setInterval(kFlushDelayMs);
  connect(&flush_timer_, &QTimer::timeout, this, &QtView::flush);
}

QtView::QtView(StatusWindow& window, StatusCommands& commands, QObject* parent) : QtView(parent) {
  attach(window, commands);
}

void QtView::attach(StatusWindow& window, StatusCommands& commands) {
  {
    std::lock_guard lock(mutex_);
    for (ControlId id : {ControlId::GroupsProgress, ControlId::ArticleProgress, ControlId::PacingTrackbar}) {
      const auto range = window.range_of(id);
      if (!range || ranges_.count(id)) continue;
      ranges_[id] = *range;
      auto queued = pending_.find(id);
      if (queued != pending_.end() && queued->second.position)
        queued->second.position = std::clamp(*queued->second.position, range->first, range->second);
    }
  }
  commands_ = &commands;
  window_.store(&window);
  flush();
  for (Command c : std::exchange(waiting_commands_, {})) commands_->run(c);
}

QtView::~QtView() = default;

bool QtView::on_gui_thread() const {
  return QThread::currentThread() == thread();
}

template <class F>
void QtView::record(ControlId id, F&& change) {
  bool schedule = false;
  {
    std::lock_guard lock(mutex_);
    change(pending_[id]);
    schedule = !flush_scheduled_;
    flush_scheduled_ = true;
  }
  if (on_gui_thread()) {
    flush();
  } else if (schedule) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!flush_timer_.isActive()) flush_timer_.start();
        },
        Qt::QueuedConnection);
  }
}

void QtView::flush() {
  StatusWindow* window = window_.load();
  if (!window) return;  // kept until attach()
  std::map<ControlId, Update> updates;
  {
    std::lock_guard lock(mutex_);
    updates.swap(pending_);
    flush_scheduled_ = false;
  }
  for (auto& [id, u] : updates) {
    if (u.text) window->apply_text(id, to_qstring(*u.text));
    if (u.enabled) window->apply_enabled(id, *u.enabled);
    if (u.range) window->apply_range(id, u.range->first, u.range->second);
    if (u.position) window->apply_position(id, *u.position);
  }
}

void QtView::set_text(ControlId id, const std::string& text) {
  record(id, [&](Update& u) { u.text = text; });
}

void QtView::set_enabled(ControlId id, bool enabled) {
  record(id, [&](Update& u) { u.enabled = enabled; });
}

void QtView::set_progress_range(ControlId id, int low, int high) {
  high = std::max(low, high);
  record(id, [&](Update& u) {
    // The bar keeps its position inside the new range; a queued position moves with it.
    ranges_[id] = {low, high};
    u.range = std::pair{low, high};
    if (u.position) u.position = std::clamp(*u.position, low, high);
  });
}

void QtView::set_progress(ControlId id, int position) {
  record(id, [&](Update& u) {
    auto range = ranges_.find(id);
    u.position =
        range == ranges_.end() ? position : std::clamp(position, range->second.first, range->second.second);
  });
}

int QtView::pacing_position() const {
  StatusWindow* window = window_.load();
  return window ? window->pacing_position() : 10;  // the trackbar starts at "Fast"
}

void QtView::post_command(Command command) {
  QMetaObject::invokeMethod(
      this, [this, command] { run_command(command); }, Qt::QueuedConnection);
}

void QtView::run_command(Command command) {
  if (!commands_) {
    waiting_commands_.push_back(command);
    return;
  }
  flush();
  commands_->run(command);
}

Answer QtView::message_box(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) {
  auto ask = [&] {
    flush();
    return run_box(window_.load(), text, caption, icon, buttons);
  };
  if (on_gui_thread()) return ask();
  Answer answer = Answer::Cancel;
  QMetaObject::invokeMethod(this, ask, Qt::BlockingQueuedConnection, &answer);
  return answer;
}

void QtView::beep(Beep kind) {
  sounds_.beep(kind);
}

void QtView::play_sound_file(const std::string& file) {
  // The working folder's own sound first, then the one installed with the program.
  static const std::vector<std::string> installed = installed_data_folders();
  const std::string path = find_data_file(file, installed);
  if (path.empty()) return;
  sounds_.play_file(path, !on_gui_thread());
}

bool QtView::open_with_viewer(const std::string& path) {
  auto open = [&] {
    const QString absolute = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absoluteFilePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
  };
  if (on_gui_thread()) return open();
  bool opened = false;
  QMetaObject::invokeMethod(this, open, Qt::BlockingQueuedConnection, &opened);
  return opened;
}

}  // namespace fk
