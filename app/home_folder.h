// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's Fennick folder of a desktop or service start (--home): where it is, remembering a choice,
// and making it on the first start. Everything else works in the current folder or --dir.

#include <functional>
#include <optional>
#include <string>

namespace fk {

// What the folder depends on, read once from the process (tests fill it in themselves).
struct HomeEnvironment {
  std::string home;             // $HOME
  std::string config_home;      // $XDG_CONFIG_HOME, or $HOME/.config
  std::string data_home;        // $XDG_DATA_HOME, or $HOME/.local/share
  std::string pictures;         // XDG_PICTURES_DIR of user-dirs.dirs, or $HOME/Pictures

  static HomeEnvironment from_process();
};

enum class HomeSource {
  Remembered,  // named in fennick.conf
  OldHome,     // $HOME itself, which already holds a FENNICK.INI
  DataFolder,  // $XDG_DATA_HOME/fennick, nothing remembered yet: a desktop start offers a choice
  Chosen,      // picked by the user at the first desktop start
};

struct HomeChoice {
  std::string folder;  // absolute
  HomeSource source = HomeSource::DataFolder;
};

inline constexpr const char* kHomeConfigName = "fennick.conf";

// $XDG_CONFIG_HOME/fennick/fennick.conf.
std::string home_config_path(const HomeEnvironment& env);
// The folder remembered in fennick.conf, if any (an absolute path on a "folder=" line).
std::optional<std::string> remembered_home_folder(const HomeEnvironment& env);
// Where Fennick's files live; empty folder when $HOME is not an absolute path.
HomeChoice resolve_home_folder(const HomeEnvironment& env);
// Writes fennick.conf naming `folder`; false with a sentence in `error`.
bool remember_home_folder(const HomeEnvironment& env, const std::string& folder, std::string& error);

// The link among the user's pictures: <pictures>/Fennick.
std::string pictures_link_path(const HomeEnvironment& env);

// What prepare_home_folder did, for fk.log once the log is open.
struct PreparedHome {
  bool ok = false;
  std::string error;  // a sentence for the user when not ok
  std::string note;   // a line for fk.log, or empty
};

// Makes the folder ready: created with mode 0700 when missing, with pictures/ and the link to it among
// the user's pictures (an existing file of that name is left alone). $HOME itself only gets its note.
PreparedHome prepare_home_folder(const HomeEnvironment& env, const HomeChoice& choice);

// The first desktop start's question: the proposed folder and the pictures link in, the chosen folder
// out (nullopt: the user cancelled).
using AskHomeFolder = std::function<std::optional<std::string>(const std::string& proposed,
                                                               const std::string& pictures_link)>;

struct HomeStart {
  int status = -1;    // -1: go on in the folder; 0: the user cancelled; 1: see error
  std::string error;  // a sentence for the user
  std::string note;   // a line for fk.log, or empty
};

// Resolves the folder, asks `ask` (when given) if nothing is remembered yet and remembers the answer,
// prepares the folder and makes it the current directory.
HomeStart enter_home_folder(const HomeEnvironment& env, const AskHomeFolder& ask);

}  // namespace fk
