// SPDX-License-Identifier: GPL-3.0-or-later
// The dial-up connection manager: load, check, dial on its own thread, hang up.
#include "dialup/dialup_manager.h"

#include <system_error>
#include <thread>

#include "store/profile_file.h"

namespace fk {

namespace {

constexpr const char* kUnableToLoadLog =
    "Dial-up unavailable: NetworkManager (nmcli) was not found ... \n"
    " - If you are using a direct internet connection .. no problem,\n"
    "   open Setup, page Connection, and untick \"Use Dialup Internet Connection\".\n"
    " - If you use a modem to dial the Internet, set up a dial-up connection\n"
    "   in NetworkManager before using this option.";
constexpr const char* kUnableToLoadBox =
    "NetworkManager was not found, or it has no dial-up connection.\n"
    " - If you use a direct internet connection: open Setup, page Connection, and untick\n"
    "   \"Use Dialup Internet Connection\".\n"
    " - If you use a modem: set up a dial-up (mobile broadband or PPP) connection in NetworkManager.";

constexpr const char* kSection = "COMM";
constexpr const char* kEntryKey = "phone_book_entry";
constexpr std::size_t kEntryBuffer = 256;  // at most 255 characters

}  // namespace

struct DialupManager::DialWorker {
  std::thread thread;
  std::atomic<bool> finished{false};
};

DialupManager::DialupManager(SharedSettings& settings, SessionState& state, const StatusLog& log, View& view,
                             Dialogs& dialogs, Clock& clock, std::string ini_path, DialupService& service,
                             DialupManagerOptions options)
    : settings_(settings),
      state_(state),
      log_(log),
      view_(view),
      dialogs_(dialogs),
      clock_(clock),
      ini_path_(std::move(ini_path)),
      service_(service),
      options_(options) {}

DialupManager::~DialupManager() {
  release_ras_library();
}

bool DialupManager::check_dialup() const {
  return settings_.read([](const Settings& s) { return s.check_dialup != 0; });
}

void DialupManager::switch_dialup_off() {
  settings_.update([](Settings& s) { s.check_dialup = 0; });
}

std::string DialupManager::handle() const {
  std::lock_guard lock(handle_mutex_);
  return handle_;
}

void DialupManager::set_handle(std::string handle) {
  std::lock_guard lock(handle_mutex_);
  handle_ = std::move(handle);
}

bool DialupManager::connection_open() const {
  return !handle().empty();
}

int DialupManager::load_ras_library() {
  if (!check_dialup()) return 0;
  DialupProbe probe = service_.probe();
  if (!probe.present) {
    log_.log_status(kUnableToLoadLog, 0);
    if (!probe.detail.empty()) log_.log_status(probe.detail, 1);
    dialogs_.message_box(kUnableToLoadBox, "Fennick -- Dial-up Unavailable", Icon::Warning,
                         Buttons::Ok);
    return 0;
  }
  loaded_ = true;
  operations_ = probe.operations & kOpAll;
  if (has(kOpAll)) {
    log_.log_status("Dial-up through NetworkManager is available", 0);
    return 1;
  }
  log_.log_status("NetworkManager (nmcli) lacks the dial-up operations Fennick needs", 0);
  switch_dialup_off();
  dialogs_.message_box("This NetworkManager cannot check or dial a dial-up connection", "Fennick -- Dial-up Unavailable", Icon::Warning,
                       Buttons::Ok);
  return 0;
}

int DialupManager::check_ras_connection() {
  if (!has(kOpEnumConnections | kOpConnectStatus | kOpErrorText)) {
    switch_dialup_off();
    log_.log_status("Dial-up check without NetworkManager", 0);
    return 0;
  }
  ConnectionList list = service_.list_active();
  if (list.error != DialupError::None) {
    log_.log_status("Unknown answer from NetworkManager", 1);
    log_.log_status(service_.error_text(list.error), 2);
    return 0;
  }
  if (!list.connections.empty()) set_handle(list.connections.front().handle);
  ConnectionState conn_state = ConnectionState::Disconnected;
  if (std::string h = handle(); !h.empty()) {
    ConnectionStatus status = service_.connection_status(h);
    if (status.error == DialupError::None) conn_state = status.state;
  }

  if (!list.connections.empty() && conn_state == ConnectionState::Connected) {
    log_.log_status("Connection(s) found to the internet", 1);
    ConnectionList again = service_.list_active();
    if (again.error != DialupError::None) return 0;
    int count = static_cast<int>(again.connections.size());
    log_.log_status("Found " + std::to_string(count) + " Active Remote Access Connection(s)", 1);
    int i = 0;
    for (const auto& c : again.connections) {
      if (++i == 1) {
        log_.log_status("Saving active phonebook entry...", 1);
        ProfileFile(ini_path_).write_string(kSection, kEntryKey, c.entry_name);
      }
      log_.log_status("Connection " + std::to_string(i) + " to: " + c.entry_name + " via " + c.device_type +
                          " (" + c.device_name + ")",
                      1);
    }
    return count;
  }

  start_dial_thread();
  clock_.sleep_ms(1000);
  return 0;
}

void DialupManager::dial_thread() {
  // Claiming the dial is one step: a second thread either gets it whole or leaves it alone.
  int idle = 0;
  if (!dial_busy_.compare_exchange_strong(idle, 1)) {
    log_.log_status("Dial_Thread() Busy...", 1);
    return;
  }
  if (!has(kOpDial)) {
    dial_busy_ = 0;
    switch_dialup_off();
    log_.log_status("Call to dial_thread() with NULL ptr", 0);
    return;
  }

  std::string entry = ProfileFile(ini_path_).get_string(kSection, kEntryKey, "", kEntryBuffer);
  if (entry.empty()) {
    view_.set_text(ControlId::ConnectionStatus, "Please Use Dialup Networking To Call Your ISP");
    log_.log_status("No Phone Book Entry To Use To Dial Internet", 1);
  } else {
    log_.log_status("Attempting to Dial the Internet....", 1);
    view_.set_text(ControlId::ConnectionStatus, "Nobody... Attempting to Dial the Internet");
    auto [user, pass] = settings_.read([](const Settings& s) { return std::pair(s.isp_user, s.isp_pass); });

    HangUp();
    log_.log_status("Asking NetworkManager to dial...", 1);
    DialResult result = service_.dial(entry, user, pass);
    set_handle(result.handle);
    clock_.sleep_ms(1000);

    if (!result.user_restored) log_.log_status("The connection's own user name could not be put back", 2);
    if (result.handle.empty()) {
      view_.set_text(ControlId::ConnectionStatus, "Dialing failed");
      log_.log_status("Dialing failed", 1);
      log_.log_status(service_.error_text(result.error), 2);
    } else {
      ++state_.connection_attempts;
      view_.set_text(ControlId::ConnectionStatus, "Connection Established");
      log_.log_status("Dialing started.. got a connection", 1);
      view_.post_command(Command::Start);
    }
  }
  dial_busy_ = 0;
}

void DialupManager::HangUp() {
  if (!has(kOpHangUp | kOpConnectStatus)) {
    switch_dialup_off();
    log_.log_status("Hang-up without NetworkManager", 0);
    return;
  }
  std::string h = handle();
  if (!check_dialup() || h.empty()) return;

  log_.log_status("Requesting Hangup on the dial-up connection", 1);
  service_.hang_up(h);
  // A service that never reports the connection gone must not hold the program forever.
  const std::int64_t deadline = clock_.uptime_ms() + options_.hangup_bound_ms;
  bool gone = false;
  while (true) {
    if (service_.connection_status(h).error == DialupError::InvalidHandle) {
      gone = true;
      break;
    }
    if (clock_.uptime_ms() >= deadline) break;
    clock_.sleep_ms(options_.hangup_poll_ms);
  }
  {
    // A dial that finished meanwhile holds a new connection; that one stays.
    std::lock_guard lock(handle_mutex_);
    if (handle_ == h) handle_.clear();
  }
  if (gone)
    log_.log_status("Hangup on the dial-up connection complete", 1);
  else
    log_.log_status("Hangup on the dial-up connection not confirmed, giving up", 1);
}

void DialupManager::start_dial_thread() {
  {
    std::lock_guard lock(workers_mutex_);
    reap_finished_workers();
    auto worker = std::make_unique<DialWorker>();
    DialWorker* w = worker.get();
    try {
      w->thread = std::thread([this, w] {
        dial_thread();
        w->finished = true;
      });
      workers_.push_back(std::move(worker));
      return;
    } catch (const std::system_error&) {
    }
  }
  // Logged outside the lock: nothing runs under a lock that may wait for another.
  log_.log_status("Dial_Thread() could not be started", 1);
}

void DialupManager::reap_finished_workers() {
  std::erase_if(workers_, [](const std::unique_ptr<DialWorker>& w) {
    if (!w->finished) return false;
    w->thread.join();
    return true;
  });
}

void DialupManager::join_dial_threads() {
  std::vector<std::unique_ptr<DialWorker>> workers;
  {
    std::lock_guard lock(workers_mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers)
    if (w->thread.joinable()) w->thread.join();
}

void DialupManager::release_ras_library() {
  service_.set_cancelled(true);
  join_dial_threads();
  loaded_ = false;
  operations_ = 0;
  service_.set_cancelled(false);
}

}  // namespace fk
