// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A disk that fills up: the writer of decoded files fails with ENOSPC once a budget of bytes is spent;
// and a small real file system for a whole program to fill.

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>

#include "decode/work_file.h"

namespace fk::test {

class FullDisk : public FileWriter {
 public:
  explicit FullDisk(std::size_t allowed = 0) : left_(allowed) {}
  ssize_t write(int fd, const void* data, std::size_t size) override {
    if (left_ == 0) {
      errno = ENOSPC;
      return -1;
    }
    std::size_t n = std::min(size, left_);
    left_ -= n;
    return FileWriter::write(fd, data, n);
  }

 private:
  std::size_t left_;
};

// A tmpfs of `size` (mount's form: "6m") at base/name while it lives; mounted() is false where this
// process may not mount (the test then skips).
class SmallFileSystem {
 public:
  SmallFileSystem(const std::filesystem::path& base, const std::string& size, const std::string& name = "small")
      : path_(base / name) {
    std::filesystem::create_directories(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

}  // namespace fk::test
