// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed in MB/s of work-file input: 100 MB uuencoded, base64 and yEnc work files, and one article
// each.
// Inputs are made once in $FK_BENCH_DIR (default /tmp/fennick-bench) and reused by bench/compare-decoders.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_files.h"
#include "decode/decoders.h"
#include "server/yenc_encoder.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBigPayload = 75 * 1000 * 1000;  // encodes to about 100 MB either way
constexpr std::size_t kArticlePayload = 300 * 1000;    // a large picture of one article
constexpr std::size_t kYencPayload = 98 * 1000 * 1000;  // yEnc adds about 2%

using fk::bench::bench_dir;
using fk::bench::payload;

const char kRow[] = "4711\tposter@example.com (Poster)\t1700\tsunset.jpg (1/1)\n\n";

void write_uu(const fs::path& path, std::size_t n) {
  std::string bytes = payload(n);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << kRow << "A picture for you.\n\nbegin 644 sunset.jpg\n";
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string line;
  for (std::size_t i = 0; i < bytes.size(); i += 45) {
    std::size_t len = std::min<std::size_t>(45, bytes.size() - i);
    line.assign(1, enc(static_cast<unsigned>(len)));
    for (std::size_t j = 0; j < len; j += 3) {
      unsigned b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && j + k < len; ++k) b[k] = static_cast<unsigned char>(bytes[i + j + k]);
      line += enc(b[0] >> 2);
      line += enc(((b[0] << 4) | (b[1] >> 4)) & 63);
      line += enc(((b[1] << 2) | (b[2] >> 6)) & 63);
      line += enc(b[2] & 63);
    }
    line += '\n';
    out << line;
  }
  out << "`\nend\n";
}

// The work file, and the bare base64 lines for tools that take nothing else.
void write_b64(const fs::path& path, const fs::path& body_path, std::size_t n) {
  std::string body = fk::base64_encode(payload(n));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::ofstream bare(body_path, std::ios::binary | std::ios::trunc);
  out << kRow << "--=_part\nContent-Type: image/jpeg; name=\"sunset.jpg\"\n"
      << "Content-Transfer-Encoding: base64\n\n";
  for (std::size_t i = 0; i < body.size(); i += 76) {
    std::string_view line(body.data() + i, std::min<std::size_t>(76, body.size() - i));
    out << line << '\n';
    bare << line << '\n';
  }
  out << "--=_part--\n";
}

void write_yenc(const fs::path& path, std::size_t n) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << kRow << "A picture for you.\n\n" << fk::test::yenc_encode("sunset.jpg", payload(n));
}

struct Inputs {
  fs::path uu_big, b64_big, uu_article, b64_article, yenc_big, yenc_article;
  Inputs() {
    fs::path dir = bench_dir();
    uu_big = dir / "uu-work.uue";
    b64_big = dir / "b64-work.uue";
    uu_article = dir / "uu-article.uue";
    b64_article = dir / "b64-article.uue";
    if (!fs::exists(uu_big)) write_uu(uu_big, kBigPayload);
    if (!fs::exists(b64_big) || !fs::exists(dir / "b64-body.txt"))
      write_b64(b64_big, dir / "b64-body.txt", kBigPayload);
    if (!fs::exists(uu_article)) write_uu(uu_article, kArticlePayload);
    if (!fs::exists(b64_article)) write_b64(b64_article, dir / "b64-article-body.txt", kArticlePayload);
    yenc_big = dir / "yenc-work.uue";
    yenc_article = dir / "yenc-article.uue";
    if (!fs::exists(yenc_big)) write_yenc(yenc_big, kYencPayload);
    if (!fs::exists(yenc_article)) write_yenc(yenc_article, kArticlePayload);
  }
};

const Inputs& inputs() {
  static Inputs i;
  return i;
}

// Decodes in a fresh pictures/ folder beside the inputs; the decoded file is removed between runs.
template <class Decode>
void run(benchmark::State& state, const fs::path& input, Decode decode, bool synced = false) {
  fk::bench::DecodeRig rig("work", synced);
  for (auto _ : state) {
    std::string name;
    std::string message = decode(rig.decoders, input.string(), name);
    if (!message.empty()) state.SkipWithError(message.c_str());
    state.PauseTiming();
    rig.folder.clear_output();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(input)));
}

std::string uu(fk::Decoders& d, const std::string& file, std::string& name) {
  return d.uudecode_file(file, "alt.pictures", name);
}
std::string mime(fk::Decoders& d, const std::string& file, std::string& name) {
  return d.mime64_decode(file, "alt.pictures", name);
}

std::string yenc(fk::Decoders& d, const std::string& file, std::string& name) {
  fk::DecodeResult r = d.yenc(file, "alt.pictures");
  name = r.name;
  return r.status == fk::DecodeStatus::Decoded && !r.already_stored ? std::string() : "not decoded: " + r.message;
}

void BM_Uudecode_100MB(benchmark::State& state) {
  run(state, inputs().uu_big, uu);
}
void BM_Mime64_100MB(benchmark::State& state) {
  run(state, inputs().b64_big, mime);
}
void BM_Yenc_100MB(benchmark::State& state) {
  run(state, inputs().yenc_big, yenc);
}
void BM_Yenc_100MB_Synced(benchmark::State& state) {
  run(state, inputs().yenc_big, yenc, true);
}
void BM_Uudecode_Article(benchmark::State& state) {
  run(state, inputs().uu_article, uu);
}
void BM_Mime64_Article(benchmark::State& state) {
  run(state, inputs().b64_article, mime);
}
void BM_Yenc_Article(benchmark::State& state) {
  run(state, inputs().yenc_article, yenc);
}

BENCHMARK(BM_Uudecode_100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Mime64_100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Yenc_100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Yenc_100MB_Synced)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Yenc_Article)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Uudecode_Article)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Mime64_Article)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
