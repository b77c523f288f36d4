// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which parts of picture sets already hold a copy that checked out, by the key a part is fetched on
// (group, author, subject name and part count), so that a later posting of such a part is not fetched.

#include <cstdint>
#include <string>
#include <unordered_set>

namespace fk {

// One record per group, parts/<group folder>/slots, one appended line per part. Reads its group's
// record once and keeps it; one call at a time.
class PartSlots {
 public:
  explicit PartSlots(std::string root = "parts");

  // True when part `part` under `key` (part_fetch_key) was kept from a good copy before.
  bool holds(const std::string& group, const std::string& key, std::uint32_t part);
  // Records that part `part` under `key` checked out. False when the record could not be written:
  // the part is then merely fetched again when it is posted again.
  bool mark(const std::string& group, const std::string& key, std::uint32_t part);

 private:
  void load(const std::string& group);
  std::string path(const std::string& group) const;

  std::string root_;
  std::string loaded_group_;
  bool loaded_ = false;
  std::unordered_set<std::string> held_;
};

}  // namespace fk
