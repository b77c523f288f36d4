// The news server connection over POSIX sockets.
#include "session/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "session/context.h"

namespace fk {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
constexpr int kSliceMs = 100;
// server_host holds 79 characters; longer names are refused rather than cut to another host.
constexpr std::size_t kHostMax = 79;

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// sscanf("%d") on one field: blanks, an optional sign, at least one digit. Only the low 8 bits of the
// value matter, so accumulating modulo 256 gives them for numbers of any length.
bool scan_octet(std::string_view& s, std::uint8_t& out) {
  std::size_t i = 0;
  while (i < s.size() && is_blank(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  std::size_t digits = 0;
  unsigned value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    value = (value * 10 + static_cast<unsigned>(s[i++] - '0')) & 0xffu;
    ++digits;
  }
  if (digits == 0) return false;
  out = static_cast<std::uint8_t>(negative ? (0x100u - value) & 0xffu : value);
  s.remove_prefix(i);
  return true;
}

// The pattern "%d.%d.%d.%d": four numbers with literal dots between them; text after the fourth is
// ignored, as the classic parse did.
bool parse_dotted_quad(std::string_view s, std::uint8_t (&bytes)[4]) {
  for (int k = 0; k < 4; ++k) {
    if (k > 0) {
      if (s.empty() || s.front() != '.') return false;
      s.remove_prefix(1);
    }
    if (!scan_octet(s, bytes[k])) return false;
  }
  return true;
}

void set_keepalive(int fd) {
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  // A dead server is noticed in about two minutes instead of the system's two hours.
  int idle = 60, interval = 10, count = 6;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// A blocking connect would ignore STOP for as long as the system retries; this one waits in slices.
bool connect_watching_stop(int fd, const sockaddr_in& addr, const std::atomic<int>& stop) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
  if (rc != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return false;
    // STOP counts only while the connect really waits, so a quick connect goes ahead as a blocking one would.
    for (;;) {
      pollfd p{fd, POLLOUT, 0};
      int n = ::poll(&p, 1, kSliceMs);
      if (n < 0 && errno != EINTR) return false;
      if (n > 0) break;
      if (stop.load()) return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return false;
    if (err != 0) {
      errno = err;  // the caller names the reason from errno
      return false;
    }
  }
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Waits the given time through the clock in slices, leaving early on STOP.
void sleep_watching_stop(EngineContext& ctx, std::int64_t ms) {
  while (ms > 0 && !ctx.state.stop_requested.load()) {
    std::int64_t step = ms < kSliceMs ? ms : kSliceMs;
    ctx.clock.sleep_ms(step);
    ms -= step;
  }
}

}  // namespace

void NewsSocket::close() {
  if (fd_ >= 0) {
    if (slot_) {
      int mine = fd_;
      slot_->compare_exchange_strong(mine, -1);
    }
    ::close(fd_);
  }
  fd_ = -1;
  slot_ = nullptr;
  pos_ = len_ = 0;
}

bool NewsSocket::send_line(std::string_view line) {
  if (fd_ < 0) return false;
  while (!line.empty()) {
    ssize_t n = ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    line.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::optional<std::int64_t> NewsSocket::bytes_waiting() const {
  if (fd_ < 0) return std::nullopt;
  int queued = 0;
  if (::ioctl(fd_, FIONREAD, &queued) != 0) return std::nullopt;
  return static_cast<std::int64_t>(len_ - pos_) + queued;
}

bool NewsSocket::fill(const std::atomic<int>& stop) {
  if (fd_ < 0) return false;
  if (buf_.size() < kBlock) buf_.resize(kBlock);
  pos_ = len_ = 0;
  for (;;) {
    if (stop.load()) return false;
    ssize_t n = ::recv(fd_, buf_.data(), buf_.size(), MSG_DONTWAIT);
    if (n > 0) {
      len_ = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) < 0 && errno != EINTR) return false;
  }
}

std::int64_t NewsSocket::discard_waiting() {
  if (fd_ < 0) return -1;
  std::int64_t dropped = static_cast<std::int64_t>(len_ - pos_);
  pos_ = len_ = 0;
  if (buf_.size() < kBlock) buf_.resize(kBlock);
  for (;;) {
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) return -1;
    if (queued <= 0) return dropped;
    ssize_t n = ::recv(fd_, buf_.data(), buf_.size(), MSG_DONTWAIT);
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return dropped;
      return -1;
    }
    dropped += n;
  }
}

int connect_news_server(EngineContext& ctx, NewsSocket& socket) {
  return connect_news_server(ctx, socket, ctx.state.stop_requested);
}

int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop) {
  return connect_news_server(ctx, socket, stop, nullptr);
}

std::string connect_failure_text(int error) {
  switch (error) {
    case ECONNREFUSED: return "connection refused";
    case ETIMEDOUT: return "timed out";
    case EHOSTUNREACH: return "no route to host";
    case ENETUNREACH: return "network unreachable";
    case 0: return "stopped";
    default: return std::strerror(error);
  }
}

int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop,
                        std::string* reason) {
  auto why = [&](std::string text) {
    if (reason) *reason = std::move(text);
  };
  socket.close();
  std::string host = ctx.settings.read([](const Settings& s) { return s.news_server; });
  ctx.state.set_server_host(host);

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ctx.log.log_status("socket() failed", 0);
    return -1;
  }
  int free_slot = -1;
  if (!ctx.state.news_socket.compare_exchange_strong(free_slot, fd)) {
    // Another news connection (the groups dialog's listing) holds the slot.
    ::close(fd);
    why("news connection already in use");
    ctx.log.log_status("News connection already in use", 0);
    ctx.log.log_status("socket() failed", 0);
    return -1;
  }
  socket.fd_ = fd;
  socket.slot_ = &ctx.state.news_socket;
  set_keepalive(fd);

  sockaddr_in addr{};
  if (filladdr(ctx, host, addr) == 0) {
    why("no such host");
    ctx.log.log_status("filladdr() failed", 0);
    ctx.clock.sleep_ms(1000);
    socket.close();
    return -1;
  }
  errno = 0;
  if (!connect_watching_stop(fd, addr, stop)) {
    why(connect_failure_text(stop.load() ? 0 : errno));
    ctx.log.log_status("connect() failed", 0);
    socket.close();
    return -1;
  }
  return 0;
}

int filladdr(EngineContext& ctx, const std::string& host, sockaddr_in& addr) {
  addr.sin_family = AF_INET;
  ctx.log.log_status(ctx.state.server_host(), 1);

  std::uint8_t bytes[4];
  if (parse_dotted_quad(host, bytes)) {
    std::memcpy(&addr.sin_addr, bytes, 4);
  } else {
    int error = 0;
    if (host.size() > kHostMax) {
      error = ENAMETOOLONG;
      ctx.log.log_status(
          "News server name of " + std::to_string(host.size()) + " characters is too long (79 at most)", 0);
    } else {
      addrinfo hints{};
      hints.ai_family = AF_INET;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* found = nullptr;
      error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
      if (error == 0 && found) {
        addr.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
      } else {
        if (found) ::freeaddrinfo(found);
        if (error == 0) error = EAI_NONAME;
      }
    }
    if (error != 0) {
      // A temporary failure (no network yet) may pass; a name that does not exist will not.
      if (error != EAI_AGAIN) ctx.state.refusal = SessionState::kUnresolvable;
      std::string first =
          "Error " + std::to_string(error) + ": Unable to resolve IP address for '" + host + "'.";
      if (ctx.settings.read([](const Settings& s) { return s.unattended_operation; }) == 0)
        ctx.dialogs.message_box(
            first +
                "\nMake sure you are connected to the internet and your DNS\nserver address is "
                "correctly set up. Check spelling :)\n--MAKE SURE YOU ARE CONNECTED TO THE "
                "INTERNET AND TCP/IP IS INSTALLED--",
            "gethostbyname() failed.", Icon::Warning, Buttons::Ok);
      ctx.log.log_status(first, 0);
      return 0;
    }
  }
  std::uint32_t port = ctx.settings.read([](const Settings& s) { return s.port; });
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  ctx.log.log_status("Connecting to news server using port " + std::to_string(port), 1);
  return 1;
}

std::int64_t pacing_delay_ms(int position) {
  return position >= 0 && position <= 9 ? 200 - 20 * position : 0;
}

int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity, NewsSocket& socket) {
  line.clear();
  if (std::int64_t pause = pacing_delay_ms(ctx.view.pacing_position()); pause > 0) ctx.clock.sleep_ms(pause);
  if (capacity < 2) capacity = 2;

  const std::atomic<int>& stop = ctx.state.stop_requested;
  // Counted locally and published before every wait and on return, so the window sees each byte.
  std::int64_t counted = 0;
  auto publish = [&] {
    if (counted) ctx.state.byte_count.fetch_add(counted);
    counted = 0;
  };
  auto next = [&]() -> int {
    if (stop.load()) return -1;
    if (socket.pos_ == socket.len_) {
      publish();
      if (!socket.fill(stop)) return -1;
    }
    ++counted;
    return static_cast<unsigned char>(socket.buf_[socket.pos_++]);
  };

  int c;
  do {
    c = next();
    if (c < 0) {
      publish();
      return -1;
    }
  } while (is_blank(static_cast<unsigned char>(c)));

  // The text ends at the first CR or NUL, as it did in a zero-terminated buffer.
  bool text_ended = c == 0;
  if (!text_ended) line.push_back(static_cast<char>(c));
  // The rest is taken from the block buffer a run at a time, still polling STOP before every byte.
  std::size_t i = 1;  // bytes of this line taken so far
  while (i < capacity - 1) {
    if (stop.load()) {
      publish();
      return -1;
    }
    if (socket.pos_ == socket.len_) {
      publish();
      if (!socket.fill(stop)) return -1;
    }
    const char* run = socket.buf_.data() + socket.pos_;
    const std::size_t available = std::min(socket.len_ - socket.pos_, capacity - 1 - i);
    std::size_t k = 0, text_end = available;
    bool line_end = false, stopped = false;
    for (; k < available; ++k) {
      if (k > 0 && stop.load()) {
        stopped = true;
        break;
      }
      const char b = run[k];
      if (b == '\n') {
        line_end = true;
        break;
      }
      if ((b == '\r' || b == 0) && text_end == available) text_end = k;
    }
    if (!text_ended) {
      line.append(run, std::min(k, text_end));
      text_ended = text_end < k;
    }
    const std::size_t taken = k + (line_end ? 1 : 0);
    socket.pos_ += taken;
    counted += static_cast<std::int64_t>(taken);
    i += taken;
    if (stopped) {
      publish();
      return -1;
    }
    if (line_end) {
      publish();
      return static_cast<int>(i);
    }
  }
  publish();
  ctx.log.log_status("Line Buffer Filled in get_socket_string()", 0);
  return static_cast<int>(capacity - 1);
}

int drain_socket(EngineContext& ctx, NewsSocket& socket) {
  std::optional<std::int64_t> waiting = socket.bytes_waiting();
  for (;;) {
    while (waiting && *waiting > 0) {
      if (ctx.state.stop_requested.load()) return 0;
      std::int64_t dropped = socket.discard_waiting();
      if (dropped <= 0) return dropped < 0 ? -1 : 0;
      waiting = socket.bytes_waiting();
    }
    if (!waiting) return -1;
    sleep_watching_stop(ctx, 3000);
    waiting = socket.bytes_waiting();
    if (!waiting) return -1;
    if (*waiting == 0 || ctx.state.stop_requested.load()) return 0;
  }
}

}  // namespace fk
