// SPDX-License-Identifier: GPL-3.0-or-later
// fk.log and files.log writers.
#include "store/status_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "store/clock.h"
#include "store/settings.h"
#include "store/text_file.h"

namespace fk {

namespace {
constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kPrefixes[4] = {"", "+---", "+-------", "+-----------"};
}  // namespace

std::string log_time_stamp(const std::tm& t) {
  char buf[64];
  int wday = (t.tm_wday % 7 + 7) % 7;
  int mon = (t.tm_mon % 12 + 12) % 12;
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", kDays[wday], kMonths[mon], t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buf;
}

void StatusLog::log_status(std::string_view message, int level) const {
  if (settings_.read([](const Settings& s) { return s.status_logging_enabled; }) == 0) return;
  if (level > 3) level = 3;
  if (level < 0) level = 0;
  std::string line;
  if (message.empty()) {
    line = "\n";
  } else {
    line = log_time_stamp(clock_.local_now());
    line += "  ";
    line += kPrefixes[level];
    line += " - ";
    line += message;
    line += '\n';
  }
  std::lock_guard lock(mutex_);
  append_file(path_, line);
}

void StatusLog::start_new_run() const {
  std::lock_guard lock(mutex_);
  ::rename(path_.c_str(), (path_ + ".1").c_str());
}

std::string files_log_line(std::string_view name, std::int64_t size, std::string_view description) {
  if (description.size() > 199) description = description.substr(0, 199);
  std::string n(name);
  if (n.size() < 20) n.insert(0, 20 - n.size(), ' ');
  std::string sz = std::to_string(size);
  if (sz.size() < 8) sz.insert(0, 8 - sz.size(), ' ');
  std::string line = n + "\t " + sz + "\t ";
  line += description;
  line += '\n';
  return line;
}

std::optional<std::string> files_log_author(const std::string& log_path, std::string_view name) {
  std::optional<std::string> found = files_log_description(log_path, name);
  if (found) found->resize(std::min(found->size(), found->find('\t')));
  return found;
}

std::optional<std::string> files_log_description(const std::string& log_path, std::string_view name) {
  // The name column is right-aligned with blanks, so leading blanks never belong to the name.
  auto without_padding = [](std::string_view s) {
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
  };
  const std::string_view wanted = without_padding(name);
  if (wanted.empty()) return std::nullopt;
  LineReader reader;
  if (!reader.open(log_path)) return std::nullopt;
  std::optional<std::string> found;
  std::string line;
  while (reader.next(line)) {
    const std::size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos || without_padding(std::string_view(line).substr(0, tab1)) != wanted) continue;
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    std::string_view rest = std::string_view(line).substr(tab2 + 1);
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    found = std::string(rest);  // later lines are newer
  }
  return found;
}

std::int64_t measured_file_size(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  if (::access(path.c_str(), R_OK) != 0) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

bool DownloadLog::append(std::string_view name, std::int64_t size, std::string_view description) const {
  if (settings_.read([](const Settings& s) { return s.files_logging_enabled; }) == 0) return true;
  return append_file(path_, files_log_line(name, size, description));
}

}  // namespace fk
