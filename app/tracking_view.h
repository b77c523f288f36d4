// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A View in front of the real one that remembers which controls are enabled, so the core can ask without
// reading the window back.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "session/view.h"

namespace fk {

class TrackingView final : public View {
 public:
  explicit TrackingView(View& target) : target_(target) {}

  void set_text(ControlId id, const std::string& text) override { target_.set_text(id, text); }
  void set_enabled(ControlId id, bool enabled) override {
    {
      std::lock_guard lock(mutex_);
      enabled_[id] = enabled;
    }
    target_.set_enabled(id, enabled);
  }
  void set_progress_range(ControlId id, int low, int high) override { target_.set_progress_range(id, low, high); }
  void set_progress(ControlId id, int position) override { target_.set_progress(id, position); }
  int pacing_position() const override { return target_.pacing_position(); }
  void post_command(Command command) override { target_.post_command(command); }
  // Every typed event goes on as itself: the target formats its own texts.
  void group_started(const std::string& group, int index, int total) override {
    {
      std::lock_guard lock(mutex_);
      group_ = group;
    }
    target_.group_started(group, index, total);
  }
  void group_counted(int index, int total) override { target_.group_counted(index, total); }
  void connected_to(const std::string& server, int attempts) override { target_.connected_to(server, attempts); }
  void nobody_connected(int attempts, bool waiting) override { target_.nobody_connected(attempts, waiting); }
  void transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) override {
    target_.transfer_status(server, connections, bytes_per_second);
  }
  void overview_checking(std::string_view number) override { target_.overview_checking(number); }
  void pending_counted(const std::string& group, std::size_t count) override { target_.pending_counted(group, count); }
  void article_started(std::int64_t number) override { target_.article_started(number); }
  void article_progress(std::uint32_t line, std::uint32_t lines, std::uint32_t percent) override {
    target_.article_progress(line, lines, percent);
  }
  void counters_changed(const SessionCounters& counters) override {
    {
      std::lock_guard lock(mutex_);
      if (counters.pictures > last_pictures_) {
        filed_ += counters.pictures - last_pictures_;
        groups_.insert(group_);
      }
      last_pictures_ = counters.pictures;
    }
    target_.counters_changed(counters);
  }
  void group_skipped() override { target_.group_skipped(); }
  void session_ended(SessionEnd reason, const std::string& detail) override {
    target_.session_ended(reason, detail);
    std::int64_t filed = 0;
    int groups = 0;
    {
      std::lock_guard lock(mutex_);
      filed = filed_;
      groups = static_cast<int>(groups_.size());
      filed_ = 0;
      groups_.clear();
    }
    if (filed > 0 && on_harvest) on_harvest(filed, groups);
  }
  void scheduler_disabled() override { target_.scheduler_disabled(); }
  void overview_scanned(const OverviewScanReport& report) override { target_.overview_scanned(report); }
  void certificate_unchecked(const std::string& server) override { target_.certificate_unchecked(server); }

  // Called (on the session's thread, no lock held) when a session that filed pictures has ended: how many,
  // in how many groups. Set before any session runs.
  std::function<void(std::int64_t pictures, int groups)> on_harvest;

  // Controls start enabled, as the window creates them.
  bool is_enabled(ControlId id) const {
    std::lock_guard lock(mutex_);
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  }

 private:
  View& target_;
  mutable std::mutex mutex_;
  std::map<ControlId, bool> enabled_;
  // The running session's harvest.
  std::string group_;
  std::int64_t last_pictures_ = 0, filed_ = 0;
  std::set<std::string> groups_;
};

}  // namespace fk
