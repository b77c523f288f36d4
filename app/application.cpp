// SPDX-License-Identifier: GPL-3.0-or-later
// The application core: the subsystems, and the parts composed over them.
#include "app/application.h"

namespace fk {

namespace {

std::string settings_path() {
  std::string path;
  locate_settings_file(path);
  return path;
}

}  // namespace

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
      lifecycle_(objects(), ini_path_, *this),
      commands_(objects(), pending_, ini_path_, later_),
      ticker_(view_, dialogs_, clock_, settings_, state_, log_, {article_ids_, filenames_, blacklist_}, session_,
              *this, later_) {
  view_.on_harvest = [this](std::int64_t pictures, int groups) {
    if (settings_.read([](const Settings& s) { return s.notify != 0; })) windows_.harvest_finished(pictures, groups);
  };
}

AppObjects Application::objects() {
  return {view_, dialogs_, windows_, clock_, settings_, state_, log_, {article_ids_, filenames_, blacklist_},
          dialup_, session_};
}

// The session must be gone before anything it uses is destroyed.
Application::~Application() { lifecycle_.stop_workers(); }

void Application::start_up() { lifecycle_.start_up(); }

// After Close a command or tick still queued in the window does nothing.
void Application::start() {
  if (!lifecycle_.closed()) commands_.start();
}
void Application::stop() { commands_.stop(); }
void Application::setup() { commands_.setup(); }
void Application::groups() { commands_.groups(); }
void Application::skip_group() { commands_.skip_group(); }
void Application::bozo(std::optional<RowRef> selected) { commands_.bozo(std::move(selected)); }
void Application::download_next(std::optional<RowRef> selected) { commands_.download_next(std::move(selected)); }
void Application::remove_pending(std::optional<RowRef> selected) { commands_.remove_pending(std::move(selected)); }
void Application::remove_history(ControlId list, std::optional<RowRef> selected) {
  commands_.remove_history(list, std::move(selected));
}
bool Application::blacklist_author(std::string_view author) { return commands_.blacklist_author(author); }
void Application::close() { lifecycle_.close(); }
void Application::tick() {
  if (!lifecycle_.closed()) ticker_.tick();
}

}  // namespace fk
