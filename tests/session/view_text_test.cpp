// SPDX-License-Identifier: GPL-3.0-or-later
// The picture summary: one builder, the window's form and the closing log line's form.
#include <gtest/gtest.h>

#include "session/view.h"

namespace fk {
namespace {

TEST(CountersText, WindowFormHasTheCommaAndTheSetLogLineNeither) {
  SessionCounters c{3, 10, 2, 1, 4, "panorama.jpg: 3 of 4 parts"};
  EXPECT_EQ(counters_text(c),
            "3 picture(s) downloaded from 10 articles, 2 duplicates skipped, 1 base64, 4 unknown format; "
            "panorama.jpg: 3 of 4 parts");
  EXPECT_EQ(counters_text(c, CountersForm::LogLine),
            "3 picture(s) downloaded from 10 articles, 2 duplicates skipped, 1 base64 4 unknown format");
}

}  // namespace
}  // namespace fk
