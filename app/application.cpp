// The application core: start-up, commands, tick, scheduler and Close.
#include "app/application.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "session/session_thread.h"
#include "store/newsrc.h"
#include "store/text_file.h"

namespace fk {

namespace {

std::string settings_path() {
  std::string path;
  locate_settings_file(path);
  return path;
}

std::string format(const char* fmt, auto... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, args...);
  return out;
}

// The author of a pending row as the blacklist keeps it: trimmed and lower case.
std::string author_as_blacklisted(std::string_view row) { return to_lower(trim(pending_author(row))); }

constexpr const char* kMaxTimeText =
    "You have the maximum running time\noption enabled on the setup\\connection\nscreen and the specified "
    "duration has\nexpired. To Connect to the network again,\neither increase the the max running time,\nset the "
    "time to zero, or close the program\nand restart it.";

}  // namespace

std::string banner_line() { return "Fennick " FK_VERSION " - Usenet Picture Harvester"; }

Application::Application(View& view, Dialogs& dialogs, AppWindows& windows, Clock& clock,
                         DialupService& dialup_service)
    : view_(view),
      dialogs_(dialogs),
      windows_(windows),
      clock_(clock),
      ini_path_(settings_path()),
      engine_{settings_, state_,     log_,      files_log_, clock_,    view_, dialogs_,
              pending_,  article_ids_, filenames_, blacklist_, decoders_, disk_},
      dialup_(settings_, state_, log_, view_, dialogs_, clock_, ini_path_, dialup_service),
      session_body_([](EngineContext& engine) { SessionThread(engine); }) {}

Application::~Application() { stop_workers(); }

void Application::start_up() {
  log_.remove();
  settings_file_found_ = locate_settings_file(ini_path_);
  Settings s;
  ArchiveCounters archive;
  // Logged after the banner and outside every lock.
  const std::vector<std::string> setting_notes = load_settings(ProfileFile(ini_path_), s, archive);
  if (force_unattended_) s.unattended_operation = 1;
  settings_.set(s);
  state_.set_archive(archive);
  state_.group_index = 1;
  state_.subscribed_groups = 0;
  state_.connection_attempts = 0;
  state_.subscribed_groups = count_subscribed_groups();
  if (state_.subscribed_groups < 1) {
    log_.log_status("Invalid Setup: no subscribed news groups", 0);
    dialogs_.message_box(
        "You do not have any subscribed news groups\nPlease use the groups/refresh buttons to \nsubscribe to groups "
        "that you wish to scan for pictures.",
        "Fennick -- No News Groups Subscribed", Icon::Error, Buttons::Ok);
  }
  state_.unknown_format_count = 0;
  tick_ = TickState{};
  log_.log_status(banner_line(), 0);
  log_.log_status("Finished Reading .ini File", 0);
  for (const std::string& note : setting_notes) log_.log_status(note, 0);
  // A crash can leave half-written files behind; the originals they were to become are whole.
  if (int n = remove_leftover_replacements() + remove_leftover_picture_temps(); n > 0)
    log_.log_status("Removed " + std::to_string(n) + " temporary file(s) left by an earlier run", 3);
  // The corrections log, and the log reads the settings: correct a copy, then publish it.
  Settings corrected = settings_.get();
  apply_startup_corrections(corrected, log_);
  settings_.set(std::move(corrected));
  state_.news_socket = -1;
  dialup_.load_ras_library();
  if (!settings_file_found_) {
    log_.log_status("Invalid Setup: No .ini file found... creating new one", 0);
    dialogs_.message_box("Please Configure Your News Server Address", "No Setup Information Found", Icon::Warning,
                         Buttons::Ok);
    setup();
  }
  view_.set_enabled(ControlId::StartButton, false);
  view_.set_enabled(ControlId::StopButton, false);
  log_.log_status("Starting Initialization Thread", 0);
  init_ = std::thread([this] { init_thread(); });
}

void Application::init_thread() {
  Settings s = settings_.get();
  log_.log_status("Reading In Bozos History...", 0);
  blacklist_.load_history(s.max_blacklist, log_);
  log_.log_status("Reading In Article ID's History...", 0);
  article_ids_.load_history(s.max_history, log_);
  log_.log_status("Reading In Filenames History...", 0);
  filenames_.load_history(s.max_filenames, log_);
  view_.set_enabled(ControlId::StartButton, true);
  view_.set_text(ControlId::ConnectionStatus, "Nobody");
  s = settings_.get();
  const bool unattended_start = s.unattended_operation && !s.scheduler_active();
  if (unattended_start) log_.log_status("Running In Unattended Mode", 0);
  if (unattended_start || (start_when_ready_ && !s.scheduler_active())) {
    clock_.sleep_ms(1000);
    if (!closed_) view_.post_command(Command::Start);
  }
  if (s.scheduler_active()) log_.log_status("Running With Scheduler Active", 0);
  initialised_ = true;
}

void Application::start() {
  if (closed_) return;
  log_.log_status("Connect Button Pushed", 0);
  view_.set_enabled(ControlId::StartButton, false);
  state_.auto_reconnect = 1;
  state_.stop_requested = 0;
  view_.set_enabled(ControlId::StopButton, true);
  Settings s = settings_.get();
  // A port that cannot be used would fail every connect for ever; an empty server name keeps its own
  // handling (the resolver's message).
  if (std::string problem = connection_setting_problem(s); !problem.empty() && !s.news_server.empty()) {
    log_.log_status("Invalid Setup: " + problem, 0);
    if (!s.unattended_operation)
      dialogs_.message_box("Fennick cannot connect: " + problem + ".", "Invalid Setup", Icon::Error, Buttons::Ok);
    view_.set_text(ControlId::ConnectionStatus, "Nobody...Invalid Setup: " + problem);
    view_.set_enabled(ControlId::StartButton, true);
    return;
  }
  if (s.check_dialup) {
    log_.log_status("Using Dialup Internet Connection", 1);
    if (dialup_.check_ras_connection() == 0) {
      // Without NetworkManager the option has just been switched off: the next Start connects directly.
      const bool dialup_gone = settings_.read([](const Settings& now) { return now.check_dialup == 0; });
      view_.set_text(ControlId::ConnectionStatus,
                     dialup_gone ? "Nobody...Dial-up Not Available (no NetworkManager)... Start Again To Connect Directly"
                                 : "Nobody...No Internet Connection... will retry in a Minute");
      log_.log_status("No Active Dialup Internet Connection Found", 1);
      if (s.sound_on) dialogs_.beep(Beep::Information);
      // The window keeps painting during the 2.5 s before Start comes back.
      deferred_.push_back({clock_.uptime_ms() + 2500, [this] { view_.set_enabled(ControlId::StartButton, true); }});
      return;
    }
  } else {
    log_.log_status("Using Direct Internet Connection", 1);
  }
  // A schedule runs for days; its notes promise that the running-time limit does not apply to it.
  if (s.max_connecttime > 0 && !s.scheduler_active() && clock_.uptime_ms() / 1000 / 60 >= s.max_connecttime) {
    dialogs_.message_box(kMaxTimeText, "Maximum Running Time Expired", Icon::Error, Buttons::Ok);
    dialogs_.beep(Beep::Information);
    view_.set_text(ControlId::ConnectionStatus, "Nobody...Maximum Running Time Expired");
    view_.set_enabled(ControlId::StartButton, true);
    return;
  }
  if (state_.news_socket != -1 || state_.connected == 1 || session_running_) {
    dialogs_.beep(Beep::Question);
    return;
  }
  launch_session();
}

void Application::launch_session() {
  if (session_.joinable()) session_.join();  // the previous session has passed its last step
  session_running_ = true;
  state_.refusal = SessionState::kNoRefusal;
  session_ = std::thread([this] {
    if (session_body_) session_body_(engine_);
    session_running_ = false;
  });
}

void Application::stop() {
  log_.log_status("Stop Button Pushed", 0);
  state_.stop_requested = 1;
  state_.auto_reconnect = 0;
  view_.set_enabled(ControlId::StopButton, false);
  view_.set_text(ControlId::ConnectionStatus, "Nobody...Stop Pressed");
  if (settings_.read([](const Settings& s) { return s.scheduler_active(); })) dialup_.HangUp();
}

void Application::setup() {
  log_.log_status("Setup Button Pushed", 0);
  if (windows_.run_setup_sheet()) save_settings(ProfileFile(ini_path_), settings_.get(), log_);
}

void Application::groups() {
  log_.log_status("Groups Button Pushed", 0);
  view_.set_enabled(ControlId::NewsGroupsButton, false);
  windows_.run_groups_dialog();
  view_.set_enabled(ControlId::NewsGroupsButton, true);
}

void Application::skip_group() {
  log_.log_status("Skip Group Button Pushed", 0);
  if (pending_.count() > 0) {
    pending_.clear();
    view_.group_skipped();
  } else {
    dialogs_.message_box(
        "This Button is used to clear the 'Pending Downloads\nListbox'. It is only effective when the listbox\n"
        "contains articles. The articles are skipped for the\ncurrent download session only.",
        "Helpful Hint", Icon::Information, Buttons::Ok);
  }
}

std::optional<std::size_t> Application::resolve_pending(const std::optional<RowRef>& selected) const {
  if (!selected) return std::nullopt;
  // The session may have taken rows off the top since the user clicked: follow the row's text.
  auto rows = pending_.rows();
  if (selected->index < rows.size() && rows[selected->index] == selected->text) return selected->index;
  auto it = std::find(rows.begin(), rows.end(), selected->text);
  if (it == rows.end()) return std::nullopt;
  return static_cast<std::size_t>(it - rows.begin());
}

void Application::set_pending_caption() {
  view_.set_text(ControlId::PendingBox, format("%d Pending Downloads", static_cast<int>(pending_.count())));
}

void Application::bozo(std::optional<RowRef> selected) {
  log_.log_status("Bozo Button Pushed", 0);
  if (!selected) {
    if (windows_.run_bozo_dialog())
      blacklist_.load_history(settings_.read([](const Settings& s) { return s.max_blacklist; }), log_);
    return;
  }
  ask_and_blacklist(author_as_blacklisted(selected->text));
}

bool Application::blacklist_author(std::string_view author) {
  log_.log_status("Blacklist Author Chosen In Pictures", 0);
  const std::string kept = to_lower(trim(author));
  // An empty author would match every row without an author column.
  if (kept.empty()) return false;
  return ask_and_blacklist(kept);
}

bool Application::ask_and_blacklist(const std::string& author) {
  if (dialogs_.message_box("Do You Wish To Ignore All Further\nArticles Posted By This Author?\n\n" + author,
                           "Bozo Bucket - The Author Blacklist", Icon::Question, Buttons::OkCancel) != Answer::Ok)
    return false;
  if (!blacklist_.contains_exact(author)) {
    if (blacklist_.add_at_top(author, settings_.read([](const Settings& s) { return s.max_blacklist; })))
      log_.log_status("Author Added To Blacklist: " + author, 1);
  }
  pending_.remove_if([&](std::string_view row) { return author_as_blacklisted(row) == author; });
  set_pending_caption();
  return true;
}

void Application::download_next(std::optional<RowRef> selected) {
  log_.log_status("Download Next Button Pushed", 0);
  auto index = resolve_pending(selected);
  if (!index || *index < 2 || !pending_.move_to_next(*index)) {
    dialogs_.message_box(
        "This button moves the currently highlighted\narticle in the pending downloads listbox to\nnear the top of "
        "the listbox. This will result\nin the article being downloaded next.",
        "No or Invalid Article Selected", Icon::Information, Buttons::Ok);
  }
}

void Application::remove_pending(std::optional<RowRef> selected) {
  if (auto index = resolve_pending(selected)) pending_.remove(*index);
  set_pending_caption();
}

HistoryBuffer* Application::history_for(ControlId list) {
  switch (list) {
    case ControlId::ArticleIdList: return &article_ids_;
    case ControlId::FilenamesList: return &filenames_;
    case ControlId::BlacklistList: return &blacklist_;
    default: return nullptr;
  }
}

void Application::remove_history(ControlId list, std::optional<RowRef> selected) {
  HistoryBuffer* buffer = history_for(list);
  if (!buffer || !selected) return;
  if (!buffer->remove_at(selected->index, selected->text)) {
    auto entries = buffer->entries();
    auto it = std::find(entries.begin(), entries.end(), selected->text);
    if (it != entries.end()) buffer->remove_at(static_cast<std::size_t>(it - entries.begin()), selected->text);
  }
}

void Application::run_deferred() {
  std::int64_t now = clock_.uptime_ms();
  std::vector<Deferred> due;
  auto split = std::stable_partition(deferred_.begin(), deferred_.end(),
                                     [&](const Deferred& d) { return d.due_ms > now; });
  std::move(split, deferred_.end(), std::back_inserter(due));
  deferred_.erase(split, deferred_.end());
  for (auto& d : due) d.action();
}

void Application::follow_schedule(const Settings& s) {
  switch (schedule_.update(s, clock_.local_now())) {
    case ScheduleTracker::Action::Begin:
      log_.log_status("Scheduled Scan Window Begins", 0);
      if (state_.news_socket == -1 && state_.connected == 0 && !session_running_) start();
      break;
    case ScheduleTracker::Action::End:
      log_.log_status("Scheduled Scan Window Ends", 0);
      if (session_running_ || state_.connected == 1 || state_.auto_reconnect == 1) stop();
      break;
    case ScheduleTracker::Action::None: break;
  }
}

void Application::tick() {
  if (closed_) return;
  run_deferred();
  Settings s = settings_.get();

  std::uint32_t lines = state_.article_lines.load();
  if (lines != 0) {
    if (state_.stop_requested == 1) {
      view_.set_progress(ControlId::ArticleProgress, 0);
      state_.article_line = 0;
      state_.article_lines = 0;
      view_.set_text(ControlId::DownloadStatus, "Stop Pending...Please wait");
    } else {
      std::uint32_t line = state_.article_line.load();
      auto percent = static_cast<std::uint32_t>(std::uint64_t{line} * 100 / lines);
      view_.article_progress(line, lines, percent);
      view_.set_progress_range(ControlId::ArticleProgress, 0, 100);
      view_.set_progress(ControlId::ArticleProgress, static_cast<int>(std::min<std::uint32_t>(percent, 100)));
    }
  }
  if (state_.connected == 1) ++state_.archive_tot_time;

  tick_.uptime_seconds = clock_.uptime_ms() / 1000;
  const std::int64_t up = tick_.uptime_seconds;
  const long long hours = up / 3600, minutes = (up % 3600) / 60;
  const std::int64_t bytes = state_.byte_count.load();
  if (up > 0) {
    if (up % 10 == 1) {
      view_.set_text(ControlId::ArticleIdLabel, format("%d Article ID's", static_cast<int>(article_ids_.count())));
      if (s.scheduler_active()) {
        if (state_.connected == 0)
          view_.set_text(ControlId::ConnectionStatus,
                         format("Nobody... %d connection attempts, waiting for scheduler",
                                state_.connection_attempts.load()));
        view_.set_text(ControlId::SchedulerStatus, scheduler_line(s));
      } else {
        view_.scheduler_disabled();
        if (state_.connected == 0)
          view_.set_text(ControlId::ConnectionStatus,
                         format("Nobody... %d connection attempts", state_.connection_attempts.load()));
      }
    }
    if (up % 10 == 4)
      view_.set_text(ControlId::FilenamesLabel, format("%d Downloaded Files", static_cast<int>(filenames_.count())));
    if (up % 10 == 7)
      view_.set_text(ControlId::BlacklistLabel, format("%d Blacklisted Bozos", static_cast<int>(blacklist_.count())));
    if (up % 60 == 15 && state_.connected == 1 && s.max_connecttime > 0 && up / 60 >= s.max_connecttime &&
        !s.scheduler_active()) {
      log_.log_status("Max Connect Time Expired", 0);
      view_.post_command(Command::Stop);
    }
    if (up - tick_.minute_mark >= 60) {
      if (tick_.minute_mark != 0) {
        tick_.last_minute_rate = (bytes - tick_.minute_mark_bytes) / (up - tick_.minute_mark);
        tick_.peak_rate = std::max(tick_.peak_rate, tick_.last_minute_rate);
        if (state_.auto_reconnect == 1 && state_.stop_requested == 0 && state_.news_socket == -1 &&
            state_.connected == 0 && !session_running_ && view_.is_enabled(ControlId::StartButton)) {
          view_.set_enabled(ControlId::StartButton, false);
          log_.log_status("Attempting Auto ReConnect To News Server", 0);
          view_.post_command(Command::Start);
        }
      }
      tick_.minute_mark = up;
      tick_.minute_mark_bytes = bytes;
    }
    view_.set_text(ControlId::Throughput,
                   format("%lld bytes in %02lld:%02lld:%02lld (Avg:%lld bytes/s, Last Min.:%lld bytes/s, Peak:%lld "
                          "bytes/s)",
                          static_cast<long long>(bytes), hours, minutes, static_cast<long long>(up % 60),
                          static_cast<long long>(bytes / up), static_cast<long long>(tick_.last_minute_rate),
                          static_cast<long long>(tick_.peak_rate)));
  }
  if (s.sound_on && bytes != tick_.sound_bytes) {
    dialogs_.play_sound_file("boink.wav");
    tick_.sound_bytes = bytes;
  }
  if (bytes != tick_.idle_bytes) {
    tick_.idle_bytes = bytes;
    tick_.idle_seconds = 0;
  } else if (++tick_.idle_seconds > 60 && state_.connected == 1) {
    log_.log_status("News Server Network Activity 60 Second Timeout", 0);
    tick_.idle_seconds = 0;
    if (s.sound_on) dialogs_.beep(Beep::Exclamation);
  }
  follow_schedule(s);
}

ExitStatistics Application::exit_statistics() const {
  ArchiveCounters a = state_.archive();
  return {static_cast<std::uint32_t>(a.connections), static_cast<std::uint32_t>(a.tot_time) / 60,
          static_cast<std::uint32_t>(a.tot_articles), static_cast<std::uint32_t>(a.pic_count)};
}

void Application::close() {
  if (closed_.exchange(true)) return;
  save_history_statistics(ProfileFile(ini_path_), state_.archive());
  Settings s = settings_.get();
  if (s.check_dialup) {
    bool hang_up = true;
    if (!s.unattended_operation && dialup_.connection_open())
      hang_up = dialogs_.message_box("Would You Like To Disconnect From The Internet?", "Hangup Connection ?",
                                     Icon::Question, Buttons::YesNo) != Answer::No;
    if (hang_up) dialup_.HangUp();
  }
  dialup_.release_ras_library();
  if (!s.unattended_operation) windows_.show_exit_statistics(exit_statistics());
  stop_workers();
  ::unlink("temp.uue");
  windows_.close_window();
}

void Application::stop_workers() {
  if (workers_stopped_) return;
  workers_stopped_ = true;
  closed_ = true;
  // The session must be gone before anything it uses is destroyed: stop it, cut a blocking receive short,
  // and keep the window's events flowing while it finishes (it may be waiting for the window).
  state_.stop_requested = 1;
  state_.auto_reconnect = 0;
  int fd = state_.news_socket.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  while (session_running_) {
    windows_.process_events();
    ::usleep(10000);
  }
  if (session_.joinable()) session_.join();
  if (init_.joinable()) init_.join();
  dialup_.join_dial_threads();
}

}  // namespace fk
