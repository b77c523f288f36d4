// SPDX-License-Identifier: GPL-3.0-or-later
// The browser view's options of the real program: the address and token, a new token, a bad port, and a
// headless run that serves until a signal.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "common/child_process.h"
#include "common/raw_http.h"
#include "common/temp_dir.h"
#include "store/profile_file.h"
#include "store/unique_fd.h"

namespace fk {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
  int status = -1;
  std::string output;
};

ProgramRun run(const std::vector<std::string>& args) {
  test::ChildProcess child = test::ChildProcess::spawn(FK_FENNICK, args);
  const auto exit = child.wait_for(20s);
  return {exit && exit->exited ? exit->status : -1, child.output()};
}

// A port nothing listens on just now (the system's pick, released again).
int free_port() {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&addr), &length) != 0)
    return 0;
  return ntohs(addr.sin_port);
}

std::string stored_token() { return ProfileFile("FENNICK.INI").get_string("WEB", "web_token", "", 128); }

TEST(WebOptions, web_url_prints_address_and_token_and_a_new_token_replaces_it) {
  test::TempDir dir;
  test::write_file("FENNICK.INI", "[COMM]\nuser=someone\n");
  const ProgramRun off = run({"--web-url"});
  EXPECT_EQ(off.status, 1);
  EXPECT_NE(off.output.find("web view is off"), std::string::npos) << off.output;
  EXPECT_EQ(stored_token(), "") << "no token is made for a view that is off";

  test::write_file("FENNICK.INI", "[COMM]\nuser=someone\n[WEB]\nweb_port=8123\nweb_bind=::1\n");
  const ProgramRun first = run({"--web-url"});
  ASSERT_EQ(first.status, 0) << first.output;
  const std::string token = stored_token();
  struct stat st {};
  ASSERT_EQ(::stat("FENNICK.INI", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the token is for the user's eyes only";
  EXPECT_EQ(token.size(), 64u);
  EXPECT_EQ(first.output, "http://[::1]:8123/\n" + token + "\n");
  EXPECT_EQ(run({"--web-url"}).output, first.output) << "the token stays until replaced";
  EXPECT_EQ(ProfileFile("FENNICK.INI").get_string("COMM", "user", "", 99), "someone");

  const ProgramRun fresh = run({"--web-new-token"});
  ASSERT_EQ(fresh.status, 0);
  EXPECT_NE(stored_token(), token);
  EXPECT_EQ(fresh.output, stored_token() + "\n");

  EXPECT_EQ(run({"--headless", "--web", "70000"}).status, 2);
  EXPECT_EQ(run({"--headless", "--web", "x"}).status, 2);
}

TEST(WebOptions, headless_stay_serves_without_a_server_until_a_signal) {
  test::TempDir dir;
  test::write_file("FENNICK.INI",
                   "[COMM]\ncheck_dialup=0\n[WEB]\nweb_bind=0.0.0.0\nweb_token=" + std::string(64, 'c') + "\n");
  int port = 0;
  std::optional<test::ChildProcess> child;
  for (int attempt = 0; attempt < 5 && port == 0; ++attempt) {
    const int candidate = free_port();
    child.emplace(test::ChildProcess::spawn(FK_FENNICK, {"--headless", "--stay", "--web", std::to_string(candidate)}));
    const bool up = test::wait_until([&] { return child->output().find("web view at") != std::string::npos ||
                                                  child->wait_for(0ms).has_value(); }, 10s);
    if (up && child->output().find("web view at") != std::string::npos) port = candidate;
  }
  ASSERT_NE(port, 0) << child->output();
  EXPECT_NE(child->output().find("no news server"), std::string::npos) << child->output();
  EXPECT_NE(child->output().find("reachable from the network and is not encrypted"), std::string::npos);
  EXPECT_NE(test::read_file("fk.log").find("reachable from the network and is not encrypted"), std::string::npos);
  EXPECT_EQ(test::raw_get(port, "/api/status").status, 401);
  const auto status = test::raw_get(port, "/api/status", "Authorization: Bearer " + std::string(64, 'c') + "\r\n");
  EXPECT_EQ(status.status, 200);
  EXPECT_FALSE(child->wait_for(0ms).has_value()) << "--stay keeps it serving";
  child->signal(SIGTERM);
  const auto exit = child->wait_for(20s);
  ASSERT_TRUE(exit.has_value());
  EXPECT_EQ(exit->status, 128 + SIGTERM);
}

}  // namespace
}  // namespace fk
