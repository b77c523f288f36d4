// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A View and Dialogs for tests: records every call, answers message boxes from a script.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "session/view.h"

namespace fk::test {

class RecordingView : public View {
 public:
  void set_text(ControlId id, const std::string& text) override {
    std::lock_guard l(m_);
    texts_[id] = text;
    history_[id].push_back(text);
  }
  void set_enabled(ControlId id, bool enabled) override {
    std::lock_guard l(m_);
    enabled_[id] = enabled;
  }
  void set_progress_range(ControlId id, int low, int high) override {
    std::lock_guard l(m_);
    ranges_[id] = {low, high};
  }
  void set_progress(ControlId id, int position) override {
    std::lock_guard l(m_);
    progress_[id] = position;
  }
  int pacing_position() const override {
    std::lock_guard l(m_);
    return pacing_;
  }
  void post_command(Command c) override {
    std::lock_guard l(m_);
    commands_.push_back(c);
  }
  void overview_scanned(const OverviewScanReport& report) override {
    std::lock_guard l(m_);
    scans_.push_back(report);
  }
  std::vector<OverviewScanReport> scans() const {
    std::lock_guard l(m_);
    return scans_;
  }

  void set_pacing(int p) {
    std::lock_guard l(m_);
    pacing_ = p;
  }
  std::string text(ControlId id) const {
    std::lock_guard l(m_);
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
  }
  std::vector<std::string> text_history(ControlId id) const {
    std::lock_guard l(m_);
    auto it = history_.find(id);
    return it == history_.end() ? std::vector<std::string>() : it->second;
  }
  // -1 when never set.
  int enabled(ControlId id) const {
    std::lock_guard l(m_);
    auto it = enabled_.find(id);
    return it == enabled_.end() ? -1 : it->second;
  }
  int progress(ControlId id) const {
    std::lock_guard l(m_);
    auto it = progress_.find(id);
    return it == progress_.end() ? -1 : it->second;
  }
  std::pair<int, int> range(ControlId id) const {
    std::lock_guard l(m_);
    auto it = ranges_.find(id);
    return it == ranges_.end() ? std::pair<int, int>{-1, -1} : it->second;
  }
  std::vector<Command> commands() const {
    std::lock_guard l(m_);
    return commands_;
  }
  void clear_commands() {
    std::lock_guard l(m_);
    commands_.clear();
  }

 private:
  mutable std::mutex m_;
  std::map<ControlId, std::string> texts_;
  std::map<ControlId, std::vector<std::string>> history_;
  std::map<ControlId, bool> enabled_;
  std::map<ControlId, std::pair<int, int>> ranges_;
  std::map<ControlId, int> progress_;
  std::vector<Command> commands_;
  std::vector<OverviewScanReport> scans_;
  int pacing_ = 10;
};

class RecordingDialogs : public Dialogs {
 public:
  struct Box {
    std::string text, caption;
    Icon icon;
    Buttons buttons;
  };

  Answer message_box(const std::string& text, const std::string& caption, Icon icon, Buttons buttons) override {
    if (on_box) on_box({text, caption, icon, buttons});
    std::lock_guard l(m_);
    boxes_.push_back({text, caption, icon, buttons});
    if (!answers_.empty()) {
      Answer a = answers_.front();
      answers_.pop_front();
      return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
  }
  void beep(Beep kind) override {
    std::lock_guard l(m_);
    beeps_.push_back(kind);
  }
  void play_sound_file(const std::string& file) override {
    std::lock_guard l(m_);
    sounds_.push_back(file);
  }
  bool open_with_viewer(const std::string& path) override {
    std::lock_guard l(m_);
    opened_.push_back(path);
    return viewer_result_;
  }

  // Called as each box opens, before it is answered (set it before the code under test runs).
  std::function<void(const Box&)> on_box;

  void queue_answer(Answer a) {
    std::lock_guard l(m_);
    answers_.push_back(a);
  }
  void set_viewer_result(bool ok) {
    std::lock_guard l(m_);
    viewer_result_ = ok;
  }
  std::vector<Box> boxes() const {
    std::lock_guard l(m_);
    return boxes_;
  }
  std::vector<Beep> beeps() const {
    std::lock_guard l(m_);
    return beeps_;
  }
  std::vector<std::string> sounds() const {
    std::lock_guard l(m_);
    return sounds_;
  }
  std::vector<std::string> opened() const {
    std::lock_guard l(m_);
    return opened_;
  }

 private:
  mutable std::mutex m_;
  std::deque<Answer> answers_;
  std::vector<Box> boxes_;
  std::vector<Beep> beeps_;
  std::vector<std::string> sounds_;
  std::vector<std::string> opened_;
  bool viewer_result_ = true;
};

}  // namespace fk::test
