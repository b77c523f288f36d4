// SPDX-License-Identifier: GPL-3.0-or-later
// The headless mode end to end: a fresh folder, the demo served by the test server, exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "app/headless.h"
#include "app/terminal_view.h"
#include "common/child_process.h"
#include "common/recording_view.h"
#include "common/fake_clock.h"
#include "dialup/fake_nmcli.h"
#include "common/temp_dir.h"
#include "server/news_content.h"
#include "server/nntp_test_server.h"
#include "store/text_file.h"

namespace fk::test {
namespace {

using ::testing::HasSubstr;

struct Headless : ::testing::Test {
  TempDir dir;
  FakeClock clock;

  void write_settings(const std::string& server, std::uint16_t port) {
    write_file("FENNICK.INI", "[COMM]\nnews_server=" + server + "\nport=" + std::to_string(port) +
                                  "\ncheck_dialup=0\n");
  }
  int run() {
    HeadlessOptions options;
    options.clock = &clock;
    return run_headless(options);
  }
};

TEST_F(Headless, HarvestsTheDemoFromAFreshFolderAndExitsWithZero) {
  std::string error;
  auto content = make_demo_content(clock.now(), FK_TEST_DATA "/demo", &error);
  ASSERT_TRUE(content) << error;
  NntpTestServer server(content);
  ASSERT_TRUE(server.listening());
  write_settings("127.0.0.1", server.port());
  std::string newsrc;
  for (const auto& g : content->group_names()) newsrc += " " + g + "\n";
  write_file("newsrc", newsrc);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run(), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  // The terminal's lines come from the engine's typed events, not from the window's texts.
  EXPECT_THAT(out, HasSubstr("news groups: "));
  EXPECT_THAT(out, HasSubstr(" Pending Downloads From "));
  EXPECT_THAT(out, HasSubstr("\nDownloading Article "));
  EXPECT_THAT(out, HasSubstr("\n9 picture(s) downloaded from "));
  EXPECT_THAT(out, HasSubstr("\nDownloads Completed\n"));
  EXPECT_THAT(out, ::testing::Not(HasSubstr("Line ")));
  for (const auto& p : kDemoHarvest)
    EXPECT_TRUE(exists(std::string("pictures/") + p.group + "/" + p.file)) << p.file;
  std::string log = read_file("fk.log");
  EXPECT_THAT(log, HasSubstr(" - Running In Unattended Mode\n"));
  EXPECT_THAT(log, HasSubstr(" - Scan Complete...Exiting Fennick Program\n"));
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("archive_pic_count=9\n"));
  EXPECT_FALSE(exists("dirty.txt"));
  EXPECT_FALSE(exists("temp.uue"));

  // A second run fetches nothing new and still ends by itself.
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(read_file("fk.log"), HasSubstr(" - 0 picture(s) downloaded from "));
}

// The same events drive both views: the window's view gets its texts, the terminal formats its own,
// and a window text fed to the terminal is only ever printed as it stands, never interpreted.
TEST(TypedEvents, DriveTheWindowTextsAndTheTerminalLinesApart) {
  RecordingView window;
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  TerminalView terminal(file, false);
  for (View* v : std::initializer_list<View*>{&window, &terminal}) {
    v->group_started("alt.pics", 1, 2);
    v->overview_checking("41");
    v->pending_counted("alt.pics", 3);
    v->article_started(41);
    v->article_progress(5, 10, 50);
    v->counters_changed({1, 4, 0, 1, 0, {}});
    v->group_skipped();
    v->session_ended(SessionEnd::Completed, {});
    v->scheduler_disabled();
  }
  EXPECT_EQ(window.text(ControlId::GroupName), "alt.pics");
  EXPECT_EQ(window.text(ControlId::PendingBox), "Downloads Completed");
  EXPECT_EQ(window.text_history(ControlId::DownloadStatus),
            (std::vector<std::string>{"Building D/L List ..Checking 41", "Downloading Article 41", "Line 5 of 10 ( 50% )"}));
  EXPECT_EQ(window.text(ControlId::PictureSummary),
            "1 picture(s) downloaded from 4 articles, 0 duplicates skipped, 1 base64, 0 unknown format");
  EXPECT_EQ(window.text(ControlId::SchedulerStatus), "Scheduler: Disabled");

  // Texts the window would show mean nothing to the terminal: no caption is kept, no group announced.
  terminal.set_text(ControlId::PendingBox, "7 Pending Downloads From alt.other");
  terminal.set_text(ControlId::GroupName, "alt.other");
  terminal.set_text(ControlId::DownloadStatus, "Downloading Article 99");
  terminal.close_window();
  std::rewind(file);
  std::string printed;
  for (int c; (c = std::fgetc(file)) != EOF;) printed.push_back(static_cast<char>(c));
  std::fclose(file);
  EXPECT_EQ(printed,
            "Group 1 of 2 news groups: alt.pics\n"
            "3 Pending Downloads From alt.pics\n"
            "Downloading Article 41\n"
            "1 picture(s) downloaded from 4 articles, 0 duplicates skipped, 1 base64, 0 unknown format\n"
            "Skipping to Next Group\n"
            "Downloads Completed\n"
            "Downloading Article 99\n");
}

TEST_F(Headless, APictureThatCannotBeWrittenEndsTheRunWithItsOwnStatus) {
  std::string error;
  auto content = make_demo_content(clock.now(), FK_TEST_DATA "/demo", &error);
  ASSERT_TRUE(content) << error;
  NntpTestServer server(content);
  ASSERT_TRUE(server.listening());
  write_settings("127.0.0.1", server.port());
  write_file("newsrc", std::string(" ") + kDemoHarvest[0].group + "\n");
  write_file("pictures", "a file where the pictures folder should be");
  write_file("HISTORY.FNK.tmp-Ab3xYz", "left by a crash");

  EXPECT_EQ(run(), kExitWriteFailed);
  std::string log = read_file("fk.log");
  EXPECT_THAT(log, HasSubstr(" - Downloads Aborted, could not write pictures/"));
  EXPECT_THAT(log, HasSubstr(" - Removed 1 temporary file(s) left by an earlier run\n"));
  EXPECT_FALSE(exists("HISTORY.FNK.tmp-Ab3xYz"));
  EXPECT_TRUE(read_file("HISTORY.FNK").empty());  // nothing recorded: the next run fetches it again
}

TEST_F(Headless, PrintsHowMuchOverviewEachIncrementalScanRead) {
  auto content = std::make_shared<MemoryContent>();
  content->set_generated_group("alt.huge", GeneratedGroup{5'000'000'001, 5'000'020'000, 0});
  NntpTestServer server(content);
  ASSERT_TRUE(server.listening());
  write_settings("127.0.0.1", server.port());
  append_file("FENNICK.INI", "[SELECTION]\nincremental_scan=1\nfirst_scan_articles=15000\n");
  write_file("newsrc", " alt.huge\n");

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run(), 0);
  content->set_generated_group("alt.huge", GeneratedGroup{5'000'000'001, 5'000'020'500, 0});
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(run(), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("Overview of alt.huge: 15,000 lines read from article 5,000,005,001 (first scan), "
                             "last 5,000,020,000\n"));
  EXPECT_THAT(out, HasSubstr("Overview of alt.huge: 500 lines read from article 5,000,020,001 (from the scan "
                             "mark), last 5,000,020,500\n"));
  EXPECT_THAT(out, HasSubstr("Overview of alt.huge: nothing new after article 5,000,020,500\n"));
}

TEST_F(Headless, EndsAtOnceWhenWaitingCannotHelp) {
  write_file("newsrc", " alt.pictures\n");
  write_settings("", 119);
  EXPECT_EQ(run(), 1);  // no server configured

  ServerOptions refuse;
  refuse.greeting = "502 go away";
  NntpTestServer refusing(std::make_shared<MemoryContent>(), refuse);
  write_settings("127.0.0.1", refusing.port());
  EXPECT_EQ(run(), 1);
  EXPECT_THAT(read_file("fk.log"), HasSubstr("Refused\n"));

  ServerOptions login;
  login.user = "me";
  login.pass = "right";
  NntpTestServer strict(std::make_shared<MemoryContent>(), login);
  write_file("FENNICK.INI", "[COMM]\nnews_server=127.0.0.1\nport=" + std::to_string(strict.port()) +
                                "\ncheck_dialup=0\ncheck_auth=1\nuser=me\npass=d3Jvbmc=\n");
  EXPECT_EQ(run(), 1);
  EXPECT_THAT(read_file("fk.log"), HasSubstr(" - Invalid server response to pass command\n"));

  // A certificate nobody vouches for: waiting cannot mend it either.
  ServerOptions secure;
  secure.tls = ServerTls::Implicit;
  NntpTestServer untrusted(std::make_shared<MemoryContent>(), secure);
  write_file("FENNICK.INI", "[COMM]\nnews_server=127.0.0.1\nport=" + std::to_string(untrusted.port()) +
                                "\ncheck_dialup=0\nuse_tls=1\n");
  EXPECT_EQ(run(), 1);
  EXPECT_THAT(read_file("fk.log"), HasSubstr(" - TLS connection to 127.0.0.1 refused: the certificate's issuer is unknown"));
  EXPECT_TRUE(untrusted.commands().empty());

  // A name too long to look up is refused without asking any resolver.
  write_settings(std::string(90, 'n') + ".example", 119);
  EXPECT_EQ(run(), 1);
}

TEST_F(Headless, APortThatIsNoPortEndsTheRunAndAHugeCapacityIsClampedAloud) {
  write_file("newsrc", " alt.pictures\n");
  write_file("HISTORY.FNK", "<kept@example>\n");
  write_file("FENNICK.INI",
             "[COMM]\nnews_server=127.0.0.1\nport=nntp\ncheck_dialup=0\n[LOGGING]\nmax_history=9223372036854775808\n");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(run(), 1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, HasSubstr("set port in section [COMM]"));
  const std::string log = read_file("fk.log");
  EXPECT_THAT(log, HasSubstr(" - Invalid Setup: port=nntp is not a number from 1 to 65535\n"));
  EXPECT_THAT(log, HasSubstr(" - Invalid Setup: max_history=9223372036854775808 is out of range... using 32700\n"));
  EXPECT_THAT(read_file("HISTORY.FNK"), HasSubstr("<kept@example>"));  // not emptied by a capacity of 0
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("port=nntp\n"));      // the user's text stays for them to mend
}

TEST_F(Headless, SigtermPressesStopThenCloseAndSavesTheStatistics) {
  // Blocked before any thread starts (the test server's too), so that only the run's sigwait takes it.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  auto content = std::make_shared<MemoryContent>();
  content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
  NntpTestServer server(content);
  server.add_fault({"BODY", 0, FaultAction::Stall, ""});  // the article never comes
  write_settings("127.0.0.1", server.port());
  write_file("newsrc", " alt.pictures\n");

  std::thread killer([&] {
    for (int i = 0; i < 1000; ++i) {
      for (const auto& c : server.commands())
        if (c.rfind("body", 0) == 0 || c.rfind("BODY", 0) == 0) {
          ::kill(::getpid(), SIGTERM);
          return;
        }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const int status = run();
  killer.join();
  EXPECT_EQ(status, 128 + SIGTERM);
  std::string log = read_file("fk.log");
  EXPECT_THAT(log, HasSubstr(" - Stop Button Pushed\n"));
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("[HISTORY]"));
  EXPECT_TRUE(exists("dirty.txt"));  // the scan resumes at this group next time
}

TEST_F(Headless, ABadFolderIsRefused) {
  HeadlessOptions options;
  options.clock = &clock;
  options.dir = (dir.path() / "missing").string();
  EXPECT_EQ(run_headless(options), 2);
}

// The real program in a process of its own, in this test's folder.
struct Program : Headless {
  ChildProcess start() { return ChildProcess::spawn(FK_FENNICK, {"--headless", "--dir", dir.path().string()}); }
  // A server whose first article never comes (every one with every_body), and a folder subscribed to it.
  std::unique_ptr<NntpTestServer> stalling_server(bool every_body = true) {
    auto content = std::make_shared<MemoryContent>();
    content->add_simple("alt.pictures", "pic.jpg (1/1)", 600);
    auto server = std::make_unique<NntpTestServer>(content);
    server->add_fault({"BODY", every_body ? 0 : 1, FaultAction::Stall, ""});
    write_settings("127.0.0.1", server->port());
    write_file("newsrc", " alt.pictures\n");
    return server;
  }
  static bool body_asked(const NntpTestServer& server) {
    return wait_until(
        [&] {
          auto c = server.commands();
          return std::any_of(c.begin(), c.end(), [](const std::string& l) { return l.rfind("body", 0) == 0; });
        },
        std::chrono::seconds(30));
  }
  static bool ended_with(ChildProcess& p, int status, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto end = p.wait_for(limit);
    return end && end->exited && end->status == status;
  }
};

TEST_F(Program, ASecondInstanceInTheSameFolderIsRefused) {
  auto server = stalling_server();
  auto first = start();
  ASSERT_TRUE(body_asked(*server)) << first.output();

  auto second = start();
  EXPECT_TRUE(ended_with(second, 1)) << second.output();
  EXPECT_THAT(second.output(), HasSubstr("Fennick is already running in this folder"));
  EXPECT_THAT(read_file("fk.log"), HasSubstr(" - Connected To News Server\n"));  // the first one's, untouched
  EXPECT_EQ(server->connections(), 1u);

  first.signal(SIGTERM);
  EXPECT_TRUE(ended_with(first, 128 + SIGTERM)) << first.output();
  // The lock file left behind does not keep the next run out (this one stops at the missing server).
  write_settings("", 119);
  auto third = start();
  EXPECT_TRUE(ended_with(third, 1));
  EXPECT_THAT(third.output(), HasSubstr("no news server configured"));
}

TEST_F(Program, Sigusr1IsIgnoredAndSighupStopsLikeSigterm) {
  auto server = stalling_server();
  auto p = start();
  ASSERT_TRUE(body_asked(*server)) << p.output();
  p.signal(SIGUSR1);
  EXPECT_FALSE(p.wait_for(std::chrono::milliseconds(300)));  // still running, still watching
  p.signal(SIGHUP);
  EXPECT_TRUE(ended_with(p, 128 + SIGHUP)) << p.output();
  EXPECT_THAT(p.output(), HasSubstr("fennick: hung up, stopping"));
  EXPECT_THAT(read_file("fk.log"), HasSubstr(" - Stop Button Pushed\n"));
  EXPECT_THAT(read_file("FENNICK.INI"), HasSubstr("[HISTORY]"));
}

TEST_F(Program, ASecondSignalDuringTheStopEndsAtOnce) {
  // Close hangs up the dial-up connection, and this one never goes down: the stop takes its full bound.
  FakeNmcli nmcli(dir.path() / "nm");
  nmcli.add_profile("u1", "My ISP", "pppoe", "activated", "ppp0");
  nmcli.profile_file("u1", "down_lingers", "forever");
  auto server = stalling_server();
  write_file("FENNICK.INI", "[COMM]\nnews_server=127.0.0.1\nport=" + std::to_string(server->port()) +
                                "\ncheck_dialup=1\n");
  auto p = start();
  ASSERT_TRUE(body_asked(*server)) << p.output();
  p.signal(SIGTERM);
  ASSERT_TRUE(wait_until([&] { return nmcli.count_calls("down") > 0; }, std::chrono::seconds(20))) << p.output();

  p.signal(SIGINT);
  EXPECT_TRUE(ended_with(p, 128 + SIGINT, std::chrono::seconds(5))) << p.output();
  EXPECT_THAT(p.output(), HasSubstr("second signal, ending at once"));
  // What Close wrote before the hang-up stays whole.
  std::string ini = read_file("FENNICK.INI");
  EXPECT_THAT(ini, HasSubstr("news_server=127.0.0.1\n"));
  EXPECT_THAT(ini, HasSubstr("[HISTORY]"));
}

// A folder this process cannot write even as root: a read-only file system mounted for the test where
// that is allowed, else a mode that bars other users, else sysfs, which refuses new files to anyone.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::filesystem::path& base) : path_(base / "ro") {
    std::filesystem::create_directories(path_);
    if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) {
      mounted_ = true;
    } else if (::geteuid() != 0) {
      ::chmod(path_.c_str(), 0555);
    } else {
      path_ = "/sys";
    }
  }
  ~UnwritableFolder() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
};

TEST_F(Program, AFolderThatCannotBeWrittenIsRefusedInOneLine) {
  UnwritableFolder folder(dir.path());
  auto p = ChildProcess::spawn(FK_FENNICK, {"--headless", "--dir", folder.path().string()});
  EXPECT_TRUE(ended_with(p, 1)) << p.output();
  const std::string out = p.output();
  EXPECT_THAT(out, HasSubstr("fennick: Fennick cannot write to its working folder " + folder.path().string()));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}

}  // namespace
}  // namespace fk::test
