// SPDX-License-Identifier: GPL-3.0-or-later
// FENNICK.INI: defaults, loading, the start-up corrections, saving, passwords, sharing across threads.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "common/child_process.h"
#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "session/pending_queue.h"
#include "store/history_buffer.h"
#include "store/profile_file.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

struct Fixture : ::testing::Test {
  TempDir dir;
  test::FakeClock clock;
  SharedSettings shared;
  StatusLog log{shared, clock};

  // The messages of fk.log, without time stamps.
  std::vector<std::string> logged() {
    std::vector<std::string> out;
    std::string all = read_file("fk.log");
    std::size_t pos = 0;
    while (pos < all.size()) {
      std::size_t nl = all.find('\n', pos);
      std::string line = all.substr(pos, nl - pos);
      auto dash = line.find(" - ");
      out.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
      pos = nl + 1;
    }
    return out;
  }
};

TEST_F(Fixture, EmptyFolderGivesEveryDefaultAndNoCorrection) {
  std::string path;
  EXPECT_FALSE(locate_settings_file(path));
  EXPECT_EQ(path, (dir.path() / "FENNICK.INI").string());
  Settings s;
  s.news_server = "stale";
  ArchiveCounters a{1, 2, 3, 4};
  load_settings(ProfileFile(path), s, a);
  Settings d;
  EXPECT_EQ(s.news_server, "");
  EXPECT_EQ(s.port, 119u);
  EXPECT_EQ(s.check_dialup, 1);
  EXPECT_EQ(s.max_connecttime, 300);
  EXPECT_EQ(s.taskbar_name, "2nd Quarter Projections");
  EXPECT_EQ(s.filter1, d.filter1);
  EXPECT_EQ(s.filter3, "re:*|*free*|*http:*");
  EXPECT_EQ(s.minlines, 500u);
  EXPECT_EQ(s.maxlines, 5000u);
  EXPECT_EQ(s.start_min, 30u);
  EXPECT_EQ(s.end_hour, 5u);
  EXPECT_EQ(a.connections, 0);
  EXPECT_EQ(a.tot_articles, 0);
  apply_startup_corrections(s, log);
  EXPECT_FALSE(test::exists("fk.log"));
}

TEST_F(Fixture, CorrectionsRunInOrderAndLeaveTheFileAlone) {
  write_file("FENNICK.INI", "[SELECTION]\nminlines=0\nmaxlines=0\n");
  Settings s;
  ArchiveCounters a;
  load_settings(ProfileFile("FENNICK.INI"), s, a);
  apply_startup_corrections(s, log);
  EXPECT_EQ(s.minlines, 1u);
  EXPECT_EQ(s.maxlines, 1001u);
  EXPECT_EQ(logged(), (std::vector<std::string>{
                          "Invalid Setup: minimum lines too small... defaulting to 1",
                          "Invalid Setup: maximum lines <= minimum lines... defaulting to min + 1000"}));
  EXPECT_EQ(read_file("FENNICK.INI"), "[SELECTION]\nminlines=0\nmaxlines=0\n");

  for (auto [min, max] : {std::pair{500u, 400u}, std::pair{500u, 500u}}) {
    Settings t;
    t.minlines = min;
    t.maxlines = max;
    apply_startup_corrections(t, log);
    EXPECT_EQ(t.maxlines, 1500u);
  }
}

// The keys of a file's lines, in file order.
std::vector<std::string> keys_of(const std::string& file) {
  std::vector<std::string> keys;
  std::size_t pos = 0;
  while (pos < file.size()) {
    std::size_t nl = file.find('\n', pos);
    std::string line = file.substr(pos, nl - pos);
    if (line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
    pos = nl + 1;
  }
  return keys;
}

TEST_F(Fixture, SaveWritesEveryTableKeyInOrderThenLogs) {
  Settings s;
  s.pass = "secret";
  s.days[1] = 1;
  save_settings(ProfileFile("FENNICK.INI"), s, log);
  std::string file = read_file("FENNICK.INI");
  std::vector<std::string> keys = keys_of(file);
  std::vector<std::string> table_keys;
  for (const SettingDef& d : settings_table()) table_keys.emplace_back(d.key);
  EXPECT_EQ(keys, table_keys);
  // The classic 42 page keys keep their order; the newer COMM keys follow port.
  const std::vector<std::string> newer = {"use_tls",        "tls_ca_file",    "tls_verify",
                                          "idle_timeout",   "fast_transfers", "pipeline_depth", "use_compression",
                                          "connections",    "incremental_scan", "first_scan_articles"};
  const std::vector<std::string> newer_selection = {"collect_multipart", "multipart_keep_days"};
  const std::vector<std::string> window = {"notify", "window_geometry", "pending_columns"};
  const std::vector<std::string> bounds = {"max_article_mb", "headless_attempts"};
  // The browser view's section comes last, after the schedule.
  const std::vector<std::string> web = {"web_port", "web_bind", "web_token"};
  EXPECT_EQ(std::vector<std::string>(keys.end() - 3, keys.end()), web);
  std::vector<std::string> classic;
  for (const auto& k : keys)
    if (std::find(newer.begin(), newer.end(), k) == newer.end() &&
        std::find(newer_selection.begin(), newer_selection.end(), k) == newer_selection.end() &&
        std::find(window.begin(), window.end(), k) == window.end() &&
        std::find(bounds.begin(), bounds.end(), k) == bounds.end() &&
        std::find(web.begin(), web.end(), k) == web.end())
      classic.push_back(k);
  const std::vector<std::string> expected = {
      "news_server", "user", "pass", "isp_user", "isp_pass", "unattended_operation", "check_auth",
      "check_dialup", "max_connecttime", "port", "files_logging_enabled", "status_logging_enabled",
      "detailed_status_logging_enabled", "max_history", "max_filenames", "max_blacklist", "taskbar_name",
      "display_as_downloaded", "sound_on", "check_decode", "check_subject", "filter1", "filter2", "filter3",
      "check_date", "max_days", "check_minlines", "minlines", "check_maxlines", "maxlines", "max_art_per_grp",
      "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Start_Hour", "Start_Min",
      "End_Hour", "End_Min"};
  EXPECT_EQ(classic, expected);
  EXPECT_EQ(std::vector<std::string>(keys.begin() + 10, keys.begin() + 18),
            std::vector<std::string>(newer.begin(), newer.begin() + 8));
  EXPECT_EQ(std::vector<std::string>(keys.begin() + 18, keys.begin() + 20), bounds);
  auto limit = std::find(keys.begin(), keys.end(), "max_art_per_grp");
  ASSERT_LT(limit + 2, keys.end());
  EXPECT_EQ(std::vector<std::string>(limit + 1, limit + 3), std::vector<std::string>(newer.begin() + 8, newer.end()));
  // Multi-part collection follows the scan settings, off and keeping sets a week unless changed.
  EXPECT_EQ(std::vector<std::string>(limit + 3, limit + 5), newer_selection);
  EXPECT_NE(file.find("collect_multipart=0\nmultipart_keep_days=7\n"), std::string::npos);
  EXPECT_NE(file.find("pass=c2VjcmV0\n"), std::string::npos);
  EXPECT_NE(file.find("isp_pass=\n"), std::string::npos);
  EXPECT_EQ(logged(), std::vector<std::string>{"Setup Changed and Saved"});

  Settings back;
  ArchiveCounters a;
  load_settings(ProfileFile("FENNICK.INI"), back, a);
  EXPECT_EQ(back.pass, "secret");
  EXPECT_EQ(back.isp_pass, "");
  EXPECT_EQ(back.days[1], 1);
  EXPECT_TRUE(back.scheduler_active() == false);  // unattended is off
}

TEST_F(Fixture, CancelledFirstSetupLeavesOnlyTheHistorySection) {
  save_history_statistics(ProfileFile("FENNICK.INI"), ArchiveCounters{2, 119, 5, 1000});
  EXPECT_EQ(read_file("FENNICK.INI"),
            "[HISTORY]\narchive_connections=2\narchive_tot_time=119\narchive_pic_count=5\n"
            "archive_tot_articles=1000\n");
  std::string path;
  EXPECT_TRUE(locate_settings_file(path));
  Settings s;
  ArchiveCounters a;
  load_settings(ProfileFile(path), s, a);
  EXPECT_EQ(a.tot_time, 119);
  EXPECT_EQ(s.news_server, "");
}

TEST_F(Fixture, StoredTextsAreCutToTheirBuffers) {
  write_file("FENNICK.INI", "[COMM]\nnews_server=" + std::string(120, 'n') + "\n[SCREEN]\ntaskbar_name=" +
                                std::string(150, 't') + "\n");
  Settings s;
  ArchiveCounters a;
  load_settings(ProfileFile("FENNICK.INI"), s, a);
  EXPECT_EQ(s.news_server.size(), 98u);
  EXPECT_EQ(s.taskbar_name.size(), 99u);
}

TEST_F(Fixture, AnOldFileGainsTheNewKeysAfterItsOwnAndKeepsEverythingElse) {
  const std::string old_file =
      "; my news\n[COMM]\nnews_server=news.example\nport=119\n\n[LOGGING]\nmax_history=100\n[EXTRA]\nmine=1\n";
  write_file("FENNICK.INI", old_file);
  Settings s;
  ArchiveCounters a;
  EXPECT_TRUE(load_settings(ProfileFile("FENNICK.INI"), s, a).empty());
  EXPECT_EQ(s.use_tls, Settings::kPlain);
  EXPECT_EQ(s.tls_ca_file, "");
  EXPECT_EQ(s.tls_verify, 1);
  EXPECT_EQ(s.idle_timeout, 120);
  EXPECT_EQ(s.fast_transfers, 0);  // the paced classic behaviour stays the default
  EXPECT_EQ(s.pipeline_depth, 8);
  EXPECT_EQ(s.use_compression, 1);
  EXPECT_EQ(s.max_history, 100u);

  s.use_tls = Settings::kStartTls;
  s.tls_ca_file = "/etc/my ca.pem";
  save_settings(ProfileFile("FENNICK.INI"), s, log);
  std::string file = read_file("FENNICK.INI");
  EXPECT_EQ(file.rfind("; my news\n[COMM]\nnews_server=news.example\nport=119\nuser=", 0), 0u);
  EXPECT_NE(file.find("[EXTRA]\nmine=1\n"), std::string::npos);
  auto keys = keys_of(file);
  auto at = [&](const char* k) { return std::find(keys.begin(), keys.end(), k) - keys.begin(); };
  EXPECT_GT(at("use_tls"), at("port"));
  EXPECT_LT(at("idle_timeout"), at("files_logging_enabled"));

  // Every row survives a save and a load with a value other than its default.
  Settings changed;
  for (const SettingDef& d : settings_table()) {
    if (d.is_text())
      d.text(changed) = "v-" + std::string(d.key).substr(0, 10);
    else
      d.set_number(changed, d.number_default == d.high ? d.low : d.number_default + 1);
  }
  save_settings(ProfileFile("FENNICK.INI"), changed, log);
  Settings back;
  EXPECT_TRUE(load_settings(ProfileFile("FENNICK.INI"), back, a).empty());
  for (const SettingDef& d : settings_table()) {
    if (d.is_text())
      EXPECT_EQ(d.text(back), d.text(changed)) << d.key;
    else if (d.bad == BadValue::OffOnlyAtZero)
      EXPECT_EQ(d.number(back), d.number(changed) != 0 ? 1 : 0) << d.key;  // on is on, whatever number said it
    else
      EXPECT_EQ(d.number(back), d.number(changed)) << d.key;
  }
}

TEST_F(Fixture, OutOfRangeNumbersAreClampedWithOneNoteEachAndTheFileIsLeftAlone) {
  const std::string text =
      "[COMM]\nmax_connecttime=-99999999999\nuse_tls=7\nidle_timeout=0\npipeline_depth=1000\n"
      "[LOGGING]\nmax_history=9223372036854775808\nmax_filenames=-5\nmax_blacklist=3\n"
      "[SELECTION]\nminlines=4294967295\nmaxlines=-1\nmax_art_per_grp=99999999999\nmax_days=12abc\n"
      "[SCHEDULE]\nStart_Hour=24\nEnd_Min=59\nFriday=9223372036854775808\n";
  write_file("FENNICK.INI", text);
  Settings s;
  ArchiveCounters a;
  std::vector<std::string> notes = load_settings(ProfileFile("FENNICK.INI"), s, a);
  EXPECT_EQ(s.max_connecttime, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(s.use_tls, Settings::kStartTls);
  EXPECT_EQ(s.idle_timeout, 1);
  EXPECT_EQ(s.pipeline_depth, 64);
  EXPECT_EQ(s.max_history, 32700u);  // not 0: that would empty the history at every start
  EXPECT_EQ(s.max_filenames, 10u);  // a negative count is the nearest sane one, not a wrapped huge one
  EXPECT_EQ(s.max_blacklist, 10u);
  EXPECT_EQ(s.minlines, 4294967295u);  // within 32 bits: used as read, as the sheet stores it
  EXPECT_EQ(s.maxlines, 4294967295u);
  EXPECT_EQ(s.max_art_per_grp, 4294967295u);
  EXPECT_EQ(s.max_days, 12);  // the leading number, as always
  EXPECT_EQ(s.start_hour, 23u);
  EXPECT_EQ(s.end_min, 59u);
  EXPECT_NE(s.days[5], 0);  // a huge flag is on, not wrapped to off
  const std::vector<std::string> noted = {"max_connecttime", "use_tls",       "idle_timeout", "pipeline_depth",
                                          "max_history",     "max_filenames", "max_blacklist",
                                          "max_art_per_grp", "Friday",        "Start_Hour"};
  ASSERT_EQ(notes.size(), noted.size());
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i].rfind("Invalid Setup: " + noted[i] + "=", 0), 0u) << notes[i];
    EXPECT_EQ(std::count(notes[i].begin(), notes[i].end(), '\n'), 0);
  }
  EXPECT_EQ(read_file("FENNICK.INI"), text);
  EXPECT_FALSE(test::exists("fk.log"));  // the caller logs the notes
}

TEST_F(Fixture, APortThatIsNoPortIsRefusedNotWrapped) {
  for (const char* bad : {"abc", "", "0", "65536", "-1", "12x", "4294967415", "1 2"}) {
    write_file("FENNICK.INI", std::string("[COMM]\nnews_server=h\nport=") + bad + "\n");
    Settings s;
    ArchiveCounters a;
    auto notes = load_settings(ProfileFile("FENNICK.INI"), s, a);
    EXPECT_EQ(s.port, 0u) << bad;
    ASSERT_EQ(notes.size(), 1u) << bad;
    EXPECT_NE(notes[0].find("port="), std::string::npos);
    EXPECT_NE(connection_setting_problem(s).find("port"), std::string::npos) << bad;
  }
  for (auto [text, port] : {std::pair{" 563 ", 563u}, std::pair{"\"8119\"", 8119u}, std::pair{"+1", 1u},
                            std::pair{"65535", 65535u}}) {
    write_file("FENNICK.INI", std::string("[COMM]\nnews_server=h\nport=") + text + "\n");
    Settings s;
    ArchiveCounters a;
    EXPECT_TRUE(load_settings(ProfileFile("FENNICK.INI"), s, a).empty()) << text;
    EXPECT_EQ(s.port, port);
    EXPECT_EQ(connection_setting_problem(s), "");
  }
  Settings none;
  EXPECT_NE(connection_setting_problem(none).find("news_server"), std::string::npos);
  EXPECT_THROW(setting_def("no_such_key"), std::out_of_range);
}

// No spelling of a TLS key may lower protection: words are refused, only a plain 0 means "off".
TEST_F(Fixture, TlsKeysNeverFallBackToLessProtection) {
  auto load = [](const std::string& comm, std::vector<std::string>* notes = nullptr) {
    write_file("FENNICK.INI", "[COMM]\nnews_server=h\n" + comm);
    Settings s;
    ArchiveCounters a;
    auto n = load_settings(ProfileFile("FENNICK.INI"), s, a);
    if (notes) *notes = n;
    return s;
  };
  for (const char* word : {"yes", "true", "tls", "starttls", "STARTTLS", "", "1x", "-1", "-7", "0x1"}) {
    std::vector<std::string> notes;
    const Settings s = load(std::string("use_tls=") + word + "\r\n", &notes);
    EXPECT_EQ(s.use_tls, -1) << word;
    ASSERT_EQ(notes.size(), 1u) << word;
    EXPECT_EQ(notes[0], std::string("Invalid Setup: use_tls=") + word + " is not a number from 0 to 2");
    EXPECT_EQ(connection_setting_problem(s), "use_tls is not a number from 0 to 2: set use_tls in section [COMM] of "
                                             "FENNICK.INI");
  }
  for (auto [text, mode] : {std::pair{" 2 ", 2}, std::pair{"7", 2}, std::pair{"99999999999", 2},
                            std::pair{"1", 1}, std::pair{"0", 0}, std::pair{"+0", 0}}) {
    const Settings s = load(std::string("use_tls=") + text + "\n");
    EXPECT_EQ(s.use_tls, mode) << text;
    EXPECT_EQ(connection_setting_problem(s), "") << text;
  }
  EXPECT_EQ(load("").use_tls, Settings::kPlain);  // absent: the default

  for (const char* on : {"yes", "true", "", "00", "0x1", "O", "1", "-0", "0 0"})
    EXPECT_EQ(load(std::string("tls_verify=") + on + "\n").tls_verify, 1) << on;
  for (const char* off : {"0", " 0\t", "0\r", "\"0\""})
    EXPECT_EQ(load(std::string("tls_verify=") + off + "\n").tls_verify, 0) << off;
  EXPECT_EQ(load("").tls_verify, 1);
}

// The headless tests make a file with a password private through the real program; here, the other keys
// and a file without any secret, whose mode is the user's.
TEST_F(Fixture, OnlyAFileHoldingASecretIsMadePrivate) {
  auto mode_after_close = [&](const std::string& text) {
    write_file("FENNICK.INI", text);
    ::chmod("FENNICK.INI", 0644);
    save_history_statistics(ProfileFile("FENNICK.INI"), ArchiveCounters{});
    keep_settings_file_private(ProfileFile("FENNICK.INI"), log);
    struct stat st {};
    ::stat("FENNICK.INI", &st);
    return st.st_mode & 07777;
  };
  EXPECT_EQ(mode_after_close("[COMM]\nnews_server=h\npass=\nisp_pass= \n"), 0644u);
  EXPECT_FALSE(test::exists("fk.log"));
  EXPECT_EQ(mode_after_close("[COMM]\nisp_pass=eA==\n"), 0600u);
  EXPECT_EQ(logged(), std::vector<std::string>{"FENNICK.INI holds a password: made readable by its owner only (mode 0600)"});
}

TEST(Base64, EncodesStandardAlphabetWithPadding) {
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode("f"), "Zg==");
  EXPECT_EQ(base64_encode("fo"), "Zm8=");
  EXPECT_EQ(base64_encode("foo"), "Zm9v");
  EXPECT_EQ(base64_encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(Base64, DecodesLenientlyUpToTheFirstForeignCharacter) {
  EXPECT_EQ(base64_decode("Zm9v", 102), "foo");
  EXPECT_EQ(base64_decode(" \t Zm9v", 102), "foo");
  EXPECT_EQ(base64_decode("Zm8=", 102), "fo");
  EXPECT_EQ(base64_decode("Zm9v!garbage", 102), "foo");
  EXPECT_EQ(base64_decode("hello world", 102), base64_decode("hello", 102));
  EXPECT_EQ(base64_decode("", 102), "");
  EXPECT_EQ(base64_decode(std::string(400, 'A'), 102).size(), 101u);
  for (std::string pw : std::vector<std::string>{"a", "ab", "abc", "p@ss w0rd!", std::string(73, 'x')})
    EXPECT_EQ(base64_decode(base64_encode(pw), 102), pw);
}

TEST(Settings, SchedulerNeedsUnattendedAndADay) {
  Settings s;
  EXPECT_FALSE(s.scheduler_active());
  s.days[5] = 1;
  EXPECT_FALSE(s.scheduler_active());
  s.unattended_operation = 1;
  EXPECT_TRUE(s.scheduler_active());
  s.days[5] = 0;
  EXPECT_FALSE(s.scheduler_active());
}

TEST(SharedSettings, CacheSeesReplacementsAndReadersNeverTearTexts) {
  SharedSettings shared;
  SettingsCache cache(shared);
  EXPECT_EQ(cache.get().port, 119u);
  shared.update([](Settings& s) { s.port = 563; });
  EXPECT_EQ(cache.get().port, 563u);

  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i)
      shared.update([&](Settings& s) { s.filter1 = std::string(i % 2 ? 90 : 3, i % 2 ? 'a' : 'b'); });
    done = true;
  });
  SettingsCache reader(shared);
  while (!done) {
    const std::string& f = reader.get().filter1;
    ASSERT_TRUE(f == "*.jpg*|*.gif*" || f == "bbb" || f == std::string(90, 'a'));
  }
  writer.join();
}

TEST(SharedSettings, UpdatesOfTwoThreadsAreBothKept) {
  SharedSettings shared;
  auto bump = [&](std::uint32_t Settings::*field) {
    for (int i = 0; i < 2000; ++i) shared.update([&](Settings& s) { ++(s.*field); });
  };
  std::thread a(bump, &Settings::start_hour), b(bump, &Settings::end_min);
  a.join();
  b.join();
  EXPECT_EQ(shared.get().start_hour, 2000u);
  EXPECT_EQ(shared.get().end_min, 2030u);
}

// No callback runs under a lock: one that logs (the log reads the settings) or calls back into its
// container must not hang. In a child process, so a hang fails the test rather than stopping the suite.
TEST_F(Fixture, CallbacksMayLogAndCallBackIn) {
  auto child = test::ChildProcess::fork([&] {
    shared.update([&](Settings& s) {
      log.log_status("in update", 0);
      s.port = 1;
    });
    shared.read([&](const Settings&) {
      log.log_status("in read", 0);
      return 0;
    });
    HistoryBuffer history("H.FNK");
    std::size_t seen = 0;
    history.set_listener([&](const HistoryEvent&) { seen = history.count(); });
    history.add_at_top("<a@b>", 10);
    PendingQueue queue;
    queue.set_listener([&](const PendingEvent&) { log.log_status(std::to_string(queue.count()) + " rows", 0); });
    queue.append("1\tme\t600\tpic.jpg");
    queue.remove_if([&](std::string_view) { return queue.count() == 1; });
    return seen == 1 && queue.empty() ? 0 : 3;
  });
  auto end = child.wait_for(std::chrono::seconds(20));
  ASSERT_TRUE(end) << "a callback under a lock hangs";
  EXPECT_TRUE(end->exited && end->status == 0);
  EXPECT_EQ(logged(), (std::vector<std::string>{"in update", "in read", "1 rows", "0 rows"}));
}

// The pipelined download loop removes rows by their text: the window's list must hear it at once.
TEST_F(Fixture, RemovingARowByItsTextReachesTheListener) {
  PendingQueue queue;
  std::vector<PendingEvent::Kind> heard;
  queue.set_listener([&](const PendingEvent& e) { heard.push_back(e.kind); });
  queue.append("1\tme\t600\ta.jpg");
  queue.append("2\tme\t600\tb.jpg");
  EXPECT_TRUE(queue.remove_row("2\tme\t600\tb.jpg"));
  EXPECT_EQ(heard, (std::vector{PendingEvent::Kind::Inserted, PendingEvent::Kind::Inserted,
                                PendingEvent::Kind::Removed}));
  EXPECT_FALSE(queue.remove_row("2\tme\t600\tb.jpg"));
  EXPECT_EQ(heard.size(), 3u);
}

}  // namespace
}  // namespace fk
