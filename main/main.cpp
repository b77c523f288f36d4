// SPDX-License-Identifier: GPL-3.0-or-later
// Entry point of fennick: the status window, or the terminal view with --headless.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/headless.h"
#include "app/home_folder.h"
#ifdef FK_HAVE_WEB
#include "web/web_view.h"
#endif
#ifdef FK_HAVE_UI
#include "ui/home_dialog.h"
#include "ui/run_window.h"
#endif

namespace {

constexpr const char* kHelp = R"(Usage: fennick [--headless [--web PORT] [--stay]] [--dir PATH | --home] [--start]
       fennick --web-url | --web-new-token [--dir PATH | --home]

Fennick harvests pictures from Usenet news groups into pictures/<group>/ of its working folder.

  (no option)   Open the status window.
  --headless    Run without a window: the same start-up and scan, shown as lines on the terminal
                (a live progress line when the output is a terminal). It behaves as unattended
                operation: it starts a scan at once, reconnects after a lost connection as the
                window would, answers message boxes with their default, and exits when the scan is
                complete. With a schedule set in FENNICK.INI ([SCHEDULE] day flags) it keeps
                running and scans in the scheduled windows. SIGINT, SIGTERM or SIGHUP press STOP,
                then Close (statistics saved); a second such signal during that stop ends the
                program at once.
  --dir PATH    Use PATH as the working folder (FENNICK.INI, newsrc, logs, pictures/ ...).
  --home        Use the user's Fennick folder: the one remembered in
                $XDG_CONFIG_HOME/fennick/fennick.conf; else $HOME when it holds a FENNICK.INI;
                else $XDG_DATA_HOME/fennick (made on the first start, with a link Fennick among
                the user's pictures). The window's first start asks before using it.
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
  -h, --help    Show this text.
  -V, --version Show the program's name, version and licence.

Without --dir or --home the working folder is the current folder. With the window, Qt's own
options (-platform, -style, -reverse, ...) are accepted too.

Exit status:
  0       the scan is complete, or the window was closed
  1       waiting cannot help: no news server configured, a port that is not a number from 1
          to 65535, a use_tls that is not a number, no newsrc or no subscribed group, a server
          name that does not resolve, a refused greeting or login, a server that wants a login
          nobody configured, a refused TLS certificate or a server without STARTTLS (use_tls=2),
          a working folder it cannot write, or another Fennick already running in that folder;
          and, without a schedule, after [COMM] headless_attempts failed connection attempts
  2       a bad command line (an unknown option, a missing value, a --dir it cannot enter), or
          no display for the window
  3       a picture could not be written (the disk is full or pictures/ cannot be written); the
          session ended in order and the next run fetches that article again
  128+N   ended by signal N (130 for SIGINT, 143 for SIGTERM)

Files (all in the working folder): FENNICK.INI (settings, see fennick.ini(5)), newsrc and
newsrc.new (groups), HISTORY.FNK, FILENAMES.FNK, BOZOS.FNK (what was fetched; blacklisted
authors), fk.log (status log of this run; the previous run's is fk.log.1), files.log (stored
files), dirty.txt (resume marker), fennick.lock (held while Fennick runs here), pictures/,
unknown/, raw/. More in fennick(1).
)";

// Qt's own options that take a value; those without one are listed apart.
constexpr const char* kQtValueOptions[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                           "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-session",
                                           "-style", "-stylesheet", "-display", "-geometry", "-name", "-title"};
constexpr const char* kQtFlagOptions[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// 0: not one of Qt's options; 1: one that stands alone (or "-style=X"); 2: one followed by its value.
int qt_option_width(const std::string& arg) {
  for (const char* q : kQtFlagOptions)
    if (arg == q) return 1;
  for (const char* q : kQtValueOptions) {
    if (arg == q) return 2;
    if (arg.rfind(std::string(q) + "=", 0) == 0) return 1;
  }
  return 0;
}

struct Options {
  bool headless = false;
  bool home = false;
  bool start_at_once = false;
  bool help = false;
  bool version = false;
  bool web_url = false;
  bool web_new_token = false;
  std::optional<int> web_port;
  fk::HeadlessOptions headless_options;
  std::string error;  // the first fault of the command line, for "fennick: ... (see --help)"
};

// Reads our options and steps over Qt's (read once before Qt takes its own out, once after, when a
// platform may have left some); anything else unknown, and an option missing its value, is an error.
Options parse_options(int argc, char** argv) {
  Options o;
  auto fail = [&o](std::string message) {
    if (o.error.empty()) o.error = std::move(message);
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // The value of an option: the next argument, or what follows "=".
    auto value = [&](const std::string& name, std::string& out) {
      if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        out = arg.substr(name.size() + 1);
      } else if (i + 1 < argc) {
        out = argv[++i];
      } else {
        fail("option " + name + " needs a value");
        return;
      }
      if (out.empty()) fail("option " + name + " needs a value");
    };
    auto is = [&](const std::string& name, bool takes_value) {
      return arg == name || (takes_value && arg.rfind(name + "=", 0) == 0);
    };
    if (arg == "--headless") {
      o.headless = true;
    } else if (is("--dir", true)) {
      value("--dir", o.headless_options.dir);
    } else if (arg == "--home") {
      o.home = true;
    } else if (arg == "--start") {
      o.start_at_once = true;
    } else if (is("--web", true)) {
      std::string port;
      value("--web", port);
      const bool digits = !port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
      if (digits && std::stoi(port) <= 65535)
        o.web_port = std::stoi(port);
      else if (!port.empty())
        fail("--web takes a port number from 0 to 65535");
    } else if (arg == "--stay") {
      o.headless_options.stay = true;
    } else if (arg == "--web-url") {
      o.web_url = true;
    } else if (arg == "--web-new-token") {
      o.web_new_token = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version" || arg == "-V") {
      o.version = true;
    } else if (int width = qt_option_width(arg); width > 0) {
      if (width == 2 && ++i >= argc) fail("option " + arg + " needs a value");
    } else if (!arg.empty() && arg.front() == '-') {
      fail("unknown option " + arg);
    } else {
      fail("unexpected argument " + arg);
    }
  }
  if (o.home && !o.headless_options.dir.empty()) fail("--home and --dir name two folders; give one of them");
  return o;
}

// Help, version and a bad command line; an exit status, or -1 to go on.
int early_exit(const Options& o) {
  if (!o.error.empty()) {
    std::cerr << "fennick: " << o.error << " (see --help)\n";
    return 2;
  }
  if (o.help) {
    std::cout << kHelp;
    return 0;
  }
  if (o.version) {
    std::cout << fk::banner_line() << "\n" << fk::licence_lines() << "\n";
    return 0;
  }
  return -1;
}

// Enters the working folder of --home (asking first at a desktop start); an exit status, or -1 to go on.
int enter_home(const fk::AskHomeFolder& ask, std::string& note, const std::function<void(const std::string&)>& fail) {
  const fk::HomeStart start = fk::enter_home_folder(fk::HomeEnvironment::from_process(), ask);
  if (start.status == 1) fail(start.error);
  note = start.note;
  return start.status;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse_options(argc, argv);
  if (int status = early_exit(options); status >= 0) return status;
  // The browser view's address and token: no window, no claim on the folder (a run may be serving it).
  if (options.web_url || options.web_new_token) {
    if (options.home) {
      std::string note;
      auto fail = [](const std::string& error) { std::cerr << "fennick: " << error << "\n"; };
      if (int status = enter_home({}, note, fail); status >= 0) return status;
    } else if (!options.headless_options.dir.empty() && fk::change_working_folder(options.headless_options.dir) != 0) {
      return 2;
    }
#ifdef FK_HAVE_WEB
    return options.web_new_token ? fk::make_new_web_token() : fk::print_web_url();
#else
    std::cerr << "fennick: built without the web view\n";
    return 2;
#endif
  }
#ifdef FK_HAVE_UI
  if (!options.headless) {
    bool platform_given = false;
    for (int i = 1; i < argc; ++i) platform_given = platform_given || std::strcmp(argv[i], "-platform") == 0;
    if (!platform_given && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
      std::cerr << "fennick: no display to open the window on; use --headless to run in a terminal\n";
      return 2;
    }
    // Qt takes its own options (-platform, -style, -reverse ...) out of argv before ours are read.
    return fk::run_window(argc, argv, [](int rest_argc, char** rest_argv, fk::WindowStart& start) {
      const Options rest = parse_options(rest_argc, rest_argv);
      if (int status = early_exit(rest); status >= 0) return status;
      if (rest.home) {
        if (int status = enter_home(fk::ask_home_folder, start.note, fk::show_start_error); status >= 0)
          return status;
      } else if (!rest.headless_options.dir.empty() && fk::change_working_folder(rest.headless_options.dir) != 0) {
        return 2;
      }
      start.start_at_once = rest.start_at_once;
      return -1;
    });
  }
#endif
  fk::HeadlessOptions headless = options.headless_options;
  if (options.home) {
    auto fail = [](const std::string& error) { std::cerr << "fennick: " << error << "\n"; };
    if (int status = enter_home({}, headless.start_note, fail); status >= 0) return status;
  }
#ifdef FK_HAVE_WEB
  fk::WebView web_view(options.web_port);
  headless.add_on = &web_view;
#else
  if (options.web_port) std::cerr << "fennick: built without the web view; --web ignored\n";
#endif
  if (!options.headless)
    std::cerr << "fennick: built without the window; running headless"
              << (options.start_at_once ? " (--start ignored)" : "") << "\n";
  return fk::run_headless(headless);
}
