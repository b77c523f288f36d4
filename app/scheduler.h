// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When the schedule wants a scan, and how the status window shows the schedule.

#include <ctime>
#include <string>

#include "store/settings.h"

namespace fk {

// True when local time lies inside the scheduled window of a ticked day. A window from Start to End
// that crosses midnight (End not after Start) belongs to the day it starts on; equal times mean a whole
// day from that time.
bool in_scheduled_window(const Settings& settings, const std::tm& local);

// "Scheduler: SMTWTFS at 00:30-05:30" with "*" for days that are off.
std::string scheduler_line(const Settings& settings);

// Follows the schedule from tick to tick and says when a scan should begin or end.
class ScheduleTracker {
 public:
  enum class Action { None, Begin, End };
  // With the scheduler inactive nothing happens (and a window already entered counts as left).
  Action update(const Settings& settings, const std::tm& local);

 private:
  bool inside_ = false;
};

}  // namespace fk
