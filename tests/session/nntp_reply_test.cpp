// SPDX-License-Identifier: GPL-3.0-or-later
// Reply numbers, the resume marker's skip count, and what the test server puts on the wire.
#include "session/nntp_reply.h"

#include <gtest/gtest.h>

#include <limits>

#include "common/engine_harness.h"
#include "server/nntp_test_server.h"
#include "session/session_thread.h"
#include "session/transport.h"

namespace fk {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

TEST(ReplyStatus, LeadingDigitsOnly) {
  EXPECT_EQ(reply_status("211 5 1 5 alt.one"), 211);
  EXPECT_EQ(reply_status("281"), 281);
  EXPECT_EQ(reply_status("x200"), 0);
  EXPECT_EQ(reply_status("-200"), 0);
  EXPECT_EQ(reply_status(""), 0);
  EXPECT_EQ(reply_status(std::string(40, '9')), kMax);
}

TEST(GroupReply, ReadsLikeFourDecimalFields) {
  GroupReply r = parse_group_reply("211 5 4294967296 9000000000 alt.big");
  EXPECT_EQ(r.status, 211);
  EXPECT_EQ(r.count, 5);
  EXPECT_EQ(r.first, 4294967296);
  EXPECT_EQ(r.last, 9000000000);

  r = parse_group_reply("211 -5 +1");
  EXPECT_EQ(r.count, -5);
  EXPECT_EQ(r.first, 1);
  EXPECT_EQ(r.last, 0);

  r = parse_group_reply("211 x 1 2");
  EXPECT_EQ(r.status, 211);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.first, 0);

  r = parse_group_reply("211 " + std::string(30, '9') + " -" + std::string(30, '9'));
  EXPECT_EQ(r.count, kMax);
  EXPECT_EQ(r.first, kMin);
}

TEST(DirtyMarker, SkipCountIsTheNumberMinusOne) {
  test::TempDir dir;
  auto skip = [](std::string_view content) {
    test::write_file("dirty.txt", content);
    return dirty_skip_count();
  };
  EXPECT_EQ(skip("5\n"), 4);
  EXPECT_EQ(skip("  +7 trailing\r\n"), 6);
  EXPECT_EQ(skip("-3\n"), -4);
  EXPECT_EQ(skip("no number\n"), -1);
  EXPECT_EQ(skip(""), -1);
  // Only the first 78 characters of the line are read.
  EXPECT_EQ(skip(std::string(78, ' ') + "9\n"), -1);
  ::unlink("dirty.txt");
  EXPECT_EQ(dirty_skip_count(), -1);
}

// The test server's answers as the session's reader sees them.
class ServerWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    content->add_group("alt.pics");
    test::ServerArticle a;
    a.overview.subject = "dots.jpg (1/1)";
    a.body = "begin\n.starts with a dot\n..two dots\nend\n";
    content->add_article("alt.pics", a);
    server.add_fault({"BODY 9", 2, test::FaultAction::Reply, "500 second time unlucky\r\n"});
    h.use_server(server.port());
    ASSERT_EQ(connect_news_server(h.ctx, sock), 0);
    read();  // greeting
  }
  std::string read() {
    EXPECT_NE(get_socket_string(h.ctx, line, 50000, sock), -1);
    return line;
  }
  std::string ask(const std::string& command) {
    sock.send_line(command + "\r\n");
    return read();
  }

  test::EngineHarness h;
  std::shared_ptr<test::MemoryContent> content = std::make_shared<test::MemoryContent>();
  test::NntpTestServer server{content};
  NewsSocket sock;
  std::string line;
};

TEST_F(ServerWireTest, ArticlesAndListsOnTheWire) {
  EXPECT_EQ(ask("body 1"), "412 No newsgroup selected");
  EXPECT_EQ(ask("group alt.pics"), "211 1 1 1 alt.pics");
  EXPECT_EQ(ask("XOVER 1-1"), "224 Overview information follows");
  EXPECT_EQ(read(),
            "1\tdots.jpg (1/1)\tFennick Test <test@fennick.invalid>\tMon, 07 Dec 2026 04:11:08 GMT\t"
            "<1.alt.pics@fennick.invalid>\t\t40\t4");
  EXPECT_EQ(read(), ".");
  EXPECT_EQ(ask("body 1"), "222 1 <1.alt.pics@fennick.invalid> body follows");
  for (const char* expected : {"begin", "..starts with a dot", "...two dots", "end", "."})
    EXPECT_EQ(read(), expected);
  EXPECT_EQ(ask("body 2"), "423 No article with that number");
  EXPECT_EQ(ask("body 9"), "423 No article with that number");
  EXPECT_EQ(ask("body 9"), "500 second time unlucky");
  EXPECT_EQ(ask("LIST ACTIVE"), "215 Newsgroups follow");
  EXPECT_EQ(read(), "alt.pics 1 1 y");
  EXPECT_EQ(read(), ".");
  sock.send_line("QUIT\r\n");
  EXPECT_EQ(read(), "205 Closing connection");
  ASSERT_TRUE(server.wait_until_idle());
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"body 1", "group alt.pics", "XOVER 1-1", "body 1", "body 2", "body 9",
                                      "body 9", "LIST ACTIVE", "QUIT"}));
}

}  // namespace
}  // namespace fk
