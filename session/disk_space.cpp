// SPDX-License-Identifier: GPL-3.0-or-later
// Free space through statvfs.
#include "session/disk_space.h"

#include <sys/statvfs.h>

namespace fk {

bool StatvfsDiskSpace::free_blocks(std::uint64_t& blocks, std::uint64_t& block_size) {
  struct statvfs st {};
  if (::statvfs(".", &st) != 0) return false;
  blocks = st.f_bavail;
  block_size = st.f_frsize ? st.f_frsize : st.f_bsize;
  return true;
}

}  // namespace fk
