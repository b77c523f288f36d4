// Entry point of fennick: the status window, or the terminal view with --headless.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "app/application.h"
#include "app/headless.h"
#ifdef FK_HAVE_UI
#include "ui/run_window.h"
#endif

namespace {

constexpr const char* kHelp = R"(Usage: fennick [--headless] [--dir PATH]

Fennick harvests pictures from Usenet news groups into pictures/<group>/ of its working folder.

  (no option)   Open the status window.
  --headless    Run without a window: the same start-up and scan, shown as lines on the terminal
                (a live progress line when the output is a terminal). It behaves as unattended
                operation: it starts a scan at once, reconnects after a lost connection as the
                window would, answers message boxes with their default, and exits when the scan is
                complete (status 0). With a schedule set in FENNICK.INI ([SCHEDULE] day flags) it keeps
                running and scans in the scheduled windows. It exits at once with status 1 when
                waiting cannot help: no news server configured, a port that is not a number from
                1 to 65535, a server name that does not resolve, a refused greeting, a refused
                login, a refused TLS certificate or a server without STARTTLS (use_tls=2), a
                working folder it cannot write, or another Fennick already running in that
                folder. It ends the session in order and exits with status 3 when a picture could
                not be written (the disk is full or pictures/ cannot be written); that article is
                not recorded, so the next run fetches it again. SIGINT, SIGTERM or SIGHUP press
                STOP, then Close (statistics saved); the status is then 128 + the signal number. A
                second such signal during that stop ends the program at once.
  --dir PATH    Use PATH as the working folder (FENNICK.INI, newsrc, logs, pictures/ ...).
  --start       With the window: press "Start Fennicking" as soon as the histories are loaded.
  --help        Show this text.
  --version     Show the program's name and version.

Files (all in the working folder): FENNICK.INI (settings), newsrc and newsrc.new (groups),
HISTORY.FNK, FILENAMES.FNK, BOZOS.FNK (what was fetched; blacklisted authors), fk.log (status log of
this run), files.log (stored files), dirty.txt (resume marker), fennick.lock (held while Fennick
runs here), pictures/, unknown/, raw/.
)";

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  bool start_at_once = false;
  fk::HeadlessOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (arg.rfind("--dir=", 0) == 0) {
      options.dir = arg.substr(6);
    } else if (arg == "--start") {
      start_at_once = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (arg == "--version") {
      std::cout << fk::banner_line() << "\n";
      return 0;
    } else {
      std::cerr << "fennick: unknown option " << arg << " (see --help)\n";
      return 2;
    }
  }
  if (headless) return fk::run_headless(options);
#ifdef FK_HAVE_UI
  if (!options.dir.empty() && fk::change_working_folder(options.dir) != 0) return 2;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
    std::cerr << "fennick: no display to open the window on; use --headless to run in a terminal\n";
    return 2;
  }
  return fk::run_window(argc, argv, start_at_once);
#else
  std::cerr << "fennick: built without the window; running headless" << (start_at_once ? " (--start ignored)" : "")
            << "\n";
  return fk::run_headless(options);
#endif
}
