// SPDX-License-Identifier: GPL-3.0-or-later
// Overview-line split, dates and the age test, file names in subjects.
#include <gtest/gtest.h>

#include <string>

#include "common/engine_bundle.h"
#include "common/temp_dir.h"
#include "session/article_selection.h"

namespace fk {
namespace {

TEST(SplitOverview, FieldsAndCuts) {
  auto f = split_overview_line(
      "1001\tSunset.jpg (1/1)\tjoe@x\t1 Sep 97 12:00:00 GMT\t<a@b>\t\t12345\t700\tXref: x");
  EXPECT_EQ(f.number, "1001");
  EXPECT_EQ(f.subject, "Sunset.jpg (1/1)");
  EXPECT_EQ(f.author, "joe@x");
  EXPECT_EQ(f.date, "1 Sep 97 12:00:00 GMT");
  EXPECT_EQ(f.message_id, "<a@b>");
  EXPECT_EQ(f.line_count, "700");  // field 8 whether the references are empty or not
  EXPECT_EQ(split_overview_line("1\ts\ta\td\t<m>\t<r1> <r2>\t9\t700").line_count, "700");
  EXPECT_FALSE(f.subject_cut);

  std::string number(25, '7'), subject(300, 's'), author(50, 'a'), id(60, 'i');
  const std::string long_fields = number + "\t" + subject + "\t" + author + "\td\t" + id + "\t\t\t1234567890";
  f = split_overview_line(long_fields);
  EXPECT_EQ(f.number.size(), kNumberCut);
  EXPECT_EQ(f.subject.size(), 249u);
  EXPECT_TRUE(f.subject_cut);
  EXPECT_EQ(f.author.size(), 39u);
  EXPECT_EQ(f.message_id.size(), 49u);
  EXPECT_EQ(f.line_count, "123456789");
}

TEST(SplitOverview, ShortLinesAndNul) {
  auto f = split_overview_line("123\tsubject only");
  EXPECT_EQ(f.subject, "subject only");
  EXPECT_TRUE(f.author.empty());
  EXPECT_FALSE(f.has_date);
  EXPECT_TRUE(f.line_count.empty());
  f = split_overview_line("123\ts\ta\t");
  EXPECT_TRUE(f.has_date);
  EXPECT_TRUE(f.date.empty());
  const std::string with_nul("9\tsub\0ject\tauthor", 17);
  f = split_overview_line(with_nul);
  EXPECT_EQ(f.subject, "sub");
  EXPECT_TRUE(f.author.empty());
  EXPECT_TRUE(split_overview_line("").number.empty());
}

TEST(Numbers, ReadLikeAtoiAndSaturate) {
  EXPECT_EQ(leading_number("  42abc"), 42);
  EXPECT_EQ(leading_number("-7"), -7);
  EXPECT_EQ(leading_number("abc"), 0);
  EXPECT_EQ(leading_number("5000000000"), 5000000000);
  EXPECT_GT(leading_number("99999999999999999999999999"), 0);
  EXPECT_LT(leading_number("-99999999999999999999999999"), 0);
}

TEST(ArticleDates, TheTwoForms) {
  auto d = parse_article_date("1 Sep 97 12:00:00 GMT");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->day, 1);
  EXPECT_EQ(d->month, "Sep");
  EXPECT_EQ(d->year, 1997);
  d = parse_article_date("Mon, 01 sep 2003 1:2:3 +0200");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->year, 2003);
  EXPECT_EQ(d->month, "sep");
  for (const char* bad :
       {"Mon, 1 Sep 1997 12:00 GMT", "", "Monday, 1 Sep 1997 12:00:00", "1 September 1997 1:2:3",
        " 1 Sep 97 12:00:00", "1 Sep 97 12 :00:00", "Mon 1 Sep 1997 12:00:00"})
    EXPECT_FALSE(parse_article_date(bad)) << bad;
  // absurd numbers parse (saturated) and the age test copes with them
  d = parse_article_date("999999999999999999999 Foo -99999999999999999999 1:1:1");
  ASSERT_TRUE(d);
  const std::tm today = test::FakeClock().local_now();
  EXPECT_FALSE(is_too_old(d->day, d->month, d->year, 30, today));
  EXPECT_TRUE(is_too_old(d->day, "Sep", d->year, 30, today));
}

TEST(ArticleDates, AgeAgainstToday) {
  const std::tm today = test::FakeClock().local_now();  // Mon 7 Dec 2026
  EXPECT_TRUE(is_too_old(7, "Nov", 2026, 30, today));   // exactly 30 days, through 304 days before Nov
  EXPECT_FALSE(is_too_old(8, "nov", 2026, 30, today));
  EXPECT_TRUE(is_too_old(7, "DEC", 2025, 365, today));  // a year counts 365.25 days
  EXPECT_FALSE(is_too_old(7, "Dec", 2025, 366, today));
  EXPECT_FALSE(is_too_old(1, "Foo", 1900, 1, today));
  EXPECT_FALSE(is_too_old(1, "Ja", 1900, 1, today));
}

TEST(ExtractFilename, Examples) {
  const std::pair<const char*, const char*> cases[] = {
      {"Sunset.jpg (1/1)", "Sunset.jpg"},
      {"pic.jpeg", "pic.jpe"},
      {"tune.mp3", ""},
      {"x.b.gif", "b.gif"},
      {"look .gif", ""},
      {"a&b.jpg", "b.jpg"},
      {"my+pic.jpg", "pic.jpg"},
      {"file.jp", ""},
      {"...gif", ""},
      {"(1/1) {Ok}~x_1.GIF yes", "{Ok}~x_1.GIF"},
      {"\xff\xfe.jpg \xe9t\xe9.gif", ""},
  };
  for (const auto& [subject, name] : cases) EXPECT_EQ(ExtractFilename(subject, nullptr), name) << subject;
}

TEST(ExtractFilename, TooLongIsLoggedAndDropped) {
  test::TempDir dir;
  test::EngineBundle e;
  const std::string longest = std::string(251, 'n') + ".jpg", too_long = "n" + longest;
  EXPECT_EQ(ExtractFilename(longest, &e.log), longest);
  EXPECT_FALSE(test::exists("fk.log"));
  EXPECT_EQ(ExtractFilename(too_long, &e.log), "");
  EXPECT_NE(test::read_file("fk.log").find(" - ExtractFilename() error.. too long\n"), std::string::npos);
}

}  // namespace
}  // namespace fk
