// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal view of the headless mode.
#include "app/terminal_view.h"

#include <chrono>

namespace fk {

namespace {

std::string bar(int pos, int low, int high, int width) {
  int span = high > low ? high - low : 1;
  long filled = static_cast<long>(pos - low) * width / span;
  if (filled < 0) filled = 0;
  if (filled > width) filled = width;
  std::string out(1, '[');
  out.append(static_cast<std::size_t>(filled), '#').append(static_cast<std::size_t>(width - filled), '.');
  return out += ']';
}

// 1049998112 as "1,049,998,112".
std::string grouped(std::int64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  std::size_t lead = digits[0] == '-' ? 1 : 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > lead && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

const char* scan_start_text(ScanStart start) {
  switch (start) {
    case ScanStart::WholeGroup: return "whole group";
    case ScanStart::FirstScan: return "first scan";
    case ScanStart::FromMark: return "from the scan mark";
    case ScanStart::Renumbered: return "group renumbered, scanned afresh";
  }
  return "";
}

}  // namespace

TerminalView::TerminalView(std::FILE* out, bool live) : out_(out), live_(live) {}

void TerminalView::print_locked(const std::string& line) {
  if (live_ && live_line_shown_) std::fputs("\r\033[K", out_);
  std::fputs(line.c_str(), out_);
  std::fputc('\n', out_);
  live_line_shown_ = false;
  redraw_locked();
}

void TerminalView::print(const std::string& line) {
  std::lock_guard lock(mutex_);
  print_locked(line);
}

void TerminalView::redraw_locked() {
  if (live_) {
    auto group = progress_.find(ControlId::GroupsProgress);
    auto article = progress_.find(ControlId::ArticleProgress);
    std::string line;
    if (group != progress_.end() && ranges_.count(ControlId::GroupsProgress)) {
      auto [lo, hi] = ranges_[ControlId::GroupsProgress];
      line += "groups " + bar(group->second, lo, hi, 10) + " " + std::to_string(group->second) + "/" +
              std::to_string(hi) + "  ";
    }
    if (article != progress_.end() && article->second > 0)
      line += "article " + bar(article->second, 0, 100, 20) + " " + std::to_string(article->second) + "%  ";
    if (!transfer_.empty()) line += transfer_ + "  ";
    line += activity_;
    if (!line.empty()) {
      std::fputs("\r\033[K", out_);
      std::fputs(line.c_str(), out_);
      live_line_shown_ = true;
    }
  }
  std::fflush(out_);
}

void TerminalView::flush_pending_caption_locked() {
  if (pending_caption_.empty()) return;
  std::string caption;
  caption.swap(pending_caption_);
  print_locked(caption);
}

// Texts are shown as they come, never interpreted: what happened arrives as typed events below.
void TerminalView::set_text(ControlId id, const std::string& text) {
  std::lock_guard lock(mutex_);
  std::string& old = texts_[id];
  if (old == text) return;
  old = text;
  switch (id) {
    case ControlId::ConnectionStatus:
      if (!text.empty()) print_locked("Connection: " + text);
      break;
    case ControlId::DownloadStatus:
      activity_.clear();
      if (text.empty()) break;
      flush_pending_caption_locked();
      print_locked(text);
      break;
    case ControlId::SchedulerStatus:
      if (!text.empty()) print_locked(text);
      break;
    default: break;
  }
}

void TerminalView::group_started(const std::string& group, int index, int total) {
  std::lock_guard lock(mutex_);
  flush_pending_caption_locked();
  print_locked("Group " + std::to_string(index) + " of " + std::to_string(total) + " news groups: " + group);
}

void TerminalView::overview_checking(std::string_view number) {
  if (!live_) return;
  std::lock_guard lock(mutex_);
  activity_.assign("Building D/L List ..Checking ").append(number);
  redraw_locked();
}

void TerminalView::pending_counted(const std::string& group, std::size_t count) {
  std::lock_guard lock(mutex_);
  pending_caption_ = pending_caption_text(group, count);  // shown once the scan is over
}

void TerminalView::article_started(std::int64_t number) {
  std::lock_guard lock(mutex_);
  flush_pending_caption_locked();
  activity_ = "Downloading Article " + std::to_string(number);
  if (live_)
    redraw_locked();
  else
    print_locked(activity_);
}

void TerminalView::counters_changed(const SessionCounters& counters) {
  std::lock_guard lock(mutex_);
  print_locked(counters_text(counters));
}

void TerminalView::group_skipped() {
  std::lock_guard lock(mutex_);
  flush_pending_caption_locked();
  print_locked("Skipping to Next Group");
}

void TerminalView::session_ended(SessionEnd reason, const std::string& detail) {
  std::lock_guard lock(mutex_);
  flush_pending_caption_locked();
  activity_.clear();
  transfer_.clear();
  switch (reason) {
    case SessionEnd::Completed: print_locked("Downloads Completed"); break;
    case SessionEnd::Stopped: print_locked("Downloads Aborted"); break;
    case SessionEnd::NothingToScan: print_locked(detail); break;
    case SessionEnd::Failed: print_locked("Downloads Failed: " + detail); break;
  }
}

void TerminalView::transfer_status(const std::string&, int connections, std::int64_t bytes_per_second) {
  std::lock_guard lock(mutex_);
  transfer_ = transfer_text(connections, bytes_per_second);
  redraw_locked();
}

void TerminalView::certificate_unchecked(const std::string& server) {
  std::lock_guard lock(mutex_);
  print_locked("fennick: WARNING: the certificate of " + server +
               " is not checked (tls_verify=0): anyone on the way could read or change this connection");
}

void TerminalView::set_progress_range(ControlId id, int low, int high) {
  std::lock_guard lock(mutex_);
  ranges_[id] = {low, high};
}

void TerminalView::set_progress(ControlId id, int position) {
  std::lock_guard lock(mutex_);
  int& old = progress_[id];
  if (old == position) return;
  old = position;
  if (live_) redraw_locked();
}

void TerminalView::post_command(Command command) {
  std::lock_guard lock(mutex_);
  commands_.push_back(command);
  cv_.notify_all();
}

void TerminalView::overview_scanned(const OverviewScanReport& r) {
  std::string line = "Overview of " + r.group + ": ";
  if (r.range.empty()) {
    line += "nothing new after article " + grouped(r.range.to);
  } else {
    line += grouped(r.lines) + (r.lines == 1 ? " line" : " lines") + " read from article " +
            grouped(r.range.from) + " (" + scan_start_text(r.start) + "), last " + grouped(r.range.to);
  }
  if (r.limit_reached) line += ", stopped at the article limit";
  std::lock_guard lock(mutex_);
  print_locked(line);
}

Answer TerminalView::message_box(const std::string& text, const std::string& caption, Icon, Buttons buttons) {
  std::string flat = text;
  for (char& c : flat)
    if (c == '\n') c = ' ';
  print("[" + caption + "] " + flat);
  return default_answer(buttons);
}

void TerminalView::show_exit_statistics(const ExitStatistics& s) {
  print("Sessions: " + std::to_string(s.sessions) + ", connect minutes: " + std::to_string(s.minutes) +
        ", articles checked: " + std::to_string(s.articles_examined) +
        ", articles downloaded: " + std::to_string(s.articles_downloaded));
}

void TerminalView::close_window() {
  std::lock_guard lock(mutex_);
  flush_pending_caption_locked();
  if (live_ && live_line_shown_) std::fputs("\r\033[K", out_);
  live_line_shown_ = false;
  std::fflush(out_);
  closed_ = true;
  cv_.notify_all();
}

std::optional<Command> TerminalView::wait_command(int timeout_ms) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !commands_.empty() || closed_ || woken_; });
  woken_ = false;
  if (commands_.empty()) return std::nullopt;
  Command c = commands_.front();
  commands_.pop_front();
  return c;
}

bool TerminalView::window_closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void TerminalView::wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  cv_.notify_all();
}

}  // namespace fk
