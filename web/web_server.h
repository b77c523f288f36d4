// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser view's HTTP server: login, the status page with its live stream, the gallery, the pictures
// and their thumbnails, Start and STOP. Every request but the login needs the token.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "web/status_board.h"

namespace fk {

struct WebServerConfig {
  std::string root;        // the working folder, absolute
  std::string bind = "127.0.0.1";
  int port = 0;            // 0: any free port (tests)
  std::string token;
  std::string thumbnail_cache;  // empty: the user's cache
  int workers = 96;        // threads serving connections; each live page holds one
  int per_address_limit = 64;
  std::size_t header_limit = 64 * 1024;
  int publish_interval_ms = 250;
};

// What the server asks of the program. Each may be empty (tests).
struct WebServerHooks {
  std::function<void()> start;  // the Start button, as the window's
  std::function<void()> stop;   // STOP
  std::function<std::vector<std::string>()> pending_rows;
  std::function<bool()> running;
  // The token as FENNICK.INI holds it now (read every few seconds, so a new token takes effect at once).
  std::function<std::string()> current_token;
};

class WebServer {
 public:
  WebServer(WebServerConfig config, StatusBoard& board, WebServerHooks hooks);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and starts serving on threads of its own; false with the reason in *error.
  bool start(std::string* error);
  // Ends the live streams, the publisher and the server, and joins them.
  void stop();
  // The port bound (after start).
  int port() const;
  void set_token(const std::string& token);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fk
