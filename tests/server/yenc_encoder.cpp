// SPDX-License-Identifier: GPL-3.0-or-later
// The yEnc encoder of the tests.
#include "server/yenc_encoder.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace fk::test {

std::uint32_t crc32_ieee(const std::string& bytes, std::uint32_t crc) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string yenc_lines(const std::string& bytes, std::size_t line, bool plain_edges) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 32 + 16);
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto c = static_cast<unsigned char>(static_cast<unsigned char>(bytes[i]) + 42);
    bool escape = c == 0 || c == '\n' || c == '\r' || c == '=';
    if (!plain_edges) {
      const bool first = column == 0, last = column + 1 >= line || i + 1 == bytes.size();
      if ((c == '\t' || c == ' ' || c == '\v' || c == '\f') && (first || last)) escape = true;
      if (c == '.' && first) escape = true;
    }
    if (escape) {
      out += '=';
      c = static_cast<unsigned char>(c + 64);
      ++column;
    }
    out += static_cast<char>(c);
    if (++column >= line) {
      out += '\n';
      column = 0;
    }
  }
  if (column > 0) out += '\n';
  return out;
}

std::string yenc_encode(const std::string& name, const std::string& bytes, std::size_t line) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", crc32_ieee(bytes));
  return "=ybegin line=" + std::to_string(line) + " size=" + std::to_string(bytes.size()) + " name=" + name +
         "\n" + yenc_lines(bytes, line) + "=yend size=" + std::to_string(bytes.size()) + " crc32=" + crc + "\n";
}

std::string yenc_encode_part(const std::string& name, const std::string& whole, int part, int total,
                             std::size_t begin, std::size_t end, std::size_t line) {
  const std::string data = whole.substr(begin, end - begin);
  char pcrc[16], crc[16];
  std::snprintf(pcrc, sizeof pcrc, "%08x", crc32_ieee(data));
  std::snprintf(crc, sizeof crc, "%08x", crc32_ieee(whole));
  std::string out = "=ybegin part=" + std::to_string(part) + " total=" + std::to_string(total) +
                    " line=" + std::to_string(line) + " size=" + std::to_string(whole.size()) + " name=" + name +
                    "\n=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(end) + "\n";
  out += yenc_lines(data, line);
  out += "=yend size=" + std::to_string(data.size()) + " part=" + std::to_string(part) + " pcrc32=" + pcrc;
  if (part == total) out += std::string(" crc32=") + crc;
  return out + "\n";
}

std::vector<std::string> yenc_parts(const std::string& name, const std::string& whole, int total) {
  std::vector<std::string> out;
  for (int k = 1; k <= total; ++k) {
    std::size_t begin = whole.size() * static_cast<std::size_t>(k - 1) / static_cast<std::size_t>(total);
    std::size_t end = whole.size() * static_cast<std::size_t>(k) / static_cast<std::size_t>(total);
    out.push_back(yenc_encode_part(name, whole, k, total, begin, end));
  }
  return out;
}

std::string picture_bytes(std::size_t size, unsigned seed) {
  std::string b(size, '\0');
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<char>((i + seed) * 2654435761u >> 13);
  const std::string magic("\xFF\xD8\xFF\xE0", 4);
  b.replace(0, std::min(size, magic.size()), magic.substr(0, std::min(size, magic.size())));
  return b;
}

}  // namespace fk::test
