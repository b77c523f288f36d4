// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What lies in pictures/ and unknown/: the group folders and their files, for the picture gallery.

#include <cstdint>
#include <string>
#include <vector>

namespace fk {

struct FolderFile {
  std::string name;            // bare name
  std::int64_t mtime_ns = 0;   // modification time, nanoseconds since 1970
  std::int64_t size = 0;
};

// The regular files of one folder (not its sub-folders; hidden names left out), in no particular order.
// False when the folder cannot be read; `files` is then empty.
bool list_folder_files(const std::string& dir, std::vector<FolderFile>& files);

// The names of the sub-folders of dir (hidden names left out), sorted; empty when dir cannot be read.
std::vector<std::string> list_sub_folders(const std::string& dir);

}  // namespace fk
