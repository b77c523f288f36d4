// SPDX-License-Identifier: GPL-3.0-or-later
// The shared small helpers: character classes, leading numbers, Base64, writing a whole buffer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "common/temp_dir.h"
#include "store/base64.h"
#include "store/text_file.h"
#include "store/text.h"
#include "store/unique_fd.h"

namespace fk {
namespace {

TEST(CharClasses, AreAsciiWhateverTheByte) {
  for (char c : std::string(" \t\r\n\v\f")) EXPECT_TRUE(is_space(c)) << int(c);
  EXPECT_FALSE(is_space('\0'));
  EXPECT_FALSE(is_space('\xa0'));  // a no-break space in Latin-1 is not white space here
  EXPECT_TRUE(is_blank(' ') && is_blank('\t'));
  EXPECT_FALSE(is_blank('\n') || is_blank('\r'));
  EXPECT_TRUE(is_digit('0') && is_digit('9'));
  EXPECT_FALSE(is_digit('/') || is_digit(':') || is_digit('\xb2'));
  EXPECT_TRUE(is_letter('a') && is_letter('Z') && is_alnum('7'));
  EXPECT_FALSE(is_letter('@') || is_letter('[') || is_letter('`') || is_letter('{') || is_letter('\xe9'));
  EXPECT_TRUE(is_control('\0') && is_control('\x1f') && is_control('\x7f'));
  EXPECT_FALSE(is_control(' ') || is_control('\x80') || is_control('\xff'));
  EXPECT_EQ(ascii_lower('A'), 'a');
  EXPECT_EQ(ascii_lower('z'), 'z');
  EXPECT_EQ(ascii_lower('['), '[');
  EXPECT_EQ(ascii_lower('\xc9'), '\xc9');  // bytes above ASCII are left alone
}

TEST(ReadDecimal, FormsDecideWhatMayPrecedeTheDigits) {
  LeadingNumber n = read_decimal("224 overview", NumberForm::Digits);
  EXPECT_TRUE(n.found);
  EXPECT_EQ(n.saturated(), 224);
  EXPECT_EQ(n.end, 3u);
  EXPECT_FALSE(read_decimal(" 224", NumberForm::Digits).found);
  EXPECT_FALSE(read_decimal("-5", NumberForm::Digits).found);

  n = read_decimal(" \t\r\n-42x", NumberForm::Signed);
  EXPECT_TRUE(n.found);
  EXPECT_EQ(n.saturated(), -42);
  EXPECT_EQ(n.end, 7u);
  EXPECT_EQ(read_decimal("+7", NumberForm::Signed).saturated(), 7);
  for (const char* text : {"", "   ", "-", "+ 5", "- 5", "x1"}) {
    n = read_decimal(text, NumberForm::Signed);
    EXPECT_FALSE(n.found) << text;
    EXPECT_EQ(n.end, 0u) << text;
    EXPECT_EQ(n.saturated(), 0) << text;
    EXPECT_EQ(n.wrapped<std::uint32_t>(), 0u) << text;
  }
}

TEST(ReadDecimal, EachReaderTakesTheWidthItNeeds) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  // At and beyond the 64-bit limits: held, never wrapped.
  EXPECT_EQ(read_decimal("9223372036854775807", NumberForm::Signed).saturated(), kMax);
  EXPECT_EQ(read_decimal("9223372036854775808", NumberForm::Signed).saturated(), kMax);
  EXPECT_EQ(read_decimal("-9223372036854775808", NumberForm::Signed).saturated(), kMin);
  EXPECT_EQ(read_decimal("-9223372036854775809", NumberForm::Signed).saturated(), kMin);
  LeadingNumber huge = read_decimal("18446744073709551616", NumberForm::Digits);  // 2^64
  EXPECT_EQ(huge.magnitude, std::numeric_limits<std::uint64_t>::max());
  EXPECT_EQ(huge.low_bits, 0u);
  EXPECT_EQ(read_decimal("99999999999999999999999", NumberForm::Digits).saturated(), kMax);

  // A cap of the reader's own, with the sign outside it.
  EXPECT_EQ(read_decimal("1099511627777", NumberForm::Signed).capped(std::int64_t{1} << 40), std::int64_t{1} << 40);
  EXPECT_EQ(read_decimal("-1099511627777", NumberForm::Signed).capped(std::int64_t{1} << 40),
            -(std::int64_t{1} << 40));
  EXPECT_EQ(read_decimal("-12", NumberForm::Signed).capped(1000), -12);

  // Registers: 32 and 8 bits wrap, and the sign negates within the width.
  EXPECT_EQ(static_cast<std::int32_t>(read_decimal("4294967297", NumberForm::Signed).wrapped<std::uint32_t>()), 1);
  EXPECT_EQ(static_cast<std::int32_t>(read_decimal("-1", NumberForm::Signed).wrapped<std::uint32_t>()), -1);
  EXPECT_EQ(read_decimal("257", NumberForm::Signed).wrapped<std::uint8_t>(), 1);
  EXPECT_EQ(read_decimal("-1", NumberForm::Signed).wrapped<std::uint8_t>(), 255);
  // Past 2^64 the low bits still hold: 2^64 + 258 is 2 modulo 256.
  EXPECT_EQ(read_decimal("18446744073709551874", NumberForm::Signed).wrapped<std::uint8_t>(), 2);
}

std::string random_bytes(std::mt19937& rng, std::size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

TEST(Base64Decoder, PiecesDecodeAsTheWholeAndStopAtForeignCharacters) {
  std::mt19937 rng(7);
  const std::string bytes = random_bytes(rng, 57);
  const std::string text = base64_encode(bytes);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    Base64Decoder d;
    std::string out(text.size(), '\0');
    std::size_t n = d.decode(std::string_view(text).substr(0, cut), out.data()).written;
    Base64Decoder::Result r = d.decode(std::string_view(text).substr(cut), out.data() + n);
    EXPECT_FALSE(r.stopped);
    out.resize(n + r.written);
    EXPECT_EQ(out, bytes) << "cut at " << cut;
  }

  // Padding and any byte outside the alphabet end a piece; what follows is not read.
  for (std::string text2 : {"Zm8=Zm9v", "Zm9v\xffZm9v", "Zm9v Zm9v", "Zm9v\nZm9v"}) {
    Base64Decoder d;
    std::string out(text2.size(), '\0');
    Base64Decoder::Result r = d.decode(text2, out.data());
    EXPECT_TRUE(r.stopped) << text2;
    EXPECT_EQ(out.substr(0, r.written), text2[3] == '=' ? "fo" : "foo");
  }

  // reset() drops the bits a broken piece left over.
  Base64Decoder d;
  char out[8];
  EXPECT_EQ(d.decode("Zm9vY", out).written, 3u);
  d.reset();
  EXPECT_EQ(d.decode("Zm9v", out).written, 3u);
  EXPECT_EQ(std::string(out, 3), "foo");
}

TEST(Base64Decode, KeepsOneByteLessThanItsCapacityWhateverTheInputLength) {
  std::mt19937 rng(11);
  for (std::size_t length = 0; length <= 24; ++length) {
    const std::string bytes = random_bytes(rng, length);
    const std::string text = base64_encode(bytes);
    for (std::size_t capacity = 0; capacity <= 28; ++capacity) {
      const std::size_t keep = std::min(bytes.size(), capacity == 0 ? 0 : capacity - 1);
      EXPECT_EQ(base64_decode(text, capacity), bytes.substr(0, keep)) << length << " bytes, capacity " << capacity;
    }
  }
  EXPECT_EQ(base64_decode(std::string(1 << 20, 'A'), std::numeric_limits<std::size_t>::max()).size(),
            (1u << 20) / 4 * 3);
}

TEST(WriteAll, RetriesShortWritesAndInterruptionsAndReportsWhatWentOut) {
  std::string sink;
  std::vector<ssize_t> script = {-2, 3, -2, 100};  // -2: interrupted; otherwise at most that many bytes
  std::size_t call = 0;
  auto scripted = [&](const char* p, std::size_t n) -> ssize_t {
    ssize_t step = call < script.size() ? script[call++] : -1;
    if (step == -2) {
      errno = EINTR;
      return -1;
    }
    if (step < 0) {
      errno = ENOSPC;
      return -1;
    }
    std::size_t take = std::min(n, static_cast<std::size_t>(step));
    sink.append(p, take);
    return static_cast<ssize_t>(take);
  };
  EXPECT_EQ(write_all_with("hello world", scripted), 11u);
  EXPECT_EQ(sink, "hello world");

  sink.clear();
  script = {4, -1};
  call = 0;
  EXPECT_EQ(write_all_with("hello world", scripted), 4u);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(sink, "hell");

  // A call that takes nothing would spin for ever: it fails with EIO.
  EXPECT_EQ(write_all_with("x", [](const char*, std::size_t) -> ssize_t { return 0; }), 0u);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(write_all_with("", [](const char*, std::size_t) -> ssize_t { return -1; }), 0u);
}

TEST(RemoveFilesNamed, TakesOnlyMatchingRegularFiles) {
  test::TempDir dir;
  for (const char* f : {"a.tmp", "b.tmp", "c.keep"}) test::write_file(f, "x");
  ::mkdir("d.tmp", 0755);
  ASSERT_EQ(::symlink("c.keep", "e.tmp"), 0);
  EXPECT_EQ(remove_files_named(".", [](std::string_view n) { return n.ends_with(".tmp"); }), 2);
  struct stat st {};
  EXPECT_NE(::stat("a.tmp", &st), 0);
  EXPECT_EQ(::stat("c.keep", &st), 0);
  EXPECT_EQ(::stat("d.tmp", &st), 0);
  EXPECT_EQ(::lstat("e.tmp", &st), 0);
  EXPECT_EQ(remove_files_named("no-such-folder", [](std::string_view) { return true; }), 0);
}

}  // namespace
}  // namespace fk
