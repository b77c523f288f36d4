// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reader and writer of INI-style profile files, behaving like the classic private-profile calls.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fk {

// Every call reads the file afresh, so values written by another part of the program are seen at once.
// Section and key names compare without regard to case; the first occurrence wins. A write replaces
// the value in place and keeps every other line byte for byte; the file, its section or its key is
// created by the first write (a new file with mode 0600, since the settings hold passwords).
class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // The value, or `fallback` when the key is absent; cut to buffer_size - 1 characters.
  std::string get_string(std::string_view section, std::string_view key, std::string_view fallback,
                         std::size_t buffer_size) const;
  // Leading sign and digits of the value as a 32-bit number (0 when it has none); `fallback` when the
  // key is absent.
  std::int32_t get_int(std::string_view section, std::string_view key, std::int32_t fallback) const;
  // The value as stored (quotes removed), or nothing when the key is absent.
  std::optional<std::string> get_value(std::string_view section, std::string_view key) const;
  // Creates the file, section or key as needed and replaces the value. False when the file could not
  // be written (the old file is then left as it was).
  bool write_string(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::string path_;
};

// Writes a signed 32-bit value as plain decimal text.
bool write_profile_int(const ProfileFile& file, std::string_view section, std::string_view key,
                       std::int32_t value);

// Parses the value text the way get_int does (exposed for the fuzz target and tests).
std::int32_t parse_profile_int(std::string_view text);

}  // namespace fk
