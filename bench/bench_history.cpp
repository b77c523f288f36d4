// SPDX-License-Identifier: GPL-3.0-or-later
// Lookups of a full history buffer (32,700 entries): the overview scan asks them for every overview line.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "store/history_buffer.h"

namespace {

std::string message_id(std::mt19937& rng) {
  static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s = "<";
  for (int i = 0; i < 24; ++i) s += chars[rng() % 62];
  s += "@news.example.com>";
  return s;
}

struct Full {
  fk::HistoryBuffer buffer{"/dev/null"};
  std::vector<std::string> present, absent;
  Full() {
    std::mt19937 rng(42);
    for (int i = 0; i < 32700; ++i) {
      std::string id = message_id(rng);
      buffer.add_at_top(id, 32700);
      if (i % 7 == 0) present.push_back(id);
    }
    for (int i = 0; i < 4096; ++i) absent.push_back(message_id(rng));
  }
};

Full& full() {
  static Full f;
  return f;
}

void BM_ExactLookupMiss(benchmark::State& state) {
  auto& f = full();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.buffer.contains_exact(f.absent[i++ & 4095]));
}
BENCHMARK(BM_ExactLookupMiss);

void BM_ExactLookupHit(benchmark::State& state) {
  auto& f = full();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.buffer.contains_exact(f.present[i++ % f.present.size()]));
}
BENCHMARK(BM_ExactLookupHit);

void BM_PrefixLookupMiss(benchmark::State& state) {
  auto& f = full();
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.buffer.contains_prefix(f.absent[i++ & 4095]));
}
BENCHMARK(BM_PrefixLookupMiss);

// Message-ids of overview lines are cut to 49 characters; the full entry must still be found.
void BM_PrefixLookupHitCut(benchmark::State& state) {
  auto& f = full();
  std::vector<std::string> cut;
  for (const auto& id : f.present) cut.push_back(id.substr(0, 30));
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(f.buffer.contains_prefix(cut[i++ % cut.size()]));
}
BENCHMARK(BM_PrefixLookupHitCut);

}  // namespace

BENCHMARK_MAIN();
