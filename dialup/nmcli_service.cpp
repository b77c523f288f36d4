// SPDX-License-Identifier: GPL-3.0-or-later
// NetworkManager through nmcli: terse listings, details, up, down and the private passwd-file.
#include "dialup/nmcli_service.h"

#include <cstdio>
#include <optional>

#include "dialup/private_file.h"
#include "dialup/terse.h"
#include "store/text.h"

namespace fk {

namespace {

constexpr std::string_view kDialupTypes[] = {"gsm", "cdma", "pppoe", "bluetooth"};

ConnectionState parse_state(std::string_view s) {
  if (s == "activated") return ConnectionState::Connected;
  if (s == "activating") return ConnectionState::Connecting;
  if (s == "deactivating") return ConnectionState::Disconnecting;
  return ConnectionState::Disconnected;
}

bool has_control(std::string_view s) {
  for (char c : s)
    if (is_control(c)) return true;
  return false;
}

// The settings of a profile that carry its dial-up user name and password. A Bluetooth dial-up
// profile keeps them in its gsm or cdma part.
std::vector<std::string> credential_settings(std::string_view type,
                                             const std::map<std::string, std::string>& props) {
  if (type != "bluetooth") return {std::string(type)};
  std::vector<std::string> out;
  for (const char* s : {"gsm", "cdma"}) {
    std::string prefix = std::string(s) + ".";
    auto it = props.lower_bound(prefix);
    if (it != props.end() && it->first.starts_with(prefix)) out.emplace_back(s);
  }
  return out;
}

}  // namespace

bool is_dialup_type(std::string_view type) {
  for (auto t : kDialupTypes)
    if (type == t) return true;
  return false;
}

std::string escape_passwd_value(std::string_view secret) {
  std::string out;
  out.reserve(secret.size());
  for (unsigned char c : secret) {
    if (c == '\\' || c == ' ' || is_control(static_cast<char>(c))) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

DialupError nmcli_error(const ProcessResult& r) {
  using O = ProcessResult::Outcome;
  switch (r.outcome) {
    case O::CannotStart:
      return DialupError::CannotRun;
    case O::TimedOut:
      return DialupError::NoAnswer;
    case O::TooMuchOutput:
      return DialupError::OutputTooLarge;
    case O::Cancelled:
      return DialupError::Cancelled;
    case O::Signalled:
      return DialupError::Failed;
    case O::Exited:
      break;
  }
  switch (r.exit_code) {
    case 0:
      return DialupError::None;
    case 3:
      return DialupError::ServiceTimeout;
    case 4:
      return DialupError::ActivationFailed;
    case 5:
      return DialupError::DeactivationFailed;
    case 8:
      return DialupError::NotRunning;
    case 10:
      return DialupError::NoSuchEntry;
    default:
      return DialupError::Failed;
  }
}

NmcliService::NmcliService(NmcliOptions options) : options_(std::move(options)) {}

std::string NmcliService::program_path() {
  std::lock_guard lock(path_mutex_);
  if (path_.empty()) path_ = find_program(options_.program);
  return path_;
}

ProcessResult NmcliService::run(std::vector<std::string> args, std::int64_t timeout_ms, bool cancellable) {
  std::string path = program_path();
  if (path.empty()) return {};
  args.insert(args.begin(), path);
  return run_process(args, {timeout_ms, options_.max_output}, cancellable ? &cancelled_ : nullptr);
}

DialupProbe NmcliService::probe() {
  DialupProbe probe;
  {
    // Looked up afresh: the probe is the moment nmcli may have been installed or removed.
    std::lock_guard lock(path_mutex_);
    path_ = find_program(options_.program);
  }
  if (program_path().empty()) {
    probe.detail = "nmcli was not found on the PATH";
    return probe;
  }
  ProcessResult running = run({"-t", "-f", "RUNNING", "general"}, options_.query_timeout_ms);
  auto lines = terse_lines(running.out);
  if (nmcli_error(running) != DialupError::None || lines.empty() || lines.front() != "running") {
    probe.detail = "NetworkManager is not running";
    // nmcli's own first line says why (no system bus, daemon stopped, ...).
    auto why = terse_lines(running.err);
    if (!why.empty()) probe.detail += ": " + std::string(why.front().substr(0, 200));
    return probe;
  }
  probe.present = true;
  probe.operations = kOpErrorText;
  // Older clients lack some of what we use; their usage text tells (nmcli prints it to stderr).
  ProcessResult help = run({"connection", "help"}, options_.query_timeout_ms);
  std::string usage = help.out + help.err;
  if (usage.find("show [--active]") != std::string::npos)
    probe.operations |= kOpEnumConnections | kOpConnectStatus;
  if (usage.find("down [") != std::string::npos) probe.operations |= kOpHangUp;
  if (usage.find("passwd-file") != std::string::npos &&
      usage.find("modify [--temporary]") != std::string::npos)
    probe.operations |= kOpDial;
  if (probe.operations != kOpAll) probe.detail = "nmcli lacks connection commands this program needs";
  return probe;
}

NmcliService::Listing NmcliService::list_all_active() {
  Listing listing;
  ProcessResult r = run({"-t", "-f", "NAME,UUID,TYPE,DEVICE,STATE", "connection", "show", "--active"},
                        options_.query_timeout_ms);
  listing.error = nmcli_error(r);
  if (listing.error != DialupError::None) return listing;
  for (std::string_view line : terse_lines(r.out)) {
    std::vector<std::string> f = split_terse_fields(line);
    if (f.size() == 6 && f[5].empty()) f.pop_back();
    if (f.size() != 5 || f[1].empty() || f[0].empty()) {
      listing.error = DialupError::UnreadableOutput;
      listing.rows.clear();
      return listing;
    }
    listing.rows.push_back({f[1], f[0], f[2], f[3], parse_state(f[4])});
  }
  return listing;
}

ConnectionList NmcliService::list_active() {
  Listing all = list_all_active();
  ConnectionList list;
  list.error = all.error;
  for (auto& row : all.rows)
    if (is_dialup_type(row.device_type)) list.connections.push_back(std::move(row));
  return list;
}

ConnectionStatus NmcliService::connection_status(const std::string& handle) {
  Listing all = list_all_active();
  if (all.error != DialupError::None) return {all.error, ConnectionState::Disconnected};
  for (const auto& row : all.rows)
    if (row.handle == handle) return {DialupError::None, row.state};
  return {DialupError::InvalidHandle, ConnectionState::Disconnected};
}

std::string NmcliService::error_text(DialupError error) const {
  switch (error) {
    case DialupError::None:
      return "No error";
    case DialupError::InvalidHandle:
      return "The connection does not exist";
    case DialupError::NotRunning:
      return "NetworkManager is not running";
    case DialupError::NoSuchEntry:
      return "There is no connection profile of that name";
    case DialupError::NotDialup:
      return "The connection profile is not a dial-up connection (gsm, cdma, pppoe, bluetooth)";
    case DialupError::ActivationFailed:
      return "NetworkManager could not bring the connection up";
    case DialupError::DeactivationFailed:
      return "NetworkManager could not take the connection down";
    case DialupError::ServiceTimeout:
      return "NetworkManager did not finish in time";
    case DialupError::NoAnswer:
      return "nmcli did not answer in time and was stopped";
    case DialupError::OutputTooLarge:
      return "nmcli gave far more output than expected";
    case DialupError::UnreadableOutput:
      return "nmcli gave output that could not be read";
    case DialupError::CannotRun:
      return "nmcli could not be started";
    case DialupError::Cancelled:
      return "The request was cancelled";
    case DialupError::UnusableSecret:
      return "The ISP user name or password contains characters that cannot be handed over";
    case DialupError::SecretFile:
      return "The private password file could not be written";
    case DialupError::Failed:
      return "nmcli reported an error";
  }
  return "Unknown error";
}

DialResult NmcliService::dial(const std::string& entry_name, const std::string& user,
                              const std::string& password) {
  DialResult result;
  auto fail = [&](DialupError e) {
    result.error = e;
    result.handle.clear();
    return result;
  };
  if (entry_name.empty()) return fail(DialupError::NoSuchEntry);
  // A NUL cannot travel in the passwd-file; a user name is an argument and must stay one line.
  if (password.find('\0') != std::string::npos || has_control(user)) return fail(DialupError::UnusableSecret);

  ProcessResult details = run({"-t", "connection", "show", "id", entry_name}, options_.query_timeout_ms);
  if (DialupError e = nmcli_error(details); e != DialupError::None) return fail(e);
  std::map<std::string, std::string> props;
  for (std::string_view line : terse_lines(details.out))
    if (auto p = split_terse_property(line)) props.emplace(std::string(p->name), std::string(p->value));
  auto type_it = props.find("connection.type");
  auto uuid_it = props.find("connection.uuid");
  if (type_it == props.end() || uuid_it == props.end() || uuid_it->second.empty())
    return fail(DialupError::UnreadableOutput);
  if (!is_dialup_type(type_it->second)) return fail(DialupError::NotDialup);
  std::vector<std::string> settings = credential_settings(type_it->second, props);

  // The user name for this dial only: a memory-only change, undone below whatever the outcome.
  std::string user_key, old_user;
  bool user_changed = false;
  if (!user.empty() && settings.size() == 1) {
    user_key = settings.front() + ".username";
    auto it = props.find(user_key);
    old_user = it == props.end() ? std::string() : it->second;
    if (old_user == "--") old_user.clear();  // how nmcli shows an unset value
    if (old_user != user) {
      ProcessResult mod = run({"connection", "modify", "--temporary", "id", entry_name, user_key, user},
                              options_.change_timeout_ms);
      if (DialupError e = nmcli_error(mod); e != DialupError::None) return fail(e);
      user_changed = true;
    }
  }

  std::vector<std::string> up = {
      "-t", "-w", std::to_string(options_.activation_wait_s), "connection", "up", "id", entry_name};
  std::optional<PrivateFile> secrets;
  if (!password.empty() && !settings.empty()) {
    std::string content;
    for (const auto& s : settings) content += s + ".password:" + escape_passwd_value(password) + "\n";
    secrets = PrivateFile::create("passwd", content);
    if (!secrets) result.error = DialupError::SecretFile;
  }
  if (result.error == DialupError::None) {
    if (secrets) {
      up.push_back("passwd-file");
      up.push_back(secrets->path());
    }
    ProcessResult r = run(up, options_.activation_wait_s * std::int64_t{1000} + 15000);
    secrets.reset();
    result.error = nmcli_error(r);
  }

  if (user_changed) {
    // Not cancellable: the borrowed user name must not outlast this dial.
    ProcessResult back = run({"connection", "modify", "--temporary", "id", entry_name, user_key, old_user},
                             options_.change_timeout_ms, false);
    result.user_restored = nmcli_error(back) == DialupError::None;
  }
  if (result.error == DialupError::None) result.handle = uuid_it->second;
  return result;
}

DialupError NmcliService::hang_up(const std::string& handle) {
  ProcessResult r = run({"-t", "-w", "10", "connection", "down", "uuid", handle}, options_.change_timeout_ms);
  DialupError e = nmcli_error(r);
  return e == DialupError::NoSuchEntry ? DialupError::InvalidHandle : e;
}

}  // namespace fk
