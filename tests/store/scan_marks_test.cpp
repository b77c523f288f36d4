// SPDX-License-Identifier: GPL-3.0-or-later
// The scan marks file: reading what others may have written, changes, and a writer killed mid-write.
#include "store/scan_marks.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/temp_dir.h"

namespace fk {
namespace {

using test::read_file;
using test::write_file;

TEST(ScanMarksFile, ReadsWellFormedLinesAndRewritesWholeLines) {
  test::TempDir dir;
  write_file(kScanMarkFileName,
             "alt.a 1049998112\r\n"
             "  alt.b\t17  \n"
             "alt.c -4\n"
             "alt.d 12x\n"
             "alt.e\n" +
                 std::string(5000, 'z') + " 9\n" +
                 "alt.f 99999999999999999999\n"
                 "alt.g 0\n"
                 "alt.h 12");  // no line end: perhaps cut short, so not trusted
  ScanMarks marks;
  EXPECT_EQ(marks.all(),
            (std::map<std::string, std::int64_t>{{"alt.a", 1049998112}, {"alt.b", 17}, {"alt.g", 0}}));
  EXPECT_FALSE(marks.get("alt.c"));

  EXPECT_TRUE(marks.set("alt.c", 5));
  EXPECT_FALSE(marks.set("bad name", 5));
  EXPECT_FALSE(marks.set("", 5));
  EXPECT_FALSE(marks.set("alt.h", -1));
  EXPECT_TRUE(marks.forget({"alt.a", "alt.none"}));
  EXPECT_EQ(read_file(kScanMarkFileName), "alt.b 17\nalt.c 5\nalt.g 0\n");
  EXPECT_TRUE(marks.forget({"alt.none"}));
}

TEST(ScanMarksFile, AFailedRewriteKeepsTheOldMarks) {
  test::TempDir dir;
  ScanMarks marks;
  ASSERT_TRUE(marks.set("alt.a", 10));
  ::chmod(".", 0500);
  const bool written = marks.set("alt.a", 20);
  ::chmod(".", 0700);
  if (::geteuid() != 0) {
    EXPECT_FALSE(written);  // root writes anyway
  }
  EXPECT_EQ(marks.get("alt.a"), written ? 20 : 10);
}

// A process that rewrites the marks of many groups as fast as it can is killed at a random moment, again
// and again: each time the file holds one whole generation of marks.
TEST(ScanMarksFile, AKilledWriterLeavesTheOldOrTheNewMarksNeverATornFile) {
  test::TempDir dir;
  constexpr int kGroups = 300;
  for (int g = 0; g < kGroups; ++g) ASSERT_TRUE(ScanMarks().set("alt.binaries.group" + std::to_string(g), g));
  for (int round = 0; round < 8; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ScanMarks marks;
      for (std::int64_t generation = 1;; ++generation)
        for (int g = 0; g < kGroups; ++g)
          marks.set("alt.binaries.group" + std::to_string(g), generation * 1000 + g);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + round * 7));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string text = read_file(kScanMarkFileName);
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(text.back(), '\n');
    auto marks = ScanMarks().all();
    // Every line was read back as a mark, and each mark is one the writer wrote for its group.
    ASSERT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), marks.size());
    for (const auto& [name, mark] : marks)
      EXPECT_EQ(std::to_string(mark % 1000), name.substr(name.find("group") + 5)) << name;
    EXPECT_EQ(marks.size(), static_cast<std::size_t>(kGroups));
  }
}

}  // namespace
}  // namespace fk
