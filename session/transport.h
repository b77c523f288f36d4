// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The news server connection: connecting, the line reader, sending whole lines and draining.

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "session/stream.h"

namespace fk {

struct EngineContext;

// One connection to a news server (plain or TLS, see stream.h) and the reader's block buffer. When it
// claimed SessionState::news_socket it hands the slot back on close.
class NewsSocket {
 public:
  NewsSocket() = default;
  // Adopts an already connected stream descriptor as a plain stream (tests and fuzzing use a socketpair).
  explicit NewsSocket(int fd);
  ~NewsSocket() { close(); }
  NewsSocket(const NewsSocket&) = delete;
  NewsSocket& operator=(const NewsSocket&) = delete;

  // Closes what it had and adopts a connected descriptor as a plain stream (fuzzing, tests).
  void adopt(int fd);
  bool is_open() const { return stream_ != nullptr; }
  bool is_tls() const { return stream_ && stream_->is_tls(); }
  int fd() const { return stream_ ? stream_->fd() : -1; }
  // Closes the stream, drops buffered bytes and frees the claimed slot. Safe to call twice.
  void close();

  // Sends the whole line (never raises SIGPIPE). False when the stream failed.
  bool send_line(std::string_view line);

  // Bytes received but not read yet: the reader's buffer, what TLS holds decrypted, and what the system
  // holds (for TLS still encrypted, so an estimate). Nothing when the query fails.
  std::optional<std::int64_t> bytes_waiting() const;

  // Throws away buffered bytes and what the system holds right now. Returns the number dropped, 0
  // when the stream is closed, -1 on an error.
  std::int64_t discard_waiting();

  // A download-only connection beside the session's own does not take the one slot: call before
  // connecting.
  void set_claims_slot(bool claims) { claims_slot_ = claims; }

  // A server silent this long while the reader waits is a lost connection; 0 waits for ever.
  void set_idle_timeout_ms(std::int64_t ms) { idle_limit_ms_ = ms; }
  // True once (then false) after a read gave up on a silent server.
  bool take_timed_out() { return std::exchange(timed_out_, false); }
  // The last get_socket_string piece was cut short of its line end.
  bool last_line_cut() const { return cut_; }

  // Up to max bytes as they come, waiting at most one 100 ms slice: >0 bytes, 0 when the slice passed
  // quietly, -1 when the server closed, -2 on an error.
  std::int64_t receive_some(char* out, std::size_t max);

  // Turns the plain connection into TLS (STARTTLS) with nothing of the plain stream left unread.
  TlsResult start_tls(const TlsOptions& options, const std::atomic<int>& stop);

  // Everything from here on is compressed (COMPRESS DEFLATE, after the 206 line): bytes already
  // buffered belong to the compressed stream. The stream counts its wire bytes into `wire_counter`
  // (when given); the line readers then leave byte_count alone.
  void start_compression(std::atomic<std::int64_t>* wire_counter);
  bool compressing() const { return stream_ && stream_->compression(); }
  // The totals of the compressed connection closed last (once, then nothing).
  std::optional<CompressionTotals> take_compression_totals() { return std::exchange(closed_totals_, std::nullopt); }
  // Why the stream failed, when it knows more than "lost" (a corrupt compressed stream); once.
  std::string take_failure() { return std::exchange(failure_, std::string()); }

 private:
  friend int connect_news_server(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop,
                                 std::string* reason);
  friend int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity,
                               NewsSocket& socket);
  friend int read_body_line(EngineContext& ctx, NewsSocket& socket, std::string& line, bool& more);
  friend class SocketReader;
  // Waits for data in 100 ms slices, watching stop and the idle limit; false on a closed stream, an
  // error, silence or stop.
  bool fill(const std::atomic<int>& stop);
  // Waits in one slice for what the stream wants (WantRead or WantWrite); false on a poll error.
  bool wait_slice(Stream::Io want, bool& ready);
  // Counts a quiet slice (a ready one starts the count again); true once the silence reaches the idle limit.
  bool silent_too_long(bool ready, std::int64_t& silent_ms) const;

  std::unique_ptr<Stream> stream_;
  int claimed_fd_ = -1;
  std::atomic<int>* slot_ = nullptr;
  std::vector<char> buf_;
  std::size_t pos_ = 0, len_ = 0;
  std::int64_t idle_limit_ms_ = 0;
  bool claims_slot_ = true;
  bool timed_out_ = false;
  bool cut_ = false;
  bool held_cr_ = false;
  std::optional<CompressionTotals> closed_totals_;
  std::string failure_;
};

// Connects to the news_server setting at its port, trying each of its addresses (IPv6 and IPv4) in
// turn, and with use_tls 1 starts TLS; on success `socket` is connected and holds the news_socket slot.
// 0 on success, -1 after logging "socket() failed", "filladdr() failed", "connect() failed" or why TLS
// failed (the slot stays -1; a refused certificate sets SessionState::refusal and tells the user).
// STOP while connecting counts as a failed connect.
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

// The addresses of host at the port setting, logged and refused as filladdr does; an IPv6 literal is
// used as it stands. Empty when the name cannot be resolved.
std::vector<sockaddr_storage> resolve_news_server(EngineContext& ctx, const std::string& host);

// Starts TLS on the connected plain socket (implicit TLS, or after the server's 382 to STARTTLS). A
// refused certificate is reported with report_tls_refusal; with tls_verify 0 a warning is logged at
// every connect. False when the connection is gone (socket closed).
bool start_tls_or_refuse(EngineContext& ctx, NewsSocket& socket, const std::atomic<int>& stop);

// Fills an IPv4 address for host and the port setting. Four dotted numbers are used as they stand (low
// 8 bits each); anything else is resolved. 1 when filled, 0 when the name cannot be resolved (or is 80
// characters or longer): then a warning box unless unattended, and a log line.
int filladdr(EngineContext& ctx, const std::string& host, sockaddr_in& addr);

// Reads one line. Leading white space is skipped, so empty lines are never returned. `line` gets the
// text up to the first CR or NUL; the result is the number of bytes taken from the first non-blank up
// to and including the LF, or capacity - 1 when the line did not fit (the rest comes with the next
// call; "Line Buffer Filled" is logged once per cut line). -1 on a closed stream, an error, silence or
// STOP. Paces itself by the trackbar first; every byte read counts in byte_count.
int get_socket_string(EngineContext& ctx, std::string& line, std::size_t capacity, NewsSocket& socket);

// One body line byte-exact: `line` gets its bytes without the line end (CR LF, or a bare LF). A line
// longer than the reader's block comes in pieces, `more` set on all but the last. The result is the
// number of bytes taken, the line end included; -1 on a closed stream, an error, silence or STOP.
// Paces itself by the trackbar before each line; every byte read counts in byte_count.
int read_body_line(EngineContext& ctx, NewsSocket& socket, std::string& line, bool& more);

enum class BodyRead { Whole, Lost, TooLarge };
// A body up to its "." line, whatever follows left in the stream, with dot-stuffing undone: each piece
// goes to sink(text, ends_line, bytes_taken). TooLarge once the lines pass `bound` bytes; Lost as
// read_body_line fails. `line` is the caller's buffer.
template <class Sink>
BodyRead read_body(EngineContext& ctx, NewsSocket& socket, std::string& line, std::uint64_t bound, Sink&& sink) {
  bool more = false;
  std::uint64_t taken = 0;
  for (;;) {
    const bool line_start = !more;
    const int length = read_body_line(ctx, socket, line, more);
    if (length == -1) return BodyRead::Lost;
    // Servers dot-stuff, so a body never holds a bare "." line: that line alone ends it.
    if (line_start && !more && length == 3 && line == ".") return BodyRead::Whole;
    taken += line.size() + (more ? 0 : 1);
    if (taken > bound) return BodyRead::TooLarge;
    std::string_view text = line;
    if (line_start && text.size() >= 2 && text[0] == '.' && text[1] == '.') text.remove_prefix(1);
    sink(text, !more, length);
  }
}

// Tells the user that TLS with the server was refused and why (status log, and a box unless
// unattended), and marks the refusal so the headless mode ends at once.
void report_tls_refusal(EngineContext& ctx, const std::string& what, const std::string& advice);

// Discards whatever the server sends until it has been quiet for 3 s (or STOP is pressed). Drained
// bytes are not counted. Returns 0, or -1 when the stream failed.
int drain_socket(EngineContext& ctx, NewsSocket& socket);

// The pause before each line for a trackbar position: 200 ms at 0 down to 20 ms at 9, none otherwise.
std::int64_t pacing_delay_ms(int position);

}  // namespace fk
