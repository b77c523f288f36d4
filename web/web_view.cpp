// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_view.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/application.h"
#include "store/profile_file.h"
#include "store/settings.h"
#include "web/web_auth.h"

namespace fk {

namespace {

// Makes a token and writes it to FENNICK.INI; empty (after a line on stderr) when either fails.
std::string store_new_token(const std::string& ini_path) {
  std::string token = make_web_token();
  if (token.empty()) {
    std::fprintf(stderr, "fennick: no random numbers for a web view token\n");
    return {};
  }
  if (!ProfileFile(ini_path).write_string("WEB", "web_token", token)) {
    std::fprintf(stderr, "fennick: cannot write the web view token to %s\n", ini_path.c_str());
    return {};
  }
  // The file now holds a key to the pictures and the buttons: for the user's eyes only.
  ::chmod(ini_path.c_str(), 0600);
  return token;
}

Settings settings_of_folder(std::string& ini_path) {
  locate_settings_file(ini_path);
  Settings s;
  ArchiveCounters archive;
  load_settings(ProfileFile(ini_path), s, archive);
  return s;
}

}  // namespace

std::string web_view_url(const std::string& bind, int port) {
  std::string host = bind;
  if (bind.empty() || bind == "0.0.0.0" || bind == "::" || bind == "[::]") {
    std::vector<char> name(256, '\0');
    host = ::gethostname(name.data(), name.size() - 1) == 0 && name[0] != '\0' ? std::string(name.data()) : "localhost";
  } else if (bind.find(':') != std::string::npos && bind.front() != '[') {
    host = "[" + bind + "]";
  }
  return "http://" + host + ":" + std::to_string(port) + "/";
}

bool WebView::start(Application& app, View& commands) {
  Settings s = app.settings().get();
  const int port = port_override_ ? *port_override_ : static_cast<int>(s.web_port);
  if (port <= 0) return true;
  std::string token = s.web_token;
  if (token.empty()) {
    token = store_new_token(app.ini_path());
    if (token.empty()) return false;
    app.settings().update([&](Settings& now) { now.web_token = token; });
    app.log().log_status("Web View Token Made and Stored in FENNICK.INI", 1);
  }
  WebServerConfig config;
  std::error_code ec;
  config.root = std::filesystem::current_path(ec).string();
  config.bind = s.web_bind.empty() ? "127.0.0.1" : s.web_bind;
  config.port = port;
  config.token = token;
  WebServerHooks hooks;
  hooks.start = [&commands] { commands.post_command(Command::Start); };
  hooks.stop = [&commands] { commands.post_command(Command::Stop); };
  hooks.pending_rows = [&app] {
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < StatusBoard::kPendingShown; ++i) {
      std::optional<std::string> row = app.pending().at(i);
      if (!row) break;
      rows.push_back(std::move(*row));
    }
    return rows;
  };
  hooks.running = [&app] { return app.session_running(); };
  const std::string ini_path = app.ini_path();
  hooks.current_token = [ini_path] {
    return ProfileFile(ini_path).get_string("WEB", "web_token", "", 128);
  };
  server_ = std::make_unique<WebServer>(config, board_, std::move(hooks));
  std::string error;
  if (!server_->start(&error)) {
    app.log().log_status("ERROR: Web View: " + error, 0);
    std::fprintf(stderr, "fennick: the web view %s\n", error.c_str());
    server_.reset();
    return false;
  }
  const std::string url = web_view_url(config.bind, server_->port());
  app.log().log_status("Web View at " + url, 0);
  std::fprintf(stderr, "fennick: web view at %s (fennick --web-url prints the token)\n", url.c_str());
  if (!is_loopback_bind(config.bind)) {
    const std::string warning = "WARNING: the web view on " + config.bind +
                                " is reachable from the network and is not encrypted";
    app.log().log_status(warning, 0);
    std::fprintf(stderr, "fennick: %s\n", warning.c_str());
  }
  return true;
}

void WebView::stop() {
  if (server_) server_->stop();
  server_.reset();
}

int print_web_url() {
  std::string ini_path;
  Settings s = settings_of_folder(ini_path);
  if (s.web_port == 0) {
    std::fprintf(stderr,
                 "fennick: the web view is off here (set web_port in [WEB] of FENNICK.INI, or run "
                 "fennick --headless --web PORT)\n");
    return 1;
  }
  std::string token = s.web_token;
  if (token.empty()) token = store_new_token(ini_path);
  if (token.empty()) return 1;
  std::printf("%s\n%s\n", web_view_url(s.web_bind, static_cast<int>(s.web_port)).c_str(), token.c_str());
  return 0;
}

int make_new_web_token() {
  std::string ini_path;
  settings_of_folder(ini_path);
  const std::string token = store_new_token(ini_path);
  if (token.empty()) return 1;
  std::printf("%s\n", token.c_str());
  return 0;
}

}  // namespace fk
