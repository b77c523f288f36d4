#include "store/unique_fd.h"

#include <unistd.h>

namespace fk {

bool UniqueFd::reset(int fd) {
  bool ok = true;
  if (fd_ >= 0) ok = ::close(fd_) == 0;
  fd_ = fd;
  return ok;
}

bool write_all(int fd, std::string_view data) {
  return write_all_with(data, [fd](const char* p, std::size_t n) { return ::write(fd, p, n); }) == data.size();
}

}  // namespace fk
