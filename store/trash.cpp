// SPDX-License-Identifier: GPL-3.0-or-later
// Moving a file into the desktop's trash can.
#include "store/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "store/text.h"
#include "store/unique_fd.h"

namespace fk {

namespace {

namespace fs = std::filesystem;

std::string errno_text() { return std::strerror(errno); }

bool make_dir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  return false;
}

bool make_dirs(const std::string& dir) {
  std::error_code ec;
  fs::path p(dir);
  if (p.has_parent_path() && p.parent_path() != p && !fs::exists(p.parent_path(), ec))
    if (!make_dirs(p.parent_path().string())) return false;
  return make_dir(dir);
}

std::string local_stamp(std::time_t now) {
  std::tm t{};
  ::localtime_r(&now, &t);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
  return buf;
}

// The name in the trash: the original, or "stem-N.ext" once that is taken.
std::string candidate(const std::string& name, int n) {
  if (n == 0) return name;
  const std::size_t dot = name.rfind('.');
  const bool has_ext = dot != std::string::npos && dot > 0;
  const std::string stem = has_ext ? name.substr(0, dot) : name;
  const std::string ext = has_ext ? name.substr(dot) : std::string();
  return stem + "-" + std::to_string(n) + ext;
}

// Copies source to target (created exclusively), keeping the modification time, and syncs it.
bool copy_file_synced(const std::string& source, const std::string& target, std::string& error) {
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return error = "cannot read " + source + ": " + errno_text(), false;
  struct stat st {};
  ::fstat(in.get(), &st);
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
  if (out.get() < 0) return error = "cannot create " + target + ": " + errno_text(), false;
  std::string buffer(1 << 16, '\0');
  for (;;) {
    ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return error = "cannot read " + source + ": " + errno_text(), false;
    if (n == 0) break;
    if (!write_all(out.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n))))
      return error = "cannot write " + target + ": " + errno_text(), false;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out.get(), times);
  if (::fsync(out.get()) != 0) return error = "cannot write " + target + ": " + errno_text(), false;
  return true;
}

}  // namespace

std::string home_trash_dir() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share/Trash";
  return {};
}

std::string trash_info_path_value(const std::string& absolute_path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : absolute_path) {
    const bool keep = is_alnum(static_cast<char>(c)) || std::strchr("-_.!~*'()/", c) != nullptr;
    if (keep && c != '\0') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

TrashResult move_to_trash(const std::string& path, const std::string& trash_dir, std::time_t now) {
  TrashResult result;
  if (trash_dir.empty()) return result.error = "no trash folder (neither XDG_DATA_HOME nor HOME is set)", result;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return result.error = path + ": " + errno_text(), result;
  if (S_ISDIR(st.st_mode)) return result.error = path + " is a folder", result;

  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec).lexically_normal();
  if (ec) return result.error = path + ": " + ec.message(), result;
  const std::string files_dir = trash_dir + "/files";
  const std::string info_dir = trash_dir + "/info";
  if (!make_dirs(files_dir) || !make_dirs(info_dir))
    return result.error = "cannot create the trash folder " + trash_dir + ": " + errno_text(), result;

  const std::string name = absolute.filename().string();
  const std::string info = "[Trash Info]\nPath=" + trash_info_path_value(absolute.string()) +
                           "\nDeletionDate=" + local_stamp(now) + "\n";
  for (int n = 0; n < 10000; ++n) {
    const std::string trashed = candidate(name, n);
    const std::string info_path = info_dir + "/" + trashed + ".trashinfo";
    // The info file is made first and exclusively: it claims the name against other programs.
    UniqueFd info_fd(::open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (info_fd.get() < 0) {
      if (errno == EEXIST) continue;
      return result.error = "cannot create " + info_path + ": " + errno_text(), result;
    }
    const std::string target = files_dir + "/" + trashed;
    if (::access(target.c_str(), F_OK) == 0) {
      ::unlink(info_path.c_str());
      continue;
    }
    if (!write_all(info_fd.get(), info) || ::fsync(info_fd.get()) != 0) {
      result.error = "cannot write " + info_path + ": " + errno_text();
      ::unlink(info_path.c_str());
      return result;
    }
    if (::rename(absolute.c_str(), target.c_str()) == 0) {
      result.ok = true;
      result.trashed_as = target;
      return result;
    }
    if (errno == EXDEV && S_ISREG(st.st_mode)) {
      if (copy_file_synced(absolute.string(), target, result.error) && ::unlink(absolute.c_str()) == 0) {
        result.ok = true;
        result.trashed_as = target;
        return result;
      }
      if (result.error.empty()) result.error = "cannot remove " + absolute.string() + ": " + errno_text();
      ::unlink(target.c_str());
    } else {
      result.error = "cannot move " + absolute.string() + " to the trash: " + errno_text();
    }
    ::unlink(info_path.c_str());
    return result;
  }
  result.error = "too many files named " + name + " in the trash";
  return result;
}

}  // namespace fk
