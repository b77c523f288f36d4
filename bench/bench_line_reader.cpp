// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the news line reader on overview-sized and body-sized lines over a local socket.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "common/engine_harness.h"
#include "session/transport.h"
#include "store/unique_fd.h"

namespace {

std::string payload(int lines, std::size_t width) {
  std::string out;
  for (int i = 0; i < lines; ++i) {
    std::string line =
        std::to_string(100000 + i) + "\tSubject of a picture " + std::to_string(i) + ".jpg (1/1)\t";
    line.resize(width, 'x');
    out += line + "\r\n";
  }
  return out;
}

void read_lines(benchmark::State& state, std::size_t width, std::size_t capacity) {
  fk::test::EngineHarness h;
  const int kLines = 2000;
  const std::string data = payload(kLines, width);
  std::string line;
  for (auto _ : state) {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) {
      state.SkipWithError("socketpair");
      return;
    }
    std::thread writer([&] {
      fk::write_all(sv[1], data);
      ::close(sv[1]);
    });
    fk::NewsSocket sock(sv[0]);
    for (int i = 0; i < kLines; ++i)
      benchmark::DoNotOptimize(fk::get_socket_string(h.ctx, line, capacity, sock));
    writer.join();
  }
  state.SetItemsProcessed(state.iterations() * kLines);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

void BM_OverviewLines(benchmark::State& state) {
  read_lines(state, 300, 50000);
}
void BM_BodyLines(benchmark::State& state) {
  read_lines(state, 61, 512);
}
BENCHMARK(BM_OverviewLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
