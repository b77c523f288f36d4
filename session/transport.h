#pragma once
// The news server connection: connecting, the line reader, sending whole lines and draining.

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fk {

struct EngineContext;

// One TCP stream to a news server and the reader's block buffer. Owns the descriptor; when it claimed
// SessionState::news_socket it hands the slot back on close.
class NewsSocket {
 public:
  NewsSocket() = default;
  // Adopts an already connected stream descriptor (tests and fuzzing use a socketpair).
  explicit NewsSocket(int fd) : fd_(fd) {}
  ~NewsSocket() { close(); }
  NewsSocket(const NewsSocket&) = delete;
  NewsSocket& operator=(const NewsSocket&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Closes the stream, drops buffered bytes and frees the claimed slot. Safe to call twice.
  void close();

  // Sends the whole line in one piece (never raises SIGPIPE). False when the stream failed.
  bool send_line(std::string_view line);

  // Bytes received but not read yet: the reader's buffer plus what the system holds. Nothing when
  // the query fails.
  std::optional<std::int64_t> bytes_waiting() const;

  // Throws away buffered bytes and what the system holds right now. Returns the number dropped, 0
  // when the stream is closed, -1 on an error.
  std::int64_t discard_waiting();

 private:
  friend int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop,
                                 std::string* reason);
  friend int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity,
                               NewsSocket& socket);
  // Waits for data in 100 ms slices, watching stop; false on a closed stream, an error or stop.
  bool fill(const std::atomic<int>& stop);

  int fd_ = -1;
  std::atomic<int>* slot_ = nullptr;
  std::vector<char> buf_;
  std::size_t pos_ = 0, len_ = 0;
};

// Connects to the news_server setting at its port; on success `socket` is connected and holds the
// news_socket slot. 0 on success, -1 after logging "socket() failed", "filladdr() failed" or
// "connect() failed" (the slot stays -1). STOP while connecting counts as a failed connect.
int connect_news_server(EngineContext& ctx, NewsSocket& socket);
// The same, watching `stop` instead of STOP while the connect waits: the groups dialog's listing has a
// cancel of its own, and a STOP left over from an earlier scan must not fail it.
int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop);
// The same, and on failure `reason` (when given) says why in a few words: "connection refused",
// "no such host", "timed out", ...
int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop,
                        std::string* reason);
// The words for a failed connect's errno (0: stopped while waiting).
std::string connect_failure_text(int error);

// Fills an IPv4 address for host and the port setting. Four dotted numbers are used as they stand (low
// 8 bits each); anything else is resolved. 1 when filled, 0 when the name cannot be resolved (or is 80
// characters or longer): then a warning box unless unattended, and a log line.
int filladdr(EngineContext& ctx, const std::string& host, sockaddr_in& addr);

// Reads one line. Leading white space is skipped, so empty lines are never returned. `line` gets the
// text up to the first CR or NUL; the result is the number of bytes taken from the first non-blank up
// to and including the LF, or capacity - 1 when the line did not fit (the rest comes with the next
// call). -1 on a closed stream, an error or STOP. Paces itself by the trackbar first; every byte read
// counts in byte_count.
int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity, NewsSocket& socket);

// Discards whatever the server sends until it has been quiet for 3 s (or STOP is pressed). Drained
// bytes are not counted. Returns 0, or -1 when the stream failed.
int drain_socket(EngineContext& ctx, NewsSocket& socket);

// The pause before each line for a trackbar position: 200 ms at 0 down to 20 ms at 9, none otherwise.
std::int64_t pacing_delay_ms(int position);

}  // namespace fk
