// SPDX-License-Identifier: GPL-3.0-or-later
// newsrc / newsrc.new: the dialog's load and save, the start-up count, adoption and the scan reader.
#include <gtest/gtest.h>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "store/newsrc.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {
namespace {

using test::read_file;
using test::write_file;

struct Newsrc : ::testing::Test {
  test::TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  StatusLog log{settings, clock};
  std::vector<std::string> titles;
  TitleCallback title = [this](const std::string& t) { titles.push_back(t); };
};

TEST_F(Newsrc, LoadPrefersNewFileAndSortsTheUnsubscribed) {
  write_file("newsrc", " old.group\n");
  write_file("newsrc.new", " b.pics\n a.pics\n#zeta\n#Alpha\n\nXweird\n#beta\r\n");
  GroupLists lists;
  ASSERT_TRUE(load_group_lists(lists, title, clock));
  EXPECT_EQ(lists.subscribed, (std::vector<std::string>{"b.pics", "a.pics"}));
  // An empty line is an unsubscribed entry with no name; any first character other than a space is lost.
  EXPECT_EQ(lists.unsubscribed, (std::vector<std::string>{"", "Alpha", "beta", "weird", "zeta"}));
  EXPECT_EQ(titles.back(), "2 of 7 Groups Will Be Scanned for Articles");
}

TEST_F(Newsrc, MissingFilesLoadEmptyAndReportIt) {
  GroupLists lists;
  EXPECT_FALSE(load_group_lists(lists, title, clock));
  EXPECT_TRUE(lists.subscribed.empty());
  EXPECT_EQ(titles.back(), "0 of 0 Groups Will Be Scanned for Articles");
  EXPECT_EQ(count_subscribed_groups(), 0);
}

TEST_F(Newsrc, SaveWritesSubscribedFirstAndRoundTrips) {
  GroupLists lists{{"z.sub", "a.sub"}, {"", "m.unsub"}};
  save_group_lists(lists, title);
  EXPECT_EQ(read_file("newsrc.new"), " z.sub\n a.sub\n#\n#m.unsub\n");
  EXPECT_EQ(titles, (std::vector<std::string>{"Please Wait.... saving newsrc.new to disk", "Done"}));
  GroupLists back;
  load_group_lists(back, nullptr, clock);
  EXPECT_EQ(back.subscribed, lists.subscribed);
  EXPECT_EQ(back.unsubscribed, lists.unsubscribed);
  EXPECT_EQ(count_subscribed_groups(), 2);

  save_group_lists(GroupLists{}, nullptr);
  EXPECT_EQ(read_file("newsrc.new"), "");
  EXPECT_EQ(count_subscribed_groups(), 0);
}

TEST_F(Newsrc, LongNamesComeBackWhole) {
  std::string name127(127, 'g');
  write_file("newsrc", " " + name127 + "\n#" + name127 + "\n");
  GroupLists lists;
  load_group_lists(lists, nullptr, clock);
  EXPECT_EQ(lists.subscribed, std::vector<std::string>{name127});
  EXPECT_EQ(lists.unsubscribed, std::vector<std::string>{name127});
  EXPECT_EQ(count_subscribed_groups(), 1);
  NewsrcScanReader reader;
  ASSERT_TRUE(reader.open());
  NewsrcScanReader::Line line;
  ASSERT_TRUE(reader.next(line));
  EXPECT_TRUE(line.subscribed);
  EXPECT_EQ(line.group, name127);
}

TEST_F(Newsrc, AdoptionReplacesNewsrcAndDropsTheResumeMarker) {
  EXPECT_FALSE(adopt_newsrc_new(log));
  write_file("newsrc", " old\n");
  write_file("newsrc.new", " new\n");
  write_file("dirty.txt", "5\n");
  EXPECT_TRUE(adopt_newsrc_new(log));
  EXPECT_EQ(read_file("newsrc"), " new\n");
  EXPECT_FALSE(test::exists("newsrc.new"));
  EXPECT_FALSE(test::exists("dirty.txt"));
  EXPECT_NE(read_file("fk.log").find(" - Loading Updated newsrc file\n"), std::string::npos);
}

TEST_F(Newsrc, ScanReaderTakesTheFirstWordOfSubscribedLinesOnly) {
  write_file("newsrc", " alt.pics.a extra\r\n#alt.unsub\n \t\n   alt.indented\n\talt.tab\n alt.last-no-newline");
  NewsrcScanReader reader;
  ASSERT_TRUE(reader.open());
  std::vector<std::pair<bool, std::string>> seen;
  NewsrcScanReader::Line line;
  while (reader.next(line)) seen.emplace_back(line.subscribed, line.group);
  EXPECT_EQ(seen, (std::vector<std::pair<bool, std::string>>{{true, "alt.pics.a"},
                                                             {false, ""},
                                                             {false, ""},
                                                             {true, "alt.indented"},
                                                             {false, ""},
                                                             {true, "alt.last-no-newline"}}));
}

TEST_F(Newsrc, HostileFilesNeverCrash) {
  write_file("newsrc", std::string(" ") + std::string(1 << 20, 'x') + "\n" + std::string("\0\0\n \0a\n", 7));
  NewsrcScanReader reader;
  ASSERT_TRUE(reader.open());
  NewsrcScanReader::Line line;
  int n = 0;
  while (reader.next(line)) {
    EXPECT_LE(line.group.size(), 199u);
    ++n;
  }
  EXPECT_GT(n, 0);
  GroupLists lists;
  load_group_lists(lists, nullptr, clock);
  std::filesystem::remove("newsrc");
  std::filesystem::create_directory("newsrc");
  EXPECT_FALSE(reader.open());
  EXPECT_EQ(count_subscribed_groups(), 0);
}

TEST(GroupLists, InsertSortedIgnoresCase) {
  std::vector<std::string> l;
  for (const char* n : {"b", "C", "a", "B"}) insert_sorted(l, n);
  EXPECT_EQ(l, (std::vector<std::string>{"a", "b", "B", "C"}));
}

}  // namespace
}  // namespace fk
