// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A short-lived file only its owner can read, for handing a secret to a helper program.

#include <optional>
#include <string>
#include <string_view>

namespace fk {

// Lives in a fresh directory of mode 0700 (under $XDG_RUNTIME_DIR when usable, else $TMPDIR or
// /tmp) and has mode 0600; the destructor removes both.
class PrivateFile {
 public:
  // nullopt when the directory or the file could not be made or written completely.
  static std::optional<PrivateFile> create(std::string_view file_name, std::string_view content);

  PrivateFile(PrivateFile&& other) noexcept;
  PrivateFile& operator=(PrivateFile&& other) noexcept;
  PrivateFile(const PrivateFile&) = delete;
  PrivateFile& operator=(const PrivateFile&) = delete;
  ~PrivateFile();

  const std::string& path() const { return path_; }

 private:
  PrivateFile(std::string dir, std::string path) : dir_(std::move(dir)), path_(std::move(path)) {}
  void remove();

  std::string dir_;
  std::string path_;
};

}  // namespace fk
