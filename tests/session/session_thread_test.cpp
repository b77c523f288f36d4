// SPDX-License-Identifier: GPL-3.0-or-later
// The session's dialogue and both endings, against the local NNTP test server.
#include "session/session_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "common/engine_harness.h"
#include "server/nntp_test_server.h"

namespace fk {
namespace {

using test::EngineHarness;
using test::Fault;
using test::FaultAction;
using test::MemoryContent;
using test::NntpTestServer;
using Strings = std::vector<std::string>;

std::shared_ptr<MemoryContent> standard_content() {
  auto c = std::make_shared<MemoryContent>();
  for (int i = 0; i < 3; ++i) c->add_simple("alt.one", "one " + std::to_string(i) + ".jpg (1/1)");
  for (int i = 0; i < 2; ++i) c->add_simple("alt.two", "two " + std::to_string(i) + ".jpg (1/1)");
  c->add_group("alt.empty");
  for (int g = 1; g <= 6; ++g) c->add_group("g" + std::to_string(g));
  return c;
}

class SessionTest : public ::testing::Test {
 protected:
  explicit SessionTest(test::ServerOptions options = {}) : server(standard_content(), std::move(options)) {}

  void SetUp() override {
    ASSERT_TRUE(server.listening()) << server.error();
    h.use_server(server.port());
    h.state.auto_reconnect = 1;  // as the Start command leaves it
  }

  int run() { return SessionThread(h.ctx); }
  // Runs the session on a thread of its own, as the window does.
  std::thread start(int& code) {
    return std::thread([this, &code] { code = SessionThread(h.ctx); });
  }
  void press_stop() {
    h.state.stop_requested = 1;
    h.state.auto_reconnect = 0;
  }
  Strings commands() const {
    EXPECT_TRUE(server.wait_until_idle());
    return server.commands();
  }

  EngineHarness h;
  NntpTestServer server;
};

void expect_orderly_state(EngineHarness& h) {
  EXPECT_EQ(h.state.connected, 0);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_EQ(h.state.auto_reconnect, 0);
  EXPECT_EQ(h.view.text(ControlId::ConnectionStatus), "NoBody");
  EXPECT_EQ(h.view.enabled(ControlId::StartButton), 1);
  EXPECT_TRUE(h.logged_in_order({"ENDTHREAD:", "Ending Fennick Thread"}));
}

void expect_bailout_state(EngineHarness& h, int auto_reconnect) {
  EXPECT_EQ(h.state.connected, 0);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_EQ(h.state.auto_reconnect, auto_reconnect);
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), "");
  EXPECT_EQ(h.view.enabled(ControlId::StartButton), 1);
  EXPECT_TRUE(h.view.text_history(ControlId::PendingBox).empty());
  EXPECT_TRUE(h.logged_in_order({"SOCKET_BAILOUT", "Lost Connection to 127.0.0.1 (1 connection attempts)"}));
  EXPECT_EQ(h.level_of("Lost Connection to 127.0.0.1 (1 connection attempts)"), 1);
}

TEST_F(SessionTest, CompletedScanRunsTheWholeDialogueAndEndsOrderly) {
  h.write_newsrc(" alt.one\n alt.two\n#alt.unsubscribed\n");
  test::write_file("temp.uue", "left over");
  h.state.connection_attempts = 2;

  EXPECT_EQ(run(), kSessionEnded);

  EXPECT_EQ(commands(),
            (Strings{"MODE READER", "group alt.one", "XOVER 1-3", "group alt.two", "XOVER 1-2", "QUIT"}));
  expect_orderly_state(h);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Completed");
  EXPECT_EQ(h.view.text_history(ControlId::GroupCounter),
            (Strings{"", "1 of 2 news groups", "2 of 2 news groups"}));
  EXPECT_EQ(h.view.range(ControlId::GroupsProgress), std::make_pair(0, 2));
  EXPECT_EQ(h.view.progress(ControlId::GroupsProgress), 2);
  EXPECT_EQ(h.view.text(ControlId::GroupName), "alt.two");
  EXPECT_EQ(h.view.text_history(ControlId::ConnectionStatus),
            (Strings{"Initializing Fennick Thread", "127.0.0.1 (3 connection attempts)", "NoBody"}));
  EXPECT_FALSE(test::exists("dirty.txt"));
  EXPECT_FALSE(test::exists("temp.uue"));
  for (const char* dir : {"pictures", "unknown", "raw"})
    EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir;
  EXPECT_EQ(h.state.archive_connections, 1);
  EXPECT_EQ(h.clock.slept_ms(), 1000);  // only the pause at the start
  EXPECT_TRUE(h.view.commands().empty());
  EXPECT_TRUE(h.logged_in_order(
      {"Started Fennick Thread", "Connected To News Server", "Reading newsrc to get list of groups", "",
       "alt.one", "0 Articles Selected For Download from Articles 1 to 3", "", "alt.two",
       "Finished Scanning Groups", "Logging Off News Server", "ENDTHREAD:",
       "0 picture(s) downloaded from 5 articles, 0 duplicates skipped, 0 base64 0 unknown "
       "format",
       "Closing Connection to 127.0.0.1 (3 connection attempts)", "Ending Fennick Thread"}));
  EXPECT_EQ(h.level_of("alt.one"), 1);
  EXPECT_EQ(h.level_of("0 Articles Selected For Download from Articles 1 to 3"), 2);
}

// A session that has nothing to scan says why instead of "Downloads Completed".
TEST_F(SessionTest, NothingToScanSaysWhy) {
  EXPECT_EQ(run(), kSessionEnded);
  expect_orderly_state(h);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "No newsrc File: Use Groups To Choose News Groups");
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), "No newsrc File: Use Groups To Choose News Groups");

  h.write_newsrc("#alt.unsubscribed\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "No Subscribed News Groups: Use Groups To Choose Some");
}

TEST_F(SessionTest, ByteCountHoldsEveryByteReadAndTheCountedCommands) {
  // No answer to QUIT, so every byte the server sends is one the session read.
  server.add_fault({"QUIT", 0, FaultAction::Drop, ""});
  h.write_newsrc(" alt.one\n alt.two\n");
  EXPECT_EQ(run(), kSessionEnded);
  ASSERT_TRUE(server.wait_until_idle());
  const std::int64_t mode_reader = 13, mode_reply = 36;
  EXPECT_EQ(h.state.byte_count, server.bytes_sent() + mode_reader + mode_reply + 7 + 7);
}

TEST_F(SessionTest, StopAtAGroupBoundaryEndsOrderlyAndKeepsTheMarker) {
  h.write_newsrc(" alt.empty\n alt.one\n");
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "No Articles in Group") press_stop();
  };
  EXPECT_EQ(run(), kSessionEnded);

  EXPECT_EQ(commands(), (Strings{"MODE READER", "group alt.empty"}));
  expect_orderly_state(h);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Aborted");
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), "STOP Pressed");
  EXPECT_EQ(h.view.text(ControlId::GroupName), "");
  EXPECT_EQ(h.view.text(ControlId::GroupCounter), "");
  EXPECT_EQ(h.view.progress(ControlId::GroupsProgress), 0);
  EXPECT_TRUE(h.logged("Stop Button Activated"));
  EXPECT_EQ(test::read_file("dirty.txt"), "1\n");
}

TEST_F(SessionTest, StopInsideAReceiveBailsOut) {
  server.add_fault({"GROUP", 0, FaultAction::Stall, ""});
  h.write_newsrc(" alt.one\n");
  int code = 0;
  std::thread session = start(code);
  ASSERT_TRUE(server.wait_for_commands(2));
  press_stop();
  session.join();

  EXPECT_EQ(code, kSessionBailedOut);
  EXPECT_EQ(h.state.connected, 0);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_EQ(h.view.enabled(ControlId::StartButton), 1);
  EXPECT_EQ(h.view.text(ControlId::ConnectionStatus), "Nobody -- Stop Pressed");
  // The user's STOP is said as such, not as a lost connection.
  EXPECT_TRUE(h.logged("Stopped by the user"));
  for (const char* fault : {"Socket Rx Error 005", "SOCKET_BAILOUT", "Lost Connection to 127.0.0.1 (1 connection attempts)",
                            "Problems With Socket Connection..."})
    EXPECT_FALSE(h.logged(fault)) << fault;
  EXPECT_EQ(test::read_file("dirty.txt"), "1\n");
}

TEST_F(SessionTest, ConnectFailureBailsOutAndLeavesAutoReconnect) {
  int bound = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::getsockname(bound, reinterpret_cast<sockaddr*>(&addr), &len);
  h.use_server(ntohs(addr.sin_port));
  h.write_newsrc(" alt.one\n");

  EXPECT_EQ(run(), kSessionBailedOut);
  ::close(bound);
  expect_bailout_state(h, 1);
  EXPECT_TRUE(h.logged_in_order({"connect() failed", "Connection to 127.0.0.1 failed", "SOCKET_BAILOUT"}));
  EXPECT_EQ(h.view.text_history(ControlId::ConnectionStatus),
            (Strings{"Initializing Fennick Thread", "Connection to 127.0.0.1 failed",
                     "Problems With Socket Connection... Will Retry in a Minute"}));
  EXPECT_TRUE(h.logged("Problems With Socket Connection..."));
}

struct ReceiveFailure {
  const char* message;
  Fault fault;
  int level;
};

void PrintTo(const ReceiveFailure& p, std::ostream* os) {
  *os << p.message;
}

class ReceiveFailureTest : public SessionTest, public ::testing::WithParamInterface<ReceiveFailure> {};

TEST_P(ReceiveFailureTest, TakesTheBailOutEndingWithItsNumberedMessage) {
  const ReceiveFailure& p = GetParam();
  server.add_fault(p.fault);
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "me";
    s.pass = "secret";
  });
  h.write_newsrc(" alt.one\n");

  EXPECT_EQ(run(), kSessionBailedOut);
  expect_bailout_state(h, 1);
  EXPECT_EQ(h.level_of(p.message), p.level);
  auto lines = h.log_texts();
  auto at = std::find(lines.begin(), lines.end(), p.message);
  ASSERT_NE(at, lines.end());
  ASSERT_NE(at + 1, lines.end());
  EXPECT_EQ(*(at + 1), "SOCKET_BAILOUT");
  EXPECT_EQ(h.view.text(ControlId::ConnectionStatus),
            "Problems With Socket Connection... Will Retry in a Minute");
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ReceiveFailureTest,
    ::testing::Values(ReceiveFailure{"Socket Rx Error 001", {"", 0, FaultAction::Drop, ""}, 0},
                      ReceiveFailure{"Socket Rx Error 002", {"AUTHINFO USER", 0, FaultAction::Drop, ""}, 0},
                      ReceiveFailure{"Socket Rx Error 003", {"AUTHINFO PASS", 0, FaultAction::Drop, ""}, 0},
                      ReceiveFailure{"Socket Rx Error 004", {"MODE READER", 0, FaultAction::Drop, ""}, 0},
                      ReceiveFailure{"Socket Rx Error 005", {"GROUP", 0, FaultAction::Drop, "211 3 1"}, 0},
                      ReceiveFailure{"Socket Rx Error 006",
                                     {"XOVER", 0, FaultAction::Drop, "224 Overview follows\r\n1\tpartial\t"},
                                     1}),
    [](const auto& info) { return "Error" + std::string(info.param.message).substr(16); });

TEST_F(SessionTest, RefusedGreetingEndsOrderlyWithABox) {
  server.add_fault({"", 0, FaultAction::Reply, "502 Service permanently unavailable\r\n"});
  h.write_newsrc(" alt.one\n");
  test::write_file("dirty.txt", "1\n");
  h.dialogs.queue_answer(Answer::No);  // the resume question comes first, before connecting

  EXPECT_EQ(run(), kSessionEnded);
  expect_orderly_state(h);
  EXPECT_TRUE(commands().empty());
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Failed");  // a refusal is no success
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), "the server refused the connection");
  ASSERT_EQ(h.dialogs.boxes().size(), 2u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "Detected Previously Interrupted Operation");
  EXPECT_EQ(h.dialogs.boxes()[1].text, "502 Service permanently unavailable");
  EXPECT_EQ(h.dialogs.boxes()[1].caption, "News Connection Refused");
  EXPECT_EQ(h.dialogs.beeps(), std::vector<Beep>{Beep::Exclamation});
  EXPECT_TRUE(h.logged_in_order({"Connection To 127.0.0.1 Refused", "502 Service permanently unavailable"}));
  EXPECT_EQ(h.view.text_history(ControlId::ConnectionStatus)[1], "Connection To 127.0.0.1 Refused");
  EXPECT_EQ(h.state.archive_connections, 0);
  EXPECT_TRUE(test::exists("dirty.txt"));
}

TEST_F(SessionTest, UnattendedRefusalAsksNothingAndClosesTheProgram) {
  server.add_fault({"", 0, FaultAction::Reply, "\x01garbage\r\n"});
  h.change([](Settings& s) {
    s.unattended_operation = 1;
    s.sound_on = 0;
  });
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_TRUE(h.dialogs.boxes().empty());
  EXPECT_TRUE(h.dialogs.beeps().empty());
  EXPECT_EQ(h.view.commands(), std::vector<Command>{Command::Close});
  EXPECT_TRUE(h.logged("Scan Complete...Exiting Fennick Program"));
}

TEST_F(SessionTest, UnattendedScanWithAScheduleStaysOpen) {
  h.change([](Settings& s) {
    s.unattended_operation = 1;
    s.days[3] = 1;
  });
  h.write_newsrc(" alt.one\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_TRUE(h.view.commands().empty());
  EXPECT_FALSE(h.logged("Scan Complete...Exiting Fennick Program"));
}

test::ServerOptions login_options() {
  test::ServerOptions o;
  o.user = "me";
  o.pass = "secret";
  return o;
}

class LoginTest : public SessionTest {
 protected:
  LoginTest() : SessionTest(login_options()) {}
};

TEST_F(LoginTest, AcceptedLoginShowsTheRepliesAndGoesOn) {
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "me";
    s.pass = "secret";
  });
  h.write_newsrc(" alt.one\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(commands(), (Strings{"AUTHINFO USER me", "AUTHINFO PASS secret", "MODE READER", "group alt.one",
                                 "XOVER 1-3", "QUIT"}));
  auto status = h.view.text_history(ControlId::DownloadStatus);
  EXPECT_NE(std::find(status.begin(), status.end(), "381 Password required"), status.end());
  EXPECT_NE(std::find(status.begin(), status.end(), "281 Authentication accepted"), status.end());
  EXPECT_TRUE(h.logged_in_order({"Authorization Sequence Started", "Authorization Sequence OK"}));
  EXPECT_EQ(h.clock.slept_ms(), 1000 + 500);
}

TEST_F(LoginTest, RefusedPasswordEndsOrderlyWithoutReconnect) {
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "me";
    s.pass = "wrong";
  });
  h.write_newsrc(" alt.one\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(commands(), (Strings{"AUTHINFO USER me", "AUTHINFO PASS wrong"}));
  expect_orderly_state(h);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Failed");
  EXPECT_TRUE(h.logged_in_order({"Invalid server response to pass command", "481 Authentication failed"}));
  EXPECT_EQ(h.clock.slept_ms(), 1000 + 500 + 1500);
}

TEST_F(SessionTest, UnavailableAndEmptyGroupsAreSkipped) {
  h.write_newsrc(" alt.missing\n alt.empty\n alt.neg\n alt.one\n");
  server.add_fault({"GROUP alt.neg", 0, FaultAction::Reply, "211 -5 1 5 alt.neg\r\n"});
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(commands(), (Strings{"MODE READER", "group alt.missing", "group alt.empty", "group alt.neg",
                                 "group alt.one", "XOVER 1-3", "QUIT"}));
  auto status = h.view.text_history(ControlId::DownloadStatus);
  EXPECT_NE(std::find(status.begin(), status.end(), "Group Not Available"), status.end());
  EXPECT_NE(std::find(status.begin(), status.end(), "No Articles in Group"), status.end());
  EXPECT_TRUE(h.logged_in_order({"Bad Retcode to group command", "411 No such newsgroup",
                                 "211 0 0 0 alt.empty", "No articles to read in group, skipping to next",
                                 "211 -5 1 5 alt.neg", "No articles to read in group, skipping to next"}));
  EXPECT_EQ(h.level_of("Bad Retcode to group command"), 1);
  EXPECT_EQ(h.level_of("411 No such newsgroup"), 2);
  EXPECT_EQ(h.level_of("211 0 0 0 alt.empty"), 1);
  EXPECT_EQ(h.clock.slept_ms(), 1000 + 100);
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Completed");
}

// Resume through dirty.txt, with six empty groups g1..g6.
class ResumeTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    h.write_newsrc(" g1\n g2\n g3\n g4\n g5\n g6\n");
  }
  Strings groups_sent() const {
    Strings out;
    for (auto& c : commands())
      if (c.rfind("group ", 0) == 0) out.push_back(c.substr(6));
    return out;
  }
};

TEST_F(ResumeTest, AnswerNoSkipsToTheInterruptedGroup) {
  test::write_file("dirty.txt", "5\n");
  h.dialogs.queue_answer(Answer::No);
  // Asked before connecting, so no server times out while the box is open.
  std::size_t connections_at_question = 99;
  h.dialogs.on_box = [&](const test::RecordingDialogs::Box&) { connections_at_question = server.connections(); };
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(connections_at_question, 0u);
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "Detected Previously Interrupted Operation");
  EXPECT_EQ(h.dialogs.boxes()[0].buttons, Buttons::YesNo);
  EXPECT_EQ(groups_sent(), (Strings{"g5", "g6"}));
  auto counter = h.view.text_history(ControlId::GroupCounter);
  EXPECT_EQ(counter.size(), 7u);  // blanked once, then all six groups are counted
  EXPECT_EQ(counter[1], "1 of 6 news groups");
  EXPECT_TRUE(h.logged("Dirty Startup... skipping to last scanned group"));
  EXPECT_EQ(h.view.text_history(ControlId::DownloadStatus)[1], "Dirty Start - Resyncing");
  EXPECT_FALSE(test::exists("dirty.txt"));
}

TEST_F(ResumeTest, AnswerYesRestartsFromTheFirstGroup) {
  test::write_file("dirty.txt", "5\n");
  h.dialogs.queue_answer(Answer::Yes);
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(groups_sent(), (Strings{"g1", "g2", "g3", "g4", "g5", "g6"}));
  EXPECT_TRUE(h.logged("Dirty Startup... User requested restart from group 1"));
}

TEST_F(ResumeTest, MarkerWithoutANumberSkipsNothingAndIsRewritten) {
  test::write_file("dirty.txt", "no number here\n");
  h.dialogs.queue_answer(Answer::No);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::GroupName && text == "g2") {
      EXPECT_EQ(test::read_file("dirty.txt"), "2\n");
    }
  };
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(groups_sent().front(), "g1");
  EXPECT_EQ(groups_sent().size(), 6u);
}

TEST_F(ResumeTest, EmptyMarkerSkipsNothing) {
  test::write_file("dirty.txt", "");
  h.dialogs.queue_answer(Answer::No);
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(groups_sent().size(), 6u);
}

TEST_F(ResumeTest, UnattendedResumesWithoutAsking) {
  test::write_file("dirty.txt", "3\n");
  h.change([](Settings& s) { s.unattended_operation = 1; });
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_TRUE(h.dialogs.boxes().empty());
  EXPECT_EQ(groups_sent(), (Strings{"g3", "g4", "g5", "g6"}));
}

TEST_F(ResumeTest, NewGroupListIsAdoptedAndStartsFromTheTop) {
  test::write_file("dirty.txt", "3\n");
  test::write_file("newsrc.new", " g6\n g1\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_TRUE(h.dialogs.boxes().empty());
  EXPECT_EQ(groups_sent(), (Strings{"g6", "g1"}));
  EXPECT_FALSE(test::exists("newsrc.new"));
  EXPECT_EQ(test::read_file("newsrc"), " g6\n g1\n");
  EXPECT_TRUE(h.logged("Loading Updated newsrc file"));
}

struct NewsrcCase {
  const char* name;
  const char* content;  // nullptr: no newsrc at all
  Strings groups;
};

void PrintTo(const NewsrcCase& p, std::ostream* os) {
  *os << p.name;
}

class NewsrcTest : public SessionTest, public ::testing::WithParamInterface<NewsrcCase> {};

TEST_P(NewsrcTest, GroupsAreReadAsWritten) {
  const NewsrcCase& p = GetParam();
  if (p.content) h.write_newsrc(p.content);
  EXPECT_EQ(run(), kSessionEnded);
  Strings expected{"MODE READER"};
  for (const auto& g : p.groups) {
    expected.push_back("group " + g);
    expected.push_back("XOVER 1-" + std::to_string(g == "alt.one" ? 3 : 2));
  }
  expected.push_back("QUIT");
  EXPECT_EQ(commands(), expected);
  // A session with nothing to scan says why instead of claiming completed downloads.
  const std::string ending = !p.groups.empty() ? "Downloads Completed"
                             : p.content       ? "No Subscribed News Groups: Use Groups To Choose Some"
                                               : "No newsrc File: Use Groups To Choose News Groups";
  EXPECT_EQ(h.view.text(ControlId::PendingBox), ending);
  EXPECT_EQ(h.logged("ERROR: File Open on newsrc - Read 005"), p.content == nullptr);
  EXPECT_EQ(h.logged("Finished Scanning Groups"), p.content != nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NewsrcTest,
    ::testing::Values(NewsrcCase{"OnlyUnsubscribed", "#alt.one\n#alt.two\n", {}}, NewsrcCase{"Empty", "", {}},
                      NewsrcCase{"Missing", nullptr, {}},
                      NewsrcCase{"NoFinalLineEnd", " alt.one\n alt.two", {"alt.one", "alt.two"}},
                      NewsrcCase{"CrLf", " alt.one\r\n alt.two\r\n", {"alt.one", "alt.two"}},
                      NewsrcCase{"BlankSubscribedLine", " \n alt.two 12\n", {"alt.two"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Replies a hostile server might send: the session follows its failure paths and never crashes.
TEST_F(SessionTest, NulsInTheGreetingEndTheTextThere) {
  server.add_fault({"", 0, FaultAction::Reply, std::string("200\0\0junk\r\n", 11)});
  h.write_newsrc(" alt.one\n");
  EXPECT_EQ(run(), kSessionEnded);
  EXPECT_EQ(commands().front(), "MODE READER");
}

TEST_F(SessionTest, ArticleNumbersBeyondThirtyTwoBitsAreKept) {
  server.add_fault({"GROUP", 0, FaultAction::Reply, "211 5 4294967296 9000000000 alt.big\r\n"});
  h.write_newsrc(" alt.big\n");
  EXPECT_EQ(run(), kSessionEnded);
  ASSERT_GE(commands().size(), 3u);
  EXPECT_EQ(commands()[2], "XOVER 4294967296-9000000000");
  EXPECT_TRUE(h.logged("0 Articles Selected For Download from Articles 4294967296 to 9000000000"));
}

TEST_F(SessionTest, HugeReplyIsReadInBoundedPieces) {
  server.add_fault({"GROUP", 0, FaultAction::Reply, "211 " + std::string(10 * 1024 * 1024, '9') + "\r\n"});
  h.write_newsrc(" alt.one\n");
  EXPECT_EQ(run(), kSessionEnded);
  // The server is still busy sending when the session leaves, so only the session's side shows the rest.
  EXPECT_TRUE(h.logged_in_order({"Line Buffer Filled in get_socket_string()", "XOVER command failed",
                                 "Finished Scanning Groups", "Logging Off News Server"}));
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Completed");
}

TEST_F(SessionTest, EndlessLineEndsPromptlyOnStop) {
  server.add_fault({"XOVER", 0, FaultAction::Flood, "224 Overview follows\r\n", "y"});
  h.write_newsrc(" alt.one\n");
  int code = 0;
  std::thread session = start(code);
  while (h.state.byte_count < 200000) std::this_thread::yield();
  press_stop();
  session.join();
  // The line comes in pieces, so STOP is seen either inside a read or by the scan between two pieces.
  if (code == kSessionBailedOut) {
    EXPECT_TRUE(h.logged("Stopped by the user"));
    EXPECT_EQ(h.view.text(ControlId::ConnectionStatus), "Nobody -- Stop Pressed");
  } else {
    EXPECT_EQ(code, kSessionEnded);
    EXPECT_EQ(h.view.text(ControlId::PendingBox), "Downloads Aborted");
  }
}

}  // namespace
}  // namespace fk
