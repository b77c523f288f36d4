// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Base64 (RFC 2045 alphabet): the settings file's password and MIME attachments use the one decoder here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fk {

inline constexpr std::uint8_t kNotBase64 = 0xFF;

namespace detail {
constexpr std::array<std::uint8_t, 256> make_base64_values() {
  std::array<std::uint8_t, 256> t{};
  for (auto& v : t) v = kNotBase64;
  for (int i = 0; i < 26; ++i) {
    t['A' + i] = static_cast<std::uint8_t>(i);
    t['a' + i] = static_cast<std::uint8_t>(26 + i);
  }
  for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<std::uint8_t>(52 + i);
  t['+'] = 62;
  t['/'] = 63;
  return t;
}
inline constexpr std::array<std::uint8_t, 256> kBase64Values = make_base64_values();
}  // namespace detail

// The value (0..63) of a Base64 character; kNotBase64 for any other, the "=" of padding included.
inline std::uint8_t base64_value(char c) {
  return detail::kBase64Values[static_cast<unsigned char>(c)];
}

// Decodes Base64 that comes in pieces (a line at a time): the bits a piece leaves over carry into the next.
class Base64Decoder {
 public:
  struct Result {
    std::size_t written = 0;  // bytes put out
    bool stopped = false;     // a character outside the alphabet ended the piece
  };

  // Decodes text into out, which has room for text.size() bytes, up to its end or its first character
  // outside the alphabet ("=" included; it is consumed, the rest is not read).
  Result decode(std::string_view text, char* out) {
    char* const first = out;
    const char* p = text.data();
    const char* const end = p + text.size();
    std::uint32_t acc = acc_;
    unsigned bits = bits_;
    bool stopped = false;
    for (;;) {
      // Whole groups of four while no bits are left over: the common case of clean data.
      if (bits == 0) {
        while (end - p >= 4) {
          std::uint32_t a = base64_value(p[0]), b = base64_value(p[1]), c = base64_value(p[2]),
                        d = base64_value(p[3]);
          if ((a | b | c | d) & 0x80) break;
          std::uint32_t v = a << 18 | b << 12 | c << 6 | d;
          out[0] = static_cast<char>(v >> 16);
          out[1] = static_cast<char>(v >> 8);
          out[2] = static_cast<char>(v);
          out += 3;
          p += 4;
          acc = d;
        }
      }
      if (p == end) break;
      std::uint8_t v = base64_value(*p++);
      if (v == kNotBase64) {
        stopped = true;
        break;
      }
      acc = acc << 6 | v;
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        *out++ = static_cast<char>((acc >> bits) & 255);
      }
    }
    acc_ = acc;
    bits_ = bits;
    return {static_cast<std::size_t>(out - first), stopped};
  }

  // Forgets the bits left over: the next piece starts a new stream.
  void reset() {
    acc_ = 0;
    bits_ = 0;
  }

 private:
  std::uint32_t acc_ = 0;
  unsigned bits_ = 0;
};

// Standard Base64 ("=" padding, no line breaks).
std::string base64_encode(std::string_view bytes);
// Skips leading blanks and tabs, decodes up to the first character outside the alphabet, and keeps
// at most capacity - 1 bytes (the classic buffer held a terminating zero).
std::string base64_decode(std::string_view text, std::size_t capacity);

}  // namespace fk
