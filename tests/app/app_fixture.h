// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An Application wired to recording views, a fake clock and a dial-up service that is not there.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "app/application.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"

namespace fk::test {

class RecordingWindows : public AppWindows {
 public:
  bool setup_answer = false;
  bool bozo_answer = false;
  int setup_runs = 0, groups_runs = 0, bozo_runs = 0, closes = 0;
  std::vector<ExitStatistics> statistics;
  bool run_setup_sheet() override {
    ++setup_runs;
    return setup_answer;
  }
  void run_groups_dialog() override { ++groups_runs; }
  // A front end with the first start's welcome flow, when `welcome` is set; what each window saw.
  bool welcome = false;
  int welcome_runs = 0, refreshing_groups_runs = 0;
  std::function<void()> on_welcome_sheet;
  bool offers_welcome() const override { return welcome; }
  bool run_welcome_sheet() override {
    ++welcome_runs;
    if (on_welcome_sheet) on_welcome_sheet();
    return setup_answer;
  }
  void run_groups_dialog_refreshing() override { ++refreshing_groups_runs; }
  std::vector<std::pair<std::int64_t, int>> harvests;  // from the session's thread
  void harvest_finished(std::int64_t pictures, int groups) override { harvests.emplace_back(pictures, groups); }
  bool run_bozo_dialog() override {
    ++bozo_runs;
    return bozo_answer;
  }
  void show_exit_statistics(const ExitStatistics& s) override { statistics.push_back(s); }
  void close_window() override { ++closes; }
};

class AbsentDialup : public DialupService {
 public:
  DialupProbe probe() override { return {false, 0, "absent in tests"}; }
  ConnectionList list_active() override { return {DialupError::NotRunning, {}}; }
  ConnectionStatus connection_status(const std::string&) override { return {DialupError::InvalidHandle, {}}; }
  std::string error_text(DialupError) const override { return "absent"; }
  DialResult dial(const std::string&, const std::string&, const std::string&) override {
    return {DialupError::NotRunning, {}, true};
  }
  DialupError hang_up(const std::string&) override { return DialupError::NotRunning; }
  void set_cancelled(bool) override {}
};

struct AppTest : ::testing::Test {
  TempDir dir;
  FakeClock clock;
  RecordingView view;
  RecordingDialogs dialogs;
  RecordingWindows windows;
  AbsentDialup dialup;
  std::unique_ptr<Application> app;

  // Writes FENNICK.INI (direct connection unless the text says otherwise) and a newsrc, then starts up.
  void start(const std::string& ini = "", bool with_groups = true) {
    write_file("FENNICK.INI", "[COMM]\ncheck_dialup=0\n" + ini);
    if (with_groups) write_file("newsrc", " alt.pictures\n");
    make_and_start();
  }
  void make_and_start() {
    app = std::make_unique<Application>(view, dialogs, windows, clock, dialup);
    app->start_up();
    for (int i = 0; i < 5000 && !app->initialised(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(app->initialised());
  }
  // Ticks at the given whole second of uptime.
  void tick_at(std::int64_t second) {
    clock.set_uptime_ms(second * 1000);
    app->tick();
  }
  std::string log() const { return read_file("fk.log"); }
  bool logged(const std::string& line) const { return log().find(" - " + line + "\n") != std::string::npos; }
};

}  // namespace fk::test
