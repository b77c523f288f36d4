// SPDX-License-Identifier: GPL-3.0-or-later
// Sessions over TLS and STARTTLS against the test server, the certificates a client must refuse, the
// waits STOP and silence must cut short, and IPv6.
#include <chrono>
#include <thread>

#include "session/article_fixture.h"
#include "session/article_loop.h"
#include "session/session_thread.h"

namespace fk {
namespace {

using test::FaultAction;
using test::ServerOptions;
using test::ServerTls;
using Strings = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

constexpr const char* kGroup = "alt.binaries.pictures.tls";

ServerOptions tls_options(ServerTls tls, test::CertificateOptions certificate = {}) {
  ServerOptions o;
  o.tls = tls;
  o.certificate = std::move(certificate);
  return o;
}

class TlsFixture : public test::ServerFixture {
 protected:
  explicit TlsFixture(ServerOptions options) : ServerFixture(std::move(options)) {}

  // One picture in the group, the newsrc, and the settings that reach this server over TLS.
  void prepare(int use_tls, bool trust_ca = true) {
    test::ServerArticle a;
    a.overview.subject = "fox.jpg (1/1)";
    a.body = test::uuencode("fox.jpg", test::demo_picture("fox.jpg"));
    content->add_article(kGroup, std::move(a));
    h.write_newsrc(std::string(" ") + kGroup + "\n");
    if (trust_ca) {
      ASSERT_TRUE(server.write_ca_file("ca.pem"));
    }
    h.change([&](Settings& s) {
      s.use_tls = use_tls;
      s.tls_ca_file = trust_ca ? "ca.pem" : "";
      s.minlines = 10;
    });
  }
  std::string picture() { return test::read_file(std::string("pictures/") + kGroup + "/fox.jpg"); }
};

class TlsRoundTrip : public TlsFixture, public ::testing::WithParamInterface<ServerTls> {
 protected:
  TlsRoundTrip() : TlsFixture(tls_options(GetParam())) {}
};

TEST_P(TlsRoundTrip, HarvestsThePictureByteForByte) {
  const int use_tls = GetParam() == ServerTls::Implicit ? 1 : GetParam() == ServerTls::StartTls ? 2 : 0;
  prepare(use_tls);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(picture(), test::demo_picture("fox.jpg"));
  EXPECT_EQ(h.state.refusal, SessionState::kNoRefusal);
  // The session is over once QUIT is sent; the server may log it a moment later.
  EXPECT_TRUE(server.wait_until_idle());
  Strings commands = server.commands();
  ASSERT_FALSE(commands.empty());
  // STARTTLS comes before anything else; the rest of the dialogue is the plain one.
  if (use_tls == 2) {
    EXPECT_EQ(Strings(commands.begin(), commands.begin() + 2), (Strings{"CAPABILITIES", "STARTTLS"}));
    commands.erase(commands.begin(), commands.begin() + 2);
  }
  EXPECT_EQ(commands.front(), "MODE READER");
  EXPECT_EQ(commands.back(), "QUIT");
  EXPECT_FALSE(h.logged_in_order({"WARNING: TLS certificate"}));
}

INSTANTIATE_TEST_SUITE_P(Transports, TlsRoundTrip,
                         ::testing::Values(ServerTls::None, ServerTls::Implicit, ServerTls::StartTls),
                         [](const auto& info) {
                           return info.param == ServerTls::None       ? std::string("Plain")
                                  : info.param == ServerTls::Implicit ? std::string("Implicit")
                                                                      : std::string("StartTls");
                         });

struct RefusalCase {
  const char* name;
  test::CertificateOptions certificate;
  bool trust_ca;
  const char* reason;
};

class CertificateRefusal : public TlsFixture, public ::testing::WithParamInterface<RefusalCase> {
 protected:
  CertificateRefusal() : TlsFixture(tls_options(ServerTls::Implicit, GetParam().certificate)) {}
};

TEST_P(CertificateRefusal, EndsBeforeAnythingIsSentAndSaysWhy) {
  prepare(1, GetParam().trust_ca);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(h.state.refusal, SessionState::kTlsRefused);
  EXPECT_TRUE(server.commands().empty());
  const std::string what = "TLS connection to 127.0.0.1 refused: " + std::string(GetParam().reason);
  int lines = 0;
  for (const auto& text : h.log_texts()) lines += text.rfind(what, 0) == 0;
  EXPECT_EQ(lines, 1) << what;
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_NE(h.dialogs.boxes()[0].text.find(what), std::string::npos);
  EXPECT_NE(h.dialogs.boxes()[0].text.find("tls_verify=0"), std::string::npos);
  EXPECT_FALSE(h.logged("SOCKET_BAILOUT"));
}

TEST_P(CertificateRefusal, VerificationOffAcceptsItWithAWarningAtEveryConnect) {
  prepare(1, GetParam().trust_ca);
  h.change([](Settings& s) { s.tls_verify = 0; });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(picture(), test::demo_picture("fox.jpg"));
  NewsSocket again;
  ASSERT_EQ(connect_news_server(h.ctx, again), 0);
  int warnings = 0;
  for (const auto& text : h.log_texts()) warnings += text.rfind("WARNING: TLS certificate of 127.0.0.1 not checked", 0) == 0;
  EXPECT_EQ(warnings, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, CertificateRefusal,
    ::testing::Values(
        RefusalCase{"OtherName", {{"news.other.invalid"}, {"192.0.2.7"}, false}, true,
                    "the certificate was issued for another name"},
        RefusalCase{"Expired", {{"localhost"}, {"127.0.0.1"}, true}, true, "the certificate has expired"},
        RefusalCase{"UnknownAuthority", {}, false, "the certificate's issuer is unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

class StartTlsNotOffered : public TlsFixture {
 protected:
  StartTlsNotOffered() : TlsFixture(tls_options(ServerTls::None)) {}
};

TEST_F(StartTlsNotOffered, IsRefusedBeforeTheLogin) {
  prepare(2);
  h.change([](Settings& s) {
    s.check_auth = 1;
    s.user = "u";
    s.pass = "secret";
  });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(h.state.refusal, SessionState::kTlsRefused);
  EXPECT_EQ(server.commands(), Strings{"CAPABILITIES"});
  EXPECT_TRUE(h.logged("127.0.0.1 does not offer STARTTLS (use_tls=2)"));
}

class TlsFaults : public TlsFixture {
 protected:
  TlsFaults() : TlsFixture(tls_options(ServerTls::Implicit)) {}
  void SetUp() override {
    TlsFixture::SetUp();
    prepare(1);
    ASSERT_NO_FATAL_FAILURE(open_group(kGroup));
    h.pending.append("1\tposter\t900\tfox.jpg (1/1)");
  }
  // Runs the article loop on a thread and presses STOP once the server has been asked for the body.
  ArticleLoopResult run_and_stop(std::chrono::milliseconds& after_stop) {
    ArticleLoopResult r;
    std::thread loop([&] { r = run_article_loop(h.ctx, sock); });
    EXPECT_TRUE(eventually([&] { return !bodies_asked().empty(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto pressed = Clock::now();
    h.state.stop_requested = 1;
    loop.join();
    after_stop = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pressed);
    return r;
  }
};

TEST_F(TlsFaults, StopDuringATlsBodyIsSeenAtOnce) {
  server.add_fault({"BODY 1", 0, FaultAction::Stall, "222 1 <s@x>\r\nbegin 644 fox.jpg\r\nM"});
  std::chrono::milliseconds after_stop{};
  ArticleLoopResult r = run_and_stop(after_stop);
  EXPECT_EQ(r.kind, ArticleLoopResult::Kind::BailOut);
  EXPECT_LT(after_stop.count(), 500);
  EXPECT_EQ(h.article_ids.count(), 0u);
}

TEST_F(TlsFaults, ServerClosingInTheMiddleOfARecordIsALostConnection) {
  server.add_fault({"BODY 1", 0, FaultAction::CutRecord, "222 1 <c@x>\r\nbegin 644 fox.jpg\r\n"});
  ArticleLoopResult r = run_article_loop(h.ctx, sock);
  EXPECT_EQ(r.kind, ArticleLoopResult::Kind::BailOut);
  EXPECT_EQ(r.message, "Socket Rx Error 008");
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_EQ(h.pending.count(), 1u);
}

TEST_F(TlsFaults, SilentServerIsGivenUpAfterTheIdleTimeout) {
  // The limit is read at connect.
  h.change([](Settings& s) { s.idle_timeout = 1; });
  sock.close();
  ASSERT_NO_FATAL_FAILURE(open_group(kGroup));
  server.add_fault({"BODY 1", 0, FaultAction::Stall, "222 1 <s@x>\r\nbegin 644 fox.jpg\r\n"});
  auto started = Clock::now();
  ArticleLoopResult r = run_article_loop(h.ctx, sock);
  EXPECT_EQ(r.kind, ArticleLoopResult::Kind::BailOut);
  EXPECT_EQ(r.message, "Socket Rx Error 008");
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(h.logged("News server silent for 1 seconds (idle_timeout), connection given up"));
}

class PlainServer : public TlsFixture {
 protected:
  PlainServer() : TlsFixture(tls_options(ServerTls::None)) {}
};

TEST_F(PlainServer, StopDuringATlsHandshakeIsSeenAtOnce) {
  // A plain server that never greets never answers the handshake either.
  server.add_fault({"", 0, FaultAction::Stall, ""});
  h.change([](Settings& s) { s.use_tls = 1; });
  int result = 0;
  std::thread connect([&] { result = connect_news_server(h.ctx, sock); });
  ASSERT_TRUE(eventually([&] { return server.connections() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto pressed = Clock::now();
  h.state.stop_requested = 1;
  connect.join();
  EXPECT_LT(Clock::now() - pressed, std::chrono::milliseconds(500));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_EQ(h.state.refusal, SessionState::kNoRefusal);
}

TEST_F(PlainServer, SilentServerBeforeTheGreetingIsALostConnection) {
  server.add_fault({"", 0, FaultAction::Stall, ""});
  h.write_newsrc(std::string(" ") + kGroup + "\n");
  h.change([](Settings& s) { s.idle_timeout = 1; });
  EXPECT_EQ(SessionThread(h.ctx), kSessionBailedOut);
  EXPECT_TRUE(h.logged_in_order({"News server silent for 1 seconds (idle_timeout), connection given up",
                                 "Socket Rx Error 001", "SOCKET_BAILOUT"}));
}

TEST_F(PlainServer, IPv6LiteralReachesTheServer) {
  if (!server.listening_ipv6()) GTEST_SKIP() << "no IPv6 on this machine";
  h.use_server(server.port(), "::1");
  ASSERT_EQ(connect_news_server(h.ctx, sock), 0);
  std::string line;
  EXPECT_GT(get_socket_string(h.ctx, line, 511, sock), 0);
  EXPECT_EQ(line.substr(0, 3), "200");
  EXPECT_EQ(h.state.news_socket, sock.fd());
}

class IPv4OnlyServer : public TlsFixture {
 protected:
  IPv4OnlyServer() : TlsFixture([] {
    ServerOptions o;
    o.listen_ipv6 = false;
    return o;
  }()) {}
};

TEST_F(IPv4OnlyServer, NameIsResolvedWithAnyFamilyAndAnswers) {
  // Where "localhost" also has ::1, that address is refused here and the next one is used.
  h.use_server(server.port(), "localhost");
  ASSERT_EQ(connect_news_server(h.ctx, sock), 0);
  std::string line;
  EXPECT_GT(get_socket_string(h.ctx, line, 511, sock), 0);
  EXPECT_EQ(line.substr(0, 3), "200");
  EXPECT_EQ(h.state.news_socket, sock.fd());
  EXPECT_FALSE(h.logged("connect() failed"));
}

class TlsOverIPv6 : public TlsFixture {
 protected:
  TlsOverIPv6() : TlsFixture(tls_options(ServerTls::Implicit)) {}
};

TEST_F(TlsOverIPv6, CertificateIsCheckedAgainstTheAddress) {
  if (!server.listening_ipv6()) GTEST_SKIP() << "no IPv6 on this machine";
  prepare(1);
  h.use_server(server.port(), "::1");
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(picture(), test::demo_picture("fox.jpg"));
}

}  // namespace
}  // namespace fk
