// SPDX-License-Identifier: GPL-3.0-or-later
// Profile-file reader and writer.
#include "store/profile_file.h"

#include <optional>
#include <vector>

#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::size_t kMaxFile = 16 << 20;  // a settings file is tiny; refuse to slurp anything huge

struct Line {
  std::string_view text;  // without its line end
  std::size_t begin;      // offset of the line in the file
  std::size_t end;        // offset just past its line end
};

std::optional<std::string> read_file(const std::string& path) {
  LineReader probe;
  if (!probe.open(path)) return std::nullopt;
  probe.close();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  std::string data;
  char buf[8192];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    data.append(buf, n);
    if (data.size() > kMaxFile) break;
  }
  std::fclose(f);
  if (data.size() > kMaxFile) data.resize(kMaxFile);
  return data;
}

std::vector<Line> split_lines(std::string_view data) {
  std::vector<Line> lines;
  // A byte-order mark some editors put first is no part of the first line; a rewrite keeps it.
  std::size_t i = data.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  while (i < data.size()) {
    std::size_t start = i;
    while (i < data.size() && data[i] != '\n' && data[i] != '\r') ++i;
    std::size_t text_end = i;
    if (i < data.size()) {
      if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
        i += 2;
      else
        ++i;
    }
    lines.push_back({data.substr(start, text_end - start), start, i});
  }
  return lines;
}

// "[name]" -> name; nullopt when the line is no section header.
std::optional<std::string_view> section_name(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(t.substr(1, close - 1));
}

struct KeyValue {
  std::string_view key, value;
};

std::optional<KeyValue> key_value(std::string_view line) {
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view key = trim(line.substr(0, eq));
  if (key.empty() || key.front() == ';') return std::nullopt;
  return KeyValue{key, trim(line.substr(eq + 1))};
}

struct Found {
  bool section = false;
  std::size_t section_end_line = 0;  // index of the first line after the section's last line
  std::optional<std::size_t> key_line;
  std::string_view value;
};

Found find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Found f;
  bool in_section = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = section_name(lines[i].text)) {
      if (in_section) return f;  // the first matching section only
      in_section = iequals(*name, section);
      if (in_section) {
        f.section = true;
        f.section_end_line = i + 1;
      }
      continue;
    }
    if (!in_section) continue;
    if (!trim(lines[i].text).empty()) f.section_end_line = i + 1;
    if (f.key_line) continue;
    if (auto kv = key_value(lines[i].text); kv && iequals(kv->key, key)) {
      f.key_line = i;
      f.value = kv->value;
    }
  }
  return f;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string_view line_end_of(std::string_view data) {
  return data.find("\r\n") != std::string_view::npos ? std::string_view("\r\n") : std::string_view("\n");
}

}  // namespace

std::string ProfileFile::get_string(std::string_view section, std::string_view key, std::string_view fallback,
                                    std::size_t buffer_size) const {
  std::string value(fallback);
  if (auto data = read_file(path_)) {
    auto lines = split_lines(*data);
    Found f = find(lines, section, key);
    if (f.key_line) value = std::string(unquote(f.value));
  }
  std::size_t cap = buffer_size == 0 ? 0 : buffer_size - 1;
  if (value.size() > cap) value.resize(cap);
  return value;
}

std::optional<std::string> ProfileFile::get_value(std::string_view section, std::string_view key) const {
  auto data = read_file(path_);
  if (!data) return std::nullopt;
  auto lines = split_lines(*data);
  Found f = find(lines, section, key);
  if (!f.key_line) return std::nullopt;
  return std::string(unquote(f.value));
}

std::int32_t parse_profile_int(std::string_view text) {
  // Wraps like a 32-bit register.
  return static_cast<std::int32_t>(read_decimal(trim(text), NumberForm::Signed).wrapped<std::uint32_t>());
}

std::int32_t ProfileFile::get_int(std::string_view section, std::string_view key, std::int32_t fallback) const {
  auto data = read_file(path_);
  if (!data) return fallback;
  auto lines = split_lines(*data);
  Found f = find(lines, section, key);
  if (!f.key_line) return fallback;
  return parse_profile_int(unquote(f.value));
}

bool ProfileFile::write_string(std::string_view section, std::string_view key, std::string_view value) const {
  std::string data = read_file(path_).value_or(std::string());
  auto lines = split_lines(data);
  std::string_view nl = line_end_of(data);
  Found f = find(lines, section, key);
  // A line end inside a value would forge further keys; it cannot be stored, so it becomes a blank.
  std::string entry = std::string(key) + "=" + std::string(value);
  for (char& c : entry)
    if (c == '\n' || c == '\r') c = ' ';
  std::string out;
  out.reserve(data.size() + entry.size() + section.size() + 8);
  if (f.key_line) {
    const Line& l = lines[*f.key_line];
    out.append(data, 0, l.begin);
    out += entry;
    out.append(data, l.begin + l.text.size());
  } else if (f.section) {
    std::size_t at = f.section_end_line < lines.size() ? lines[f.section_end_line].begin : data.size();
    out.append(data, 0, at);
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += nl;
    out += entry;
    out += nl;
    out.append(data, at);
  } else {
    out = data;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += nl;
    out += "[";
    out += section;
    out += "]";
    out += nl;
    out += entry;
    out += nl;
  }
  return replace_file(path_, out, 0600);
}

bool write_profile_int(const ProfileFile& file, std::string_view section, std::string_view key,
                       std::int32_t value) {
  return file.write_string(section, key, std::to_string(value));
}

}  // namespace fk
