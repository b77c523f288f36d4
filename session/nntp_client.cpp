// SPDX-License-Identifier: GPL-3.0-or-later
// The NNTP client: the dialogue's commands and replies over the news socket.
#include "session/nntp_client.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "session/context.h"

namespace fk {

std::vector<std::string> parse_capabilities(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    std::size_t end = line.find_first_of(" \t", start);
    std::string label = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    out.push_back(std::move(label));
  }
  return out;
}

bool offers_compress_deflate(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::vector<std::string> words;
    for (std::size_t at = line.find_first_not_of(" \t"); at != std::string::npos;
         at = line.find_first_not_of(" \t", at)) {
      const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
      words.push_back(line.substr(at, end - at));
      at = end;
    }
    words = parse_capabilities(words);  // upper-cased
    if (words.empty() || words.front() != "COMPRESS") continue;
    if (std::find(words.begin() + 1, words.end(), "DEFLATE") != words.end()) return true;
  }
  return false;
}

namespace {

// "1,234,567": the ratio line is read by people.
std::string with_thousands(std::int64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

int NntpClient::connect(std::string* reason) {
  return connect_news_server(ctx_, socket_, stop_, reason);
}

std::optional<Reply> NntpClient::read_reply(std::size_t capacity) {
  Reply r;
  r.length = get_socket_string(ctx_, r.text, capacity, socket_);
  if (r.length == -1) return std::nullopt;
  r.code = reply_status(r.text);
  return r;
}

std::optional<Reply> NntpClient::command(const std::string& line, std::size_t capacity) {
  send(line);
  std::optional<Reply> r = read_reply(capacity);
  if (r) r->sent = line.size();
  return r;
}

std::optional<GroupReply> NntpClient::group(const std::string& name, Reply* raw) {
  std::optional<Reply> r = command("group " + name + "\r\n");
  if (!r) return std::nullopt;
  GroupReply g = parse_group_reply(r->text);
  if (raw) *raw = std::move(*r);
  return g;
}

std::optional<std::vector<std::string>> NntpClient::capability_lines() {
  std::optional<Reply> r = command("CAPABILITIES\r\n");
  if (!r) return std::nullopt;
  std::vector<std::string> lines;
  if (r->code != 101) return lines;
  for (;;) {
    std::optional<Reply> line = read_reply();
    if (!line) return std::nullopt;
    if (line->text == ".") break;
    lines.push_back(std::move(line->text));
  }
  return lines;
}

std::optional<std::vector<std::string>> NntpClient::capabilities() {
  std::optional<std::vector<std::string>> lines = capability_lines();
  if (!lines) return std::nullopt;
  return parse_capabilities(*lines);
}

bool NntpClient::start_compression_if_offered(std::atomic<std::int64_t>* wire_counter) {
  const Settings s = ctx_.settings.get();
  if (!s.fast_transfers || !s.use_compression || socket_.compressing()) return true;
  std::optional<std::vector<std::string>> lines = capability_lines();
  if (!lines) return false;
  if (!offers_compress_deflate(*lines)) return true;
  std::optional<Reply> r = command("COMPRESS DEFLATE\r\n");
  if (!r) return false;
  if (r->code != 206) {
    ctx_.log.log_status("COMPRESS DEFLATE refused, going on uncompressed: " + r->text, 0);
    return true;
  }
  socket_.start_compression(wire_counter);
  ctx_.log.log_status("COMPRESS DEFLATE on", 0);
  return true;
}

void NntpClient::close() {
  socket_.close();
  std::optional<CompressionTotals> t = socket_.take_compression_totals();
  if (!t) return;
  std::string ratio = "-";
  if (t->wire_read > 0) {
    const std::int64_t tenths = (t->text_read * 10 + t->wire_read / 2) / t->wire_read;
    ratio = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + ":1";
  }
  ctx_.log.log_status("Compression: " + with_thousands(t->wire_read) + " bytes read for " +
                          with_thousands(t->text_read) + " (" + ratio + "), " + with_thousands(t->wire_sent) +
                          " bytes sent for " + with_thousands(t->text_sent),
                      0);
}

NntpClient::TlsStart NntpClient::start_tls_if_asked() {
  const Settings s = ctx_.settings.get();
  if (s.use_tls != Settings::kStartTls || socket_.is_tls()) return TlsStart::Started;
  auto refuse = [&](const std::string& why) {
    report_tls_refusal(ctx_, s.news_server + " " + why,
                       "Set use_tls=1 if the server speaks TLS on a port of its own (usually 563), or "
                       "use_tls=0 for a plain connection");
    return TlsStart::Refused;
  };
  std::optional<std::vector<std::string>> labels = capabilities();
  if (!labels) return TlsStart::Lost;
  // A server without CAPABILITIES may still know STARTTLS; its answer to it decides.
  bool offered = labels->empty();
  for (const std::string& label : *labels) offered = offered || label == "STARTTLS";
  if (!offered) return refuse("does not offer STARTTLS (use_tls=2)");
  std::optional<Reply> r = command("STARTTLS\r\n");
  if (!r) return TlsStart::Lost;
  if (r->code != 382) return refuse("refused STARTTLS (use_tls=2): " + r->text);
  if (start_tls_or_refuse(ctx_, socket_, stop_)) return TlsStart::Started;
  return ctx_.state.refusal == SessionState::kTlsRefused ? TlsStart::Refused : TlsStart::Lost;
}

}  // namespace fk
