// SPDX-License-Identifier: GPL-3.0-or-later
// The MIME base64 decoder: header lines name the attachment, each block of base64 lines becomes a file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "decode/decoders.h"
#include "decode/paths.h"
#include "decode/work_file.h"
#include "store/base64.h"
#include "store/clock.h"
#include "store/header_text.h"
#include "store/status_log.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

// Pieces as long as the classic 79-byte line buffer returned them.
constexpr std::size_t kMimePiece = 78;
constexpr std::size_t kMaxMessage = 79;
constexpr std::size_t kMaxHeaderLine = 4096;
constexpr std::uint64_t kPlausibleInput = 5000;
// Each generated name waits 1,100 ms so that the next one differs; a hostile article with thousands of
// unnamed blocks would stall the session for hours, so only the first few wait (the "-N" rule keeps
// later names apart).
constexpr int kMaxGeneratedWaits = 10;

bool is_name_char(char c) {
  return is_alnum(c) || c == '-' || c == '.' || c == '/';
}

// Every character is in the alphabet or is "=".
bool is_base64_line(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (base64_value(c) == kNotBase64 && c != '=') return false;
  return true;
}

enum class TokenKind { Header, Word, Value };
struct Token {
  std::string_view text;
  TokenKind kind;
};

// Splits a header line into its name and the words and values after it. The separator run in front of
// a token decides: "=" makes a value, ";" a word, anything else a word after the name or a value, and a
// value after a word. A control character (other than tab) ends the line.
std::vector<Token> tokenize_header(std::string_view line) {
  std::vector<Token> tokens;
  std::size_t p = 0;
  const std::size_t n = line.size();
  while (p < n) {
    const std::size_t run = p;
    while (p < n && !is_name_char(line[p])) {
      auto c = static_cast<unsigned char>(line[p]);
      if (c < 32 && c != '\t') return tokens;
      ++p;
    }
    if (p == n) break;
    const std::size_t start = p;
    while (p < n && is_name_char(line[p])) ++p;
    TokenKind kind = TokenKind::Header;
    if (!tokens.empty()) {
      std::size_t first = run;
      while (first < start && line[first] == ' ') ++first;
      char c = first < start ? line[first] : ' ';
      if (c == '=')
        kind = TokenKind::Value;
      else if (c == ';')
        kind = TokenKind::Word;
      else
        kind = tokens.back().kind == TokenKind::Word ? TokenKind::Value : TokenKind::Word;
    }
    tokens.push_back({line.substr(start, p - start), kind});
  }
  return tokens;
}

// The keyword begins with the token, letter case ignored ("n" matches "name").
bool matches(std::string_view token, std::string_view keyword) {
  return !token.empty() && istarts_with(keyword, token);
}

// A header line's parameters: "key=value" pieces after semicolons, values quoted or not.
std::vector<std::pair<std::string, std::string>> header_parameters(std::string_view line) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t p = 0;
  const std::size_t n = line.size();
  while (p < n) {
    while (p < n && (is_blank(line[p]) || line[p] == ';')) ++p;
    const std::size_t key_start = p;
    while (p < n && line[p] != '=' && line[p] != ';' && line[p] != '"') ++p;
    if (p >= n || line[p] != '=') {
      // Not a parameter (the header's name and main value): skip to the next semicolon outside quotes.
      bool quoted = false;
      while (p < n && (quoted || line[p] != ';')) {
        if (line[p] == '"') quoted = !quoted;
        ++p;
      }
      continue;
    }
    std::string key(trim(line.substr(key_start, p - key_start)));
    for (char& c : key) c = ascii_lower(c);
    ++p;
    while (p < n && is_blank(line[p])) ++p;
    std::string value;
    if (p < n && line[p] == '"') {
      for (++p; p < n && line[p] != '"'; ++p) {
        if (line[p] == '\\' && p + 1 < n) ++p;
        value.push_back(line[p]);
      }
      if (p < n) ++p;
    } else {
      const std::size_t v = p;
      while (p < n && line[p] != ';') ++p;
      value = std::string(trim(line.substr(v, p - v)));
    }
    out.emplace_back(std::move(key), std::move(value));
  }
  return out;
}

// The value of parameter `attr` ("name", "filename") in UTF-8: attr* (a charset and percent escapes),
// the numbered pieces attr*0, attr*1*, ... joined, or attr with its encoded words decoded. Empty when
// the line has none.
std::string parameter_value(std::string_view line, std::string_view attr) {
  std::string plain, extended;
  bool have_plain = false, have_extended = false;
  std::vector<std::pair<unsigned, std::string>> pieces;  // number, value with "*" pieces percent-kept
  bool pieces_extended = false;
  for (auto& [key, value] : header_parameters(line)) {
    if (!key.starts_with(attr)) continue;
    std::string_view rest = std::string_view(key).substr(attr.size());
    if (rest.empty()) {
      plain = value;
      have_plain = true;
    } else if (rest == "*") {
      extended = value;
      have_extended = true;
    } else if (rest[0] == '*' && rest.size() > 1 && is_digit(rest[1])) {
      rest.remove_prefix(1);
      const bool star = rest.back() == '*';
      if (star) rest.remove_suffix(1);
      const LeadingNumber num = read_decimal(rest, NumberForm::Digits);
      if (!num.found || num.end != rest.size() || num.magnitude > 999) continue;
      if (num.magnitude == 0) pieces_extended = star;
      std::string v = value;
      if (!star && pieces_extended) {
        // A plain piece among extended ones: its percent signs are literal.
        std::string escaped;
        for (char c : v) escaped += c == '%' ? std::string("%25") : std::string(1, c);
        v = escaped;
      }
      pieces.emplace_back(static_cast<unsigned>(num.magnitude), std::move(v));
    }
  }
  if (have_extended) return decode_extended_value(extended);
  if (!pieces.empty()) {
    std::sort(pieces.begin(), pieces.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::string joined;
    for (auto& piece : pieces) joined += piece.second;
    return pieces_extended ? decode_extended_value(joined) : utf8_or_latin1(decode_encoded_words(joined));
  }
  if (have_plain) return utf8_or_latin1(decode_encoded_words(plain));
  return {};
}

// A folded header line's continuation that carries a name parameter ("name=", "filename*0*=", ...).
bool is_name_continuation(std::string_view line) {
  line = trim(line);
  if (!line.empty() && line[0] == ';') line = trim(line.substr(1));
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view key = trim(line.substr(0, eq));
  while (!key.empty() && (key.back() == '*' || is_digit(key.back()))) key.remove_suffix(1);
  return iequals(key, "name") || iequals(key, "filename");
}

std::string cut_message(std::string s) {
  if (s.size() > kMaxMessage) s.resize(kMaxMessage);
  return s;
}

// One call of mime64_decode.
class MimeRun {
 public:
  MimeRun(const StatusLog& log, Clock& clock, FileWriter& writer, std::string dir, std::string& name_buffer,
          bool name_waits, std::function<void(OutputFile&, bool)> vet)
      : vet_(std::move(vet)),
        log_(log),
        clock_(clock),
        dir_(std::move(dir)),
        name_buffer_(name_buffer),
        out_(writer),
        name_waits_(name_waits) {}

  // Decodes parts until the file is exhausted or a failure ends the decoding.
  void run(WorkFileReader& in) {
    bool exhausted = false;
    while (!exhausted && !ended_) {
      in_block_ = stop_ = false;
      base64_.reset();
      while (!stop_ && !ended_) {
        WorkFileReader::Piece piece;
        // A last line without a line end is never used.
        if (!in.next(kMimePiece, piece) || piece.at_eof) {
          exhausted = true;
          break;
        }
        bytes_input_ += piece.length();
        if (!in_block_ && !piece.ended && !is_base64_line(piece.text)) {
          // A header longer than a piece (a long file name) is read whole, up to a sane length.
          std::string whole(piece.text);
          while (!piece.ended && whole.size() < kMaxHeaderLine && in.next(kMimePiece, piece) && !piece.at_eof) {
            bytes_input_ += piece.length();
            whole += piece.text;
          }
          line(whole);
          continue;
        }
        line(piece.text);
      }
      flush_header();
      close_output();
    }
  }

  std::string message_;
  std::uint64_t bytes_input_ = 0, bytes_output_ = 0;
  int pictures_ = 0, unknown_ = 0;  // files filed in the group's folder and in unknown/
  std::string unknown_name_;        // the last file filed in unknown/
  // Set when a file could not be written: the disk, not the article, is at fault.
  int write_error_ = 0;
  std::string write_failed_path_;

 private:
  void line(std::string_view text) {
    if (in_block_) {
      if (text.empty() || static_cast<signed char>(text[0]) < '+') {
        stop_ = true;
        return;
      }
      data(text);
      return;
    }
    if (!folded_.empty() && is_name_continuation(text)) {
      folded_.append(" ").append(text);
      return;
    }
    flush_header();
    if (!is_base64_line(text)) {
      // A header that may carry a name waits for its folded continuation lines.
      std::vector<Token> tokens = tokenize_header(text);
      if (!tokens.empty() && (matches(tokens[0].text, "Content-Type") || matches(tokens[0].text, "Content-Disposition")))
        folded_.assign(text);
      else
        header(text);
      return;
    }
    in_block_ = true;
    if (!not_base64_) data(text);
  }

  void flush_header() {
    if (folded_.empty()) return;
    const std::string text = std::move(folded_);
    folded_.clear();
    header(text);
  }

  void header(std::string_view text) {
    std::vector<Token> tokens = tokenize_header(text);
    if (tokens.empty()) return;
    const std::string_view name = tokens[0].text;
    std::size_t i = 1;
    auto next_word = [&]() -> const Token* {
      while (i < tokens.size() && tokens[i].kind != TokenKind::Word) ++i;
      return i < tokens.size() ? &tokens[i++] : nullptr;
    };
    auto next_value = [&]() -> std::string_view {
      while (i < tokens.size() && tokens[i].kind != TokenKind::Value) ++i;
      return i < tokens.size() ? tokens[i++].text : std::string_view();
    };
    if (matches(name, "Content-Type")) {
      is_jpeg_ = false;
      if (std::string named = parameter_value(text, "name"); !named.empty()) {
        while (const Token* w = next_word())
          if (matches(w->text, "image/jpeg")) is_jpeg_ = true;
        open_named(named, "MIME64 -- Can't open outfile ");
        return;
      }
      while (const Token* w = next_word()) {
        if (matches(w->text, "image/jpeg")) is_jpeg_ = true;
        if (matches(w->text, "name")) {
          open_named(next_value(), "MIME64 -- Can't open outfile ");
          if (ended_) return;
        }
      }
    } else if (matches(name, "Content-transfer-encoding")) {
      not_base64_ = true;
      while (const Token* w = next_word())
        if (matches(w->text, "base64")) not_base64_ = false;
    } else if (matches(name, "Content-Disposition")) {
      if (std::string named = parameter_value(text, "filename"); !named.empty()) {
        if (!out_.is_open()) open_named(named, "MIME64 -- Cant Open Outfile: ");
        return;
      }
      while (const Token* w = next_word()) {
        if (!matches(w->text, "filename")) continue;
        std::string_view value = next_value();
        if (!out_.is_open()) open_named(value, "MIME64 -- Cant Open Outfile: ");
        if (ended_) return;
      }
    }
  }

  void open_named(std::string_view value, const char* failure) {
    std::string name = safe_file_name(shortened_file_name(value));
    if (name.empty()) {
      name = generated_name(clock_.now());
      log_.log_status("Bad name in MIME header... used " + name, 3);
    } else if (name != value) {
      log_.log_status("Bad name in MIME header... used " + name, 3);
    }
    if (name.find('.') == std::string::npos && is_jpeg_) name += ".jpg";
    close_output();
    if (ended_) return;
    vet_(out_, true);
    if (!out_.create(dir_, name)) {
      if (is_disk_error(out_.error())) return disk_failed(dir_ + name, out_.error());
      end(failure + dir_ + name);
      return;
    }
    out_path_ = dir_ + name;
    generated_.clear();
    message_.clear();
  }

  void data(std::string_view text) {
    if (!out_.is_open()) {
      std::string name = generated_name(clock_.now()) + ".jpg";
      if (name_waits_ && waits_++ < kMaxGeneratedWaits) clock_.sleep_ms(1100);
      message_ = cut_message("MIME64 -- No filename in header: used " + name);
      // A text read as base64 is no picture, and the article itself goes to unknown/ anyway.
      vet_(out_, false);
      if (!out_.create(dir_, name)) {
        if (is_disk_error(out_.error())) return disk_failed(dir_ + name, out_.error());
        end("MIME64 -- Unable to open " + dir_ + name + " for write");
        return;
      }
      out_path_ = dir_ + name;
      generated_ = name;
    }
    decode(text);
    if (out_.failed()) close_output();
  }

  void decode(std::string_view text) {
    const Base64Decoder::Result r = base64_.decode(text, out_.reserve(text.size()));
    if (r.stopped) stop_ = true;
    out_.commit(r.written);
    bytes_output_ += r.written;
  }

  void close_output() {
    if (!out_.is_open()) return;
    std::string used;
    bool existed = false;
    if (!out_.finish(used, existed)) return disk_failed(out_path_, out_.error());
    switch (out_.where()) {
      case OutputFile::Filed::Picture:
        name_buffer_ = used;
        ++pictures_;
        if (!generated_.empty() && used != generated_)
          message_ = cut_message("MIME64 -- No filename in header: used " + used);
        break;
      case OutputFile::Filed::Unknown:
        unknown_name_ = used;
        ++unknown_;
        log_.log_status("MIME64 -- " + used + " is no picture... filed in " + kUnknownDir + used, 3);
        break;
      case OutputFile::Filed::Nothing:
        if (!generated_.empty()) message_.clear();
        break;
    }
  }

  void disk_failed(const std::string& path, int error) {
    out_.discard();
    write_error_ = error;
    write_failed_path_ = path;
    end("MIME64 -- Unable to open " + path + " for write");
  }

  void end(std::string message) {
    message_ = cut_message(std::move(message));
    ended_ = true;
  }

  std::function<void(OutputFile&, bool)> vet_;
  const StatusLog& log_;
  Clock& clock_;
  const std::string dir_;
  std::string& name_buffer_;
  OutputFile out_;
  std::string out_path_;
  std::string folded_;  // a Content-Type or Content-Disposition line and its continuations
  std::string generated_;  // the generated name of the open file, if it has one
  bool ended_ = false;
  int waits_ = 0;
  bool name_waits_ = true;
  // Per part.
  bool in_block_ = false, stop_ = false;
  Base64Decoder base64_;
  // Carried from part to part.
  bool is_jpeg_ = false, not_base64_ = false;
};

// MIME base64: the last resort, takes every body.
class Mime64Decoder : public Decoder {
 public:
  explicit Mime64Decoder(Decoders& shared) : shared_(shared) {}
  DecoderKind kind() const override { return DecoderKind::Base64; }
  bool claims(const std::string&) override { return true; }
  DecodeResult decode(const std::string& work_file, const std::string& group) override {
    return shared_.mime64(work_file, group, WorkLines::AsReaderHanded);
  }
  std::string_view trying_line() const override { return "Trying BASE64 decode"; }
  bool counts_as_base64() const override { return true; }

 private:
  Decoders& shared_;
};

}  // namespace

std::unique_ptr<Decoder> make_mime64_decoder(Decoders& shared) {
  return std::make_unique<Mime64Decoder>(shared);
}

std::string Decoders::mime64_decode(const std::string& work_file, const std::string& group,
                                    std::string& name_buffer, WorkLines lines) {
  DecodeResult r = mime64(work_file, group, lines);
  if (!r.name.empty()) name_buffer = r.name;
  return r.message;
}

DecodeResult Decoders::mime64(const std::string& work_file, const std::string& group, WorkLines lines) {
  DecodeResult result;
  std::string dir = prepare_directory(group);
  std::string& name_buffer = result.name;
  MimeRun run(log_, clock_, *writer_, dir, name_buffer, name_waits_.load(),
              [this](OutputFile& out, bool keep) { vet(out, keep); });
  {
    WorkFileReader in;
    if (lines == WorkLines::AsReaderHanded) in.use_reader_habits();
    if (in.open(work_file))
      run.run(in);
    else
      run.message_ = cut_message("MIME64 -- " + work_file + " file not found");
  }
  if (run.write_error_ != 0) {
    // Nothing about the article is known yet: no decode statistics, no inspection copy.
    result = write_failure(run.write_failed_path_, run.write_error_);
    result.message = run.message_;
    log_.log_status(result.message, 0);
    return result;
  }
  const std::string& message = run.message_;
  if (!message.empty()) log_.log_status(message, 0);
  log_.log_status("MIME64 -- " + std::to_string(run.bytes_input_) + " bytes input from " + work_file + ", " +
                      std::to_string(run.bytes_output_) + " bytes output to " + name_buffer,
                  2);

  const bool plausible = run.bytes_input_ <= 2 * run.bytes_output_ && run.bytes_input_ >= kPlausibleInput &&
                         !name_buffer.empty();
  if (!plausible) {
    unsigned n = bad_decodes_.fetch_add(1);
    char copy[32];
    std::snprintf(copy, sizeof copy, "unknown/bad_decode%02u.txt", n % 100);
    log_.log_status("MIME64 -- Possible decode problem... ", 3);
    log_.log_status(copy, 4);
    MOVEFILE(work_file, copy, log_);
  }
  result.message = message;
  result.status = message.empty() ? DecodeStatus::Decoded : DecodeStatus::Failed;
  if (pictures_only_.load() && run.pictures_ == 0 && message.empty()) {
    if (run.unknown_ > 0) {
      result.status = DecodeStatus::NotPicture;
      result.name = run.unknown_name_;
      result.message =
          cut_message("MIME64 -- no picture in the article... filed in " + std::string(kUnknownDir) + result.name);
    } else {
      result.status = DecodeStatus::Failed;
      result.message = "MIME64 -- no picture in the article";
    }
  }
  return result;
}

}  // namespace fk
