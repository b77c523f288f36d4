// SPDX-License-Identifier: GPL-3.0-or-later
// The one-second tick on its own: the schedule's edges press only what is needed, and work left for
// later runs once, when it is due.
#include <gtest/gtest.h>

#include "app/tee_view.h"
#include "app/ticker.h"
#include "app/tracking_view.h"
#include "common/engine_bundle.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"

namespace fk::test {
namespace {

// Counts the presses the tick makes; everything else is not expected.
struct PressCounter : StatusCommands {
  int starts = 0, stops = 0;
  void start() override { ++starts; }
  void stop() override { ++stops; }
  void setup() override { ADD_FAILURE() << "setup"; }
  void groups() override { ADD_FAILURE() << "groups"; }
  void skip_group() override { ADD_FAILURE() << "skip_group"; }
  void bozo(std::optional<RowRef>) override { ADD_FAILURE() << "bozo"; }
  void download_next(std::optional<RowRef>) override { ADD_FAILURE() << "download_next"; }
  void remove_pending(std::optional<RowRef>) override { ADD_FAILURE() << "remove_pending"; }
  void remove_history(ControlId, std::optional<RowRef>) override { ADD_FAILURE() << "remove_history"; }
  void close() override { ADD_FAILURE() << "close"; }
  void tick() override { ADD_FAILURE() << "tick"; }
};

// Mondays 04:20 to 04:40; the fake clock starts on a Monday at 04:11:08.
Settings monday_window() {
  Settings s;
  s.unattended_operation = 1;
  s.days[1] = 1;
  s.start_hour = 4;
  s.start_min = 20;
  s.end_hour = 4;
  s.end_min = 40;
  return s;
}

struct TickerTest : ::testing::Test {
  TempDir dir;
  EngineBundle engine{monday_window()};
  TrackingView view{engine.view};
  SessionRunner session{engine.ctx};
  DeferredActions later;
  PressCounter commands;
  Ticker ticker{view,
                engine.dialogs,
                engine.clock,
                engine.settings,
                engine.state,
                engine.log,
                {engine.article_ids, engine.filenames, engine.blacklist},
                session,
                commands,
                later};

  void tick_at_minute(int minute) {
    engine.clock.set_uptime_ms(std::int64_t{minute} * 60'000);
    ticker.tick();
  }
};

TEST_F(TickerTest, ScheduleEdgesPressStartAndStopOnlyWhenNeeded) {
  tick_at_minute(1);  // 04:12
  tick_at_minute(9);  // 04:20: the window begins
  EXPECT_EQ(commands.starts, 1);
  tick_at_minute(10);
  EXPECT_EQ(commands.starts, 1);  // once per window, not once per tick
  engine.state.auto_reconnect = 1;
  tick_at_minute(29);  // 04:40: a reconnect is pending, so the window's end stops it
  EXPECT_EQ(commands.stops, 1);

  // Connected by hand before the next window (a week later): no second Start. Nothing running at its
  // end: no Stop, which would hang up a dial-up connection for nothing.
  engine.state.connected = 1;
  tick_at_minute(7 * 24 * 60 + 9);
  EXPECT_EQ(commands.starts, 1);
  engine.state.connected = 0;
  engine.state.auto_reconnect = 0;
  tick_at_minute(7 * 24 * 60 + 29);
  EXPECT_EQ(commands.stops, 1);
}

TEST_F(TickerTest, WorkLeftForLaterRunsOnceOnTheFirstTickWhenDue) {
  int runs = 0;
  later.add(2500, [&] { ++runs; });
  engine.clock.set_uptime_ms(2000);
  ticker.tick();
  EXPECT_EQ(runs, 0);
  engine.clock.set_uptime_ms(3000);
  ticker.tick();
  EXPECT_EQ(runs, 1);
  engine.clock.set_uptime_ms(4000);
  ticker.tick();
  EXPECT_EQ(runs, 1);
}

// A view that words the counts itself must get them as numbers through the views in front of it; the
// texts a plain view shows (the terminal, the web board, fk.log readers) stay as they were.
struct CountingView : RecordingView {
  std::vector<std::string> events;
  void group_counted(int index, int total) override {
    events.push_back("counted " + std::to_string(index) + "/" + std::to_string(total));
  }
  void connected_to(const std::string& server, int attempts) override {
    events.push_back("connected " + server + " " + std::to_string(attempts));
  }
  void nobody_connected(int attempts, bool waiting) override {
    events.push_back("nobody " + std::to_string(attempts) + (waiting ? " waiting" : ""));
  }
  void transfer_status(const std::string& server, int connections, std::int64_t rate) override {
    events.push_back("transfer " + server + " " + std::to_string(connections) + " " + std::to_string(rate));
  }
};

TEST(CountEvents, ReachTheViewBehindTeeAndTrackingAsNumbers) {
  CountingView counting;
  RecordingView plain;
  TeeView tee(counting, plain);
  TrackingView tracking(tee);
  View& v = tracking;
  v.group_counted(3, 1000000);
  v.connected_to("news.example.net", 1);
  v.nobody_connected(1, true);
  v.transfer_status("news.example.net", 8, 12'345'678);
  EXPECT_EQ(counting.events, (std::vector<std::string>{"counted 3/1000000", "connected news.example.net 1",
                                                       "nobody 1 waiting", "transfer news.example.net 8 12345678"}));
  EXPECT_EQ(plain.text(ControlId::GroupCounter), "3 of 1000000 news groups");
  EXPECT_EQ(plain.text_history(ControlId::ConnectionStatus),
            (std::vector<std::string>{"news.example.net (1 connection attempts)",
                                      "Nobody... 1 connection attempts, waiting for scheduler",
                                      "news.example.net (8 connections, 12,056 KB/s)"}));
}

// With several connections each tick reports how many are open and the bytes of that second; with
// one, the connection line stays as it was.
TEST_F(TickerTest, SeveralConnectionsShowTheirCountAndSpeedEachSecond) {
  engine.settings.update([](Settings& s) {
    s.fast_transfers = 1;
    s.connections = 1;
    s.news_server = "news.example.net";
  });
  engine.state.connected = 1;
  engine.state.open_connections = 1;
  engine.clock.set_uptime_ms(1000);
  ticker.tick();
  EXPECT_TRUE(engine.view.text_history(ControlId::ConnectionStatus).empty());

  engine.settings.update([](Settings& s) { s.connections = 4; });
  engine.state.open_connections = 3;
  engine.state.byte_count = 3 * 1024 * 1024;
  engine.clock.set_uptime_ms(2000);
  ticker.tick();
  EXPECT_EQ(engine.view.text(ControlId::ConnectionStatus), "news.example.net (3 connections, 3,072 KB/s)");
}

}  // namespace
}  // namespace fk::test
