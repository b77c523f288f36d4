// SPDX-License-Identifier: GPL-3.0-or-later
// Folder listings for the picture gallery.
#include "store/picture_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace fk {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Calls visit(name, stat) for every visible entry of dir; false when dir does not open.
template <class Visit>
bool each_entry(const std::string& dir, Visit visit) {
  DirHandle handle(::opendir(dir.c_str()));
  if (!handle) return false;
  const int fd = ::dirfd(handle.get());
  while (dirent* e = ::readdir(handle.get())) {
    if (e->d_name[0] == '.') continue;
    struct stat st {};
    // Links are followed: a picture linked into a group folder is still a picture there.
    if (::fstatat(fd, e->d_name, &st, 0) != 0) continue;
    visit(e->d_name, st);
  }
  return true;
}

}  // namespace

bool list_folder_files(const std::string& dir, std::vector<FolderFile>& files) {
  files.clear();
  return each_entry(dir, [&](const char* name, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return;
    files.push_back({name, std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec,
                     static_cast<std::int64_t>(st.st_size)});
  });
}

std::vector<std::string> list_sub_folders(const std::string& dir) {
  std::vector<std::string> out;
  each_entry(dir, [&](const char* name, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) out.emplace_back(name);
  });
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace fk
