// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Who may use the browser view: the token, the login cookie and the anti-forgery token derived from it.

#include <string>
#include <string_view>

namespace fk {

// 256 random bits as 64 hex digits, from the kernel's generator. Empty only when it fails.
std::string make_web_token();
// Compares in time that depends on the lengths only, never on where the texts differ.
bool tokens_equal(std::string_view a, std::string_view b);
// The value the login cookie carries for a token (a hash of it, so the token itself stays out of the
// browser's cookie store), and the anti-forgery token the pages send back with a POST.
std::string cookie_for_token(std::string_view token);
std::string csrf_for_token(std::string_view token);
// The value of cookie `name` in a Cookie header, or empty.
std::string cookie_value(std::string_view header, std::string_view name);
// The credentials of "Authorization: Bearer X", or empty.
std::string bearer_token(std::string_view authorization);
// True for the loopback addresses and "localhost"; false for wildcards and every other address.
bool is_loopback_bind(std::string_view bind);

inline constexpr const char* kSessionCookie = "fennick_session";

}  // namespace fk
