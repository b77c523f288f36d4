// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Texts from news servers made safe for a page: HTML, JSON and URL forms.

#include <string>
#include <string_view>

namespace fk {

// &, <, >, " and ' as entities; control characters other than tab as U+FFFD; invalid UTF-8 kept as bytes
// the browser shows as replacement characters.
std::string html_escape(std::string_view text);
// A JSON string literal with its quotes; <, > and & as \u escapes so it is inert inside HTML too, and
// bytes that are not valid UTF-8 as U+FFFD.
std::string json_string(std::string_view text);
// Every byte but letters, digits and -._~ percent-encoded: one path segment of a link.
std::string url_segment(std::string_view text);
// Decodes %XX; false for a malformed escape. '+' stays itself.
bool percent_decode(std::string_view text, std::string& out);

}  // namespace fk
