// Entry point of fennick: the window, or the terminal view with --headless.
#include <cstring>
#include <iostream>

#include "store/clock.h"
#include "store/newsrc.h"
#include "store/profile_file.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace {

constexpr const char* kBanner = "Fennick " FK_VERSION " - Usenet picture harvester";

// The first start-up steps that need no window (the application core replaces this).
int headless_startup() {
  fk::SystemClock clock;
  fk::SharedSettings settings;
  fk::StatusLog log(settings, clock);
  log.remove();
  std::string ini_path;
  bool found = fk::locate_settings_file(ini_path);
  fk::ProfileFile ini(ini_path);
  fk::Settings s;
  fk::ArchiveCounters archive;
  fk::load_settings(ini, s, archive);
  settings.set(s);
  int groups = fk::count_subscribed_groups();
  if (groups < 1) log.log_status("Invalid Setup: no subscribed news groups", 0);
  log.log_status(kBanner, 0);
  log.log_status("Finished Reading .ini File", 0);
  fk::apply_startup_corrections(s, log);
  settings.set(s);
  if (!found) log.log_status("Invalid Setup: No .ini file found... creating new one", 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--headless") == 0) return headless_startup();
  std::cerr << "fennick: the window is not built yet; use --headless\n";
  return headless_startup();
}
