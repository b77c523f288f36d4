// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A harness and a test server with its content, for the overview scan, article loop and whole sessions.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/engine_harness.h"
#include "server/nntp_test_server.h"
#include "session/transport.h"

namespace fk::test {

// A demo picture from tests/data/demo.
inline std::string demo_picture(const std::string& name) {
  auto bytes = read_binary_file(std::string(FK_TEST_DATA) + "/demo/" + name);
  EXPECT_TRUE(bytes) << name;
  return bytes.value_or(std::string());
}

// Files of a folder, sorted (empty when it does not exist).
inline std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class ServerFixture : public ::testing::Test {
 protected:
  explicit ServerFixture(ServerOptions options = {})
      : content(std::make_shared<MemoryContent>()), server(content, std::move(options)) {}

  void SetUp() override {
    ASSERT_TRUE(server.listening()) << server.error();
    h.use_server(server.port());
    for (const char* dir : {"pictures", "unknown", "raw"}) ::mkdir(dir, 0755);
  }

  // Connects, reads the greeting and selects the group, as the session would before its scan.
  void open_group(const std::string& group) {
    ASSERT_EQ(connect_news_server(h.ctx, sock), 0);
    std::string reply;
    ASSERT_GT(get_socket_string(h.ctx, reply, 511, sock), 0);
    sock.send_line("group " + group + "\r\n");
    ASSERT_GT(get_socket_string(h.ctx, reply, 511, sock), 0);
    ASSERT_EQ(reply.substr(0, 3), "211") << reply;
    h.state.set_current_group(group);
  }
  // The bodies the server was asked for, by number.
  std::vector<std::string> bodies_asked() {
    std::vector<std::string> out;
    for (const auto& c : server.commands())
      if (c.rfind("body ", 0) == 0) out.push_back(c.substr(5));
    return out;
  }
  // Waits (bounded) until the condition holds; for state another thread moves on.
  template <class F>
  static bool eventually(F&& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return condition();
  }

  EngineHarness h;
  std::shared_ptr<MemoryContent> content;
  NntpTestServer server;
  NewsSocket sock;
};

}  // namespace fk::test
