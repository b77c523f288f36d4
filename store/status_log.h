// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status log fk.log and the download log files.log.

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace fk {

class Clock;
class SharedSettings;

// The fixed 24-character stamp "Sun Dec 07 04:11:08 1997" of a local time.
std::string log_time_stamp(const std::tm& local);

// fk.log: one time-stamped, indented line per call, on disk when the call returns. Lines of several
// threads never interleave. Consults status_logging_enabled for every line.
class StatusLog {
 public:
  StatusLog(const SharedSettings& settings, const Clock& clock, std::string path = "fk.log")
      : settings_(settings), clock_(clock), path_(std::move(path)) {}

  // Level 0 "", 1 "+---", 2 "+-------", 3 and above "+-----------". An empty message writes a bare
  // line end. Failures to write are silent.
  void log_status(std::string_view message, int level) const;
  // Start of a run: the previous run's log becomes <path>.1 (replacing an older one), so its last
  // failure survives this start. When the rename fails the new lines follow the old ones.
  void start_new_run() const;
  const std::string& path() const { return path_; }

 private:
  const SharedSettings& settings_;
  const Clock& clock_;
  std::string path_;
  mutable std::mutex mutex_;
};

// One files.log line: "%20s\t %8ld\t %s\n" with the description cut to 199 characters.
std::string files_log_line(std::string_view name, std::int64_t size, std::string_view description);

// The author column of the newest files.log line recorded for `name` (as written, untrimmed), or
// nullopt when no line names it or the log cannot be read. Names are compared whole, case and all.
std::optional<std::string> files_log_author(const std::string& log_path, std::string_view name);
// The whole description of that line: the author, a tab and the subject.
std::optional<std::string> files_log_description(const std::string& log_path, std::string_view name);

// Size of the file at path, 0 when it cannot be opened.
std::int64_t measured_file_size(const std::string& path);

// files.log. append() writes nothing when files_logging_enabled is off; it returns false only when
// the file could not be opened (the caller logs "ERROR: File Open files.log - Append 009").
class DownloadLog {
 public:
  explicit DownloadLog(const SharedSettings& settings, std::string path = "files.log")
      : settings_(settings), path_(std::move(path)) {}
  bool append(std::string_view name, std::int64_t size, std::string_view description) const;
  const std::string& path() const { return path_; }

 private:
  const SharedSettings& settings_;
  std::string path_;
};

}  // namespace fk
