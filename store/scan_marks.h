// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SCANMARK.FNK: per group, the highest article number an incremental scan has finished with.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fk {

inline constexpr const char* kScanMarkFileName = "SCANMARK.FNK";

// One line per group, "name number". Every change rewrites the whole file through a temporary file and
// a rename, so a kill leaves the old or the new marks, never a torn file. Each call reads the file
// afresh and calls in one process are serialised, so the session and the groups dialog may both use it.
class ScanMarks {
 public:
  explicit ScanMarks(std::string file = kScanMarkFileName) : file_(std::move(file)) {}

  const std::string& file_name() const { return file_; }
  // Every readable mark; lines that are not "name number" (number 0 or more), and a last line
  // without its line end, are passed over.
  std::map<std::string, std::int64_t> all() const;
  std::optional<std::int64_t> get(const std::string& group) const;
  // False when the name cannot be stored (empty, white space or control characters), the mark is
  // negative, or the file could not be rewritten (the old file stays).
  bool set(const std::string& group, std::int64_t mark) const;
  // Drops the marks of these groups; true when nothing was to be dropped or the rewrite succeeded.
  bool forget(const std::vector<std::string>& groups) const;

 private:
  bool write(const std::map<std::string, std::int64_t>& marks) const;
  std::string file_;
};

}  // namespace fk
