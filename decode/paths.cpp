// SPDX-License-Identifier: GPL-3.0-or-later
// The group folder and file name rules that keep every decoded file inside pictures/.
#include "decode/paths.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "store/header_text.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {
std::string without_leading_dots(std::string s) {
  std::size_t i = s.find_first_not_of('.');
  return i == std::string::npos ? std::string() : s.substr(i);
}
std::string_view extension_of(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool in_list(std::string_view ext, std::initializer_list<std::string_view> list) {
  for (std::string_view e : list)
    if (iequals(ext, e)) return true;
  return false;
}

}  // namespace

bool is_picture_name(std::string_view name) {
  return in_list(extension_of(name),
                 {"jpg", "jpeg", "gif", "png", "webp", "bmp", "tif", "tiff", "avif", "heic", "jxl"});
}

bool has_known_extension(std::string_view name) {
  const std::string_view ext = extension_of(name);
  if (ext.size() == 3 && (ext[0] == 'r' || ext[0] == 'R') && is_digit(ext[1]) && is_digit(ext[2])) return true;
  return is_picture_name(name) ||
         in_list(ext, {"rar", "zip", "7z", "par2", "nfo", "sfv", "nzb", "txt", "mp4", "mkv", "avi"});
}

bool looks_like_picture(std::string_view h) {
  auto at = [&](std::size_t offset, std::string_view magic) { return h.substr(std::min(offset, h.size())).starts_with(magic); };
  using namespace std::string_view_literals;
  return at(0, "\xFF\xD8\xFF"sv) || at(0, "GIF87a"sv) || at(0, "GIF89a"sv) || at(0, "\x89PNG\r\n\x1A\n"sv) ||
         (at(0, "RIFF"sv) && at(8, "WEBP"sv)) || at(0, "BM"sv) || at(0, "II*\0"sv) || at(0, "MM\0*"sv) ||
         at(4, "ftyp"sv) /* AVIF, HEIC and the JPEG XL container */ || at(0, "\xFF\x0A"sv) ||
         at(0, "\0\0\0\x0CJXL \r\n\x87\n"sv);
}

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

std::string shortened_file_name(std::string_view raw) {
  if (raw.size() <= kMaxFileName) return std::string(raw);
  constexpr std::size_t kLongestKept = 8;
  std::string_view ext = extension_of(raw);
  const std::size_t tail = ext.empty() || ext.size() > kLongestKept ? 0 : ext.size() + 1;
  std::string out(cut_utf8(raw, kMaxFileName - tail));
  out.append(raw.substr(raw.size() - tail));
  return out;
}

std::string generated_name(std::int64_t seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "WTF%08llX", static_cast<unsigned long long>(seconds));
  return buf;
}

}  // namespace fk
