// SPDX-License-Identifier: GPL-3.0-or-later
// Encoded words, extended parameter values and charset conversion of header texts.
#include "store/header_text.h"

#include <cstdint>

#include "store/base64.h"
#include "store/text.h"

namespace fk {

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// windows-1252's 0x80..0x9F; 0 where it has no character (kept as the Latin-1 control).
constexpr std::uint16_t kCp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t latin9(unsigned char c) {
  switch (c) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return c;
  }
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

// The bytes of an encoded word's text: "B" is base64, "Q" quoted-printable with '_' for a blank.
bool word_bytes(char encoding, std::string_view text, std::string& out) {
  out.clear();
  if (encoding == 'b' || encoding == 'B') {
    Base64Decoder b64;
    out.resize(text.size());
    const Base64Decoder::Result r = b64.decode(text, out.data());
    out.resize(r.written);
    return true;
  }
  if (encoding != 'q' && encoding != 'Q') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out.push_back(' ');
    } else if (text[i] == '=' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return true;
}

// The encoded word starting at i, decoded into `converted`: the index after it, or 0 when there is
// none (malformed, blanks inside, an unknown encoding or charset).
std::size_t encoded_word(std::string_view text, std::size_t i, std::string& bytes, std::string& converted) {
  if (text.compare(i, 2, "=?") != 0) return 0;
  const std::size_t q1 = text.find('?', i + 2);
  if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?') return 0;
  const std::size_t q2 = q1 + 2;
  const std::size_t end = text.find("?=", q2 + 1);
  if (end == std::string_view::npos) return 0;
  std::string_view charset = text.substr(i + 2, q1 - i - 2);
  if (std::size_t star = charset.find('*'); star != std::string_view::npos) charset = charset.substr(0, star);
  const std::string_view body = text.substr(q2 + 1, end - q2 - 1);
  if (body.find_first_of(" \t") != std::string_view::npos) return 0;
  if (!word_bytes(text[q1 + 1], body, bytes) || !charset_to_utf8(charset, bytes, converted)) return 0;
  return end + 2;
}

}  // namespace

bool is_valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) n = 1, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 2, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 3, cp = c & 0x07;
    else return false;
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    static constexpr std::uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::string latin1_to_utf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 4);
  for (char c : s) append_utf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string utf8_or_latin1(std::string_view s) {
  return is_valid_utf8(s) ? std::string(s) : latin1_to_utf8(s);
}

bool charset_to_utf8(std::string_view charset, std::string_view bytes, std::string& out) {
  const std::string cs = lower(charset);
  if (cs == "utf-8" || cs == "utf8" || cs == "us-ascii" || cs == "ascii") {
    out = utf8_or_latin1(bytes);
    return true;
  }
  if (cs == "iso-8859-1" || cs == "latin1" || cs == "iso8859-1" || cs == "latin-1") {
    out = latin1_to_utf8(bytes);
    return true;
  }
  if (cs == "iso-8859-15" || cs == "latin9" || cs == "iso8859-15") {
    out.clear();
    for (char c : bytes) append_utf8(out, latin9(static_cast<unsigned char>(c)));
    return true;
  }
  if (cs == "windows-1252" || cs == "cp1252") {
    out.clear();
    for (char c : bytes) {
      const auto u = static_cast<unsigned char>(c);
      const std::uint32_t cp = (u >= 0x80 && u < 0xA0 && kCp1252[u - 0x80]) ? kCp1252[u - 0x80] : u;
      append_utf8(out, cp);
    }
    return true;
  }
  return false;
}

std::string decode_encoded_words(std::string_view text) {
  std::string out, bytes, converted;
  out.reserve(text.size());
  // Where the blanks after the last decoded word start in out; they go if another word follows.
  std::size_t blanks_from = std::string::npos;
  std::size_t i = 0;
  while (i < text.size()) {
    if (std::size_t end = encoded_word(text, i, bytes, converted); end != 0) {
      if (blanks_from != std::string::npos) out.resize(blanks_from);
      for (char& c : converted)
        if (is_control(c)) c = ' ';
      out.append(converted);
      blanks_from = out.size();
      i = end;
      continue;
    }
    if (!is_blank(text[i])) blanks_from = std::string::npos;
    out.push_back(text[i++]);
  }
  return out;
}

std::string decode_extended_value(std::string_view value) {
  std::string_view charset;
  const std::size_t q1 = value.find('\'');
  const std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
  if (q2 != std::string_view::npos) {
    charset = value.substr(0, q1);
    value = value.substr(q2 + 1);
  }
  std::string bytes;
  bytes.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() &&
        hex_value(value[i + 1]) >= 0 && hex_value(value[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(hex_value(value[i + 1]) * 16 + hex_value(value[i + 2])));
      i += 2;
    } else {
      bytes.push_back(value[i]);
    }
  }
  std::string out;
  if (charset.empty() || !charset_to_utf8(charset, bytes, out)) out = utf8_or_latin1(bytes);
  for (char& c : out)
    if (is_control(c)) c = ' ';
  return out;
}

std::string_view cut_utf8(std::string_view s, std::size_t limit) {
  if (s.size() <= limit) return s;
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

}  // namespace fk
