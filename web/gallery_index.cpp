// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/gallery_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "store/picture_folders.h"

namespace fk {

namespace {

std::int64_t folder_stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

std::vector<std::int64_t> GalleryIndex::folder_stamps() const {
  std::vector<std::int64_t> stamps;
  const std::string pictures = root_ + "/pictures";
  stamps.push_back(folder_stamp(pictures));
  stamps.push_back(folder_stamp(root_ + "/unknown"));
  for (const std::string& group : list_sub_folders(pictures)) stamps.push_back(folder_stamp(pictures + "/" + group));
  return stamps;
}

void GalleryIndex::refresh_locked() {
  std::vector<std::int64_t> stamps = folder_stamps();
  if (listed_ && stamps == stamps_) return;
  stamps_ = std::move(stamps);
  listed_ = true;
  all_.clear();
  groups_.clear();
  std::vector<FolderFile> files;
  const std::string pictures = root_ + "/pictures";
  for (const std::string& group : list_sub_folders(pictures)) {
    list_folder_files(pictures + "/" + group, files);
    groups_.push_back({group, files.size()});
    for (FolderFile& f : files) all_.push_back({group, std::move(f.name), f.mtime_ns, f.size});
  }
  list_folder_files(root_ + "/unknown", files);
  unknown_count_ = files.size();
  for (FolderFile& f : files) all_.push_back({std::string(), std::move(f.name), f.mtime_ns, f.size});
  std::sort(all_.begin(), all_.end(), [](const GalleryEntry& a, const GalleryEntry& b) {
    if (a.mtime_ns != b.mtime_ns) return a.mtime_ns > b.mtime_ns;
    if (a.group != b.group) return a.group < b.group;
    return a.name < b.name;
  });
}

GalleryPage GalleryIndex::page(const GalleryFilter& filter, std::size_t first, std::size_t count) {
  std::lock_guard lock(mutex_);
  refresh_locked();
  GalleryPage page;
  page.first = first;
  for (const GalleryEntry& e : all_) {
    const bool match = filter.kind == GalleryFilter::Kind::All ||
                       (filter.kind == GalleryFilter::Kind::Unknown && e.group.empty()) ||
                       (filter.kind == GalleryFilter::Kind::Group && !e.group.empty() && e.group == filter.group);
    if (!match) continue;
    if (page.total >= first && page.entries.size() < count) page.entries.push_back(e);
    ++page.total;
  }
  return page;
}

std::vector<GalleryGroupCount> GalleryIndex::groups(std::size_t* unknown_count) {
  std::lock_guard lock(mutex_);
  refresh_locked();
  if (unknown_count) *unknown_count = unknown_count_;
  return groups_;
}

bool GalleryIndex::find(const std::string& group, const std::string& name, GalleryEntry& out) {
  std::lock_guard lock(mutex_);
  refresh_locked();
  for (const GalleryEntry& e : all_) {
    if (e.group == group && e.name == name) {
      out = e;
      return true;
    }
  }
  return false;
}

}  // namespace fk
