// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One byte stream to a news server: plain TCP, or TLS (OpenSSL) over it. The reader above it waits
// on fd() in slices, so no call here ever blocks for long.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fk {

// Bytes on the wire and the text they carried, for a compressed stream's ratio.
struct CompressionTotals {
  std::int64_t wire_read = 0;
  std::int64_t text_read = 0;
  std::int64_t wire_sent = 0;
  std::int64_t text_sent = 0;
};

class Stream {
 public:
  enum class Io { Ok, WantRead, WantWrite, Closed, Failed };
  virtual ~Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  int fd() const { return fd_; }
  // Up to n bytes without waiting; `got` is set when the result is Ok.
  virtual Io read(char* buf, std::size_t n, std::size_t& got) = 0;
  // Up to n bytes; `put` is set when the result is Ok. A plain stream may wait for room.
  virtual Io write(const char* buf, std::size_t n, std::size_t& put) = 0;
  // Bytes already received and decrypted that read() hands out without touching the socket.
  virtual std::size_t pending() const { return 0; }
  virtual bool is_tls() const { return false; }
  // Why the last read or write failed, when the stream knows more than the socket ("corrupt data").
  virtual std::string failure() const { return {}; }
  // The totals of a compressed stream; nothing for a stream that does not compress.
  virtual const CompressionTotals* compression() const { return nullptr; }
  // Gives the descriptor up (STARTTLS hands it to a TLS stream); the stream is unusable afterwards.
  int release_fd() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 protected:
  explicit Stream(int fd) : fd_(fd) {}
  int fd_;
};

// The socket as it is; owns and closes the descriptor.
std::unique_ptr<Stream> make_plain_stream(int fd);

struct TlsOptions {
  std::string host;     // the server name as configured: SNI and the name checked (IP literals too)
  std::string ca_file;  // extra trusted certificates (PEM); empty: the system's store only
  bool verify = true;
};

// The outcome of a TLS handshake: a stream, or why there is none.
struct TlsResult {
  std::unique_ptr<Stream> stream;
  bool refused = false;  // the certificate or the handshake was refused: trying again will not help
  std::string reason;    // for a person: "certificate has expired", "hostname mismatch", ...
};

// Starts TLS as the client on a connected socket (which it takes over, also on failure). `wait` is
// called while the handshake waits, with the events to wait for; it returns false to give up (STOP,
// silence).
class TlsWaiter {
 public:
  virtual ~TlsWaiter() = default;
  virtual bool wait(int fd, short events) = 0;
};
TlsResult start_tls_client(int fd, const TlsOptions& options, TlsWaiter& waiter);

}  // namespace fk
