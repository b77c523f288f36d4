// SPDX-License-Identifier: GPL-3.0-or-later
// Child processes: exit status, separate streams, bounds on time and output, cancelling.
#include "dialup/process_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/temp_dir.h"

namespace fk {
namespace {

ProcessResult sh(const std::string& script, ProcessLimits limits = {},
                 const std::atomic<bool>* cancel = nullptr) {
  return run_process({"/bin/sh", "-c", script}, limits, cancel);
}

// Gone, or a zombie waiting for its new parent: either way it no longer runs.
bool stopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pid_field, comm, state;
  if (!(stat >> pid_field >> comm >> state)) return true;
  return state == "Z" || state == "X";
}

TEST(ProcessRunner, ReportsExitStatusAndKeepsStreamsApart) {
  ProcessResult r = sh("echo out; echo err >&2; echo \"$LC_ALL\"; exit 3");
  EXPECT_EQ(r.outcome, ProcessResult::Outcome::Exited);
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.out, "out\nC\n");
  EXPECT_EQ(r.err, "err\n");
}

TEST(ProcessRunner, MissingProgramCannotStart) {
  ProcessResult r = run_process({"/nonexistent/nmcli", "-t"}, {});
  EXPECT_EQ(r.outcome, ProcessResult::Outcome::CannotStart);
  EXPECT_EQ(run_process({}, {}).outcome, ProcessResult::Outcome::CannotStart);
}

TEST(ProcessRunner, TimeoutKillsTheChildAndWhatItStarted) {
  test::TempDir dir;
  ProcessResult r = sh("sleep 30 & echo $! > bg.pid; wait", {200, 1 << 20});
  EXPECT_EQ(r.outcome, ProcessResult::Outcome::TimedOut);
  pid_t bg = 0;
  std::ifstream("bg.pid") >> bg;
  ASSERT_GT(bg, 0);
  for (int i = 0; i < 500 && !stopped(bg); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(stopped(bg));
}

TEST(ProcessRunner, EndlessOutputIsCutAtTheBound) {
  ProcessResult r = sh("yes", {60000, 4096});
  EXPECT_EQ(r.outcome, ProcessResult::Outcome::TooMuchOutput);
  EXPECT_EQ(r.out.size(), 4096u);
}

TEST(ProcessRunner, CancelEndsAWaitingChild) {
  std::atomic<bool> cancel{false};
  std::thread t([&] { cancel = true; });
  ProcessResult r = sh("sleep 30", {60000, 1 << 20}, &cancel);
  t.join();
  EXPECT_EQ(r.outcome, ProcessResult::Outcome::Cancelled);
}

TEST(ProcessRunner, FindProgramIgnoresRelativePathEntries) {
  test::TempDir dir;
  test::write_file("nmcli", "#!/bin/sh\n");
  std::filesystem::permissions("nmcli", std::filesystem::perms::owner_all);
  std::string abs_dir = dir.path().string();
  std::string old_path = std::getenv("PATH");
  ::setenv("PATH", ("::.:/nonexistent:" + abs_dir).c_str(), 1);
  EXPECT_EQ(find_program("nmcli"), abs_dir + "/nmcli");
  ::setenv("PATH", ":.", 1);
  EXPECT_EQ(find_program("nmcli"), "");
  ::setenv("PATH", old_path.c_str(), 1);
}

}  // namespace
}  // namespace fk
