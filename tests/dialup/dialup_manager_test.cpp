// SPDX-License-Identifier: GPL-3.0-or-later
// The dial-up manager against the fake nmcli: finding, dialling, hanging up, and bad answers.
#include "dialup/dialup_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"
#include "dialup/nmcli_service.h"
#include "fake_nmcli.h"
#include "store/profile_file.h"

namespace fk {
namespace {

using test::FakeNmcli;

class DialupManagerTest : public ::testing::Test {
 protected:
  DialupManagerTest() {
    Settings s;
    s.isp_user = "bob";
    s.isp_pass = "hunter2";
    settings_.set(s);
  }

  DialupManager& manager() {
    if (!manager_)
      manager_ = std::make_unique<DialupManager>(settings_, state_, log_, view_, dialogs_, clock_,
                                                 "FENNICK.INI", service_, DialupManagerOptions{1000, 100});
    return *manager_;
  }
  bool check_dialup() const { return settings_.get().check_dialup != 0; }
  std::string stored_entry() const {
    return ProfileFile("FENNICK.INI").get_string("COMM", "phone_book_entry", "", 256);
  }
  void store_entry(const std::string& name) {
    ProfileFile("FENNICK.INI").write_string("COMM", "phone_book_entry", name);
  }

  // The messages logged at `level`, in order (continuation lines of long messages are left out).
  std::vector<std::string> logged(int level) const {
    static const char* prefixes[] = {"", "+---", "+-------", "+-----------"};
    std::vector<std::string> out;
    std::string text = test::read_file("fk.log");
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t nl = text.find('\n', pos);
      std::string line = text.substr(pos, nl - pos);
      pos = nl == std::string::npos ? text.size() : nl + 1;
      std::string head = std::string("  ") + prefixes[level] + " - ";
      if (line.size() > 24 && line.compare(24, head.size(), head) == 0)
        out.push_back(line.substr(24 + head.size()));
    }
    return out;
  }
  int count_logged(const std::string& message, int level) const {
    auto l = logged(level);
    return static_cast<int>(std::count(l.begin(), l.end(), message));
  }
  void wait_for_up_call() {
    for (int i = 0; i < 1000 && fake_.count_calls("up") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(fake_.count_calls("up"), 1);
  }

  test::TempDir dir_;
  FakeNmcli fake_{dir_.path() / "nm"};
  SharedSettings settings_;
  SessionState state_;
  test::FakeClock clock_;
  StatusLog log_{settings_, clock_};
  test::RecordingView view_;
  test::RecordingDialogs dialogs_;
  NmcliService service_{NmcliOptions{"nmcli", 3000, 3000, 5, 1 << 20}};
  std::unique_ptr<DialupManager> manager_;
};

TEST_F(DialupManagerTest, WithDialupOffNothingIsLoadedOrAsked) {
  settings_.update([](Settings& s) { s.check_dialup = 0; });
  EXPECT_EQ(manager().load_ras_library(), 0);
  manager().HangUp();
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_TRUE(dialogs_.boxes().empty());
  EXPECT_EQ(logged(0), std::vector<std::string>{"Hang-up without NetworkManager"});
  EXPECT_FALSE(manager().connection_open());
}

TEST_F(DialupManagerTest, NoServiceIsTheUnableToLoadPath) {
  fake_.set_running(false);
  EXPECT_EQ(manager().load_ras_library(), 0);
  std::string log = test::read_file("fk.log");
  EXPECT_NE(
      log.find(" - Dial-up unavailable: NetworkManager (nmcli) was not found ... \n - If you are using a direct "
               "internet connection .. no problem,\n   open Setup, page Connection, and untick \"Use Dialup "
               "Internet Connection\".\n"),
      std::string::npos);
  ASSERT_EQ(dialogs_.boxes().size(), 1u);
  auto box = dialogs_.boxes()[0];
  EXPECT_EQ(box.caption, "Fennick -- Dial-up Unavailable");
  // On Linux the box says what is missing and how to untick the option.
  EXPECT_THAT(box.text, ::testing::HasSubstr("NetworkManager was not found"));
  EXPECT_THAT(box.text, ::testing::HasSubstr("untick\n   \"Use Dialup Internet Connection\""));
  EXPECT_EQ(box.icon, Icon::Warning);
  EXPECT_TRUE(check_dialup());

  // The next start finds nothing to call and switches dial-up off.
  EXPECT_EQ(manager().check_ras_connection(), 0);
  EXPECT_EQ(count_logged("Dial-up check without NetworkManager", 0), 1);
  EXPECT_FALSE(check_dialup());
}

TEST_F(DialupManagerTest, ServiceLackingAnOperationIsTheFunctionPointerPath) {
  fake_.flag("help", true, "  show [--active]\n  down [id] <ID>\n  up <ID>\n");
  EXPECT_EQ(manager().load_ras_library(), 0);
  EXPECT_EQ(logged(0), std::vector<std::string>{"NetworkManager (nmcli) lacks the dial-up operations Fennick needs"});
  ASSERT_EQ(dialogs_.boxes().size(), 1u);
  EXPECT_EQ(dialogs_.boxes()[0].text, "This NetworkManager cannot check or dial a dial-up connection");
  EXPECT_EQ(dialogs_.boxes()[0].caption, "Fennick -- Dial-up Unavailable");
  EXPECT_FALSE(check_dialup());
}

TEST_F(DialupManagerTest, ConnectionsDialledByHandAreFoundAndTheFirstNameStored) {
  fake_.add_profile("u0", "Wired connection 1", "802-3-ethernet", "activated", "eth0");
  fake_.add_profile("u1", "First ISP: Home", "gsm", "activated", "ttyUSB2");
  fake_.add_profile("u2", "Second ISP", "pppoe", "activated", "ppp0");
  ASSERT_EQ(manager().load_ras_library(), 1);
  EXPECT_EQ(logged(0), std::vector<std::string>{"Dial-up through NetworkManager is available"});

  EXPECT_EQ(manager().check_ras_connection(), 2);
  EXPECT_EQ(logged(1),
            (std::vector<std::string>{
                "Connection(s) found to the internet", "Found 2 Active Remote Access Connection(s)",
                "Saving active phonebook entry...", "Connection 1 to: First ISP: Home via gsm (ttyUSB2)",
                "Connection 2 to: Second ISP via pppoe (ppp0)"}));
  EXPECT_EQ(stored_entry(), "First ISP: Home");
  EXPECT_TRUE(manager().connection_open());
  EXPECT_EQ(fake_.count_calls("up"), 0);
  EXPECT_TRUE(view_.commands().empty());
}

TEST_F(DialupManagerTest, NoConnectionAndNoStoredEntryDialsNothing) {
  ASSERT_EQ(manager().load_ras_library(), 1);
  EXPECT_EQ(manager().check_ras_connection(), 0);
  manager().join_dial_threads();
  EXPECT_EQ(view_.text(ControlId::ConnectionStatus), "Please Use Dialup Networking To Call Your ISP");
  EXPECT_EQ(logged(1), std::vector<std::string>{"No Phone Book Entry To Use To Dial Internet"});
  EXPECT_EQ(fake_.count_calls("up"), 0);
  EXPECT_TRUE(view_.commands().empty());
  EXPECT_GE(clock_.slept_ms(), 1000);
}

TEST_F(DialupManagerTest, SuccessfulDialPostsStartOnceAndTheRestartFindsIt) {
  const std::string name = "My ISP; $(touch pwned) `touch pwned` \"";
  fake_.add_profile("u1", name, "pppoe");
  store_entry(name);
  ASSERT_EQ(manager().load_ras_library(), 1);

  EXPECT_EQ(manager().check_ras_connection(), 0);
  manager().join_dial_threads();
  EXPECT_EQ(view_.commands(), std::vector<Command>{Command::Start});
  EXPECT_EQ(state_.connection_attempts.load(), 1);
  EXPECT_EQ(
      view_.text_history(ControlId::ConnectionStatus),
      (std::vector<std::string>{"Nobody... Attempting to Dial the Internet", "Connection Established"}));
  EXPECT_EQ(logged(1),
            (std::vector<std::string>{"Attempting to Dial the Internet....", "Asking NetworkManager to dial...",
                                      "Dialing started.. got a connection"}));
  EXPECT_FALSE(test::exists("pwned"));
  for (const auto& call : fake_.calls())
    for (const auto& arg : call) EXPECT_EQ(arg.find("hunter2"), std::string::npos);
  EXPECT_NE(fake_.passwd_log().find("pppoe.password:hunter2\n"), std::string::npos);

  // The posted Start checks again and now finds the connection.
  EXPECT_EQ(manager().check_ras_connection(), 1);
  EXPECT_EQ(view_.commands().size(), 1u);
  EXPECT_EQ(fake_.count_calls("up"), 1);
  EXPECT_EQ(stored_entry(), name);
}

TEST_F(DialupManagerTest, FailedDialIsReportedAndStartsNothing) {
  fake_.add_profile("u1", "My ISP", "pppoe");
  fake_.profile_file("u1", "up_fails", "");
  store_entry("My ISP");
  ASSERT_EQ(manager().load_ras_library(), 1);
  manager().dial_thread();
  EXPECT_EQ(view_.text(ControlId::ConnectionStatus), "Dialing failed");
  EXPECT_EQ(count_logged("Dialing failed", 1), 1);
  EXPECT_EQ(logged(2), std::vector<std::string>{"NetworkManager could not bring the connection up"});
  EXPECT_TRUE(view_.commands().empty());
  EXPECT_EQ(state_.connection_attempts.load(), 0);
  EXPECT_FALSE(manager().connection_open());
}

TEST_F(DialupManagerTest, SecondDialWhileOneRunsIsBusyAndTheFirstGoesOn) {
  fake_.add_profile("u1", "My ISP", "pppoe");
  fake_.profile_file("u1", "up_waits", "");
  store_entry("My ISP");
  ASSERT_EQ(manager().load_ras_library(), 1);
  EXPECT_EQ(manager().check_ras_connection(), 0);
  wait_for_up_call();
  EXPECT_EQ(manager().check_ras_connection(), 0);
  for (int i = 0; i < 1000 && count_logged("Dial_Thread() Busy...", 1) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  fake_.flag("release_up", true);
  manager().join_dial_threads();
  EXPECT_EQ(count_logged("Dial_Thread() Busy...", 1), 1);
  EXPECT_EQ(fake_.count_calls("up"), 1);
  EXPECT_EQ(view_.commands(), std::vector<Command>{Command::Start});

  // The busy mark is gone once the dial ended: the next dial runs (after hanging the old one up).
  manager().dial_thread();
  EXPECT_EQ(fake_.count_calls("up"), 2);
  EXPECT_EQ(fake_.count_calls("down"), 1);
  EXPECT_EQ(count_logged("Dial_Thread() Busy...", 1), 1);
}

TEST_F(DialupManagerTest, HangUpReturnsOnlyAfterTheConnectionIsGone) {
  fake_.add_profile("u1", "My ISP", "pppoe", "activated", "ppp0");
  fake_.profile_file("u1", "down_lingers", "3");
  ASSERT_EQ(manager().load_ras_library(), 1);
  ASSERT_EQ(manager().check_ras_connection(), 1);
  int listings_before = fake_.count_calls("--active");
  manager().HangUp();
  EXPECT_FALSE(fake_.active("u1"));
  EXPECT_GE(fake_.count_calls("--active") - listings_before, 4);  // three "deactivating", then gone
  EXPECT_FALSE(manager().connection_open());
  auto l = logged(1);
  EXPECT_EQ(std::vector<std::string>(l.end() - 2, l.end()),
            (std::vector<std::string>{"Requesting Hangup on the dial-up connection",
                                      "Hangup on the dial-up connection complete"}));

  // Once nothing is open, HangUp has nothing to do.
  manager().HangUp();
  EXPECT_EQ(fake_.count_calls("down"), 1);
}

TEST_F(DialupManagerTest, HangUpGivesUpOnAConnectionThatNeverGoes) {
  fake_.add_profile("u1", "My ISP", "pppoe", "activated", "ppp0");
  fake_.profile_file("u1", "down_lingers", "forever");
  ASSERT_EQ(manager().load_ras_library(), 1);
  ASSERT_EQ(manager().check_ras_connection(), 1);
  std::int64_t before = clock_.uptime_ms();
  manager().HangUp();
  EXPECT_GE(clock_.uptime_ms() - before, 1000);
  EXPECT_EQ(count_logged("Hangup on the dial-up connection not confirmed, giving up", 1), 1);
  EXPECT_EQ(count_logged("Hangup on the dial-up connection complete", 1), 0);
  EXPECT_FALSE(manager().connection_open());
}

TEST_F(DialupManagerTest, UnreadableOrHangingListingGivesUpForNow) {
  ASSERT_EQ(manager().load_ras_library(), 1);
  fake_.flag("raw_active", true, "\x01\x02 garbage\n");
  EXPECT_EQ(manager().check_ras_connection(), 0);
  EXPECT_EQ(logged(1), std::vector<std::string>{"Unknown answer from NetworkManager"});
  EXPECT_EQ(logged(2), std::vector<std::string>{"nmcli gave output that could not be read"});

  fake_.flag("raw_active", false);
  fake_.flag("hang_show", true);
  NmcliService impatient(NmcliOptions{"nmcli", 300, 300, 5, 1 << 20});
  DialupManager m(settings_, state_, log_, view_, dialogs_, clock_, "FENNICK.INI", impatient);
  ASSERT_EQ(m.load_ras_library(), 1);
  EXPECT_EQ(m.check_ras_connection(), 0);
  EXPECT_EQ(count_logged("nmcli did not answer in time and was stopped", 2), 1);

  manager().join_dial_threads();
  m.join_dial_threads();
  EXPECT_EQ(count_logged("Attempting to Dial the Internet....", 1), 0);
  EXPECT_EQ(count_logged("No Phone Book Entry To Use To Dial Internet", 1), 0);
}

TEST_F(DialupManagerTest, ReleaseStopsADialInProgress) {
  fake_.add_profile("u1", "My ISP", "pppoe");
  fake_.profile_file("u1", "up_waits", "");
  store_entry("My ISP");
  ASSERT_EQ(manager().load_ras_library(), 1);
  EXPECT_EQ(manager().check_ras_connection(), 0);
  wait_for_up_call();
  manager().release_ras_library();
  EXPECT_FALSE(manager().library_loaded());
  EXPECT_EQ(count_logged("Dialing failed", 1), 1);
  EXPECT_TRUE(view_.commands().empty());
}

}  // namespace
}  // namespace fk
