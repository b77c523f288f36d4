// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dial-up service the connection manager drives: list, ask, dial, hang up.

#include <string>
#include <vector>

namespace fk {

// The service's operations, as the manager checks for them before it uses one.
enum DialupOperation : unsigned {
  kOpDial = 1u << 0,
  kOpErrorText = 1u << 1,
  kOpConnectStatus = 1u << 2,
  kOpEnumConnections = 1u << 3,
  kOpHangUp = 1u << 4,
  kOpAll = kOpDial | kOpErrorText | kOpConnectStatus | kOpEnumConnections | kOpHangUp,
};

// What a call can fail with; error_text() gives each a sentence.
enum class DialupError {
  None,
  InvalidHandle,  // the connection does not exist (any more)
  NotRunning,     // the service does not answer
  NoSuchEntry,    // no connection profile of that name
  NotDialup,      // the profile is not a dial-up connection
  ActivationFailed,
  DeactivationFailed,
  ServiceTimeout,  // the service gave up waiting itself
  NoAnswer,        // the helper did not answer in time and was stopped
  OutputTooLarge,
  UnreadableOutput,
  CannotRun,
  Cancelled,
  UnusableSecret,  // user name or password that cannot be handed over
  SecretFile,      // the private password file could not be written
  Failed,          // any other failure the service reported
};

enum class ConnectionState { Connected, Connecting, Disconnecting, Disconnected };

struct ActiveConnection {
  std::string handle;       // stable id of the connection while it exists
  std::string entry_name;   // the name it is dialled by
  std::string device_type;  // gsm, cdma, pppoe or bluetooth
  std::string device_name;  // the interface or modem it runs on
  ConnectionState state = ConnectionState::Disconnected;
};

struct ConnectionList {
  DialupError error = DialupError::None;
  std::vector<ActiveConnection> connections;  // empty unless error is None
};

struct ConnectionStatus {
  DialupError error = DialupError::None;  // InvalidHandle once the connection is gone
  ConnectionState state = ConnectionState::Disconnected;
};

struct DialResult {
  DialupError error = DialupError::None;
  std::string handle;         // empty when the dial failed
  bool user_restored = true;  // false when a temporary user-name change could not be undone
};

// Whether the service is there, and which operations it offers.
struct DialupProbe {
  bool present = false;
  unsigned operations = 0;
  std::string detail;  // why it is missing or incomplete, for the log
};

// Every call may block (the dial for as long as dialling takes) and may be made from any thread.
class DialupService {
 public:
  virtual ~DialupService() = default;
  virtual DialupProbe probe() = 0;
  // The active dial-up connections, in the service's order.
  virtual ConnectionList list_active() = 0;
  virtual ConnectionStatus connection_status(const std::string& handle) = 0;
  virtual std::string error_text(DialupError error) const = 0;
  // Dials the named entry with this user name and password (for this dial only; either may be empty
  // to keep the entry's own). Returns when the connection is up or the dial has failed.
  virtual DialResult dial(const std::string& entry_name, const std::string& user,
                          const std::string& password) = 0;
  // Starts ending the connection; InvalidHandle when it no longer exists.
  virtual DialupError hang_up(const std::string& handle) = 0;
  // While on, calls in progress end soon with Cancelled and new ones fail at once (program exit).
  virtual void set_cancelled(bool on) = 0;
};

}  // namespace fk
