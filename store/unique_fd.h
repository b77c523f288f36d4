#pragma once
// File descriptors: ownership, and writing a whole buffer.

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

// Writes all of data, retrying short writes and EINTR; false with errno set when a write failed.
bool write_all(int fd, std::string_view data);

}  // namespace fk
