// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh folder that a test runs in: created, made the working directory, removed afterwards.

#include <filesystem>
#include <string>
#include <string_view>

namespace fk::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

// Whole-file helpers for assertions.
std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, std::string_view content);
bool exists(const std::filesystem::path& p);

}  // namespace fk::test
