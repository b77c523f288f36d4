// SPDX-License-Identifier: GPL-3.0-or-later
// The overview scan against the test server: the XOVER dialogue, STOP, and selection in a real session.
#include "session/overview_scan.h"

#include <algorithm>

#include "session/article_fixture.h"
#include "session/session_thread.h"

namespace fk {
namespace {

using test::Fault;
using test::FaultAction;

class OverviewScanTest : public test::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    h.change([](Settings& s) {
      s.minlines = 1;
      s.detailed_status_logging_enabled = 1;
    });
    for (int i = 1; i <= 5; ++i) content->add_simple("alt.pics", "pic" + std::to_string(i) + ".jpg (1/1)");
  }
  int scan() { return fill_articles_listbox(h.ctx, sock, 1, 5, "alt.pics"); }
  void overlong_line_case(bool chunked);
};

TEST_F(OverviewScanTest, RefusedXoverLogsTheReplyAndSelectsNothing) {
  server.add_fault({"XOVER", 0, FaultAction::Reply, "500 What?\r\n"});
  open_group("alt.pics");
  EXPECT_EQ(scan(), 0);
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.level_of("XOVER command failed"), 0);
  EXPECT_EQ(h.level_of("500 What?"), 1);
}

TEST_F(OverviewScanTest, LimitZeroRejectsEveryLineButReadsToTheEnd) {
  h.change([](Settings& s) { s.max_art_per_grp = 0; });
  open_group("alt.pics");
  EXPECT_EQ(scan(), 0);
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.state.articles_examined, 5);
  EXPECT_EQ(sock.bytes_waiting(), 0);
  EXPECT_EQ(h.level_of("EXCEEDS  MAX_ART_PER_GRP:  <pic5.jpg (1/1)>"), 2);
}

// The whole-range scan, or the incremental one in a single chunk: they share the overlong-line rule.
void OverviewScanTest::overlong_line_case(bool chunked) {
  auto line = [](int n, const std::string& subject) {
    return std::to_string(n) + "\t" + subject + "\tA <a@x>\t\t<" + std::to_string(n) + "@x>\t\t9\t3\r\n";
  };
  // One line of 200 KB, and one cut just before its line end, which must not take the next line along.
  std::string exact = line(3, "p3.jpg (1/1)");
  exact.insert(exact.find("\t9"), std::string(49999 - (exact.size() - 2), 'z'));
  server.add_fault({"XOVER", 0, FaultAction::Reply,
                    "224 ok\r\n" + line(1, "p1.jpg (1/1)") + line(2, std::string(200000, 'x') + ".jpg (1/1)") +
                        exact + line(4, "p4.jpg (1/1)") + ".\r\n"});
  open_group("alt.pics");
  if (chunked)
    EXPECT_EQ(scan_overview_chunks(h.ctx, sock, {1, 5}, "alt.pics", {}).status, 0);
  else
    EXPECT_EQ(scan(), 0);
  EXPECT_EQ(h.state.articles_examined, 2);
  ASSERT_EQ(h.pending.count(), 2u);
  EXPECT_EQ(h.pending.front()->substr(0, 2), "1\t");
  auto texts = h.log_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Overview line longer than 49999 characters skipped"), 2);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Line Buffer Filled in get_socket_string()"), 2);
  EXPECT_EQ(sock.bytes_waiting(), 0);
}

TEST_F(OverviewScanTest, OverlongLineIsSkippedWholeWithOneLogLine) { overlong_line_case(false); }
TEST_F(OverviewScanTest, OverlongLineIsSkippedWholeInAChunkedScanToo) { overlong_line_case(true); }

TEST_F(OverviewScanTest, SameSubjectTwiceIsADuplicatePosting) {
  content->add_simple("alt.pics", "pic2.jpg (1/1)");
  open_group("alt.pics");
  EXPECT_EQ(fill_articles_listbox(h.ctx, sock, 1, 6, "alt.pics"), 0);
  EXPECT_EQ(h.pending.count(), 5u);
  EXPECT_EQ(h.state.duplicates_skipped, 1);
  EXPECT_TRUE(h.logged("DUPLICATE POSTING Fennick Test <test@fennick.invalid> <pic2.jpg (1/1)>"));
}

TEST_F(OverviewScanTest, StopBetweenLinesEndsWithZeroAndLeavesTheRestUnread) {
  open_group("alt.pics");
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Building D/L List ..Checking 2")
      h.state.stop_requested = 1;
  };
  EXPECT_EQ(scan(), 0);
  EXPECT_EQ(h.state.articles_examined, 2);
  EXPECT_EQ(h.pending.count(), 2u);
  EXPECT_GT(sock.bytes_waiting().value_or(0), 0);
}

TEST_F(OverviewScanTest, StopInsideAReadEndsWithMinusOne) {
  const std::string sent = "224 ok\r\n1\tpic1.jpg (1/1)\tA\t\t<1@x>\t\t9\t3\r\n2\tpic2.jp";
  server.add_fault({"XOVER", 0, FaultAction::Stall, sent});
  open_group("alt.pics");
  const std::int64_t before = h.state.byte_count;
  int result = 0;
  std::thread scanner([&] { result = scan(); });
  // Every byte sent has been taken: the reader is waiting for the rest of the second line.
  ASSERT_TRUE(
      eventually([&] { return h.state.byte_count == before + static_cast<std::int64_t>(sent.size()); }));
  h.state.stop_requested = 1;
  scanner.join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(h.state.articles_examined, 1);
}

TEST_F(OverviewScanTest, SelectionDrivesTheDownloadsOfARealSession) {
  h.change([](Settings& s) {
    s.filter3 = "re:*|*free*|*pic3*";
    s.check_decode = 0;
  });
  content->add_simple("alt.pics", "Re: pic1.jpg (1/1)");
  h.write_newsrc(" alt.pics\n");
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_TRUE(h.logged("4 Articles Selected For Download from Articles 1 to 6"));
  EXPECT_EQ(bodies_asked(), (std::vector<std::string>{"1", "2", "4", "5"}));
}

}  // namespace
}  // namespace fk
