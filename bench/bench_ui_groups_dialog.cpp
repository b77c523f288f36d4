// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog at a real server's size (offscreen): "Refresh List" of 300,000 and 1,000,000
// groups from the test server over 127.0.0.1 until the dialog is usable, and one keystroke of the filter.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <chrono>

#include "app/group_list_refresher.h"
#include "common/engine_harness.h"
#include "server/nntp_test_server.h"
#include "ui/groups_dialog.h"

namespace {

constexpr std::size_t kGroups = 300000;

// Runs the event loop until done() holds.
template <class Done>
void spin(Done done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

// A dialog over an empty newsrc.new whose "Refresh List" asks the test server.
struct DialogRig {
  fk::test::EngineHarness engine;
  fk::NntpGroupListRefresher refresher{engine.ctx};
  std::unique_ptr<fk::GroupsDialog> dialog;

  explicit DialogRig(std::uint16_t port) {
    engine.use_server(port);
    engine.clock.set_uptime_ms(1);
    fk::test::write_file(fk::kNewsrcNew, "");
    dialog = std::make_unique<fk::GroupsDialog>(engine.state, engine.dialogs, engine.log, engine.clock, refresher);
    dialog->show();
    spin([&] { return !dialog->busy(); });
  }
  ~DialogRig() {
    refresher.cancel();
    dialog.reset();
  }
  void refresh() {
    bool finished = false;
    auto c = QObject::connect(dialog.get(), &fk::GroupsDialog::refresh_finished, [&] { finished = true; });
    // The recording dialogs answer the warning box with OK at once.
    dialog->findChild<QPushButton*>(QStringLiteral("refresh"))->click();
    spin([&] { return finished; });
    QObject::disconnect(c);
    dialog->unsubscribed_view()->viewport()->repaint();
  }
};

// From OK in the warning box to a dialog whose buttons work again, with every group in the list.
void BM_RefreshListing(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  fk::test::NntpTestServer server(std::make_shared<fk::test::ListingContent>(count));
  for (auto _ : state) {
    DialogRig rig(server.port());
    QElapsedTimer timer;
    timer.start();
    rig.refresh();
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    if (rig.dialog->lists().unsubscribed.size() != count) state.SkipWithError("groups missing");
  }
}
BENCHMARK(BM_RefreshListing)->Arg(kGroups)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RefreshListing)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// One character typed into or erased from the filter, both lists narrowed and the list repainted.
void BM_FilterKeystroke300000(benchmark::State& state, const char* text) {
  fk::test::NntpTestServer server(std::make_shared<fk::test::ListingContent>(kGroups));
  DialogRig rig(server.port());
  rig.refresh();
  QLineEdit* filter = rig.dialog->filter_field();
  const QString longer = QString::fromLatin1(text), shorter = longer.left(longer.size() - 1);
  bool flip = false;
  for (auto _ : state) {
    filter->setText((flip = !flip) ? longer : shorter);
    rig.dialog->unsubscribed_view()->viewport()->repaint();
  }
}
BENCHMARK_CAPTURE(BM_FilterKeystroke300000, substring, "binaries.pictures")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FilterKeystroke300000, wildcard, "*pictures.n1234?")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
