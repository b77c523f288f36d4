// SPDX-License-Identifier: GPL-3.0-or-later
// The glob matcher and the subject filter language.
#include <gtest/gtest.h>

#include <string>

#include "session/wildmat.h"

namespace fk {
namespace {

struct GlobCase {
  const char* text;
  const char* pattern;
  bool match;
};

TEST(Wildmat, Table) {
  // clang-format off
  const GlobCase cases[] = {
      // "*" alone, empty pattern, literals
      {"", "*", true}, {"anything", "*", true}, {"", "", true}, {"a", "", false}, {"abc", "abc", true},
      {"abc", "ab", false}, {"ab", "abc", false}, {"abc", "ABC", false},
      // ? and stars
      {"a", "?", true}, {"", "?", false}, {"ab", "?", false}, {"ac", "a*c", true}, {"abc", "a**c", true},
      {"abcd", "*c", false}, {"abcbc", "*bc", true}, {"x.jpg (1/1)", "*.jpg*", true}, {"x.jpeg", "*.jpg*", false},
      {"abc", "*b*d", false}, {"", "a*", false},
      // sets, negation, ranges, "]" and "-" as members
      {"b", "[abc]", true}, {"d", "[abc]", false}, {"d", "[^abc]", true}, {"a", "[^abc]", false},
      {"m", "[a-z]", true}, {"M", "[a-z]", false}, {"]", "[]]", true}, {"]", "[^]]", false}, {"x", "[^]]", true},
      {"-", "[-a]", true}, {"-", "[a-]", true}, {"b", "[a-]", false}, {"d", "[a-c-e]", true},
      // ranges compare signed characters: bytes above 0x7F sort below ASCII
      {"\xe9", "[a-\xff]", false}, {"\xe9", "[\x80-\xff]", true}, {"a", "[\x80-z]", true},
      // escapes; a trailing backslash and unclosed sets never match
      {"*", "\\*", true}, {"a", "\\*", false}, {"a*b", "a\\*b", true}, {"a\\", "a\\", false},
      {"a", "[a", false}, {"[a", "[a", false}, {"a", "[a-", false}, {"ab", "*[b", false},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(match_pattern(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
}

TEST(Wildmat, HostilePatternsEndQuickly) {
  // Exponential for a matcher that retries every star; the abort rule and the iterative core make it
  // linear, and a 200,000-character pattern cannot exhaust the stack.
  std::string text(5000, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  EXPECT_FALSE(match_pattern(text, pattern + "*c"));
  EXPECT_TRUE(match_pattern(text, pattern + "*"));
  std::string stars;
  for (int i = 0; i < 100000; ++i) stars += "*?";
  EXPECT_FALSE(match_pattern(text, stars));
  EXPECT_TRUE(match_pattern(std::string(100000, 'z'), stars));
}

TEST(MatchFilter, TermsExclusionsAndCase) {
  EXPECT_TRUE(match_filter("Sunset.JPG (1/1)", "*.jpg*|*.gif*"));
  EXPECT_FALSE(match_filter("tune.mp3", "*.jpg*|*.gif*"));
  EXPECT_TRUE(match_filter("Re: pic.jpg", "re:*|*free*|*http:*"));
  // terms are used as stored: capitals never match a lower-cased subject
  EXPECT_FALSE(match_filter("Pic.jpg", "Pic*"));
  EXPECT_FALSE(match_filter("RE: pic.jpg", "RE:*"));
  // the first deciding term wins
  EXPECT_FALSE(match_filter("part1.jpg", "!*part*|*.jpg*"));
  EXPECT_TRUE(match_filter("foo.jpg", "!*part*|*.jpg*"));
  EXPECT_TRUE(match_filter("part1.jpg", "*.jpg*|!*part*"));
  EXPECT_FALSE(match_filter("foo.gif", "!*part*"));
  // a final bar is supplied; an empty term matches only an empty subject
  EXPECT_TRUE(match_filter("a.jpg", "*.jpg*|"));
  EXPECT_FALSE(match_filter("x", "|"));
  EXPECT_TRUE(match_filter("", "a||"));
  EXPECT_TRUE(match_filter("", ""));
  EXPECT_FALSE(match_filter("", "!"));
  // a term over 255 characters ends the evaluation
  EXPECT_TRUE(match_filter("abc", std::string(255, '*') + "|x"));
  EXPECT_FALSE(match_filter("abc", std::string(256, '*') + "|*"));
}

}  // namespace
}  // namespace fk
