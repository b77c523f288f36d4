// SPDX-License-Identifier: GPL-3.0-or-later
// The scheduled scan window.
#include "app/scheduler.h"

#include <cstdio>

namespace fk {

bool in_scheduled_window(const Settings& s, const std::tm& local) {
  const long start = static_cast<long>(s.start_hour) * 60 + s.start_min;
  const long end = static_cast<long>(s.end_hour) * 60 + s.end_min;
  const long now = local.tm_hour * 60L + local.tm_min;
  const int today = ((local.tm_wday % 7) + 7) % 7;
  const int yesterday = (today + 6) % 7;
  if (start < end) return s.days[today] != 0 && now >= start && now < end;
  // The window runs past midnight: its first part belongs to today, the rest to yesterday's window.
  return (s.days[today] != 0 && now >= start) || (s.days[yesterday] != 0 && now < end);
}

std::string scheduler_line(const Settings& s) {
  static const char letters[7] = {'S', 'M', 'T', 'W', 'T', 'F', 'S'};
  char days[8];
  for (int d = 0; d < 7; ++d) days[d] = s.days[d] ? letters[d] : '*';
  days[7] = '\0';
  char out[96];
  std::snprintf(out, sizeof out, "Scheduler: %s at %02u:%02u-%02u:%02u", days, s.start_hour, s.start_min,
                s.end_hour, s.end_min);
  return out;
}

ScheduleTracker::Action ScheduleTracker::update(const Settings& settings, const std::tm& local) {
  bool inside = settings.scheduler_active() && in_scheduled_window(settings, local);
  Action a = Action::None;
  if (inside && !inside_) a = Action::Begin;
  if (!inside && inside_) a = Action::End;
  inside_ = inside;
  return a;
}

}  // namespace fk
