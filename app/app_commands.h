// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status window's buttons and double-clicks: Start, STOP, Setup, Groups, Skip Group, Bozo, D/L Next
// and the removals from the lists. Close and the tick live elsewhere (lifecycle.h, ticker.h).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "app/app_objects.h"
#include "app/commands.h"
#include "app/deferred_actions.h"
#include "session/pending_queue.h"

namespace fk {

class AppCommands : private AppObjects {
 public:
  AppCommands(const AppObjects& objects, PendingQueue& pending, const std::string& ini_path, DeferredActions& later);

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

  PendingQueue& pending_;
  const std::string& ini_path_;
  DeferredActions& later_;
};

}  // namespace fk
