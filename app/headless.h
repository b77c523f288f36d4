// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The headless mode: the application core with a terminal view, run as an unattended scan.

#include <string>

namespace fk {

class Application;
class Clock;
class View;

// What runs beside the headless loop (the browser view): it hears every event the terminal does and
// presses the buttons through the loop's own command queue.
class HeadlessAddOn {
 public:
  virtual ~HeadlessAddOn() = default;
  // Receives every view event, from any thread.
  virtual View& events() = 0;
  // After the start-up; `commands` takes posted commands as the window's buttons would. False: the run
  // ends with status 1 (the add-on has said why on stderr).
  virtual bool start(Application& app, View& commands) = 0;
  // Before the core goes; nothing of it is touched afterwards.
  virtual void stop() = 0;
};

struct HeadlessOptions {
  std::string dir;        // working directory; empty for the current one
  Clock* clock = nullptr;  // the system clock when null (tests pass their own)
  std::string start_note;  // a line for fk.log after the banner (how the folder was chosen), or empty
  // Keep running after the scan (and without a usable server) until a signal ends the run.
  bool stay = false;
  HeadlessAddOn* add_on = nullptr;
};

// Makes dir the working folder; 0, or 2 after a message on stderr.
int change_working_folder(const std::string& dir);

// The exit status after a download could not be written (full disk, pictures/ not writable).
inline constexpr int kExitWriteFailed = 3;

// Claims the working folder, runs start-up, scans as unattended operation and returns when Close was
// posted: 0 after a completed scan, 1 when waiting cannot help (a folder it cannot write or that another
// instance holds, no server configured, a refused port or use_tls, no newsrc or no subscribed group, a
// name that does not resolve, a refused greeting or login, a server that wants a login) and, without a
// schedule, after headless_attempts failed connects in a row; 2 for a bad --dir, kExitWriteFailed when a
// download could not be written, 128 + signal number after SIGINT/SIGTERM/SIGHUP (STOP, then Close). A
// second of these signals during the stop ends the process at once with 128 + its number.
int run_headless(const HeadlessOptions& options);

}  // namespace fk
