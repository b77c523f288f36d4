// SPDX-License-Identifier: GPL-3.0-or-later
// End to end: a 200,000-line XOVER from the test server over 127.0.0.1 through the overview scan.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "bench_engine.h"
#include "server/nntp_test_server.h"
#include "session/overview_scan.h"
#include "session/transport.h"

namespace {

constexpr std::int64_t kLines = 200'000;
constexpr const char* kGroup = "alt.binaries.pictures.bench";

// Realistic overview lines: single-part pictures, multi-part posts, replies, spam and old postings.
std::shared_ptr<fk::test::MemoryContent> make_content(std::int64_t now) {
  auto content = std::make_shared<fk::test::MemoryContent>();
  std::mt19937 rng(7);
  for (std::int64_t n = 1; n <= kLines; ++n) {
    fk::test::ServerArticle a;
    auto& o = a.overview;
    o.number = 3'500'000'000 + n;
    std::string k = std::to_string(n);
    switch (rng() % 6) {
      case 0:
      case 1:
        o.subject = "holiday_" + k + ".jpg (1/1)";
        break;
      case 2:
        o.subject =
            "[" + k + "/50] - \"archive.part" + k + ".rar\" yEnc (1/" + std::to_string(rng() % 90 + 2) + ")";
        break;
      case 3:
        o.subject = "Re: holiday_" + std::to_string(rng() % kLines) + ".jpg (1/1)";
        break;
      case 4:
        o.subject = "FREE pictures every day at http://spam.invalid/" + k + " (1/1) .jpg";
        break;
      default:
        o.subject = "Sunset over the lake, taken with an old camera - lake_" + k + ".gif (01/01)";
    }
    o.author = "poster" + std::to_string(rng() % 5000) + " <p@example.net>";
    o.date = fk::test::rfc_date(now - static_cast<std::int64_t>(rng() % (400 * 86400)));
    o.message_id = "<part" + k + ".x7Kq2@news.example.com>";
    o.references = rng() % 4 == 0 ? "<parent" + k + "@news.example.com>" : "";
    o.bytes = 40000 + static_cast<std::int64_t>(rng() % 300000);
    o.lines = 100 + static_cast<std::int64_t>(rng() % 8000);
    o.xref = "news.example.com " + std::string(kGroup) + ":" + std::to_string(o.number);
    content->add_article(kGroup, std::move(a));
  }
  return content;
}

// The whole XOVER answer as the server sends it.
std::string xover_answer(const fk::test::MemoryContent& content) {
  std::string out = "224 Overview information follows\r\n";
  for (const auto& o : content.overview(kGroup, 0, INT64_MAX)) {
    out += std::to_string(o.number) + '\t' + o.subject + '\t' + o.author + '\t' + o.date + '\t' +
           o.message_id + '\t' + o.references + '\t' + std::to_string(o.bytes) + '\t' +
           std::to_string(o.lines) + '\t' + o.xref + "\r\n";
  }
  return out + ".\r\n";
}

// prebuilt: the server sends a ready answer, so only the engine's side (and the socket) is measured;
// otherwise the test server builds the answer from its store for every XOVER, as a news server would.
void run(benchmark::State& state, bool prebuilt) {
  fk::bench::BenchEngine e;
  auto content = make_content(e.clock.now());
  fk::test::NntpTestServer server(content);
  if (prebuilt) server.add_fault({"XOVER", 0, fk::test::FaultAction::Reply, xover_answer(*content)});
  e.settings.update([&](fk::Settings& s) {
    s.max_art_per_grp = 5000;
    s.news_server = "127.0.0.1";
    s.port = server.port();
  });
  fk::NewsSocket sock;
  if (!e.open_group(sock, kGroup)) {
    state.SkipWithError("no connection to the test server");
    return;
  }

  const std::int64_t first = 3'500'000'001, last = first + kLines - 1;
  std::int64_t examined = 0;
  for (auto _ : state) {
    const std::int64_t before = e.state.articles_examined;
    if (fk::fill_articles_listbox(e.ctx, sock, first, last, kGroup) != 0) {
      state.SkipWithError("scan failed");
      return;
    }
    examined += e.state.articles_examined - before;
  }
  if (examined != kLines * state.iterations()) state.SkipWithError("not every line was examined");
  state.SetItemsProcessed(examined);
  state.counters["selected"] = static_cast<double>(e.pending.count());
}

void BM_Xover200k(benchmark::State& state) {
  run(state, false);
}
void BM_Xover200kPrebuiltAnswer(benchmark::State& state) {
  run(state, true);
}
BENCHMARK(BM_Xover200k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Xover200kPrebuiltAnswer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
