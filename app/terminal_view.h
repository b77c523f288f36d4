// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window for a terminal: one line per status change that matters, a live progress line when
// the output is a terminal, message boxes printed and answered with their default.

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "app/commands.h"
#include "session/view.h"

namespace fk {

class TerminalView final : public View, public Dialogs, public AppWindows {
 public:
  // `live` draws the progress line in place (a terminal); otherwise plain lines only.
  TerminalView(std::FILE* out, bool live);

  // View
  void set_text(ControlId id, const std::string& text) override;
  void set_enabled(ControlId, bool) override {}
  void set_progress_range(ControlId id, int low, int high) override;
  void set_progress(ControlId id, int position) override;
  int pacing_position() const override { return 10; }
  void post_command(Command command) override;
  void group_started(const std::string& group, int index, int total) override;
  void overview_checking(std::string_view number) override;
  void pending_counted(const std::string& group, std::size_t count) override;
  void article_started(std::int64_t number) override;
  void article_progress(std::uint32_t, std::uint32_t, std::uint32_t) override {}
  void counters_changed(const SessionCounters& counters) override;
  void group_skipped() override;
  void session_ended(SessionEnd reason, const std::string& detail) override;
  void scheduler_disabled() override {}
  void overview_scanned(const OverviewScanReport& report) override;
  void certificate_unchecked(const std::string& server) override;
  // On the live progress line only: a line a second would bury the rest.
  void transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) override;

  // Dialogs: printed, answered with the default (Ok, Cancel, No).
  Answer message_box(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) override;
  void beep(Beep) override {}
  void play_sound_file(const std::string&) override {}
  bool open_with_viewer(const std::string&) override { return true; }

  // AppWindows: there are no dialogs in a terminal; the setup sheet counts as cancelled.
  bool run_setup_sheet() override { return false; }
  void run_groups_dialog() override {}
  bool run_bozo_dialog() override { return false; }
  void show_exit_statistics(const ExitStatistics& stats) override;
  void close_window() override;

  // The run loop's side: waits until a command is posted, the window is closed or the time has come.
  // Returns the posted command, if any.
  std::optional<Command> wait_command(int timeout_ms);
  bool window_closed() const;
  // Wakes wait_command (a signal arrived).
  void wake();
  // Prints a line of the run loop's own.
  void print(const std::string& line);

 private:
  void print_locked(const std::string& line);
  void redraw_locked();
  void flush_pending_caption_locked();

  std::FILE* out_;
  bool live_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Command> commands_;
  bool closed_ = false;
  bool woken_ = false;
  std::map<ControlId, std::string> texts_;
  std::map<ControlId, std::pair<int, int>> ranges_;
  std::map<ControlId, int> progress_;
  std::string pending_caption_;  // the overview scan's running count, printed once the scan is over
  std::string activity_;         // what the live line shows: the article or overview line at hand
  std::string transfer_;         // and, with several connections, how many and their speed
  bool live_line_shown_ = false;
};

}  // namespace fk
