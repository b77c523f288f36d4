#pragma once
// The application core behind the status window: the start-up sequence, the window's commands, the
// one-second tick with the scheduler, and Close with the exit statistics. No Qt: the window and the
// terminal view are thin layers on top.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "app/scheduler.h"
#include "app/tracking_view.h"
#include "dialup/dialup_manager.h"
#include "session/context.h"
#include "store/profile_file.h"

namespace fk {

// The one-line name and version of the program: caption, about box and the first lines of fk.log.
std::string banner_line();

class Application final : public StatusCommands {
 public:
  // Runs one news session on the calling thread (the real one connects to the configured server).
  using SessionBody = std::function<void(EngineContext&)>;

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
  void force_unattended() { force_unattended_ = true; }
  // Presses Start once the histories are loaded, as unattended operation does, without the rest of it.
  void start_when_ready() { start_when_ready_ = true; }

  // Replaces what a session does (tests); by default the session thread of the engine.
  void set_session_body(SessionBody body) { session_body_ = std::move(body); }

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
  ExitStatistics exit_statistics() const;
  // True while a session thread runs (from its start until its last step).
  bool session_running() const { return session_running_.load(); }
  // True once Close has run.
  bool closed() const { return closed_.load(); }
  // True once the start-up thread has loaded the histories and finished.
  bool initialised() const { return initialised_.load(); }

 private:
  struct TickState {
    std::int64_t uptime_seconds = 0;
    std::int64_t minute_mark = 0;
    std::int64_t minute_mark_bytes = 0;
    std::int64_t last_minute_rate = 0;
    std::int64_t peak_rate = 0;
    std::int64_t sound_bytes = 0;
    std::int64_t idle_bytes = 0;
    std::int64_t idle_seconds = 0;
  };
  struct Deferred {
    std::int64_t due_ms;
    std::function<void()> action;
  };

  void init_thread();
  void launch_session();
  void stop_workers();
  std::optional<std::size_t> resolve_pending(const std::optional<RowRef>& selected) const;
  HistoryBuffer* history_for(ControlId list);
  void set_pending_caption();
  bool ask_and_blacklist(const std::string& author);
  void run_deferred();
  void follow_schedule(const Settings& s);
  bool sound_on() const { return settings_.read([](const Settings& s) { return s.sound_on != 0; }); }

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

  SessionBody session_body_;
  std::thread session_;
  std::atomic<bool> session_running_{false};
  std::thread init_;
  TickState tick_;
  ScheduleTracker schedule_;
  std::vector<Deferred> deferred_;
  bool settings_file_found_ = false;
  bool force_unattended_ = false;
  bool start_when_ready_ = false;
  std::atomic<bool> closed_{false};
  std::atomic<bool> initialised_{false};
  bool workers_stopped_ = false;
};

}  // namespace fk
