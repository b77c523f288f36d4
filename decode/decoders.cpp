// SPDX-License-Identifier: GPL-3.0-or-later
// The group's output directory, MOVEFILE and the uuencode decoder.
#include "decode/decoders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "decode/paths.h"
#include "decode/work_file.h"
#include "store/clock.h"
#include "store/status_log.h"
#include "store/text.h"

namespace fk {

namespace {

constexpr const char kUuNoInput[] = "UUDECODE - Unable to open input file ";
constexpr const char kUuNoBegin[] = "UUDECODE - No begin line found       ";
constexpr const char kUuNoName[] = "UUDECODE - No filename on begin line ";
constexpr const char kUuNoOutput[] = "UUDECODE - Unable to open output file";
constexpr const char kUuShort[] = "UUDECODE - Short file                ";
// The window's status line shows them in a fixed width.
static_assert(sizeof kUuNoInput == 38 && sizeof kUuNoBegin == 38 && sizeof kUuNoName == 38 &&
              sizeof kUuNoOutput == 38 && sizeof kUuShort == 38);

// Pieces as long as the classic 512-byte line buffer returned them.
constexpr std::size_t kUuPiece = 511;

inline unsigned uu_value(char c) {
  return static_cast<unsigned>(static_cast<unsigned char>(c) - 32u) & 63u;
}

// The name on a begin line, split the way strtok splits it: "begin", the mode (ended by a blank or tab),
// then everything up to the next tab, CR or line end. Empty when the line has no name.
std::string_view begin_line_name(std::string_view s) {
  auto name_end = [](char c) { return c == '\t' || c == '\r' || c == '\n'; };
  std::size_t p = 0, n = s.size();
  while (p < n && !is_blank(s[p])) ++p;  // "begin"
  if (p < n) ++p;
  while (p < n && is_blank(s[p])) ++p;
  if (p == n) return {};
  while (p < n && !is_blank(s[p])) ++p;  // the mode
  if (p == n) return {};
  ++p;
  while (p < n && name_end(s[p])) ++p;
  std::size_t start = p;
  while (p < n && !name_end(s[p])) ++p;
  return s.substr(start, p - start);
}

// Decodes one data line of count n into out. Characters missing from a short line count as zero.
void uu_decode_line(std::string_view text, unsigned n, char* out) {
  const std::size_t groups = (n + 2) / 3;
  const char* in = text.data() + 1;
  if (text.size() >= 1 + 4 * groups) {
    for (std::size_t g = 0; g < groups; ++g, in += 4, out += 3) {
      unsigned c0 = uu_value(in[0]), c1 = uu_value(in[1]), c2 = uu_value(in[2]), c3 = uu_value(in[3]);
      out[0] = static_cast<char>(c0 << 2 | c1 >> 4);
      out[1] = static_cast<char>((c1 << 4 | c2 >> 2) & 255);
      out[2] = static_cast<char>((c2 << 6 | c3) & 255);
    }
    return;  // the last group may have written past n; those bytes are not committed
  }
  auto at = [&](std::size_t i) { return i < text.size() ? uu_value(text[i]) : 0u; };
  for (std::size_t g = 0; g < groups; ++g, out += 3) {
    std::size_t i = 1 + 4 * g;
    unsigned c0 = at(i), c1 = at(i + 1), c2 = at(i + 2), c3 = at(i + 3);
    out[0] = static_cast<char>(c0 << 2 | c1 >> 4);
    out[1] = static_cast<char>((c1 << 4 | c2 >> 2) & 255);
    out[2] = static_cast<char>((c2 << 6 | c3) & 255);
  }
}

// "end", alone on its line but for trailing blanks.
bool is_end_line(std::string_view text) {
  if (!text.starts_with("end")) return false;
  text.remove_prefix(3);
  for (char c : text)
    if (!is_blank(c) && c != '\r') return false;
  return true;
}

// uuencode: takes a body with a begin line.
class UudecodeDecoder : public Decoder {
 public:
  explicit UudecodeDecoder(Decoders& shared) : shared_(shared) {}
  DecoderKind kind() const override { return DecoderKind::Uuencode; }
  bool claims(const std::string& work_file) override { return shared_.uu_claims(work_file); }
  DecodeResult decode(const std::string& work_file, const std::string& group) override {
    return shared_.uudecode(work_file, group, WorkLines::AsReaderHanded);
  }

 private:
  Decoders& shared_;
};

}  // namespace

std::unique_ptr<Decoder> make_uudecode_decoder(Decoders& shared) {
  return std::make_unique<UudecodeDecoder>(shared);
}

std::string Decoders::fail(const char* message) const {
  log_.log_status(message, 0);
  return message;
}

std::string Decoders::prepare_directory(const std::string& group) const {
  std::string dir = group_directory(group);
  if (group.empty()) return dir;
  std::string folder = safe_group_folder(group);
  if (folder != group) log_.log_status("Bad group name... used " + dir, 3);
  if (folder.empty()) return dir;
  std::string path = dir.substr(0, dir.size() - 1);
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
    log_.log_status("Unable to create directory: " + path, 3);
  return dir;
}

Decoders::Decoders(const StatusLog& log, Clock& clock)
    : log_(log),
      clock_(clock),
      writer_(&system_file_writer()) {
  // The family, in the order the article loop asks it: one line per encoding.
  members_.push_back(make_yenc_decoder(*this));
  members_.push_back(make_uudecode_decoder(*this));
  members_.push_back(make_mime64_decoder(*this));
  for (auto& m : members_) family_.push_back(m.get());
}

Decoder* Decoders::part_decoder(const std::string& work_file) {
  for (Decoder* d : family())
    if (d->places_parts() && d->claims(work_file)) return d;
  return nullptr;
}

void Decoders::vet(OutputFile& out, bool keep) const {
  out.vet_as_picture(pictures_only_.load() ? kUnknownDir : "", keep);
}

bool not_a_picture(const OutputFile& out, const StatusLog& log, const char* tag, const std::string& name,
                   DecodeResult& result) {
  if (out.where() == OutputFile::Filed::Picture) return false;
  result.status = DecodeStatus::NotPicture;
  if (out.where() == OutputFile::Filed::Nothing) {
    result.name.clear();
    result.message = std::string(tag) + " -- " + name + " is empty... nothing filed";
  } else {
    result.message = std::string(tag) + " -- " + name + " is no picture... filed in " + kUnknownDir + result.name;
  }
  log.log_status(result.message, 3);
  return true;
}

DecodeResult write_failure(const std::string& path, int error) {
  DecodeResult r;
  r.status = DecodeStatus::WriteFailed;
  r.error = error;
  r.failed_path = path;
  return r;
}

bool Decoders::uu_claims(const std::string& work_file) {
  WorkFileReader in;
  in.use_reader_habits();
  if (!in.open(work_file)) return true;  // the decoder reports what it cannot open
  WorkFileReader::Piece piece;
  while (in.next(kUuPiece, piece))
    if (piece.text.starts_with("begin ")) return true;
  return false;
}

std::string Decoders::uudecode_file(const std::string& work_file, const std::string& group,
                                    std::string& name_buffer, WorkLines lines) {
  DecodeResult r = uudecode(work_file, group, lines);
  if (!r.name.empty()) name_buffer = r.name;
  if (r.status == DecodeStatus::WriteFailed) return fail(kUuNoOutput);
  return r.message;
}

DecodeResult Decoders::uudecode(const std::string& work_file, const std::string& group, WorkLines lines) {
  DecodeResult result;
  auto failed = [&](const char* message) {
    result.message = fail(message);
    return result;
  };
  WorkFileReader in;
  if (lines == WorkLines::AsReaderHanded) in.use_reader_habits();
  if (!in.open(work_file)) return failed(kUuNoInput);

  std::uint64_t bytes_read = 0, bytes_written = 0;
  WorkFileReader::Piece piece;
  for (;;) {
    if (!in.next(kUuPiece, piece)) return failed(kUuNoBegin);
    bytes_read += piece.length();
    if (piece.text.starts_with("begin ")) break;
  }
  std::string raw(begin_line_name(piece.text));
  if (raw.empty()) return failed(kUuNoName);
  raw = shortened_file_name(raw);

  const std::string dir = prepare_directory(group);
  std::string name = safe_file_name(raw);
  if (name.empty()) name = generated_name(clock_.now());
  if (name != raw) log_.log_status("Bad name on begin line... used " + name, 3);

  OutputFile out(*writer_);
  vet(out);
  if (!out.create(dir, name)) {
    if (is_disk_error(out.error())) return write_failure(dir + name, out.error());
    return failed(kUuNoOutput);
  }

  bool complete = false;
  while (in.next(kUuPiece, piece)) {
    bytes_read += piece.length();
    // An empty line counts by its line end: (10 - 32) AND 63 = 42.
    const unsigned n = uu_value(piece.text.empty() ? '\n' : piece.text[0]);
    // Some encoders leave out the backquote line before "end".
    if (n == 0 || is_end_line(piece.text)) {
      complete = true;
      break;
    }
    bytes_written += n;
    uu_decode_line(piece.text, n, out.reserve(66));
    out.commit(n);
    if (out.failed()) break;
  }
  // A short file is kept as far as it goes; a failed write keeps nothing.
  if (!out.finish(result.name, result.already_stored)) return write_failure(dir + name, out.error());
  if (!complete) return failed(kUuShort);
  if (not_a_picture(out, "UUDECODE", name, result)) return result;
  log_.log_status("UUDECODE -- read " + std::to_string(bytes_read) + " bytes, wrote " +
                      std::to_string(bytes_written) + " bytes to " + dir + result.name,
                  3);
  result.status = DecodeStatus::Decoded;
  return result;
}

int MOVEFILE(const std::string& source, const std::string& destination, const StatusLog& log) {
  UniqueFd in = open_regular_for_read(source);
  if (!in) {
    log.log_status("MOVEFILE -- can not open input file", 0);
    return -1;
  }
  UniqueFd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644));
  if (!out) {
    log.log_status("MOVEFILE -- can not open output file", 0);
    return -1;
  }
  constexpr std::size_t kBlock = 256 * 1024;
  auto buf = std::make_unique<char[]>(kBlock);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in.get(), buf.get(), kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!write_all(out.get(), std::string_view(buf.get(), static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  ok = out.reset() && ok;
  if (!ok) {
    log.log_status("MOVEFILE -- can not write output file", 0);
    return -1;
  }
  return 0;
}

}  // namespace fk
