// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

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

bool write_all(int fd, std::string_view data) {
  return write_all_with(data, [fd](const char* p, std::size_t n) { return ::write(fd, p, n); }) == data.size();
}

}  // namespace fk
