// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded child processes for tests.
#include "common/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace fk::test {

namespace {
std::atomic<int> g_counter{0};
}  // namespace

ChildProcess ChildProcess::fork(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int rc = 99;
    try {
      rc = body();
    } catch (...) {
    }
    ::_exit(rc);
  }
  return ChildProcess(pid, {});
}

ChildProcess ChildProcess::spawn(const std::string& program, const std::vector<std::string>& args,
                                 const std::vector<std::string>& environment) {
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) env_text.emplace_back(*e);
  for (const std::string& change : environment) {
    const std::string name = change.substr(0, change.find('='));
    std::erase_if(env_text, [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; });
    if (change.find('=') != std::string::npos) env_text.push_back(change);
  }
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  // Outside the working folder, so a test's folder listing stays as the program left it.
  std::string out = "/tmp/fk-child-" + std::to_string(::getpid()) + "-" + std::to_string(g_counter++) + ".out";
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The test may block signals for its own threads; the program starts with none blocked.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all_signals;
  sigemptyset(&none);
  sigfillset(&all_signals);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all_signals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return ChildProcess(pid, out);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), output_path_(std::move(other.output_path_)), exit_(other.exit_) {
  other.pid_ = -1;
  other.output_path_.clear();
}

ChildProcess::~ChildProcess() {
  kill();
  if (!output_path_.empty()) ::unlink(output_path_.c_str());
}

bool ChildProcess::signal(int sig) const { return pid_ > 0 && !exit_ && ::kill(pid_, sig) == 0; }

std::optional<ChildExit> ChildProcess::wait_for(std::chrono::milliseconds limit) {
  if (exit_ || pid_ <= 0) return exit_;
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      ChildExit e;
      e.exited = WIFEXITED(status);
      e.status = e.exited ? WEXITSTATUS(status) : WTERMSIG(status);
      exit_ = e;
      return exit_;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ChildProcess::kill() {
  if (pid_ <= 0 || exit_) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  exit_ = ChildExit{false, SIGKILL};
}

std::string ChildProcess::output() const {
  std::ifstream in(output_path_, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace fk::test
