// SPDX-License-Identifier: GPL-3.0-or-later
// ArticleSelector: the chain of tests on overview lines, what it shows, logs, counts and queues.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/engine_bundle.h"
#include "common/temp_dir.h"
#include "session/article_selection.h"

namespace fk {
namespace {

using test::EngineBundle;

std::string line(std::string subject = "Sunset.jpg (1/1)", std::string lines = "700",
                 std::string date = "1 Dec 2026 10:00:00 GMT", std::string author = "Joe <joe@x>",
                 std::string id = "<m1@x>", std::string number = "1001") {
  return number + "\t" + subject + "\t" + author + "\t" + date + "\t" + id + "\t\t100000\t" + lines +
         "\tXref: a";
}

// fk.log without its time stamps: "<prefix> - <message>" per line.
std::vector<std::string> log_lines() {
  std::vector<std::string> out;
  std::istringstream in(test::read_file("fk.log"));
  for (std::string l; std::getline(in, l);) out.push_back(l.size() > 26 ? l.substr(26) : l);
  return out;
}

class Selector : public ::testing::Test {
 protected:
  Selector() {
    e.settings.update([](Settings& s) { s.detailed_status_logging_enabled = 1; });
  }
  void set(const std::function<void(Settings&)>& f) {
    e.settings.update([&](Settings& s) { f(s); });
  }
  test::TempDir dir;
  EngineBundle e;
  ArticleSelector sel{e.ctx, "alt.pics", 1000, 1100};
};

TEST_F(Selector, AcceptsAndQueues) {
  EXPECT_EQ(sel.examine(line()), Verdict::Accepted);
  EXPECT_EQ(e.pending.rows(), std::vector<std::string>{"1001\tJoe <joe@x>\t700\tSunset.jpg (1/1)"});
  EXPECT_EQ(e.view.text(ControlId::PendingBox), "1 Pending Downloads From alt.pics");
  EXPECT_EQ(e.view.text(ControlId::DownloadStatus), "Building D/L List ..Checking 1001");
  EXPECT_EQ(e.view.progress(ControlId::ArticleProgress), 1);
  EXPECT_EQ(log_lines(), (std::vector<std::string>{
                             "+----------- - Sunset.jpg",
                             "+------- - SUCCESS:  ADDED:  <1001\tJoe <joe@x>\t700\tSunset.jpg (1/1)>"}));
  EXPECT_EQ(sel.selected(), 1u);
  EXPECT_EQ(e.state.articles_examined, 1);
  EXPECT_EQ(e.state.archive_tot_articles, 1);
  EXPECT_EQ(e.state.duplicates_skipped, 0);
}

struct ChainCase {
  std::function<void(Settings&, EngineBundle&)> arrange;
  std::string line;
  Verdict verdict;
  std::string log;
};

TEST_F(Selector, ElevenTestsInOrderWithTheirVerdictLines) {
  const std::string tail = " <Sunset.jpg (1/1)>";
  const std::vector<ChainCase> cases = {
      {[](Settings& s, EngineBundle&) { s.max_art_per_grp = 0; }, line(), Verdict::ExceedsLimit,
       "EXCEEDS  MAX_ART_PER_GRP: " + tail},
      {[](Settings&, EngineBundle& b) { b.blacklist.add_at_top("joe <joe@x>", 10); },
       line("Sunset.jpg (1/1)", "700", "1 Dec 2026 10:00:00 GMT", " Joe <JOE@x>  "), Verdict::Blacklisted,
       "BLACKLISTED AUTHOR:  joe <joe@x>" + tail},
      {nullptr, line("Sunset.jpg (1/1)", "700", "1 Sep 97 12:00:00 GMT"), Verdict::TooOld,
       "TOO OLD: 1 Sep 97 12:00:00 GMT" + tail},
      {nullptr, line("Sunset.jpg (1/1)", "499"), Verdict::TooFewLines, "TOO FEW LINES: 499" + tail},
      {nullptr, line("Sunset.jpg (1/1)", "5001"), Verdict::TooManyLines, "TOO MANY LINES: 5001" + tail},
      {nullptr, line("Sunset.png (1/1)"), Verdict::Filter1,
       "DOESNT CONTAIN: *.jpg*|*.gif* <Sunset.png (1/1)>"},
      {nullptr, line("Sunset.jpg (1/2)"), Verdict::Filter2,
       "DOESNT CONTAIN: *1/1*|*01/01* <Sunset.jpg (1/2)>"},
      {nullptr, line("Re: Sunset.jpg (1/1)"), Verdict::Filter3,
       "MUST NOT CONTAIN: re:*|*free*|*http:* <Re: Sunset.jpg (1/1)>"},
      {[](Settings&, EngineBundle& b) { b.article_ids.add_at_top("<M1@X>", 10); }, line(),
       Verdict::DuplicateArticleId, "DUPLICATE ARTICLE ID: <m1@x>" + tail},
      {[](Settings&, EngineBundle& b) { b.filenames.add_at_top("SUNSET.JPG", 10); }, line(),
       Verdict::DuplicateFile, "DUPLICATE FILE Sunset.jpg" + tail},
      {[](Settings&, EngineBundle& b) { b.pending.append("1\ta\t1\tsunset.JPG (1/1) again"); }, line(),
       Verdict::DuplicatePosting, "DUPLICATE POSTING Joe <joe@x>" + tail},
      // every test would reject: the first one decides
      {[](Settings& s, EngineBundle& b) {
         s.max_art_per_grp = 0;
         b.blacklist.add_at_top("joe <joe@x>", 10);
       },
       line("Re: x", "1", "1 Sep 97 12:00:00 GMT"), Verdict::ExceedsLimit,
       "EXCEEDS  MAX_ART_PER_GRP:  <Re: x>"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    test::TempDir own;
    EngineBundle b;
    b.settings.update([&](Settings& s) {
      s.detailed_status_logging_enabled = 1;
      if (cases[i].arrange) cases[i].arrange(s, b);
    });
    ArticleSelector s(b.ctx, "g", 1, 2);
    EXPECT_EQ(s.examine(cases[i].line), cases[i].verdict);
    EXPECT_EQ(log_lines().back(), "+------- - " + cases[i].log);
    EXPECT_EQ(b.state.duplicates_skipped, cases[i].verdict >= Verdict::DuplicateArticleId ? 1 : 0);
  }
}

TEST_F(Selector, LimitZeroStillCountsEveryLine) {
  set([](Settings& s) { s.max_art_per_grp = 0; });
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sel.examine(line()), Verdict::ExceedsLimit);
  EXPECT_EQ(e.state.articles_examined, 5);
  EXPECT_TRUE(e.pending.empty());
}

TEST_F(Selector, SettingsChangeTakesEffectOnTheNextLine) {
  EXPECT_EQ(sel.examine(line("a.jpg (1/1)")), Verdict::Accepted);
  set([](Settings& s) { s.max_art_per_grp = 1; });
  EXPECT_EQ(sel.examine(line("b.jpg (1/1)")), Verdict::ExceedsLimit);
  set([](Settings& s) {
    s.max_art_per_grp = 5;
    s.check_subject = 0;
  });
  EXPECT_EQ(sel.examine(line("c.png")), Verdict::Accepted);
}

TEST_F(Selector, DuplicatesByCutMessageIdFileNamesAndSubject) {
  const std::string id = "<" + std::string(60, 'x') + "@host>";
  e.article_ids.add_at_top(id, 10);
  EXPECT_EQ(sel.examine(line("a.jpg (1/1)", "700", "1 Dec 2026 1:1:1", "j", id)),
            Verdict::DuplicateArticleId);
  // The subject's whole name is looked up, not a piece of it.
  e.filenames.add_at_top("x.jpg.gif", 10);
  e.filenames.add_at_top("2024.eif", 10);
  EXPECT_EQ(sel.examine(line("x.jpg.gif (1/1)")), Verdict::DuplicateFile);
  EXPECT_EQ(log_lines().back(), "+------- - DUPLICATE FILE x.jpg.gif <x.jpg.gif (1/1)>");
  EXPECT_EQ(log_lines()[log_lines().size() - 2], "+----------- - x.jpg.gif");
  EXPECT_EQ(sel.examine(line("paris.2024.eiffel.tower.jpg (1/1)")), Verdict::Accepted);
  EXPECT_EQ(sel.examine(line("same.jpg (1/1)")), Verdict::Accepted);
  EXPECT_EQ(sel.examine(line("same.jpg (1/1)", "700", "1 Dec 2026 1:1:1", "Ann")), Verdict::DuplicatePosting);
  EXPECT_EQ(e.state.duplicates_skipped, 3);
  EXPECT_EQ(e.pending.count(), 2u);
}

TEST_F(Selector, EncodedWordsAreReadAsMeantByFiltersTheBozoBucketAndTheQueue) {
  set([](Settings& s) {
    s.check_subject = 1;
    s.filter1 = "*caf\xC3\xA9*";
  });
  const std::string raw_author = "=?ISO-8859-1?Q?J=F6rg?= <j@x>";
  EXPECT_EQ(sel.examine(line("=?UTF-8?Q?Caf=C3=A9_?= =?UTF-8?Q?du_port?= .jpg (1/1)", "700",
                             "1 Dec 2026 10:00:00 GMT", raw_author)),
            Verdict::Accepted);
  EXPECT_EQ(e.pending.rows(),
            std::vector<std::string>{"1001\tJ\xC3\xB6rg <j@x>\t700\tCaf\xC3\xA9 du port .jpg (1/1)"});
  // An author blacklisted before in its raw form, and one blacklisted by its decoded form.
  e.blacklist.add_at_top(raw_author, 10);
  EXPECT_EQ(sel.examine(line("caf\xC3\xA9.jpg (1/1)", "700", "1 Dec 2026 10:00:00 GMT", raw_author, "<m2@x>")),
            Verdict::Blacklisted);
  e.blacklist.add_at_top("Zo\xC3\xAB <z@x>", 10);
  EXPECT_EQ(sel.examine(line("caf\xC3\xA9.gif (1/1)", "700", "1 Dec 2026 10:00:00 GMT", "=?UTF-8?B?Wm/Dqw==?= <z@x>",
                             "<m3@x>")),
            Verdict::Blacklisted);
  // A control character brought in by decoding cannot split the queued row.
  EXPECT_EQ(sel.examine(line("=?UTF-8?Q?a=09b?= caf\xC3\xA9.png (1/1)", "700", "1 Dec 2026 10:00:00 GMT",
                             "Ann <a@x>", "<m4@x>")),
            Verdict::Accepted);
  EXPECT_EQ(e.pending.rows().back(), "1001\tAnn <a@x>\t700\ta b caf\xC3\xA9.png (1/1)");
}

TEST_F(Selector, APartOfAPictureSetIsNeverADuplicatePosting) {
  set([](Settings& s) { s.check_subject = 0; });
  EXPECT_EQ(sel.examine(line("\"set.jpg\" yEnc (1/2)")), Verdict::Accepted);
  // The same part again (a repost after a broken copy) is queued too; an archive's is not.
  EXPECT_EQ(sel.examine(line("\"set.jpg\" yEnc (1/2)", "700", "1 Dec 2026 10:00:00 GMT", "Joe <joe@x>", "<m2@x>")),
            Verdict::Accepted);
  EXPECT_EQ(sel.examine(line("\"a.rar\" yEnc (1/2)", "700", "1 Dec 2026 10:00:00 GMT", "Joe <joe@x>", "<m3@x>")),
            Verdict::Accepted);
  EXPECT_EQ(sel.examine(line("\"a.rar\" yEnc (1/2)", "700", "1 Dec 2026 10:00:00 GMT", "Joe <joe@x>", "<m4@x>")),
            Verdict::DuplicatePosting);
}

TEST_F(Selector, DatesThatCannotBeRead) {
  set([](Settings& s) {
    s.check_date = 0;
    s.detailed_status_logging_enabled = 0;
  });
  EXPECT_EQ(sel.examine(line("a.jpg (1/1)", "700", "Mon, 1 Sep 1997 12:00 GMT")), Verdict::Accepted);
  EXPECT_EQ(log_lines(), (std::vector<std::string>{" - UNKNOWN ARTICLE DATE FORMAT...",
                                                   "+--- - Mon, 1 Sep 1997 12:00 GMT"}));
  EXPECT_EQ(sel.examine(line("b.jpg (1/1)", "700", "")), Verdict::Accepted);
  EXPECT_EQ(log_lines().size(), 4u);
  set([](Settings& s) {
    s.check_minlines = 0;
    s.check_subject = 0;
  });
  EXPECT_EQ(sel.examine("7\tno date here\tauthor"), Verdict::Accepted);  // silently
  EXPECT_EQ(log_lines().size(), 4u);
  EXPECT_EQ(e.pending.at(2), "7\tauthor\t\tno date here");
}

TEST_F(Selector, LongSubjectsAndBigNumbers) {
  set([](Settings& s) { s.detailed_status_logging_enabled = 0; });
  ArticleSelector big(e.ctx, "g", 4'000'000'000, 6'000'000'000);
  const std::string subject = "big.jpg (1/1) " + std::string(100'000, 'z');
  EXPECT_EQ(big.examine(line(subject, "700", "1 Dec 2026 1:1:1", "a", "<1>", "5000000000")),
            Verdict::Accepted);
  EXPECT_EQ(log_lines(), std::vector<std::string>{"+------- - Subject Too Long (>250 char)"});
  EXPECT_EQ(e.pending.at(0), "5000000000\ta\t700\t" + subject.substr(0, 249));
  EXPECT_EQ(e.view.progress(ControlId::ArticleProgress), 50);
  big.examine(line("x", "1", "d", "a", "<2>", "9223372036854775807"));
  EXPECT_EQ(e.view.progress(ControlId::ArticleProgress), 100);
  big.examine(line("x", "1", "d", "a", "<3>", "junk"));
  EXPECT_EQ(e.view.progress(ControlId::ArticleProgress), 0);
}

TEST_F(Selector, HostileLinesNeverBreakTheChain) {
  set([](Settings& s) {
    s.check_minlines = 0;
    s.check_subject = 0;
    s.check_date = 1;
  });
  const std::string hostile[] = {
      "",
      "\t",
      std::string(100'000, '\t'),
      std::string("1\tnul\0.jpg\tauthor\t1 Jan 2026 1:1:1", 33),
      std::string(100'000, '.') + "jpg",
      "1\t\xff\xfe\x80.gif (1/1) \xe9t\xe9.jpg\t\xc3\x28\t\t\t\t\t-1",
      "99999999999999999999999\ts\ta\t99999999999 Jan -99999999999 99999999999:0:0\t\t\t\t-99999999999",
      "1\ts\ta\tMon, 31 Foo 2026 25:61:61\t\t\t\t4294967296",
  };
  for (const auto& h : hostile) sel.examine(h);
  EXPECT_EQ(e.state.articles_examined, 8);
  for (const auto& row : e.pending.rows()) EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 3) << row;
  EXPECT_EQ(e.pending.at(1), "1\t\t\tnul");  // the line ends at its NUL
}

}  // namespace
}  // namespace fk
