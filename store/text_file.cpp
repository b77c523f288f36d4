// SPDX-License-Identifier: GPL-3.0-or-later
// Line reading and safe rewriting of text files.
#include "store/text_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/text.h"
#include "store/unique_fd.h"

namespace fk {

namespace {
constexpr std::size_t kBlock = 64 * 1024;

}  // namespace

LineReader::LineReader(std::size_t max_line) : max_line_(max_line == 0 ? 1 : max_line) {}

LineReader::~LineReader() { close(); }

bool LineReader::open(const std::string& path) {
  close();
  UniqueFd fd = open_regular_for_read(path);
  if (!fd) return false;
  file_ = ::fdopen(fd.get(), "rb");
  if (!file_) return false;
  fd.release();  // the stream owns it now
  if (!buf_) buf_ = std::make_unique<char[]>(kBlock);
  pos_ = len_ = 0;
  pushback_ = -1;
  return true;
}

void LineReader::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

int LineReader::get() {
  if (pushback_ >= 0) {
    int c = pushback_;
    pushback_ = -1;
    return c;
  }
  if (pos_ == len_) {
    if (!file_) return -1;
    len_ = std::fread(buf_.get(), 1, kBlock, file_);
    pos_ = 0;
    if (len_ == 0) return -1;
  }
  return static_cast<unsigned char>(buf_[pos_++]);
}

bool LineReader::next(std::string& line, bool* ended) {
  line.clear();
  if (ended) *ended = false;
  if (!file_) return false;
  for (;;) {
    int c = get();
    if (c < 0) return !line.empty();
    if (c == '\n') {
      if (ended) *ended = true;
      return true;
    }
    if (c == '\r') {
      int d = get();
      if (d >= 0 && d != '\n') unget(d);
      if (ended) *ended = true;
      return true;
    }
    line.push_back(static_cast<char>(c));
    if (line.size() >= max_line_) return true;
  }
}

bool readable_file(const std::string& path) {
  return static_cast<bool>(open_regular_for_read(path));
}

bool replace_file(const std::string& path, std::string_view content, unsigned mode, bool sync) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    mode = st.st_mode & 07777;
  }
  std::string tmp = path + ".tmp-XXXXXX";
  UniqueFd fd(::mkstemp(tmp.data()));
  if (!fd) return false;
  bool ok = ::fchmod(fd.get(), mode) == 0 && write_all(fd.get(), content) && (!sync || ::fsync(fd.get()) == 0);
  ok = fd.reset() && ok;
  if (ok && ::rename(tmp.c_str(), path.c_str()) == 0) return true;
  ::unlink(tmp.c_str());
  return false;
}

int remove_files_named(const std::string& dir, const std::function<bool(std::string_view)>& matches) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  int removed = 0;
  while (const dirent* e = ::readdir(d)) {
    std::string_view name = e->d_name;
    if (!matches(name)) continue;
    std::string path = dir + "/" + std::string(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(d);
  return removed;
}

int remove_leftover_replacements(const std::string& dir) {
  constexpr std::string_view kMark = ".tmp-";
  return remove_files_named(dir, [&](std::string_view name) {
    // mkstemp's six characters after the mark, and something before it.
    return name.size() > kMark.size() + 6 && name.substr(name.size() - 6 - kMark.size(), kMark.size()) == kMark;
  });
}

bool append_file(const std::string& path, std::string_view text, unsigned mode) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, mode));
  if (!fd) return false;
  struct stat st {};
  return ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && write_all(fd.get(), text);
}

std::string to_lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

bool istarts_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && iequals(text.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && is_space(s[b])) ++b;
  while (e > b && is_space(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace fk
