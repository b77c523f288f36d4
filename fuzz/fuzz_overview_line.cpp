// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the overview-line path: split, the eleven tests, file names and dates, through ArticleSelector.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/null_view.h"
#include "session/article_selection.h"

namespace {

using fk::test::NullDialogs;
using fk::test::NullView;

class FixedClock final : public fk::Clock {
 public:
  std::int64_t now() const override { return 1796616668; }
  std::tm local_now() const override {
    std::time_t t = 1796616668;
    std::tm out{};
    gmtime_r(&t, &out);
    return out;
  }
  std::int64_t uptime_ms() const override { return 0; }
  void sleep_ms(std::int64_t) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);

  fk::Settings s;
  s.status_logging_enabled = 0;  // the verdict lines are still built, but no fk.log grows
  s.detailed_status_logging_enabled = 1;
  s.check_date = flags & 1;
  s.check_minlines = flags & 2;
  s.check_maxlines = flags & 4;
  s.check_subject = flags & 8;
  s.max_art_per_grp = flags >> 4;
  s.minlines = 1;
  fk::SharedSettings settings(s);
  fk::SessionState state;
  FixedClock clock;
  fk::StatusLog log(settings, clock);
  fk::DownloadLog files_log(settings);
  NullView view;
  NullDialogs dialogs;
  fk::PendingQueue pending;
  // Journals go to /dev/null so that a long run leaves no files behind.
  static fk::HistoryBuffer ids("/dev/null"), names("/dev/null"), bozos("/dev/null");
  static const bool filled = [] {
    ids.add_at_top("<m1@x>", 10);
    names.add_at_top("b.gif", 10);
    bozos.add_at_top("joe <joe@x>", 10);
    return true;
  }();
  (void)filled;
  fk::Decoders decoders{log, clock};
  fk::StatvfsDiskSpace disk;
  fk::EngineContext ctx{settings, state, log, files_log, clock, view, dialogs, pending, ids, names, bozos, decoders, disk};
  fk::ArticleSelector selector(ctx, "fuzz.group", 1, 1000);

  // Each input line is one overview line; accepted ones meet the later lines in the pending queue.
  std::size_t start = 0;
  while (start <= in.size()) {
    std::size_t end = in.find('\n', start);
    std::string_view line =
        in.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    fk::OverviewLine f = fk::split_overview_line(line);
    fk::ExtractFilename(line, &log);
    if (auto d = fk::parse_article_date(f.date))
      fk::is_too_old(d->day, d->month, d->year, 30, clock.local_now());
    selector.examine(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return 0;
}
