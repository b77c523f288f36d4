// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Child processes for tests that must end even when the code under test hangs: a forked function, or a
// real program with its output captured, each waited for with a bound and killed when it overruns.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fk::test {

// How a child ended: its exit status, or the signal that ended it.
struct ChildExit {
  bool exited = false;
  int status = -1;  // exit status when exited, else the signal number
};

class ChildProcess {
 public:
  // Runs body in a forked copy of the test; the child exits with body's return value.
  static ChildProcess fork(const std::function<int()>& body);
  // Runs program with args; stdout and stderr go to one file, read back with output(). `environment`
  // changes the test's own for the child: "NAME=value" sets a variable, a bare "NAME" removes it.
  static ChildProcess spawn(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& environment = {});

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  // Kills and reaps a child that is still running.
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  bool signal(int sig) const;
  // Waits up to limit; nullopt when the child is still running afterwards.
  std::optional<ChildExit> wait_for(std::chrono::milliseconds limit);
  // Kills the child if it still runs and reaps it.
  void kill();
  // What a spawned program wrote so far (stdout and stderr interleaved).
  std::string output() const;

 private:
  ChildProcess(pid_t pid, std::string output_path) : pid_(pid), output_path_(std::move(output_path)) {}
  pid_t pid_ = -1;
  std::string output_path_;
  std::optional<ChildExit> exit_;
};

// Polls condition every 10 ms until it holds or limit passes; the last answer.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit);

}  // namespace fk::test
