// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures the browser's gallery pages show: every file of pictures/<group>/ and unknown/, newest
// first, listed again only when one of those folders changed.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace fk {

struct GalleryEntry {
  std::string group;  // folder under pictures/; empty for unknown/
  std::string name;
  std::int64_t mtime_ns = 0;
  std::int64_t size = 0;
};

struct GalleryGroupCount {
  std::string name;
  std::size_t count = 0;
};

struct GalleryFilter {
  enum class Kind { All, Group, Unknown } kind = Kind::All;
  std::string group;  // Kind::Group
};

struct GalleryPage {
  std::vector<GalleryEntry> entries;
  std::size_t total = 0;  // entries the filter matches
  std::size_t first = 0;  // index of entries.front() among them
};

class GalleryIndex {
 public:
  explicit GalleryIndex(std::string root) : root_(std::move(root)) {}

  // Up to `count` entries from `first` on among those the filter matches.
  GalleryPage page(const GalleryFilter& filter, std::size_t first, std::size_t count);
  // The group folders with their counts, sorted by name, and the count of unknown/.
  std::vector<GalleryGroupCount> groups(std::size_t* unknown_count = nullptr);
  // One entry by folder and name, if it is listed.
  bool find(const std::string& group, const std::string& name, GalleryEntry& out);

 private:
  void refresh_locked();
  std::vector<std::int64_t> folder_stamps() const;

  std::string root_;
  std::mutex mutex_;
  std::vector<std::int64_t> stamps_;
  bool listed_ = false;
  std::vector<GalleryEntry> all_;  // newest first
  std::vector<GalleryGroupCount> groups_;
  std::size_t unknown_count_ = 0;
};

}  // namespace fk
