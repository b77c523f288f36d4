// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subject filter language: "|"-separated glob terms with "!" exclusions, over wildmat globs.

#include <string_view>

namespace fk {

// True when the whole text matches the glob: "*" any run, "?" one character, "[...]" sets with "^"
// negation and signed-character ranges, "\" escapes. As in the classic matcher, a star is not retried
// once the text has run out; an unclosed set or a trailing backslash never matches.
bool match_pattern(std::string_view text, std::string_view pattern);

// True when the subject, lower-cased (ASCII), matches the filter: the first term that matches decides,
// a match for "!term" is a non-match, and no match at all or a term over 255 characters is a non-match.
// The terms are used as stored, so capital letters in them never match.
bool match_filter(std::string_view subject, std::string_view filter);

// match_filter for a subject the caller has already lower-cased.
bool match_filter_lowered(std::string_view lowered_subject, std::string_view filter);

}  // namespace fk
