// SPDX-License-Identifier: GPL-3.0-or-later
// The browser view: 50 live status pages during a harvest (how soon each change reaches all of them, and
// what they cost while nothing happens), and the gallery's first page over 20,000 pictures with the
// thumbnail cache filled.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "common/raw_http.h"
#include "common/temp_dir.h"
#include "web/status_board.h"
#include "web/web_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kToken = "benchbenchbenchbenchbenchbenchbe";
constexpr int kClients = 50;

double cpu_seconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Served {
  fk::test::TempDir dir;
  fk::StatusBoard board;
  std::unique_ptr<fk::WebServer> server;
  explicit Served(std::vector<std::string> pending = {}) {
    fk::WebServerConfig config;
    config.root = dir.path().string();
    config.token = kToken;
    config.thumbnail_cache = config.root + "/cache";
    fk::WebServerHooks hooks;
    hooks.pending_rows = [pending] { return pending; };
    hooks.running = [] { return true; };
    server = std::make_unique<fk::WebServer>(config, board, std::move(hooks));
    std::string error;
    if (!server->start(&error)) throw std::runtime_error(error);
  }
  std::string auth() const { return std::string("Authorization: Bearer ") + kToken + "\r\n"; }
};

std::vector<std::unique_ptr<fk::test::RawHttp>> open_live_pages(const Served& s, int n) {
  std::vector<std::unique_ptr<fk::test::RawHttp>> pages;
  for (int i = 0; i < n; ++i) {
    pages.push_back(std::make_unique<fk::test::RawHttp>(s.server->port()));
    pages.back()->send("GET /events HTTP/1.1\r\nHost: x\r\n" + s.auth() + "\r\n");
    pages.back()->read_until("data: ");
  }
  return pages;
}

// Each iteration: one change of the counters, as an article filed, until all 50 pages have it.
void BM_LiveStatus50Clients(benchmark::State& state) {
  std::vector<std::string> pending;
  for (int i = 0; i < 100; ++i) pending.push_back(std::to_string(1000 + i) + "\tPoster <p@example.invalid>\t900\tA picture " + std::to_string(i) + ".jpg (1/1)");
  Served s(pending);
  auto pages = open_live_pages(s, kClients);
  double worst = 0;
  std::int64_t n = 0;
  for (auto _ : state) {
    fk::SessionCounters c;
    c.pictures = ++n;
    const std::string marker = "\"pictures\":" + std::to_string(n) + ",";
    const auto start = Clock::now();
    s.board.counters_changed(c);
    for (auto& page : pages) page->read_until(marker, std::chrono::seconds(5));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    worst = std::max(worst, seconds);
    state.SetIterationTime(seconds);
  }
  state.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_LiveStatus50Clients)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// 50 pages open and nothing happening: the process's processor time over 3 s, as a share of one core.
void BM_Idle50Clients(benchmark::State& state) {
  Served s;
  auto pages = open_live_pages(s, kClients);
  for (auto _ : state) {
    const double cpu0 = cpu_seconds();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    for (auto& page : pages) page->read_until("\x01", std::chrono::milliseconds(0));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["cpu_percent_of_one_core"] = 100.0 * (cpu_seconds() - cpu0) / wall;
    state.SetIterationTime(wall);
  }
}
BENCHMARK(BM_Idle50Clients)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// 20,000 pictures over 20 groups (60 distinct ones, the rest hard links, each a name of its own); the
// first page with the cache filled by an earlier visit: the page, then its 100 thumbnails.
void BM_GalleryFirstPage20000(benchmark::State& state) {
  Served s;
  namespace fs = std::filesystem;
  const fs::path root = s.dir.path();
  std::vector<fs::path> originals;
  for (int i = 0; i < 20000; ++i) {
    const fs::path group = root / "pictures" / ("alt.binaries.pictures.bench" + std::to_string(i % 20));
    fs::create_directories(group);
    const fs::path file = group / ("picture-" + std::to_string(i) + ".jpg");
    if (originals.size() < 60) {
      QImage image(800, 600, QImage::Format_RGB32);
      image.fill(QColor::fromHsv(i * 6 % 360, 160, 200));
      image.save(QString::fromStdString(file.string()), "JPG");
      originals.push_back(file);
    } else {
      fs::create_hard_link(originals[static_cast<std::size_t>(i) % 60], file);
    }
  }
  // Older than the few seconds a new file is left out of the cache.
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& e : fs::recursive_directory_iterator(root / "pictures"))
    if (e.is_regular_file()) fs::last_write_time(e.path(), old);
  auto thumbnails_of = [&](const std::string& page) {
    std::vector<std::string> urls;
    for (std::size_t p = 0; (p = page.find("src=\"/thumbs/", p)) != std::string::npos; ++p)
      urls.push_back(page.substr(p + 5, page.find('"', p + 5) - p - 5));
    return urls;
  };
  const int port = s.server->port();
  for (const std::string& url : thumbnails_of(fk::test::raw_get(port, "/gallery", s.auth()).body))
    fk::test::raw_get(port, url, s.auth());
  double page_ms = 0;
  std::size_t thumbnails = 0, served = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    const std::string page = fk::test::raw_get(port, "/gallery", s.auth()).body;
    page_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const std::vector<std::string> urls = thumbnails_of(page);
    thumbnails = urls.size();
    served = 0;
    for (const std::string& url : urls) served += fk::test::raw_get(port, url, s.auth()).status == 200;
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  state.counters["page_only_ms"] = page_ms;
  state.counters["thumbnails"] = static_cast<double>(thumbnails);
  state.counters["served"] = static_cast<double>(served);
}
BENCHMARK(BM_GalleryFirstPage20000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
