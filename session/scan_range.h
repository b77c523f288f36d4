// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Incremental scans: which articles of a group to read, in which chunks, and how far the mark may move.

#include <cstdint>
#include <optional>
#include <string_view>

namespace fk {

// Articles one XOVER asks for.
inline constexpr std::int64_t kScanChunk = 10000;

// An inclusive range of article numbers; empty when from > to.
struct ArticleRange {
  std::int64_t from = 1;
  std::int64_t to = 0;
  bool empty() const { return from > to; }
  std::int64_t size() const { return empty() ? 0 : to - from + 1; }
};

// Where a scan starts, and why.
enum class ScanStart {
  WholeGroup,  // incremental scans off: the group's whole range
  FirstScan,   // no mark: the newest first_scan_articles (the whole group when that is 0)
  FromMark,    // mark + 1 to the last article
  Renumbered,  // the mark was above the last article; treated as no mark
};

struct ScanPlan {
  ArticleRange range;
  ScanStart start = ScanStart::FirstScan;
};

// The range of an incremental scan of a group numbered first..last. A mark below first - 1 (the server
// expired articles) starts at first; a mark at last gives an empty range; first_scan_articles of 0 or
// less reads the whole group.
ScanPlan plan_incremental_scan(std::optional<std::int64_t> mark, std::int64_t first, std::int64_t last,
                               std::int64_t first_scan_articles);

// Hands out a range in consecutive chunks of at most `chunk` articles.
class ChunkCursor {
 public:
  explicit ChunkCursor(ArticleRange range, std::int64_t chunk = kScanChunk);
  // The next chunk; false when the range is used up.
  bool next(ArticleRange& out);

 private:
  ArticleRange range_;
  std::int64_t chunk_;
  std::int64_t next_;
  bool done_;
};

// The mark a group may be given: what the scan examined, but never at or past an article that is still
// waiting in the pending list, so a broken-off session fetches it next time. Never below `stored`.
std::int64_t allowed_mark(std::int64_t examined_to, std::optional<std::int64_t> lowest_pending,
                          std::optional<std::int64_t> stored);

// The article number of a pending row (its first field).
std::int64_t pending_article_number(std::string_view row);

}  // namespace fk
