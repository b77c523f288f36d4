// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time source and waits of the core, injectable so that tests neither sleep nor depend on the date.

#include <chrono>
#include <cstdint>
#include <ctime>

namespace fk {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual std::int64_t now() const = 0;
  // The local calendar time of now().
  virtual std::tm local_now() const = 0;
  // Milliseconds since the program started (steady, never goes back).
  virtual std::int64_t uptime_ms() const = 0;
  // Waits the given time; a test clock advances itself instead.
  virtual void sleep_ms(std::int64_t ms) = 0;
};

// The real clock: wall time, local time zone, steady uptime counted from construction.
class SystemClock final : public Clock {
 public:
  SystemClock();
  std::int64_t now() const override;
  std::tm local_now() const override;
  std::int64_t uptime_ms() const override;
  void sleep_ms(std::int64_t ms) override;

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace fk
