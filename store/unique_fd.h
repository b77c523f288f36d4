// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File descriptors: ownership, opening a file safely for reading, and writing a whole buffer.

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace fk {

// Owns a file descriptor; closes it when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; false when close reported an error (a lost write).
  bool reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Opens an existing regular file for reading; FIFOs, devices and directories are refused without blocking.
UniqueFd open_regular_for_read(const std::string& path);

// Writes all of data, retrying short writes and EINTR; false with errno set when a write failed.
bool write_all(int fd, std::string_view data);

// The loop of write_all around a caller's call that behaves like write(2) (a test's full disk, say).
// Returns how many bytes went out: all of data, or fewer with errno set (EIO when a call wrote nothing).
template <class Write>
std::size_t write_all_with(std::string_view data, Write&& write) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace fk
