// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader/writer: case rules, in-place writes, integer parsing, hostile files.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "store/profile_file.h"

namespace fk {
namespace {

using test::read_file;
using test::TempDir;
using test::write_file;

TEST(ProfileFile, SectionsAndKeysIgnoreCaseAndFirstOccurrenceWins) {
  TempDir dir;
  write_file("a.ini", "[comm]\nNEWS_SERVER = news.example \nport=120\n[COMM]\nport=130\n[other]\nport=1\n");
  ProfileFile f("a.ini");
  EXPECT_EQ(f.get_string("COMM", "news_server", "x", 99), "news.example");
  EXPECT_EQ(f.get_int("Comm", "Port", 119), 120);
  EXPECT_EQ(f.get_int("COMM", "missing", 119), 119);
  EXPECT_EQ(f.get_int("NOSECTION", "port", 7), 7);
  EXPECT_EQ(f.get_string("COMM", "missing", "dflt", 99), "dflt");
}

TEST(ProfileFile, StringsAreCutToBufferSizeLessOne) {
  TempDir dir;
  write_file("a.ini", "[COMM]\nnews_server=" + std::string(120, 's') + "\n");
  EXPECT_EQ(ProfileFile("a.ini").get_string("COMM", "news_server", "", 99), std::string(98, 's'));
  EXPECT_EQ(ProfileFile("a.ini").get_string("COMM", "absent", std::string(150, 'd'), 100), std::string(99, 'd'));
}

TEST(ProfileFile, IntegersParseLikeTheClassicReader) {
  EXPECT_EQ(parse_profile_int("42"), 42);
  EXPECT_EQ(parse_profile_int("-17abc"), -17);
  EXPECT_EQ(parse_profile_int("+5"), 5);
  EXPECT_EQ(parse_profile_int("abc"), 0);
  EXPECT_EQ(parse_profile_int(""), 0);
  EXPECT_EQ(parse_profile_int("  12 34"), 12);
  // Far too many digits wrap like a 32-bit register instead of failing.
  EXPECT_NO_THROW(parse_profile_int(std::string(5000, '9')));
}

TEST(ProfileFile, WriteReplacesInPlaceAndKeepsEveryOtherLine) {
  TempDir dir;
  const std::string before = "; my comment\r\n[COMM]\r\nuser=bob\r\nnews_server=old\r\nunknown_key=keep me\r\n\r\n"
                             "[FOREIGN]\r\nnews_server=untouched\r\n";
  write_file("a.ini", before);
  ProfileFile f("a.ini");
  ASSERT_TRUE(f.write_string("comm", "NEWS_SERVER", "new.host"));
  std::string after = read_file("a.ini");
  std::string expected = before;
  expected.replace(expected.find("news_server=old"), 15, "NEWS_SERVER=new.host");
  EXPECT_EQ(after, expected);
}

TEST(ProfileFile, FirstWriteCreatesFileSectionAndKeyPrivately) {
  TempDir dir;
  ProfileFile f("new.ini");
  ASSERT_TRUE(f.write_string("HISTORY", "archive_connections", "3"));
  ASSERT_TRUE(write_profile_int(f, "HISTORY", "archive_tot_time", -12));
  ASSERT_TRUE(f.write_string("COMM", "user", "me"));
  EXPECT_EQ(read_file("new.ini"), "[HISTORY]\narchive_connections=3\narchive_tot_time=-12\n[COMM]\nuser=me\n");
  struct stat st {};
  ASSERT_EQ(::stat("new.ini", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(f.get_int("HISTORY", "archive_tot_time", 0), -12);
}

TEST(ProfileFile, NewKeyGoesToTheEndOfItsSectionAndFileWithoutFinalLineEndIsMended) {
  TempDir dir;
  write_file("a.ini", "[A]\nx=1\n\n[B]\ny=2");
  ProfileFile f("a.ini");
  ASSERT_TRUE(f.write_string("A", "z", "3"));
  ASSERT_TRUE(f.write_string("B", "w", "4"));
  EXPECT_EQ(read_file("a.ini"), "[A]\nx=1\nz=3\n\n[B]\ny=2\nw=4\n");
}

TEST(ProfileFile, ValueWithLineEndCannotForgeKeys) {
  TempDir dir;
  ProfileFile f("a.ini");
  ASSERT_TRUE(f.write_string("COMM", "user", "bob\n[LOGGING]\nstatus_logging_enabled=0"));
  EXPECT_EQ(f.get_int("LOGGING", "status_logging_enabled", 1), 1);
}

TEST(ProfileFile, HostileFilesGiveDefaultsNeverCrash) {
  TempDir dir;
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>(i * 131 + 7));
  write_file("garbage.ini", garbage);
  const char nul_ini[] = "[COMM]\0\nport=1\0x\n";
  write_file("nul.ini", std::string(nul_ini, sizeof nul_ini - 1));
  write_file("long.ini", "[COMM]\nport=" + std::string(1 << 20, '7') + "\nuser=u\n");
  write_file("lonecr.ini", "[COMM]\rport=5\ruser=x\r");
  ::mkdir("dir.ini", 0755);
  write_file("locked.ini", "[COMM]\nport=5\n");
  ::chmod("locked.ini", 0);

  EXPECT_EQ(ProfileFile("garbage.ini").get_int("COMM", "port", 119), 119);
  EXPECT_EQ(ProfileFile("long.ini").get_string("COMM", "user", "", 99), "u");
  EXPECT_EQ(ProfileFile("lonecr.ini").get_int("COMM", "port", 119), 5);
  EXPECT_EQ(ProfileFile("dir.ini").get_int("COMM", "port", 119), 119);
  EXPECT_FALSE(ProfileFile("dir.ini").write_string("COMM", "port", "1"));
  if (::geteuid() != 0) {
    EXPECT_EQ(ProfileFile("locked.ini").get_int("COMM", "port", 119), 119);
  }
  ProfileFile("nul.ini").get_int("COMM", "port", 119);
}

}  // namespace
}  // namespace fk
