// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Line reading and safe whole-file rewriting for the program's plain text files.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace fk {

// Reads a regular file line by line. A line ends at LF, CR LF or a lone CR; the line end is not
// returned. Lines longer than max_line are returned in pieces of max_line characters, so memory stays
// bounded whatever the file holds. Directories, FIFOs and unreadable files do not open.
class LineReader {
 public:
  explicit LineReader(std::size_t max_line = 1 << 20);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }
  void close();
  // Next line or piece into `line`; false at the end of the file. `ended` tells whether a line end
  // followed (false for a piece cut at max_line and for a last line without a line end).
  bool next(std::string& line, bool* ended = nullptr);

 private:
  int get();
  void unget(int c) { pushback_ = c; }

  std::FILE* file_ = nullptr;
  std::size_t max_line_;
  int pushback_ = -1;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, len_ = 0;
};

// True when path names an existing regular file that can be opened for reading.
bool readable_file(const std::string& path);

// Replaces the whole file with `content`: written to a temporary file beside it and renamed over it,
// so a failure leaves the old content in place. `mode` applies when the file is created. Without
// `sync` the content is not flushed to the disk before the rename: a killed process still leaves the
// old or the new file, but a power cut may not.
bool replace_file(const std::string& path, std::string_view content, unsigned mode = 0644, bool sync = true);

// Removes the regular files in dir whose names `matches` accepts (links and folders stay); returns how many.
int remove_files_named(const std::string& dir, const std::function<bool(std::string_view)>& matches);

// Removes the temporary files of replace_file that a crash left in dir ("name.tmp-XXXXXX"); returns how many.
int remove_leftover_replacements(const std::string& dir = ".");

// Appends `text` in one write call (created with `mode` when missing). False when it cannot be opened.
bool append_file(const std::string& path, std::string_view text, unsigned mode = 0644);

// ASCII lower case, and case-insensitive comparisons as the program uses them everywhere.
std::string to_lower(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istarts_with(std::string_view text, std::string_view prefix);
// Leading and trailing white space (space, tab, CR, LF, VT, FF) removed.
std::string_view trim(std::string_view s);

}  // namespace fk
