// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/status_board.h"

#include <chrono>

#include "web/web_text.h"

namespace fk {

void StatusBoard::set_text(ControlId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  auto& slot = texts_[id];
  if (slot == text) return;
  slot = text;
  changed_locked();
}

void StatusBoard::set_enabled(ControlId id, bool enabled) {
  std::lock_guard lock(mutex_);
  auto [it, added] = enabled_.emplace(id, enabled);
  if (!added && it->second == enabled) return;
  it->second = enabled;
  changed_locked();
}

void StatusBoard::set_progress_range(ControlId id, int low, int high) {
  std::lock_guard lock(mutex_);
  ranges_[id] = {low, high};
  changed_locked();
}

void StatusBoard::set_progress(ControlId id, int position) {
  std::lock_guard lock(mutex_);
  auto [it, added] = positions_.emplace(id, position);
  if (!added && it->second == position) return;
  it->second = position;
  changed_locked();
}

void StatusBoard::counters_changed(const SessionCounters& counters) {
  {
    std::lock_guard lock(mutex_);
    counters_ = counters;
    changed_locked();
  }
  View::counters_changed(counters);
}

void StatusBoard::group_started(const std::string& group, int index, int total) {
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    changed_locked();
  }
  View::group_started(group, index, total);
}

void StatusBoard::set_pending(std::vector<std::string> rows) {
  if (rows.size() > kPendingShown) rows.resize(kPendingShown);
  std::lock_guard lock(mutex_);
  if (rows == pending_) return;
  pending_ = std::move(rows);
  changed_locked();
}

void StatusBoard::add_log_lines(const std::vector<std::string>& lines, bool reset) {
  std::lock_guard lock(mutex_);
  if (reset) log_.clear();
  if (lines.empty() && !reset) return;
  for (const std::string& line : lines) {
    log_.push_back(line);
    if (log_.size() > kLogShown) log_.pop_front();
  }
  changed_locked();
}

void StatusBoard::set_running(bool running) {
  std::lock_guard lock(mutex_);
  if (running_ == running) return;
  running_ = running;
  changed_locked();
}

std::string StatusBoard::json_locked() const {
  auto text = [&](ControlId id) {
    auto it = texts_.find(id);
    return json_string(it == texts_.end() ? std::string() : it->second);
  };
  auto enabled = [&](ControlId id) {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
  };
  auto progress = [&](ControlId id) {
    auto range = ranges_.find(id);
    auto p = positions_.find(id);
    const int low = range == ranges_.end() ? 0 : range->second.first;
    const int high = range == ranges_.end() ? 100 : range->second.second;
    const int pos = p == positions_.end() ? low : p->second;
    std::string r(1, '[');
    r += std::to_string(pos);
    r += ',';
    r += std::to_string(low);
    r += ',';
    r += std::to_string(high);
    r += ']';
    return r;
  };
  std::string out = "{";
  out += "\"server\":" + text(ControlId::ConnectionStatus);
  out += ",\"group\":" + text(ControlId::GroupName);
  out += ",\"groups\":" + text(ControlId::GroupCounter);
  out += ",\"groups_progress\":" + progress(ControlId::GroupsProgress);
  out += ",\"article_progress\":" + progress(ControlId::ArticleProgress);
  out += ",\"speed\":" + text(ControlId::Throughput);
  out += ",\"pictures\":" + text(ControlId::PictureSummary);
  out += ",\"download\":" + text(ControlId::DownloadStatus);
  out += ",\"pending_caption\":" + text(ControlId::PendingBox);
  out += ",\"scheduler\":" + text(ControlId::SchedulerStatus);
  out += ",\"counters\":{\"pictures\":" + std::to_string(counters_.pictures) +
         ",\"articles\":" + std::to_string(counters_.articles_examined) +
         ",\"duplicates\":" + std::to_string(counters_.duplicates) + ",\"base64\":" + std::to_string(counters_.base64) +
         ",\"unknown\":" + std::to_string(counters_.unknown_format) + "}";
  out += std::string(",\"running\":") + (running_ ? "true" : "false");
  out += std::string(",\"start_enabled\":") + (enabled(ControlId::StartButton) ? "true" : "false");
  out += std::string(",\"stop_enabled\":") + (enabled(ControlId::StopButton) ? "true" : "false");
  out += ",\"pending\":[";
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (i) out += ',';
    // Fields: number, author, lines, subject.
    std::string_view row = pending_[i];
    out += '[';
    for (int f = 0; f < 4; ++f) {
      const std::size_t tab = f < 3 ? row.find('\t') : std::string_view::npos;
      if (f) out += ',';
      out += json_string(row.substr(0, tab));
      row = tab == std::string_view::npos ? std::string_view() : row.substr(tab + 1);
    }
    out += ']';
  }
  out += "],\"log\":[";
  bool first = true;
  for (const std::string& line : log_) {
    if (!first) out += ',';
    first = false;
    out += json_string(line);
  }
  out += "]}";
  return out;
}

std::string StatusBoard::json() const {
  std::lock_guard lock(mutex_);
  return json_locked();
}

bool StatusBoard::publish() {
  {
    std::lock_guard lock(mutex_);
    if (published_version_ == version_) return false;
    published_version_ = version_;
    auto frame = std::make_shared<Frame>();
    frame->seq = frame_->seq + 1;
    frame->json = json_locked();
    frame_ = std::move(frame);
  }
  frames_.notify_all();
  return true;
}

std::shared_ptr<const StatusBoard::Frame> StatusBoard::latest() const {
  std::lock_guard lock(mutex_);
  return frame_;
}

std::shared_ptr<const StatusBoard::Frame> StatusBoard::wait_newer(std::uint64_t seen, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  frames_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return closed_ || frame_->seq > seen; });
  return frame_;
}

void StatusBoard::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  frames_.notify_all();
}

bool StatusBoard::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace fk
