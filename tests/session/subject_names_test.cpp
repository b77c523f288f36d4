// SPDX-License-Identifier: GPL-3.0-or-later
// Subject forms seen on real servers: the name, the counter and the key parts are fetched under.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "session/article_selection.h"
#include "store/header_text.h"

namespace fk {
namespace {

struct SubjectCase {
  const char* subject;  // as the overview gives it (encoded words are decoded first)
  const char* name;     // the subject's file name; "" for none
  int part, total;      // the last counter; 0/0 for none
};

// The set key is group, author, name and count; only a counter with a total above 1 makes a part.
const SubjectCase kCases[] = {
    {"\"paris.2024.eiffel.tower.jpg\" yEnc (1/3)", "paris.2024.eiffel.tower.jpg", 1, 3},
    {"paris.2024.eiffel.tower.jpg yEnc (2/3)", "paris.2024.eiffel.tower.jpg", 2, 3},
    {"[01/10] - \"x\" yEnc (1/3)", "x", 1, 3},
    {"[03/10] - \"holiday 2024 - 003.jpg\" yEnc (2/4)", "holiday 2024 - 003.jpg", 2, 4},
    {"photo.jpeg (1/2)", "photo.jpeg", 1, 2},
    {"photo.jpeg [2/2]", "photo.jpeg", 2, 2},
    {"Sunset SUNSET.JPG (1/1)", "SUNSET.JPG", 1, 1},
    {"new pics - cat.webp (1/5)", "cat.webp", 1, 5},
    {"[PRiVATE] some.file.b.r07 yEnc (98/131)", "some.file.b.r07", 98, 131},
    {"some.file.part01.rar yEnc (1/50)", "some.file.part01.rar", 1, 50},
    {"x.z12 yEnc (92/93)", "", 92, 93},
    {"www.site.com presents 2024.08.15 v1.2 (1/2)", "", 1, 2},
    {"visit www.site.com - beach.png (1/1)", "beach.png", 1, 1},
    {"(beach.png) [1/1]", "beach.png", 1, 1},
    {"<<beach.gif>> (1/1)", "beach.gif", 1, 1},
    {"beach.tiff, more to come (1/3)", "beach.tiff", 1, 3},
    {"Re: sunset.jpg (1/1)", "sunset.jpg", 1, 1},
    {"Re: nice one", "", 0, 0},
    {"first.jpg and second.jpg (2/2)", "second.jpg", 2, 2},
    {"\"\" empty quotes then real.jpg (1/2)", "real.jpg", 1, 2},
    {"album [1/2] - \"b.heic\" (1/2)", "b.heic", 1, 2},
    {"scan.TIF (10/12)", "scan.TIF", 10, 12},
    {"movie.sample.mkv yEnc (3/30)", "movie.sample.mkv", 3, 30},
    {"pics.7z yEnc (1/2)", "pics.7z", 1, 2},
    {"pics.par2 yEnc (1/1)", "pics.par2", 1, 1},
    {"readme.nfo (1/1)", "readme.nfo", 1, 1},
    {"image.avif yEnc (001/100)", "image.avif", 1, 100},
    {"photo.jxl yEnc (1/3) 12345 bytes", "photo.jxl", 1, 3},
    {"no name but a counter (1/3)", "", 1, 3},
    {"old style fox.jpg.", "fox.jpg", 0, 0},
    {"FREE pictures at http://spam.invalid (1/1) .jpg", "", 1, 1},
    {"dotted.name.gif (1/2) (extra)", "dotted.name.gif", 1, 2},
};

TEST(SubjectNames, RealSubjectFormsGiveTheirNameCounterAndKey) {
  EXPECT_GE(std::size(kCases), 30u);
  for (const SubjectCase& c : kCases) {
    SCOPED_TRACE(c.subject);
    EXPECT_EQ(subject_file_name(c.subject), c.name);
    const std::optional<SubjectCounter> counter = subject_counter(c.subject);
    EXPECT_EQ(counter ? static_cast<int>(counter->part) : 0, c.part);
    EXPECT_EQ(counter ? static_cast<int>(counter->total) : 0, c.total);
    const std::optional<PartSubject> part = parse_part_subject(c.subject);
    const bool is_part = *c.name && c.total > 1;
    ASSERT_EQ(part.has_value(), is_part);
    if (is_part) {
      EXPECT_EQ(part_fetch_key("alt.pics", " Ann <a@b> ", *part),
                std::string("alt.pics\tAnn <a@b>\t") + c.name + "\t" + std::to_string(c.total));
    }
  }
}

TEST(SubjectNames, EncodedWordsAreDecodedBeforeTheNameIsRead) {
  const std::string subject = decode_encoded_words("=?UTF-8?Q?Caf=C3=A9_?= =?UTF-8?Q?du_port?= caf\xC3\xA9.jpg (1/1)");
  EXPECT_EQ(subject, "Caf\xC3\xA9 du port caf\xC3\xA9.jpg (1/1)");
  EXPECT_EQ(subject_file_name(subject), "caf\xC3\xA9.jpg");
  const std::string quoted = decode_encoded_words("\"=?UTF-8?B?b3JhbmfDqWUuZ2lm?=\" yEnc (1/2)");
  EXPECT_EQ(subject_file_name(quoted), "orang\xC3\xA9" "e.gif");
  // Two posters' sets of one name are two keys.
  const auto part = parse_part_subject("\"IMG_0001.JPG\" yEnc (1/2)");
  ASSERT_TRUE(part);
  EXPECT_NE(part_fetch_key("g", "Ann", *part), part_fetch_key("g", "Bob", *part));
}

}  // namespace
}  // namespace fk
