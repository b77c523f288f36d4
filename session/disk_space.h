// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Free space of the file system that holds the working directory, as the article loop checks it.

#include <cstdint>

namespace fk {

class DiskSpace {
 public:
  virtual ~DiskSpace() = default;
  // Blocks available to the user and the size of one block; false when the query failed.
  virtual bool free_blocks(std::uint64_t& blocks, std::uint64_t& block_size) = 0;
};

// statvfs(".").
class StatvfsDiskSpace final : public DiskSpace {
 public:
  bool free_blocks(std::uint64_t& blocks, std::uint64_t& block_size) override;
};

}  // namespace fk
