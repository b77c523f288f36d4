// SPDX-License-Identifier: GPL-3.0-or-later
// The working folder's write check and its instance lock.
#include "app/working_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "store/unique_fd.h"

namespace fk {

namespace {

std::string current_folder() {
  std::error_code ec;
  auto path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

// An empty string when a file can be created, written and removed here; otherwise why not.
std::string write_problem() {
  const std::string probe = ".fennick-write-check-" + std::to_string(::getpid());
  UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd) return std::strerror(errno);
  std::string problem;
  if (!write_all(fd.get(), "x") || ::fsync(fd.get()) != 0) problem = std::strerror(errno);
  if (!fd.reset() && problem.empty()) problem = std::strerror(errno);
  if (::unlink(probe.c_str()) != 0 && problem.empty()) problem = std::strerror(errno);
  return problem;
}

}  // namespace

WorkingFolderClaim::~WorkingFolderClaim() {
  // The file stays: removing it would let a third instance lock a new file while a second waits on
  // the old one.
  if (fd_ >= 0) ::close(fd_);
}

WorkingFolderClaim::Result WorkingFolderClaim::claim() {
  const std::string folder = current_folder();
  if (std::string problem = write_problem(); !problem.empty()) {
    message_ = "Fennick cannot write to its working folder " + folder + " (" + problem +
               "). Choose a folder you may write to.";
    return Result::NotWritable;
  }
  int fd = ::open(kLockFileName, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) fd = ::open(kLockFileName, O_RDONLY | O_CLOEXEC);  // another user's lock file locks as well
  if (fd < 0) {
    message_ = "Fennick cannot open its lock file " + std::string(kLockFileName) + " in " + folder + " (" +
               std::strerror(errno) + ").";
    return Result::NotWritable;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      ::close(fd);
      message_ = "Fennick is already running in this folder (" + folder + "). Only one may run in a folder.";
      return Result::AlreadyRunning;
    }
    // A file system without locks (some network mounts) should not keep the program from running.
  }
  fd_ = fd;
  return Result::Claimed;
}

}  // namespace fk
