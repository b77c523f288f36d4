// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Carries change events from a container's listener (any thread) to the GUI thread, in order and in batches.

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace fk {

template <class Event>
class EventInbox {
 public:
  // `wake` runs once per batch on the pushing thread, outside the inbox's lock; it must only post work
  // to the GUI thread.
  explicit EventInbox(std::function<void()> wake) : wake_(std::move(wake)) {}

  void push(Event event) {
    bool first = false;
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
      first = !scheduled_;
      scheduled_ = true;
    }
    if (first) wake_();
  }

  // Everything pushed so far, oldest first; the next push wakes the GUI side again.
  std::vector<Event> take() {
    std::lock_guard lock(mutex_);
    scheduled_ = false;
    return std::exchange(events_, {});
  }

 private:
  std::function<void()> wake_;
  std::mutex mutex_;
  std::vector<Event> events_;
  bool scheduled_ = false;
};

}  // namespace fk
