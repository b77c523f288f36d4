// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the news line reader and the reply parsers with server byte streams fed through a socketpair.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_socket.h"
#include "session/context.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace {

using fk::fuzz::quiet_settings;
using fk::fuzz::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static fk::fuzz::Engine w{quiet_settings()};
  w.state.byte_count = 0;

  // The first byte picks the caller's capacity and whether to drain now and then.
  static constexpr std::size_t kCapacities[] = {2, 3, 199, 511, 512, 50000};
  std::size_t capacity = kCapacities[data[0] % 6];
  bool drains = data[0] & 0x80;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  std::size_t length = size - 1;

  fk::fuzz::ServerFeed feed(std::string_view(bytes, length));
  if (feed.read_fd() == -1) return 0;
  {
    fk::NewsSocket sock(feed.read_fd());
    std::string line;
    for (int count = 0;; ++count) {
      int n = fk::get_socket_string(w.ctx, line, capacity, sock);
      if (n == -1) break;
      require(n >= 1 && static_cast<std::size_t>(n) <= capacity - 1 + (capacity < 2));
      require(line.size() <= static_cast<std::size_t>(n));
      require(line.find('\r') == std::string::npos && line.find('\0') == std::string::npos);
      fk::reply_status(line);
      fk::GroupReply g = fk::parse_group_reply(line);
      (void)g;
      require(sock.bytes_waiting().value_or(0) >= 0);
      if (drains && count % 5 == 4) fk::drain_socket(w.ctx, sock);
    }
  }
  require(w.state.byte_count <= static_cast<std::int64_t>(length));
  return 0;
}
