// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Free space that a test sets: plenty by default.

#include <atomic>
#include <cstdint>

#include "session/disk_space.h"

namespace fk::test {

class FakeDiskSpace final : public DiskSpace {
 public:
  bool free_blocks(std::uint64_t& blocks, std::uint64_t& block_size) override {
    if (fail_) return false;
    blocks = blocks_.load();
    block_size = block_size_.load();
    return true;
  }
  void set(std::uint64_t blocks, std::uint64_t block_size) {
    blocks_ = blocks;
    block_size_ = block_size;
  }
  void set_failing(bool fail) { fail_ = fail; }

 private:
  std::atomic<std::uint64_t> blocks_{1u << 30};
  std::atomic<std::uint64_t> block_size_{4096};
  std::atomic<bool> fail_{false};
};

}  // namespace fk::test
