// SPDX-License-Identifier: GPL-3.0-or-later
// The real clock.
#include "store/clock.h"

#include <thread>

namespace fk {

SystemClock::SystemClock() : start_(std::chrono::steady_clock::now()) {}

std::int64_t SystemClock::now() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::tm SystemClock::local_now() const {
  std::time_t t = static_cast<std::time_t>(now());
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

std::int64_t SystemClock::uptime_ms() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void SystemClock::sleep_ms(std::int64_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace fk
