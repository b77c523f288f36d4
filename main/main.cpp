// SPDX-License-Identifier: GPL-3.0-or-later
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
                1 to 65535, a use_tls that is not a number, no newsrc or no subscribed group, a
                server name that does not resolve, a refused greeting, a refused login, a server
                that wants a login nobody configured, a refused TLS certificate or a server
                without STARTTLS (use_tls=2), a working folder it cannot write, or another
                Fennick already running in that folder; and after [COMM] headless_attempts
                failed connection attempts in a row (without a schedule). It ends the session in
                order and exits with status 3 when a download could not be written (the disk is
                full or pictures/ cannot be written); that article is not recorded, so the next run
                fetches it again. SIGINT, SIGTERM or SIGHUP press
                STOP, then Close (statistics saved); the status is then 128 + the signal number. A
                second such signal during that stop ends the program at once.
  --dir PATH    Use PATH as the working folder (FENNICK.INI, newsrc, logs, pictures/ ...).
  --start       With the window: press "Start Fennicking" as soon as the histories are loaded.
  --help        Show this text.
  --version     Show the program's name and version.

With the window, Qt's own options (-platform, -style, -reverse, ...) are accepted too.

Files (all in the working folder): FENNICK.INI (settings), newsrc and newsrc.new (groups),
HISTORY.FNK, FILENAMES.FNK, BOZOS.FNK (what was fetched; blacklisted authors), fk.log (status log of
this run), files.log (stored files), dirty.txt (resume marker), fennick.lock (held while Fennick
runs here), pictures/, unknown/, raw/.
)";

// Our options; anything else is named in `unknown` (the window lets Qt take its own options first).
struct Options {
  bool headless = false;
  bool start_at_once = false;
  bool help = false;
  bool version = false;
  fk::HeadlessOptions headless_options;
  std::string unknown;
};

Options parse_options(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--headless") {
      o.headless = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      o.headless_options.dir = argv[++i];
    } else if (arg.rfind("--dir=", 0) == 0) {
      o.headless_options.dir = arg.substr(6);
    } else if (arg == "--start") {
      o.start_at_once = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (o.unknown.empty()) {
      o.unknown = arg;
    }
  }
  return o;
}

// Help, version and unknown options; an exit status, or -1 to go on.
int early_exit(const Options& o) {
  if (o.help) {
    std::cout << kHelp;
    return 0;
  }
  if (o.version) {
    std::cout << fk::banner_line() << "\n";
    return 0;
  }
  if (!o.unknown.empty()) {
    std::cerr << "fennick: unknown option " << o.unknown << " (see --help)\n";
    return 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parse_options(argc, argv);
#ifdef FK_HAVE_UI
  if (!options.headless && !options.help && !options.version) {
    bool platform_given = false;
    for (int i = 1; i < argc; ++i) platform_given = platform_given || std::strcmp(argv[i], "-platform") == 0;
    if (!platform_given && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
      std::cerr << "fennick: no display to open the window on; use --headless to run in a terminal\n";
      return 2;
    }
    // Qt takes its own options (-platform, -style, -reverse ...) out of argv before ours are read.
    return fk::run_window(argc, argv, [](int rest_argc, char** rest_argv, bool& start_at_once) {
      const Options rest = parse_options(rest_argc, rest_argv);
      if (int status = early_exit(rest); status >= 0) return status;
      if (!rest.headless_options.dir.empty() && fk::change_working_folder(rest.headless_options.dir) != 0) return 2;
      start_at_once = rest.start_at_once;
      return -1;
    });
  }
#endif
  if (int status = early_exit(options); status >= 0) return status;
  if (options.headless) return fk::run_headless(options.headless_options);
  std::cerr << "fennick: built without the window; running headless"
            << (options.start_at_once ? " (--start ignored)" : "") << "\n";
  return fk::run_headless(options.headless_options);
}
