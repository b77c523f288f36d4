// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog's list work: load, subscribe, unsubscribe, "^" and defaults on a 30,000-group
// newsrc; load, save and the filter at a real server's size (300,000 to 1,000,000 groups).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "app/group_lists.h"
#include "common/temp_dir.h"
#include "server/news_content.h"
#include "store/clock.h"

namespace {

constexpr std::size_t kGroups = 30000;

// Names shaped like a real listing: a hierarchy, mixed letter case, 10 to 60 characters.
std::vector<std::string> server_names() {
  static const char* heads[] = {"alt.binaries.", "Alt.Binaries.", "comp.", "rec.", "de.", "sci.", "alt.sex."};
  std::mt19937 rng(3);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < kGroups; ++i) {
    std::string s = heads[rng() % 7];
    std::size_t len = 5 + rng() % 50;
    for (std::size_t k = 0; k < len; ++k) s += static_cast<char>('a' + rng() % 26);
    if (i % 97 == 0) s += ".pictures";
    out.push_back(s);
  }
  return out;
}

fk::GroupLists all_unsubscribed() {
  fk::GroupLists lists;
  lists.unsubscribed = server_names();
  std::sort(lists.unsubscribed.begin(), lists.unsubscribed.end(), fk::group_name_less);
  return lists;
}

std::vector<std::size_t> every(std::size_t step, std::size_t size) {
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < size; i += step) out.push_back(i);
  return out;
}

void BM_LoadNewsrc30000(benchmark::State& state) {
  fk::test::TempDir dir;
  fk::GroupLists lists = all_unsubscribed();
  std::rotate(lists.unsubscribed.begin(), lists.unsubscribed.begin() + 12345, lists.unsubscribed.end());
  fk::subscribe(lists, every(30, lists.unsubscribed.size()));
  fk::save_group_lists(lists, nullptr);
  fk::SystemClock clock;
  for (auto _ : state) {
    fk::GroupLists loaded;
    fk::load_group_lists(loaded, nullptr, clock);
    benchmark::DoNotOptimize(loaded.unsubscribed.data());
  }
}
BENCHMARK(BM_LoadNewsrc30000)->Unit(benchmark::kMillisecond);

void BM_SubscribeAll30000(benchmark::State& state) {
  const fk::GroupLists start = all_unsubscribed();
  for (auto _ : state) {
    state.PauseTiming();
    fk::GroupLists lists = start;
    auto selected = every(1, lists.unsubscribed.size());
    state.ResumeTiming();
    fk::subscribe(lists, std::move(selected));
  }
}
BENCHMARK(BM_SubscribeAll30000)->Unit(benchmark::kMillisecond);

void BM_UnsubscribeAll30000(benchmark::State& state) {
  fk::GroupLists start;
  start.subscribed = server_names();
  for (auto _ : state) {
    state.PauseTiming();
    fk::GroupLists lists = start;
    auto selected = every(1, lists.subscribed.size());
    state.ResumeTiming();
    fk::unsubscribe(lists, std::move(selected));
  }
}
BENCHMARK(BM_UnsubscribeAll30000)->Unit(benchmark::kMillisecond);

void BM_Unsubscribe1000Into29000(benchmark::State& state) {
  fk::GroupLists start = all_unsubscribed();
  fk::subscribe(start, every(30, start.unsubscribed.size()));
  for (auto _ : state) {
    state.PauseTiming();
    fk::GroupLists lists = start;
    auto selected = every(1, lists.subscribed.size());
    state.ResumeTiming();
    fk::unsubscribe(lists, std::move(selected));
  }
}
BENCHMARK(BM_Unsubscribe1000Into29000)->Unit(benchmark::kMillisecond);

void BM_MoveToTop3000Of30000(benchmark::State& state) {
  fk::GroupLists start;
  start.subscribed = server_names();
  for (auto _ : state) {
    state.PauseTiming();
    fk::GroupLists lists = start;
    auto selected = every(10, lists.subscribed.size());
    state.ResumeTiming();
    fk::move_to_top(lists, std::move(selected));
  }
}
BENCHMARK(BM_MoveToTop3000Of30000)->Unit(benchmark::kMillisecond);

void BM_PickDefaults30000(benchmark::State& state) {
  const fk::GroupLists start = all_unsubscribed();
  fk::SystemClock clock;
  for (auto _ : state) {
    state.PauseTiming();
    fk::GroupLists lists = start;
    state.ResumeTiming();
    benchmark::DoNotOptimize(fk::pick_defaults(lists, nullptr, clock));
  }
}
BENCHMARK(BM_PickDefaults30000)->Unit(benchmark::kMillisecond);

// The test server's generated listing, sorted as the dialog keeps it; every 30th group subscribed.
fk::GroupLists large_lists(std::size_t count) {
  fk::GroupLists lists;
  lists.unsubscribed.reserve(count);
  for (std::size_t i = 0; i < count; ++i) lists.unsubscribed.push_back(fk::test::generated_group_name(i));
  std::sort(lists.unsubscribed.begin(), lists.unsubscribed.end(), fk::group_name_less);
  fk::subscribe(lists, every(30, lists.unsubscribed.size()));
  return lists;
}

void BM_LoadNewsrc(benchmark::State& state) {
  fk::test::TempDir dir;
  fk::save_group_lists(large_lists(static_cast<std::size_t>(state.range(0))), nullptr);
  fk::SystemClock clock;
  for (auto _ : state) {
    fk::GroupLists loaded;
    fk::load_group_lists(loaded, nullptr, clock);
    benchmark::DoNotOptimize(loaded.unsubscribed.data());
  }
}
BENCHMARK(BM_LoadNewsrc)->Arg(300000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SaveNewsrc(benchmark::State& state) {
  fk::test::TempDir dir;
  const fk::GroupLists lists = large_lists(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(fk::save_group_lists(lists, nullptr));
}
BENCHMARK(BM_SaveNewsrc)->Arg(300000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_CountSubscribed(benchmark::State& state) {
  fk::test::TempDir dir;
  fk::save_group_lists(large_lists(static_cast<std::size_t>(state.range(0))), nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(fk::count_subscribed_groups());
}
BENCHMARK(BM_CountSubscribed)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One keystroke of the filter field: the unsubscribed list of 300,000 narrowed.
void BM_Filter300000(benchmark::State& state, const char* text) {
  const fk::GroupLists lists = large_lists(300000);
  const fk::GroupFilter filter(text);
  fk::ShownGroups shown;
  for (auto _ : state) {
    shown.update(lists.unsubscribed, filter);
    benchmark::DoNotOptimize(shown.size());
  }
}
BENCHMARK_CAPTURE(BM_Filter300000, substring, "binaries.pictures")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Filter300000, wildcard, "*pictures.n1234?")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
