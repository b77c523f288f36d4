// SPDX-License-Identifier: GPL-3.0-or-later
// Glob matching and the subject filter language.
#include "session/wildmat.h"

#include <string>

#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::size_t kMaxTerm = 255;

enum class Match { No, Yes, Abort };

// Matches c against the set whose "[" is at pattern[open]. Returns the index after its "]", or kNone
// when the set is never closed; `hit` tells whether c is a member (negation applied).
std::size_t match_set(std::string_view pattern, std::size_t open, char c, bool& hit) {
  const std::size_t n = pattern.size();
  std::size_t q = open;
  const bool reverse = q + 1 < n && pattern[q + 1] == '^';
  if (reverse) ++q;
  bool matched = false;
  // "]" or "-" first in the set is a member, not syntax.
  if (q + 1 < n && (pattern[q + 1] == ']' || pattern[q + 1] == '-')) {
    ++q;
    if (pattern[q] == c) matched = true;
  }
  // Ranges compare as signed characters, so bytes above 0x7F sort below the ASCII letters.
  const auto sc = [](char x) { return static_cast<signed char>(x); };
  signed char last = sc(pattern[q]);
  for (++q; q < n && pattern[q] != ']'; ++q) {
    if (pattern[q] == '-' && q + 1 < n && pattern[q + 1] != ']') {
      ++q;
      if (sc(c) <= sc(pattern[q]) && sc(c) >= last) matched = true;
    } else if (pattern[q] == c) {
      matched = true;
    }
    last = sc(pattern[q]);
  }
  if (q >= n) return kNone;
  hit = matched != reverse;
  return q + 1;
}

// The classic recursive matcher retries only the innermost star: once a later star has been reached,
// every outcome is a match or an abort. So remembering the last star gives the same three results
// without recursion, whatever the pattern's length.
Match do_match(std::string_view text, std::string_view pattern) {
  const std::size_t tn = text.size(), pn = pattern.size();
  std::size_t t = 0, p = 0;
  std::size_t star_p = kNone, star_t = 0;
  for (;;) {
    bool ok = false;
    if (p == pn) {
      if (t == tn) return Match::Yes;
    } else if (pattern[p] == '*') {
      while (p < pn && pattern[p] == '*') ++p;
      if (p == pn) return Match::Yes;
      if (t == tn) return Match::Abort;
      star_p = p;
      star_t = t;
      continue;
    } else if (t == tn) {
      return Match::Abort;
    } else {
      const char c = text[t];
      switch (pattern[p]) {
        case '?':
          ok = true;
          ++p;
          break;
        case '[': {
          std::size_t next = match_set(pattern, p, c, ok);
          if (next == kNone) return Match::Abort;
          p = next;
          break;
        }
        case '\\':
          if (p + 1 < pn) {
            ok = pattern[p + 1] == c;
            p += 2;
          }
          break;
        default:
          ok = pattern[p] == c;
          ++p;
          break;
      }
      if (ok) {
        ++t;
        continue;
      }
    }
    if (star_p == kNone) return Match::No;
    if (++star_t >= tn) return Match::Abort;
    t = star_t;
    p = star_p;
  }
}

}  // namespace

bool match_pattern(std::string_view text, std::string_view pattern) {
  if (pattern == "*") return true;
  return do_match(text, pattern) == Match::Yes;
}

bool match_filter_lowered(std::string_view subject, std::string_view filter) {
  // A final "|" is supplied when missing, so "a" and "a|" hold the same single term.
  if (!filter.empty() && filter.back() == '|') filter.remove_suffix(1);
  std::size_t pos = 0;
  for (;;) {
    std::size_t bar = filter.find('|', pos);
    std::string_view term = filter.substr(pos, bar == kNone ? kNone : bar - pos);
    if (term.size() > kMaxTerm) return false;
    if (!term.empty() && term.front() == '!') {
      if (match_pattern(subject, term.substr(1))) return false;
    } else if (match_pattern(subject, term)) {
      return true;
    }
    if (bar == kNone) return false;
    pos = bar + 1;
  }
}

bool match_filter(std::string_view subject, std::string_view filter) {
  return match_filter_lowered(to_lower(subject), filter);
}

}  // namespace fk
