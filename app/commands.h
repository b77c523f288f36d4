// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The interface between the status window and the application core: the window's commands go in through
// StatusCommands, the core opens the other windows through AppWindows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "session/view.h"

namespace fk {

// A row the user picked in one of the window's lists: its position and its text as the window showed it,
// so the core can tell when the list changed underneath (the session keeps working meanwhile).
struct RowRef {
  std::size_t index = 0;
  std::string text;
};

// What the exit statistics dialog shows: lifetime totals.
struct ExitStatistics {
  std::uint32_t sessions = 0;             // archive_connections
  std::uint32_t minutes = 0;              // archive_tot_time / 60
  std::uint32_t articles_examined = 0;    // archive_tot_articles
  std::uint32_t articles_downloaded = 0;  // archive_pic_count
};

// The window's commands. All are called on the window's thread, one at a time; posted commands
// (View::post_command) arrive here as start(), close() or stop() later, in order.
class StatusCommands {
 public:
  virtual ~StatusCommands() = default;
  virtual void start() = 0;                                   // "Start Fennicking"
  virtual void stop() = 0;                                    // "STOP !"
  virtual void setup() = 0;                                   // "Setup"
  virtual void groups() = 0;                                  // "News Groups"
  virtual void skip_group() = 0;                              // "Skip Group"
  virtual void bozo(std::optional<RowRef> selected) = 0;      // "Bozo Bucket"
  virtual void download_next(std::optional<RowRef> selected) = 0;  // "D/L Next"
  virtual void remove_pending(std::optional<RowRef> selected) = 0;  // double-click in the pending list
  // Double-click in ControlId::ArticleIdList, FilenamesList or BlacklistList.
  virtual void remove_history(ControlId list, std::optional<RowRef> selected) = 0;
  // "Close", and also the window manager's close button and Escape.
  virtual void close() = 0;
  // The one-second timer.
  virtual void tick() = 0;
  // Answers a command posted to the window: Start, Close or Stop.
  void run(Command c) {
    switch (c) {
      case Command::Start: start(); break;
      case Command::Close: close(); break;
      case Command::Stop: stop(); break;
    }
  }
};

// Windows the core opens, each modal on the window's thread.
class AppWindows {
 public:
  virtual ~AppWindows() = default;
  // The setup sheet "Fennick Setup"; true when left with OK.
  virtual bool run_setup_sheet() = 0;
  // The news groups dialog.
  virtual void run_groups_dialog() = 0;
  // "Bozo Bucket - Blacklist For Unwanted Authors"; true when left with OK (BOZOS.FNK then rewritten).
  virtual bool run_bozo_dialog() = 0;
  // Exit statistics "Thankyou For Using "Fennick"", shown on attended exit; returns when closed.
  virtual void show_exit_statistics(const ExitStatistics& stats) = 0;
  // A first start's welcome flow, where the front end has one (false: the classic boxes are shown).
  virtual bool offers_welcome() const { return false; }
  // The setup sheet on its Connection page with the choice of server kind (the modern one preselected
  // and already in the settings); true when left with OK.
  virtual bool run_welcome_sheet() { return run_setup_sheet(); }
  // The news groups dialog, fetching the server's list at once.
  virtual void run_groups_dialog_refreshing() { run_groups_dialog(); }
  // A session has ended that filed `pictures` new pictures in `groups` groups; the window tells the
  // desktop (called from the session's thread, only with [SCREEN] notify on).
  virtual void harvest_finished(std::int64_t /*pictures*/, int /*groups*/) {}
  // Ends the window (and with it the program) once the core's Close has done its steps.
  virtual void close_window() = 0;
  // Handles pending window events while the core waits for a worker to end, so that a worker waiting
  // for the window (a message box, say) can finish.
  virtual void process_events() {}
};

}  // namespace fk
