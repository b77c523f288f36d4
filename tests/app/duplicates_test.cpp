// SPDX-License-Identifier: GPL-3.0-or-later
// The duplicate search's index file and grouping, without pictures: hashes made up to the bit.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/duplicates.h"
#include "common/temp_dir.h"

namespace fk::test {
namespace {

PictureHash pic(std::string path, std::uint64_t content, std::uint64_t shape, std::int64_t pixels = 100,
                std::int64_t size = 1000, std::int64_t mtime = 5, std::uint32_t colour = 0x808080) {
  return {std::move(path), size, mtime, content, shape, pixels, colour};
}

std::vector<std::vector<std::string>> paths(const std::vector<std::vector<PictureHash>>& groups) {
  std::vector<std::vector<std::string>> out;
  for (const auto& g : groups) {
    auto& o = out.emplace_back();
    for (const auto& h : g) o.push_back(h.path);
  }
  return out;
}

TEST(Duplicates, SameBytesAndNearShapesGroupWithTheOneToKeepFirst) {
  const std::uint64_t shape = 0xF0F0'1234'ABCD'0F0FULL;
  std::vector<PictureHash> all = {
      pic("a/small.jpg", 1, shape ^ 0x3F, 50 * 40),            // six bits off: a resized copy
      pic("b/large.jpg", 2, shape, 400 * 300),                 // most pixels: kept
      pic("c/far.jpg", 3, shape ^ 0x7F),                       // seven bits from large: a copy of a copy only
      pic("d/other.jpg", 4, ~shape),                           // a different picture
      pic("e/same.jpg", 9, 0, 10, 700, 3),                     // no shape, but the same bytes as f
      pic("f/same-too.jpg", 9, 0, 10, 700, 1),                 // older: kept
      pic("g/same-hash-other-size.jpg", 9, 0, 10, 701, 1),     // a content hash alone is not the same bytes
  };
  EXPECT_THAT(paths(find_duplicates(all)),
              ::testing::ElementsAre(::testing::ElementsAre("b/large.jpg", "a/small.jpg"),
                                     ::testing::ElementsAre("f/same-too.jpg", "e/same.jpg")));
  // At distance 5 the large one is no one's copy; the two near each other stay together.
  EXPECT_THAT(paths(find_duplicates(all, 5)),
              ::testing::ElementsAre(::testing::ElementsAre("a/small.jpg", "c/far.jpg"),
                                     ::testing::ElementsAre("f/same-too.jpg", "e/same.jpg")));
  // The same grey shape in another colour is another picture; a slight shift of colour is not.
  EXPECT_TRUE(find_duplicates({pic("red", 1, shape, 9, 9, 1, 0xC03020), pic("blue", 2, shape, 9, 9, 1, 0x2030C0)})
                  .empty());
  EXPECT_EQ(find_duplicates({pic("red", 1, shape, 9, 9, 1, 0xC03020), pic("redder", 2, shape, 9, 9, 1, 0xC83020)})
                .size(),
            1u);
  // Equal pixels: the larger file, then the older one is kept.
  EXPECT_THAT(paths(find_duplicates({pic("x", 1, shape, 9, 10, 1), pic("y", 2, shape, 9, 20, 2),
                                     pic("z", 3, shape, 9, 20, 1)})),
              ::testing::ElementsAre(::testing::ElementsAre("z", "y", "x")));
}

TEST(Duplicates, TheIndexRoundTripsSkipsBadLinesAndKnowsAChangedFile) {
  TempDir dir;
  PictureHashIndex index;
  EXPECT_TRUE(index.load(kPictureHashFile));  // none yet
  index.put(pic("pictures/alt.a/one.jpg", 0xDEADBEEFULL, 0x0123456789ABCDEFULL, 640 * 480, 12345, 1700000000123456789,
                0x1A2B3C));
  index.put(pic("pictures/alt.a/tab\tname.jpg", 1, 2));
  ASSERT_TRUE(index.save(kPictureHashFile));
  write_file(kPictureHashFile,
             read_file(kPictureHashFile) + "broken line\nx\t1\t2\tzz\t0\t0\t0\ny\t1\t2\t3\t4\t5\t1000000\n\n");

  PictureHashIndex again;
  ASSERT_TRUE(again.load(kPictureHashFile));
  EXPECT_EQ(again.size(), 1u);
  const PictureHash* h = again.find("pictures/alt.a/one.jpg", 12345, 1700000000123456789);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->content, 0xDEADBEEFULL);
  EXPECT_EQ(h->shape, 0x0123456789ABCDEFULL);
  EXPECT_EQ(h->pixels, 640 * 480);
  EXPECT_EQ(h->colour, 0x1A2B3Cu);
  EXPECT_EQ(again.find("pictures/alt.a/one.jpg", 12346, 1700000000123456789), nullptr);  // rewritten since
  again.retain({"pictures/alt.a/other.jpg"});
  EXPECT_EQ(again.size(), 0u);
}

}  // namespace
}  // namespace fk::test
