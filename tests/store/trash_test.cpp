// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's trash and the folder listings of the picture gallery.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "common/temp_dir.h"
#include "store/picture_folders.h"
#include "store/trash.h"

namespace fk {
namespace {

namespace fs = std::filesystem;
using test::exists;
using test::read_file;
using test::TempDir;
using test::write_file;

TEST(Trash, MovesTheFileWithAnInfoFileAndNeverReplacesATrashedOne) {
  TempDir dir;
  fs::create_directories("pictures/alt.x y");
  write_file("pictures/alt.x y/p%1.jpg", "one");
  write_file("pictures/alt.x y/other.jpg", "two");
  const std::string trash = (dir.path() / "share/Trash").string();
  std::tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 3, t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);

  TrashResult r = move_to_trash("pictures/alt.x y/p%1.jpg", trash, when);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(exists("pictures/alt.x y/p%1.jpg"));
  EXPECT_EQ(read_file(trash + "/files/p%1.jpg"), "one");
  EXPECT_EQ(read_file(trash + "/info/p%1.jpg.trashinfo"),
            "[Trash Info]\nPath=" + dir.path().string() + "/pictures/alt.x%20y/p%251.jpg\nDeletionDate=2026-12-07T09:05:03\n");
  struct stat st {};
  ASSERT_EQ(::stat((trash + "/files").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The same name again (and a stray file without info) get the next free names.
  write_file("pictures/alt.x y/p%1.jpg", "three");
  write_file(trash + "/files/p%1-1.jpg", "stray");
  r = move_to_trash("pictures/alt.x y/p%1.jpg", trash, when);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.trashed_as, trash + "/files/p%1-2.jpg");
  EXPECT_EQ(read_file(trash + "/files/p%1.jpg"), "one");
  EXPECT_EQ(read_file(trash + "/files/p%1-2.jpg"), "three");
  EXPECT_FALSE(exists(trash + "/info/p%1-1.jpg.trashinfo"));
}

TEST(Trash, FailuresLeaveTheFileAndNoInfoBehind) {
  TempDir dir;
  const std::string trash = (dir.path() / "Trash").string();
  EXPECT_FALSE(move_to_trash("missing.jpg", trash, 0).ok);
  fs::create_directories("pictures/g");
  EXPECT_FALSE(move_to_trash("pictures/g", trash, 0).ok);  // folders are not pictures
  write_file("pic.jpg", "x");
  EXPECT_FALSE(move_to_trash("pic.jpg", "", 0).ok);
  // A trash folder that cannot be made (a file in its way).
  write_file("blocked", "");
  TrashResult r = move_to_trash("pic.jpg", (dir.path() / "blocked/Trash").string(), 0);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  EXPECT_EQ(read_file("pic.jpg"), "x");
}

TEST(Trash, HomeTrashFollowsXdgDataHome) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
  EXPECT_EQ(home_trash_dir(), "/tmp/xdg-data/Trash");
  ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
  ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(home_trash_dir(), std::string(std::getenv("HOME")) + "/.local/share/Trash");
  if (saved) {
    ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

TEST(PictureFolders, ListsVisibleFilesAndSubFoldersApart) {
  TempDir dir;
  fs::create_directories("pictures/b.group");
  fs::create_directories("pictures/a.group");
  fs::create_directories("pictures/.hidden");
  write_file("pictures/loose.jpg", "12345");
  write_file("pictures/.partial", "x");
  fs::create_symlink("loose.jpg", "pictures/link.jpg");
  fs::create_symlink("nowhere.jpg", "pictures/dangling.jpg");

  std::vector<FolderFile> files;
  ASSERT_TRUE(list_folder_files("pictures", files));
  std::sort(files.begin(), files.end(), [](auto& a, auto& b) { return a.name < b.name; });
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "link.jpg");
  EXPECT_EQ(files[1].name, "loose.jpg");
  EXPECT_EQ(files[1].size, 5);
  EXPECT_GT(files[1].mtime_ns, 0);
  EXPECT_EQ(list_sub_folders("pictures"), (std::vector<std::string>{"a.group", "b.group"}));
  EXPECT_FALSE(list_folder_files("nowhere", files));
  EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace fk
