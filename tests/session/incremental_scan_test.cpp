// SPDX-License-Identifier: GPL-3.0-or-later
// Incremental scans: the range arithmetic, and whole sessions against a generated group in the billions.
#include <limits>

#include "session/article_fixture.h"
#include "session/scan_range.h"
#include "session/session_thread.h"
#include "store/scan_marks.h"
#include "store/text_file.h"

namespace fk {
namespace {

using test::FaultAction;
using test::GeneratedGroup;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(ScanRange, PlansFromTheMarkOrTheNewestArticles) {
  auto plan = plan_incremental_scan(std::nullopt, 1'000'000'001, 1'049'998'112, 10000);
  EXPECT_EQ(plan.start, ScanStart::FirstScan);
  EXPECT_EQ(plan.range.from, 1'049'988'113);
  EXPECT_EQ(plan.range.to, 1'049'998'112);
  // A small group, the whole group asked for, a mark the server has expired past.
  EXPECT_EQ(plan_incremental_scan(std::nullopt, 5, 900, 10000).range.from, 5);
  EXPECT_EQ(plan_incremental_scan(std::nullopt, 5, 900'000, 0).range.from, 5);
  EXPECT_EQ(plan_incremental_scan(std::int64_t{2}, 5, 900, 10).range.from, 5);
  plan = plan_incremental_scan(std::int64_t{700}, 5, 900, 10);
  EXPECT_EQ(plan.start, ScanStart::FromMark);
  EXPECT_EQ(plan.range.from, 701);
  // Nothing new; then a mark above the last article: the group was renumbered.
  plan = plan_incremental_scan(std::int64_t{900}, 5, 900, 10);
  EXPECT_TRUE(plan.range.empty());
  EXPECT_EQ(plan.range.to, 900);
  plan = plan_incremental_scan(std::int64_t{901}, 5, 900, 10);
  EXPECT_EQ(plan.start, ScanStart::Renumbered);
  EXPECT_EQ(plan.range.from, 891);
  // Extremes neither overflow nor wrap.
  EXPECT_EQ(plan_incremental_scan(std::nullopt, kMax - 5, kMax, kMax).range.from, kMax - 5);
  EXPECT_TRUE(plan_incremental_scan(kMax, 1, kMax, 10).range.empty());
  EXPECT_EQ(plan_incremental_scan(std::nullopt, -kMax, -kMax + 3, kMax).range.size(), 4);
}

TEST(ScanRange, ChunksCoverTheRangeExactlyOnce) {
  std::vector<std::pair<std::int64_t, std::int64_t>> seen;
  ChunkCursor cursor({3'000'000'001, 3'000'025'000}, 10000);
  for (ArticleRange c; cursor.next(c);) seen.emplace_back(c.from, c.to);
  EXPECT_EQ(seen, (std::vector<std::pair<std::int64_t, std::int64_t>>{{3'000'000'001, 3'000'010'000},
                                                                      {3'000'010'001, 3'000'020'000},
                                                                      {3'000'020'001, 3'000'025'000}}));
  ArticleRange c;
  ChunkCursor top({kMax - 10, kMax}, 4);
  int n = 0;
  while (top.next(c)) ++n;
  EXPECT_EQ(n, 3);
  EXPECT_EQ(c.to, kMax);
  EXPECT_FALSE(ChunkCursor({5, 4}).next(c));
}

TEST(ScanRange, MarkStopsShortOfOutstandingArticlesAndNeverGoesBack) {
  EXPECT_EQ(allowed_mark(500, std::nullopt, std::nullopt), 500);
  EXPECT_EQ(allowed_mark(500, 120, std::nullopt), 119);
  EXPECT_EQ(allowed_mark(500, 120, std::int64_t{300}), 300);
  EXPECT_EQ(pending_article_number("3000000007\tA\t600\tpic.jpg"), 3'000'000'007);
}

// A session against a generated group numbered in the billions.
class IncrementalScanTest : public test::ServerFixture {
 protected:
  static constexpr const char* kGroup = "alt.binaries.pictures.huge";

  void SetUp() override {
    ServerFixture::SetUp();
    h.change([](Settings& s) {
      s.incremental_scan = 1;
      s.unattended_operation = 1;  // a dirty start resumes without asking
      s.check_decode = 0;
    });
    h.write_newsrc(std::string(" ") + kGroup + "\n");
  }
  void serve(std::int64_t first, std::int64_t last, std::int64_t picture_every = 0) {
    content->set_generated_group(kGroup, GeneratedGroup{first, last, picture_every});
  }
  int session() {
    h.state.stop_requested = 0;
    h.state.refusal = 0;
    return SessionThread(h.ctx);
  }
  std::vector<std::string> xovers(std::size_t from = 0) {
    std::vector<std::string> out;
    auto all = server.commands();
    for (std::size_t i = from; i < all.size(); ++i)
      if (all[i].rfind("XOVER", 0) == 0) out.push_back(all[i]);
    return out;
  }
  std::optional<std::int64_t> mark() { return ScanMarks().get(kGroup); }
};

TEST_F(IncrementalScanTest, FirstScanIsBoundedAndTheNextReadsOnlyWhatIsNew) {
  h.change([](Settings& s) { s.first_scan_articles = 25000; });
  serve(1'000'000'001, 1'049'998'112);  // fifty million articles
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(), (std::vector<std::string>{"XOVER 1049973113-1049983112", "XOVER 1049983113-1049993112",
                                                "XOVER 1049993113-1049998112"}));
  EXPECT_EQ(h.state.articles_examined, 25000);
  EXPECT_EQ(mark(), 1'049'998'112);

  serve(1'000'000'001, 1'049'999'345);
  std::size_t seen = server.commands().size();
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(seen), (std::vector<std::string>{"XOVER 1049998113-1049999345"}));
  EXPECT_EQ(h.state.articles_examined, 25000 + 1233);
  EXPECT_EQ(mark(), 1'049'999'345);

  // Nothing new: no overview asked for at all.
  seen = server.commands().size();
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_TRUE(xovers(seen).empty());
  auto scans = h.view.scans();
  ASSERT_EQ(scans.size(), 3u);
  EXPECT_EQ(scans[0].start, ScanStart::FirstScan);
  EXPECT_EQ(scans[1].start, ScanStart::FromMark);
  EXPECT_EQ(scans[1].lines, 1233);
  EXPECT_TRUE(scans[2].range.empty());
}

TEST_F(IncrementalScanTest, StopAndALostConnectionMidGroupResumeFromTheMark) {
  h.change([](Settings& s) { s.first_scan_articles = 0; });
  serve(3'000'000'001, 3'000'050'000);
  // STOP halfway through the third chunk.
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Building D/L List ..Checking 3000025000")
      h.state.stop_requested = 1;
  };
  EXPECT_EQ(session(), kSessionEnded);
  h.view.on_text = nullptr;
  EXPECT_EQ(mark(), 3'000'025'000);

  // The next session loses its connection inside its second chunk: the first chunk is kept.
  std::size_t seen = server.commands().size();
  server.add_fault(
      {"XOVER", 2, FaultAction::Drop, "224 ok\r\n3000035001\tsubject\tA\t\t<x@y>\t\t9\t3\r\n30000"});
  EXPECT_EQ(session(), kSessionBailedOut);
  EXPECT_EQ(xovers(seen),
            (std::vector<std::string>{"XOVER 3000025001-3000035000", "XOVER 3000035001-3000045000"}));
  EXPECT_EQ(mark(), 3'000'035'000);

  seen = server.commands().size();
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(seen),
            (std::vector<std::string>{"XOVER 3000035001-3000045000", "XOVER 3000045001-3000050000"}));
  EXPECT_EQ(mark(), 3'000'050'000);
  // Every article examined once, but for the line read before the connection went.
  EXPECT_EQ(h.state.articles_examined, 50000 + 1);
}

TEST_F(IncrementalScanTest, ARenumberedGroupIsScannedAfresh) {
  h.change([](Settings& s) { s.first_scan_articles = 300; });
  ASSERT_TRUE(ScanMarks().set(kGroup, 9'000'000'000));
  ASSERT_TRUE(ScanMarks().set("alt.other", 12));
  serve(1, 5000);
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_TRUE(
      h.logged("Scan mark 9000000000 is above the last article 5000, the group was renumbered: "
               "scanning it afresh"));
  EXPECT_EQ(xovers(), (std::vector<std::string>{"XOVER 4701-5000"}));
  EXPECT_EQ(mark(), 5000);
  EXPECT_EQ(ScanMarks().get("alt.other"), 12);
}

TEST_F(IncrementalScanTest, TheArticleLimitEndsTheScanMidChunkAndTheNextSessionGoesOn) {
  h.change([](Settings& s) {
    s.first_scan_articles = 0;
    s.max_art_per_grp = 15;
  });
  serve(2'000'000'001, 2'000'030'000, 1000);  // a picture every 1,000 articles
  // STOP while the sixth picture downloads: the mark must not pass the pictures still waiting.
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Downloading Article 2000006000")
      h.state.stop_requested = 1;
  };
  EXPECT_EQ(session(), kSessionBailedOut);
  // The third chunk was asked for ahead, and its reply read off unexamined.
  EXPECT_EQ(xovers(), (std::vector<std::string>{"XOVER 2000000001-2000010000", "XOVER 2000010001-2000020000",
                                                "XOVER 2000020001-2000030000"}));
  EXPECT_EQ(mark(), 2'000'005'999);

  h.view.on_text = nullptr;
  std::size_t seen = server.commands().size();
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(seen).front(), "XOVER 2000006000-2000015999");
  // The fifteen pictures from the sixth on; the scan stopped right after the fifteenth.
  EXPECT_EQ(bodies_asked().back(), "2000020000");
  EXPECT_EQ(mark(), 2'000'020'000);
  EXPECT_TRUE(h.view.scans().back().limit_reached);

  seen = server.commands().size();
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(seen), (std::vector<std::string>{"XOVER 2000020001-2000030000"}));
  EXPECT_EQ(mark(), 2'000'030'000);
  EXPECT_EQ(bodies_asked().size(), 5u + 1 + 15 + 10);  // the sixth was asked for when STOP came
}

TEST_F(IncrementalScanTest, SwitchedOffTheWholeGroupIsReadInOneCommandAndNoMarkIsKept) {
  h.change([](Settings& s) { s.incremental_scan = 0; });
  serve(4'000'000'001, 4'000'025'000);
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(session(), kSessionEnded);
  EXPECT_EQ(xovers(),
            (std::vector<std::string>{"XOVER 4000000001-4000025000", "XOVER 4000000001-4000025000"}));
  EXPECT_EQ(h.state.articles_examined, 50000);
  EXPECT_FALSE(readable_file(kScanMarkFileName));
  EXPECT_EQ(h.view.scans().front().start, ScanStart::WholeGroup);
}

}  // namespace
}  // namespace fk
