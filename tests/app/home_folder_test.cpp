// SPDX-License-Identifier: GPL-3.0-or-later
// The user's Fennick folder (--home): which folder, the first start's question, and the desktop start
// end to end in a fresh HOME and in one that already holds a FENNICK.INI.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "app/data_files.h"
#include "app/home_folder.h"
#include "common/child_process.h"
#include "common/temp_dir.h"

namespace fk::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The names directly in `dir`.
std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct HomeFolder : ::testing::Test {
  TempDir dir;
  fs::path home = dir.path() / "home";
  HomeEnvironment env;

  void SetUp() override {
    fs::create_directory(home);
    env.home = home.string();
    env.config_home = (home / ".config").string();
    env.data_home = (home / ".local/share").string();
    env.pictures = (home / "Pictures").string();
  }
  std::string data_folder() const { return env.data_home + "/fennick"; }
};

TEST_F(HomeFolder, ARememberedFolderWinsOverAnOldHomeWhichWinsOverTheDataFolder) {
  EXPECT_EQ(resolve_home_folder(env).folder, data_folder());
  EXPECT_EQ(resolve_home_folder(env).source, HomeSource::DataFolder);
  write_file(home / "FENNICK.INI", "[COMM]\n");
  EXPECT_EQ(resolve_home_folder(env).folder, env.home);
  EXPECT_EQ(resolve_home_folder(env).source, HomeSource::OldHome);
  std::string error;
  ASSERT_TRUE(remember_home_folder(env, "/srv/pictures", error)) << error;
  EXPECT_EQ(resolve_home_folder(env).folder, "/srv/pictures");
  EXPECT_EQ(resolve_home_folder(env).source, HomeSource::Remembered);
  // A relative folder or one spanning lines is neither stored nor believed.
  EXPECT_FALSE(remember_home_folder(env, "relative/path", error));
  EXPECT_FALSE(remember_home_folder(env, "/a\nfolder=/b", error));
  write_file(home_config_path(env), "folder=relative\n");
  EXPECT_EQ(resolve_home_folder(env).source, HomeSource::OldHome);
  // Without an absolute HOME there is no folder at all, and nothing is made.
  env.home = "";
  EXPECT_TRUE(resolve_home_folder(env).folder.empty());
  EXPECT_EQ(enter_home_folder(env, {}).status, 1);
}

TEST_F(HomeFolder, FirstDesktopStartAsksThenMakesThePrivateFolderAndThePicturesLink) {
  std::string asked, link;
  auto ask = [&](const std::string& proposed, const std::string& pictures_link) -> std::optional<std::string> {
    asked = proposed;
    link = pictures_link;
    return proposed;
  };
  const HomeStart start = enter_home_folder(env, ask);
  ASSERT_EQ(start.status, -1) << start.error;
  EXPECT_EQ(asked, data_folder());
  EXPECT_EQ(link, env.pictures + "/Fennick");
  EXPECT_EQ(fs::current_path(), fs::path(data_folder()));
  struct stat st {};
  ASSERT_EQ(::stat(data_folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(fs::read_symlink(link), fs::path(data_folder()) / "pictures");
  EXPECT_THAT(start.note, HasSubstr("Created the folder " + data_folder()));
  // Only the XDG folders and the Pictures link: nothing lands in HOME itself.
  EXPECT_EQ(entries(home), (std::set<std::string>{".config", ".local", "Pictures"}));
  // Remembered: the next start asks nothing.
  EXPECT_EQ(resolve_home_folder(env).source, HomeSource::Remembered);
  EXPECT_EQ(enter_home_folder(env, [](auto&&...) -> std::optional<std::string> {
              ADD_FAILURE() << "asked again";
              return std::nullopt;
            }).status,
            -1);
}

TEST_F(HomeFolder, CancelLeavesNothingBehindAndAnotherChoiceIsRememberedWithoutAnOldLink) {
  auto cancel = [](const std::string&, const std::string&) -> std::optional<std::string> { return std::nullopt; };
  EXPECT_EQ(enter_home_folder(env, cancel).status, 0);
  EXPECT_TRUE(entries(home).empty());

  const fs::path chosen = dir.path() / "usenet";
  fs::create_directory(chosen);
  fs::create_directories(env.pictures);
  write_file(env.pictures + "/Fennick", "the user's own file");  // a taken name is left alone
  auto choose = [&](const std::string&, const std::string&) -> std::optional<std::string> {
    return chosen.string();
  };
  const HomeStart start = enter_home_folder(env, choose);
  ASSERT_EQ(start.status, -1) << start.error;
  EXPECT_EQ(fs::current_path(), chosen);
  EXPECT_FALSE(fs::exists(data_folder()));
  EXPECT_TRUE(fs::is_directory(chosen / "pictures"));
  EXPECT_EQ(read_file(env.pictures + "/Fennick"), "the user's own file");
  EXPECT_EQ(remembered_home_folder(env), chosen.string());
}

TEST_F(HomeFolder, ARememberedFolderThatIsGoneIsReportedNotMadeOnTheMountPoint) {
  std::string error;
  const std::string gone = (dir.path() / "unmounted/fennick").string();
  ASSERT_TRUE(remember_home_folder(env, gone, error));
  const HomeStart start = enter_home_folder(env, {});
  EXPECT_EQ(start.status, 1);
  EXPECT_THAT(start.error, HasSubstr(gone));
  EXPECT_FALSE(fs::exists(gone));
}

TEST_F(HomeFolder, PicturesFolderComesFromUserDirsAndFallsBackWhenItIsHomeItself) {
  const std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", env.home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
  ::unsetenv("XDG_DATA_HOME");
  const std::string user_dirs = env.home + "/.config/user-dirs.dirs";
  fs::create_directories(env.home + "/.config");
  write_file(user_dirs, "# written by xdg-user-dirs-update\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  HomeEnvironment from = HomeEnvironment::from_process();
  EXPECT_EQ(from.config_home, env.home + "/.config");
  EXPECT_EQ(from.data_home, env.home + "/.local/share");
  EXPECT_EQ(from.pictures, env.home + "/Bilder");
  write_file(user_dirs, "XDG_PICTURES_DIR=\"$HOME/\"\n");
  EXPECT_EQ(HomeEnvironment::from_process().pictures, env.home + "/Pictures");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", saved_home.c_str(), 1);
}

TEST(DataFiles, TheWorkingFoldersOwnCopyComesBeforeTheInstalledOne) {
  TempDir dir;
  fs::create_directories("installed");
  write_file("installed/boink.wav", "installed");
  const std::vector<std::string> folders{"/nonexistent", (dir.path() / "installed").string()};
  EXPECT_EQ(find_data_file("boink.wav", folders), (dir.path() / "installed/boink.wav").string());
  write_file("boink.wav", "own");
  EXPECT_EQ(find_data_file("boink.wav", folders), (dir.path() / "boink.wav").string());
  EXPECT_EQ(find_data_file("missing.wav", folders), "");
  // A name with a folder in it is not looked for among the installed files.
  EXPECT_EQ(find_data_file("sub/boink.wav", {dir.path().string()}), "");
}

// The real program, as the desktop entry and the systemd unit start it, in a HOME of its own.
struct HomeStartEndToEnd : HomeFolder {
  std::vector<std::string> environment() const {
    return {"HOME=" + env.home, "XDG_CONFIG_HOME", "XDG_DATA_HOME", "DISPLAY", "WAYLAND_DISPLAY",
            "QT_QPA_PLATFORM"};
  }
  ChildExit run(const std::vector<std::string>& args, std::string* output = nullptr) {
    ChildProcess child = ChildProcess::spawn(FK_FENNICK, args, environment());
    auto exit = child.wait_for(std::chrono::seconds(30));
    if (output) *output = child.output();
    return exit.value_or(ChildExit{});
  }
};

TEST_F(HomeStartEndToEnd, AFreshHomeGetsTheDataFolderAndItsLinkAndNothingElse) {
  std::string out;
  // No news server yet: the run stops at once, after the start-up has written its files.
  ChildExit exit = run({"--headless", "--home"}, &out);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.status, 1) << out;
  EXPECT_THAT(read_file(data_folder() + "/fk.log"), HasSubstr("Created the folder " + data_folder()));
  EXPECT_TRUE(exists(data_folder() + "/fennick.lock"));
  EXPECT_EQ(fs::read_symlink(env.pictures + "/Fennick"), fs::path(data_folder()) / "pictures");
  EXPECT_EQ(entries(home), (std::set<std::string>{".local", "Pictures"}));
  // The second run keeps the first one's log as fk.log.1.
  run({"--headless", "--home"});
  EXPECT_THAT(read_file(data_folder() + "/fk.log.1"), HasSubstr("Created the folder"));
  EXPECT_THAT(read_file(data_folder() + "/fk.log"), ::testing::Not(HasSubstr("Created the folder")));
}

TEST_F(HomeStartEndToEnd, AnOldHomeWithItsFennickIniIsUsedAndSaysSo) {
  write_file(home / "FENNICK.INI", "[COMM]\ncheck_dialup=0\n");
  std::string out;
  ChildExit exit = run({"--headless", "--home"}, &out);
  EXPECT_EQ(exit.status, 1) << out;
  EXPECT_THAT(read_file(home / "fk.log"), HasSubstr("Using the FENNICK.INI in the home folder " + env.home));
  EXPECT_FALSE(fs::exists(data_folder()));
  EXPECT_FALSE(fs::exists(env.pictures));
}

TEST_F(HomeStartEndToEnd, ABadCommandLineIsExitStatusTwoBeforeAnyDisplayCheck) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--dir"}, {"--home", "--dir", "/tmp"}, {"stray"}, {"-style"}}) {
    std::string out;
    ChildExit exit = run(args, &out);
    EXPECT_EQ(exit.status, 2) << args[0];
    EXPECT_THAT(out, HasSubstr("(see --help)")) << args[0];
    EXPECT_THAT(out, ::testing::Not(HasSubstr("display"))) << args[0];
  }
  std::string out;
  EXPECT_EQ(run({"-V"}, &out).status, 0);
  EXPECT_THAT(out, HasSubstr("GPL-3.0-or-later"));
  EXPECT_EQ(run({"--help"}, &out).status, 0);
  EXPECT_THAT(out, HasSubstr("128+N"));
  EXPECT_TRUE(entries(home).empty());
}

}  // namespace
}  // namespace fk::test
