// SPDX-License-Identifier: GPL-3.0-or-later
// The record of parts kept from good copies: kept per group and part, read back by a later session,
// and a line cut by a crash is no record.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/temp_dir.h"
#include "decode/part_slots.h"

namespace fk {
namespace {

TEST(PartSlotsTest, ASlotIsHeldOnlyForItsGroupKeyAndPartAndSurvivesTheSession) {
  test::TempDir dir;
  {
    PartSlots slots;
    EXPECT_FALSE(slots.holds("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));
    ASSERT_TRUE(slots.mark("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));
    ASSERT_TRUE(slots.mark("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));  // once is enough
    EXPECT_TRUE(slots.holds("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));
  }
  PartSlots later;
  EXPECT_TRUE(later.holds("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));
  EXPECT_FALSE(later.holds("alt.a", "alt.a\tAnn\tx.jpg\t3", 2));
  EXPECT_FALSE(later.holds("alt.a", "alt.a\tBob\tx.jpg\t3", 1));
  EXPECT_FALSE(later.holds("alt.b", "alt.a\tAnn\tx.jpg\t3", 1));
  const std::string text = test::read_file("parts/alt.a/slots");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);

  // A crash cut the last line short: that part is fetched again rather than wrongly skipped.
  test::write_file("parts/alt.a/slots", text.substr(0, text.size() - 1));
  EXPECT_FALSE(PartSlots().holds("alt.a", "alt.a\tAnn\tx.jpg\t3", 1));
}

}  // namespace
}  // namespace fk
