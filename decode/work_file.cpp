// SPDX-License-Identifier: GPL-3.0-or-later
// Block-buffered work-file reading and exclusive, buffered creation of decoded files.
#include "decode/work_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "store/picture_folders.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {
// Enough for the longest piece any decoder asks for, plus the line end.
constexpr std::size_t kMaxPiece = 4096;
// How far "stem-N.ext" counts before a name is given up as taken.
constexpr int kMaxSuffix = 9999;

std::string with_suffix(const std::string& name, int n) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "-" + std::to_string(n);
  return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}
}  // namespace

bool BlockReader::open(const std::string& path) {
  fd_ = open_regular_for_read(path);
  if (!buf_) buf_ = std::make_unique<unsigned char[]>(2 * kBlock);
  pos_ = end_ = 0;
  eof_ = !fd_;
  return static_cast<bool>(fd_);
}

bool BlockReader::fill(std::size_t want) {
  if (end_ - pos_ >= want) return true;
  if (!eof_) {
    std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < want && !eof_) {
      ssize_t n = ::read(fd_.get(), buf_.get() + end_, 2 * kBlock - end_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) eof_ = true;
      else end_ += static_cast<std::size_t>(n);
    }
  }
  return end_ > pos_;
}

bool BlockReader::line(std::string& out, std::size_t max) {
  out.clear();
  if (!fill(1)) return false;
  for (;;) {
    const auto* start = data();
    const auto* nl = static_cast<const unsigned char*>(std::memchr(start, '\n', available()));
    std::size_t take = nl ? static_cast<std::size_t>(nl - start) : available();
    if (out.size() < max) out.append(reinterpret_cast<const char*>(start), std::min(take, max - out.size()));
    advance(nl ? take + 1 : take);
    if (nl || !fill(kBlock)) break;
  }
  if (!out.empty() && out.back() == '\r') out.pop_back();
  return true;
}

bool BlockReader::skip_line() {
  while (fill(1)) {
    const auto* nl = static_cast<const unsigned char*>(std::memchr(data(), '\n', available()));
    if (nl) {
      advance(static_cast<std::size_t>(nl - data()) + 1);
      return true;
    }
    advance(available());
  }
  return false;
}

bool BlockReader::line_starts_with(std::string_view prefix) {
  fill(prefix.size());
  return available() >= prefix.size() && std::memcmp(data(), prefix.data(), prefix.size()) == 0;
}

bool WorkFileReader::next(std::size_t limit, Piece& piece) {
  if (habits_ && raw_lines_ >= 2) return next_habit(limit, piece);
  if (!next_raw(limit, piece)) return false;
  if (piece.ended) ++raw_lines_;
  return true;
}

bool WorkFileReader::load_habit_line() {
  constexpr std::size_t kReaderPiece = 511;  // bytes the reader took at most before it cut a line
  line_.clear();
  line_pos_ = 0;
  for (;;) {
    if (!in_.fill(1)) return false;
    if (!is_space(in_.chars()[0])) break;
    in_.advance(1);
  }
  std::size_t budget = kReaderPiece;
  bool text_ended = false;
  while (budget > 0) {
    if (!in_.fill(1)) {
      line_ended_ = false;
      return line_loaded_ = true;
    }
    const char* start = in_.chars();
    const std::size_t span = std::min(in_.available(), budget);
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', span));
    const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : span;
    if (!text_ended) {
      std::size_t text = 0;
      while (text < n && start[text] != '\r' && start[text] != '\0') ++text;
      line_.append(start, text);
      text_ended = text < n;
    }
    in_.advance(n + (lf ? 1 : 0));
    if (lf) break;
    budget -= n;
  }
  line_ended_ = true;
  return line_loaded_ = true;
}

bool WorkFileReader::next_habit(std::size_t limit, Piece& piece) {
  limit = std::clamp<std::size_t>(limit, 1, kMaxPiece - 1);
  if (!line_loaded_ && !load_habit_line()) return false;
  std::string_view rest = std::string_view(line_).substr(line_pos_);
  if (line_ended_ && rest.size() + 1 <= limit) {
    piece = {rest, true, false};
    line_loaded_ = false;
    return true;
  }
  if (rest.size() >= limit) {
    piece = {rest.substr(0, limit), false, false};
    line_pos_ += limit;
    return true;
  }
  line_loaded_ = false;
  if (rest.empty()) return false;
  piece = {rest, false, true};
  return true;
}

bool WorkFileReader::next_raw(std::size_t limit, Piece& piece) {
  limit = std::clamp<std::size_t>(limit, 1, kMaxPiece - 1);
  in_.fill(limit + 1);
  const std::size_t avail = in_.available();
  if (avail == 0) return false;
  const char* start = in_.chars();
  const auto* nl = static_cast<const char*>(std::memchr(start, '\n', std::min(avail, limit + 1)));
  if (nl) {
    std::size_t raw = static_cast<std::size_t>(nl - start);
    std::size_t len = (raw > 0 && start[raw - 1] == '\r') ? raw - 1 : raw;
    if (len + 1 <= limit) {
      piece = {std::string_view(start, len), true, false};
      in_.advance(raw + 1);
      return true;
    }
  }
  if (avail >= limit) {
    piece = {std::string_view(start, limit), false, false};
    in_.advance(limit);
    return true;
  }
  // fill() stops short of limit + 1 characters only at the end of the file.
  piece = {std::string_view(start, avail), false, true};
  in_.advance(avail);
  return true;
}

ssize_t FileWriter::write(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}

int FileWriter::sync(int fd) {
  return ::fdatasync(fd);
}

FileWriter& system_file_writer() {
  static FileWriter writer;
  return writer;
}

bool is_disk_error(int err) {
  switch (err) {
    case ENOSPC: case EDQUOT: case EROFS: case EACCES: case EPERM: case EIO: case EFBIG: case ENOENT:
    case ENOTDIR:
      return true;
    default:
      return false;
  }
}

OutputFile::OutputFile(FileWriter& writer) : writer_(writer), buf_(std::make_unique<char[]>(kCapacity)) {}

void OutputFile::fail(int err) {
  if (!failed_) error_ = err != 0 ? err : EIO;
  failed_ = true;
}

bool OutputFile::create(const std::string& dir, const std::string& name) {
  discard();
  used_ = 0;
  written_ = 0;
  failed_ = false;
  error_ = 0;
  head_.clear();
  filed_ = Filed::Picture;
  if (name.empty() || name.size() > NAME_MAX) {
    error_ = ENAMETOOLONG;
    return false;
  }
  std::string temp = dir + kPictureTempPrefix + "XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  fd_.reset(fd);
  ::fchmod(fd, 0644);
  dir_ = dir;
  name_ = name;
  temp_path_ = std::move(temp);
  return true;
}

void OutputFile::flush() {
  if (written_ == 0 && head_.empty()) head_.assign(buf_.get(), std::min(used_, kPictureHead));
  if (used_ > 0 && fd_ && !failed_) {
    const int fd = fd_.get();
    const std::size_t n = write_all_with({buf_.get(), used_}, [&](const char* data, std::size_t size) {
      ssize_t w = writer_.write(fd, data, size);
      // A file write that takes nothing means the disk is full.
      if (w == 0) errno = ENOSPC;
      return w == 0 ? ssize_t{-1} : w;
    });
    written_ += n;
    if (n < used_) fail(errno);
  }
  used_ = 0;
}

void OutputFile::discard() {
  fd_.reset();
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  used_ = 0;
}

namespace {
// Both files hold the same bytes.
bool same_content(const std::string& a, const std::string& b) {
  UniqueFd fa = open_regular_for_read(a), fb = open_regular_for_read(b);
  if (!fa || !fb) return false;
  constexpr std::size_t kBlock = 256 * 1024;
  auto ba = std::make_unique<char[]>(kBlock), bb = std::make_unique<char[]>(kBlock);
  for (;;) {
    ssize_t na = ::read(fa.get(), ba.get(), kBlock);
    if (na < 0) return false;
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(na)) {
      ssize_t nb = ::read(fb.get(), bb.get() + got, static_cast<std::size_t>(na) - got);
      if (nb <= 0) return false;
      got += static_cast<std::size_t>(nb);
    }
    if (std::memcmp(ba.get(), bb.get(), got) != 0) return false;
    if (na == 0) return ::read(fb.get(), bb.get(), 1) == 0;
  }
}

// Moves temp to path unless path exists; errno EEXIST when it does.
bool move_no_replace(const std::string& temp, const std::string& path) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: a hard link cannot replace either.
  if (::link(temp.c_str(), path.c_str()) != 0) return false;
  ::unlink(temp.c_str());
  return true;
}
}  // namespace

bool OutputFile::finish(std::string& used, bool& existed) {
  existed = false;
  if (!fd_) return false;
  flush();
  if (!failed_ && writer_.sync(fd_.get()) != 0) fail(errno);
  if (!fd_.reset()) fail(EIO);
  if (failed_) {
    discard();
    return false;
  }
  final_dir_ = dir_;
  if (!unknown_dir_.empty()) {
    if (written_ == 0) {
      discard();
      filed_ = Filed::Nothing;
      used.clear();
      return true;
    }
    if (written_ < kMinFiledBytes || (is_picture_name(name_) && !looks_like_picture(head_))) {
      if (!keep_unknown_) {
        discard();
        filed_ = Filed::Nothing;
        used.clear();
        return true;
      }
      filed_ = Filed::Unknown;
      final_dir_ = unknown_dir_;
      if (::mkdir(unknown_dir_.substr(0, unknown_dir_.size() - 1).c_str(), 0755) != 0 && errno != EEXIST) {
        fail(errno);
        discard();
        return false;
      }
    }
  }
  for (int n = 0; n <= kMaxSuffix; ++n) {
    std::string candidate = n == 0 ? name_ : with_suffix(name_, n);
    std::string path = final_dir_ + candidate;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) == written_ &&
          same_content(path, temp_path_)) {
        discard();
        used = std::move(candidate);
        existed = true;
        return true;
      }
      continue;
    }
    if (move_no_replace(temp_path_, path)) {
      temp_path_.clear();
      used = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) {
      fail(errno);
      break;
    }
  }
  if (!failed_) fail(EEXIST);
  discard();
  return false;
}

int remove_leftover_picture_temps(const std::string& pictures_dir) {
  auto is_temp = [](std::string_view name) { return name.starts_with(kPictureTempPrefix); };
  int removed = remove_files_named(pictures_dir, is_temp);
  for (const std::string& group : list_sub_folders(pictures_dir))
    removed += remove_files_named(pictures_dir + "/" + group, is_temp);
  return removed;
}

}  // namespace fk
