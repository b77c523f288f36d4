// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the NNTP client's side of a dialogue: greeting, CAPABILITIES and STARTTLS offers, GROUP, and a
// body read byte-exact up to its terminator, with server bytes fed through a socketpair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_socket.h"
#include "session/context.h"
#include "session/nntp_client.h"

namespace {

using fk::fuzz::require;

fk::Settings client_settings() {
  fk::Settings s = fk::fuzz::quiet_settings();
  s.unattended_operation = 1;
  s.use_tls = 2;
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fk::fuzz::Engine w{client_settings()};
  const char* bytes = reinterpret_cast<const char*>(data);
  fk::fuzz::ServerFeed feed(std::string_view(bytes, size));
  if (feed.read_fd() == -1) return 0;
  {
    fk::NntpClient client(w.ctx, w.state.stop_requested);
    client.socket().adopt(feed.read_fd());
    if (auto greeting = client.read_reply()) {
      require(greeting->length >= 1 && greeting->code >= 0);
      if (auto labels = client.capabilities())
        for (const auto& label : *labels) require(label.find_first_of(" \t") == std::string::npos);
      // Never starts TLS: the socketpair has no handshake to offer, so only the offer is parsed.
      // Any reply parses; a signed status ("-211") is the number it says and matches no reply code.
      (void)client.group("alt.fuzz");
      std::string line;
      bool more = false;
      std::size_t lines = 0;
      for (;;) {
        int n = fk::read_body_line(w.ctx, client.socket(), line, more);
        if (n == -1) break;
        // A CR held over from the last piece is counted there.
        require(line.size() <= static_cast<std::size_t>(n) + 1);
        if (!more && n == 3 && line == ".") break;
        ++lines;
      }
      (void)lines;
    }
  }
  return 0;
}
