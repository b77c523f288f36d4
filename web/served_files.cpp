// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/served_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/text_file.h"

namespace fk {

bool safe_segment(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '.') return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

std::optional<ServedFile> open_served_file(const std::string& root, const std::string& group, const std::string& name) {
  if (!safe_segment(name) || (!group.empty() && !safe_segment(group))) return std::nullopt;
  constexpr int kDir = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd top(::open(root.c_str(), kDir & ~O_NOFOLLOW));
  if (!top) return std::nullopt;
  UniqueFd area(::openat(top.get(), group.empty() ? "unknown" : "pictures", kDir));
  if (!area) return std::nullopt;
  UniqueFd folder;
  if (!group.empty()) {
    folder = UniqueFd(::openat(area.get(), group.c_str(), kDir));
    if (!folder) return std::nullopt;
  }
  const int parent = group.empty() ? area.get() : folder.get();
  // O_NONBLOCK: a FIFO planted in the folder must not hang the reader; it is refused below anyway.
  UniqueFd fd(::openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  ServedFile file;
  file.fd = std::move(fd);
  file.size = static_cast<std::int64_t>(st.st_size);
  file.mtime_s = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  return file;
}

bool read_whole(const ServedFile& file, std::string& out) {
  constexpr std::size_t kStep = 1 << 16;
  out.clear();
  std::size_t have = 0;
  for (;;) {
    out.resize(have + kStep);
    const ssize_t n = ::pread(file.fd.get(), out.data() + have, kStep, static_cast<off_t>(have));
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      out.clear();
      return false;
    }
    have += static_cast<std::size_t>(n);
    if (n == 0) {
      out.resize(have);
      return true;
    }
  }
}

std::string served_content_type(std::string_view name) {
  const std::string lower = to_lower(name);
  auto ends = [&](std::string_view ext) { return lower.ends_with(ext); };
  if (ends(".jpg") || ends(".jpeg") || ends(".jpe")) return "image/jpeg";
  if (ends(".gif")) return "image/gif";
  if (ends(".png")) return "image/png";
  if (ends(".webp")) return "image/webp";
  if (ends(".bmp")) return "image/bmp";
  return "application/octet-stream";
}

}  // namespace fk
