// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application core behind the status window, without Qt: it owns the settings, the session state,
// the logs, the queue, the histories, the decoders and the dial-up manager, and composes the start-up
// and Close (lifecycle.h), the window's commands (app_commands.h) and the one-second tick (ticker.h)
// over them. The window and the terminal view are thin layers on top.

#include <optional>
#include <string>
#include <string_view>

#include "app/app_commands.h"
#include "app/commands.h"
#include "app/deferred_actions.h"
#include "app/lifecycle.h"
#include "app/session_runner.h"
#include "app/ticker.h"
#include "app/tracking_view.h"
#include "dialup/dialup_manager.h"
#include "session/context.h"

namespace fk {

class Application final : public StatusCommands {
 public:
  // Runs one news session on the calling thread (the real one connects to the configured server).
  using SessionBody = SessionRunner::Body;

  Application(View& view, Dialogs& dialogs, AppWindows& windows, Clock& clock, DialupService& dialup_service);
  // Stops and joins every thread the core started.
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The start-up sequence up to the timer: afterwards the caller calls tick() every 1000 ms.
  void start_up();

  // StatusCommands: all on the window's thread.
  void start() override;
  void stop() override;
  void setup() override;
  void groups() override;
  void skip_group() override;
  void bozo(std::optional<RowRef> selected) override;
  void download_next(std::optional<RowRef> selected) override;
  void remove_pending(std::optional<RowRef> selected) override;
  void remove_history(ControlId list, std::optional<RowRef> selected) override;
  void close() override;
  void tick() override;

  // The Bozo Bucket's blacklisting for an author known by name (the picture gallery's "Blacklist
  // Author"): the same question, then the author trimmed and lower-cased joins the blacklist and
  // BOZOS.FNK, and the author's pending rows go. False when the user declined or the author is empty.
  bool blacklist_author(std::string_view author);

  // Unattended operation whatever FENNICK.INI says (the headless mode); never written to the file.
  void force_unattended() { lifecycle_.force_unattended(); }
  // Presses Start once the histories are loaded, as unattended operation does, without the rest of it.
  void start_when_ready() { lifecycle_.start_when_ready(); }
  // A line for fk.log after the banner of the next start-up (how the working folder was chosen).
  void add_start_note(std::string note) { lifecycle_.add_start_note(std::move(note)); }

  // Replaces what a session does (tests); by default the session thread of the engine.
  void set_session_body(SessionBody body) { session_.set_body(std::move(body)); }

  SharedSettings& settings() { return settings_; }
  SessionState& state() { return state_; }
  PendingQueue& pending() { return pending_; }
  HistoryBuffer& article_ids() { return article_ids_; }
  HistoryBuffer& filenames() { return filenames_; }
  HistoryBuffer& blacklist() { return blacklist_; }
  const StatusLog& log() const { return log_; }
  Clock& clock() { return clock_; }
  EngineContext& engine() { return engine_; }
  DialupManager& dialup() { return dialup_; }
  const std::string& ini_path() const { return ini_path_; }

  // Lifetime totals as the exit statistics dialog shows them.
  ExitStatistics exit_statistics() const { return lifecycle_.exit_statistics(); }
  // True while a session thread runs (from its start until its last step).
  bool session_running() const { return session_.running(); }
  // True once Close has run.
  bool closed() const { return lifecycle_.closed(); }
  // True once the start-up thread has loaded the histories and finished.
  bool initialised() const { return lifecycle_.initialised(); }

 private:
  // What Lifecycle and AppCommands both work on.
  AppObjects objects();

  TrackingView view_;
  Dialogs& dialogs_;
  AppWindows& windows_;
  Clock& clock_;

  SharedSettings settings_;
  SessionState state_;
  StatusLog log_{settings_, clock_};
  DownloadLog files_log_{settings_};
  PendingQueue pending_;
  HistoryBuffer article_ids_{"HISTORY.FNK"};
  HistoryBuffer filenames_{"FILENAMES.FNK"};
  HistoryBuffer blacklist_{"BOZOS.FNK"};
  std::string ini_path_;
  Decoders decoders_{log_, clock_};
  StatvfsDiskSpace disk_;
  EngineContext engine_;
  DialupManager dialup_;

  // The three parts, over the objects above; each is handed only what it uses.
  SessionRunner session_{engine_};
  DeferredActions later_;
  Lifecycle lifecycle_;
  AppCommands commands_;
  Ticker ticker_;
};

}  // namespace fk
