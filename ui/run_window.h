// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windowed program: the application core behind the Qt status window.

#include <functional>
#include <string>

namespace fk {

// What the options ask of the window's start.
struct WindowStart {
  bool start_at_once = false;  // press Start as soon as the histories are loaded
  std::string note;            // a line for fk.log after the banner, or empty
};

// The program's own options, read from what Qt left of argv: an exit status, or -1 to go on.
using ReadOwnOptions = std::function<int(int argc, char** argv, WindowStart& start)>;

// A box for a failure before the status window exists (the folder of --home cannot be used).
void show_start_error(const std::string& message);

// Builds the window and the core, runs the start-up sequence and the event loop until Close.
int run_window(int argc, char** argv, const ReadOwnOptions& read_options);

}  // namespace fk
