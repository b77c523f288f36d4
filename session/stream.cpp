// SPDX-License-Identifier: GPL-3.0-or-later
// The plain and the TLS stream.
#include "session/stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <mutex>

namespace fk {

namespace {

class PlainStream final : public Stream {
 public:
  explicit PlainStream(int fd) : Stream(fd) {}
  ~PlainStream() override {
    if (fd_ >= 0) ::close(fd_);
  }
  Io read(char* buf, std::size_t n, std::size_t& got) override {
    for (;;) {
      ssize_t r = ::recv(fd_, buf, n, MSG_DONTWAIT);
      if (r > 0) {
        got = static_cast<std::size_t>(r);
        return Io::Ok;
      }
      if (r == 0) return Io::Closed;
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? Io::WantRead : Io::Failed;
    }
  }
  Io write(const char* buf, std::size_t n, std::size_t& put) override {
    for (;;) {
      ssize_t r = ::send(fd_, buf, n, MSG_NOSIGNAL);
      if (r >= 0) {
        put = static_cast<std::size_t>(r);
        return Io::Ok;
      }
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK ? Io::WantWrite : Io::Failed;
    }
  }
};

struct SslCtxFree {
  void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct SslFree {
  void operator()(SSL* s) const { SSL_free(s); }
};

class TlsStream final : public Stream {
 public:
  TlsStream(int fd, std::unique_ptr<SSL_CTX, SslCtxFree> ctx, std::unique_ptr<SSL, SslFree> ssl)
      : Stream(fd), ctx_(std::move(ctx)), ssl_(std::move(ssl)) {}
  ~TlsStream() override {
    // No close_notify: the connection is going either way, and a dead peer must not hold us up.
    ssl_.reset();
    if (fd_ >= 0) ::close(fd_);
  }
  bool is_tls() const override { return true; }
  std::size_t pending() const override { return static_cast<std::size_t>(SSL_pending(ssl_.get())); }

  Io read(char* buf, std::size_t n, std::size_t& got) override {
    ERR_clear_error();
    if (SSL_read_ex(ssl_.get(), buf, n, &got) != 1) return classify(SSL_get_error(ssl_.get(), 0));
    // One call hands out one record (16 KiB at most); what is already here fills the block further.
    std::size_t more = 0;
    while (got < n && SSL_has_pending(ssl_.get()) && SSL_read_ex(ssl_.get(), buf + got, n - got, &more) == 1)
      got += more;
    ERR_clear_error();
    return Io::Ok;
  }
  Io write(const char* buf, std::size_t n, std::size_t& put) override {
    ERR_clear_error();
    if (SSL_write_ex(ssl_.get(), buf, n, &put) == 1) return Io::Ok;
    return classify(SSL_get_error(ssl_.get(), 0));
  }

 private:
  static Io classify(int error) {
    switch (error) {
      case SSL_ERROR_WANT_READ: return Io::WantRead;
      case SSL_ERROR_WANT_WRITE: return Io::WantWrite;
      case SSL_ERROR_ZERO_RETURN: return Io::Closed;
      default: return Io::Failed;  // a cut record or a broken session counts as a failure
    }
  }
  std::unique_ptr<SSL_CTX, SslCtxFree> ctx_;
  std::unique_ptr<SSL, SslFree> ssl_;
};

bool is_ip_literal(const std::string& host) {
  unsigned char buf[16];
  return ::inet_pton(AF_INET, host.c_str(), buf) == 1 || ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// What the verification said, in words a person can act on.
std::string verify_reason(long result) {
  switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return "the certificate has expired";
    case X509_V_ERR_CERT_NOT_YET_VALID: return "the certificate is not valid yet";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return "the certificate was issued for another name";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return "the certificate's issuer is unknown (" + std::string(X509_verify_cert_error_string(result)) + ")";
    default: return X509_verify_cert_error_string(result);
  }
}

std::string last_ssl_error(const char* fallback) {
  unsigned long e = ERR_peek_last_error();
  if (e == 0) return fallback;
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  return text;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the server has gone; a lost
// connection must be a failed write, not the end of the program.
void ignore_sigpipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) ::signal(SIGPIPE, SIG_IGN);
  });
}

}  // namespace

std::unique_ptr<Stream> make_plain_stream(int fd) {
  return std::make_unique<PlainStream>(fd);
}

TlsResult start_tls_client(int fd, const TlsOptions& options, TlsWaiter& waiter) {
  TlsResult out;
  ignore_sigpipe();
  auto give_up = [&](bool refused, std::string reason) {
    ::close(fd);
    out.refused = refused;
    out.reason = std::move(reason);
    return std::move(out);
  };
  ERR_clear_error();
  std::unique_ptr<SSL_CTX, SslCtxFree> ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) return give_up(false, last_ssl_error("cannot set up TLS"));
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  // Whole runs of records per system call rather than a header and a body each.
  SSL_CTX_set_read_ahead(ctx.get(), 1);
  SSL_CTX_set_default_read_buffer_len(ctx.get(), 64 * 1024);
  if (options.verify) {
    SSL_CTX_set_default_verify_paths(ctx.get());
    if (!options.ca_file.empty() && SSL_CTX_load_verify_locations(ctx.get(), options.ca_file.c_str(), nullptr) != 1)
      return give_up(true, "the tls_ca_file '" + options.ca_file + "' cannot be read as PEM certificates");
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
  }
  std::unique_ptr<SSL, SslFree> ssl(SSL_new(ctx.get()));
  if (!ssl || SSL_set_fd(ssl.get(), fd) != 1) return give_up(false, last_ssl_error("cannot set up TLS"));
  const bool literal = is_ip_literal(options.host);
  // Servers pick their certificate by SNI, which may carry names only.
  if (!literal) SSL_set_tlsext_host_name(ssl.get(), options.host.c_str());
  if (options.verify) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (literal ? X509_VERIFY_PARAM_set1_ip_asc(param, options.host.c_str()) != 1
                : X509_VERIFY_PARAM_set1_host(param, options.host.c_str(), 0) != 1)
      return give_up(true, "the server name cannot be checked against a certificate");
  }
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return give_up(false, "fcntl failed");
  for (;;) {
    ERR_clear_error();
    int rc = SSL_connect(ssl.get());
    if (rc == 1) break;
    int error = SSL_get_error(ssl.get(), rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      if (!waiter.wait(fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT))
        return give_up(false, "the handshake was given up");
      continue;
    }
    long verified = SSL_get_verify_result(ssl.get());
    if (options.verify && verified != X509_V_OK) return give_up(true, verify_reason(verified));
    if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN)
      return give_up(false, "the server closed the connection during the TLS handshake");
    return give_up(true, "the TLS handshake failed: " + last_ssl_error("unknown error"));
  }
  out.stream = std::make_unique<TlsStream>(fd, std::move(ctx), std::move(ssl));
  return out;
}

}  // namespace fk
