// SPDX-License-Identifier: GPL-3.0-or-later
// A whole session over a group of 1,000,000 generated overview lines: one whole-range XOVER against the
// incremental scan's 100 chunks of 10,000 (with its scan mark rewritten after each chunk).
#include <benchmark/benchmark.h>

#include "bench_engine.h"
#include "server/nntp_test_server.h"
#include "session/session_thread.h"
#include "store/scan_marks.h"
#include "store/text_file.h"

namespace {

constexpr std::int64_t kFirst = 7'000'000'001;
constexpr std::int64_t kLines = 1'000'000;
constexpr const char* kGroup = "alt.binaries.pictures.generated";

void run(benchmark::State& state, bool incremental) {
  fk::bench::BenchEngine e;
  auto content = std::make_shared<fk::test::MemoryContent>();
  // Talk only: every line goes through the selection chain to the subject filter, and no download
  // follows, so the session's time is the scan's.
  content->set_generated_group(kGroup, fk::test::GeneratedGroup{kFirst, kFirst + kLines - 1, 0});
  fk::test::NntpTestServer server(content);
  e.settings.update([&](fk::Settings& s) {
    s.news_server = "127.0.0.1";
    s.port = server.port();
    s.max_art_per_grp = 5000;
    s.incremental_scan = incremental ? 1 : 0;
    s.first_scan_articles = 0;
  });
  fk::replace_file("newsrc", std::string(" ") + kGroup + "\n");
  e.state.subscribed_groups = 1;

  std::int64_t examined = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fk::ScanMarks().forget({kGroup});
    const std::int64_t before = e.state.articles_examined;
    state.ResumeTiming();
    if (fk::SessionThread(e.ctx) != fk::kSessionEnded) {
      state.SkipWithError("session failed");
      return;
    }
    examined += e.state.articles_examined - before;
  }
  if (examined != kLines * state.iterations()) state.SkipWithError("not every line was examined");
  state.SetItemsProcessed(examined);
}

void BM_Session1MWholeRangeXover(benchmark::State& state) {
  run(state, false);
}
void BM_Session1MIn100Chunks(benchmark::State& state) {
  run(state, true);
}
BENCHMARK(BM_Session1MWholeRangeXover)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Session1MIn100Chunks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
