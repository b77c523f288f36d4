// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The overview scan: XOVER for a group's whole range, every line through the selection chain.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "session/scan_range.h"

namespace fk {

struct EngineContext;
class NewsSocket;

// Empties the pending queue, asks for the overview of first..last and appends every article that
// ArticleSelector accepts. -1 when a read failed (a closed connection, or STOP seen inside a read) or
// memory ran out ("fill_articles_listbox() failed malloc"); 0 otherwise: the overview was read to its
// end, the server refused XOVER ("XOVER command failed" and the reply), or STOP was seen between two
// lines (the rest of the overview stays unread).
int fill_articles_listbox(EngineContext& ctx, NewsSocket& socket, std::int64_t first, std::int64_t last,
                          const std::string& group);

// What a chunked scan did.
struct ChunkedScanResult {
  int status = 0;                           // as fill_articles_listbox: -1 for a failed read, else 0
  std::int64_t lines = 0;                   // overview lines examined
  std::optional<std::int64_t> examined_to;  // every line up to here was examined; nothing when none
  bool limit_reached = false;  // max_art_per_grp articles were selected; the rest was not examined
};

// The incremental scan of `range`: empties the pending queue and asks for the overview one chunk of
// kScanChunk articles at a time, through one ArticleSelector. After each whole chunk `chunk_done` gets
// the chunk's last number. Stops once max_art_per_grp articles are selected (the rest of that chunk is
// read and dropped), at STOP, at a refused XOVER, or when a read fails.
ChunkedScanResult scan_overview_chunks(EngineContext& ctx, NewsSocket& socket, ArticleRange range,
                                       const std::string& group,
                                       const std::function<void(std::int64_t)>& chunk_done);

}  // namespace fk
