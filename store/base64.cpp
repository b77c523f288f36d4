// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/base64.h"

#include "store/text.h"

namespace fk {

namespace {
constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

std::string base64_encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t v = (std::uint32_t(std::uint8_t(bytes[i])) << 16) | (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8) |
                      std::uint8_t(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string base64_decode(std::string_view text, std::size_t capacity) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
  // Four characters make three bytes: what lies beyond the limit is not decoded at all.
  if (limit / 3 < text.size() / 4) text = text.substr(0, limit / 3 * 4 + 4);
  std::string out(text.size(), '\0');
  std::size_t n = Base64Decoder().decode(text, out.data()).written;
  out.resize(n < limit ? n : limit);
  return out;
}

}  // namespace fk
