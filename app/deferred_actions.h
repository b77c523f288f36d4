// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work a command leaves for a later tick, so the window keeps painting instead of sleeping.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <utility>
#include <vector>

namespace fk {

class DeferredActions {
 public:
  // `action` runs on the first run_due at or after `due_ms` of uptime.
  void add(std::int64_t due_ms, std::function<void()> action) { pending_.push_back({due_ms, std::move(action)}); }

  // Runs the actions that are due, in the order they were added; an action may add more (for later).
  void run_due(std::int64_t now_ms) {
    std::vector<Entry> due;
    auto split = std::stable_partition(pending_.begin(), pending_.end(),
                                       [&](const Entry& e) { return e.due_ms > now_ms; });
    std::move(split, pending_.end(), std::back_inserter(due));
    pending_.erase(split, pending_.end());
    for (auto& e : due) e.action();
  }

 private:
  struct Entry {
    std::int64_t due_ms;
    std::function<void()> action;
  };
  std::vector<Entry> pending_;
};

}  // namespace fk
