// SPDX-License-Identifier: GPL-3.0-or-later
// fk.log and files.log line formats and gating.
#include <gtest/gtest.h>

#include <thread>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {
namespace {

using test::read_file;
using test::TempDir;

TEST(StatusLog, StampIsFixedWidthWithLeadingZeros) {
  std::tm t{};
  t.tm_year = 97;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_wday = 0;
  t.tm_hour = 4;
  t.tm_min = 11;
  t.tm_sec = 8;
  EXPECT_EQ(log_time_stamp(t), "Sun Dec 07 04:11:08 1997");
}

TEST(StatusLog, LevelsSelectThePrefixAndEmptyMessageIsABareLineEnd) {
  TempDir dir;
  test::FakeClock clock;  // Mon Dec 07 04:11:08 2026 (UTC)
  SharedSettings settings;
  StatusLog log(settings, clock);
  log.log_status("zero", 0);
  log.log_status("one", 1);
  log.log_status("two", 2);
  log.log_status("three", 3);
  log.log_status("seven", 7);
  log.log_status("", 1);
  log.log_status("neg", -2);
  const std::string s = "Mon Dec 07 04:11:08 2026";
  EXPECT_EQ(read_file("fk.log"), s + "   - zero\n" + s + "  +--- - one\n" + s + "  +------- - two\n" + s +
                                     "  +----------- - three\n" + s + "  +----------- - seven\n\n" + s +
                                     "   - neg\n");
}

TEST(StatusLog, DisabledLoggingCreatesNothingAndSettingIsReadPerLine) {
  TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  settings.update([](Settings& s) { s.status_logging_enabled = 0; });
  StatusLog log(settings, clock);
  log.log_status("hidden", 0);
  EXPECT_FALSE(test::exists("fk.log"));
  settings.update([](Settings& s) { s.status_logging_enabled = 1; });
  log.log_status("shown", 0);
  EXPECT_NE(read_file("fk.log").find("shown"), std::string::npos);
}

TEST(StatusLog, ANewRunKeepsThePreviousLogAsDotOne) {
  TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  StatusLog log(settings, clock);
  log.log_status("first run failed", 0);
  log.start_new_run();
  EXPECT_FALSE(test::exists("fk.log"));
  EXPECT_NE(read_file("fk.log.1").find("first run failed"), std::string::npos);
  log.log_status("second run", 0);
  log.start_new_run();
  EXPECT_EQ(read_file("fk.log.1").find("first run failed"), std::string::npos);
  EXPECT_NE(read_file("fk.log.1").find("second run"), std::string::npos);
  // A run that wrote nothing leaves the last real log alone.
  log.start_new_run();
  EXPECT_NE(read_file("fk.log.1").find("second run"), std::string::npos);
}

TEST(StatusLog, LinesOfSeveralThreadsStayWhole) {
  TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  StatusLog log(settings, clock);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) log.log_status(std::string(300, static_cast<char>('a' + t)), t);
    });
  for (auto& th : threads) th.join();
  std::string all = read_file("fk.log");
  std::size_t pos = 0, lines = 0;
  while (pos < all.size()) {
    std::size_t nl = all.find('\n', pos);
    std::string line = all.substr(pos, nl - pos);
    std::string body = line.substr(line.find(" - ") + 3);
    EXPECT_EQ(body, std::string(300, body[0]));
    ++lines;
    pos = nl + 1;
  }
  EXPECT_EQ(lines, 800u);
}

TEST(DownloadLog, LineIsPaddedNotCutAndDescriptionIsBounded) {
  EXPECT_EQ(files_log_line("a.jpg", 1234, "bob\tnice pic"), std::string(15, ' ') + "a.jpg\t     1234\t bob\tnice pic\n");
  std::string long_name(25, 'n');
  EXPECT_EQ(files_log_line(long_name, 0, "d"), long_name + "\t        0\t d\n");
  EXPECT_EQ(files_log_line("x", 123456789012, std::string(300, 'd')),
            std::string(19, ' ') + "x\t 123456789012\t " + std::string(199, 'd') + "\n");
}

TEST(DownloadLog, AppendsMeasuredSizesAndHonoursTheSetting) {
  TempDir dir;
  SharedSettings settings;
  DownloadLog files(settings);
  test::write_file("pic.jpg", std::string(777, 'x'));
  EXPECT_EQ(measured_file_size("pic.jpg"), 777);
  EXPECT_EQ(measured_file_size("moved-away.jpg"), 0);
  EXPECT_EQ(measured_file_size("."), 0);
  ASSERT_TRUE(files.append("pic.jpg", measured_file_size("pic.jpg"), "me\tsubject"));
  settings.update([](Settings& s) { s.files_logging_enabled = 0; });
  ASSERT_TRUE(files.append("other.jpg", 1, "x"));
  EXPECT_EQ(read_file("files.log"), files_log_line("pic.jpg", 777, "me\tsubject"));

  settings.update([](Settings& s) { s.files_logging_enabled = 1; });
  std::filesystem::create_directory("files.log.d");
  DownloadLog broken(settings, "files.log.d");
  EXPECT_FALSE(broken.append("a", 1, "b"));
}

TEST(DownloadLog, AuthorOfANameIsTakenFromItsNewestLine) {
  TempDir dir;
  test::write_file("files.log", files_log_line("a.jpg", 10, "Old <o@x>\tfirst") +
                                    files_log_line("a-very-long-picture-name.jpg", 10, "Long <l@x>\tlong") +
                                    "garbage without tabs\n" + files_log_line("b.jpg", 5, "B\tb") +
                                    files_log_line("a.jpg", 12, " New One \tagain\twith tab") +
                                    files_log_line("x.jpg", 1, "NoSubject"));
  EXPECT_EQ(files_log_author("files.log", "a.jpg"), " New One ");
  EXPECT_EQ(files_log_author("files.log", "a-very-long-picture-name.jpg"), "Long <l@x>");
  EXPECT_EQ(files_log_author("files.log", "x.jpg"), "NoSubject");
  EXPECT_EQ(files_log_author("files.log", "A.JPG"), std::nullopt);  // names are exact
  EXPECT_EQ(files_log_author("files.log", ".jpg"), std::nullopt);
  EXPECT_EQ(files_log_author("missing.log", "a.jpg"), std::nullopt);
}

}  // namespace
}  // namespace fk
