// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files installed with the program (the progress sound), looked for after the working folder.

#include <string>
#include <vector>

namespace fk {

// <prefix>/share/fennick beside the running program, then the folder `make install` was configured for.
std::vector<std::string> installed_data_folders();

// An absolute path to `name`: the working folder's own copy first, then the first of `folders` holding
// it; empty when none does. An absolute `name` is taken as it stands.
std::string find_data_file(const std::string& name, const std::vector<std::string>& folders);

}  // namespace fk
