// SPDX-License-Identifier: GPL-3.0-or-later
// The NetworkManager service against the fake nmcli: listings, probing, dialling, bad answers.
#include "dialup/nmcli_service.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/temp_dir.h"
#include "dialup/terse.h"
#include "fake_nmcli.h"

namespace fk {
namespace {

using test::FakeNmcli;

TEST(Terse, ColumnsHonourEscapedColonsAndBackslashes) {
  EXPECT_EQ(split_terse_fields(R"(My ISP\: Home\\Work:u1:pppoe::activated)"),
            (std::vector<std::string>{"My ISP: Home\\Work", "u1", "pppoe", "", "activated"}));
  // A backslash before anything else, or at the end, is kept.
  EXPECT_EQ(split_terse_fields(R"(a\b:c\)"), (std::vector<std::string>{"a\\b", "c\\"}));
  EXPECT_EQ(terse_lines("a\r\n\nb"), (std::vector<std::string_view>{"a", "b"}));
  auto p = split_terse_property("connection.id:x: y");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "connection.id");
  EXPECT_EQ(p->value, "x: y");
  EXPECT_FALSE(split_terse_property("no colon"));
}

TEST(Terse, PasswordEscapingSurvivesStrippingAndLineBreaks) {
  EXPECT_EQ(escape_passwd_value(" a\\b:c\n"), "\\040a\\134b:c\\012");
  EXPECT_EQ(escape_passwd_value("plain"), "plain");
}

class NmcliServiceTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  FakeNmcli fake_{dir_.path() / "nm"};
  NmcliOptions options() {
    NmcliOptions o;
    o.query_timeout_ms = 3000;
    o.change_timeout_ms = 3000;
    o.activation_wait_s = 5;
    return o;
  }
  NmcliService service_{options()};
};

TEST_F(NmcliServiceTest, ProbeTellsMissingStoppedIncompleteAndReady) {
  EXPECT_EQ(service_.probe().operations, unsigned{kOpAll});

  fake_.flag("help", true, "Usage: nmcli connection\n  show [--active]\n  down [id] <ID>\n  up <ID>\n");
  DialupProbe partial = service_.probe();
  EXPECT_TRUE(partial.present);
  EXPECT_EQ(partial.operations & kOpDial, 0u);
  EXPECT_NE(partial.operations & kOpHangUp, 0u);

  fake_.set_running(false);
  DialupProbe stopped = service_.probe();
  EXPECT_FALSE(stopped.present);
  EXPECT_EQ(stopped.detail, "NetworkManager is not running: Error: NetworkManager is not running.");

  ::setenv("PATH", dir_.path().c_str(), 1);
  DialupProbe missing = service_.probe();
  EXPECT_FALSE(missing.present);
  EXPECT_EQ(missing.detail, "nmcli was not found on the PATH");
}

TEST_F(NmcliServiceTest, ListsOnlyDialupConnectionsWithTheirNames) {
  fake_.add_profile("u1", "Wired connection 1", "802-3-ethernet", "activated", "eth0");
  fake_.add_profile("u2", "My ISP: Home\\Work", "pppoe", "activated", "ppp0");
  fake_.add_profile("u3", "Mobile", "gsm", "activating", "ttyUSB2");
  fake_.add_profile("u4", "Idle", "cdma");
  ConnectionList list = service_.list_active();
  ASSERT_EQ(list.error, DialupError::None);
  ASSERT_EQ(list.connections.size(), 2u);
  EXPECT_EQ(list.connections[0].entry_name, "My ISP: Home\\Work");
  EXPECT_EQ(list.connections[0].handle, "u2");
  EXPECT_EQ(list.connections[0].device_type, "pppoe");
  EXPECT_EQ(list.connections[0].device_name, "ppp0");
  EXPECT_EQ(list.connections[0].state, ConnectionState::Connected);
  EXPECT_EQ(list.connections[1].state, ConnectionState::Connecting);

  EXPECT_EQ(service_.connection_status("u3").state, ConnectionState::Connecting);
  EXPECT_EQ(service_.connection_status("u4").error, DialupError::InvalidHandle);
  EXPECT_EQ(service_.hang_up("u4"), DialupError::InvalidHandle);
  EXPECT_EQ(service_.hang_up("u2"), DialupError::None);
  EXPECT_FALSE(fake_.active("u2"));
}

TEST_F(NmcliServiceTest, GarbageTruncatedAndHugeAnswersAreErrors) {
  fake_.flag("raw_active", true, "garbage without any columns\n");
  EXPECT_EQ(service_.list_active().error, DialupError::UnreadableOutput);
  fake_.flag("raw_active", true, "My ISP:u1:pppoe:ppp0:activated\nOther:u2:pp");
  ConnectionList cut = service_.list_active();
  EXPECT_EQ(cut.error, DialupError::UnreadableOutput);
  EXPECT_TRUE(cut.connections.empty());
  fake_.flag("raw_active", true, std::string(3 << 20, 'x'));
  EXPECT_EQ(service_.list_active().error, DialupError::OutputTooLarge);
  fake_.flag("raw_active", false);

  fake_.set_running(false);
  EXPECT_EQ(service_.list_active().error, DialupError::NotRunning);
}

TEST_F(NmcliServiceTest, DialHandsThePasswordOverInAPrivateFileOnly) {
  fake_.add_profile("u1", "My ISP", "pppoe");
  fake_.profile_file("u1", "username", "saved-user");
  const std::string password = " s3cr:t\\pw ";
  DialResult r = service_.dial("My ISP", "bob", password);
  ASSERT_EQ(r.error, DialupError::None);
  EXPECT_EQ(r.handle, "u1");
  EXPECT_TRUE(r.user_restored);
  EXPECT_TRUE(fake_.active("u1"));

  EXPECT_EQ(fake_.passwd_log(), "file=600 dir=700\npppoe.password:\\040s3cr:t\\134pw\\040\n--\n");
  for (const auto& call : fake_.calls())
    for (const auto& arg : call) {
      EXPECT_EQ(arg.find("s3cr"), std::string::npos) << arg;
      if (arg.find("fennick-") != std::string::npos) {
        EXPECT_FALSE(test::exists(arg)) << "passwd-file left behind";
        EXPECT_FALSE(test::exists(std::filesystem::path(arg).parent_path()));
      }
    }
  // The user name was lent for this dial only, in memory, and given back.
  auto calls = fake_.calls();
  std::vector<std::string> lend = {"connection", "modify",         "--temporary", "id",
                                   "My ISP",     "pppoe.username", "bob"};
  std::vector<std::string> give_back = lend;
  give_back.back() = "saved-user";
  EXPECT_NE(std::find(calls.begin(), calls.end(), lend), calls.end());
  EXPECT_EQ(calls.back(), give_back);
  EXPECT_EQ(fake_.profile_value("u1", "username"), "saved-user");
}

TEST_F(NmcliServiceTest, DialWithoutCredentialsTouchesNothing) {
  fake_.add_profile("u1", "My ISP", "gsm");
  ASSERT_EQ(service_.dial("My ISP", "", "").error, DialupError::None);
  EXPECT_EQ(fake_.count_calls("modify"), 0);
  EXPECT_EQ(fake_.passwd_log(), "");
  EXPECT_EQ(fake_.calls().back(),
            (std::vector<std::string>{"-t", "-w", "5", "connection", "up", "id", "My ISP"}));
}

TEST_F(NmcliServiceTest, BluetoothDialupUsesItsModemSetting) {
  fake_.add_profile("u1", "Phone", "bluetooth");
  fake_.profile_file("u1", "setting", "gsm");
  ASSERT_EQ(service_.dial("Phone", "", "pw").error, DialupError::None);
  EXPECT_EQ(fake_.passwd_log(), "file=600 dir=700\ngsm.password:pw\n--\n");
}

TEST_F(NmcliServiceTest, DialRefusesUnknownAndNonDialupProfiles) {
  fake_.add_profile("u1", "Wired connection 1", "802-3-ethernet");
  EXPECT_EQ(service_.dial("Wired connection 1", "", "").error, DialupError::NotDialup);
  EXPECT_EQ(service_.dial("Nowhere", "", "").error, DialupError::NoSuchEntry);
  EXPECT_EQ(service_.dial("", "", "").error, DialupError::NoSuchEntry);
  EXPECT_EQ(service_.dial("Wired connection 1", "bob\nevil", "").error, DialupError::UnusableSecret);
  EXPECT_EQ(fake_.count_calls("up"), 0);
}

TEST_F(NmcliServiceTest, ShellMetacharactersInANameStayPlainText) {
  const std::string name = "x\"; touch pwned; echo $(touch pwned2) `touch pwned3` '";
  fake_.add_profile("u1", name, "pppoe");
  DialResult r = service_.dial(name, "", "");
  EXPECT_EQ(r.error, DialupError::None);
  EXPECT_FALSE(test::exists("pwned"));
  EXPECT_FALSE(test::exists("pwned2"));
  EXPECT_FALSE(test::exists("pwned3"));
  EXPECT_FALSE(test::exists(fake_.dir() / "pwned"));
  EXPECT_EQ(fake_.calls().back().back(), name);
}

TEST_F(NmcliServiceTest, CancelledDialStillGivesTheUserNameBack) {
  fake_.add_profile("u1", "My ISP", "pppoe");
  fake_.profile_file("u1", "up_waits", "");
  std::thread dial([&] {
    DialResult r = service_.dial("My ISP", "bob", "pw");
    EXPECT_EQ(r.error, DialupError::Cancelled);
    EXPECT_TRUE(r.handle.empty());
    EXPECT_TRUE(r.user_restored);
  });
  for (int i = 0; i < 400 && fake_.count_calls("up") == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  service_.set_cancelled(true);
  dial.join();
  EXPECT_EQ(fake_.profile_value("u1", "username"), "");
}

}  // namespace
}  // namespace fk
