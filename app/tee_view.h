// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One View in front of two: every event reaches both, in order; commands and the pacing belong to the
// first (the view that runs the loop).

#include "session/view.h"

namespace fk {

class TeeView final : public View {
 public:
  TeeView(View& first, View& second) : first_(first), second_(second) {}

  void set_text(ControlId id, const std::string& text) override {
    first_.set_text(id, text);
    second_.set_text(id, text);
  }
  void set_enabled(ControlId id, bool enabled) override {
    first_.set_enabled(id, enabled);
    second_.set_enabled(id, enabled);
  }
  void set_progress_range(ControlId id, int low, int high) override {
    first_.set_progress_range(id, low, high);
    second_.set_progress_range(id, low, high);
  }
  void set_progress(ControlId id, int position) override {
    first_.set_progress(id, position);
    second_.set_progress(id, position);
  }
  int pacing_position() const override { return first_.pacing_position(); }
  void post_command(Command command) override { first_.post_command(command); }
  void group_started(const std::string& group, int index, int total) override {
    first_.group_started(group, index, total);
    second_.group_started(group, index, total);
  }
  void group_counted(int index, int total) override {
    first_.group_counted(index, total);
    second_.group_counted(index, total);
  }
  void connected_to(const std::string& server, int attempts) override {
    first_.connected_to(server, attempts);
    second_.connected_to(server, attempts);
  }
  void transfer_status(const std::string& server, int connections, std::int64_t bytes_per_second) override {
    first_.transfer_status(server, connections, bytes_per_second);
    second_.transfer_status(server, connections, bytes_per_second);
  }
  void nobody_connected(int attempts, bool waiting) override {
    first_.nobody_connected(attempts, waiting);
    second_.nobody_connected(attempts, waiting);
  }
  void overview_checking(std::string_view number) override {
    first_.overview_checking(number);
    second_.overview_checking(number);
  }
  void pending_counted(const std::string& group, std::size_t count) override {
    first_.pending_counted(group, count);
    second_.pending_counted(group, count);
  }
  void article_started(std::int64_t number) override {
    first_.article_started(number);
    second_.article_started(number);
  }
  void article_progress(std::uint32_t line, std::uint32_t lines, std::uint32_t percent) override {
    first_.article_progress(line, lines, percent);
    second_.article_progress(line, lines, percent);
  }
  void counters_changed(const SessionCounters& counters) override {
    first_.counters_changed(counters);
    second_.counters_changed(counters);
  }
  void group_skipped() override {
    first_.group_skipped();
    second_.group_skipped();
  }
  void session_ended(SessionEnd reason, const std::string& detail) override {
    first_.session_ended(reason, detail);
    second_.session_ended(reason, detail);
  }
  void certificate_unchecked(const std::string& server) override {
    first_.certificate_unchecked(server);
    second_.certificate_unchecked(server);
  }
  void scheduler_disabled() override {
    first_.scheduler_disabled();
    second_.scheduler_disabled();
  }
  void overview_scanned(const OverviewScanReport& report) override {
    first_.overview_scanned(report);
    second_.overview_scanned(report);
  }

 private:
  View& first_;
  View& second_;
};

}  // namespace fk
