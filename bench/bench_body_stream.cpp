// SPDX-License-Identifier: GPL-3.0-or-later
// Article bodies from the test server over 127.0.0.1 through the article loop: a 50 MB body streamed
// into temp.uue, and the engine's own cost of one ordinary picture article.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "bench_engine.h"
#include "server/nntp_test_server.h"
#include "session/article_loop.h"
#include "session/transport.h"

namespace {

constexpr const char* kGroup = "alt.binaries.pictures.bench";

std::string random_bytes(std::size_t n) {
  std::mt19937 rng(3);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

// The BODY answer on the wire: dot-stuffed CR LF lines and the terminator.
std::string wire_answer(const std::string& body) {
  std::string out = "222 1 <big@bench.invalid> body follows\r\n";
  out.reserve(body.size() + body.size() / 30 + 64);
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find('\n', pos);
    if (body[pos] == '.') out += '.';
    out.append(body, pos, end - pos);
    out += "\r\n";
    pos = end + 1;
  }
  return out + ".\r\n";
}

struct Rig {
  fk::bench::BenchEngine e;
  std::shared_ptr<fk::test::MemoryContent> content = std::make_shared<fk::test::MemoryContent>();
  std::unique_ptr<fk::test::NntpTestServer> server;
  fk::NewsSocket sock;
  std::string row;

  // The server answers every BODY with `answer` when given, else from its store; over TLS with `tls`.
  bool start(const std::string& body, const std::string* answer, bool tls = false) {
    fk::test::ServerArticle a;
    a.overview.subject = "bench.jpg (1/1)";
    a.body = body;
    content->add_article(kGroup, std::move(a));
    auto o = content->article(kGroup, 1)->overview;
    row = "1\t" + o.author + "\t" + std::to_string(o.lines) + "\t" + o.subject;
    fk::test::ServerOptions options;
    if (tls) options.tls = fk::test::ServerTls::Implicit;
    server = std::make_unique<fk::test::NntpTestServer>(content, options);
    if (tls && !server->write_ca_file("ca.pem")) return false;
    if (answer) server->add_fault({"BODY", 0, fk::test::FaultAction::Reply, *answer});
    e.settings.update([&](fk::Settings& s) {
      s.news_server = "127.0.0.1";
      s.port = server->port();
      s.use_tls = tls ? 1 : 0;
      s.tls_ca_file = tls ? "ca.pem" : "";
    });
    for (const char* dir : {"pictures", "unknown", "raw"}) ::mkdir(dir, 0755);
    e.state.set_current_group(kGroup);
    return e.open_group(sock, kGroup);
  }
  bool fetch() {
    e.pending.append(row);
    return fk::run_article_loop(e.ctx, sock).kind == fk::ArticleLoopResult::Kind::ListEmpty;
  }
};

// 50 MB of uuencoded data into temp.uue. The body is kept there undecoded (minlines above its length),
// so the figure is the socket, the line reader, the terminator test and the work file.
// Argument 1: the same over TLS (implicit, the library's default cipher), to be set beside argument 0.
void BM_BodyStream50MB(benchmark::State& state) {
  Rig rig;
  const std::string body = fk::test::uuencode("big.bin", random_bytes(37'000'000));
  const std::string answer = wire_answer(body);
  state.SetLabel(state.range(0) ? "tls" : "plain");
  if (!rig.start(body, &answer, state.range(0) != 0)) {
    state.SkipWithError("no connection to the test server");
    return;
  }
  rig.e.settings.update([](fk::Settings& s) { s.minlines = 4'000'000'000u; });
  for (auto _ : state)
    if (!rig.fetch()) state.SkipWithError("article loop failed");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()));
  state.counters["lines"] = static_cast<double>(rig.e.state.article_line.load());
}
BENCHMARK(BM_BodyStream50MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// One 40 KB picture from BODY to row deleted: drain, BODY, body, uudecode, histories, files.log. The fixed
// waits (4 s here) are skipped by the fake clock and reported as a counter.
void BM_OnePictureArticle(benchmark::State& state) {
  Rig rig;
  const std::string body = fk::test::uuencode("pic.jpg", random_bytes(40'000));
  if (!rig.start(body, nullptr)) {
    state.SkipWithError("no connection to the test server");
    return;
  }
  rig.e.settings.update([](fk::Settings& s) { s.max_filenames = 100; });
  for (auto _ : state) {
    if (!rig.fetch()) state.SkipWithError("article loop failed");
    state.PauseTiming();
    // The decoder never replaces a picture; remove it so every pass writes the same name.
    ::unlink((std::string("pictures/") + kGroup + "/pic.jpg").c_str());
    state.ResumeTiming();
  }
  state.counters["fixed_wait_s"] =
      static_cast<double>(rig.e.clock.slept_ms()) / 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OnePictureArticle)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
