// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and Close.
#include "app/lifecycle.h"

#include <unistd.h>

#include <vector>

#include "app/first_start.h"
#include "decode/decoders.h"
#include "store/newsrc.h"
#include "store/profile_file.h"
#include "store/text_file.h"

namespace fk {

std::string banner_line() { return "Fennick " FK_VERSION " - Usenet Picture Harvester"; }

std::string licence_lines() {
  return "Licence: GNU General Public License, version 3 or later (GPL-3.0-or-later).\n"
         "This is free software: you may change and share it. There is NO WARRANTY, to the extent permitted by law.";
}

Lifecycle::Lifecycle(const AppObjects& objects, std::string& ini_path, StatusCommands& commands)
    : AppObjects(objects), ini_path_(ini_path), commands_(commands) {}

Lifecycle::~Lifecycle() {
  if (init_.joinable()) init_.join();
}

void Lifecycle::start_up() {
  log_.start_new_run();
  const bool settings_file_found = locate_settings_file(ini_path_);
  Settings s;
  ArchiveCounters archive;
  // Logged after the banner and outside every lock.
  const std::vector<std::string> setting_notes = load_settings(ProfileFile(ini_path_), s, archive);
  if (force_unattended_) s.unattended_operation = 1;
  // A new user in the window is led through one welcome flow instead of three boxes; dial-up is rare
  // now, so it starts off there, and the modern server kind is preselected.
  const bool welcome = !settings_file_found && !s.unattended_operation && windows_.offers_welcome();
  if (welcome) {
    s.check_dialup = 0;
    apply_server_kind(s, ServerKind::Modern);
  }
  settings_.set(s);
  state_.set_archive(archive);
  state_.group_index = 1;
  state_.subscribed_groups = 0;
  state_.connection_attempts = 0;
  state_.subscribed_groups = count_subscribed_groups();
  if (state_.subscribed_groups < 1 && !welcome) {
    log_.log_status("Invalid Setup: no subscribed news groups", 0);
    dialogs_.message_box(
        "You do not have any subscribed news groups\nPlease use the groups/refresh buttons to \nsubscribe to groups "
        "that you wish to scan for pictures.",
        "Fennick -- No News Groups Subscribed", Icon::Error, Buttons::Ok);
  }
  state_.unknown_format_count = 0;
  log_.log_status(banner_line(), 0);
  log_.log_status("Finished Reading .ini File", 0);
  for (const std::string& note : start_notes_) log_.log_status(note, 0);
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
  if (!settings_file_found) {
    log_.log_status("Invalid Setup: No .ini file found... creating new one", 0);
    if (welcome) {
      run_welcome();
    } else {
      dialogs_.message_box("Please Configure Your News Server Address", "No Setup Information Found", Icon::Warning,
                           Buttons::Ok);
      commands_.setup();
    }
  }
  view_.set_enabled(ControlId::StartButton, false);
  view_.set_enabled(ControlId::StopButton, false);
  log_.log_status("Starting Initialization Thread", 0);
  init_ = std::thread([this] { init_thread(); });
}

// The setup sheet, then (after OK, with FENNICK.INI written) the groups dialog fetching the server's list.
void Lifecycle::run_welcome() {
  log_.log_status("Welcome: first start in this folder", 0);
  if (!windows_.run_welcome_sheet()) {
    log_.log_status("Welcome: setup left without saving", 0);
    return;
  }
  save_settings(ProfileFile(ini_path_), settings_.get(), log_);
  windows_.run_groups_dialog_refreshing();
}

void Lifecycle::init_thread() {
  Settings s = settings_.get();
  log_.log_status("Reading In Bozos History...", 0);
  histories_.blacklist.load_history(s.max_blacklist, log_);
  log_.log_status("Reading In Article ID's History...", 0);
  histories_.article_ids.load_history(s.max_history, log_);
  log_.log_status("Reading In Filenames History...", 0);
  histories_.filenames.load_history(s.max_filenames, log_);
  view_.set_enabled(ControlId::StartButton, true);
  view_.set_text(ControlId::ConnectionStatus, "Nobody");
  s = settings_.get();
  const bool unattended_start = s.unattended_operation && !s.scheduler_active();
  if (unattended_start) log_.log_status("Running In Unattended Mode", 0);
  if (unattended_start || (start_when_ready_ && !s.scheduler_active())) {
    if (!s.fast_transfers) clock_.sleep_ms(1000);  // the classic pause; fast mode has none
    if (!closed_) view_.post_command(Command::Start);
  }
  if (s.scheduler_active()) log_.log_status("Running With Scheduler Active", 0);
  initialised_ = true;
}

ExitStatistics Lifecycle::exit_statistics() const {
  ArchiveCounters a = state_.archive();
  return {static_cast<std::uint32_t>(a.connections), static_cast<std::uint32_t>(a.tot_time) / 60,
          static_cast<std::uint32_t>(a.tot_articles), static_cast<std::uint32_t>(a.pic_count)};
}

void Lifecycle::close() {
  if (closed_.exchange(true)) return;
  save_history_statistics(ProfileFile(ini_path_), state_.archive());
  keep_settings_file_private(ProfileFile(ini_path_), log_);
  const Settings s = settings_.get();
  if (s.check_dialup) ask_hang_up(s);
  dialup_.release_ras_library();
  if (!s.unattended_operation) windows_.show_exit_statistics(exit_statistics());
  stop_workers();
  ::unlink("temp.uue");
  windows_.close_window();
}

// Hangs up unless the user, asked while a dial-up connection is open, says No.
void Lifecycle::ask_hang_up(const Settings& s) {
  bool hang_up = true;
  if (!s.unattended_operation && dialup_.connection_open())
    hang_up = dialogs_.message_box("Would You Like To Disconnect From The Internet?", "Hangup Connection ?",
                                   Icon::Question, Buttons::YesNo) != Answer::No;
  if (hang_up) dialup_.HangUp();
}

void Lifecycle::stop_workers() {
  if (workers_stopped_) return;
  workers_stopped_ = true;
  closed_ = true;
  // The session must be gone before anything it uses is destroyed.
  session_.stop_and_join(windows_);
  if (init_.joinable()) init_.join();
  dialup_.join_dial_threads();
}

}  // namespace fk
