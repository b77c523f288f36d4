#pragma once
// The windows the core opens: the exit statistics dialog and closing the status window here; the setup
// sheet, the groups dialog and the blacklist dialog come in as callbacks.

#include <functional>

#include "app/commands.h"

namespace fk {

class StatusWindow;

class QtAppWindows : public AppWindows {
 public:
  struct OtherWindows {
    std::function<bool()> setup_sheet;  // true when left with OK
    std::function<void()> groups_dialog;
    std::function<bool()> bozo_dialog;  // true when left with OK
  };

  // The window must outlive this object. Missing callbacks act as a dialog left with Cancel.
  explicit QtAppWindows(StatusWindow& window, OtherWindows others = {});

  bool run_setup_sheet() override;
  void run_groups_dialog() override;
  bool run_bozo_dialog() override;
  // Modal over the status window; returns when the user has pressed OK.
  void show_exit_statistics(const ExitStatistics& stats) override;
  // Stops the tick and closes the status window (and with it the program's event loop).
  void close_window() override;

 private:
  StatusWindow& window_;
  OtherWindows others_;
};

}  // namespace fk
