// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds, dials and hangs up the dial-up Internet connection before and after a scan.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dialup/dialup_service.h"
#include "session/session_state.h"
#include "session/view.h"
#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk {

struct DialupManagerOptions {
  // HangUp asks for the connection's state every poll_ms until it is gone, for at most bound_ms.
  std::int64_t hangup_bound_ms = 15000;
  std::int64_t hangup_poll_ms = 100;
};

// One per program. The entry to dial is learnt from a connection that is already up and kept as
// phone_book_entry in section COMM of the settings file. Nothing here acts while check_dialup is off.
class DialupManager {
 public:
  DialupManager(SharedSettings& settings, SessionState& state, const StatusLog& log, View& view,
                Dialogs& dialogs, Clock& clock, std::string ini_path, DialupService& service,
                DialupManagerOptions options = {});
  // Stops a dial in progress and waits for the dial threads.
  ~DialupManager();
  DialupManager(const DialupManager&) = delete;
  DialupManager& operator=(const DialupManager&) = delete;

  // Start-up: 1 when the service and all its operations are there; otherwise 0 after the log line and
  // message box (a missing operation also switches check_dialup off in memory).
  int load_ras_library();

  // Start command: the number of active dial-up connections (the first one's name is stored). With
  // none connected it starts dial_thread, waits 1000 ms and returns 0; 0 also on a service error.
  int check_ras_connection();

  // One dial of the stored entry; on success posts Start. Normally run by check_ras_connection on a
  // thread the manager owns; a call while another dial runs only logs "Dial_Thread() Busy...".
  void dial_thread();

  // Ends the open connection and returns once the service reports it gone (or the bound has passed).
  void HangUp();

  // Program exit: cancels a dial in progress, joins the dial threads and unloads the service.
  void release_ras_library();

  // Waits until no dial thread is running.
  void join_dial_threads();

  // A connection was found or dialled and not hung up since (Close asks about hanging up only then).
  bool connection_open() const;
  bool library_loaded() const { return loaded_.load(); }

 private:
  struct DialWorker;

  bool has(unsigned operations) const { return (operations_.load() & operations) == operations; }
  bool check_dialup() const;
  void switch_dialup_off();
  void start_dial_thread();
  void reap_finished_workers();
  std::string handle() const;
  void set_handle(std::string handle);

  SharedSettings& settings_;
  SessionState& state_;
  const StatusLog& log_;
  View& view_;
  Dialogs& dialogs_;
  Clock& clock_;
  std::string ini_path_;
  DialupService& service_;
  DialupManagerOptions options_;

  std::atomic<bool> loaded_{false};
  std::atomic<unsigned> operations_{0};  // what the service offers; 0 until loaded
  std::atomic<int> dial_busy_{0};
  mutable std::mutex handle_mutex_;
  std::string handle_;  // ras_connection; empty for none
  std::mutex workers_mutex_;
  std::vector<std::unique_ptr<DialWorker>> workers_;
};

}  // namespace fk
