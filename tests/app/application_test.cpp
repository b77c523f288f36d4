// SPDX-License-Identifier: GPL-3.0-or-later
// The application core: start-up, commands, the tick, the scheduler and Close, against recording views.
#include "app_fixture.h"

#include <unistd.h>

#include <atomic>

#include "app/first_start.h"
#include "common/child_process.h"

namespace fk::test {
namespace {

using ::testing::HasSubstr;

TEST_F(AppTest, FirstStartInAnEmptyFolderWarnsAndOpensSetup) {
  make_and_start();
  auto boxes = dialogs.boxes();
  // Dial-up is on by default and the test's service is absent: its box comes between the two.
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].caption, "Fennick -- No News Groups Subscribed");
  EXPECT_EQ(boxes[0].icon, Icon::Error);
  EXPECT_EQ(boxes[1].caption, "Fennick -- Dial-up Unavailable");
  EXPECT_EQ(boxes[2].text, "Please Configure Your News Server Address");
  EXPECT_EQ(boxes[2].caption, "No Setup Information Found");
  EXPECT_EQ(windows.setup_runs, 1);
  EXPECT_FALSE(exists("FENNICK.INI"));  // Cancel writes nothing
  std::string l = log();
  auto at = [&](const std::string& s) { return l.find(" - " + s + "\n"); };
  EXPECT_LT(at("Invalid Setup: no subscribed news groups"), at(banner_line()));
  EXPECT_LT(at(banner_line()), at("Finished Reading .ini File"));
  EXPECT_LT(at("Finished Reading .ini File"), at("Invalid Setup: No .ini file found... creating new one"));
  EXPECT_LT(at("Setup Button Pushed"), at("Starting Initialization Thread"));
  EXPECT_LT(at("Reading In Bozos History..."), at("Reading In Article ID's History..."));
  EXPECT_LT(at("Reading In Article ID's History..."), at("Reading In Filenames History..."));
  EXPECT_EQ(view.enabled(ControlId::StartButton), 1);
  EXPECT_EQ(view.enabled(ControlId::StopButton), 0);
  EXPECT_EQ(view.text(ControlId::ConnectionStatus), "Nobody");
  EXPECT_TRUE(view.commands().empty());
}

// In the window, a new user gets one welcome flow: no boxes, the sheet with dial-up off and the modern
// server kind preselected, then (after OK and the file written) the groups dialog refreshing.
TEST_F(AppTest, FirstStartWithAWelcomeLeadsFromTheSheetToTheGroups) {
  windows.welcome = true;
  windows.setup_answer = true;
  Settings seen;
  bool ini_existed = true;
  windows.on_welcome_sheet = [&] {
    seen = app->settings().get();
    ini_existed = exists("FENNICK.INI");
  };
  make_and_start();
  EXPECT_TRUE(dialogs.boxes().empty());
  EXPECT_EQ(windows.welcome_runs, 1);
  EXPECT_EQ(windows.setup_runs, 0);
  EXPECT_EQ(windows.refreshing_groups_runs, 1);
  EXPECT_FALSE(ini_existed);
  EXPECT_EQ(seen.check_dialup, 0);
  EXPECT_EQ(seen.use_tls, Settings::kImplicitTls);
  EXPECT_EQ(seen.port, 563u);
  EXPECT_EQ(seen.filter1, "*.jpg*|*.jpeg*|*.gif*|*.png*|*.webp*");
  EXPECT_EQ(seen.filter2, "");
  EXPECT_TRUE(seen.fast_transfers && seen.incremental_scan && seen.collect_multipart);
  const std::string ini = read_file("FENNICK.INI");
  EXPECT_THAT(ini, HasSubstr("check_dialup=0\n"));
  EXPECT_THAT(ini, HasSubstr("filter2=\n"));

  // A sheet left with Cancel writes nothing and opens no groups dialog; the next start welcomes again.
  app.reset();
  ::unlink("FENNICK.INI");
  windows.setup_answer = false;
  make_and_start();
  EXPECT_EQ(windows.welcome_runs, 2);
  EXPECT_EQ(windows.refreshing_groups_runs, 1);
  EXPECT_FALSE(exists("FENNICK.INI"));
  EXPECT_TRUE(dialogs.boxes().empty());
}

// A folder that has its FENNICK.INI keeps the classic boxes, welcome or not.
TEST_F(AppTest, AFolderWithItsSettingsFileGetsNoWelcome) {
  windows.welcome = true;
  start("", false);
  EXPECT_EQ(windows.welcome_runs, 0);
  ASSERT_EQ(dialogs.boxes().size(), 1u);
  EXPECT_EQ(dialogs.boxes()[0].caption, "Fennick -- No News Groups Subscribed");
}

TEST(ServerKind, ClassicPutsBackTheDefaultsAndEachKindIsRecognised) {
  Settings s;
  s.news_server = "news.example";
  apply_server_kind(s, ServerKind::Modern);
  EXPECT_TRUE(matches_server_kind(s, ServerKind::Modern));
  EXPECT_FALSE(matches_server_kind(s, ServerKind::Classic));
  apply_server_kind(s, ServerKind::Classic);
  const Settings defaults;
  EXPECT_EQ(s.port, defaults.port);
  EXPECT_EQ(s.use_tls, defaults.use_tls);
  EXPECT_EQ(s.filter1, defaults.filter1);
  EXPECT_EQ(s.filter2, defaults.filter2);
  EXPECT_EQ(s.news_server, "news.example");  // what the kind does not decide is left alone
  EXPECT_TRUE(matches_server_kind(s, ServerKind::Classic));
}

// Impossible line limits are corrected (and logged) during the real start-up. It runs in a child process
// so that a start-up that hangs fails the test instead of the suite.
TEST_F(AppTest, StartUpCorrectsImpossibleLineLimitsWithoutHanging) {
  for (auto [limits, min_corrected] : {std::pair{"minlines=0\nmaxlines=0\n", true},
                                       std::pair{"minlines=700\nmaxlines=700\n", false}}) {
    write_file("FENNICK.INI", std::string("[COMM]\ncheck_dialup=0\n[SELECTION]\n") + limits);
    write_file("newsrc", " alt.pictures\n");
    auto child = ChildProcess::fork([&] {
      Application a(view, dialogs, windows, clock, dialup);
      a.start_up();
      if (!wait_until([&] { return a.initialised(); }, std::chrono::seconds(10))) return 3;
      Settings s = a.settings().get();
      return s.maxlines == s.minlines + 1000 && s.minlines >= 1 ? 0 : 4;
    });
    auto end = child.wait_for(std::chrono::seconds(20));
    ASSERT_TRUE(end) << "start-up hangs with " << limits;
    EXPECT_TRUE(end->exited && end->status == 0) << limits;
    EXPECT_TRUE(logged("Invalid Setup: maximum lines <= minimum lines... defaulting to min + 1000")) << limits;
    EXPECT_EQ(logged("Invalid Setup: minimum lines too small... defaulting to 1"), min_corrected) << limits;
    EXPECT_TRUE(logged("Starting Initialization Thread")) << limits;
  }
}

TEST_F(AppTest, SetupOkWritesEveryPageKey) {
  windows.setup_answer = true;
  make_and_start();
  EXPECT_TRUE(logged("Setup Changed and Saved"));
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("max_art_per_grp=250\n"));
}

TEST_F(AppTest, UnattendedStartPostsStartButAScheduleWaits) {
  start("unattended_operation=1\n");
  EXPECT_TRUE(logged("Running In Unattended Mode"));
  EXPECT_EQ(view.commands(), std::vector<Command>{Command::Start});
  // The classic second before Start; a fast start has none.
  EXPECT_EQ(clock.slept_ms(), 1000);
  view.clear_commands();
  app.reset();
  start("unattended_operation=1\nfast_transfers=1\n");
  EXPECT_EQ(view.commands(), std::vector<Command>{Command::Start});
  EXPECT_EQ(clock.slept_ms(), 1000);

  view.clear_commands();
  app.reset();
  start("unattended_operation=1\n[SCHEDULE]\nMonday=1\n");
  EXPECT_TRUE(logged("Running With Scheduler Active"));
  EXPECT_FALSE(logged("Running In Unattended Mode"));
  EXPECT_TRUE(view.commands().empty());
}

TEST_F(AppTest, StartLaunchesOneSessionAndASecondStartOnlyBeeps) {
  start();
  std::atomic<bool> release{false};
  std::atomic<int> sessions{0};
  app->set_session_body([&](EngineContext&) {
    ++sessions;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  app->start();
  EXPECT_TRUE(logged("Connect Button Pushed"));
  EXPECT_TRUE(logged("Using Direct Internet Connection"));
  EXPECT_EQ(view.enabled(ControlId::StartButton), 0);
  EXPECT_EQ(view.enabled(ControlId::StopButton), 1);
  EXPECT_EQ(app->state().auto_reconnect, 1);
  app->start();
  EXPECT_EQ(dialogs.beeps(), std::vector<Beep>{Beep::Question});
  release = true;
  while (app->session_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(sessions, 1);
}

TEST_F(AppTest, StartAfterTheRunningTimeRefusesUnlessScheduled) {
  start("max_connecttime=1\n");
  clock.set_uptime_ms(60'000);
  app->start();
  ASSERT_EQ(dialogs.boxes().size(), 1u);
  EXPECT_EQ(dialogs.boxes()[0].caption, "Maximum Running Time Expired");
  EXPECT_THAT(dialogs.boxes()[0].text, HasSubstr("setup\\connection\n"));
  EXPECT_EQ(dialogs.beeps(), std::vector<Beep>{Beep::Information});
  EXPECT_EQ(view.enabled(ControlId::StartButton), 1);
  EXPECT_FALSE(app->session_running());
}

TEST_F(AppTest, StartWithAnUnusablePortExplainsInsteadOfConnecting) {
  start("news_server=127.0.0.1\nport=99999\n");
  EXPECT_TRUE(logged("Invalid Setup: port=99999 is not a number from 1 to 65535"));
  bool launched = false;
  app->set_session_body([&](EngineContext&) { launched = true; });
  app->start();
  ASSERT_EQ(dialogs.boxes().size(), 1u);
  EXPECT_EQ(dialogs.boxes()[0].caption, "Invalid Setup");
  EXPECT_THAT(dialogs.boxes()[0].text, HasSubstr("port"));
  EXPECT_THAT(view.text(ControlId::ConnectionStatus), HasSubstr("Invalid Setup: the port is not a number"));
  EXPECT_EQ(view.enabled(ControlId::StartButton), 1);
  EXPECT_FALSE(app->session_running());
  EXPECT_FALSE(launched);
  app->close();  // closing is not held up by the bad port
  EXPECT_EQ(windows.closes, 1);
  EXPECT_EQ(dialogs.boxes().size(), 1u);
}

// A TLS choice written in words is refused like a bad port: a box, and no connection in clear.
TEST_F(AppTest, StartWithAUseTlsInWordsExplainsInsteadOfConnecting) {
  start("news_server=127.0.0.1\nuse_tls=starttls\n");
  EXPECT_TRUE(logged("Invalid Setup: use_tls=starttls is not a number from 0 to 2"));
  bool launched = false;
  app->set_session_body([&](EngineContext&) { launched = true; });
  app->start();
  ASSERT_EQ(dialogs.boxes().size(), 1u);
  EXPECT_EQ(dialogs.boxes()[0].text,
            "Fennick cannot connect: use_tls is not a number from 0 to 2: set use_tls in section [COMM] of "
            "FENNICK.INI.");
  EXPECT_FALSE(launched);
  app->close();
}

// Dial-up ticked without NetworkManager: the first Start switches the option off and says so.
TEST_F(AppTest, StartWithDialupButNoNetworkManagerSaysWhy) {
  write_file("FENNICK.INI", "[COMM]\ncheck_dialup=1\nnews_server=127.0.0.1\n");
  write_file("newsrc", " alt.pictures\n");
  make_and_start();
  std::atomic<bool> launched{false};
  app->set_session_body([&](EngineContext&) { launched = true; });
  app->start();
  EXPECT_FALSE(launched);
  EXPECT_THAT(view.text(ControlId::ConnectionStatus), HasSubstr("Dial-up Not Available (no NetworkManager)"));
  EXPECT_TRUE(logged("Dial-up check without NetworkManager"));
  clock.set_uptime_ms(3000);
  app->tick();
  app->start();
  EXPECT_TRUE(launched || app->session_running());
  app.reset();  // the session writes `launched`: it must end before the test's locals do
  EXPECT_TRUE(launched);
}

TEST_F(AppTest, StopSetsTheFlagsAndTheStatusLine) {
  start();
  app->state().auto_reconnect = 1;
  app->stop();
  EXPECT_TRUE(logged("Stop Button Pushed"));
  EXPECT_EQ(app->state().stop_requested, 1);
  EXPECT_EQ(app->state().auto_reconnect, 0);
  EXPECT_EQ(view.enabled(ControlId::StopButton), 0);
  EXPECT_EQ(view.text(ControlId::ConnectionStatus), "Nobody...Stop Pressed");
}

TEST_F(AppTest, SkipGroupClearsOrExplains) {
  start();
  app->skip_group();
  ASSERT_EQ(dialogs.boxes().size(), 1u);
  EXPECT_EQ(dialogs.boxes()[0].caption, "Helpful Hint");
  std::atomic<bool> release{false};
  app->set_session_body([&](EngineContext&) {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  app->start();
  app->pending().append("1\ta\t600\ts");
  app->skip_group();
  EXPECT_EQ(app->pending().count(), 0u);
  EXPECT_EQ(view.text(ControlId::PendingBox), "Skipping to Next Group");
  release = true;
  while (app->session_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  // Rows left after the session are no group to skip: nothing is cleared or announced.
  app->pending().append("2\tb\t600\tt");
  view.set_text(ControlId::PendingBox, "Downloads Aborted");
  app->skip_group();
  EXPECT_EQ(app->pending().count(), 1u);
  EXPECT_EQ(view.text(ControlId::PendingBox), "Downloads Aborted");
  EXPECT_EQ(dialogs.beeps(), std::vector<Beep>{Beep::Exclamation});
}

// Start is off while a session runs; once it has ended, STOP and Skip Group are off, unless a reconnect
// is due (STOP cancels that).
TEST_F(AppTest, ButtonsFollowTheSession) {
  start();
  std::atomic<bool> release{false};
  std::atomic<int> reconnect{0};
  app->set_session_body([&](EngineContext& e) {
    e.view.set_enabled(ControlId::SkipGroupButton, true);
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    e.state.auto_reconnect = reconnect.load();
    e.view.set_enabled(ControlId::StartButton, true);
  });
  for (int due : {0, 1}) {
    release = false;
    reconnect = due;
    app->start();
    EXPECT_EQ(view.enabled(ControlId::StartButton), 0);
    EXPECT_EQ(view.enabled(ControlId::StopButton), 1);
    release = true;
    while (app->session_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(view.enabled(ControlId::StartButton), 1);
    EXPECT_EQ(view.enabled(ControlId::StopButton), due);
    EXPECT_EQ(view.enabled(ControlId::SkipGroupButton), 0);
  }
}

// A session that filed pictures tells the window how many and in how many groups, once, at its end;
// with [SCREEN] notify off, or when nothing was filed, it tells nothing.
TEST_F(AppTest, ASessionThatFiledPicturesIsAnnouncedOnce) {
  start();
  app->set_session_body([](EngineContext& e) {
    SessionCounters c;
    e.view.group_started("alt.a", 1, 3);
    c.pictures = 2;
    e.view.counters_changed(c);
    e.view.group_started("alt.b", 2, 3);
    c.articles_examined = 40;
    e.view.counters_changed(c);  // nothing filed here
    e.view.group_started("alt.c", 3, 3);
    c.pictures = 1044;
    e.view.counters_changed(c);
    e.view.session_ended(SessionEnd::Completed, {});
  });
  auto run = [&] {
    app->start();
    while (app->session_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  run();
  ASSERT_EQ(windows.harvests.size(), 1u);
  EXPECT_EQ(windows.harvests[0], (std::pair<std::int64_t, int>{1044, 2}));
  app->set_session_body([](EngineContext& e) { e.view.session_ended(SessionEnd::Completed, {}); });
  run();
  EXPECT_EQ(windows.harvests.size(), 1u);
  app->settings().update([](Settings& s) { s.notify = 0; });
  app->set_session_body([](EngineContext& e) {
    SessionCounters c;
    c.pictures = 5;
    e.view.counters_changed(c);
    e.view.session_ended(SessionEnd::Stopped, {});
  });
  run();
  EXPECT_EQ(windows.harvests.size(), 1u);
}

// Why Start did nothing stays in the connection line through the ticks, until the next command.
TEST_F(AppTest, AReasonStaysUntilTheNextCommand) {
  start("news_server=127.0.0.1\nport=99999\n");
  app->start();
  const std::string reason = view.text(ControlId::ConnectionStatus);
  EXPECT_THAT(reason, HasSubstr("Invalid Setup"));
  for (int second = 1; second <= 31; ++second) tick_at(second);
  EXPECT_EQ(view.text(ControlId::ConnectionStatus), reason);
  app->setup();
  tick_at(41);
  EXPECT_THAT(view.text(ControlId::ConnectionStatus), HasSubstr("connection attempts"));
}

TEST_F(AppTest, BozoBlacklistsTheTrimmedAuthorAndRemovesAllItsRows) {
  start();
  auto& q = app->pending();
  q.append("10\t Some One \t600\tpic1.jpg");
  q.append("11\tother\t600\tpic2.jpg");
  q.append("12\tSOME ONE\t600\tpic3.jpg");
  q.append("13\tsome one\t600\tpic4.jpg");
  app->bozo(RowRef{2, "12\tSOME ONE\t600\tpic3.jpg"});
  EXPECT_EQ(dialogs.boxes().back().caption, "Bozo Bucket - The Author Blacklist");
  EXPECT_THAT(dialogs.boxes().back().text, ::testing::EndsWith("\n\nsome one"));  // who is blacklisted
  EXPECT_EQ(app->blacklist().entries(), std::vector<std::string>{"some one"});
  EXPECT_EQ(q.rows(), std::vector<std::string>{"11\tother\t600\tpic2.jpg"});
  EXPECT_EQ(view.text(ControlId::PendingBox), "1 Pending Downloads");
  EXPECT_EQ(read_file("BOZOS.FNK"), "some one\n");
  EXPECT_TRUE(logged("Author Added To Blacklist: some one"));

  // A known author: no new entry and no write, but the rows still go.
  q.append("14\tsome one \t600\tpic5.jpg");
  app->bozo(RowRef{1, "14\tsome one \t600\tpic5.jpg"});
  EXPECT_EQ(app->blacklist().count(), 1u);
  EXPECT_EQ(read_file("BOZOS.FNK"), "some one\n");
  EXPECT_EQ(q.count(), 1u);

  // Cancel in the question box changes nothing.
  dialogs.queue_answer(Answer::Cancel);
  app->bozo(RowRef{0, "11\tother\t600\tpic2.jpg"});
  EXPECT_EQ(q.count(), 1u);
}

TEST_F(AppTest, BlacklistAuthorByNameTakesTheBozoPath) {
  start();
  auto& q = app->pending();
  q.append("10\tSome One <s@x>\t600\tpic1.jpg");
  q.append("11\tother\t600\tpic2.jpg");
  dialogs.queue_answer(Answer::Cancel);
  EXPECT_FALSE(app->blacklist_author(" Some One <s@x> "));
  EXPECT_EQ(app->blacklist().count(), 0u);

  EXPECT_TRUE(app->blacklist_author(" Some One <s@x> "));
  EXPECT_EQ(dialogs.boxes().back().caption, "Bozo Bucket - The Author Blacklist");
  EXPECT_EQ(read_file("BOZOS.FNK"), "some one <s@x>\n");
  EXPECT_EQ(q.rows(), std::vector<std::string>{"11\tother\t600\tpic2.jpg"});
  EXPECT_EQ(view.text(ControlId::PendingBox), "1 Pending Downloads");

  // No author would match every row without one: refused before asking.
  const auto asked = dialogs.boxes().size();
  EXPECT_FALSE(app->blacklist_author("  "));
  EXPECT_EQ(dialogs.boxes().size(), asked);
}

TEST_F(AppTest, BozoWithoutSelectionRunsTheDialogAndReloadsOnOk) {
  start();
  app->bozo(std::nullopt);
  EXPECT_EQ(windows.bozo_runs, 1);
  write_file("BOZOS.FNK", "a\nb\n");
  windows.bozo_answer = true;
  app->bozo(std::nullopt);
  EXPECT_EQ(app->blacklist().entries(), (std::vector<std::string>{"b", "a"}));
}

TEST_F(AppTest, DownloadNextMovesRowTwoUpAndRefusesTheTopRows) {
  start();
  for (int i = 0; i < 5; ++i) app->pending().append(std::string("r").append(std::to_string(i)));
  app->download_next(RowRef{2, "r2"});
  EXPECT_EQ(app->pending().rows(), (std::vector<std::string>{"r0", "r2", "r1", "r3", "r4"}));
  EXPECT_TRUE(dialogs.boxes().empty());
  app->download_next(RowRef{1, "r2"});
  app->download_next(std::nullopt);
  ASSERT_EQ(dialogs.boxes().size(), 2u);
  EXPECT_EQ(dialogs.boxes()[0].caption, "No or Invalid Article Selected");
  // The session took row 0 away since the click: the row is followed by its text.
  app->pending().remove_front();
  app->download_next(RowRef{4, "r4"});
  EXPECT_EQ(app->pending().rows(), (std::vector<std::string>{"r2", "r4", "r1", "r3"}));
}

TEST_F(AppTest, DoubleClicksRemovePendingRowsAndHistoryEntries) {
  write_file("HISTORY.FNK", "<a>\n<b>\n");
  start();
  app->pending().append("x");
  app->pending().append("y");
  app->remove_pending(RowRef{0, "x"});
  EXPECT_EQ(app->pending().rows(), std::vector<std::string>{"y"});
  EXPECT_EQ(view.text(ControlId::PendingBox), "1 Pending Downloads");
  app->remove_history(ControlId::ArticleIdList, RowRef{0, "<b>"});
  EXPECT_EQ(app->article_ids().entries(), std::vector<std::string>{"<a>"});
  EXPECT_EQ(read_file("HISTORY.FNK"), "<a>\n<b>\n");
}

TEST_F(AppTest, TickShowsLineProgressBeyondTheAnnouncedCount) {
  start();
  app->state().article_lines = 100;
  app->state().article_line = 120;
  tick_at(5);
  EXPECT_EQ(view.text(ControlId::DownloadStatus), "Line 120 of 100 ( 120% )");
  EXPECT_EQ(view.progress(ControlId::ArticleProgress), 100);
  app->state().stop_requested = 1;
  tick_at(6);
  EXPECT_EQ(view.text(ControlId::DownloadStatus), "Stop Pending...Please wait");
  EXPECT_EQ(app->state().article_lines, 0u);
  EXPECT_EQ(view.progress(ControlId::ArticleProgress), 0);
}

TEST_F(AppTest, ThroughputLineAndRates) {
  start();
  app->state().byte_count = 6100;
  tick_at(61);
  EXPECT_EQ(view.text(ControlId::Throughput),
            "6100 bytes in 00:01:01 (Avg:100 bytes/s, Last Min.:0 bytes/s, Peak:0 bytes/s)");
  app->state().byte_count = 18100;  // 12,000 bytes during the first minute window
  tick_at(121);
  EXPECT_EQ(view.text(ControlId::Throughput),
            "18100 bytes in 00:02:01 (Avg:149 bytes/s, Last Min.:200 bytes/s, Peak:200 bytes/s)");
  tick_at(3725);
  EXPECT_THAT(view.text(ControlId::Throughput), HasSubstr(" in 01:02:05 "));
  EXPECT_THAT(view.text(ControlId::Throughput), HasSubstr("Last Min.:0 bytes/s, Peak:200 bytes/s"));
}

TEST_F(AppTest, CountsAndSchedulerLinesAtTheirSeconds) {
  write_file("HISTORY.FNK", "<a>\n<b>\n");
  start("unattended_operation=1\n[SCHEDULE]\nMonday=1\nFriday=1\n");
  tick_at(11);
  EXPECT_EQ(view.text(ControlId::ArticleIdLabel), "2 Article ID's");
  EXPECT_EQ(view.text(ControlId::SchedulerStatus), "Scheduler: *M***F* at 00:30-05:30");
  EXPECT_EQ(view.text(ControlId::ConnectionStatus), "Nobody... 0 connection attempts, waiting for scheduler");
  tick_at(14);
  EXPECT_EQ(view.text(ControlId::FilenamesLabel), "0 Downloaded Files");
  tick_at(17);
  EXPECT_EQ(view.text(ControlId::BlacklistLabel), "0 Blacklisted Bozos");
}

TEST_F(AppTest, RunningTimeStopsAConnectedSessionAtSecondSeventyFive) {
  start("max_connecttime=1\n");
  app->state().connected = 1;
  tick_at(15);
  tick_at(74);
  EXPECT_TRUE(view.commands().empty());
  tick_at(75);
  EXPECT_EQ(view.commands(), std::vector<Command>{Command::Stop});
  EXPECT_TRUE(logged("Max Connect Time Expired"));
  EXPECT_EQ(app->state().archive_tot_time, 3);
}

TEST_F(AppTest, LostSessionIsRestartedAtTheNextWindowBoundary) {
  start();
  app->state().auto_reconnect = 1;
  tick_at(60);   // the first window begins
  tick_at(100);
  EXPECT_TRUE(view.commands().empty());
  tick_at(120);  // the second boundary: rate, then the reconnect test
  EXPECT_EQ(view.commands(), std::vector<Command>{Command::Start});
  EXPECT_EQ(view.enabled(ControlId::StartButton), 0);
  EXPECT_TRUE(logged("Attempting Auto ReConnect To News Server"));
  tick_at(180);  // Start is still disabled: no second press
  EXPECT_EQ(view.commands().size(), 1u);
}

TEST_F(AppTest, ProgressSoundAndInactivityWarning) {
  start();
  app->state().byte_count = 10;
  tick_at(1);
  EXPECT_EQ(dialogs.sounds(), std::vector<std::string>{"boink.wav"});
  tick_at(2);
  EXPECT_EQ(dialogs.sounds().size(), 1u);
  app->state().connected = 1;
  for (int s = 3; s <= 61; ++s) tick_at(s);
  EXPECT_FALSE(logged("News Server Network Activity 60 Second Timeout"));
  tick_at(62);  // 61 ticks without a change of byte_count
  EXPECT_TRUE(logged("News Server Network Activity 60 Second Timeout"));
  EXPECT_EQ(dialogs.beeps(), std::vector<Beep>{Beep::Exclamation});
}

TEST_F(AppTest, ScheduleStartsAndStopsSessionsAtTheWindowEdges) {
  // FakeClock's day is Monday 2026-12-07, 04:11 UTC at uptime 0.
  start("unattended_operation=1\n[SCHEDULE]\nMonday=1\nStart_Hour=4\nStart_Min=20\nEnd_Hour=4\nEnd_Min=40\n");
  std::atomic<int> sessions{0};
  app->set_session_body([&](EngineContext& e) {
    ++sessions;
    while (!e.state.stop_requested) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  tick_at(60);  // 04:12
  EXPECT_EQ(sessions, 0);
  tick_at(9 * 60);  // 04:20
  for (int i = 0; i < 2000 && sessions == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(sessions, 1);
  EXPECT_TRUE(logged("Scheduled Scan Window Begins"));
  tick_at(10 * 60);
  EXPECT_EQ(sessions, 1);
  tick_at(29 * 60);  // 04:40
  EXPECT_TRUE(logged("Scheduled Scan Window Ends"));
  EXPECT_EQ(app->state().stop_requested, 1);
}

TEST(Schedule, WindowAcrossMidnightBelongsToTheDayItStarts) {
  Settings s;
  s.unattended_operation = 1;
  s.days[5] = 1;  // Friday
  s.start_hour = 22;
  s.start_min = 0;
  s.end_hour = 2;
  s.end_min = 0;
  auto at = [](int wday, int hour, int min) {
    std::tm t{};
    t.tm_wday = wday;
    t.tm_hour = hour;
    t.tm_min = min;
    return t;
  };
  EXPECT_TRUE(in_scheduled_window(s, at(5, 23, 0)));
  EXPECT_TRUE(in_scheduled_window(s, at(6, 1, 59)));
  EXPECT_FALSE(in_scheduled_window(s, at(6, 2, 0)));
  EXPECT_FALSE(in_scheduled_window(s, at(5, 1, 0)));  // belongs to Thursday's window
  EXPECT_FALSE(in_scheduled_window(s, at(6, 23, 0)));
  s.days = {1, 0, 0, 0, 0, 0, 0};
  s.start_hour = 0;
  s.start_min = 30;
  s.end_hour = 5;
  s.end_min = 30;
  EXPECT_TRUE(in_scheduled_window(s, at(0, 0, 30)));
  EXPECT_FALSE(in_scheduled_window(s, at(0, 5, 30)));
  EXPECT_FALSE(in_scheduled_window(s, at(1, 1, 0)));
}

TEST_F(AppTest, AttendedCloseSavesStatisticsAndShowsTheDialog) {
  start("[HISTORY]\narchive_tot_time=119\narchive_connections=3\n");
  app->close();
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("archive_tot_time=119\n"));
  ASSERT_EQ(windows.statistics.size(), 1u);
  EXPECT_EQ(windows.statistics[0].minutes, 1u);
  EXPECT_EQ(windows.statistics[0].sessions, 3u);
  EXPECT_EQ(windows.closes, 1);
  app->close();  // a second Close does nothing more
  EXPECT_EQ(windows.closes, 1);
}

TEST_F(AppTest, UnattendedCloseShowsNothingAndStopsTheSession) {
  start("unattended_operation=1\n[HISTORY]\narchive_tot_time=120\n");
  std::atomic<bool> ended{false};
  app->set_session_body([&](EngineContext& e) {
    while (!e.state.stop_requested) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ended = true;
  });
  app->start();
  write_file("temp.uue", "x");
  app->close();
  EXPECT_TRUE(ended);
  EXPECT_TRUE(windows.statistics.empty());
  EXPECT_EQ(app->exit_statistics().minutes, 2u);
  EXPECT_FALSE(exists("temp.uue"));
  EXPECT_EQ(windows.closes, 1);
}

}  // namespace
}  // namespace fk::test
