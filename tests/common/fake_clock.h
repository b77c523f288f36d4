// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clock for tests: time stands still until a sleep or advance moves it; local time is UTC.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <thread>

#include "store/clock.h"

namespace fk::test {

class FakeClock final : public Clock {
 public:
  // 2026-12-07 04:11:08 UTC, a Monday.
  static constexpr std::int64_t kDefaultEpoch = 1796616668;

  explicit FakeClock(std::int64_t epoch_seconds = kDefaultEpoch) : epoch_ms_(epoch_seconds * 1000) {}

  std::int64_t now() const override { return (epoch_ms_ + uptime_ms_.load()) / 1000; }
  std::tm local_now() const override {
    std::time_t t = static_cast<std::time_t>(now());
    std::tm out{};
    gmtime_r(&t, &out);
    return out;
  }
  std::int64_t uptime_ms() const override { return uptime_ms_.load(); }
  void sleep_ms(std::int64_t ms) override {
    if (ms > 0) {
      uptime_ms_ += ms;
      slept_ms_ += ms;
    }
  }

  void advance_ms(std::int64_t ms) { uptime_ms_ += ms; }
  void set_uptime_ms(std::int64_t ms) { uptime_ms_ = ms; }
  std::int64_t slept_ms() const { return slept_ms_.load(); }

 private:
  std::int64_t epoch_ms_;
  std::atomic<std::int64_t> uptime_ms_{0};
  std::atomic<std::int64_t> slept_ms_{0};
};

// Moves a FakeClock on by a second every few milliseconds of real time while it lives, so that what
// waits for minutes (the reconnect after a lost connection) happens in a test's time.
class ClockPusher {
 public:
  explicit ClockPusher(FakeClock& clock, std::chrono::milliseconds every = std::chrono::milliseconds(5))
      : thread_([this, &clock, every] {
          while (!done_.load()) {
            clock.advance_ms(1000);
            std::this_thread::sleep_for(every);
          }
        }) {}
  ~ClockPusher() {
    done_ = true;
    thread_.join();
  }
  ClockPusher(const ClockPusher&) = delete;
  ClockPusher& operator=(const ClockPusher&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace fk::test
