// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's trash can (freedesktop.org trash layout): files moved there can be restored by the file
// manager, since each gets an info file naming where it came from and when.

#include <ctime>
#include <string>

namespace fk {

// $XDG_DATA_HOME/Trash, or $HOME/.local/share/Trash when XDG_DATA_HOME is unset or not absolute.
// Empty when neither can be found.
std::string home_trash_dir();

struct TrashResult {
  bool ok = false;
  std::string trashed_as;  // the path inside trash_dir/files/ on success
  std::string error;       // what failed, for the status log and the user
};

// Moves the file at path into trash_dir (files/ and info/ created when missing) with an info file
// holding its absolute path and the local time `now`. A name already in the trash gets "-N" before
// its extension. Across file systems the file is copied and then removed; on any failure the file
// stays where it was and nothing is left behind in the trash.
TrashResult move_to_trash(const std::string& path, const std::string& trash_dir, std::time_t now);

// The Path= value of an info file: the absolute path with every byte outside letters, digits,
// "-_.!~*'()" and "/" written as %XX.
std::string trash_info_path_value(const std::string& absolute_path);

}  // namespace fk
