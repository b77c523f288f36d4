// SPDX-License-Identifier: GPL-3.0-or-later
// The group folder and file name rules that keep every decoded file inside pictures/.
#include "decode/paths.h"

#include <cstdio>

#include "store/text.h"

namespace fk {

namespace {
std::string without_leading_dots(std::string s) {
  std::size_t i = s.find_first_not_of('.');
  return i == std::string::npos ? std::string() : s.substr(i);
}
}  // namespace

std::string safe_group_folder(std::string_view group) {
  std::string out;
  out.reserve(group.size());
  for (char c : group) {
    bool bad = c == '/' || c == '\\' || is_control(c);
    out.push_back(bad ? '_' : c);
  }
  out = without_leading_dots(std::move(out));
  if (out.size() > kMaxGroupFolder) out.resize(kMaxGroupFolder);
  return out;
}

std::string group_directory(std::string_view group) {
  std::string folder = safe_group_folder(group);
  return folder.empty() ? std::string("pictures/") : "pictures/" + folder + "/";
}

std::string picture_path(std::string_view group, std::string_view name) {
  std::string path = group_directory(group);
  path += name;
  return path;
}

std::string safe_file_name(std::string_view raw) {
  std::size_t cut = raw.find_last_of("/\\");
  if (cut != std::string_view::npos) raw.remove_prefix(cut + 1);
  std::string out;
  out.reserve(raw.size());
  for (char c : raw) out.push_back(is_control(static_cast<unsigned char>(c)) ? '_' : c);
  out = without_leading_dots(std::move(out));
  if (out.find_first_not_of(' ') == std::string::npos) out.clear();
  return out;
}

std::string generated_name(std::int64_t seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "WTF%08llX", static_cast<unsigned long long>(seconds));
  return buf;
}

}  // namespace fk
