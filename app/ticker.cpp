// SPDX-License-Identifier: GPL-3.0-or-later
// The one-second tick and the schedule.
#include "app/ticker.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace fk {

namespace {

std::string format(const char* fmt, auto... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, args...);
  return out;
}

}  // namespace

Ticker::Ticker(TrackingView& view, Dialogs& dialogs, Clock& clock, const SharedSettings& settings,
               SessionState& state, const StatusLog& log, Histories histories, const SessionRunner& session,
               StatusCommands& commands, DeferredActions& later)
    : view_(view),
      dialogs_(dialogs),
      clock_(clock),
      settings_(settings),
      state_(state),
      log_(log),
      histories_(histories),
      session_(session),
      commands_(commands),
      later_(later) {}

void Ticker::tick() {
  later_.run_due(clock_.uptime_ms());
  const Settings s = settings_.get();
  show_line_progress();
  if (state_.connected == 1) ++state_.archive_tot_time;
  const std::int64_t up = clock_.uptime_ms() / 1000;
  const std::int64_t bytes = state_.byte_count.load();
  if (up > 0) {
    show_counts(s, up);
    enforce_running_time(s, up);
    close_minute(up, bytes);
    show_throughput(up, bytes);
  }
  // With several connections the connection line shows how many are open and their speed together.
  if (state_.connected == 1 && s.fast_transfers && s.connections > 1 && bytes >= last_tick_bytes_)
    view_.transfer_status(s.news_server, state_.open_connections.load(), bytes - last_tick_bytes_);
  last_tick_bytes_ = bytes;
  watch_activity(s, bytes);
  follow_schedule(s);
}

void Ticker::show_line_progress() {
  std::uint32_t lines = state_.article_lines.load();
  if (lines == 0) return;
  if (state_.stop_requested == 1) {
    view_.set_progress(ControlId::ArticleProgress, 0);
    state_.article_line = 0;
    state_.article_lines = 0;
    view_.set_text(ControlId::DownloadStatus, "Stop Pending...Please wait");
    return;
  }
  std::uint32_t line = state_.article_line.load();
  auto percent = static_cast<std::uint32_t>(std::uint64_t{line} * 100 / lines);
  view_.article_progress(line, lines, percent);
  view_.set_progress_range(ControlId::ArticleProgress, 0, 100);
  view_.set_progress(ControlId::ArticleProgress, static_cast<int>(std::min<std::uint32_t>(percent, 100)));
}

// Each count has its own second of ten, so one tick never repaints them all.
void Ticker::show_counts(const Settings& s, std::int64_t up) {
  if (up % 10 == 1) {
    view_.set_text(ControlId::ArticleIdLabel,
                   format("%d Article ID's", static_cast<int>(histories_.article_ids.count())));
    if (s.scheduler_active()) {
      if (state_.connected == 0 && !state_.reason_shown)
        view_.nobody_connected(state_.connection_attempts.load(), true);
      view_.set_text(ControlId::SchedulerStatus, scheduler_line(s));
    } else {
      view_.scheduler_disabled();
      if (state_.connected == 0 && !state_.reason_shown)
        view_.nobody_connected(state_.connection_attempts.load(), false);
    }
  }
  if (up % 10 == 4)
    view_.set_text(ControlId::FilenamesLabel,
                   format("%d Downloaded Files", static_cast<int>(histories_.filenames.count())));
  if (up % 10 == 7)
    view_.set_text(ControlId::BlacklistLabel,
                   format("%d Blacklisted Bozos", static_cast<int>(histories_.blacklist.count())));
}

void Ticker::enforce_running_time(const Settings& s, std::int64_t up) {
  if (up % 60 == 15 && state_.connected == 1 && s.max_connecttime > 0 && up / 60 >= s.max_connecttime &&
      !s.scheduler_active()) {
    log_.log_status("Max Connect Time Expired", 0);
    view_.post_command(Command::Stop);
  }
}

// At each minute boundary: the last minute's rate and the peak, and a lost session is started again.
void Ticker::close_minute(std::int64_t up, std::int64_t bytes) {
  if (up - minute_mark_ < 60) return;
  if (minute_mark_ != 0) {
    last_minute_rate_ = (bytes - minute_mark_bytes_) / (up - minute_mark_);
    peak_rate_ = std::max(peak_rate_, last_minute_rate_);
    if (state_.auto_reconnect == 1 && state_.stop_requested == 0 && !state_.connection_busy() &&
        !session_.running() && view_.is_enabled(ControlId::StartButton)) {
      view_.set_enabled(ControlId::StartButton, false);
      log_.log_status("Attempting Auto ReConnect To News Server", 0);
      view_.post_command(Command::Start);
    }
  }
  minute_mark_ = up;
  minute_mark_bytes_ = bytes;
}

void Ticker::show_throughput(std::int64_t up, std::int64_t bytes) {
  const long long hours = up / 3600, minutes = (up % 3600) / 60;
  view_.set_text(ControlId::Throughput,
                 format("%lld bytes in %02lld:%02lld:%02lld (Avg:%lld bytes/s, Last Min.:%lld bytes/s, Peak:%lld "
                        "bytes/s)",
                        static_cast<long long>(bytes), hours, minutes, static_cast<long long>(up % 60),
                        static_cast<long long>(bytes / up), static_cast<long long>(last_minute_rate_),
                        static_cast<long long>(peak_rate_)));
}

// The progress sound when bytes came, and a warning after a silent minute while connected.
void Ticker::watch_activity(const Settings& s, std::int64_t bytes) {
  if (s.sound_on && bytes != sound_bytes_) {
    dialogs_.play_sound_file("boink.wav");
    sound_bytes_ = bytes;
  }
  if (bytes != idle_bytes_) {
    idle_bytes_ = bytes;
    idle_seconds_ = 0;
  } else if (++idle_seconds_ > 60 && state_.connected == 1) {
    log_.log_status("News Server Network Activity 60 Second Timeout", 0);
    idle_seconds_ = 0;
    if (s.sound_on) dialogs_.beep(Beep::Exclamation);
  }
}

void Ticker::follow_schedule(const Settings& s) {
  switch (schedule_.update(s, clock_.local_now())) {
    case ScheduleTracker::Action::Begin:
      log_.log_status("Scheduled Scan Window Begins", 0);
      if (!state_.connection_busy() && !session_.running()) commands_.start();
      break;
    case ScheduleTracker::Action::End:
      log_.log_status("Scheduled Scan Window Ends", 0);
      if (session_.running() || state_.connected == 1 || state_.auto_reconnect == 1) commands_.stop();
      break;
    case ScheduleTracker::Action::None: break;
  }
}

}  // namespace fk
