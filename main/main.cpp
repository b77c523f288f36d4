// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of fennick: the status window, or the terminal view with --headless.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <iostream>
#include <string>

#include "app/application.h"
#include "app/headless.h"
#ifdef FK_HAVE_WEB
#include "web/web_view.h"
#endif
#ifdef FK_HAVE_UI
#include "ui/run_window.h"
#endif

namespace {

constexpr const char* kHelp = R"(Usage: fennick [--headless [--web PORT] [--stay]] [--dir PATH]
       fennick --web-url | --web-new-token [--dir PATH]

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
  --web PORT    With --headless: serve the browser view on PORT for this run (0: not at all).
                Otherwise FENNICK.INI's [WEB] web_port says where, with or without the window
                (0, the default, keeps it off). It listens on web_bind (127.0.0.1 unless set)
                and asks for the token in web_token.
  --stay        With --headless: keep running after the scan, and when no news server is set,
                until a signal ends it (a schedule still starts its scans).
  --web-url     Print the browser view's address and, on its own line, its token for the working
                folder (making the token if there is none), then exit.
  --web-new-token
                Make a new token for the browser view, store it in FENNICK.INI and print it; a
                running view takes it within seconds and the old one stops working.
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
  bool web_url = false;
  bool web_new_token = false;
  std::optional<int> web_port;
  bool bad_web_port = false;
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
    } else if (arg == "--web" && i + 1 < argc) {
      const std::string port = argv[++i];
      const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
      if (digits && std::stoi(port) <= 65535)
        o.web_port = std::stoi(port);
      else
        o.bad_web_port = true;
    } else if (arg == "--stay") {
      o.headless_options.stay = true;
    } else if (arg == "--web-url") {
      o.web_url = true;
    } else if (arg == "--web-new-token") {
      o.web_new_token = true;
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
  if (o.bad_web_port) {
    std::cerr << "fennick: --web takes a port number from 0 to 65535\n";
    return 2;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parse_options(argc, argv);
  // The browser view's address and token: no window, no claim on the folder (a run may be serving it).
  if ((options.web_url || options.web_new_token) && !options.help && !options.version) {
    if (int status = early_exit(options); status >= 0) return status;
    if (!options.headless_options.dir.empty() && fk::change_working_folder(options.headless_options.dir) != 0) return 2;
#ifdef FK_HAVE_WEB
    return options.web_new_token ? fk::make_new_web_token() : fk::print_web_url();
#else
    std::cerr << "fennick: built without the web view\n";
    return 2;
#endif
  }
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
#ifdef FK_HAVE_WEB
  fk::WebView web_view(options.web_port);
  options.headless_options.add_on = &web_view;
#else
  if (options.web_port) std::cerr << "fennick: built without the web view; --web ignored\n";
#endif
  if (options.headless) return fk::run_headless(options.headless_options);
  std::cerr << "fennick: built without the window; running headless"
            << (options.start_at_once ? " (--start ignored)" : "") << "\n";
  return fk::run_headless(options.headless_options);
}
