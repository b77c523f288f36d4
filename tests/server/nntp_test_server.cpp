// SPDX-License-Identifier: GPL-3.0-or-later
// The NNTP test server: one accepting thread, one thread per connection, all woken by a pipe to stop.
#include "server/nntp_test_server.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

namespace fk::test {

namespace {

constexpr std::size_t kMaxCommand = 64 * 1024;

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool starts_with_ci(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && upper(text.substr(0, prefix.size())) == upper(prefix);
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool parse_number(std::string_view s, std::int64_t& out) {
  if (s.empty() || s.size() > 18) return false;
  std::int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// The body on the wire: CR LF line ends, lines beginning with a dot get a second one, then ".".
std::string wire_body(const std::string& body) {
  std::string out;
  out.reserve(body.size() + body.size() / 16 + 8);
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    std::size_t stop = end == std::string::npos ? body.size() : end;
    std::string_view line(body.data() + pos, stop - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '.') out += '.';
    out += line;
    out += "\r\n";
    pos = end == std::string::npos ? body.size() : end + 1;
  }
  out += ".\r\n";
  return out;
}

std::string overview_line(const OverviewFields& o) {
  std::string line = std::to_string(o.number) + '\t' + o.subject + '\t' + o.author + '\t' + o.date + '\t' +
                     o.message_id + '\t' + o.references + '\t' + std::to_string(o.bytes) + '\t' +
                     std::to_string(o.lines);
  if (!o.xref.empty()) line += '\t' + o.xref;
  return line + "\r\n";
}

// One client: reads command lines and writes answers, giving up as soon as the server stops.
class Link {
 public:
  Link(int fd, int wake, std::atomic<std::int64_t>& sent, std::int64_t rate = 0)
      : fd_(fd), wake_(wake), sent_(sent), rate_(rate) {}
  ~Link() {
    if (ssl_) SSL_free(ssl_);
    if (compressing_) {
      deflateEnd(&out_);
      inflateEnd(&in_);
    }
  }

  // From here on both directions are raw deflate; false when zlib cannot start.
  bool start_compression() {
    if (deflateInit2(&out_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
    if (inflateInit2(&in_, -MAX_WBITS) != Z_OK) {
      deflateEnd(&out_);
      return false;
    }
    compressing_ = true;
    return true;
  }

  // A block header of the reserved type: no inflater takes it.
  void send_corrupt_deflate() { send_wire("\xff\xff\xff\xff\xff\xff\xff\xff"); }

  // The server's side of a TLS handshake; false when the client went or refused us.
  bool accept_tls(SSL_CTX* ctx) {
    int flags = ::fcntl(fd_, F_GETFL, 0);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) return false;
    for (;;) {
      int rc = SSL_accept(ssl_);
      if (rc == 1) return true;
      int e = SSL_get_error(ssl_, rc);
      if (e == SSL_ERROR_WANT_READ && wait(POLLIN)) continue;
      if (e == SSL_ERROR_WANT_WRITE && wait(POLLOUT)) continue;
      ERR_clear_error();
      return false;
    }
  }

  // The header of an application-data record announcing 16 KiB, and a little of it, then nothing.
  void send_cut_record() {
    static const unsigned char kHead[] = {0x17, 0x03, 0x03, 0x40, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};
    [[maybe_unused]] ssize_t n = ::send(fd_, kHead, sizeof kHead, MSG_NOSIGNAL);
  }

  bool send(std::string_view data) {
    if (!compressing_) return send_wire(data);
    std::string packed;
    out_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    out_.avail_in = static_cast<uInt>(data.size());
    do {
      const std::size_t had = packed.size();
      const std::size_t room = deflateBound(&out_, out_.avail_in) + 64;
      packed.resize(had + room);
      out_.next_out = reinterpret_cast<Bytef*>(packed.data() + had);
      out_.avail_out = static_cast<uInt>(room);
      if (deflate(&out_, Z_SYNC_FLUSH) == Z_STREAM_ERROR) return false;
      packed.resize(had + room - out_.avail_out);
    } while (out_.avail_in > 0 || out_.avail_out == 0);
    return send_wire(packed);
  }

  bool send_wire(std::string_view data) {
    if (rate_ > 0) {
      // In slices of a twentieth of a second's worth, each sent no earlier than the cap allows.
      const std::size_t slice = static_cast<std::size_t>(std::max<std::int64_t>(rate_ / 20, 1024));
      while (data.size() > slice) {
        if (!send_capped(data.substr(0, slice))) return false;
        data.remove_prefix(slice);
      }
      return send_capped(data);
    }
    return send_uncapped(data);
  }

  bool send_capped(std::string_view data) {
    const auto due = capped_since_ + std::chrono::microseconds(capped_bytes_ * 1000000 / rate_);
    if (due > std::chrono::steady_clock::now()) std::this_thread::sleep_until(due);
    capped_bytes_ += static_cast<std::int64_t>(data.size());
    return send_uncapped(data);
  }

  bool send_uncapped(std::string_view data) {
    if (ssl_) return send_tls(data);
    while (!data.empty()) {
      ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        sent_ += n;
        data.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!wait(POLLOUT)) return false;
        continue;
      }
      return false;
    }
    return true;
  }

  // Next line without its line end; false when the client went or the server stops.
  bool read_line(std::string& line) {
    for (;;) {
      std::size_t lf = pending_.find('\n');
      if (lf != std::string::npos) {
        line = pending_.substr(0, std::min(lf, kMaxCommand));
        pending_.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      // An endless line is kept bounded: only its start is remembered.
      if (pending_.size() > kMaxCommand) pending_.resize(kMaxCommand);
      if (ssl_) {
        std::size_t got = 0;
        if (SSL_read_ex(ssl_, chunk_.data(), chunk_.size(), &got) == 1) {
          if (!take_in(got)) return false;
          arrived_ = std::chrono::steady_clock::now();
          continue;
        }
        int e = SSL_get_error(ssl_, 0);
        ERR_clear_error();
        if ((e == SSL_ERROR_WANT_READ && wait(POLLIN)) || (e == SSL_ERROR_WANT_WRITE && wait(POLLOUT))) continue;
        return false;
      }
      ssize_t n = ::recv(fd_, chunk_.data(), chunk_.size(), MSG_DONTWAIT);
      if (n > 0) {
        if (!take_in(static_cast<std::size_t>(n))) return false;
        arrived_ = std::chrono::steady_clock::now();
        continue;
      }
      if (n == 0) return false;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!wait(POLLIN)) return false;
    }
  }

  // When the bytes of the last line read came in (for a line already buffered, its newest bytes).
  std::chrono::steady_clock::time_point arrived() const { return arrived_; }

 private:
  // The bytes of chunk_ into pending_, inflated when compressing; false on a corrupt stream.
  bool take_in(std::size_t n) {
    if (!compressing_) {
      pending_.append(chunk_.data(), n);
      return true;
    }
    in_.next_in = reinterpret_cast<Bytef*>(chunk_.data());
    in_.avail_in = static_cast<uInt>(n);
    std::array<char, 16384> out{};
    do {
      in_.next_out = reinterpret_cast<Bytef*>(out.data());
      in_.avail_out = static_cast<uInt>(out.size());
      const int rc = inflate(&in_, Z_SYNC_FLUSH);
      if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
      pending_.append(out.data(), out.size() - in_.avail_out);
      if (pending_.size() > 4 * kMaxCommand) return false;
    } while (in_.avail_in > 0 || in_.avail_out == 0);
    return true;
  }

  std::chrono::steady_clock::time_point arrived_ = std::chrono::steady_clock::now();
  bool send_tls(std::string_view data) {
    while (!data.empty()) {
      std::size_t put = 0;
      if (SSL_write_ex(ssl_, data.data(), data.size(), &put) == 1) {
        sent_ += static_cast<std::int64_t>(put);
        data.remove_prefix(put);
        continue;
      }
      int e = SSL_get_error(ssl_, 0);
      ERR_clear_error();
      if ((e == SSL_ERROR_WANT_WRITE && wait(POLLOUT)) || (e == SSL_ERROR_WANT_READ && wait(POLLIN))) continue;
      return false;
    }
    return true;
  }

  // Waits for the socket; false when the server is stopping or the socket failed.
  bool wait(short events) {
    pollfd p[2] = {{fd_, events, 0}, {wake_, POLLIN, 0}};
    for (;;) {
      int n = ::poll(p, 2, -1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || p[1].revents) return false;
      if (p[0].revents & (POLLERR | POLLNVAL)) return false;
      return true;
    }
  }

  int fd_;
  int wake_;
  std::atomic<std::int64_t>& sent_;
  std::int64_t rate_ = 0;
  std::int64_t capped_bytes_ = 0;
  std::chrono::steady_clock::time_point capped_since_ = std::chrono::steady_clock::now();
  std::string pending_;
  std::array<char, 16384> chunk_{};
  SSL* ssl_ = nullptr;
  bool compressing_ = false;
  z_stream out_{};
  z_stream in_{};
};

// The server's TLS context from the made-up certificate; nullptr when the library failed.
SSL_CTX* server_context(const TestPki& pki) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (!ctx) return nullptr;
  SSL_CTX_set_read_ahead(ctx, 1);
  // Large answers go out as runs of records without waiting for each to be taken.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  auto load = [](const std::string& pem, auto reader) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    auto* object = reader(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return object;
  };
  X509* cert = load(pki.cert_pem, PEM_read_bio_X509);
  EVP_PKEY* key = load(pki.key_pem, PEM_read_bio_PrivateKey);
  bool ok = cert && key && SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!ok) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

}  // namespace

namespace {
// ::1 at the port the IPv4 socket got; -1 where the system has no IPv6 or the port is taken there.
int listen_loopback6(std::uint16_t port) {
  int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  sockaddr_in6 addr{};
  addr.sin6_family = AF_INET6;
  addr.sin6_port = htons(port);
  addr.sin6_addr = in6addr_loopback;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

NntpTestServer::NntpTestServer(std::shared_ptr<NewsContent> content, ServerOptions options)
    : content_(std::move(content)), options_(std::move(options)) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return;
  }
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options_.port);
  if (::inet_pton(AF_INET, options_.address.c_str(), &addr.sin_addr) != 1) {
    ::close(fd);
    error_ = "not an IPv4 address: " + options_.address;
    return;
  }
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    error_ = std::string("bind/listen: ") + std::strerror(errno);
    ::close(fd);
    return;
  }
  port_ = ntohs(addr.sin_port);
  listen_fd_ = fd;
  if (options_.listen_ipv6 && options_.address == "127.0.0.1") listen6_fd_ = listen_loopback6(port_);
  if (options_.tls != ServerTls::None) {
    // OpenSSL writes with write(): a client that went must not end the test program with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    pki_ = make_test_pki(options_.certificate);
    tls_ = server_context(pki_);
    if (!tls_) {
      error_ = "cannot set up TLS";
      ::close(listen_fd_);
      listen_fd_ = -1;
      return;
    }
  }
  acceptor_ = std::thread([this] { accept_loop(); });
}

NntpTestServer::~NntpTestServer() {
  stopping_ = true;
  if (wake_[1] >= 0) {
    char c = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  for (auto& w : workers_)
    if (w.thread.joinable()) w.thread.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (listen6_fd_ >= 0) ::close(listen6_fd_);
  if (tls_) SSL_CTX_free(tls_);
  for (int fd : wake_)
    if (fd >= 0) ::close(fd);
}

void NntpTestServer::add_fault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back({std::make_shared<const Fault>(std::move(fault)), 0});
}

bool NntpTestServer::write_ca_file(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << pki_.ca_pem;
  return static_cast<bool>(out.flush());
}

MemoryContent* NntpTestServer::memory() {
  return dynamic_cast<MemoryContent*>(content_.get());
}

std::vector<std::string> NntpTestServer::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool NntpTestServer::wait_for_commands(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= n; });
}

bool NntpTestServer::wait_until_idle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return open_ == 0; });
}

void NntpTestServer::record(const std::string& line) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(line);
  }
  changed_.notify_all();
  if (listener_) listener_(line);
}

std::shared_ptr<const Fault> NntpTestServer::take_fault(const std::string& line, bool greeting) {
  std::lock_guard lock(mutex_);
  for (auto& f : faults_) {
    bool matches = greeting ? f.fault->command.empty()
                            : !f.fault->command.empty() && starts_with_ci(line, f.fault->command);
    if (!matches) continue;
    ++f.seen;
    if (f.fault->occurrence == 0 || f.fault->occurrence == f.seen) {
      return f.fault;
    }
  }
  return nullptr;
}

void NntpTestServer::accept_loop() {
  for (;;) {
    pollfd p[3] = {{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}, {listen6_fd_, POLLIN, 0}};
    int n = ::poll(p, listen6_fd_ >= 0 ? 3 : 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || p[0].revents || stopping_) return;
    int fd = ::accept4(p[1].revents ? listen_fd_ : listen6_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    bool too_many = false;
    {
      std::lock_guard lock(mutex_);
      ++open_;
      too_many = options_.max_connections > 0 && open_ > options_.max_connections;
    }
    // Finished connections are joined here so a long-running demo does not collect threads.
    for (auto it = workers_.begin(); it != workers_.end();) {
      if (it->done->load()) {
        it->thread.join();
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, fd, done, too_many] {
                          serve(fd, too_many);
                          ::close(fd);
                          {
                            std::lock_guard lock(mutex_);
                            --open_;
                          }
                          changed_.notify_all();
                          *done = true;
                        }),
                        done});
  }
}

void NntpTestServer::serve(int fd, bool too_many) {
  Link link(fd, wake_[0], bytes_sent_, options_.rate_per_connection);
  if (too_many) {
    link.send("502 Too many connections\r\n");
    return;
  }
  if (options_.tls == ServerTls::Implicit && !link.accept_tls(tls_)) return;
  // Carries out a fault; true when the connection goes on.
  auto act = [&](const Fault& f) {
    switch (f.action) {
      case FaultAction::Reply:
        return link.send(f.data);
      case FaultAction::Drop:
        link.send(f.data);
        return false;
      case FaultAction::Stall: {
        if (!link.send(f.data)) return false;
        std::string line;
        while (link.read_line(line)) record(line);
        return false;
      }
      case FaultAction::CutRecord:
        link.send(f.data);
        link.send_cut_record();
        return false;
      case FaultAction::Cut:
      case FaultAction::CorruptDeflate:
        return true;  // handled with the normal answer below
      case FaultAction::Flood: {
        if (!link.send(f.data)) return false;
        std::string block;
        std::string_view unit = f.repeat.empty() ? std::string_view("x") : std::string_view(f.repeat);
        while (block.size() < 16384) block += unit;
        while (!stopping_ && link.send(block)) {
        }
        return false;
      }
    }
    return false;
  };

  if (auto fault = take_fault({}, true)) {
    if (!act(*fault)) return;
  } else if (!link.send(options_.greeting + "\r\n")) {
    return;
  }

  std::string group, user, line;
  bool tls_started = options_.tls == ServerTls::Implicit;
  bool compressed = false;
  while (!stopping_ && link.read_line(line)) {
    record(line);
    auto fault = take_fault(line, false);
    const bool cut = fault && (fault->action == FaultAction::Cut || fault->action == FaultAction::CorruptDeflate);
    if (fault && !cut) {
      if (!act(*fault)) return;
      continue;
    }
    std::string_view rest = trim(line);
    std::size_t space = rest.find(' ');
    std::string word = upper(rest.substr(0, space));
    std::string_view arg =
        space == std::string_view::npos ? std::string_view() : trim(rest.substr(space + 1));
    std::string answer;

    if (word == "AUTHINFO") {
      std::size_t sp = arg.find(' ');
      std::string sub = upper(arg.substr(0, sp));
      std::string value(sp == std::string_view::npos ? std::string_view() : arg.substr(sp + 1));
      if (sub == "USER") {
        user = value;
        answer = "381 Password required\r\n";
      } else if (sub == "PASS") {
        bool ok = options_.user.empty() || (user == options_.user && value == options_.pass);
        answer = ok ? "281 Authentication accepted\r\n" : "481 Authentication failed\r\n";
      } else {
        answer = "501 Syntax error\r\n";
      }
    } else if (word == "MODE") {
      answer =
          upper(arg) == "READER" ? "200 Reader mode, posting permitted\r\n" : "501 Unknown MODE variant\r\n";
    } else if (word == "GROUP") {
      if (auto g = content_->group(std::string(arg))) {
        group = std::string(arg);
        answer = "211 " + std::to_string(g->count) + " " + std::to_string(g->first) + " " +
                 std::to_string(g->last) + " " + group + "\r\n";
      } else {
        answer = "411 No such newsgroup\r\n";
      }
    } else if (word == "XOVER") {
      auto g = group.empty() ? std::nullopt : content_->group(group);
      std::int64_t from = 0, to = 0;
      std::size_t dash = arg.find('-');
      bool ok = parse_number(arg.substr(0, dash), from);
      if (ok) {
        if (dash == std::string_view::npos)
          to = from;
        else if (dash + 1 == arg.size())
          to = g ? g->last : from;
        else
          ok = parse_number(arg.substr(dash + 1), to);
      }
      if (!g) {
        answer = "412 No newsgroup selected\r\n";
      } else if (!ok) {
        answer = "501 Syntax error\r\n";
      } else {
        // Sent in blocks as the lines are made, so a range of millions needs no answer in memory.
        answer = "224 Overview information follows\r\n";
        bool sent = true;
        content_->for_each_overview(group, from, to, [&](const OverviewFields& o) {
          answer += overview_line(o);
          if (answer.size() < 64 * 1024) return true;
          sent = link.send(answer);
          answer.clear();
          return sent && !stopping_;
        });
        if (!sent) return;
        answer += ".\r\n";
      }
    } else if (word == "BODY") {
      std::int64_t number = 0;
      std::optional<ServerArticle> a;
      const bool by_id = !arg.empty() && arg.front() == '<';
      if (by_id) a = content_->article_by_id(std::string(arg));
      else if (!group.empty() && parse_number(arg, number)) a = content_->article(group, number);
      if (by_id && !a) {
        answer = "430 No article with that message-id\r\n";
      } else if (by_id) {
        answer = "222 0 " + a->overview.message_id + " body follows\r\n" + wire_body(a->body);
      } else if (group.empty()) {
        answer = "412 No newsgroup selected\r\n";
      } else if (!a) {
        answer = "423 No article with that number\r\n";
      } else {
        answer = "222 " + std::to_string(number) + " " + a->overview.message_id + " body follows\r\n" +
                 wire_body(a->body);
      }
    } else if (word == "LIST") {
      if (arg.empty() || upper(arg) == "ACTIVE") {
        answer = "215 Newsgroups follow\r\n";
        for (const auto& name : content_->group_names()) {
          auto g = content_->group(name);
          answer += name + " " + std::to_string(g ? g->last : 0) + " " + std::to_string(g ? g->first : 0) +
                    " y\r\n";
        }
        answer += ".\r\n";
      } else {
        answer = "501 Unknown LIST keyword\r\n";
      }
    } else if (word == "CAPABILITIES") {
      answer = "101 Capability list:\r\nVERSION 2\r\nREADER\r\nOVER\r\n";
      if (options_.tls == ServerTls::StartTls && !tls_started) answer += "STARTTLS\r\n";
      if (options_.compress_deflate && !compressed) answer += "COMPRESS DEFLATE\r\n";
      answer += ".\r\n";
    } else if (word == "COMPRESS") {
      if (!options_.compress_deflate || compressed) {
        answer = "502 Compression not available\r\n";
      } else if (upper(arg) != "DEFLATE") {
        answer = "503 Only DEFLATE is supported\r\n";
      } else {
        if (!link.send("206 Compression active\r\n") || !link.start_compression()) return;
        compressed = true;
        continue;
      }
    } else if (word == "STARTTLS") {
      if (options_.tls != ServerTls::StartTls || tls_started) {
        answer = "580 Can not initiate TLS negotiation\r\n";
      } else {
        if (!link.send("382 Continue with TLS negotiation\r\n") || !link.accept_tls(tls_)) return;
        tls_started = true;
        continue;
      }
    } else if (word == "QUIT") {
      link.send("205 Closing connection\r\n");
      return;
    } else {
      answer = "500 Command not recognized\r\n";
    }
    if (options_.reply_delay.count() > 0) std::this_thread::sleep_until(link.arrived() + options_.reply_delay);
    if (cut) {
      link.send(answer.substr(0, answer.size() / 2));
      if (fault->action == FaultAction::Cut) return;
      link.send_corrupt_deflate();
      while (link.read_line(line)) record(line);
      return;
    }
    if (!link.send(answer)) return;
  }
}

}  // namespace fk::test
