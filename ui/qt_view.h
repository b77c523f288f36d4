// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The core's View and Dialogs on top of the status window, callable from any thread.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "session/view.h"
#include "ui/sound_player.h"

namespace fk {

class StatusWindow;

// Control updates from other threads are coalesced per control (the last text, state, range and
// position win) and carried out on the GUI thread within a few milliseconds, so a session that writes
// a line of text a million times a second cannot flood the event queue. Updates, posted commands and
// message boxes keep their order: a command or a box first carries out every update made before it.
// Create on the GUI thread; it must outlive every thread that calls it. The core that takes this view
// may be built before the window: until attach(), updates and posted commands wait.
class QtView : public QObject, public View, public Dialogs {
  Q_OBJECT
 public:
  explicit QtView(QObject* parent = nullptr);
  QtView(StatusWindow& window, StatusCommands& commands, QObject* parent = nullptr);
  ~QtView() override;

  // GUI thread, once: the window to drive and where posted commands go. Carries out what waited.
  void attach(StatusWindow& window, StatusCommands& commands);

  void set_text(ControlId id, const std::string& text) override;
  void set_enabled(ControlId id, bool enabled) override;
  void set_progress_range(ControlId id, int low, int high) override;
  void set_progress(ControlId id, int position) override;
  int pacing_position() const override;
  // Counts in the locale's separators, singular where one.
  void pending_counted(const std::string& group, std::size_t count) override;
  void counters_changed(const SessionCounters& counters) override;
  void group_counted(int index, int total) override;
  void connected_to(const std::string& server, int attempts) override;
  void transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) override;
  void nobody_connected(int attempts, bool waiting) override;
  // Runs StatusCommands::run(command) later on the GUI thread, in the order posted.
  void post_command(Command command) override;

  // Blocks the calling thread until the user answers; on the GUI thread the box runs directly.
  Answer message_box(const std::string& text, const std::string& caption, Icon icon,
                     Buttons buttons) override;
  // Never waits for the sound.
  void beep(Beep kind) override;
  // A file of the working directory; silent when it is missing. Other threads wait until it has
  // played; the GUI thread only queues it, so the window keeps painting (sounds never overlap).
  void play_sound_file(const std::string& file) override;
  bool open_with_viewer(const std::string& path) override;

  // Carries out every queued control update now (GUI thread).
  void flush();

 private:
  struct Update {
    std::optional<std::string> text;
    std::optional<bool> enabled;
    std::optional<std::pair<int, int>> range;
    std::optional<int> position;
  };
  template <class F>
  void record(ControlId id, F&& change);
  bool on_gui_thread() const;

  void run_command(Command command);

  std::atomic<StatusWindow*> window_{nullptr};
  StatusCommands* commands_ = nullptr;
  std::vector<Command> waiting_commands_;  // posted before attach()
  SoundPlayer sounds_;
  QTimer flush_timer_;
  std::mutex mutex_;
  std::map<ControlId, Update> pending_;
  std::map<ControlId, std::pair<int, int>> ranges_;  // what the bars' ranges will be once flushed
  bool flush_scheduled_ = false;
};

}  // namespace fk
