// Block-buffered work-file reading and exclusive, buffered creation of decoded files.
#include "decode/work_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fk {

namespace {
constexpr std::size_t kReadBlock = 1 << 20;
// Enough for the longest piece any decoder asks for, plus the line end.
constexpr std::size_t kMaxPiece = 4096;
// How far "stem-N.ext" counts before a name is given up as taken.
constexpr int kMaxSuffix = 9999;

bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string with_suffix(const std::string& name, int n) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "-" + std::to_string(n);
  return name.substr(0, dot) + "-" + std::to_string(n) + name.substr(dot);
}
}  // namespace

bool UniqueFd::reset(int fd) {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;
  fd_ = fd;
  return ok;
}

UniqueFd open_regular_for_read(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return fd;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
  return fd;
}

WorkFileReader::WorkFileReader() : buf_(std::make_unique<char[]>(kReadBlock + kMaxPiece)) {}

bool WorkFileReader::open(const std::string& path) {
  fd_ = open_regular_for_read(path);
  pos_ = end_ = 0;
  eof_ = !fd_;
  return static_cast<bool>(fd_);
}

void WorkFileReader::fill(std::size_t want) {
  if (end_ - pos_ >= want || eof_) return;
  if (pos_ > 0) {
    std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  const std::size_t capacity = kReadBlock + kMaxPiece;
  while (end_ < want && !eof_) {
    ssize_t n = ::read(fd_.get(), buf_.get() + end_, capacity - end_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A read error ends the input like the end of the file does.
      eof_ = true;
      break;
    }
    end_ += static_cast<std::size_t>(n);
  }
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
    fill(1);
    if (pos_ == end_) return false;
    const char c = buf_[pos_];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f') break;
    ++pos_;
  }
  std::size_t budget = kReaderPiece;
  bool text_ended = false;
  while (budget > 0) {
    fill(1);
    if (pos_ == end_) {
      line_ended_ = false;
      return line_loaded_ = true;
    }
    const char* start = buf_.get() + pos_;
    const std::size_t span = std::min(end_ - pos_, budget);
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', span));
    const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : span;
    if (!text_ended) {
      std::size_t text = 0;
      while (text < n && start[text] != '\r' && start[text] != '\0') ++text;
      line_.append(start, text);
      text_ended = text < n;
    }
    pos_ += n + (lf ? 1 : 0);
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
  fill(limit + 1);
  const std::size_t avail = end_ - pos_;
  if (avail == 0) return false;
  const char* start = buf_.get() + pos_;
  const auto* nl = static_cast<const char*>(std::memchr(start, '\n', std::min(avail, limit + 1)));
  if (nl) {
    std::size_t raw = static_cast<std::size_t>(nl - start);
    std::size_t len = (raw > 0 && start[raw - 1] == '\r') ? raw - 1 : raw;
    if (len + 1 <= limit) {
      piece = {std::string_view(start, len), true, false};
      pos_ += raw + 1;
      return true;
    }
  }
  if (avail >= limit) {
    piece = {std::string_view(start, limit), false, false};
    pos_ += limit;
    return true;
  }
  // fill() stops short of limit + 1 characters only at the end of the file.
  piece = {std::string_view(start, avail), false, true};
  pos_ = end_;
  return true;
}

OutputFile::OutputFile() : buf_(std::make_unique<char[]>(kCapacity)) {}

bool OutputFile::create(const std::string& dir, const std::string& name, std::string& used) {
  close();
  for (int n = 0; n <= kMaxSuffix; ++n) {
    std::string candidate = n == 0 ? name : with_suffix(name, n);
    std::string path = dir + candidate;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
      fd_.reset(fd);
      used_ = 0;
      failed_ = false;
      used = std::move(candidate);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

void OutputFile::flush() {
  if (used_ > 0 && fd_ && !failed_) failed_ = !write_all(fd_.get(), buf_.get(), used_);
  used_ = 0;
}

bool OutputFile::close() {
  if (!fd_) return true;
  flush();
  bool ok = fd_.reset() && !failed_;
  failed_ = false;
  return ok;
}

}  // namespace fk
