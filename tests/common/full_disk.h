// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A disk that fills up: the writer of decoded files fails with ENOSPC once a budget of bytes is spent.

#include <algorithm>
#include <cerrno>

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

}  // namespace fk::test
