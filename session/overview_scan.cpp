// The overview scan: sends XOVER, checks the reply and hands each overview line to the selector.
#include "session/overview_scan.h"

#include <new>
#include <string>

#include "session/article_selection.h"
#include "session/context.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace fk {

namespace {

constexpr std::size_t kOverviewCapacity = 50000;

int scan(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
         const std::string& group) {
  std::string line;
  line.reserve(kOverviewCapacity);
  ArticleSelector selector(ctx, group, first, last);
  ctx.pending.clear();

  socket.send_line("XOVER " + std::to_string(first) + "-" + std::to_string(last) + "\r\n");
  if (get_socket_string(ctx, line, kOverviewCapacity, socket) == -1) return -1;
  if (reply_status(line) != 224) {
    ctx.log.log_status("XOVER command failed", 0);
    ctx.log.log_status(line, 1);
    return 0;
  }

  const auto& stop = ctx.state.stop_requested;
  for (;;) {
    // A STOP pressed while the last line was examined is one seen between lines, not inside a read.
    if (stop.load()) return 0;
    int length = get_socket_string(ctx, line, kOverviewCapacity, socket);
    if (length == -1) return -1;
    if (stop.load()) return 0;
    if (length == 3 && !line.empty() && line[0] == '.') return 0;
    if (socket.last_line_cut()) {
      // The pieces of an overlong line are no overview lines of their own: the whole line goes.
      bool more = false;
      do {
        if (read_body_line(ctx, socket, line, more) == -1) return -1;
      } while (more);
      ctx.log.log_status("Overview line longer than " + std::to_string(kOverviewCapacity - 1) +
                             " characters skipped",
                         0);
      continue;
    }
    selector.examine(line);
  }
}

}  // namespace

int fill_articles_listbox(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
                          const std::string& group) {
  try {
    return scan(ctx, socket, first, last, group);
  } catch (const std::bad_alloc&) {
    ctx.log.log_status("fill_articles_listbox() failed malloc", 0);
    return -1;
  }
}

}  // namespace fk
