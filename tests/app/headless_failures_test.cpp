// SPDX-License-Identifier: GPL-3.0-or-later
// Sessions that fail end the headless run with a non-zero status and their reason, settings never
// lower protection, and no server can make the program write more than an article's bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "app/headless.h"
#include "common/child_process.h"
#include "common/fake_clock.h"
#include "common/full_disk.h"
#include "common/temp_dir.h"
#include "server/news_content.h"
#include "server/nntp_test_server.h"

namespace fk::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Failures : ::testing::Test {
  TempDir dir;
  FakeClock clock;

  // FENNICK.INI for a direct connection to 127.0.0.1:port, with `more` lines added to [COMM].
  void write_settings(std::uint16_t port, const std::string& more = "") {
    write_file("FENNICK.INI", "[COMM]\nnews_server=127.0.0.1\nport=" + std::to_string(port) +
                                  "\ncheck_dialup=0\n" + more);
  }
  int run_here() {
    HeadlessOptions options;
    options.clock = &clock;
    return run_headless(options);
  }
  // The real program in `folder`, waited for with a bound.
  static ChildExit program(const std::string& folder, std::string& output) {
    auto p = ChildProcess::spawn(FK_FENNICK, {"--headless", "--dir", folder});
    auto end = p.wait_for(std::chrono::seconds(60));
    output = p.output();
    return end.value_or(ChildExit{});
  }
  ChildExit program(std::string& output) const { return program(dir.path().string(), output); }
  static std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
  }
};

TEST_F(Failures, SpellingsOfTheTlsKeysNeverLowerProtection) {
  auto content = std::make_shared<MemoryContent>();
  content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
  NntpTestServer server(content);
  write_file("newsrc", " alt.pictures\n");
  std::string out;
  for (const char* word : {"yes", "starttls"}) {
    write_settings(server.port(), std::string("use_tls=") + word + "\r\n");
    const ChildExit end = program(out);
    EXPECT_TRUE(end.exited && end.status == 1) << out;
    EXPECT_THAT(out, HasSubstr("use_tls is not a number from 0 to 2: set use_tls in section [COMM]")) << word;
  }
  EXPECT_EQ(server.connections(), 0u);  // nothing, least of all a password, went out in clear

  // Verification off says so on the terminal, not only in fk.log.
  ServerOptions secure;
  secure.tls = ServerTls::Implicit;
  NntpTestServer untrusted(content, secure);
  write_settings(untrusted.port(), "use_tls=1\ntls_verify=0\n");
  const ChildExit end = program(out);
  EXPECT_TRUE(end.exited && end.status == 0) << out;
  EXPECT_THAT(out, HasSubstr("fennick: WARNING: the certificate of 127.0.0.1 is not checked (tls_verify=0)"));
  // Any other spelling checks it, and the unknown issuer is refused: a failure, never a success line.
  write_settings(untrusted.port(), "use_tls=1\ntls_verify=00\n");
  const ChildExit refused = program(out);
  EXPECT_TRUE(refused.exited && refused.status == 1) << out;
  EXPECT_THAT(out, HasSubstr("Downloads Failed: the secure connection was refused"));
  EXPECT_THAT(out, Not(HasSubstr("Downloads Completed")));
}

TEST_F(Failures, AHandWrittenFileIsReadThroughItsMarkAndMadePrivate) {
  ServerOptions login;
  login.user = "me";
  login.pass = "secret";
  auto content = std::make_shared<MemoryContent>();
  content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
  NntpTestServer server(content, login);
  write_file("newsrc", " alt.pictures\n");
  write_file("FENNICK.INI", "\xEF\xBB\xBF[COMM]\r\nnews_server=127.0.0.1\r\nport=" + std::to_string(server.port()) +
                                "\r\ncheck_dialup=0\r\ncheck_auth=1\r\nuser=me\r\npass=c2VjcmV0\r\n"
                                "[LOGGING]\r\nmax_blacklist=-1\r\n");
  ASSERT_EQ(::chmod("FENNICK.INI", 0644), 0);
  std::string out;
  ChildExit end = program(out);
  EXPECT_TRUE(end.exited && end.status == 0) << out;
  struct stat st {};
  ASSERT_EQ(::stat("FENNICK.INI", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(count(read_file("fk.log"), " - FENNICK.INI holds a password: made readable by its owner only (mode 0600)\n"),
            1u);
  end = program(out);
  EXPECT_TRUE(end.exited && end.status == 0) << out;
  const std::string log = read_file("fk.log");  // the second run's: the file was private already
  EXPECT_THAT(log, Not(HasSubstr("made readable by its owner only")));
  EXPECT_THAT(log, HasSubstr(" - Authorization Sequence OK\n"));
  EXPECT_THAT(log, HasSubstr(" - Invalid Setup: max_blacklist=-1 is out of range... using 10\n"));
  EXPECT_EQ(read_file("FENNICK.INI").rfind("\xEF\xBB\xBF[COMM]\r\n", 0), 0u);
}

TEST_F(Failures, WhatWaitingCannotMendEndsTheRunWithItsReason) {
  auto content = std::make_shared<MemoryContent>();
  content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
  NntpTestServer server(content);
  write_settings(server.port());
  std::string out;
  ChildExit end = program(out);  // no newsrc
  EXPECT_TRUE(end.exited && end.status == 1) << out;
  EXPECT_THAT(out, HasSubstr("fennick: no newsrc file"));
  write_file("newsrc", "");
  end = program(out);
  EXPECT_TRUE(end.exited && end.status == 1) << out;
  EXPECT_THAT(out, HasSubstr("fennick: no news group is subscribed in newsrc"));
  EXPECT_EQ(server.connections(), 0u);

  // A server that wants a login nobody configured.
  write_file("newsrc", " alt.pictures\n");
  server.add_fault({"GROUP", 0, FaultAction::Reply, "480 Authentication required\r\n"});
  end = program(out);
  EXPECT_TRUE(end.exited && end.status == 1) << out;
  EXPECT_THAT(out, HasSubstr("fennick: the server wants a login: set user and password in the Connection page"));
  EXPECT_THAT(out, Not(HasSubstr("Downloads Completed")));
  EXPECT_EQ(server.connections(), 1u);
}

TEST_F(Failures, AOneShotRunGivesUpOnAServerThatRefusesConnections) {
  std::uint16_t port = 0;
  {
    NntpTestServer gone(std::make_shared<MemoryContent>());
    port = gone.port();
  }
  write_file("newsrc", " alt.pictures\n");
  // In the test's own time: three attempts a minute apart, then the end.
  write_settings(port, "headless_attempts=3\n");
  ::testing::internal::CaptureStdout();
  int status = 0;
  {
    ClockPusher pusher(clock);
    status = run_here();
  }
  EXPECT_THAT(::testing::internal::GetCapturedStdout(),
              HasSubstr("fennick: could not connect to 127.0.0.1 after 3 attempts (headless_attempts=3)"));
  EXPECT_EQ(status, 1);
  const std::string log = read_file("fk.log");
  EXPECT_EQ(count(log, " - Connection to 127.0.0.1 failed\n"), 3u) << log;
  EXPECT_THAT(log, HasSubstr(" - Giving up after 3 failed connection attempts\n"));
}

TEST_F(Failures, ADecompressionBombIsGivenUpAtItsBoundAndTheRestIsFetched) {
  auto content = std::make_shared<MemoryContent>();
  ServerArticle bomb;
  bomb.overview.subject = "WTF.jpg (1/1)";
  bomb.overview.message_id = "<bomb@test>";
  bomb.overview.bytes = 40000;
  bomb.overview.lines = 600;
  bomb.body = "never sent\n";
  content->add_article("alt.pictures", bomb);
  ServerArticle picture;
  picture.overview.subject = "sunrise.jpg (1/1)";
  picture.overview.message_id = "<sunrise@test>";
  picture.body = uuencode("sunrise.jpg", read_file(FK_TEST_DATA "/demo/" + std::string(kDemoHarvest[0].file)));
  content->add_article("alt.pictures", picture);
  ServerOptions options;
  options.compress_deflate = true;
  NntpTestServer server(content, options);
  // Article 1 answers with text that inflates without end, as often as it is asked for.
  server.add_fault({"BODY 1", 0, FaultAction::Flood, "222 1 <bomb@test> body\r\n", std::string(76, 'M') + "\r\n"});
  write_settings(server.port(), "fast_transfers=1\nuse_compression=1\n[SELECTION]\ncheck_minlines=0\n");
  write_file("newsrc", " alt.pictures\n");

  ::testing::internal::CaptureStdout();
  int status = 0;
  {
    ClockPusher pusher(clock);
    status = run_here();
  }
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
  const std::string log = read_file("fk.log");
  EXPECT_EQ(count(log, " - Gave up on article alt.pictures 1 <bomb@test>: its body passed its bound of "), 1u)
      << log;
  EXPECT_FALSE(exists("temp.uue"));
  EXPECT_THAT(read_file("HISTORY.FNK"), Not(HasSubstr("<bomb@test>")));
  EXPECT_THAT(read_file("HISTORY.FNK"), HasSubstr("<sunrise@test>"));
  EXPECT_TRUE(exists("pictures/alt.pictures/sunrise.jpg"));
  EXPECT_FALSE(exists("pictures/alt.pictures/WTF.jpg"));
  EXPECT_TRUE(!exists("unknown") || std::filesystem::is_empty("unknown"));
  const auto asked = server.commands();
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "body 1"), 1) << "the given-up article was asked for again";
  EXPECT_TRUE(std::any_of(asked.begin(), asked.end(), [](const std::string& c) {
    return c.size() >= 8 && (c.rfind("COMPRESS", 0) == 0 || c.rfind("compress", 0) == 0);
  }));
  EXPECT_EQ(server.connections(), 2u);
}

TEST_F(Failures, ADiskThatFillsWithTheWorkFileEndsTheRunAsTheDiskFull) {
  SmallFileSystem disk(dir.path(), "6m");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  auto content = std::make_shared<MemoryContent>();
  ServerArticle big;
  big.overview.subject = "huge.jpg (1/1)";
  big.overview.message_id = "<huge@test>";
  for (int i = 0; big.body.size() < 7'000'000; ++i) big.body += "M" + std::string(60, static_cast<char>('a' + i % 26)) + "\n";
  content->add_article("alt.pictures", big);
  content->add_simple("alt.pictures", "small.jpg (1/1)", 600);
  NntpTestServer server(content);
  const std::string folder = disk.path().string();
  write_file(disk.path() / "FENNICK.INI", "[COMM]\nnews_server=127.0.0.1\nport=" + std::to_string(server.port()) +
                                              "\ncheck_dialup=0\n[SELECTION]\ncheck_maxlines=0\n");
  write_file(disk.path() / "newsrc", " alt.pictures\n");
  std::string out;
  const ChildExit end = program(folder, out);
  EXPECT_TRUE(end.exited && end.status == kExitWriteFailed) << out;
  EXPECT_THAT(out, HasSubstr("the disk is full"));
  EXPECT_THAT(out, Not(HasSubstr("Downloads Completed")));
  EXPECT_FALSE(test::exists(disk.path() / "temp.uue"));
  EXPECT_THAT(read_file(disk.path() / "HISTORY.FNK"), Not(HasSubstr("<huge@test>")));
}

TEST_F(Failures, AResumeMarkPastTheLastGroupStartsFromTheFirst) {
  auto content = std::make_shared<MemoryContent>();
  content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
  NntpTestServer server(content);
  write_settings(server.port());
  write_file("newsrc", " alt.pictures\n");
  write_file("dirty.txt", "7\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run_here(), 0);
  ::testing::internal::GetCapturedStdout();
  const std::string log = read_file("fk.log");
  EXPECT_EQ(count(log, " - Dirty Startup... group 7 is past the last of 1 subscribed groups: starting from the "
                       "first group\n"),
            1u)
      << log;
  const auto asked = server.commands();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "group alt.pictures"), asked.end());
}

}  // namespace
}  // namespace fk::test
