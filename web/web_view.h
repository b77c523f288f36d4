// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The browser view beside the headless run: the server started after the start-up with the settings of
// [WEB] (or the port of --web), fed by the core's events, pressing Start and STOP through the run's queue.

#include <memory>
#include <optional>
#include <string>

#include "app/headless.h"
#include "web/status_board.h"
#include "web/web_server.h"

namespace fk {

class WebView final : public HeadlessAddOn {
 public:
  // port_override: --web PORT for this run (FENNICK.INI keeps its own).
  explicit WebView(std::optional<int> port_override = std::nullopt) : port_override_(port_override) {}
  ~WebView() override { stop(); }

  View& events() override { return board_; }
  // Does nothing when the port is 0; makes and stores the token at the first start.
  bool start(Application& app, View& commands) override;
  void stop() override;

 private:
  std::optional<int> port_override_;
  StatusBoard board_;
  std::unique_ptr<WebServer> server_;
};

// The address a browser uses for a view bound to `bind` on `port`: a wildcard bind names this machine.
std::string web_view_url(const std::string& bind, int port);

// --web-url: the address and, on its own line, the token for the working folder (made and stored when
// FENNICK.INI has none). 1 with a line on stderr when the view is off.
int print_web_url();
// --web-new-token: a new token stored in FENNICK.INI (a running view takes it within seconds) and printed.
int make_new_web_token();

}  // namespace fk
