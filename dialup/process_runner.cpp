// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded child processes over posix_spawn and pipes.
#include "dialup/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "store/unique_fd.h"

extern char** environ;

namespace fk {

namespace {

class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    ok_ = ::posix_spawnattr_init(&attr_) == 0 && ok_;
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attr() { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
  bool ok_ = false;
};

bool executable_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The caller's environment with the message locale forced to C, so that nmcli's words stay English.
std::vector<std::string> child_environment() {
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string_view v(*e);
    if (v.starts_with("LC_ALL=") || v.starts_with("LC_MESSAGES=") || v.starts_with("LANGUAGE=")) continue;
    env.emplace_back(v);
  }
  env.emplace_back("LC_ALL=C");
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  p.reserve(strings.size() + 1);
  for (auto& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

void kill_group(pid_t pid) {
  // The child leads its own group; killing the group also ends whatever it started.
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
}

// True once the child has exited; it stays a zombie (its pid reserved) until reaped.
bool exited(pid_t pid) {
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
      return info.si_pid == pid;
    if (errno != EINTR) return true;  // ECHILD: nothing left to wait for
  }
}

int reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

using Outcome = ProcessResult::Outcome;
using SteadyClock = std::chrono::steady_clock;

// Starts argv[0] with its standard output and error on the given descriptors, in a process group of its
// own, with the signals it expects at their defaults. The child's pid, or -1 when it cannot start.
pid_t spawn_child(const std::vector<std::string>& argv, int out_fd, int err_fd) {
  SpawnSetup setup;
  if (!setup.ok()) return -1;
  ::posix_spawn_file_actions_addopen(setup.actions(), 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(setup.actions(), out_fd, 1);
  ::posix_spawn_file_actions_adddup2(setup.actions(), err_fd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  ::posix_spawn_file_actions_addclosefrom_np(setup.actions(), 3);
#endif
  sigset_t no_signals, default_signals;
  sigemptyset(&no_signals);
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  sigaddset(&default_signals, SIGINT);
  sigaddset(&default_signals, SIGTERM);
  ::posix_spawnattr_setsigmask(setup.attr(), &no_signals);
  ::posix_spawnattr_setsigdefault(setup.attr(), &default_signals);
  ::posix_spawnattr_setpgroup(setup.attr(), 0);
  ::posix_spawnattr_setflags(setup.attr(),
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> args = argv;
  std::vector<std::string> env = child_environment();
  std::vector<char*> arg_ptrs = pointers(args);
  std::vector<char*> env_ptrs = pointers(env);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0].c_str(), setup.actions(), setup.attr(), arg_ptrs.data(), env_ptrs.data()) != 0)
    return -1;
  return pid;
}

// When to give up on the child: the caller's cancel flag, or the time limit from now on.
class StopWatch {
 public:
  StopWatch(std::int64_t timeout_ms, const std::atomic<bool>* cancel)
      : deadline_(SteadyClock::now() + std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0)), cancel_(cancel) {}

  // Why to stop now, if so.
  std::optional<Outcome> reason() const {
    if (cancel_ && cancel_->load()) return Outcome::Cancelled;
    if (SteadyClock::now() >= deadline_) return Outcome::TimedOut;
    return std::nullopt;
  }
  // How long one poll may wait: short enough to notice a cancel, never past the deadline.
  int slice_ms() const {
    constexpr std::int64_t kSliceMs = 50;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, kSliceMs));
  }

 private:
  SteadyClock::time_point deadline_;
  const std::atomic<bool>* cancel_;
};

// Reads the child's standard output and error into result until both are closed, keeping at most
// max_output bytes of each. An outcome when it had to stop first.
std::optional<Outcome> collect_output(UniqueFd& out, UniqueFd& err, ProcessResult& result, std::size_t max_output,
                                      const StopWatch& watch) {
  UniqueFd* streams[2] = {&out, &err};
  std::string* sinks[2] = {&result.out, &result.err};
  std::string chunk(64 * 1024, '\0');
  while (out.get() >= 0 || err.get() >= 0) {
    if (auto stop = watch.reason()) return stop;
    pollfd fds[2];
    nfds_t n = 0;
    int which[2];
    for (int i = 0; i < 2; ++i) {
      if (streams[i]->get() < 0) continue;
      fds[n] = {streams[i]->get(), POLLIN, 0};
      which[n++] = i;
    }
    if (::poll(fds, n, watch.slice_ms()) < 0) {
      if (errno == EINTR) continue;
      return Outcome::Signalled;
    }
    for (nfds_t k = 0; k < n; ++k) {
      if (fds[k].revents == 0) continue;
      int i = which[k];
      ssize_t got = ::read(streams[i]->get(), chunk.data(), chunk.size());
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {
        streams[i]->reset();
        continue;
      }
      std::size_t room = max_output - std::min(max_output, sinks[i]->size());
      sinks[i]->append(chunk.data(), std::min(room, static_cast<std::size_t>(got)));
      if (static_cast<std::size_t>(got) > room) return Outcome::TooMuchOutput;
    }
  }
  return std::nullopt;
}

// Both pipes are closed; the child may still be on its way out.
std::optional<Outcome> wait_for_exit(pid_t pid, const StopWatch& watch) {
  while (!exited(pid)) {
    if (auto stop = watch.reason()) return stop;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

}  // namespace

std::string find_program(std::string_view name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) {
    std::string p(name);
    return executable_file(p) ? p : std::string();
  }
  const char* path_env = std::getenv("PATH");
  std::string_view path = path_env ? path_env : "/usr/bin:/bin";
  while (true) {
    std::size_t colon = path.find(':');
    std::string_view dir = path.substr(0, colon);
    // An empty entry means the working directory; the program's own folder is no place to pick nmcli from.
    if (!dir.empty() && dir.front() == '/') {
      std::string candidate(dir);
      candidate += '/';
      candidate += name;
      if (executable_file(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    path.remove_prefix(colon + 1);
  }
  return {};
}

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessLimits& limits,
                          const std::atomic<bool>* cancel) {
  ProcessResult result;
  if (argv.empty() || argv[0].empty()) return result;
  if (cancel && cancel->load()) {
    result.outcome = Outcome::Cancelled;
    return result;
  }

  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return result;
  UniqueFd out_read(out_pipe[0]), out_write(out_pipe[1]);
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  UniqueFd err_read(err_pipe[0]), err_write(err_pipe[1]);

  const pid_t pid = spawn_child(argv, out_write.get(), err_write.get());
  if (pid < 0) return result;
  out_write.reset();
  err_write.reset();

  const StopWatch watch(limits.timeout_ms, cancel);
  std::optional<Outcome> stopped = collect_output(out_read, err_read, result, limits.max_output, watch);
  if (!stopped) stopped = wait_for_exit(pid, watch);
  // Whatever the child started in its group goes with it; its pid is still reserved, so the group id
  // cannot name a stranger yet.
  kill_group(pid);
  int status = reap(pid);
  if (stopped) {
    result.outcome = *stopped;
    return result;
  }
  if (WIFEXITED(status)) {
    result.outcome = Outcome::Exited;
    result.exit_code = WEXITSTATUS(status);
  } else {
    result.outcome = Outcome::Signalled;
  }
  return result;
}

}  // namespace fk
