#pragma once
// The windowed program: the application core behind the Qt status window.

namespace fk {

// Builds the window and the core, runs the start-up sequence and the event loop until Close. With
// start_at_once, Start is pressed as soon as the histories are loaded.
int run_window(int argc, char** argv, bool start_at_once = false);

}  // namespace fk
