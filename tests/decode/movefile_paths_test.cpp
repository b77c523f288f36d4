// SPDX-License-Identifier: GPL-3.0-or-later
// MOVEFILE, and the folder and name rules the article loop shares with the decoders.
#include "decode/paths.h"
#include "decode_fixture.h"

namespace fk::test {
namespace {

using MoveFile = DecodeTest;

TEST_F(MoveFile, CopiesEveryByteOrSaysWhyNot) {
  const std::string content = std::string("line\r\nwith\0nul\n", 15) + some_bytes(300000);
  write_file("src.txt", content);
  write_file("dst.txt", std::string(400000, 'x'));  // longer: must be truncated
  EXPECT_EQ(MOVEFILE("src.txt", "dst.txt", log_), 0);
  EXPECT_EQ(read_file("dst.txt"), content);
  EXPECT_EQ(read_file("src.txt"), content);

  EXPECT_EQ(MOVEFILE("missing.txt", "new.txt", log_), -1);
  EXPECT_TRUE(logged("MOVEFILE -- can not open input file", 0));
  EXPECT_FALSE(exists("new.txt"));
  EXPECT_EQ(MOVEFILE("src.txt", "no-such-dir/dst.txt", log_), -1);
  EXPECT_TRUE(logged("MOVEFILE -- can not open output file", 0));
  EXPECT_EQ(MOVEFILE("src.txt", "/dev/full", log_), -1);
  EXPECT_TRUE(logged("MOVEFILE -- can not write output file", 0));
}

TEST(PicturePaths, FolderAndNameRules) {
  EXPECT_EQ(picture_path("alt.pics", "My Photo.JPG"), "pictures/alt.pics/My Photo.JPG");
  EXPECT_EQ(picture_path("", "a.jpg"), "pictures/a.jpg");
  EXPECT_EQ(group_directory(".."), "pictures/");
  EXPECT_EQ(group_directory("a/b\\c\td"), "pictures/a_b_c_d/");
  EXPECT_EQ(group_directory(std::string(150, 'g')), "pictures/" + std::string(kMaxGroupFolder, 'g') + "/");
  const std::pair<const char*, const char*> names[] = {{"my photo.jpg", "my photo.jpg"},
                                                       {"../../x.jpg", "x.jpg"},
                                                       {"C:\\x.gif", "x.gif"},
                                                       {"C:x.gif", "C:x.gif"},
                                                       {"...hidden", "hidden"},
                                                       {"a\x01z\x7f", "a_z_"},
                                                       {"dir/", ""},
                                                       {"   ", ""}};
  for (const auto& [raw, safe] : names) EXPECT_EQ(safe_file_name(raw), safe) << raw;
}

}  // namespace
}  // namespace fk::test
