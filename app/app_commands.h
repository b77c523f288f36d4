#pragma once
// The status window's buttons and double-clicks: Start, STOP, Setup, Groups, Skip Group, Bozo, D/L Next
// and the removals from the lists. Close and the tick live elsewhere (lifecycle.h, ticker.h).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/commands.h"
#include "app/deferred_actions.h"
#include "app/histories.h"
#include "app/session_runner.h"
#include "dialup/dialup_manager.h"
#include "session/pending_queue.h"
#include "session/session_state.h"
#include "session/view.h"
#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {

class AppCommands {
 public:
  AppCommands(View& view, Dialogs& dialogs, AppWindows& windows, Clock& clock, SharedSettings& settings,
              SessionState& state, const StatusLog& log, PendingQueue& pending, Histories histories,
              const std::string& ini_path, DialupManager& dialup, SessionRunner& session, DeferredActions& later);

  // "Start Fennicking": checks the setup, the internet connection and the running time, then launches
  // a session unless one is running (then it only beeps).
  void start();
  void stop();
  // The setup sheet; FENNICK.INI is written when it is left with OK.
  void setup();
  void groups();
  void skip_group();
  void bozo(std::optional<RowRef> selected);
  void download_next(std::optional<RowRef> selected);
  void remove_pending(std::optional<RowRef> selected);
  void remove_history(ControlId list, std::optional<RowRef> selected);
  // See Application::blacklist_author.
  bool blacklist_author(std::string_view author);

 private:
  bool refuse_unusable_setup(const Settings& s);
  bool internet_connection_ready(const Settings& s);
  bool refuse_after_running_time(const Settings& s);
  std::optional<std::size_t> resolve_pending(const std::optional<RowRef>& selected) const;
  HistoryBuffer* history_for(ControlId list);
  void set_pending_caption();
  bool ask_and_blacklist(const std::string& author);

  View& view_;
  Dialogs& dialogs_;
  AppWindows& windows_;
  Clock& clock_;
  SharedSettings& settings_;
  SessionState& state_;
  const StatusLog& log_;
  PendingQueue& pending_;
  Histories histories_;
  const std::string& ini_path_;
  DialupManager& dialup_;
  SessionRunner& session_;
  DeferredActions& later_;
};

}  // namespace fk
