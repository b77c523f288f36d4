// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared rig of the fuzz targets that play a news server: an engine that shows nothing, settings with
// the status log off, a check that aborts, and server bytes fed into a socketpair by a thread of their own.

#include <sys/socket.h>

#include <cstdlib>
#include <string_view>
#include <thread>

#include "common/engine_bundle.h"
#include "common/null_view.h"
#include "store/settings.h"
#include "store/unique_fd.h"

namespace fk::fuzz {

using Engine = test::BasicEngine<test::NullView, test::NullDialogs>;

// Settings that keep a fuzz run from writing a status log.
inline Settings quiet_settings() {
  Settings s;
  s.status_logging_enabled = 0;
  return s;
}

inline void require(bool ok) {
  if (!ok) std::abort();
}

// Writes `bytes` (which must outlive the feed) into one end of a socketpair from a thread and then closes that end. Whatever the
// reader sends back is never read: the close ends its writes with an error, not a wait. Declare the
// feed before the socket that takes read_fd(), so that the socket closes before the writer is joined.
class ServerFeed {
 public:
  explicit ServerFeed(std::string_view bytes) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return;
    read_fd_ = sv[0];
    writer_ = std::thread([fd = sv[1], bytes] {
      UniqueFd end(fd);
      write_all(fd, bytes);
    });
  }
  ~ServerFeed() {
    if (writer_.joinable()) writer_.join();
  }
  ServerFeed(const ServerFeed&) = delete;
  ServerFeed& operator=(const ServerFeed&) = delete;

  // The reading end, for the caller to own; -1 when no socketpair could be made.
  int read_fd() const { return read_fd_; }

 private:
  int read_fd_ = -1;
  std::thread writer_;
};

}  // namespace fk::fuzz
