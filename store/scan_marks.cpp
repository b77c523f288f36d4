// SPDX-License-Identifier: GPL-3.0-or-later
// The scan marks file: read whole, changed in memory, written back whole.
#include "store/scan_marks.h"

#include <charconv>
#include <mutex>

#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

// The file is small and changed at most once per overview chunk; one lock for the process keeps a
// Rescan in the dialog from being overwritten by a session's read-modify-write.
std::mutex& file_mutex() {
  static std::mutex m;
  return m;
}

bool storable_name(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (c == ' ' || is_control(c)) return false;
  return true;
}

std::map<std::string, std::int64_t> read_marks(const std::string& path) {
  std::map<std::string, std::int64_t> out;
  LineReader in(4096);
  if (!in.open(path)) return out;
  std::string line;
  bool ended = true;
  while (in.next(line, &ended)) {
    // A piece of an overlong line is never a mark.
    if (!ended) {
      while (!ended && in.next(line, &ended)) {
      }
      continue;
    }
    std::string_view text = trim(line);
    std::size_t space = text.find_first_of(" \t");
    if (space == std::string_view::npos) continue;
    std::string name(text.substr(0, space));
    std::string_view number = trim(text.substr(space));
    std::int64_t value = -1;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size() || value < 0) continue;
    if (storable_name(name)) out[name] = value;
  }
  return out;
}

}  // namespace

std::map<std::string, std::int64_t> ScanMarks::all() const {
  std::lock_guard lock(file_mutex());
  return read_marks(file_);
}

std::optional<std::int64_t> ScanMarks::get(const std::string& group) const {
  std::lock_guard lock(file_mutex());
  auto marks = read_marks(file_);
  auto it = marks.find(group);
  if (it == marks.end()) return std::nullopt;
  return it->second;
}

bool ScanMarks::set(const std::string& group, std::int64_t mark) const {
  if (!storable_name(group) || mark < 0) return false;
  std::lock_guard lock(file_mutex());
  auto marks = read_marks(file_);
  auto it = marks.find(group);
  if (it != marks.end() && it->second == mark) return true;
  marks[group] = mark;
  return write(marks);
}

bool ScanMarks::forget(const std::vector<std::string>& groups) const {
  std::lock_guard lock(file_mutex());
  auto marks = read_marks(file_);
  std::size_t dropped = 0;
  for (const auto& g : groups) dropped += marks.erase(g);
  return dropped == 0 || write(marks);
}

bool ScanMarks::write(const std::map<std::string, std::int64_t>& marks) const {
  std::string content;
  for (const auto& [name, mark] : marks)
    content.append(name).append(" ").append(std::to_string(mark)).append("\n");
  // The rename alone keeps a kill from tearing the file; a mark lost to a power cut only costs a rescan,
  // so the marks skip the fsync that would be paid once per overview chunk.
  return replace_file(file_, content, 0644, false);
}

}  // namespace fk
