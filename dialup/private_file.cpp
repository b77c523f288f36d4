// SPDX-License-Identifier: GPL-3.0-or-later
// Private temporary files for secrets.
#include "dialup/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "store/unique_fd.h"

namespace fk {

namespace {

// A directory only we may enter: the secret must not be reachable through a shared folder.
bool private_directory(const char* path) {
  struct stat st {};
  return path && path[0] == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

std::string base_directory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (private_directory(runtime)) return runtime;
  const char* tmp = std::getenv("TMPDIR");
  if (tmp && tmp[0] == '/') return tmp;
  return "/tmp";
}

}  // namespace

std::optional<PrivateFile> PrivateFile::create(std::string_view file_name, std::string_view content) {
  if (file_name.empty() || file_name.find('/') != std::string_view::npos) return std::nullopt;
  std::string tmpl = base_directory() + "/fennick-XXXXXX";
  if (!::mkdtemp(tmpl.data())) return std::nullopt;  // mkdtemp makes it 0700
  PrivateFile file(tmpl, tmpl + "/" + std::string(file_name));
  int fd = ::open(file.path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  bool ok = ::fchmod(fd, 0600) == 0 && write_all(fd, content);
  ok = ::close(fd) == 0 && ok;
  if (!ok) return std::nullopt;
  return file;
}

PrivateFile::PrivateFile(PrivateFile&& other) noexcept
    : dir_(std::move(other.dir_)), path_(std::move(other.path_)) {
  other.dir_.clear();
  other.path_.clear();
}

PrivateFile& PrivateFile::operator=(PrivateFile&& other) noexcept {
  if (this != &other) {
    remove();
    dir_ = std::move(other.dir_);
    path_ = std::move(other.path_);
    other.dir_.clear();
    other.path_.clear();
  }
  return *this;
}

PrivateFile::~PrivateFile() {
  remove();
}

void PrivateFile::remove() {
  if (!path_.empty()) ::unlink(path_.c_str());
  if (!dir_.empty()) ::rmdir(dir_.c_str());
  path_.clear();
  dir_.clear();
}

}  // namespace fk
