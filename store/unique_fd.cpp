#include "store/unique_fd.h"

#include <unistd.h>

#include <cerrno>

namespace fk {

bool UniqueFd::reset(int fd) {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;
  fd_ = fd;
  return ok;
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace fk
