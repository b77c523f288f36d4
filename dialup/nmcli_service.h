// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dial-up service on NetworkManager, through its command-line client nmcli.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dialup/dialup_service.h"
#include "dialup/process_runner.h"

namespace fk {

struct NmcliOptions {
  std::string program = "nmcli";           // looked up on the PATH
  std::int64_t query_timeout_ms = 5000;    // listing, details, help
  std::int64_t change_timeout_ms = 15000;  // hang-up and the temporary user-name change
  int activation_wait_s = 90;              // nmcli's own wait for a dial; we allow 15 s more
  std::size_t max_output = 1 << 20;
};

// Dial-up connections are the active ones of types gsm, cdma, pppoe and bluetooth; a connection's
// handle is its profile UUID. Dialling hands the password over in a private passwd-file, never on a
// command line. A user name that differs from the profile's is set with "modify --temporary" (memory
// only, never written to the saved profile) and put back after the dial.
class NmcliService final : public DialupService {
 public:
  explicit NmcliService(NmcliOptions options = {});

  DialupProbe probe() override;
  ConnectionList list_active() override;
  ConnectionStatus connection_status(const std::string& handle) override;
  std::string error_text(DialupError error) const override;
  DialResult dial(const std::string& entry_name, const std::string& user,
                  const std::string& password) override;
  DialupError hang_up(const std::string& handle) override;
  void set_cancelled(bool on) override { cancelled_ = on; }

 private:
  struct Listing {
    DialupError error = DialupError::None;
    std::vector<ActiveConnection> rows;  // every active connection, of any type
  };
  Listing list_all_active();
  ProcessResult run(std::vector<std::string> args, std::int64_t timeout_ms, bool cancellable = true);
  std::string program_path();

  NmcliOptions options_;
  std::atomic<bool> cancelled_{false};
  std::mutex path_mutex_;
  std::string path_;
};

// True for the connection types that count as dial-up.
bool is_dialup_type(std::string_view type);

// A password as a passwd-file value: backslashes, control characters, DEL and spaces written as
// octal escapes, so that nothing is cut or stripped on the way.
std::string escape_passwd_value(std::string_view secret);

// The failure a finished nmcli call stands for (None for exit status 0).
DialupError nmcli_error(const ProcessResult& result);

}  // namespace fk
