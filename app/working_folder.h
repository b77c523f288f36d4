// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One instance per working folder, and only in a folder it can write.

#include <string>

namespace fk {

inline constexpr const char* kLockFileName = "fennick.lock";

// Held for the program's lifetime: an exclusive lock on the lock file of the current directory. Two
// instances in one folder would fetch everything twice and overwrite each other's work file.
class WorkingFolderClaim {
 public:
  enum class Result { Claimed, NotWritable, AlreadyRunning };

  WorkingFolderClaim() = default;
  ~WorkingFolderClaim();
  WorkingFolderClaim(const WorkingFolderClaim&) = delete;
  WorkingFolderClaim& operator=(const WorkingFolderClaim&) = delete;

  // Checks that a file can be created, written and removed in the current directory, then takes the
  // lock without waiting. Anything but Claimed comes with message(), a sentence for the user.
  Result claim();
  const std::string& message() const { return message_; }

 private:
  int fd_ = -1;
  std::string message_;
};

}  // namespace fk
