// SPDX-License-Identifier: GPL-3.0-or-later
// The overview scan: sends XOVER, checks the reply and hands each overview line to the selector.
#include "session/overview_scan.h"

#include <algorithm>
#include <new>
#include <string>

#include "session/article_selection.h"
#include "session/context.h"
#include "session/nntp_client.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace fk {

namespace {

constexpr std::size_t kOverviewCapacity = 50000;

bool is_terminator(int length, const std::string& line) {
  return length == 3 && !line.empty() && line[0] == '.';
}

// The status line of an XOVER: 1 for 224, 0 (logged) for a refusal, -1 when the read failed.
int read_xover_status(EngineContext& ctx, NewsSocket& socket, std::string& line) {
  if (get_socket_string(ctx, line, kOverviewCapacity, socket) == -1) return -1;
  if (reply_status(line) == 224) return 1;
  ctx.log.log_status("XOVER command failed", 0);
  ctx.log.log_status(line, 1);
  return 0;
}

// The next overview line: 1 for a line, 0 at the terminator, -1 when a read failed. A line longer than
// the capacity is read to its end and dropped with one log line: its pieces are no overview lines.
int next_overview_line(EngineContext& ctx, NewsSocket& socket, std::string& line) {
  for (;;) {
    int length = get_socket_string(ctx, line, kOverviewCapacity, socket);
    if (length == -1) return -1;
    if (is_terminator(length, line)) return 0;
    if (!socket.last_line_cut()) return 1;
    bool more = false;
    do {
      if (read_body_line(ctx, socket, line, more) == -1) return -1;
    } while (more);
    ctx.log.log_status("Overview line longer than " + std::to_string(kOverviewCapacity - 1) + " characters skipped",
                       0);
  }
}

bool send_xover(NewsSocket& socket, ArticleRange chunk) {
  return socket.send_line(NntpClient::xover_line(chunk.from, chunk.to));
}

int scan(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
         const std::string& group) {
  std::string line;
  line.reserve(kOverviewCapacity);
  ArticleSelector selector(ctx, group, first, last);
  ctx.pending.clear();

  send_xover(socket, {first, last});
  if (int status = read_xover_status(ctx, socket, line); status != 1) return status;

  const auto& stop = ctx.state.stop_requested;
  for (;;) {
    // A STOP pressed while the last line was examined is one seen between lines, not inside a read.
    if (stop.load()) return 0;
    int got = next_overview_line(ctx, socket, line);
    if (got == -1) return -1;
    if (stop.load() || got == 0) return 0;
    selector.examine(line);
  }
}

// One chunk's overview, its XOVER already sent; the lines go to `selector` until the limit is reached.
// `ahead`, when given, is sent as soon as this chunk's reply has come, so the server streams on without
// waiting for the next command. 1 when the chunk was read to its end, 0 when the scan must end there
// (STOP, refusal, limit), -1 when a read failed.
int scan_chunk(EngineContext& ctx, NewsSocket& socket, std::string& line, ArticleRange chunk,
               std::optional<ArticleRange> ahead, bool& ahead_sent, ArticleSelector& selector,
               SettingsCache& settings, ChunkedScanResult& result) {
  if (int status = read_xover_status(ctx, socket, line); status != 1) return status;
  if (ahead) ahead_sent = send_xover(socket, *ahead);
  const auto& stop = ctx.state.stop_requested;
  for (;;) {
    if (stop.load()) return 0;
    int got = next_overview_line(ctx, socket, line);
    if (got == -1) return -1;
    if (stop.load()) return 0;
    if (got == 0) return result.limit_reached ? 0 : 1;
    // Past the limit the chunk is still read to its end, so the next command meets its own reply.
    if (result.limit_reached) continue;
    if (selector.selected() >= settings.get().max_art_per_grp) {
      result.limit_reached = true;
      continue;
    }
    selector.examine(line);
    ++result.lines;
    // A number outside the chunk (a hostile or confused server) must not carry the mark past it.
    std::int64_t number = std::clamp(leading_number(line), chunk.from, chunk.to);
    if (!result.examined_to || number > *result.examined_to) result.examined_to = number;
  }
}

// Reads and drops the reply to a command sent ahead that the scan no longer wants. -1 when a read failed.
int skip_reply(EngineContext& ctx, NewsSocket& socket, std::string& line) {
  if (get_socket_string(ctx, line, kOverviewCapacity, socket) == -1) return -1;
  if (reply_status(line) != 224) return 0;
  for (;;) {
    int got = next_overview_line(ctx, socket, line);
    if (got != 1) return got;
  }
}

}  // namespace

ChunkedScanResult scan_overview_chunks(EngineContext& ctx, NewsSocket& socket, ArticleRange range,
                                       const std::string& group,
                                       const std::function<void(std::int64_t)>& chunk_done) {
  ChunkedScanResult result;
  try {
    std::string line;
    line.reserve(kOverviewCapacity);
    SettingsCache settings(ctx.settings);
    ArticleSelector selector(ctx, group, range.from, range.to);
    ctx.pending.clear();
    ChunkCursor chunks(range);
    ArticleRange chunk;
    if (!chunks.next(chunk) || ctx.state.stop_requested.load()) return result;
    if (selector.selected() >= settings.get().max_art_per_grp) {
      result.limit_reached = true;
      return result;
    }
    send_xover(socket, chunk);
    for (;;) {
      std::optional<ArticleRange> ahead;
      if (ArticleRange next; chunks.next(next)) ahead = next;
      bool ahead_sent = false;
      int r = scan_chunk(ctx, socket, line, chunk, ahead, ahead_sent, selector, settings, result);
      if (r == -1) {
        result.status = -1;
        break;
      }
      if (r == 1) {
        result.examined_to = chunk.to;
        if (chunk_done) chunk_done(chunk.to);
        if (selector.selected() >= settings.get().max_art_per_grp) {
          result.limit_reached = true;
          r = 0;
        }
      }
      if (!ahead_sent) break;
      if (r == 0) {
        // The request sent ahead is answered anyway; read it off so the next command meets its own
        // reply. After STOP the session ends and closes the connection instead.
        if (!ctx.state.stop_requested.load() && skip_reply(ctx, socket, line) == -1) result.status = -1;
        break;
      }
      chunk = *ahead;
    }
  } catch (const std::bad_alloc&) {
    ctx.log.log_status("fill_articles_listbox() failed malloc", 0);
    result.status = -1;
  }
  return result;
}

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
