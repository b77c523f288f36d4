// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the subject filter and the glob matcher, checking the glob against a recursive model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "session/wildmat.h"

namespace {

enum Result { kNo, kYes, kAbort };

// The matcher written the classic recursive way, with the same answers for unclosed sets and a
// trailing backslash; only for short patterns, where the recursion depth is harmless.
Result model(std::string_view t, std::string_view p) {
  std::size_t i = 0, j = 0;
  for (; j < p.size(); ++i, ++j) {
    if (i == t.size() && p[j] != '*') return kAbort;
    switch (p[j]) {
      case '\\':
        if (++j == p.size()) return kNo;
        if (t[i] != p[j]) return kNo;
        continue;
      case '?':
        continue;
      case '*': {
        while (j < p.size() && p[j] == '*') ++j;
        if (j == p.size()) return kYes;
        for (; i < t.size(); ++i)
          if (Result r = model(t.substr(i), p.substr(j)); r != kNo) return r;
        return kAbort;
      }
      case '[': {
        bool reverse = j + 1 < p.size() && p[j + 1] == '^';
        if (reverse) ++j;
        bool matched = false;
        if (j + 1 < p.size() && (p[j + 1] == ']' || p[j + 1] == '-'))
          if (p[++j] == t[i]) matched = true;
        signed char last = static_cast<signed char>(p[j]);
        for (++j; j < p.size() && p[j] != ']'; last = static_cast<signed char>(p[j]), ++j) {
          signed char c = static_cast<signed char>(t[i]);
          if (p[j] == '-' && j + 1 < p.size() && p[j + 1] != ']') {
            ++j;
            if (c <= static_cast<signed char>(p[j]) && c >= last) matched = true;
          } else if (p[j] == t[i]) {
            matched = true;
          }
        }
        if (j == p.size()) return kAbort;
        if (matched == reverse) return kNo;
        continue;
      }
      default:
        if (t[i] != p[j]) return kNo;
        continue;
    }
  }
  return i == t.size() ? kYes : kNo;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  // The first NUL separates the subject from the filter.
  std::size_t sep = in.find('\0');
  std::string_view subject = in.substr(0, sep);
  std::string_view filter = sep == std::string_view::npos ? std::string_view() : in.substr(sep + 1);
  fk::match_filter(subject, filter);
  bool got = fk::match_pattern(subject, filter);
  if (filter.size() <= 64 && filter != "*" && got != (model(subject, filter) == kYes)) std::abort();
  return 0;
}
