// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// HTTP spoken by hand to a server on 127.0.0.1: requests exactly as written (hostile paths, huge
// headers), and streams read as they come. Every read is bounded in time.

#include <chrono>
#include <string>
#include <string_view>

#include "store/unique_fd.h"

namespace fk::test {

// A connection to 127.0.0.1:port.
class RawHttp {
 public:
  explicit RawHttp(int port);
  bool connected() const { return static_cast<bool>(fd_); }
  bool send(std::string_view bytes);
  // Reads until `marker` has arrived (returns everything read so far, marker included), the peer
  // closed, or `limit` passed.
  std::string read_until(std::string_view marker, std::chrono::milliseconds limit = std::chrono::seconds(5));
  void close() { fd_.reset(); }

 private:
  UniqueFd fd_;
  std::string buffer_;
};

struct RawResponse {
  int status = 0;
  std::string head;  // status line and headers
  std::string body;
  // A header's value (name compared without regard to case), or empty.
  std::string header(std::string_view name) const;
};

// One request (the request line's target as given, plus `extra_headers`, each ending in \r\n) with
// Connection: close; the whole answer.
RawResponse raw_get(int port, std::string_view target, std::string_view extra_headers = {},
                    std::string_view method = "GET", std::string_view body = {});

}  // namespace fk::test
