// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_auth.h"

#include <openssl/evp.h>
#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace fk {

namespace {

std::string hex(const unsigned char* bytes, std::size_t n) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(n * 2);
  for (std::size_t i = 0; i < n; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

std::string sha256_hex(std::string_view purpose, std::string_view token) {
  std::string input(purpose);
  input += ':';
  input += token;
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return {};
  return hex(digest.data(), length);
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string make_web_token() {
  std::array<unsigned char, 32> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    got += static_cast<std::size_t>(n);
  }
  return hex(bytes.data(), bytes.size());
}

bool tokens_equal(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() > b.size() ? a.size() : b.size();
  unsigned diff = a.size() == b.size() ? 0u : 1u;
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
    const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
    diff |= static_cast<unsigned>(x ^ y);
  }
  return diff == 0 && !a.empty();
}

std::string cookie_for_token(std::string_view token) { return sha256_hex("fennick-cookie", token); }

std::string csrf_for_token(std::string_view token) { return sha256_hex("fennick-csrf", token); }

std::string cookie_value(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t semi = header.find(';');
    std::string_view pair = trim_blanks(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    const std::size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    if (trim_blanks(pair.substr(0, eq)) == name) return std::string(trim_blanks(pair.substr(eq + 1)));
  }
  return {};
}

std::string bearer_token(std::string_view authorization) {
  authorization = trim_blanks(authorization);
  constexpr std::string_view kScheme = "bearer ";
  if (authorization.size() <= kScheme.size()) return {};
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = authorization[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return {};
  }
  return std::string(trim_blanks(authorization.substr(kScheme.size())));
}

bool is_loopback_bind(std::string_view bind) {
  return bind == "localhost" || bind == "::1" || bind == "[::1]" || bind.starts_with("127.");
}

}  // namespace fk
