// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "session/deflate_stream.h"
#include "store/text.h"

namespace fk {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
constexpr int kSliceMs = 100;
// server_host holds 79 characters; longer names are refused rather than cut to another host.
constexpr std::size_t kHostMax = 79;

// sscanf("%d") on one field: blanks, an optional sign, at least one digit. Only the low 8 bits of the
// value matter, and wrapping keeps them for numbers of any length.
bool scan_octet(std::string_view& s, std::uint8_t& out) {
  const LeadingNumber n = read_decimal(s, NumberForm::Signed);
  if (!n.found) return false;
  out = n.wrapped<std::uint8_t>();
  s.remove_prefix(n.end);
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
bool connect_watching_stop(int fd, const sockaddr_storage& addr, const std::atomic<int>& stop) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  const socklen_t size = addr.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), size);
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

// The handshake's waits: 100 ms slices, STOP and the idle limit.
class HandshakeWaiter final : public TlsWaiter {
 public:
  HandshakeWaiter(const std::atomic<int>& stop, std::int64_t limit_ms) : stop_(stop), limit_ms_(limit_ms) {}
  bool wait(int fd, short events) override {
    for (;;) {
      if (stop_.load()) return false;
      pollfd p{fd, events, 0};
      int n = ::poll(&p, 1, kSliceMs);
      if (n < 0 && errno != EINTR) return false;
      if (n > 0) return true;
      silent_ms_ += kSliceMs;
      if (limit_ms_ > 0 && silent_ms_ >= limit_ms_) return false;
    }
  }

 private:
  const std::atomic<int>& stop_;
  std::int64_t limit_ms_;
  std::int64_t silent_ms_ = 0;
};

std::int64_t idle_limit_ms(const Settings& s) {
  return s.idle_timeout > 0 ? std::int64_t{s.idle_timeout} * 1000 : 0;
}

TlsOptions tls_options(const Settings& s) {
  return {s.news_server, s.tls_ca_file, s.tls_verify != 0};
}

// A read that gave up on a silent server, or on a stream that knows why it failed, says so once.
void note_read_failure(EngineContext& ctx, NewsSocket& socket) {
  if (std::string why = socket.take_failure(); !why.empty())
    ctx.log.log_status("Connection to the news server given up: " + why, 0);
  if (!socket.take_timed_out()) return;
  const std::int32_t seconds = ctx.settings.read([](const Settings& s) { return s.idle_timeout; });
  ctx.log.log_status("News server silent for " + std::to_string(seconds) + " seconds (idle_timeout), connection given up", 0);
}

}  // namespace

NewsSocket::NewsSocket(int fd) : stream_(make_plain_stream(fd)) {}

void NewsSocket::adopt(int fd) {
  close();
  stream_ = make_plain_stream(fd);
}

void NewsSocket::close() {
  if (slot_) {
    int mine = claimed_fd_;
    slot_->compare_exchange_strong(mine, -1);
  }
  if (stream_ && stream_->compression()) closed_totals_ = *stream_->compression();
  stream_.reset();
  claimed_fd_ = -1;
  slot_ = nullptr;
  pos_ = len_ = 0;
  cut_ = held_cr_ = false;
}

bool NewsSocket::wait_slice(Stream::Io want, bool& ready) {
  pollfd p{fd(), static_cast<short>(want == Stream::Io::WantRead ? POLLIN : POLLOUT), 0};
  int n = ::poll(&p, 1, kSliceMs);
  if (n < 0 && errno != EINTR) return false;
  ready = n > 0;
  return true;
}

bool NewsSocket::silent_too_long(bool ready, std::int64_t& silent_ms) const {
  silent_ms = ready ? 0 : silent_ms + kSliceMs;
  return idle_limit_ms_ > 0 && silent_ms >= idle_limit_ms_;
}

bool NewsSocket::send_line(std::string_view line) {
  if (!stream_) return false;
  std::int64_t silent_ms = 0;
  while (!line.empty()) {
    std::size_t put = 0;
    Stream::Io r = stream_->write(line.data(), line.size(), put);
    if (r == Stream::Io::Ok) {
      line.remove_prefix(put);
      continue;
    }
    if (r != Stream::Io::WantRead && r != Stream::Io::WantWrite) return false;
    bool ready = false;
    if (!wait_slice(r, ready) || silent_too_long(ready, silent_ms)) return false;
  }
  return true;
}

std::optional<std::int64_t> NewsSocket::bytes_waiting() const {
  if (!stream_) return std::nullopt;
  int queued = 0;
  if (::ioctl(stream_->fd(), FIONREAD, &queued) != 0) return std::nullopt;
  return static_cast<std::int64_t>(len_ - pos_ + stream_->pending()) + queued;
}

bool NewsSocket::fill(const std::atomic<int>& stop) {
  if (!stream_) return false;
  if (buf_.size() < kBlock) buf_.resize(kBlock);
  pos_ = len_ = 0;
  std::int64_t silent_ms = 0;
  for (;;) {
    if (stop.load()) return false;
    std::size_t got = 0;
    Stream::Io r = stream_->read(buf_.data(), buf_.size(), got);
    if (r == Stream::Io::Ok) {
      len_ = got;
      return true;
    }
    if (r != Stream::Io::WantRead && r != Stream::Io::WantWrite) {
      if (r == Stream::Io::Failed) failure_ = stream_->failure();
      return false;
    }
    bool ready = false;
    if (!wait_slice(r, ready)) return false;
    if (silent_too_long(ready, silent_ms)) {
      timed_out_ = true;
      return false;
    }
  }
}

std::int64_t NewsSocket::receive_some(char* out, std::size_t max) {
  if (!stream_) return -2;
  if (pos_ < len_) {
    const std::size_t n = std::min(max, len_ - pos_);
    std::memcpy(out, buf_.data() + pos_, n);
    pos_ += n;
    return static_cast<std::int64_t>(n);
  }
  for (int round = 0; round < 2; ++round) {
    std::size_t got = 0;
    Stream::Io r = stream_->read(out, max, got);
    if (r == Stream::Io::Ok) return static_cast<std::int64_t>(got);
    if (r == Stream::Io::Closed) return -1;
    if (r == Stream::Io::Failed) {
      failure_ = stream_->failure();
      return -2;
    }
    if (round == 1) break;
    bool ready = false;
    if (!wait_slice(r, ready)) return -2;
    if (!ready) break;
  }
  return 0;
}

std::int64_t NewsSocket::discard_waiting() {
  if (!stream_) return -1;
  std::int64_t dropped = static_cast<std::int64_t>(len_ - pos_);
  pos_ = len_ = 0;
  if (buf_.size() < kBlock) buf_.resize(kBlock);
  for (;;) {
    int queued = 0;
    if (::ioctl(stream_->fd(), FIONREAD, &queued) != 0) return -1;
    if (queued <= 0 && stream_->pending() == 0) return dropped;
    std::size_t got = 0;
    Stream::Io r = stream_->read(buf_.data(), buf_.size(), got);
    if (r == Stream::Io::Closed) return 0;
    if (r == Stream::Io::Failed) return -1;
    // TLS may hold only part of a record, or records that carry no data.
    if (r != Stream::Io::Ok) return dropped;
    dropped += static_cast<std::int64_t>(got);
  }
}

void NewsSocket::start_compression(std::atomic<std::int64_t>* wire_counter) {
  if (!stream_ || stream_->compression()) return;
  const std::string_view buffered(buf_.data() + pos_, len_ - pos_);
  stream_ = make_deflate_stream(std::move(stream_), buffered, wire_counter);
  pos_ = len_ = 0;
}

TlsResult NewsSocket::start_tls(const TlsOptions& options, const std::atomic<int>& stop) {
  TlsResult result;
  if (!stream_ || stream_->is_tls()) {
    result.reason = "no plain connection to start TLS on";
    return result;
  }
  pos_ = len_ = 0;
  HandshakeWaiter waiter(stop, idle_limit_ms_);
  result = start_tls_client(stream_->release_fd(), options, waiter);
  stream_ = std::move(result.stream);
  if (!stream_) close();
  return result;
}

void report_tls_refusal(EngineContext& ctx, const std::string& what, const std::string& advice) {
  ctx.state.refusal = SessionState::kTlsRefused;
  ctx.log.log_status(what, 0);
  ctx.log.log_status(advice, 0);
  if (ctx.settings.read([](const Settings& s) { return s.unattended_operation; }) == 0)
    ctx.dialogs.message_box(what + "\n" + advice, "Secure Connection Refused", Icon::Warning, Buttons::Ok);
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
  const Settings s = ctx.settings.get();
  const std::string& host = s.news_server;
  ctx.state.set_server_host(host);
  if (s.use_tls < Settings::kPlain || s.use_tls > Settings::kStartTls) {
    // Never guess plain TCP for a choice that could not be read: the password would go in clear.
    why("use_tls is not a number from 0 to 2");
    ctx.log.log_status("Invalid Setup: use_tls is not a number from 0 to 2; not connecting", 0);
    return -1;
  }

  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ctx.log.log_status("socket() failed", 0);
    return -1;
  }
  int free_slot = -1;
  if (socket.claims_slot_ && !ctx.state.news_socket.compare_exchange_strong(free_slot, fd)) {
    // Another news connection (the groups dialog's listing) holds the slot.
    ::close(fd);
    why("news connection already in use");
    ctx.log.log_status("News connection already in use", 0);
    ctx.log.log_status("socket() failed", 0);
    return -1;
  }
  socket.stream_ = make_plain_stream(fd);
  socket.claimed_fd_ = fd;
  socket.slot_ = socket.claims_slot_ ? &ctx.state.news_socket : nullptr;
  socket.idle_limit_ms_ = idle_limit_ms(s);
  set_keepalive(fd);

  std::vector<sockaddr_storage> addresses = resolve_news_server(ctx, host);
  if (addresses.empty()) {
    why("no such host");
    ctx.log.log_status("filladdr() failed", 0);
    ctx.clock.sleep_ms(1000);
    socket.close();
    return -1;
  }
  bool connected = false;
  int last_error = 0;
  bool fresh = true;  // the socket has not tried a connect yet
  for (const sockaddr_storage& addr : addresses) {
    if (stop.load() && !fresh) break;
    if (!fresh || addr.ss_family != AF_INET) {
      // A socket whose connect failed cannot be used again, and each family needs its own.
      int next = ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (next < 0) continue;
      int mine = socket.claimed_fd_;
      if (socket.claims_slot_ && !ctx.state.news_socket.compare_exchange_strong(mine, next)) {
        ::close(next);
        break;
      }
      socket.stream_ = make_plain_stream(next);
      socket.claimed_fd_ = next;
      set_keepalive(next);
    }
    fresh = false;
    errno = 0;
    if (connect_watching_stop(socket.fd(), addr, stop)) {
      connected = true;
      break;
    }
    last_error = stop.load() ? 0 : errno;
  }
  if (!connected) {
    why(connect_failure_text(last_error));
    ctx.log.log_status("connect() failed", 0);
    socket.close();
    return -1;
  }
  if (s.use_tls == Settings::kImplicitTls) return start_tls_or_refuse(ctx, socket, stop) ? 0 : -1;
  return 0;
}

bool start_tls_or_refuse(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop) {
  const Settings s = ctx.settings.get();
  TlsResult tls = socket.start_tls(tls_options(s), stop);
  if (socket.is_open()) {
    if (!s.tls_verify) {
      ctx.log.log_status("WARNING: TLS certificate of " + s.news_server +
                             " not checked (tls_verify=0): anyone on the way could read or change this connection",
                         0);
      ctx.view.certificate_unchecked(s.news_server);
    }
    return true;
  }
  if (tls.refused) {
    report_tls_refusal(ctx, "TLS connection to " + s.news_server + " refused: " + tls.reason,
                       "Add the server's certificate authority to tls_ca_file in FENNICK.INI, or set "
                       "tls_verify=0 to accept any certificate (not recommended)");
  } else if (!stop.load()) {
    ctx.log.log_status("TLS with " + s.news_server + " failed: " + tls.reason, 0);
  }
  return false;
}

std::vector<sockaddr_storage> resolve_news_server(EngineContext& ctx, const std::string& host) {
  std::vector<sockaddr_storage> out;
  ctx.log.log_status(ctx.state.server_host(), 1);
  const std::uint32_t port = ctx.settings.read([](const Settings& s) { return s.port; });

  std::uint8_t bytes[4];
  if (parse_dotted_quad(host, bytes)) {
    sockaddr_storage ss{};
    auto* in = reinterpret_cast<sockaddr_in*>(&ss);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, bytes, 4);
    out.push_back(ss);
  } else {
    int error = 0;
    if (host.size() > kHostMax) {
      error = ENAMETOOLONG;
      ctx.log.log_status(
          "News server name of " + std::to_string(host.size()) + " characters is too long (79 at most)", 0);
    } else {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* found = nullptr;
      error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
      if (error == 0) {
        for (const addrinfo* a = found; a; a = a->ai_next) {
          if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
          sockaddr_storage ss{};
          std::memcpy(&ss, a->ai_addr, a->ai_addrlen);
          out.push_back(ss);
        }
      }
      if (found) ::freeaddrinfo(found);
      if (error == 0 && out.empty()) error = EAI_NONAME;
    }
    if (error != 0) {
      out.clear();
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
      return out;
    }
  }
  for (sockaddr_storage& ss : out) {
    if (ss.ss_family == AF_INET6)
      reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port = htons(static_cast<std::uint16_t>(port));
    else
      reinterpret_cast<sockaddr_in*>(&ss)->sin_port = htons(static_cast<std::uint16_t>(port));
  }
  ctx.log.log_status("Connecting to news server using port " + std::to_string(port), 1);
  return out;
}

int filladdr(EngineContext& ctx, const std::string& host, sockaddr_in& addr) {
  for (const sockaddr_storage& ss : resolve_news_server(ctx, host)) {
    if (ss.ss_family != AF_INET) continue;
    std::memcpy(&addr, &ss, sizeof addr);
    return 1;
  }
  return 0;
}

std::int64_t pacing_delay_ms(int position) {
  return position >= 0 && position <= 9 ? 200 - 20 * position : 0;
}

// The line readers' side of a socket: refills that watch STOP, and the byte count, kept locally and
// published before every wait and on the way out, so the window sees each byte. A compressed stream
// counts its wire bytes itself.
class SocketReader {
 public:
  SocketReader(EngineContext& ctx, NewsSocket& socket) : ctx_(ctx), socket_(socket) {}
  ~SocketReader() { publish(); }
  SocketReader(const SocketReader&) = delete;
  SocketReader& operator=(const SocketReader&) = delete;

  // Bytes are buffered; false on STOP or when the stream is gone (said in the log).
  bool ready() {
    if (ctx_.state.stop_requested.load()) return false;
    if (socket_.pos_ == socket_.len_) {
      publish();
      if (!socket_.fill(ctx_.state.stop_requested)) {
        note_read_failure(ctx_, socket_);
        return false;
      }
    }
    return true;
  }
  // The next byte, or -1 as ready().
  int next_byte() {
    if (!ready()) return -1;
    ++counted_;
    return static_cast<unsigned char>(socket_.buf_[socket_.pos_++]);
  }
  std::string_view buffered() const {
    return {socket_.buf_.data() + socket_.pos_, socket_.len_ - socket_.pos_};
  }
  void take(std::size_t n) {
    socket_.pos_ += n;
    counted_ += n;
  }
  void publish() {
    if (counted_ && !socket_.compressing()) ctx_.state.byte_count.fetch_add(static_cast<std::int64_t>(counted_));
    counted_ = 0;
  }

 private:
  EngineContext& ctx_;
  NewsSocket& socket_;
  std::size_t counted_ = 0;
};

namespace {

// One run of a status line out of the reader's buffer, at most `room` bytes, still polling STOP
// before every byte after the first.
struct LineRun {
  std::size_t length = 0;    // bytes looked at, the LF not included
  std::size_t text_end = 0;  // where a CR or NUL ended the text (length when none did)
  bool line_end = false;
  bool stopped = false;
};

LineRun scan_line_run(std::string_view run, std::size_t room, const std::atomic<int>& stop) {
  LineRun r;
  const std::size_t available = std::min(run.size(), room);
  r.text_end = available;
  std::size_t k = 0;
  for (; k < available; ++k) {
    if (k > 0 && stop.load()) {
      r.stopped = true;
      break;
    }
    const char b = run[k];
    if (b == '\n') {
      r.line_end = true;
      break;
    }
    if ((b == '\r' || b == 0) && r.text_end == available) r.text_end = k;
  }
  r.length = k;
  return r;
}

}  // namespace

int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity, NewsSocket& socket) {
  line.clear();
  if (std::int64_t pause = pacing_delay_ms(ctx.view.pacing_position()); pause > 0) ctx.clock.sleep_ms(pause);
  if (capacity < 2) capacity = 2;

  SocketReader in(ctx, socket);
  int c;
  do {
    c = in.next_byte();
    if (c < 0) return -1;
  } while (is_space(static_cast<char>(c)));

  // The text ends at the first CR or NUL, as it did in a zero-terminated buffer.
  bool text_ended = c == 0;
  if (!text_ended) line.push_back(static_cast<char>(c));
  // The rest is taken from the block buffer a run at a time.
  std::size_t i = 1;  // bytes of this line taken so far
  while (i < capacity - 1) {
    if (!in.ready()) return -1;
    const std::string_view buffered = in.buffered();
    const LineRun run = scan_line_run(buffered, capacity - 1 - i, ctx.state.stop_requested);
    if (!text_ended) {
      line.append(buffered.data(), std::min(run.length, run.text_end));
      text_ended = run.text_end < run.length;
    }
    const std::size_t taken = run.length + (run.line_end ? 1 : 0);
    in.take(taken);
    i += taken;
    if (run.stopped) return -1;
    if (run.line_end) {
      socket.cut_ = false;
      return static_cast<int>(i);
    }
  }
  in.publish();
  // One line in a thousand pieces is one fault, not a thousand.
  if (!socket.cut_) ctx.log.log_status("Line Buffer Filled in get_socket_string()", 0);
  socket.cut_ = true;
  return static_cast<int>(capacity - 1);
}

int read_body_line(EngineContext& ctx, NewsSocket& socket, std::string& line, bool& more) {
  line.clear();
  if (std::exchange(socket.held_cr_, false)) line.push_back('\r');
  const bool continued = more;
  more = false;
  if (!continued)
    if (std::int64_t pause = pacing_delay_ms(ctx.view.pacing_position()); pause > 0) ctx.clock.sleep_ms(pause);
  SocketReader in(ctx, socket);
  std::size_t taken = 0;  // bytes of this call
  for (;;) {
    if (!in.ready()) return -1;
    const std::string_view run = in.buffered();
    const auto* lf = static_cast<const char*>(std::memchr(run.data(), '\n', run.size()));
    const std::size_t n = lf ? static_cast<std::size_t>(lf - run.data()) : run.size();
    line.append(run.data(), n);
    const std::size_t used = n + (lf ? 1 : 0);
    in.take(used);
    taken += used;
    if (lf) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      socket.cut_ = false;
      return static_cast<int>(taken);
    }
    if (line.size() >= kBlock) {
      more = true;
      // A CR at the end of a piece may be the first half of the line end: it goes with the next piece.
      if (line.back() == '\r') {
        line.pop_back();
        socket.held_cr_ = true;
      }
      return static_cast<int>(taken);
    }
  }
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
