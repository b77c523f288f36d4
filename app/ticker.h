// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window's one-second tick: line progress, the counts and scheduler lines, throughput and
// rates, the running-time limit, auto-reconnect, the progress sound, the inactivity warning, work
// commands left for later, and the schedule's window edges.

#include <cstdint>

#include "app/commands.h"
#include "app/deferred_actions.h"
#include "app/histories.h"
#include "app/scheduler.h"
#include "app/session_runner.h"
#include "app/tracking_view.h"
#include "session/session_state.h"
#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {

class Ticker {
 public:
  // `commands` is pressed (start, stop) at the schedule's edges, as the user would.
  Ticker(TrackingView& view, Dialogs& dialogs, Clock& clock, const SharedSettings& settings, SessionState& state,
         const StatusLog& log, Histories histories, const SessionRunner& session, StatusCommands& commands,
         DeferredActions& later);

  // One second has passed (on the window's thread); reads the clock's uptime for the time shown.
  void tick();

 private:
  void show_line_progress();
  void show_counts(const Settings& s, std::int64_t up);
  void enforce_running_time(const Settings& s, std::int64_t up);
  void close_minute(std::int64_t up, std::int64_t bytes);
  void show_throughput(std::int64_t up, std::int64_t bytes);
  void watch_activity(const Settings& s, std::int64_t bytes);
  void follow_schedule(const Settings& s);

  TrackingView& view_;
  Dialogs& dialogs_;
  Clock& clock_;
  const SharedSettings& settings_;
  SessionState& state_;
  const StatusLog& log_;
  Histories histories_;
  const SessionRunner& session_;
  StatusCommands& commands_;
  DeferredActions& later_;

  // Byte counts and rates between ticks.
  std::int64_t minute_mark_ = 0;
  std::int64_t minute_mark_bytes_ = 0;
  std::int64_t last_minute_rate_ = 0;
  std::int64_t last_tick_bytes_ = 0;
  std::int64_t peak_rate_ = 0;
  std::int64_t sound_bytes_ = 0;
  std::int64_t idle_bytes_ = 0;
  std::int64_t idle_seconds_ = 0;
  ScheduleTracker schedule_;
};

}  // namespace fk
