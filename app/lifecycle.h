// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's start-up (settings, corrections, the thread that loads the histories) and its Close
// (statistics, the hang-up question, the exit statistics, every worker stopped and joined).

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/app_objects.h"
#include "app/commands.h"

namespace fk {

// The one-line name and version of the program: caption, about box and the first lines of fk.log.
std::string banner_line();
// The licence, for --version and the about box: one line, then the usual no-warranty sentence.
std::string licence_lines();

class Lifecycle : private AppObjects {
 public:
  // `commands` opens the setup sheet at a first start, as the Setup button would.
  Lifecycle(const AppObjects& objects, std::string& ini_path, StatusCommands& commands);
  // Joins the start-up thread if stop_workers has not.
  ~Lifecycle();
  Lifecycle(const Lifecycle&) = delete;
  Lifecycle& operator=(const Lifecycle&) = delete;

  // The start-up sequence up to the timer; the histories then load on a thread of its own. Logs only
  // outside the settings lock (the status log reads the settings).
  void start_up();
  // Close: once only; afterwards closed() is true and the window has been told to close.
  void close();
  // Ends the session, the start-up thread and the dial-up threads; once only, also without Close.
  void stop_workers();

  void force_unattended() { force_unattended_ = true; }
  void start_when_ready() { start_when_ready_ = true; }
  void add_start_note(std::string note) { start_notes_.push_back(std::move(note)); }
  ExitStatistics exit_statistics() const;
  bool closed() const { return closed_.load(); }
  bool initialised() const { return initialised_.load(); }

 private:
  void init_thread();
  void ask_hang_up(const Settings& s);
  void run_welcome();

  std::string& ini_path_;
  StatusCommands& commands_;

  std::thread init_;
  bool force_unattended_ = false;
  std::vector<std::string> start_notes_;
  bool start_when_ready_ = false;
  bool workers_stopped_ = false;
  std::atomic<bool> closed_{false};
  std::atomic<bool> initialised_{false};
};

}  // namespace fk
