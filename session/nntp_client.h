// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The NNTP dialogue with a news server over one NewsSocket, shared by the session and the groups
// dialog's listing: connecting (with TLS), STARTTLS, commands out and typed replies in.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "session/nntp_reply.h"
#include "session/transport.h"

namespace fk {

struct EngineContext;

// One status line as the reader returned it, with its number.
struct Reply {
  std::int64_t code = 0;
  std::string text;
  int length = 0;         // bytes the reader took for it
  std::size_t sent = 0;   // bytes of the command that asked for it
};

// The capability labels of a 101 answer, upper-cased ("READER", "STARTTLS", ...).
std::vector<std::string> parse_capabilities(const std::vector<std::string>& lines);
// Whether the lines of a 101 answer offer COMPRESS with the DEFLATE algorithm (any case).
bool offers_compress_deflate(const std::vector<std::string>& lines);

class NntpClient {
 public:
  // `stop` is what ends a wait: STOP for the session, the dialog's cancel for the listing.
  NntpClient(EngineContext& ctx, const std::atomic<int>& stop) : ctx_(ctx), stop_(stop) {}

  NewsSocket& socket() { return socket_; }
  // connect_news_server (plain, or TLS with use_tls 1). 0 on success, -1 as that one, with `reason`
  // (when given) saying why in a few words.
  int connect(std::string* reason = nullptr);

  bool send(std::string_view line) { return socket_.send_line(line); }
  // One reply line read with the given capacity; nothing when the connection is lost.
  std::optional<Reply> read_reply(std::size_t capacity = 511);
  // Sends the command line and reads its reply.
  std::optional<Reply> command(const std::string& line, std::size_t capacity = 511);

  std::optional<Reply> authinfo_user(const std::string& user) { return command("AUTHINFO USER " + user + "\r\n"); }
  std::optional<Reply> authinfo_pass(const std::string& pass) { return command("AUTHINFO PASS " + pass + "\r\n"); }
  std::optional<Reply> mode_reader() { return command("MODE READER\r\n"); }
  // GROUP in the lower case the classic client sent; the reply's numbers parsed.
  std::optional<GroupReply> group(const std::string& name, Reply* raw = nullptr);
  // The labels, or an empty list when the server does not know CAPABILITIES; nothing when lost.
  std::optional<std::vector<std::string>> capabilities();
  // The lines of the 101 answer as they came (empty when CAPABILITIES is unknown); nothing when lost.
  std::optional<std::vector<std::string>> capability_lines();
  bool quit() { return send("QUIT\r\n"); }

  // The multi-line commands. Their answers stream through socket(): the overview scan, the body reader
  // and the groups listing read them line by line as they come.
  static std::string xover_line(std::int64_t first, std::int64_t last) {
    return "XOVER " + std::to_string(first) + "-" + std::to_string(last) + "\r\n";
  }
  // BODY in the lower case the classic client sent.
  static std::string body_line(std::string_view number) { return "body " + std::string(number) + "\r\n"; }
  static std::string list_active_line() { return "list active\r\n"; }

  enum class TlsStart { Started, Refused, Lost };
  // STARTTLS when use_tls is 2 (nothing to do otherwise, or when TLS is on already). A server that
  // does not offer it, or refuses it, or a refused certificate is reported to the user (Refused).
  TlsStart start_tls_if_asked();

  // With fast_transfers and use_compression on and COMPRESS DEFLATE offered: COMPRESS DEFLATE, and on
  // 206 everything after it compressed (logged once); any other answer leaves the connection plain,
  // with one log line. Wire bytes go to `wire_counter` when given. False only when the connection was
  // lost on the way.
  bool start_compression_if_offered(std::atomic<std::int64_t>* wire_counter);
  // Closes the connection; a compressed one logs its ratio (also when the socket was closed before).
  void close();
  ~NntpClient() { close(); }
  NntpClient(const NntpClient&) = delete;
  NntpClient& operator=(const NntpClient&) = delete;

  // Up to max bytes as they come, waiting at most one 100 ms slice: >0 bytes, 0 when the slice
  // passed quietly, -1 when the server closed, -2 on an error.
  std::int64_t receive_some(char* out, std::size_t max) { return socket_.receive_some(out, max); }

 private:
  EngineContext& ctx_;
  const std::atomic<int>& stop_;
  NewsSocket socket_;
};

}  // namespace fk
