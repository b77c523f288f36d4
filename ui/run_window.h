// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windowed program: the application core behind the Qt status window.

#include <functional>

namespace fk {

// The program's own options, read from what Qt left of argv: an exit status, or -1 to go on (setting
// start_at_once to press Start as soon as the histories are loaded).
using ReadOwnOptions = std::function<int(int argc, char** argv, bool& start_at_once)>;

// Builds the window and the core, runs the start-up sequence and the event loop until Close.
int run_window(int argc, char** argv, const ReadOwnOptions& read_options);

}  // namespace fk
