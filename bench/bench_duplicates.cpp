// SPDX-License-Identifier: GPL-3.0-or-later
// The duplicate search over a harvest whose hashes are indexed: reading PICHASH.FNK and grouping.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "app/duplicates.h"

namespace {

// n pictures with unrelated shapes, every tenth a near copy (a few bits off) of another and every
// fiftieth the same bytes as another.
std::vector<fk::PictureHash> harvest(std::size_t n) {
  std::mt19937_64 random(42);
  std::vector<fk::PictureHash> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    fk::PictureHash h{"pictures/alt.binaries.pictures.g" + std::to_string(i % 40) + "/picture" + std::to_string(i) +
                          ".jpg",
                      static_cast<std::int64_t>(100000 + random() % 900000), 1700000000000000000LL + static_cast<std::int64_t>(i),
                      random(), random(), 640 * 480, 0x808080};
    if (i >= 10 && i % 10 == 0) h.shape = out[i - 7].shape ^ (1ULL << (random() % 64)) ^ (1ULL << (random() % 64));
    if (i >= 50 && i % 50 == 0) {
      h.content = out[i - 3].content;
      h.size = out[i - 3].size;
    }
    out.push_back(std::move(h));
  }
  return out;
}

void BM_FindDuplicates(benchmark::State& state) {
  const auto pictures = harvest(static_cast<std::size_t>(state.range(0)));
  std::size_t groups = 0;
  for (auto _ : state) {
    auto found = fk::find_duplicates(pictures);
    groups = found.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(BM_FindDuplicates)->Arg(20000)->Unit(benchmark::kMillisecond);

// What a press of Ctrl+D costs once every picture is indexed: the index read, then the grouping.
void BM_IndexedSearch(benchmark::State& state) {
  const std::string file = "bench-pichash.fnk";
  {
    fk::PictureHashIndex index;
    for (auto& h : harvest(static_cast<std::size_t>(state.range(0)))) index.put(std::move(h));
    if (!index.save(file)) state.SkipWithError("cannot write the index");
  }
  for (auto _ : state) {
    fk::PictureHashIndex index;
    index.load(file);
    auto found = fk::find_duplicates(index.entries());
    benchmark::DoNotOptimize(found);
  }
  std::remove(file.c_str());
}
BENCHMARK(BM_IndexedSearch)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
