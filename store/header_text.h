// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Header texts as posters write them: encoded words (RFC 2047), parameter values with a charset
// (RFC 2231), and bytes of unknown charset, all brought to UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace fk {

// Whether the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool is_valid_utf8(std::string_view s);

// Latin-1 bytes as UTF-8.
std::string latin1_to_utf8(std::string_view s);

// The bytes unchanged when they are valid UTF-8, else read as Latin-1.
std::string utf8_or_latin1(std::string_view s);

// Bytes in the named charset as UTF-8: UTF-8 and US-ASCII as they are (Latin-1 if not valid), ISO-8859-1,
// ISO-8859-15 and windows-1252 converted. False (out unchanged) for a charset it does not know.
bool charset_to_utf8(std::string_view charset, std::string_view bytes, std::string& out);

// Decodes the encoded words "=?charset?B|Q?text?=" of a header text to UTF-8; blanks between two encoded
// words go. A word that is malformed or of an unknown charset stays as written. Control characters
// that decoding brings in become blanks, so the result stays one line of one field.
std::string decode_encoded_words(std::string_view text);

// A text that may hold encoded words (a quick test before decode_encoded_words).
inline bool has_encoded_words(std::string_view text) {
  return text.find("=?") != std::string_view::npos;
}

// An extended parameter value "charset'language'%XX..." to UTF-8; a value without the two quotes is
// only percent-decoded and read as UTF-8 or Latin-1.
std::string decode_extended_value(std::string_view value);

// At most `limit` bytes of a UTF-8 text, never cutting a character in two.
std::string_view cut_utf8(std::string_view s, std::size_t limit);

}  // namespace fk
