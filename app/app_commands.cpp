// SPDX-License-Identifier: GPL-3.0-or-later
// The window's commands.
#include "app/app_commands.h"

#include <algorithm>

#include "store/profile_file.h"
#include "store/text_file.h"

namespace fk {

namespace {

// The author of a pending row as the blacklist keeps it: trimmed and lower case.
std::string author_as_blacklisted(std::string_view row) { return to_lower(trim(pending_author(row))); }

constexpr const char* kMaxTimeText =
    "You have the maximum running time\noption enabled on the setup\\connection\nscreen and the specified "
    "duration has\nexpired. To Connect to the network again,\neither increase the the max running time,\nset the "
    "time to zero, or close the program\nand restart it.";

}  // namespace

AppCommands::AppCommands(const AppObjects& objects, PendingQueue& pending, const std::string& ini_path,
                         DeferredActions& later)
    : AppObjects(objects), pending_(pending), ini_path_(ini_path), later_(later) {}

void AppCommands::start() {
  log_.log_status("Connect Button Pushed", 0);
  state_.reason_shown = 0;
  view_.set_enabled(ControlId::StartButton, false);
  state_.auto_reconnect = 1;
  state_.stop_requested = 0;
  view_.set_enabled(ControlId::StopButton, true);
  Settings s = settings_.get();
  if (refuse_unusable_setup(s) || !internet_connection_ready(s) || refuse_after_running_time(s)) return;
  if (state_.connection_busy() || session_.running()) {
    dialogs_.beep(Beep::Question);
    return;
  }
  session_.launch();
}

bool AppCommands::refuse_unusable_setup(const Settings& s) {
  // A port that cannot be used would fail every connect for ever; an empty server name keeps its own
  // handling (the resolver's message).
  std::string problem = connection_setting_problem(s);
  if (problem.empty() || s.news_server.empty()) return false;
  log_.log_status("Invalid Setup: " + problem, 0);
  if (!s.unattended_operation)
    dialogs_.message_box("Fennick cannot connect: " + problem + ".", "Invalid Setup", Icon::Error, Buttons::Ok);
  view_.set_text(ControlId::ConnectionStatus, "Nobody...Invalid Setup: " + problem);
  state_.reason_shown = 1;
  view_.set_enabled(ControlId::StartButton, true);
  return true;
}

bool AppCommands::internet_connection_ready(const Settings& s) {
  if (!s.check_dialup) {
    log_.log_status("Using Direct Internet Connection", 1);
    return true;
  }
  log_.log_status("Using Dialup Internet Connection", 1);
  if (dialup_.check_ras_connection() != 0) return true;
  // Without NetworkManager the option has just been switched off: the next Start connects directly.
  const bool dialup_gone = settings_.read([](const Settings& now) { return now.check_dialup == 0; });
  view_.set_text(ControlId::ConnectionStatus,
                 dialup_gone ? "Nobody...Dial-up Not Available (no NetworkManager)... Start Again To Connect Directly"
                             : "Nobody...No Internet Connection... will retry in a Minute");
  state_.reason_shown = 1;
  log_.log_status("No Active Dialup Internet Connection Found", 1);
  if (s.sound_on) dialogs_.beep(Beep::Information);
  // The window keeps painting during the 2.5 s before Start comes back.
  later_.add(clock_.uptime_ms() + 2500, [this] { view_.set_enabled(ControlId::StartButton, true); });
  return false;
}

bool AppCommands::refuse_after_running_time(const Settings& s) {
  // A schedule runs for days; its notes promise that the running-time limit does not apply to it.
  if (s.max_connecttime <= 0 || s.scheduler_active() || clock_.uptime_ms() / 1000 / 60 < s.max_connecttime)
    return false;
  dialogs_.message_box(kMaxTimeText, "Maximum Running Time Expired", Icon::Error, Buttons::Ok);
  dialogs_.beep(Beep::Information);
  view_.set_text(ControlId::ConnectionStatus, "Nobody...Maximum Running Time Expired");
  state_.reason_shown = 1;
  view_.set_enabled(ControlId::StartButton, true);
  return true;
}

void AppCommands::stop() {
  log_.log_status("Stop Button Pushed", 0);
  state_.stop_requested = 1;
  state_.auto_reconnect = 0;
  view_.set_enabled(ControlId::StopButton, false);
  view_.set_text(ControlId::ConnectionStatus, "Nobody...Stop Pressed");
  if (settings_.read([](const Settings& s) { return s.scheduler_active(); })) dialup_.HangUp();
}

void AppCommands::setup() {
  log_.log_status("Setup Button Pushed", 0);
  state_.reason_shown = 0;
  if (windows_.run_setup_sheet()) save_settings(ProfileFile(ini_path_), settings_.get(), log_);
}

void AppCommands::groups() {
  log_.log_status("Groups Button Pushed", 0);
  view_.set_enabled(ControlId::NewsGroupsButton, false);
  windows_.run_groups_dialog();
  view_.set_enabled(ControlId::NewsGroupsButton, true);
}

void AppCommands::skip_group() {
  log_.log_status("Skip Group Button Pushed", 0);
  // After the session, the rows left in the list belong to no group being scanned.
  if (pending_.count() > 0 && !session_.running()) {
    dialogs_.beep(Beep::Exclamation);
    return;
  }
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

std::optional<std::size_t> AppCommands::resolve_pending(const std::optional<RowRef>& selected) const {
  if (!selected) return std::nullopt;
  // The session may have taken rows off the top since the user clicked: follow the row's text.
  auto rows = pending_.rows();
  if (selected->index < rows.size() && rows[selected->index] == selected->text) return selected->index;
  auto it = std::find(rows.begin(), rows.end(), selected->text);
  if (it == rows.end()) return std::nullopt;
  return static_cast<std::size_t>(it - rows.begin());
}

void AppCommands::set_pending_caption() {
  view_.set_text(ControlId::PendingBox, std::to_string(static_cast<int>(pending_.count())) + " Pending Downloads");
}

void AppCommands::bozo(std::optional<RowRef> selected) {
  log_.log_status("Bozo Button Pushed", 0);
  if (!selected) {
    if (windows_.run_bozo_dialog())
      histories_.blacklist.load_history(settings_.read([](const Settings& s) { return s.max_blacklist; }), log_);
    return;
  }
  ask_and_blacklist(author_as_blacklisted(selected->text));
}

bool AppCommands::blacklist_author(std::string_view author) {
  log_.log_status("Blacklist Author Chosen In Pictures", 0);
  const std::string kept = to_lower(trim(author));
  // An empty author would match every row without an author column.
  if (kept.empty()) return false;
  return ask_and_blacklist(kept);
}

bool AppCommands::ask_and_blacklist(const std::string& author) {
  if (dialogs_.message_box("Do You Wish To Ignore All Further\nArticles Posted By This Author?\n\n" + author,
                           "Bozo Bucket - The Author Blacklist", Icon::Question, Buttons::OkCancel) != Answer::Ok)
    return false;
  HistoryBuffer& blacklist = histories_.blacklist;
  if (!blacklist.contains_exact(author)) {
    if (blacklist.add_at_top(author, settings_.read([](const Settings& s) { return s.max_blacklist; })))
      log_.log_status("Author Added To Blacklist: " + author, 1);
  }
  pending_.remove_if([&](std::string_view row) { return author_as_blacklisted(row) == author; });
  set_pending_caption();
  return true;
}

void AppCommands::download_next(std::optional<RowRef> selected) {
  log_.log_status("Download Next Button Pushed", 0);
  auto index = resolve_pending(selected);
  if (!index || *index < 2 || !pending_.move_to_next(*index)) {
    dialogs_.message_box(
        "This button moves the currently highlighted\narticle in the pending downloads listbox to\nnear the top of "
        "the listbox. This will result\nin the article being downloaded next.",
        "No or Invalid Article Selected", Icon::Information, Buttons::Ok);
  }
}

void AppCommands::remove_pending(std::optional<RowRef> selected) {
  if (auto index = resolve_pending(selected)) pending_.remove(*index);
  set_pending_caption();
}

HistoryBuffer* AppCommands::history_for(ControlId list) {
  switch (list) {
    case ControlId::ArticleIdList: return &histories_.article_ids;
    case ControlId::FilenamesList: return &histories_.filenames;
    case ControlId::BlacklistList: return &histories_.blacklist;
    default: return nullptr;
  }
}

void AppCommands::remove_history(ControlId list, std::optional<RowRef> selected) {
  HistoryBuffer* buffer = history_for(list);
  if (!buffer || !selected) return;
  if (!buffer->remove_at(selected->index, selected->text)) {
    auto entries = buffer->entries();
    auto it = std::find(entries.begin(), entries.end(), selected->text);
    if (it != entries.end()) buffer->remove_at(static_cast<std::size_t>(it - entries.begin()), selected->text);
  }
}

}  // namespace fk
