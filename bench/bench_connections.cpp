// SPDX-License-Identifier: GPL-3.0-or-later
// Several connections: a whole fast session (login, GROUP, XOVER, every body, decoding, histories,
// files.log) harvesting 500 yEnc pictures from the in-process test server, which caps each connection's
// rate as providers do. `BM_Harvest/<connections>/<cap in MB/s>`.
#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <memory>
#include <optional>

#include "bench_engine.h"
#include "server/nntp_test_server.h"
#include "server/yenc_encoder.h"
#include "session/session_thread.h"
#include "store/newsrc.h"

namespace {

constexpr const char* kGroup = "alt.binaries.pictures.capped";
constexpr int kArticles = 500;
constexpr std::size_t kPictureBytes = 20'000;

struct Corpus {
  std::shared_ptr<fk::test::MemoryContent> content = std::make_shared<fk::test::MemoryContent>();
  std::unique_ptr<fk::test::NntpTestServer> server;
  std::int64_t body_bytes = 0;

  explicit Corpus(std::int64_t cap_bytes_per_second) {
    for (int i = 0; i < kArticles; ++i) {
      fk::test::ServerArticle a;
      std::string name = std::to_string(i);  // piecewise: g++ 12 warns falsely on an operator+ chain
      name.insert(0, 1, 'c');
      name += ".jpg";
      a.overview.subject = name;
      a.overview.subject += " (1/1)";
      a.body = fk::test::yenc_encode(name, fk::test::picture_bytes(kPictureBytes, static_cast<unsigned>(i + 1)));
      body_bytes += static_cast<std::int64_t>(a.body.size());
      content->add_article(kGroup, std::move(a));
    }
    fk::test::ServerOptions options;
    options.listen_ipv6 = false;
    options.rate_per_connection = cap_bytes_per_second;
    server = std::make_unique<fk::test::NntpTestServer>(content, options);
  }
};

Corpus& corpus(int cap_mb) {
  static std::map<int, std::unique_ptr<Corpus>> corpora;
  auto& c = corpora[cap_mb];
  if (!c) c = std::make_unique<Corpus>(std::int64_t{cap_mb} * 1'000'000);
  return *c;
}

void BM_Harvest(benchmark::State& state) {
  const int connections = static_cast<int>(state.range(0));
  Corpus& c = corpus(static_cast<int>(state.range(1)));
  std::int64_t filed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::optional<fk::bench::BenchEngine> e;
    e.emplace();
    e->settings.update([&](fk::Settings& s) {
      s.news_server = "127.0.0.1";
      s.port = c.server->port();
      s.fast_transfers = 1;
      s.connections = connections;
      s.pipeline_depth = 8;
      s.unattended_operation = 1;
      s.check_minlines = 0;
      s.max_art_per_grp = 100000;
      s.max_history = 32700;
      s.max_filenames = 32700;
    });
    std::ofstream(fk::kNewsrc) << " " << kGroup << "\n";
    e->state.subscribed_groups = 1;
    state.ResumeTiming();
    fk::SessionThread(e->ctx);
    state.PauseTiming();
    filed += e->state.pictures_downloaded.load();
    e.reset();
    state.ResumeTiming();
  }
  if (filed != static_cast<std::int64_t>(kArticles) * state.iterations())
    state.SkipWithError("not every picture was filed");
  const double n = static_cast<double>(kArticles) * static_cast<double>(state.iterations());
  state.counters["articles_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.counters["MB_per_s"] = benchmark::Counter(
      static_cast<double>(c.body_bytes) * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Harvest)
    ->Args({1, 2})
    ->Args({2, 2})
    ->Args({4, 2})
    ->Args({8, 2})
    ->Args({1, 10})
    ->Args({8, 10})
    ->Args({1, 1000})
    ->Args({8, 1000})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
