// SPDX-License-Identifier: GPL-3.0-or-later
// Range, chunk and mark arithmetic of incremental scans, kept apart from the socket.
#include "session/scan_range.h"

#include <algorithm>
#include <limits>

#include "session/article_selection.h"

namespace fk {

ScanPlan plan_incremental_scan(std::optional<std::int64_t> mark, std::int64_t first, std::int64_t last,
                               std::int64_t first_scan_articles) {
  ScanPlan plan;
  if (mark && *mark > last) {
    plan.start = ScanStart::Renumbered;
    mark.reset();
  }
  if (mark) {
    plan.start = ScanStart::FromMark;
    // Nothing new: an empty range that still says where the group ends.
    if (*mark >= last)
      plan.range =
          last < std::numeric_limits<std::int64_t>::max() ? ArticleRange{last + 1, last} : ArticleRange{};
    else
      plan.range = {std::max(first, *mark + 1), last};
    return plan;
  }
  if (plan.start != ScanStart::Renumbered) plan.start = ScanStart::FirstScan;
  std::int64_t from = first;
  // last - n + 1 without overflow for any last and any positive n.
  if (first_scan_articles > 0 && last >= std::numeric_limits<std::int64_t>::min() + (first_scan_articles - 1))
    from = std::max(first, last - first_scan_articles + 1);
  plan.range = {from, last};
  return plan;
}

ChunkCursor::ChunkCursor(ArticleRange range, std::int64_t chunk)
    : range_(range), chunk_(std::max<std::int64_t>(chunk, 1)), next_(range.from), done_(range.empty()) {}

bool ChunkCursor::next(ArticleRange& out) {
  if (done_) return false;
  std::int64_t to = range_.to;
  if (range_.to - next_ >= chunk_) to = next_ + chunk_ - 1;
  out = {next_, to};
  if (to == range_.to)
    done_ = true;
  else
    next_ = to + 1;
  return true;
}

std::int64_t allowed_mark(std::int64_t examined_to, std::optional<std::int64_t> lowest_pending,
                          std::optional<std::int64_t> stored) {
  std::int64_t mark = examined_to;
  if (lowest_pending && *lowest_pending != std::numeric_limits<std::int64_t>::min())
    mark = std::min(mark, *lowest_pending - 1);
  if (stored) mark = std::max(mark, *stored);
  return mark;
}

std::int64_t pending_article_number(std::string_view row) {
  return leading_number(row.substr(0, row.find('\t')));
}

}  // namespace fk
