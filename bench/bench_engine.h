// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An engine context for benchmarks: a view and dialogs that do nothing, the fake clock (fixed waits cost
// nothing), plenty of disk, and a fresh working folder.

#include "common/engine_bundle.h"
#include "common/null_view.h"
#include "common/temp_dir.h"
#include "session/nntp_client.h"
#include "session/transport.h"

namespace fk::bench {

struct BenchEngine : test::BasicEngine<test::NullView, test::NullDialogs> {
  test::TempDir dir;

  // Connects to the news_server setting, takes the greeting and selects the group; false on any failure.
  bool open_group(NewsSocket& sock, const std::string& group) {
    std::string reply;
    if (connect_news_server(ctx, sock) != 0 || get_socket_string(ctx, reply, 511, sock) < 0) return false;
    sock.send_line("group " + group + "\r\n");
    return get_socket_string(ctx, reply, 511, sock) > 0;
  }
};

}  // namespace fk::bench
