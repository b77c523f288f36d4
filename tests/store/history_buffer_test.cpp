// SPDX-License-Identifier: GPL-3.0-or-later
// History buffers: loading and compaction, additions with trimming, indexed lookups against a linear search.
#include <gtest/gtest.h>

#include <random>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "store/history_buffer.h"
#include "store/settings.h"
#include "store/status_log.h"
#include "store/text_file.h"

namespace fk {
namespace {

using test::read_file;
using test::write_file;

struct History : ::testing::Test {
  test::TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  StatusLog log{settings, clock};
};

std::string numbered_lines(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += "<id" + std::to_string(i) + "@host>\n";
  return s;
}

TEST_F(History, FileBeyondTheLimitKeepsTheNewestLimitMinusOneAndIsRewritten) {
  write_file("HISTORY.FNK", numbered_lines(1, 3000));
  HistoryBuffer h("HISTORY.FNK");
  h.load_history(2500, log);
  ASSERT_EQ(h.count(), 2499u);
  EXPECT_EQ(*h.at(0), "<id3000@host>");
  EXPECT_EQ(*h.at(2498), "<id502@host>");
  EXPECT_NE(read_file("fk.log").find(" - HISTORY.FNK History >= Size Limit of(2500)...File Reduced in Size from 3000\n"),
            std::string::npos);
  EXPECT_EQ(read_file("HISTORY.FNK"), numbered_lines(502, 3000));
  // Additions then let it grow to the limit, and no further.
  h.add_at_top("<new1>", 2500);
  EXPECT_EQ(h.count(), 2500u);
  h.add_at_top("<new2>", 2500);
  EXPECT_EQ(h.count(), 2500u);
  EXPECT_EQ(*h.at(0), "<new2>");
  EXPECT_FALSE(h.contains_exact("<id502@host>"));
}

TEST_F(History, DuplicatesIgnoringCaseAreDroppedAndReported) {
  write_file("FILENAMES.FNK", "Pic.JPG\r\nother.gif\r\npic.jpg\r\n  spaced.jpg  \r\nlast-no-newline.gif");
  HistoryBuffer h("FILENAMES.FNK");
  h.load_history(5000, log);
  EXPECT_EQ(h.entries(), (std::vector<std::string>{"last-no-newline.gif", "spaced.jpg", "other.gif", "Pic.JPG"}));
  EXPECT_NE(read_file("fk.log").find(" - FILENAMES.FNK Has 1 Duplicate Entries\n"), std::string::npos);
  EXPECT_EQ(read_file("FILENAMES.FNK"), "Pic.JPG\nother.gif\nspaced.jpg\nlast-no-newline.gif\n");
}

TEST_F(History, CleanFileIsNotRewrittenAndMissingFileGivesEmptyBuffer) {
  write_file("BOZOS.FNK", "a\r\nb\r\n");
  HistoryBuffer h("BOZOS.FNK");
  h.load_history(500, log);
  EXPECT_EQ(h.count(), 2u);
  EXPECT_EQ(read_file("BOZOS.FNK"), "a\r\nb\r\n");
  EXPECT_FALSE(test::exists("fk.log"));

  HistoryBuffer none("HISTORY.FNK");
  none.load_history(10, log);
  EXPECT_EQ(none.count(), 0u);
  EXPECT_FALSE(test::exists("HISTORY.FNK"));
}

TEST_F(History, AddTrimsOnceAndJournalsEveryEntry) {
  HistoryBuffer h("HISTORY.FNK");
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(h.add_at_top(std::string("m").append(std::to_string(i)), 3));
  EXPECT_EQ(h.entries(), (std::vector<std::string>{"m4", "m3", "m2"}));
  EXPECT_EQ(read_file("HISTORY.FNK"), "m0\nm1\nm2\nm3\nm4\n");
  // A limit lowered during the run still removes only one entry per addition.
  h.add_at_top("m5", 1);
  EXPECT_EQ(h.count(), 3u);
  // The next start compacts the journal.
  HistoryBuffer again("HISTORY.FNK");
  again.load_history(3, log);
  EXPECT_EQ(again.entries(), (std::vector<std::string>{"m5", "m4"}));
}

TEST_F(History, RemovedEntryComesBackAtTheNextStart) {
  write_file("HISTORY.FNK", "a\nb\nc\n");
  HistoryBuffer h("HISTORY.FNK");
  h.load_history(100, log);
  EXPECT_FALSE(h.remove_at(1, std::string_view("not b")));
  EXPECT_TRUE(h.remove_at(1, std::string_view("b")));
  EXPECT_FALSE(h.contains_exact("B"));
  EXPECT_EQ(h.entries(), (std::vector<std::string>{"c", "a"}));
  HistoryBuffer again("HISTORY.FNK");
  again.load_history(100, log);
  EXPECT_TRUE(again.contains_exact("b"));
}

TEST_F(History, UnwritableJournalIsReportedToTheCallerButTheEntryStays) {
  std::filesystem::create_directory("HISTORY.FNK");
  HistoryBuffer h("HISTORY.FNK");
  EXPECT_FALSE(h.add_at_top("<x>", 10));
  EXPECT_TRUE(h.contains_exact("<x>"));
  h.save_history();  // silently leaves the directory alone
  EXPECT_TRUE(std::filesystem::is_directory("HISTORY.FNK"));
}

TEST_F(History, LookupsIgnoreCaseAndPrefixFindsCutMessageIds) {
  HistoryBuffer h("HISTORY.FNK");
  const std::string full = "<0123456789abcdefghijklmnopqrstuvwxyz.ABCDEFGHIJ@news.example.com>";
  h.add_at_top(full, 100);
  h.add_at_top("Sunset.jpg", 100);
  EXPECT_TRUE(h.contains_prefix(full.substr(0, 49)));
  EXPECT_TRUE(h.contains_prefix(to_lower(full.substr(0, 49))));
  EXPECT_FALSE(h.contains_exact(full.substr(0, 49)));
  EXPECT_TRUE(h.contains_exact("SUNSET.JPG"));
  EXPECT_FALSE(h.contains_exact("Sunset"));
  EXPECT_FALSE(h.contains_prefix("Sunset.jpgx"));
  EXPECT_TRUE(h.contains_prefix(""));
}

TEST_F(History, IndexedLookupsAgreeWithALinearSearch) {
  std::mt19937 rng(7);
  auto random_text = [&] {
    static const char chars[] = "aAbB<>@.-_zZ09";
    std::string s(1 + rng() % 6, ' ');
    for (char& c : s) c = chars[rng() % (sizeof chars - 1)];
    return s;
  };
  HistoryBuffer h("x.fnk");
  std::vector<std::string> model;  // newest first
  for (int step = 0; step < 3000; ++step) {
    int op = static_cast<int>(rng() % 10);
    if (op < 6) {
      std::string e = random_text();
      h.add_at_top(e, 200);
      model.insert(model.begin(), e);
      if (model.size() > 200) model.pop_back();
    } else if (op < 7 && !model.empty()) {
      std::size_t i = rng() % model.size();
      h.remove_at(i);
      model.erase(model.begin() + static_cast<long>(i));
    } else {
      std::string q = random_text();
      bool exact = false, prefix = false;
      for (const auto& e : model) {
        exact = exact || iequals(e, q);
        prefix = prefix || istarts_with(e, q);
      }
      ASSERT_EQ(h.contains_exact(q), exact) << q;
      ASSERT_EQ(h.contains_prefix(q), prefix) << q;
    }
  }
  EXPECT_EQ(h.entries(), model);
}

TEST_F(History, ListenerSeesEveryChangeInOrder) {
  HistoryBuffer h("x.fnk");
  std::vector<std::string> mirror;
  h.set_listener([&](const HistoryEvent& e) {
    switch (e.kind) {
      case HistoryEvent::Kind::Reset: mirror = e.all; break;
      case HistoryEvent::Kind::Inserted: mirror.insert(mirror.begin() + static_cast<long>(e.index), e.text); break;
      case HistoryEvent::Kind::Removed: mirror.erase(mirror.begin() + static_cast<long>(e.index)); break;
    }
  });
  for (int i = 0; i < 6; ++i) h.add_at_top(std::to_string(i), 4);
  h.remove_at(2);
  EXPECT_EQ(mirror, h.entries());
  h.clear();
  EXPECT_TRUE(mirror.empty());
}

TEST_F(History, HostileFilesNeverCrash) {
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xff));
  write_file("g.fnk", garbage);
  write_file("long.fnk", std::string(1 << 20, 'L') + "\nend\n");
  write_file("nul.fnk", std::string("a\0b\nc\n", 6));
  for (const char* f : {"g.fnk", "long.fnk", "nul.fnk"}) {
    HistoryBuffer h(f);
    h.load_history(32700, log);
    EXPECT_GT(h.count(), 0u);
  }
  HistoryBuffer longest("long.fnk");
  longest.load_history(32700, log);
  // A very long line is read back in pieces of 510 characters.
  EXPECT_TRUE(longest.contains_exact(std::string(510, 'L')));
  std::filesystem::create_directory("dir.fnk");
  HistoryBuffer d("dir.fnk");
  d.load_history(10, log);
  EXPECT_EQ(d.count(), 0u);
}

}  // namespace
}  // namespace fk
