// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-part sets: a 50 MB picture posted as 100 yEnc articles, each kept (decoded and placed) and the
// set assembled when the last arrives, beside the same 50 MB decoded from one article. The counters say
// how many bytes went through the decoded-file writer per byte of picture.
// Inputs are made once in $FK_BENCH_DIR (default /tmp/fennick-bench).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_files.h"
#include "decode/decoders.h"
#include "decode/parts_store.h"
#include "server/yenc_encoder.h"
#include "store/clock.h"
#include "store/status_log.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPicture = 50 * 1000 * 1000;
constexpr int kParts = 100;
const char kRow[] = "4711\tposter@example.com (Poster)\t3000\tpanorama.jpg yEnc (1/100)\n\n";

using fk::bench::bench_dir;
using fk::bench::payload;

// The 100 part work files and the single-article one, made once.
struct Inputs {
  std::vector<fs::path> parts;
  fs::path whole;
};
const Inputs& inputs() {
  static Inputs in = [] {
    Inputs made;
    const fs::path dir = bench_dir() / "parts-input";
    fs::create_directories(dir);
    const std::string bytes = payload(kPicture);
    for (int k = 1; k <= kParts; ++k) {
      fs::path p = dir / ("part" + std::to_string(k) + ".uue");
      if (!fs::exists(p)) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        std::size_t begin = kPicture * static_cast<std::size_t>(k - 1) / kParts;
        std::size_t end = kPicture * static_cast<std::size_t>(k) / kParts;
        out << kRow << fk::test::yenc_encode_part("panorama.jpg", bytes, k, kParts, begin, end);
      }
      made.parts.push_back(p);
    }
    made.whole = dir / "whole.uue";
    if (!fs::exists(made.whole)) {
      std::ofstream out(made.whole, std::ios::binary | std::ios::trunc);
      out << kRow << fk::test::yenc_encode("panorama.jpg", bytes);
    }
    return made;
  }();
  return in;
}

template <class Body>
void in_work_dir(benchmark::State& state, Body body) {
  fk::bench::DecodeRig rig("parts-work");
  for (auto _ : state) {
    body(rig.decoders, rig.log, rig.clock);
    state.PauseTiming();
    rig.folder.clear_output();
    state.ResumeTiming();
  }
  const double picture_bytes = static_cast<double>(state.iterations()) * static_cast<double>(kPicture);
  state.SetBytesProcessed(static_cast<std::int64_t>(picture_bytes));
  state.counters["written_per_byte"] = static_cast<double>(rig.page_cache.bytes) / picture_bytes;
}

void BM_Set_100Parts_50MB(benchmark::State& state) {
  const Inputs& in = inputs();
  in_work_dir(state, [&](fk::Decoders& decoders, fk::StatusLog& log, fk::Clock& clock) {
    fk::PartsStore store(log, clock, decoders);
    const fk::SetIdentity set{"alt.pictures", "poster@example.com (Poster)", "panorama.jpg", kParts};
    for (int k = 1; k <= kParts; ++k) {
      fk::PartOutcome r = store.keep(in.parts[static_cast<std::size_t>(k - 1)].string(), set,
                                     static_cast<std::uint32_t>(k), "unknown/broken.txt");
      const auto expected = k == kParts ? fk::PartOutcome::Kind::Completed : fk::PartOutcome::Kind::Kept;
      if (r.kind != expected) state.SkipWithError(("part " + std::to_string(k) + ": " + r.message).c_str());
    }
  });
}

void BM_OneArticle_50MB(benchmark::State& state) {
  const Inputs& in = inputs();
  in_work_dir(state, [&](fk::Decoders& decoders, fk::StatusLog&, fk::Clock&) {
    fk::DecodeResult r = decoders.yenc(in.whole.string(), "alt.pictures");
    if (r.status != fk::DecodeStatus::Decoded) state.SkipWithError(r.message.c_str());
  });
}

BENCHMARK(BM_Set_100Parts_50MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_OneArticle_50MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
