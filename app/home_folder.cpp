// SPDX-License-Identifier: GPL-3.0-or-later
// The user's Fennick folder of a --home start.
#include "app/home_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "store/text_file.h"

namespace fk {

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// XDG base folders count only when absolute.
std::string absolute_or(const std::string& value, const std::string& fallback) {
  return !value.empty() && value.front() == '/' ? value : fallback;
}

// XDG_PICTURES_DIR from user-dirs.dirs: "$HOME/..." or an absolute path in double quotes.
std::string pictures_from_user_dirs(const std::string& file, const std::string& home) {
  LineReader reader(4096);
  if (!reader.open(file)) return {};
  std::string line, found;
  while (reader.next(line)) {
    std::string_view l = trim(line);
    constexpr std::string_view kKey = "XDG_PICTURES_DIR=";
    if (l.substr(0, kKey.size()) != kKey) continue;
    l.remove_prefix(kKey.size());
    if (l.size() < 2 || l.front() != '"' || l.back() != '"') continue;
    std::string value(l.substr(1, l.size() - 2));
    if (value.rfind("$HOME", 0) == 0)
      value = home + value.substr(5);
    else if (value.empty() || value.front() != '/')
      continue;
    found = value;
  }
  // Set to $HOME itself, the pictures folder is switched off: the link would land in $HOME.
  while (found.size() > 1 && found.back() == '/') found.pop_back();
  return found == home ? std::string() : found;
}

bool is_directory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

}  // namespace

HomeEnvironment HomeEnvironment::from_process() {
  HomeEnvironment env;
  env.home = environment("HOME");
  while (env.home.size() > 1 && env.home.back() == '/') env.home.pop_back();
  env.config_home = absolute_or(environment("XDG_CONFIG_HOME"), env.home + "/.config");
  env.data_home = absolute_or(environment("XDG_DATA_HOME"), env.home + "/.local/share");
  env.pictures = pictures_from_user_dirs(env.config_home + "/user-dirs.dirs", env.home);
  if (env.pictures.empty()) env.pictures = env.home + "/Pictures";
  return env;
}

std::string home_config_path(const HomeEnvironment& env) {
  return env.config_home + "/fennick/" + kHomeConfigName;
}

std::optional<std::string> remembered_home_folder(const HomeEnvironment& env) {
  LineReader reader(8192);
  if (!reader.open(home_config_path(env))) return std::nullopt;
  std::string line;
  std::optional<std::string> folder;
  while (reader.next(line)) {
    if (line.rfind("folder=", 0) != 0) continue;
    std::string value = line.substr(7);
    if (!value.empty() && value.front() == '/') folder = value;
  }
  return folder;
}

HomeChoice resolve_home_folder(const HomeEnvironment& env) {
  if (env.home.empty() || env.home.front() != '/') return {};
  if (auto folder = remembered_home_folder(env)) return {*folder, HomeSource::Remembered};
  if (readable_file(env.home + "/FENNICK.INI")) return {env.home, HomeSource::OldHome};
  return {env.data_home + "/fennick", HomeSource::DataFolder};
}

bool remember_home_folder(const HomeEnvironment& env, const std::string& folder, std::string& error) {
  if (folder.empty() || folder.front() != '/' || folder.find_first_of("\r\n") != std::string::npos) {
    error = "The folder name cannot be remembered: it must be an absolute path on one line.";
    return false;
  }
  const std::string path = home_config_path(env);
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (ec || !replace_file(path, "# The folder of Fennick's files when started with --home.\nfolder=" + folder + "\n")) {
    error = "Fennick cannot write " + path + (ec ? " (" + ec.message() + ")." : ".");
    return false;
  }
  return true;
}

std::string pictures_link_path(const HomeEnvironment& env) { return env.pictures + "/Fennick"; }

PreparedHome prepare_home_folder(const HomeEnvironment& env, const HomeChoice& choice) {
  PreparedHome result;
  if (choice.folder.empty()) {
    result.error = "Fennick cannot find its folder: HOME is not set to an absolute path.";
    return result;
  }
  if (choice.source == HomeSource::OldHome) {
    result.ok = true;
    result.note = "Using the FENNICK.INI in the home folder " + env.home +
                  ": Fennick's files stay there (" + home_config_path(env) + " may name another folder)";
    return result;
  }
  std::error_code ec;
  if (!is_directory(choice.folder)) {
    if (choice.source == HomeSource::Remembered) {
      // A folder on a drive that is not mounted must not be made on the mount point.
      result.error = "The folder " + choice.folder + " named in " + home_config_path(env) +
                     " does not exist. Connect its drive, or remove that file to use " + env.data_home +
                     "/fennick.";
      return result;
    }
    fs::create_directories(choice.folder, ec);
    if (ec) {
      result.error = "Fennick cannot create its folder " + choice.folder + " (" + ec.message() + ").";
      return result;
    }
    // Its FENNICK.INI holds passwords.
    ::chmod(choice.folder.c_str(), 0700);
    result.note = "Created the folder " + choice.folder + " for Fennick's files";
  }
  result.ok = true;
  const std::string pictures = choice.folder + "/pictures";
  if (is_directory(pictures)) return result;
  fs::create_directory(pictures, ec);
  // The first use of this folder: its pictures appear among the user's pictures.
  const std::string link = pictures_link_path(env);
  fs::create_directories(env.pictures, ec);
  if (fs::symlink_status(link, ec).type() == fs::file_type::not_found) {
    fs::create_directory_symlink(pictures, link, ec);
    const std::string what = ec ? "could not link " + link + " to " + pictures + " (" + ec.message() + ")"
                                : "pictures also appear under " + link;
    result.note += (result.note.empty() ? "" : "; ") + what;
  }
  return result;
}

HomeStart enter_home_folder(const HomeEnvironment& env, const AskHomeFolder& ask) {
  HomeStart start;
  HomeChoice choice = resolve_home_folder(env);
  if (ask && !choice.folder.empty() && choice.source == HomeSource::DataFolder) {
    const std::optional<std::string> answer = ask(choice.folder, pictures_link_path(env));
    if (!answer) {
      start.status = 0;
      return start;
    }
    if (!remember_home_folder(env, *answer, start.error)) {
      start.status = 1;
      return start;
    }
    if (*answer != choice.folder) choice = {*answer, HomeSource::Chosen};
  }
  const PreparedHome prepared = prepare_home_folder(env, choice);
  if (!prepared.ok) {
    start.status = 1;
    start.error = prepared.error;
    return start;
  }
  if (::chdir(choice.folder.c_str()) != 0) {
    start.status = 1;
    start.error = "Fennick cannot use its folder " + choice.folder + " (" + std::strerror(errno) + ").";
    return start;
  }
  start.note = prepared.note;
  return start;
}

}  // namespace fk
