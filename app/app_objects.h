// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Application's objects that both its start-up and Close (lifecycle.h) and the window's commands
// (app_commands.h) work on, handed over as one.

#include "app/commands.h"
#include "app/histories.h"
#include "app/session_runner.h"
#include "dialup/dialup_manager.h"
#include "session/session_state.h"
#include "session/view.h"
#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {

// References only; the Application owns what they name. The parts inherit it privately, so the names
// read as their own members.
struct AppObjects {
  View& view_;
  Dialogs& dialogs_;
  AppWindows& windows_;
  Clock& clock_;
  SharedSettings& settings_;
  SessionState& state_;
  const StatusLog& log_;
  Histories histories_;
  DialupManager& dialup_;
  SessionRunner& session_;
};

}  // namespace fk
