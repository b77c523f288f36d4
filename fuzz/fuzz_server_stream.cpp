// Fuzzes the news line reader and the reply parsers with server byte streams fed through a socketpair.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "common/null_view.h"
#include "session/context.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace {

using fk::test::NullDialogs;
using fk::test::NullView;

class InstantClock final : public fk::Clock {
 public:
  std::int64_t now() const override { return 1796616668; }
  std::tm local_now() const override { return {}; }
  std::int64_t uptime_ms() const override { return uptime_; }
  void sleep_ms(std::int64_t ms) override { uptime_ += ms; }

 private:
  std::int64_t uptime_ = 0;
};

fk::Settings quiet_settings() {
  fk::Settings s;
  s.status_logging_enabled = 0;
  return s;
}

struct World {
  fk::SharedSettings settings{quiet_settings()};
  fk::SessionState state;
  InstantClock clock;
  fk::StatusLog log{settings, clock};
  fk::DownloadLog files_log{settings};
  NullView view;
  NullDialogs dialogs;
  fk::PendingQueue pending;
  fk::HistoryBuffer ids{"HISTORY.FNK"}, names{"FILENAMES.FNK"}, bozos{"BOZOS.FNK"};
  fk::Decoders decoders{log, clock};
  fk::StatvfsDiskSpace disk;
  fk::EngineContext ctx{settings, state, log,   files_log, clock,    view, dialogs,
                        pending,  ids,   names, bozos,     decoders, disk};
};

void require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static World w;
  w.state.byte_count = 0;

  // The first byte picks the caller's capacity and whether to drain now and then.
  static constexpr std::size_t kCapacities[] = {2, 3, 199, 511, 512, 50000};
  std::size_t capacity = kCapacities[data[0] % 6];
  bool drains = data[0] & 0x80;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  std::size_t length = size - 1;

  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return 0;
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < length) {
      ssize_t n = ::write(sv[1], bytes + done, length - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(sv[1]);
  });

  {
    fk::NewsSocket sock(sv[0]);
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
  writer.join();
  require(w.state.byte_count <= static_cast<std::int64_t>(length));
  return 0;
}
