// SPDX-License-Identifier: GPL-3.0-or-later
// The yEnc decoder: keyword lines, the data between them, and the size and CRC32 checks.
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "decode/decoders.h"
#include "decode/paths.h"
#include "decode/work_file.h"
#include "store/clock.h"
#include "store/header_text.h"
#include "store/status_log.h"
#include "store/text.h"

namespace fk {

namespace {

// The decoded form of a slice is never longer than the slice; the vector loop stores 16 bytes at a time.
constexpr std::size_t kSlice = 256 * 1024;
constexpr std::size_t kSlack = 16;
// A keyword line longer than this is cut (a name is at most kMaxFileName bytes once used anyway).
constexpr std::size_t kMaxKeywordLine = 64 * 1024;
constexpr std::string_view kBegin = "=ybegin ";

// Finds the =ybegin line; the reader is left after it and `line` holds it.
bool find_begin(BlockReader& in, std::string& line) {
  while (!in.at_eof()) {
    if (in.line_starts_with(kBegin)) return in.line(line, kMaxKeywordLine);
    if (!in.skip_line()) break;
  }
  return false;
}

// The value of " key=" in a keyword line (the key may also open the line's fields), up to the next
// blank. Not found: empty.
std::string_view keyword(std::string_view line, std::string_view key) {
  for (std::size_t at = line.find(key); at != std::string_view::npos; at = line.find(key, at + 1)) {
    if (at > 0 && line[at - 1] != ' ') continue;
    if (at + key.size() >= line.size() || line[at + key.size()] != '=') continue;
    std::size_t start = at + key.size() + 1;
    std::size_t end = line.find(' ', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  }
  return {};
}

std::optional<std::uint64_t> number(std::string_view line, std::string_view key) {
  std::string_view v = keyword(line, key);
  std::uint64_t n = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return n;
}

std::optional<std::uint32_t> crc_value(std::string_view line, std::string_view key) {
  std::string_view v = keyword(line, key);
  // Some encoders write fewer than eight digits; a longer value keeps its last eight.
  if (v.empty() || v.size() > 16) return std::nullopt;
  std::uint64_t n = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n, 16);
  if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

// The =ybegin fields before "name=", and the name: the rest of the line.
void parse_begin(std::string_view line, YencInfo& y) {
  std::string_view fields = line;
  std::size_t at = line.find(" name=");
  if (at != std::string_view::npos) {
    y.name.assign(line.substr(at + 6));
    fields = line.substr(0, at);
  }
  y.size = number(fields, "size");
  y.line = number(fields, "line");
  y.part = number(fields, "part");
  y.total = number(fields, "total");
}

#if defined(__SSE2__)
// For each byte mask of 8 positions to drop, the shuffle that packs the kept bytes to the front.
constexpr std::array<std::uint64_t, 256> make_pack_table() {
  std::array<std::uint64_t, 256> t{};
  for (unsigned m = 0; m < 256; ++m) {
    std::uint64_t v = 0;
    unsigned n = 0;
    for (unsigned i = 0; i < 8; ++i)
      if (!(m & (1u << i))) v |= static_cast<std::uint64_t>(i) << (8 * n++);
    for (; n < 8; ++n) v |= std::uint64_t{0x80} << (8 * n);
    t[m] = v;
  }
  return t;
}
constexpr std::array<std::uint64_t, 256> kPack = make_pack_table();

// Writes the bytes of v whose bit in `drop` is clear, in order, to o (16 bytes of room); returns how many.
__attribute__((target("ssse3,popcnt"))) unsigned compact16(__m128i v, unsigned drop, unsigned char* o) {
  const unsigned lo = drop & 0xFFu, hi = drop >> 8;
  const __m128i index = _mm_set_epi64x(static_cast<long long>(kPack[hi] + 0x0808080808080808ull),
                                       static_cast<long long>(kPack[lo]));
  const __m128i packed = _mm_shuffle_epi8(v, index);
  const unsigned first = 8 - static_cast<unsigned>(__builtin_popcount(lo));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o + first), _mm_srli_si128(packed, 8));
  return first + 8 - static_cast<unsigned>(__builtin_popcount(hi));
}

bool has_shuffle() {
  static const bool yes = [] {
    __builtin_cpu_init();  // static initialisers may run before the library's own
    return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  }();
  return yes;
}
#endif

struct DecodeState {
  bool escape = false;        // the last byte of the previous slice was '='
  bool broken_escape = false;
};

// Decodes from p up to end or up to a line that starts with "=y" (a keyword line), whichever comes
// first; returns where it stopped. A line start with fewer than two bytes left before end also stops
// unless `last` says the file ends there. CR and LF are not data.
const unsigned char* decode_data(const unsigned char* p, const unsigned char* end, bool last,
                                 unsigned char*& out, DecodeState& st) {
  unsigned char* o = out;
  if (st.escape && p < end) {
    st.escape = false;
    if (*p == '\n' || *p == '\r') st.broken_escape = true;
    else *o++ = static_cast<unsigned char>(*p++ - 106);
  }
  for (;;) {
#if defined(__SSE2__)
    const __m128i eq = _mm_set1_epi8('='), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    const __m128i k42 = _mm_set1_epi8(42);
    const __m128i k64 = _mm_set1_epi8(64);
    const bool shuffle = has_shuffle();
    while (end - p >= 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i is_eq = _mm_cmpeq_epi8(v, eq), is_lf = _mm_cmpeq_epi8(v, lf);
      __m128i special = _mm_or_si128(_mm_or_si128(is_eq, is_lf), _mm_cmpeq_epi8(v, cr));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_sub_epi8(v, k42));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
      if (mask == 0) {
        p += 16;
        o += 16;
        continue;
      }
      if (shuffle) {
        const unsigned eqm = static_cast<unsigned>(_mm_movemask_epi8(is_eq));
        const unsigned lfm = static_cast<unsigned>(_mm_movemask_epi8(is_lf));
        // The common cases without a branch per character: escapes whose byte is in the block, line
        // ends not followed by '=' (which may open a keyword line) and not at the block's end.
        if ((eqm & 0x8000u) == 0 && ((eqm << 1) & mask) == 0 && ((lfm << 1) & eqm) == 0 &&
            (lfm & 0x8000u) == 0) {
          __m128i escaped = _mm_and_si128(_mm_slli_si128(is_eq, 1), k64);
          o += compact16(_mm_sub_epi8(_mm_sub_epi8(v, k42), escaped), mask, o);
          p += 16;
          continue;
        }
      }
      unsigned k = static_cast<unsigned>(__builtin_ctz(mask));
      p += k;
      o += k;
      break;
    }
#endif
    if (p == end) break;
    unsigned char c = *p;
    if (c == '\n') {
      ++p;
      if (end - p < 2 && !last) break;
      if (end - p >= 2 && p[0] == '=' && p[1] == 'y') break;
      continue;
    }
    if (c == '\r') {
      ++p;
      continue;
    }
    if (c == '=') {
      if (end - p < 2) {
        ++p;
        if (last) st.broken_escape = true;
        else st.escape = true;
        break;
      }
      unsigned char d = p[1];
      if (d == '\n' || d == '\r') {
        // An escape split by a line end: the data is broken, the checks will tell by how much.
        st.broken_escape = true;
        ++p;
        continue;
      }
      *o++ = static_cast<unsigned char>(d - 106);
      p += 2;
      continue;
    }
    *o++ = static_cast<unsigned char>(c - 42);
    ++p;
  }
  out = o;
  return p;
}

// Where the decoded bytes go: the picture being written, or nowhere for a part of a set.
class Sink {
 public:
  Sink(OutputFile* file) : file_(file) {
    if (!file_) scratch_ = std::make_unique<unsigned char[]>(kSlice + kSlack);
  }
  unsigned char* reserve(std::size_t n) {
    return file_ ? reinterpret_cast<unsigned char*>(file_->reserve(n + kSlack)) : scratch_.get();
  }
  void commit(const unsigned char* start, std::size_t n) {
    crc_ = libdeflate_crc32(crc_, start, n);
    bytes_ += n;
    if (file_) file_->commit(n);
  }
  bool failed() const { return file_ && file_->failed(); }
  std::uint32_t crc() const { return crc_; }
  std::uint64_t bytes() const { return bytes_; }

 private:
  OutputFile* file_;
  std::unique_ptr<unsigned char[]> scratch_;
  std::uint32_t crc_ = 0;
  std::uint64_t bytes_ = 0;
};

// Decodes the data lines after =ybegin and =ypart up to and including =yend (read into y). False when
// the sink failed.
bool decode_body(BlockReader& in, YencInfo& y, Sink& sink) {
  DecodeState st;
  std::string line;
  bool line_start = true;
  while (in.fill(2)) {
    if (line_start && in.available() >= 2 && in.data()[0] == '=' && in.data()[1] == 'y') {
      in.line(line, kMaxKeywordLine);
      if (line.starts_with("=yend") && (line.size() == 5 || line[5] == ' ')) {
        y.has_end = true;
        y.end_size = number(line, "size");
        y.end_part = number(line, "part");
        y.crc32 = crc_value(line, "crc32");
        y.pcrc32 = crc_value(line, "pcrc32");
        break;
      }
      continue;  // other keyword lines carry nothing a decoder needs
    }
    in.fill(kSlice + 1);
    const std::size_t n = std::min(in.available(), kSlice);
    const bool last = in.available() <= kSlice;  // fill stops short only at the end of the file
    const auto* start = in.data();
    unsigned char* out = sink.reserve(n);
    unsigned char* const out_start = out;
    const auto* stop = decode_data(start, start + n, last, out, st);
    sink.commit(out_start, static_cast<std::size_t>(out - out_start));
    if (sink.failed()) return false;
    if (stop > start) line_start = stop[-1] == '\n';
    in.advance(static_cast<std::size_t>(stop - start));
  }
  if (st.escape) st.broken_escape = true;
  y.broken_escape = st.broken_escape;
  y.decoded_bytes = sink.bytes();
  y.decoded_crc = sink.crc();
  return true;
}

std::string quoted_size(std::uint64_t n) {
  return std::to_string(n) + " bytes";
}

// Opens the work file and reads its =ybegin line and any =ypart line into `y`; `in` is left at the data.
bool read_header(BlockReader& in, const std::string& work_file, YencInfo& y) {
  std::string line;
  if (!in.open(work_file) || !find_begin(in, line)) return false;
  parse_begin(line, y);
  if (in.line_starts_with("=ypart ") && in.line(line, kMaxKeywordLine)) {
    y.part_begin = number(line, "begin");
    y.part_end = number(line, "end");
  }
  return true;
}

// Decodes the body into a new file dir+name and checks that it ended cleanly. A fault comes back as the
// result to return: a write failure, or what `damaged` makes of it; `in_name` (" in x.jpg" or empty) names
// the file in those messages.
template <class Damaged>
std::optional<DecodeResult> write_body(BlockReader& in, YencInfo& y, OutputFile& out, const std::string& dir,
                                       const std::string& name, const std::string& in_name, Damaged damaged) {
  if (!out.create(dir, name)) {
    if (is_disk_error(out.error())) return write_failure(dir + name, out.error());
    return damaged("Unable to open output file " + dir + name);
  }
  Sink sink(&out);
  if (!decode_body(in, y, sink)) return write_failure(dir + name, out.error());
  if (!y.has_end) return damaged("No =yend line" + in_name + ", cut short at " + quoted_size(y.decoded_bytes));
  if (y.broken_escape) return damaged("Broken escape" + in_name);
  return std::nullopt;
}

// yEnc: takes a body with an =ybegin line and places parts by their =ypart ranges.
class YencDecoder : public Decoder {
 public:
  explicit YencDecoder(Decoders& shared) : shared_(shared) {}
  DecoderKind kind() const override { return DecoderKind::Yenc; }
  bool claims(const std::string& work_file) override { return shared_.yenc_claims(work_file); }
  DecodeResult decode(const std::string& work_file, const std::string& group) override {
    return shared_.yenc(work_file, group);
  }
  bool places_parts() const override { return true; }
  DecodeResult place(const std::string& work_file, const std::string& dir, const std::string& name) override {
    return shared_.yenc_into(work_file, dir, name);
  }

 private:
  Decoders& shared_;
};

}  // namespace

std::unique_ptr<Decoder> make_yenc_decoder(Decoders& shared) {
  return std::make_unique<YencDecoder>(shared);
}

bool YencInfo::is_part_of_set() const {
  if (!part) return false;
  if (*part != 1) return true;
  if (total) return *total != 1;
  return !(part_begin == 1 && size && part_end == size);
}

std::string YencInfo::file_name() const {
  std::string_view n = name;
  while (!n.empty() && is_blank(n.front())) n.remove_prefix(1);
  while (!n.empty() && is_blank(n.back())) n.remove_suffix(1);
  return utf8_or_latin1(n);
}

bool Decoders::yenc_claims(const std::string& work_file) {
  BlockReader in;
  std::string line;
  return in.open(work_file) && find_begin(in, line);
}

bool Decoders::yenc_header(const std::string& work_file, YencInfo& y) {
  BlockReader in;
  return read_header(in, work_file, y);
}

DecodeResult Decoders::yenc(const std::string& work_file, const std::string& group) {
  DecodeResult result;
  YencInfo& y = result.yenc;
  BlockReader in;
  if (!read_header(in, work_file, y)) {
    result.message = "YENC - No =ybegin line found";
    return result;
  }
  std::string raw = y.file_name();
  std::string name = safe_file_name(shortened_file_name(raw));
  if (name.empty()) name = generated_name(clock_.now());

  auto damaged = [&](const std::string& why) {
    result.status = DecodeStatus::Damaged;
    result.message = "YENC - " + why + "... file kept in unknown/";
    return result;
  };

  if (y.is_part_of_set()) {
    Sink sink(nullptr);
    decode_body(in, y, sink);
    result.status = DecodeStatus::PartOfSet;
    result.message = "YENC - " + name + " is part " + std::to_string(*y.part) +
                     (y.total ? " of " + std::to_string(*y.total) : std::string()) +
                     " of a set... kept in unknown/";
    return result;
  }
  if (!y.size) return damaged("No size on the =ybegin line of " + name);

  const std::string dir = prepare_directory(group);
  if (name != raw) log_.log_status("Bad name on =ybegin line... used " + name, 3);
  OutputFile out(*writer_);
  vet(out);
  if (auto failed = write_body(in, y, out, dir, name, " in " + name, damaged)) return *failed;
  if (y.decoded_bytes != *y.size || (y.end_size && *y.end_size != *y.size))
    return damaged("Size Error in " + name + " (" + quoted_size(y.decoded_bytes) + ", expected " +
                   quoted_size(*y.size) + ")");
  std::optional<std::uint32_t> crc = y.crc32 ? y.crc32 : y.pcrc32;
  if (crc && *crc != y.decoded_crc) return damaged("CRC Error in " + name);

  if (!out.finish(result.name, result.already_stored)) return write_failure(dir + name, out.error());
  if (not_a_picture(out, "YENC", name, result)) return result;
  result.status = DecodeStatus::Decoded;
  if (result.already_stored)
    log_.log_status("YENC - " + result.name + " is already stored with the same bytes", 3);
  else
    log_.log_status("YENC - Decoded " + result.name + " (" + quoted_size(y.decoded_bytes) + ")", 3);
  return result;
}

DecodeResult Decoders::yenc_into(const std::string& work_file, const std::string& dir, const std::string& name) {
  DecodeResult result;
  YencInfo& y = result.yenc;
  BlockReader in;
  if (!read_header(in, work_file, y)) {
    result.message = "YENC - No =ybegin line found";
    return result;
  }
  auto damaged = [&](const std::string& why) {
    result.status = DecodeStatus::Damaged;
    result.message = "YENC - " + why;
    return result;
  };
  OutputFile out(*writer_);
  if (auto failed = write_body(in, y, out, dir, name, "", damaged)) return *failed;
  if (y.part_begin && y.part_end &&
      (*y.part_end < *y.part_begin || y.decoded_bytes != *y.part_end - *y.part_begin + 1))
    return damaged("Size Error (" + quoted_size(y.decoded_bytes) + ")");
  std::optional<std::uint32_t> crc = y.part ? y.pcrc32 : (y.crc32 ? y.crc32 : y.pcrc32);
  if (crc && *crc != y.decoded_crc) return damaged("CRC Error");
  if (!out.finish(result.name, result.already_stored)) return write_failure(dir + name, out.error());
  result.status = DecodeStatus::Decoded;
  return result;
}

}  // namespace fk
