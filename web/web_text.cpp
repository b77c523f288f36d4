// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_text.h"

#include <cstdint>
#include <cstdio>

namespace fk {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t utf8_length(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  if (n == 2 && b < 0xC2) return 0;  // overlong
  return n;
}

// Copies valid multi-byte UTF-8 through, writes `invalid` for a byte that starts no valid sequence, and
// hands each single byte to `one` to escape as its format wants.
template <typename OneByte>
void escape_utf8(std::string_view text, std::string_view invalid, std::string& out, OneByte one) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_length(text, i);
    if (n == 0) {
      out += invalid;
      ++i;
    } else if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      one(text[i++]);
    }
  }
}

}  // namespace

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  escape_utf8(text, "\xEF\xBF\xBD", out, [&out](char c) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
          out += "\xEF\xBF\xBD";
        else
          out += c;
    }
  });
  return out;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 8);
  escape_utf8(text, "\\ufffd", out, [&out](char c) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  });
  out += '"';
  return out;
}

std::string url_segment(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool percent_decode(std::string_view text, std::string& out) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = hex(text[i + 1]), lo = hex(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

}  // namespace fk
