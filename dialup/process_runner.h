// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a helper program with an argument vector (never through a shell), bounded in time and output.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fk {

struct ProcessLimits {
  std::int64_t timeout_ms = 5000;    // the child (and everything it started) is killed after this
  std::size_t max_output = 1 << 20;  // per stream; more than this kills the child
};

struct ProcessResult {
  enum class Outcome { Exited, Signalled, CannotStart, TimedOut, TooMuchOutput, Cancelled };
  Outcome outcome = Outcome::CannotStart;
  int exit_code = -1;  // valid when Exited
  std::string out;     // standard output, at most max_output bytes
  std::string err;     // standard error, at most max_output bytes
};

// Absolute path of `name` found on the PATH as an executable regular file; empty when there is none.
// A name containing '/' is returned as it is when it is executable.
std::string find_program(std::string_view name);

// Starts argv[0] (a path) with argv, standard input from /dev/null, the C locale for messages, in a
// process group of its own. Returns when the child has exited, or after killing the whole group when
// the time runs out, the output grows beyond the bound, or *cancel becomes true. Never throws.
ProcessResult run_process(const std::vector<std::string>& argv, const ProcessLimits& limits,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace fk
