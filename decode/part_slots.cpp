// SPDX-License-Identifier: GPL-3.0-or-later
// The record of parts kept from good copies: hashed keys, so no author or subject text reaches the file.
#include "decode/part_slots.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "decode/paths.h"
#include "store/text_file.h"

namespace fk {

namespace {

std::string slot_line(const std::string& key, std::uint32_t part) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : key) h = (h ^ c) * 1099511628211ull;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llx\t%u", static_cast<unsigned long long>(h), part);
  return buf;
}

}  // namespace

PartSlots::PartSlots(std::string root) : root_(std::move(root)) {}

std::string PartSlots::path(const std::string& group) const {
  std::string folder = safe_group_folder(group);
  if (folder.empty()) folder.push_back('_');
  return root_ + "/" + folder + "/slots";
}

void PartSlots::load(const std::string& group) {
  if (loaded_ && loaded_group_ == group) return;
  held_.clear();
  loaded_group_ = group;
  loaded_ = true;
  LineReader in(256);
  if (!in.open(path(group))) return;
  std::string line;
  bool ended = false;
  // A line cut by a crash is no record.
  while (in.next(line, &ended))
    if (ended) held_.insert(line);
}

bool PartSlots::holds(const std::string& group, const std::string& key, std::uint32_t part) {
  load(group);
  return held_.count(slot_line(key, part)) != 0;
}

bool PartSlots::mark(const std::string& group, const std::string& key, std::uint32_t part) {
  load(group);
  std::string line = slot_line(key, part);
  if (held_.count(line)) return true;
  const std::string file = path(group);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
  std::string text = line;
  text.push_back('\n');
  if (!append_file(file, text)) return false;
  held_.insert(std::move(line));
  return true;
}

}  // namespace fk
