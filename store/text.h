// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Character classes (ASCII, whatever the locale says) and the decimal number at the start of a text.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace fk {

// White space as the "C" locale's isspace has it: space, tab, CR, LF, VT, FF.
constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
// Space or tab only.
constexpr bool is_blank(char c) {
  return c == ' ' || c == '\t';
}
constexpr bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
constexpr bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
constexpr bool is_alnum(char c) {
  return is_letter(c) || is_digit(c);
}
// The control characters: below 32, and DEL.
constexpr bool is_control(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 32 || u == 127;
}
// ASCII upper case to lower case; every other byte as it is.
constexpr char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// What read_decimal accepts in front of the digits.
enum class NumberForm {
  Digits,  // nothing: the text starts with the digits
  Signed,  // as sscanf's "%d": white space (is_space), then an optional "+" or "-"
};

// A decimal number read from the start of a text; each reader takes the value in the width it needs.
struct LeadingNumber {
  bool found = false;           // at least one digit was read
  bool negative = false;
  std::uint64_t magnitude = 0;  // the digits' value, held at the 64-bit maximum when larger
  std::uint64_t low_bits = 0;   // the digits' value modulo 2^64
  std::size_t end = 0;          // characters taken (white space, sign, digits); 0 when none was found

  // The value with its sign, its size held at `cap` (>= 0).
  std::int64_t capped(std::int64_t cap) const {
    const auto limit = static_cast<std::uint64_t>(cap);
    const auto m = static_cast<std::int64_t>(magnitude < limit ? magnitude : limit);
    return negative ? -m : m;
  }
  // The value held within the 64-bit range.
  std::int64_t saturated() const {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative) return static_cast<std::int64_t>(magnitude < kMax ? magnitude : kMax);
    if (magnitude > kMax) return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(magnitude);
  }
  // The value as a register of U's width computes it: the digits wrap, the sign negates modulo 2^bits.
  template <class U>
  U wrapped() const {
    const auto v = static_cast<U>(low_bits);
    return negative ? static_cast<U>(0u - v) : v;
  }
};

// Reads the number at the start of text in the given form; found is false when no digit follows.
LeadingNumber read_decimal(std::string_view text, NumberForm form);

}  // namespace fk
