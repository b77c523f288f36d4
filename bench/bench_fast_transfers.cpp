// SPDX-License-Identifier: GPL-3.0-or-later
// Fast transfers: 40 KB picture articles through the whole article loop (BODY, uudecode, histories,
// files.log) in fast mode, beside a bare pipelined reader fetching the same bodies from the same server,
// on loopback and with a round-trip delay in the server. The default pacing runs too; its fixed waits are
// skipped by the fake clock and reported per article as a counter. BM_CompressedLoop is the fast loop over
// COMPRESS DEFLATE.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "bench_engine.h"
#include "server/nntp_test_server.h"
#include "session/article_loop.h"
#include "session/transport.h"
#include "decode/work_file.h"

namespace {

constexpr const char* kGroup = "alt.binaries.pictures.fast";
constexpr int kArticles = 2000;
constexpr int kPacedArticles = 100;  // the paced loop waits a round trip per article: fewer suffice

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

// One server per delay, holding kArticles uuencoded pictures of 40 KB on the wire.
struct Corpus {
  std::shared_ptr<fk::test::MemoryContent> content = std::make_shared<fk::test::MemoryContent>();
  std::unique_ptr<fk::test::NntpTestServer> server;
  std::vector<std::string> rows;
  std::int64_t body_bytes = 0;

  explicit Corpus(int delay_ms) {
    for (int i = 0; i < kArticles; ++i) {
      fk::test::ServerArticle a;
      std::string name = std::to_string(i);
      name.insert(0, 1, 'p');
      name += ".jpg";
      a.overview.subject = name + " (1/1)";
      a.body = fk::test::uuencode(name, random_bytes(29'000, static_cast<unsigned>(i)));
      body_bytes += static_cast<std::int64_t>(a.body.size());
      std::int64_t n = content->add_article(kGroup, std::move(a));
      auto o = content->article(kGroup, n)->overview;
      std::string row = std::to_string(n);  // piecewise: g++ 12 warns falsely on an operator+ chain
      row += '\t';
      row += o.author;
      row += '\t';
      row += std::to_string(o.lines);
      row += '\t';
      row += o.subject;
      rows.push_back(std::move(row));
    }
    fk::test::ServerOptions options;
    options.reply_delay = std::chrono::milliseconds(delay_ms);
    options.listen_ipv6 = false;
    options.compress_deflate = true;  // offered only: used by the compressed loop alone
    server = std::make_unique<fk::test::NntpTestServer>(content, options);
  }
};

Corpus& corpus(int delay_ms) {
  static Corpus loopback(0), delayed(50);
  return delay_ms ? delayed : loopback;
}

// The article loop of the program over one connection; each pass files every article afresh.
void run_loop(benchmark::State& state, bool fast, bool compress = false) {
  const int delay = static_cast<int>(state.range(0));
  const int depth = static_cast<int>(state.range(1));
  Corpus& c = corpus(delay);
  const int articles = fast ? kArticles : kPacedArticles;
  fk::bench::BenchEngine e;
  e.settings.update([&](fk::Settings& s) {
    s.news_server = "127.0.0.1";
    s.port = c.server->port();
    s.fast_transfers = fast;
    s.pipeline_depth = depth;
    s.max_history = 32700;
    s.max_filenames = 32700;
  });
  e.state.set_current_group(kGroup);
  fk::NewsSocket sock;
  if (!e.open_group(sock, kGroup)) {
    state.SkipWithError("no connection to the test server");
    return;
  }
  if (compress) {
    std::string reply;
    sock.send_line("COMPRESS DEFLATE\r\n");
    if (fk::get_socket_string(e.ctx, reply, 511, sock) < 0 || reply.rfind("206", 0) != 0) {
      state.SkipWithError("the test server did not compress");
      return;
    }
    sock.start_compression(&e.state.byte_count);
  }
  for (const char* dir : {"pictures", "unknown", "raw"}) ::mkdir(dir, 0755);
  int pass = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // A fresh folder per pass: files made where thousands were just deleted cost the file system more
    // than a harvest ever pays.
    e.state.set_current_group(std::string(kGroup) + "." + std::to_string(++pass));
    e.article_ids.clear();
    e.filenames.clear();
    for (int i = 0; i < articles; ++i) e.pending.append(c.rows[static_cast<std::size_t>(i)]);
    state.ResumeTiming();
    if (fk::run_article_loop(e.ctx, sock).kind != fk::ArticleLoopResult::Kind::ListEmpty)
      state.SkipWithError("article loop failed");
  }
  if (e.state.pictures_downloaded.load() != static_cast<std::int64_t>(articles) * state.iterations())
    state.SkipWithError("not every picture was filed");
  const double n = static_cast<double>(articles) * static_cast<double>(state.iterations());
  state.counters["articles_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.counters["fixed_wait_s"] = static_cast<double>(e.clock.slept_ms()) / 1000.0 / n;
  sock.close();
  if (auto t = sock.take_compression_totals(); t && t->wire_read > 0)
    state.counters["text_per_wire_byte"] = static_cast<double>(t->text_read) / static_cast<double>(t->wire_read);
}

void BM_FastLoop(benchmark::State& state) { run_loop(state, true); }
void BM_PacedLoop(benchmark::State& state) { run_loop(state, false); }
void BM_CompressedLoop(benchmark::State& state) { run_loop(state, true, true); }

// A bare client: GROUP, then BODY commands kept `depth` ahead, each reply read to its terminator and
// thrown away. What the network and the server allow.
void BM_BareReader(benchmark::State& state) {
  const int delay = static_cast<int>(state.range(0));
  const auto depth = static_cast<int>(state.range(1));
  Corpus& c = corpus(delay);
  fk::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(c.server->port());
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int on = 1;
  ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("no connection to the test server");
    return;
  }
  std::string buf;
  std::vector<char> chunk(256 * 1024);
  auto fill = [&] {
    ssize_t n = ::recv(fd.get(), chunk.data(), chunk.size(), 0);
    if (n <= 0) return false;
    buf.append(chunk.data(), static_cast<std::size_t>(n));
    return true;
  };
  // Takes one line (status) off the buffer.
  auto take_line = [&] {
    std::size_t lf;
    while ((lf = buf.find('\n')) == std::string::npos)
      if (!fill()) return false;
    buf.erase(0, lf + 1);
    return true;
  };
  auto send = [&](const std::string& s) { return ::send(fd.get(), s.data(), s.size(), MSG_NOSIGNAL) > 0; };
  if (!take_line() || !send(std::string("GROUP ") + kGroup + "\r\n") || !take_line()) {
    state.SkipWithError("server did not answer");
    return;
  }
  std::int64_t bytes = 0;
  for (auto _ : state) {
    int sent = 0, done = 0;
    while (done < kArticles) {
      std::string batch;
      while (sent < kArticles && sent - done < depth) {
        batch += "BODY ";  // piecewise: g++ 12 warns falsely on an operator+ chain here
        batch += std::to_string(++sent);
        batch += "\r\n";
      }
      if (!batch.empty() && !send(batch)) break;
      if (!take_line()) break;
      std::size_t end, from = 0;
      while ((end = buf.find("\r\n.\r\n", from)) == std::string::npos) {
        from = buf.size() > 4 ? buf.size() - 4 : 0;
        if (!fill()) break;
      }
      if (end == std::string::npos) break;
      bytes += static_cast<std::int64_t>(end);
      buf.erase(0, end + 5);
      ++done;
    }
    if (done != kArticles) state.SkipWithError("the bare reader lost the connection");
  }
  const double n = static_cast<double>(kArticles) * static_cast<double>(state.iterations());
  state.counters["articles_per_s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(bytes);
}

// Arguments: the server's reply delay in ms, and the pipeline depth.
#define FK_CASES ->Args({0, 8})->Args({0, 64})->Args({50, 64})->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_BareReader) FK_CASES->Iterations(2);
BENCHMARK(BM_FastLoop) FK_CASES->Iterations(2);
BENCHMARK(BM_CompressedLoop)->Args({0, 64})->Args({50, 64})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_PacedLoop)->Args({0, 1})->Args({50, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
