#pragma once
// The windowed program: the application core behind the Qt status window.

namespace fk {

// Builds the window and the core, runs the start-up sequence and the event loop until Close.
int run_window(int argc, char** argv);

}  // namespace fk
