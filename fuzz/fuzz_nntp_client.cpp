// Fuzzes the NNTP client's side of a dialogue: greeting, CAPABILITIES and STARTTLS offers, GROUP, and a
// body read byte-exact up to its terminator, with server bytes fed through a socketpair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "common/engine_bundle.h"
#include "common/null_view.h"
#include "session/context.h"
#include "session/nntp_client.h"
#include "store/unique_fd.h"

namespace {

using fk::test::NullDialogs;
using fk::test::NullView;

fk::Settings quiet_settings() {
  fk::Settings s;
  s.status_logging_enabled = 0;
  s.unattended_operation = 1;
  s.use_tls = 2;
  return s;
}

void require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fk::test::BasicEngine<NullView, NullDialogs> w{quiet_settings()};
  const char* bytes = reinterpret_cast<const char*>(data);
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return 0;
  std::thread writer([&] {
    fk::write_all(sv[1], std::string_view(bytes, size));
    // Whatever the client sends is never read: closing ends its writes with an error, not a wait.
    ::close(sv[1]);
  });
  {
    fk::NntpClient client(w.ctx, w.state.stop_requested);
    client.socket().adopt(sv[0]);
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
  writer.join();
  return 0;
}
