// SPDX-License-Identifier: GPL-3.0-or-later
// "Refresh List" against the NNTP test server: the listing, its limits, the refusals and cancelling.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "app/group_list_refresher.h"
#include "common/engine_harness.h"
#include "server/nntp_test_server.h"

namespace fk::test {
namespace {

using ::testing::ElementsAre;

// Touched only by the refreshing thread.
struct RecordingSink : RefreshSink {
  std::vector<std::string> titles, groups, notices;
  void notice(const std::string& text) override { notices.push_back(text); }
  int batches = 0, clears = 0, incomplete = 0;
  void title(const std::string& text) override { titles.push_back(text); }
  void clear_lists() override {
    ++clears;
    groups.clear();
  }
  void listing_incomplete() override { ++incomplete; }
  void add_groups(std::vector<std::string> names) override {
    ++batches;
    groups.insert(groups.end(), names.begin(), names.end());
  }
};

// A loopback socket on a free port, listening with the given backlog, or (-1) refusing connections.
int bound_socket(int backlog, sockaddr_in& addr) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  if (backlog >= 0) ::listen(fd, backlog);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return fd;
}

struct RefreshTest : ::testing::Test {
  EngineHarness h;
  RecordingSink sink;
  NntpGroupListRefresher refresher{h.ctx};

  // Every refresh ends with the socket released and the closing title.
  void run() {
    refresher.refresh(sink);
    EXPECT_EQ(h.state.news_socket, -1);
    EXPECT_EQ(h.state.connected, 0);
    EXPECT_EQ(sink.titles.back(), kRefreshDoneTitle);
  }
  // As the closing dialog does: cancel() from another thread once `ready` holds.
  void run_cancelled(const std::function<bool()>& ready) {
    std::atomic<bool> over{false};
    std::thread canceller([&] {
      while (!over && !ready()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      refresher.cancel();
    });
    run();
    over = true;
    canceller.join();
  }
  void serve_listing(NntpTestServer& server, FaultAction action, std::string data) {
    server.add_fault({"list active", 0, action, std::move(data)});
    h.use_server(server.port());
  }
};

TEST_F(RefreshTest, FortyThousandGroupsKeepTheFirst32699) {
  auto content = std::make_shared<MemoryContent>();
  for (int i = 0; i < 40000; ++i) {
    std::string number = std::to_string(i);
    content->add_group("grp." + std::string(5 - number.size(), '0') + number);
  }
  NntpTestServer server(content);
  h.use_server(server.port());
  NntpGroupListRefresher limited(h.ctx, 32699);
  limited.refresh(sink);

  ASSERT_EQ(sink.groups.size(), 32699u);
  EXPECT_EQ(sink.groups.back(), "grp.32698");
  EXPECT_LT(sink.batches, 100);
  // One line for all the dropped groups, not one each.
  auto logs = h.log_lines();
  EXPECT_EQ(std::count_if(logs.begin(), logs.end(),
                          [](const LogEntry& e) { return e.text.find("Too Many News Groups") != std::string::npos; }),
            1);
  EXPECT_EQ(h.level_of("Too Many News Groups... some Discarded (7301 groups dropped)"), 0);
  auto& titles = sink.titles;
  EXPECT_THAT(std::vector<std::string>(titles.begin(), titles.begin() + 3),
              ElementsAre("Requesting Connection To News Server...", "Connected To Server...",
                          "Requesting News Groups Listing From Server..."));
  // 40,001 lines counted, the status line too: 800 progress titles, the last at 40,000.
  EXPECT_EQ(titles.size(), 3u + 800u + 1u);
  EXPECT_EQ(titles[titles.size() - 2], "Please Wait ...Receiving Group # 40000");
  EXPECT_THAT(server.commands(), ElementsAre("list active"));
}

TEST_F(RefreshTest, DotEndsTheListingWhileTheServerStaysConnected) {
  NntpTestServer server(std::make_shared<MemoryContent>(), {.user = "u", .pass = "p"});
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "u";
    s.pass = "p";
  });
  h.state.stop_requested = 1;  // a STOP left over from a scan concerns no listing
  serve_listing(server, FaultAction::Stall,
                "215 list follows\r\nalt.one 3 1 y\r\ncomp.two\n\r\n \t \r\n.\nalt.after.end 1 1 y\r\n");
  run();
  EXPECT_THAT(sink.groups, ElementsAre("alt.one", "comp.two"));
  EXPECT_EQ(sink.clears, 1);
  EXPECT_EQ(sink.incomplete, 0);
  EXPECT_THAT(server.commands(), ElementsAre("AUTHINFO USER u", "AUTHINFO PASS p", "list active"));
  EXPECT_TRUE(server.wait_until_idle());  // closed without QUIT
}

TEST_F(RefreshTest, ListingOverTlsAndStartTls) {
  for (ServerTls tls : {ServerTls::Implicit, ServerTls::StartTls}) {
    ServerOptions options;
    options.tls = tls;
    auto content = std::make_shared<MemoryContent>();
    content->add_simple("alt.tls.one", "a.jpg (1/1)");
    content->add_simple("comp.tls.two", "b.jpg (1/1)");
    NntpTestServer server(content, options);
    ASSERT_TRUE(server.write_ca_file("ca.pem"));
    h.use_server(server.port());
    h.change([&](Settings& s) {
      s.use_tls = tls == ServerTls::Implicit ? 1 : 2;
      s.tls_ca_file = "ca.pem";
    });
    NntpGroupListRefresher once{h.ctx};
    once.refresh(sink);
    EXPECT_EQ(h.state.news_socket, -1);
    EXPECT_THAT(sink.groups, ElementsAre("alt.tls.one", "comp.tls.two"));
    const std::vector<std::string> plain = {"list active"};
    const std::vector<std::string> upgraded = {"CAPABILITIES", "STARTTLS", "list active"};
    EXPECT_EQ(server.commands(), tls == ServerTls::Implicit ? plain : upgraded);
  }
  // Without the CA the certificate is refused: one box that says why, nothing sent.
  ServerOptions options;
  options.tls = ServerTls::Implicit;
  NntpTestServer untrusted(std::make_shared<MemoryContent>(), options);
  h.use_server(untrusted.port());
  h.change([](Settings& s) {
    s.use_tls = 1;
    s.tls_ca_file = "";
  });
  NntpGroupListRefresher refused{h.ctx};
  refused.refresh(sink);
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "Secure Connection Refused");
  EXPECT_TRUE(untrusted.commands().empty());
}

// With fast transfers the listing is compressed too, here inside STARTTLS.
TEST_F(RefreshTest, ListingCompressedOverStartTls) {
  ServerOptions options;
  options.tls = ServerTls::StartTls;
  options.compress_deflate = true;
  auto content = std::make_shared<MemoryContent>();
  for (int i = 0; i < 2000; ++i) content->add_group("alt.binaries.pictures.compressed." + std::to_string(i));
  NntpTestServer server(content, options);
  ASSERT_TRUE(server.write_ca_file("ca.pem"));
  h.use_server(server.port());
  h.change([](Settings& s) {
    s.use_tls = 2;
    s.tls_ca_file = "ca.pem";
    s.fast_transfers = 1;
  });
  run();
  ASSERT_EQ(sink.groups.size(), 2000u);
  EXPECT_EQ(sink.groups.back(), "alt.binaries.pictures.compressed.1999");
  EXPECT_THAT(server.commands(),
              ElementsAre("CAPABILITIES", "STARTTLS", "CAPABILITIES", "COMPRESS DEFLATE", "list active"));
  auto logs = h.log_texts();
  auto on = std::find(logs.begin(), logs.end(), "COMPRESS DEFLATE on");
  auto ratio = std::find_if(on, logs.end(), [](const std::string& t) { return t.rfind("Compression: ", 0) == 0; });
  ASSERT_NE(ratio, logs.end());
  EXPECT_NE(ratio->find(" bytes read for "), std::string::npos) << *ratio;
}

TEST_F(RefreshTest, LongLinesAreCutAndAClosedConnectionKeepsWhatCame) {
  NntpTestServer server;
  serve_listing(server, FaultAction::Drop,
                "215 list follows\r\n" + std::string(5000, 'a') + " 1 1 y\r\nalt.next 1 1 y\r\nalt.par");
  run();
  EXPECT_THAT(sink.groups, ElementsAre(std::string(127, 'a'), "alt.next"));
  EXPECT_TRUE(h.logged("Server closed the connection during the news groups listing"));
  // What came is reported, but the receiver is told to put its lists back.
  EXPECT_EQ(sink.incomplete, 1);
  EXPECT_TRUE(h.logged("News groups listing incomplete: the lists are kept as they were"));
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "News Groups Listing Incomplete");
}

TEST_F(RefreshTest, RefusedConnectionGreetingAndLogin) {
  sockaddr_in addr;
  int bound = bound_socket(-1, addr);
  const int refused_port = ntohs(addr.sin_port);
  h.use_server(refused_port);
  run();
  ::close(bound);

  ServerOptions refusal;
  refusal.greeting = "502 Access denied";
  NntpTestServer refusing(std::make_shared<MemoryContent>(), refusal);
  h.use_server(refusing.port());
  run();
  h.change([](Settings& s) { s.sound_on = 0; });
  run();
  auto boxes = h.dialogs.boxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text,
            "Connection to 127.0.0.1 port " + std::to_string(refused_port) + " failed: connection refused");
  EXPECT_EQ(boxes[0].caption, "ERROR");
  EXPECT_EQ(boxes[1].text, "502 Access denied");
  EXPECT_EQ(boxes[1].caption, "News Connection Refused");
  EXPECT_EQ(boxes[1].icon, Icon::Warning);
  EXPECT_THAT(h.dialogs.beeps(), ElementsAre(Beep::Exclamation));  // the second only with sounds on
  EXPECT_TRUE(refusing.commands().empty());

  NntpTestServer guarded(std::make_shared<MemoryContent>(), {.user = "u", .pass = "right"});
  h.use_server(guarded.port());
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "u";
    s.pass = "wrong";
  });
  sink.titles.clear();
  run();
  EXPECT_THAT(sink.titles,
              ElementsAre("Requesting Connection To News Server...", "Connected To Server...",
                          "Logging User In To Server...", "481 Authentication failed", kRefreshDoneTitle));
  EXPECT_EQ(h.clock.slept_ms(), 2000);
  EXPECT_THAT(guarded.commands(), ElementsAre("AUTHINFO USER u", "AUTHINFO PASS wrong"));
  EXPECT_TRUE(sink.groups.empty());
  // No listing arrived: nothing was cleared, so nothing needs putting back.
  EXPECT_EQ(sink.clears, 0);
  EXPECT_EQ(sink.incomplete, 0);
}

// A refusal is reported at once instead of waiting out the silence timeout for a listing.
TEST_F(RefreshTest, AnyAnswerBut215IsARefusalShownAtOnce) {
  NntpTestServer server;
  serve_listing(server, FaultAction::Stall, "503 program fault - command not performed\r\n");
  run();
  EXPECT_EQ(h.clock.slept_ms(), 0);
  EXPECT_EQ(sink.clears, 0);
  EXPECT_EQ(sink.incomplete, 0);
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "News Groups Listing Refused");
  EXPECT_EQ(h.dialogs.boxes()[0].text,
            "The news server 127.0.0.1 refused the news groups listing:\n503 program fault - command not performed");
  EXPECT_TRUE(h.logged("News groups listing refused by 127.0.0.1: 503 program fault - command not performed"));
}

TEST_F(RefreshTest, AMillionGroupsAndAHundredMoreKeepTheCapAndSaySo) {
  NntpTestServer server(std::make_shared<ListingContent>(kMaxListedGroups + 100));
  h.use_server(server.port());
  run();
  EXPECT_EQ(sink.groups.size(), kMaxListedGroups);
  EXPECT_EQ(sink.incomplete, 0);
  EXPECT_THAT(sink.notices, ElementsAre("Too Many News Groups... some Discarded (100 groups dropped)"));
  EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(RefreshTest, CancelEndsAStalledConnect) {
  // With the one place of its backlog taken, a listener drops further connection requests.
  sockaddr_in addr, unused;
  int listener = bound_socket(0, addr), filler = bound_socket(-1, unused);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  h.use_server(ntohs(addr.sin_port));
  run_cancelled([&] { return h.state.news_socket != -1; });
  EXPECT_TRUE(h.logged("connect() failed"));
  EXPECT_TRUE(h.dialogs.boxes().empty());
  ::close(filler);
  ::close(listener);
}

TEST_F(RefreshTest, CancelEndsAStalledListingAndEveryLaterRefresh) {
  NntpTestServer server;
  serve_listing(server, FaultAction::Stall, "215 list follows\r\nalt.one 1 1 y\r\n");
  run_cancelled([&] { return server.commands().size() == 1; });
  run();
  EXPECT_EQ(server.connections(), 1u);
  EXPECT_TRUE(h.dialogs.boxes().empty());
}

}  // namespace
}  // namespace fk::test
