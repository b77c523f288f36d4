// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window as the browser sees it: a View that keeps the last state of every control the page
// shows, and the pending rows and log lines the server adds, and turns them into the frames the live
// stream sends.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/view.h"

namespace fk {

class StatusBoard final : public View {
 public:
  // View: any thread. Only stores and counts; never calls out.
  void set_text(ControlId id, const std::string& text) override;
  void set_enabled(ControlId id, bool enabled) override;
  void set_progress_range(ControlId id, int low, int high) override;
  void set_progress(ControlId id, int position) override;
  int pacing_position() const override { return 10; }
  void post_command(Command) override {}
  void counters_changed(const SessionCounters& counters) override;
  void group_started(const std::string& group, int index, int total) override;

  // The server's side. The pending list's first rows (whole rows, tab-separated fields).
  void set_pending(std::vector<std::string> rows);
  // Lines newly appended to the status log; `reset` when the log began anew.
  void add_log_lines(const std::vector<std::string>& lines, bool reset);
  void set_running(bool running);

  static constexpr std::size_t kPendingShown = 100;
  static constexpr std::size_t kLogShown = 200;

  // A frame of the live stream: the whole state as JSON, numbered. Frames are made at most as often as
  // publish() is called, and only when something changed.
  struct Frame {
    std::uint64_t seq = 0;
    std::string json;
  };
  // Makes a new frame if anything changed since the last; wakes the waiters. True when it did.
  bool publish();
  // The newest frame (seq 0 before the first publish).
  std::shared_ptr<const Frame> latest() const;
  // Waits until a frame newer than `seen` exists, `timeout_ms` passed or close() was called.
  std::shared_ptr<const Frame> wait_newer(std::uint64_t seen, int timeout_ms) const;
  // Ends every wait (the server stops).
  void close();
  bool closed() const;

  // The state as JSON now (for /api/status).
  std::string json() const;

 private:
  std::string json_locked() const;
  void changed_locked() { ++version_; }

  mutable std::mutex mutex_;
  mutable std::condition_variable frames_;
  std::map<ControlId, std::string> texts_;
  std::map<ControlId, bool> enabled_;
  std::map<ControlId, std::pair<int, int>> ranges_;
  std::map<ControlId, int> positions_;
  SessionCounters counters_;
  std::vector<std::string> pending_;
  std::deque<std::string> log_;
  bool running_ = false;
  std::uint64_t version_ = 1;
  std::uint64_t published_version_ = 0;
  std::shared_ptr<const Frame> frame_ = std::make_shared<Frame>();
  bool closed_ = false;
};

}  // namespace fk
