// SPDX-License-Identifier: GPL-3.0-or-later
// The picture gallery on 20,000 pictures: time to the first screen (names, then every thumbnail on it),
// with the thumbnail cache empty and filled; the longest stall of the window's thread while the grid is
// flicked from the top to the end; how soon a newly filed picture shows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>

#include "gallery_pictures.h"
#include "ui/gallery_window.h"
#include "ui/picture_model.h"
#include "thumbs/thumbnail_loader.h"

namespace {

constexpr int kPictures = 20000;

// 20,000 names over 20 groups; 60 distinct 800x600 pictures, the rest hard links to them, so each name
// is still a file of its own to the gallery and the thumbnail cache.
struct Harvest {
  QTemporaryDir dir;
  Harvest() {
    const QStringList groups = [] {
      QStringList g;
      for (int i = 0; i < 20; ++i) g << QStringLiteral("alt.binaries.pictures.bench%1").arg(i);
      return g;
    }();
    fk::test::make_harvest(dir.path(), groups, kPictures, QDateTime::currentDateTime().addDays(-30), 60, 800, 600);
    QDir::setCurrent(dir.path());
  }
};

Harvest& harvest() {
  static Harvest h;
  return h;
}

bool wait_until(const std::function<bool()>& done, int timeout_ms = 20000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  return true;
}

// Every row whose tile is (partly) in the grid's viewport.
std::vector<int> visible_rows(QListView* grid) {
  std::vector<int> rows;
  const QRect area = grid->viewport()->rect();
  for (int r = 0; r < grid->model()->rowCount(); ++r) {
    const QRect tile = grid->visualRect(grid->model()->index(r, 0));
    if (tile.intersects(area)) rows.push_back(r);
    if (tile.top() > area.bottom() && !rows.empty()) break;
  }
  return rows;
}

bool screen_complete(QListView* grid) {
  const std::vector<int> rows = visible_rows(grid);
  if (rows.empty()) return false;
  for (int r : rows)
    if (grid->model()->index(r, 0).data(fk::PictureModel::StateRole).toInt() ==
        int(fk::PictureModel::State::Loading))
      return false;
  return true;
}

std::unique_ptr<fk::GalleryWindow> open_gallery(const QString& cache) {
  fk::GalleryServices services;
  services.thumbnail_root = cache;
  services.root = harvest().dir.path();
  auto gallery = std::make_unique<fk::GalleryWindow>(std::move(services));
  gallery->resize(1100, 720);
  gallery->show();
  return gallery;
}

// Opens the gallery and times it: manual time = until every thumbnail of the first screen shows.
void first_screen(benchmark::State& state, bool cached) {
  harvest();
  QTemporaryDir cache_dir;
  const QString cache = cache_dir.path() + QStringLiteral("/thumbnails");
  if (cached) {
    auto warm = open_gallery(cache);
    wait_until([&] { return warm->model().loaded() && screen_complete(warm->grid()); });
  }
  double names_ms = 0, reads = 0;
  for (auto _ : state) {
    if (!cached) QDir(cache).removeRecursively();
    QElapsedTimer t;
    t.start();
    auto gallery = open_gallery(cache);
    wait_until([&] { return gallery->model().loaded() && gallery->model().rowCount() == kPictures; });
    QCoreApplication::processEvents();  // the first paint with the names
    names_ms += t.nsecsElapsed() / 1e6;
    if (!wait_until([&] { return screen_complete(gallery->grid()); })) state.SkipWithError("thumbnails never came");
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    reads += gallery->loader().pictures_read();
  }
  state.counters["names_ms"] = benchmark::Counter(names_ms, benchmark::Counter::kAvgIterations);
  state.counters["pictures_read"] = benchmark::Counter(reads, benchmark::Counter::kAvgIterations);
}

void BM_GalleryFirstScreen20000(benchmark::State& state) { first_screen(state, false); }
BENCHMARK(BM_GalleryFirstScreen20000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_GalleryFirstScreen20000Cached(benchmark::State& state) { first_screen(state, true); }
BENCHMARK(BM_GalleryFirstScreen20000Cached)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

qint64 thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return qint64{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// Flicks from the top to the end, a screen every 16 ms, with an empty cache, while a 2 ms
// timer records the longest gap between its turns: the longest time the window's thread was busy.
void BM_GalleryScrollToEnd20000(benchmark::State& state) {
  harvest();
  double worst_ms = 0, worst_busy_ms = 0, frames = 0;
  for (auto _ : state) {
    QTemporaryDir cache_dir;
    auto gallery = open_gallery(cache_dir.path() + QStringLiteral("/thumbnails"));
    wait_until([&] { return gallery->model().loaded() && screen_complete(gallery->grid()); });
    QScrollBar* bar = gallery->grid()->verticalScrollBar();
    QElapsedTimer since;
    qint64 longest = 0, longest_busy = 0, cpu_before = thread_cpu_ns();
    QTimer probe;
    probe.setInterval(2);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      // Wall time between turns counts the time other programs held the processor too; the thread's
      // own processor time over the same gap is what the gallery itself kept it busy.
      const qint64 cpu = thread_cpu_ns();
      longest = std::max(longest, since.nsecsElapsed());
      longest_busy = std::max(longest_busy, cpu - cpu_before);
      cpu_before = cpu;
      since.restart();
    });
    QTimer flick;
    flick.setInterval(16);
    int steps = 0;
    QObject::connect(&flick, &QTimer::timeout, [&] {
      bar->setValue(bar->value() + gallery->grid()->viewport()->height());
      ++steps;
    });
    QElapsedTimer t;
    t.start();
    since.start();
    probe.start();
    flick.start();
    wait_until([&] { return bar->value() >= bar->maximum(); }, 600000);
    flick.stop();
    // The last screen's thumbnails load too.
    wait_until([&] { return screen_complete(gallery->grid()); });
    probe.stop();
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    worst_ms = std::max(worst_ms, longest / 1e6);
    worst_busy_ms = std::max(worst_busy_ms, longest_busy / 1e6);
    frames += steps;
  }
  state.counters["longest_stall_ms"] = worst_ms;
  state.counters["longest_busy_ms"] = worst_busy_ms;
  state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_GalleryScrollToEnd20000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A picture filed into a group folder while the gallery is open, until it is the first row.
void BM_GalleryNewPictureShows(benchmark::State& state) {
  harvest();
  QTemporaryDir cache_dir;
  auto gallery = open_gallery(cache_dir.path() + QStringLiteral("/thumbnails"));
  wait_until([&] { return gallery->model().loaded(); });
  int n = 0;
  for (auto _ : state) {
    const QString name = QStringLiteral("new%1.jpg").arg(n++);
    const QString path = harvest().dir.path() + QStringLiteral("/pictures/alt.binaries.pictures.bench3/") + name;
    QElapsedTimer t;
    t.start();
    fk::test::write_picture(path, n, QDateTime::currentDateTime().addSecs(n));
    if (!wait_until([&] { return gallery->model().index(0).data().toString() == name; }, 5000))
      state.SkipWithError("the new picture never showed");
    state.SetIterationTime(t.nsecsElapsed() / 1e9);
    QFile::remove(path);
    wait_until([&] { return gallery->model().rowCount() == kPictures; }, 5000);
  }
}
BENCHMARK(BM_GalleryNewPictureShows)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QDir::setCurrent(QDir::tempPath());
  return 0;
}
