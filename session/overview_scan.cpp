// STUB to be replaced: an overview scan that sends XOVER, reads to the end and selects nothing.
#include "session/overview_scan.h"

#include "session/context.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace fk {

int fill_articles_listbox(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
                          const std::string& group) {
  (void)group;
  ctx.pending.clear();
  socket.send_line("XOVER " + std::to_string(first) + "-" + std::to_string(last) + "\r\n");
  std::string line;
  if (get_socket_string(ctx, line, 50000, socket) == -1) return -1;
  if (reply_status(line) != 224) {
    ctx.log.log_status("XOVER command failed", 0);
    ctx.log.log_status(line, 1);
    return 0;
  }
  for (;;) {
    int n = get_socket_string(ctx, line, 50000, socket);
    if (n == -1) return -1;
    if (ctx.state.stop_requested.load()) return 0;
    if (n == 3 && line == ".") return 0;
  }
}

}  // namespace fk
