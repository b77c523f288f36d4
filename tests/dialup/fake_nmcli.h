// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Puts the scriptable fake nmcli first on the PATH of this test process and reads what it was asked.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace fk::test {

class FakeNmcli {
 public:
  // The state lives in `dir`; the fake answers as a running NetworkManager until set_running(false).
  explicit FakeNmcli(const std::filesystem::path& dir) : dir_(dir) {
    namespace fs = std::filesystem;
    fs::create_directories(dir_ / "bin");
    fs::create_directories(dir_ / "profiles");
    // From the source tree by absolute path: __FILE__ is relative when the build folder is inside it.
    fs::copy_file(fs::path(FK_TEST_DATA).parent_path() / "dialup" / "fake_nmcli.sh", dir_ / "bin" / "nmcli",
                  fs::copy_options::overwrite_existing);
    fs::permissions(dir_ / "bin" / "nmcli", fs::perms::owner_all);
    ::setenv("FAKE_NMCLI_DIR", dir_.c_str(), 1);
    const char* old = std::getenv("PATH");
    old_path_ = old ? old : "/usr/bin:/bin";
    std::string path = (dir_ / "bin").string() + ":" + old_path_;
    ::setenv("PATH", path.c_str(), 1);
    set_running(true);
  }
  ~FakeNmcli() {
    ::setenv("PATH", old_path_.c_str(), 1);
    ::unsetenv("FAKE_NMCLI_DIR");
  }
  FakeNmcli(const FakeNmcli&) = delete;
  FakeNmcli& operator=(const FakeNmcli&) = delete;

  void set_running(bool on) { flag("running", on); }
  // Files named in fake_nmcli.sh: "hang_show", "raw_active", "help", "release_up", ...
  void flag(const std::string& name, bool on, const std::string& content = "") {
    if (on)
      write_file(dir_ / name, content);
    else
      std::filesystem::remove(dir_ / name);
  }
  // A connection profile; `state` empty for an inactive one.
  void add_profile(const std::string& uuid, const std::string& name, const std::string& type,
                   const std::string& state = "", const std::string& device = "") {
    auto p = dir_ / "profiles" / uuid;
    std::filesystem::create_directories(p);
    write_file(p / "name", name);
    write_file(p / "type", type);
    if (!state.empty()) write_file(p / "state", state + "\n");
    if (!device.empty()) write_file(p / "device", device);
  }
  void profile_file(const std::string& uuid, const std::string& file, const std::string& content) {
    write_file(dir_ / "profiles" / uuid / file, content);
  }
  std::string profile_value(const std::string& uuid, const std::string& file) const {
    return read_file(dir_ / "profiles" / uuid / file);
  }
  bool active(const std::string& uuid) const { return fk::test::exists(dir_ / "profiles" / uuid / "state"); }

  // Every call's arguments, in order.
  std::vector<std::vector<std::string>> calls() const {
    std::vector<std::vector<std::string>> out;
    std::string log = read_file(dir_ / "calls.log");
    std::vector<std::string> call;
    std::string arg;
    for (char c : log) {
      if (c == '\037') {
        call.push_back(arg);
        arg.clear();
      } else if (c == '\n') {
        out.push_back(call);
        call.clear();
      } else {
        arg += c;
      }
    }
    return out;
  }
  // Calls whose arguments contain `word` (e.g. "up", "down", "--active").
  int count_calls(const std::string& word) const {
    int n = 0;
    for (const auto& c : calls())
      for (const auto& a : c)
        if (a == word) {
          ++n;
          break;
        }
    return n;
  }
  std::string passwd_log() const { return read_file(dir_ / "passwd.log"); }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string old_path_;
};

}  // namespace fk::test
