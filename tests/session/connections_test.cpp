// SPDX-License-Identifier: GPL-3.0-or-later
// Whole sessions with several connections: every article filed and recorded once, whatever the
// connections do (refused, cut mid-body, stopped), and one connection as before.
#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>

#include "server/yenc_encoder.h"
#include "session/article_fixture.h"
#include "session/session_thread.h"

namespace fk {
namespace {

using test::read_file;
using Strings = std::vector<std::string>;

constexpr const char* kGroup = "alt.binaries.pictures.many";

Strings lines_of(const std::string& text) {
  Strings out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The server offers compression unless a test says otherwise.
test::ServerOptions compressing() {
  test::ServerOptions o;
  o.compress_deflate = true;
  return o;
}

class ConnectionsTest : public test::ServerFixture {
 protected:
  explicit ConnectionsTest(test::ServerOptions options = compressing()) : ServerFixture(std::move(options)) {}

  void SetUp() override {
    ServerFixture::SetUp();
    h.write_newsrc(std::string(" ") + kGroup + "\n");
    h.change([](Settings& s) {
      s.fast_transfers = 1;
      s.connections = 4;
      s.pipeline_depth = 2;
      s.unattended_operation = 1;
      s.check_minlines = 0;  // small pictures keep the tests quick
    });
  }

  // `count` single-part yEnc pictures p0.jpg ... (q0.jpg ... with another prefix) of a few KB each.
  void post_pictures(int count, std::size_t size = 3000, const std::string& prefix = "p",
                     const std::string& group = kGroup) {
    for (int i = 0; i < count; ++i) {
      const std::string name = prefix + std::to_string(i) + ".jpg";
      pictures[name] = test::picture_bytes(size + static_cast<std::size_t>(i) * 7, static_cast<unsigned>(i + 1));
      post(name + " (1/1)", test::yenc_encode(name, pictures[name]), group);
    }
  }
  void post(const std::string& subject, std::string body, const std::string& group = kGroup) {
    test::ServerArticle a;
    a.overview.subject = subject;
    a.overview.author = "Poster <poster@many.invalid>";
    a.body = std::move(body);
    content->add_article(group, std::move(a));
  }
  std::size_t count_commands(const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& c : server.commands()) n += c.rfind(prefix, 0) == 0;
    return n;
  }
  // What was filed is what the histories and files.log say, each once; returns the pictures filed.
  std::size_t expect_filed_once(const Strings& groups = {kGroup}) {
    Strings files;
    for (const auto& group : groups) {
      const std::string folder = "pictures/" + group + "/";
      for (const auto& f : test::files_in(folder)) {
        EXPECT_TRUE(read_file(folder + f) == pictures[f]) << f;
        files.push_back(f);
      }
    }
    const Strings history = lines_of(read_file("HISTORY.FNK"));
    EXPECT_EQ(std::set<std::string>(history.begin(), history.end()).size(), history.size());
    EXPECT_EQ(history.size(), files.size());
    const Strings names = lines_of(read_file("FILENAMES.FNK"));
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), std::set<std::string>(files.begin(), files.end()));
    EXPECT_EQ(names.size(), files.size());
    EXPECT_EQ(lines_of(read_file("files.log")).size(), files.size());
    EXPECT_EQ(h.state.pictures_downloaded.load(), static_cast<int>(files.size()));
    EXPECT_EQ(test::files_in("unknown"), Strings{});
    return files.size();
  }

  std::map<std::string, std::string> pictures;
};

// The others ask by message-id, never select a group or compress (yEnc bodies do not shrink), and the
// session waits nowhere.
TEST_F(ConnectionsTest, FourConnectionsFileEveryArticleOnce) {
  post_pictures(40);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 40u);
  EXPECT_EQ(h.clock.slept_ms(), 0);
  EXPECT_EQ(server.connections(), 4u);
  for (const char* line : {"Connection 2 open for downloads", "Connection 4 open for downloads"})
    EXPECT_TRUE(h.logged(line)) << line;
  EXPECT_EQ(count_commands("group "), 1u);
  EXPECT_EQ(count_commands("CAPABILITIES"), 1u);
  EXPECT_EQ(count_commands("COMPRESS DEFLATE"), 1u);
  EXPECT_GT(count_commands("BODY <"), 0u);
  EXPECT_EQ(count_commands("BODY <") + count_commands("body "), 40u);
  ASSERT_TRUE(server.wait_until_idle());

  // The next session finds everything in the history.
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(count_commands("BODY <") + count_commands("body "), 40u);
}

TEST_F(ConnectionsTest, OneConnectionOrNoFastTransfersKeepTheSingleSession) {
  post_pictures(6);
  h.change([](Settings& s) { s.connections = 1; });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  h.change([](Settings& s) {
    s.connections = 8;
    s.fast_transfers = 0;
  });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 6u);
  EXPECT_EQ(server.connections(), 2u);
  EXPECT_EQ(count_commands("BODY <"), 0u);
}

// A message-id that cannot go into a command line (white space in it) leaves its row to the scanning
// connection, which asks by number.
TEST_F(ConnectionsTest, RowsWithoutAUsableMessageIdGoToTheScanningConnection) {
  for (int i = 0; i < 6; ++i) {
    const std::string name = "w" + std::to_string(i) + ".jpg";
    pictures[name] = test::picture_bytes(3000, static_cast<unsigned>(i + 100));
    test::ServerArticle a;
    a.overview.subject = name + " (1/1)";
    a.overview.message_id = "<" + std::to_string(i) + " two words@many.invalid>";
    a.body = test::yenc_encode(name, pictures[name]);
    content->add_article(kGroup, std::move(a));
  }
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 6u);
  EXPECT_EQ(count_commands("BODY <"), 0u);
  EXPECT_EQ(count_commands("body "), 6u);
}

// Parts of a set fetched over different connections still make one picture.
TEST_F(ConnectionsTest, PartsOverDifferentConnectionsMakeOneSet) {
  h.change([](Settings& s) {
    s.collect_multipart = 1;
    s.pipeline_depth = 1;
    s.check_subject = 0;  // the default filters take single parts only
  });
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    pictures[name] = test::picture_bytes(12000, static_cast<unsigned>(name[0]));
  }
  std::map<std::string, Strings> parts;
  for (const auto& [name, whole] : pictures) parts[name] = test::yenc_parts(name, whole, 5);
  for (int k = 0; k < 5; ++k)
    for (const auto& [name, p] : parts)
      post(name + " (" + std::to_string(k + 1) + "/5)", p[static_cast<std::size_t>(k)]);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  const std::string folder = "pictures/" + std::string(kGroup) + "/";
  EXPECT_EQ(test::files_in(folder), (Strings{"a.jpg", "b.jpg", "c.jpg"}));
  for (const auto& [name, whole] : pictures) EXPECT_TRUE(read_file(folder + name) == whole) << name;
  EXPECT_EQ(lines_of(read_file("HISTORY.FNK")).size(), 15u);
  EXPECT_EQ(h.state.pictures_downloaded.load(), 3);
  EXPECT_GT(count_commands("BODY <"), 0u);
}

// A connection that breaks mid-body loses only that body: another connection (or the same one,
// connected again) fetches it, and nothing is filed twice.
TEST_F(ConnectionsTest, ABodyCutOffIsFetchedAgainAndFiledOnce) {
  post_pictures(24);
  server.add_fault({"BODY <", 3, test::FaultAction::Cut, ""});
  server.add_fault({"BODY <", 9, test::FaultAction::Cut, ""});
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 24u);
  EXPECT_EQ(count_commands("BODY <") + count_commands("body "), 26u);
  EXPECT_GE(server.connections(), 5u);
}

// The poison rule counts across connections: a body that always breaks is given up after three.
TEST_F(ConnectionsTest, ABodyThatAlwaysBreaksIsGivenUpAfterThreeLosses) {
  h.change([](Settings& s) { s.connections = 3; });
  post_pictures(4);
  const std::string id = "<2." + std::string(kGroup) + "@fennick.invalid>";
  server.add_fault({"BODY " + id, 0, test::FaultAction::Cut, ""});
  server.add_fault({"body 2", 0, test::FaultAction::Cut, ""});
  // A loss on the session's own connection bails out as before, and the next session goes on.
  int sessions = 1;
  while (SessionThread(h.ctx) != kSessionEnded && sessions < 5) ++sessions;
  EXPECT_LT(sessions, 5);
  EXPECT_EQ(test::files_in("pictures/" + std::string(kGroup)), (Strings{"p0.jpg", "p2.jpg", "p3.jpg"}));
  EXPECT_GE(h.state.broken_downloads(std::string(kGroup) + " 2"), 3);
  EXPECT_EQ(lines_of(read_file("HISTORY.FNK")).size(), 3u);
}

class RefusingServerTest : public ConnectionsTest {
 protected:
  static test::ServerOptions three_at_most() {
    test::ServerOptions o;
    o.max_connections = 3;
    return o;
  }
  RefusingServerTest() : ConnectionsTest(three_at_most()) {}
};

// Five of eight are one too many: each says so once and the three others harvest everything.
TEST_F(RefusingServerTest, AServerThatTakesThreeOfEightGetsThree) {
  h.change([](Settings& s) { s.connections = 8; });
  post_pictures(30);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 30u);
  std::size_t refused = 0;
  for (const auto& t : h.log_texts()) refused += t.find("was refused by the server: 502 Too many connections") != std::string::npos;
  EXPECT_EQ(refused, 5u);
  EXPECT_EQ(server.connections(), 8u);
}

// A login refused after the session's own passed is one connection too many as well.
TEST_F(ConnectionsTest, ALoginRefusedToOneMoreConnectionLeavesTheOthersAtWork) {
  h.change([](Settings& s) { s.check_auth = 1; });
  server.add_fault({"AUTHINFO PASS", 3, test::FaultAction::Reply, "481 Too many connections for this user\r\n"});
  post_pictures(12);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 12u);
  std::size_t refused = 0;
  for (const auto& t : h.log_texts())
    refused += t.find("was refused the login: 481 Too many connections for this user: going on with 3 connections") !=
               std::string::npos;
  EXPECT_EQ(refused, 1u);
  EXPECT_EQ(h.state.refusal.load(), SessionState::kNoRefusal);
}

class StartTlsServerTest : public ConnectionsTest {
 protected:
  static test::ServerOptions start_tls() {
    test::ServerOptions o;
    o.tls = test::ServerTls::StartTls;
    return o;
  }
  StartTlsServerTest() : ConnectionsTest(start_tls()) {}
};

// Every connection goes through STARTTLS and the login as the session's own does.
TEST_F(StartTlsServerTest, EveryConnectionStartsTls) {
  ASSERT_TRUE(server.write_ca_file("ca.pem"));
  h.change([](Settings& s) {
    s.use_tls = Settings::kStartTls;
    s.tls_ca_file = "ca.pem";
    s.check_auth = 1;
  });
  post_pictures(12);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 12u);
  EXPECT_EQ(count_commands("STARTTLS"), 4u);
  EXPECT_EQ(count_commands("AUTHINFO PASS"), 4u);
  EXPECT_GT(count_commands("BODY <"), 0u);
}

class CappedServerTest : public ConnectionsTest {
 protected:
  static test::ServerOptions capped() {
    test::ServerOptions o;
    o.rate_per_connection = 100000;
    return o;
  }
  CappedServerTest() : ConnectionsTest(capped()) {}
};

// STOP while every connection is busy: the session ends at once, all connections close, and what
// was filed is recorded once; the rest comes with the next session.
TEST_F(CappedServerTest, StopDuringABusyHarvestClosesEveryConnection) {
  post_pictures(40, 20000);
  std::chrono::steady_clock::time_point pressed;
  h.view.on_text = [&](ControlId id, const std::string&) {
    if (id == ControlId::PendingBox && h.state.pictures_downloaded.load() >= 3 && !h.state.stop_requested.load()) {
      pressed = std::chrono::steady_clock::now();
      h.state.stop_requested = 1;
    }
  };
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  ASSERT_TRUE(h.state.stop_requested.load());
  const auto took = std::chrono::steady_clock::now() - pressed;
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_TRUE(h.logged("User Pressed Stop Button On Screen"));
  ASSERT_TRUE(server.wait_until_idle(std::chrono::seconds(2)));
  const std::size_t first = expect_filed_once();
  EXPECT_LT(first, 40u);

  h.view.on_text = {};
  h.state.stop_requested = 0;
  h.change([](Settings& s) { s.connections = 8; });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(expect_filed_once(), 40u);
}

// What the window does while every connection is busy acts on the rows not asked for yet: D/L Next
// brings the last row to the next request, Skip Group leaves the rest of the group for the next one.
TEST_F(CappedServerTest, DownloadNextAndSkipGroupWhileConnectionsAreBusy) {
  constexpr const char* kOther = "alt.binaries.pictures.other";
  h.write_newsrc(std::string(" ") + kGroup + "\n " + kOther + "\n");
  h.change([](Settings& s) {
    s.connections = 8;
    s.pipeline_depth = 2;
  });
  post_pictures(60, 20000);
  post_pictures(6, 3000, "q", kOther);
  bool moved = false, skipped = false;
  h.view.on_text = [&](ControlId id, const std::string&) {
    if (id != ControlId::PendingBox || h.state.current_group() != kGroup) return;
    const int filed = h.state.pictures_downloaded.load();
    if (filed >= 2 && !moved) {
      moved = true;
      EXPECT_TRUE(h.pending.move_to_next(h.pending.count() - 1));
    } else if (filed >= 20 && !skipped) {
      skipped = true;
      h.pending.clear();
    }
  };
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  ASSERT_TRUE(skipped);
  const std::size_t filed = expect_filed_once({kGroup, kOther});
  const Strings first = test::files_in("pictures/" + std::string(kGroup));
  // The last row was asked for at once, and what was asked for before the skip is all that came.
  EXPECT_NE(std::find(first.begin(), first.end(), "p59.jpg"), first.end());
  EXPECT_LT(first.size(), 60u);
  EXPECT_EQ(test::files_in("pictures/" + std::string(kOther)).size(), 6u);
  EXPECT_EQ(filed, first.size() + 6);
  EXPECT_EQ(count_commands("BODY <") + count_commands("body "), filed);
}

}  // namespace
}  // namespace fk
