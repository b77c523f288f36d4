// FENNICK.INI: defaults, loading, the start-up corrections, saving, passwords, sharing across threads.
#include <gtest/gtest.h>

#include <thread>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
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

TEST_F(Fixture, SaveWritesThePageKeysInOrderThenLogs) {
  Settings s;
  s.pass = "secret";
  s.days[1] = 1;
  save_settings(ProfileFile("FENNICK.INI"), s, log);
  std::string file = read_file("FENNICK.INI");
  std::vector<std::string> keys;
  std::size_t pos = 0;
  while (pos < file.size()) {
    std::size_t nl = file.find('\n', pos);
    std::string line = file.substr(pos, nl - pos);
    if (line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
    pos = nl + 1;
  }
  const std::vector<std::string> expected = {
      "news_server", "user", "pass", "isp_user", "isp_pass", "unattended_operation", "check_auth",
      "check_dialup", "max_connecttime", "port", "files_logging_enabled", "status_logging_enabled",
      "detailed_status_logging_enabled", "max_history", "max_filenames", "max_blacklist", "taskbar_name",
      "display_as_downloaded", "sound_on", "check_decode", "check_subject", "filter1", "filter2", "filter3",
      "check_date", "max_days", "check_minlines", "minlines", "check_maxlines", "maxlines", "max_art_per_grp",
      "incremental_scan", "first_scan_articles", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Start_Hour", "Start_Min",
      "End_Hour", "End_Min"};
  EXPECT_EQ(keys, expected);
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

}  // namespace
}  // namespace fk
