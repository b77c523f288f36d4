// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Change events of a locked container, heard by its listener in order but never under the container's lock.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace fk {

// The container calls post() while it holds its own lock (so events queue in the order of the changes)
// and deliver() after releasing it. One thread at a time delivers; a thread that finds another one
// delivering leaves its events to it. So the listener may take other locks or call back into the
// container, and a single-threaded caller still hears its change before its call returns.
template <class Event>
class OrderedNotifier {
 public:
  using Listener = std::function<void(const Event&)>;

  // Waits until no other thread is delivering, so the old listener is not called after this returns.
  // Events not yet delivered go to the new listener.
  void set_listener(Listener listener) {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return !delivering_ || deliverer_ == std::this_thread::get_id(); });
    listener_ = std::move(listener);
    if (!listener_) queued_.clear();
  }

  void post(Event event) {
    std::lock_guard lock(mutex_);
    if (listener_) queued_.push_back(std::move(event));
  }

  void deliver() {
    std::unique_lock lock(mutex_);
    if (delivering_) return;
    delivering_ = true;
    deliverer_ = std::this_thread::get_id();
    while (!queued_.empty() && listener_) {
      std::vector<Event> batch = std::exchange(queued_, {});
      Listener listener = listener_;
      lock.unlock();
      for (const Event& e : batch) listener(e);
      lock.lock();
    }
    queued_.clear();
    delivering_ = false;
    deliverer_ = {};
    lock.unlock();
    idle_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  Listener listener_;
  std::vector<Event> queued_;
  bool delivering_ = false;
  std::thread::id deliverer_;
};

}  // namespace fk
