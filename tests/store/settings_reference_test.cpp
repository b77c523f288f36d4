// SPDX-License-Identifier: GPL-3.0-or-later
// fennick.ini(5) is made from the settings table: every key is described, and the page names each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "store/settings.h"
#include "store/settings_reference.h"

namespace fk {
namespace {

using ::testing::HasSubstr;

TEST(SettingsReference, EveryKeyHasADescriptionAndAnEntryOfItsOwn) {
  const std::string page = settings_reference_page("9.9");
  std::set<std::string> seen;
  for (const SettingDef& d : settings_table()) {
    EXPECT_FALSE(d.description.empty()) << d.key << " has no description in settings_table()";
    EXPECT_TRUE(seen.insert(std::string(d.key)).second) << d.key << " is in the table twice";
    EXPECT_THAT(page, HasSubstr(".B " + std::string(d.key) + "\n")) << d.key;
    EXPECT_THAT(page, HasSubstr(roff_escape(d.description))) << d.key;
  }
  EXPECT_THAT(page, HasSubstr(".SS [SCHEDULE]\n"));
  EXPECT_THAT(page, HasSubstr("\"Fennick 9.9\""));
}

TEST(SettingsReference, RangesAndDefaultsComeFromTheRows) {
  EXPECT_EQ(setting_range_text("port"), "number from 1 to 65535; default 119");
  EXPECT_EQ(setting_range_text("use_tls"), "number from 0 to 2; default 0");
  EXPECT_EQ(setting_range_text("max_connecttime"), "whole number; default 300");
  EXPECT_EQ(setting_range_text("minlines"), "whole number from 0; default 500");
  EXPECT_EQ(setting_range_text("tls_verify"), "0 or 1 (any other number counts as 1); default 1");
  EXPECT_EQ(setting_range_text("filter1"), "text of at most 98 characters; default \"*.jpg*|*.gif*\"");
  EXPECT_EQ(setting_range_text("pass"), "text, Base64-encoded; default empty");
}

TEST(SettingsReference, RoffControlCharactersInTextAreDefused) {
  EXPECT_EQ(roff_escape(".SH x"), "\\&.SH x");
  EXPECT_EQ(roff_escape("'x"), "\\&'x");
  EXPECT_EQ(roff_escape("a\\b"), "a\\eb");
  // A default that starts a line with a dot cannot become a request.
  EXPECT_EQ(roff_escape("plain"), "plain");
}

}  // namespace
}  // namespace fk
