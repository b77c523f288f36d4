// SPDX-License-Identifier: GPL-3.0-or-later
// Finding installed data files.
#include "app/data_files.h"

#include <filesystem>
#include <system_error>

namespace fk {

namespace fs = std::filesystem;

std::vector<std::string> installed_data_folders() {
  std::vector<std::string> folders;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && program.has_parent_path())
    folders.push_back((program.parent_path().parent_path() / "share" / "fennick").string());
  folders.emplace_back(FK_DATA_DIR);
  return folders;
}

std::string find_data_file(const std::string& name, const std::vector<std::string>& folders) {
  std::error_code ec;
  if (name.empty()) return {};
  if (name.front() == '/') return fs::is_regular_file(name, ec) ? name : std::string();
  if (fs::is_regular_file(name, ec)) {
    const fs::path here = fs::absolute(name, ec);
    if (!ec) return here.string();
  }
  // A name with a folder in it is the working folder's alone.
  if (name.find('/') != std::string::npos) return {};
  for (const std::string& folder : folders) {
    const fs::path candidate = fs::path(folder) / name;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

}  // namespace fk
