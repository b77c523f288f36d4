// SPDX-License-Identifier: GPL-3.0-or-later
// The article loop against the test server: filing, recording, free space, odd bodies and the races.
#include "session/article_loop.h"

#include <unistd.h>

#include <tuple>

#include "common/full_disk.h"
#include "server/yenc_encoder.h"
#include "session/article_fixture.h"
#include "store/status_log.h"

namespace fk {
namespace {

using test::Fault;
using test::FaultAction;
using test::read_file;
using Kind = ArticleLoopResult::Kind;
using Strings = std::vector<std::string>;

constexpr const char* kGroup = "alt.test";
constexpr const char* kAuthor = "Fennick Test <test@fennick.invalid>";

class ArticleLoopTest : public test::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    h.change([](Settings& s) { s.minlines = 2; });
  }
  // A posting in the group and its pending row.
  std::int64_t add(const std::string& subject, std::string body) {
    test::ServerArticle a;
    a.overview.subject = subject;
    a.body = std::move(body);
    std::int64_t n = content->add_article(kGroup, std::move(a));
    auto o = content->article(kGroup, n)->overview;
    h.pending.append(std::to_string(n) + "\t" + o.author + "\t" + std::to_string(o.lines) + "\t" + subject);
    return n;
  }
  std::int64_t add_lines(int count) {
    std::string body;
    for (int i = 0; i < count; ++i) body += "text line " + std::to_string(i) + "\n";
    return add("lines " + std::to_string(count), body);
  }
  ArticleLoopResult run() {
    if (!sock.is_open()) open_group(kGroup);
    return run_article_loop(h.ctx, sock, [this](std::int64_t n) { done.push_back(n); });
  }
  std::vector<std::int64_t> done;  // what the loop's `finished` heard, in order
  // The body part of temp.uue (after the row and its empty line).
  static std::string work_body() {
    std::string w = read_file("temp.uue");
    std::size_t cut = w.find("\n\n");
    return cut == std::string::npos ? w : w.substr(cut + 2);
  }
  static std::string id(std::int64_t n) {
    std::string s = "<";  // appended piecewise: g++ 12 warns falsely on this operator+ chain
    s += std::to_string(n);
    return s + ".alt.test@fennick.invalid>";
  }
};

TEST_F(ArticleLoopTest, UuencodedPictureWithDottedLinesDecodesAndIsRecorded) {
  // 14 bytes in the last data line make its count character a dot, which the server doubles.
  std::string bytes = test::demo_picture("sunset.jpg");
  bytes.resize(bytes.size() + (59 - bytes.size() % 45) % 45, '\0');
  ASSERT_EQ(bytes.size() % 45, 14u);
  std::int64_t n = add("Sunset SUNSET.JPG (1/1)", test::uuencode("SUNSET.JPG", bytes));
  h.change([](Settings& s) { s.display_as_downloaded = 1; });

  EXPECT_EQ(run().kind, Kind::ListEmpty);

  EXPECT_EQ(read_file("pictures/alt.test/SUNSET.JPG"), bytes);
  EXPECT_EQ(h.dialogs.opened(), Strings{"pictures/alt.test/SUNSET.JPG"});
  EXPECT_EQ(read_file("HISTORY.FNK"), id(n) + "\n");
  EXPECT_EQ(read_file("FILENAMES.FNK"), "SUNSET.JPG\n");
  EXPECT_EQ(h.article_ids.entries(), Strings{id(n)});
  EXPECT_EQ(read_file("files.log"), files_log_line("SUNSET.JPG", static_cast<std::int64_t>(bytes.size()),
                                                   std::string(kAuthor) + "\tSunset SUNSET.JPG (1/1)"));
  EXPECT_EQ(h.state.pictures_downloaded, 1);
  EXPECT_EQ(h.state.archive_pic_count, 1);
  EXPECT_EQ(h.state.article_line, content->article(kGroup, n)->overview.lines);
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "  0 Pending Downloads");
  EXPECT_EQ(h.view.text(ControlId::PictureSummary),
            "1 picture(s) downloaded from 0 articles, 0 duplicates skipped, 0 base64, 0 unknown format");
  EXPECT_EQ(h.view.text_history(ControlId::DownloadStatus), (Strings{"", "Downloading Article 1"}));
  EXPECT_EQ(h.clock.slept_ms(), 3000 + 1000);  // the drain before BODY and the wait after the body
  EXPECT_EQ(h.level_of("1\t" + std::string(kAuthor) + "\t" + std::to_string(h.state.article_line.load()) +
                       "\tSunset SUNSET.JPG (1/1)"),
            2);
  EXPECT_EQ(server.commands().back(), "body 1");
}

TEST_F(ArticleLoopTest, BodyNoLongerThanMinlinesIsDiscardedButRecorded) {
  h.change([](Settings& s) { s.minlines = 50; });
  std::int64_t short_one = add_lines(50), long_one = add_lines(51);
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_TRUE(h.logged_in_order({"Article Discarded - Too Few Lines", "MIME64 -- no picture in the article"}));
  EXPECT_EQ(h.article_ids.entries(), (Strings{id(long_one), id(short_one)}));
  // The discarded one counts as before; the text that was read is no picture.
  EXPECT_EQ(h.state.pictures_downloaded, 1);
  EXPECT_EQ(h.state.unknown_format_count, 1);
}

TEST_F(ArticleLoopTest, DecodingOffFilesTheBodyUnderRawAndRecordsItsName) {
  h.change([](Settings& s) { s.check_decode = 0; });
  add_lines(3);
  const std::string raw = "raw/R" + filing_stamp(test::FakeClock::kDefaultEpoch + 4) + ".TXT";
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(read_file(raw).substr(read_file(raw).find("\n\n") + 2),
            "text line 0\ntext line 1\ntext line 2\n");
  EXPECT_FALSE(test::exists("temp.uue"));
  EXPECT_EQ(h.filenames.entries(), Strings{raw});
  EXPECT_EQ(h.level_of(raw), 3);
  // The stored size is looked up under pictures/, where a raw file never is.
  EXPECT_EQ(read_file("files.log"), files_log_line(raw, 0, std::string(kAuthor) + "\tlines 3"));
  EXPECT_EQ(h.clock.slept_ms(), 3000 + 1000 + 1000);
}

TEST_F(ArticleLoopTest, BodyNeitherDecoderCanDecodeIsCopiedToUnknown) {
  add("greeting.jpg", "hello\nworld\nagain\n");
  EXPECT_EQ(run().kind, Kind::ListEmpty);

  // Besides the filed body, the base64 decoder keeps its own inspection copy of an implausible decode.
  auto unknown = test::files_in("unknown");
  // Filed after 5.1 s of waits: the drain, the end of the body and the generated base64 name.
  const std::string filed = "WTF" + filing_stamp(test::FakeClock::kDefaultEpoch + 5) + ".TXT";
  ASSERT_EQ(unknown, (Strings{filed, "bad_decode00.txt"}));
  EXPECT_EQ(read_file("unknown/" + unknown[0]), read_file("temp.uue"));
  EXPECT_EQ(h.state.unknown_format_count, 1);
  EXPECT_EQ(h.state.base64_count, 0);
  // Only the base64 decoder tried (no begin line for uuencode): one complaint, no uudecode line.
  EXPECT_EQ(h.dialogs.beeps(), (std::vector<Beep>{Beep::Exclamation}));
  EXPECT_FALSE(h.logged("Trying BASE64 decode"));
  EXPECT_FALSE(h.logged("UUDECODE - No begin line found"));
  EXPECT_EQ(h.level_of("unknown/" + unknown[0]), 3);
  // The few bytes the text makes as base64 are no picture: nothing under pictures/, nothing counted.
  EXPECT_TRUE(test::files_in("pictures/alt.test").empty());
  EXPECT_TRUE(h.filenames.entries().empty());
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  EXPECT_EQ(h.article_ids.count(), 1u);  // never fetched again
  EXPECT_EQ(h.clock.slept_ms(), 3000 + 1000 + 1100 + 1200);
}

TEST_F(ArticleLoopTest, ATextReplyUnderAPictureSubjectIsNeitherFiledNorCountedAsAPicture) {
  // Take-all rules let a short reply through; its words read as base64 make a few bytes of nothing.
  h.change([](Settings& s) { s.minlines = 0; });
  add("Re: beach.jpg (1/1)", "Nice\nshot\nthanks\nJoe\n");
  // A uuencoded body whose name says picture but whose bytes are none.
  add("notes.jpg (1/1)", test::uuencode("notes.jpg", std::string(200, 'x')));
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_TRUE(test::files_in("pictures/alt.test").empty());
  EXPECT_TRUE(h.filenames.entries().empty());
  EXPECT_FALSE(test::exists("files.log"));
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  EXPECT_EQ(h.state.archive_pic_count, 0);
  EXPECT_EQ(h.state.unknown_format_count, 2);
  EXPECT_EQ(read_file("unknown/notes.jpg"), std::string(200, 'x'));
  EXPECT_EQ(h.article_ids.count(), 2u);
}

TEST_F(ArticleLoopTest, YencPicturesAreFiledAndBrokenOnesAndPartsGoToUnknown) {
  const std::string bytes = test::demo_picture("sunset.jpg");
  std::string damaged = test::yenc_encode("broken.jpg", bytes);
  damaged.replace(damaged.rfind("crc32=") + 6, 8, "00000000");
  std::int64_t good = add("\"sunset.jpg\" yEnc (1/1)", test::yenc_encode("sunset.jpg", bytes));
  std::int64_t bad = add("\"broken.jpg\" yEnc (1/1)", damaged);
  std::int64_t part = add("\"set.jpg\" yEnc (2/3)", test::yenc_encode_part("set.jpg", bytes, 2, 3, 1000, 2000));
  // A repost of the same picture: recorded, not stored twice.
  std::int64_t again = add("\"sunset.jpg\" yEnc (1/1)", test::yenc_encode("sunset.jpg", bytes));

  EXPECT_EQ(run().kind, Kind::ListEmpty);

  EXPECT_EQ(test::files_in("pictures/alt.test"), Strings{"sunset.jpg"});
  EXPECT_EQ(read_file("pictures/alt.test/sunset.jpg"), bytes);
  EXPECT_EQ(h.filenames.entries(), (Strings{"sunset.jpg", "sunset.jpg"}));
  const std::string logged_file = files_log_line("sunset.jpg", static_cast<std::int64_t>(bytes.size()),
                                                 std::string(kAuthor) + "\t\"sunset.jpg\" yEnc (1/1)");
  EXPECT_EQ(read_file("files.log"), logged_file + logged_file);
  EXPECT_EQ(h.article_ids.entries(), (Strings{id(again), id(part), id(bad), id(good)}));
  EXPECT_EQ(test::files_in("unknown").size(), 2u);
  EXPECT_EQ(h.state.unknown_format_count, 2);
  EXPECT_EQ(h.state.pictures_downloaded, 2);
  EXPECT_EQ(h.level_of("YENC - sunset.jpg is already stored with the same bytes"), 3);
  EXPECT_EQ(h.level_of("YENC - Decoded sunset.jpg (" + std::to_string(bytes.size()) + " bytes)"), 3);
  EXPECT_EQ(h.level_of("YENC - CRC Error in broken.jpg... file kept in unknown/"), 3);
  EXPECT_EQ(h.level_of("YENC - set.jpg is part 2 of 3 of a set... kept in unknown/"), 3);
  EXPECT_FALSE(h.logged("Trying BASE64 decode"));
}

TEST_F(ArticleLoopTest, APictureThatDoesNotFitEndsTheSessionAndRecordsNothing) {
  test::FullDisk disk(100000);
  h.decoders.set_file_writer(disk);
  std::string big(400000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 13);
  add("\"big.jpg\" yEnc (1/1)", test::yenc_encode("big.jpg", big));
  add_lines(3);

  EXPECT_EQ(run().kind, Kind::OrderlyEnding);

  EXPECT_TRUE(test::files_in("pictures/alt.test").empty());  // no cut-short picture, no temporary file
  EXPECT_TRUE(test::files_in("unknown").empty());
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_FALSE(test::exists("HISTORY.FNK"));
  EXPECT_FALSE(test::exists("files.log"));
  EXPECT_EQ(h.pending.count(), 2u);
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  const std::string text = "Downloads Aborted, the disk is full: could not write pictures/alt.test/big.jpg";
  EXPECT_EQ(h.level_of(text), 0);
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), text);
  EXPECT_EQ(h.state.refusal, SessionState::kWriteFailed);
  EXPECT_EQ(h.state.write_error, ENOSPC);
  EXPECT_EQ(server.commands().back(), "body 1");
}

TEST_F(ArticleLoopTest, APictureFolderThatCannotBeWrittenIsAWriteFailureNotAnUnknownFormat) {
  test::write_file("pictures/alt.test", "a file where the group's folder should be");
  add("greeting.jpg", test::uuencode("greeting.jpg", "hello"));
  EXPECT_EQ(run().kind, Kind::OrderlyEnding);
  EXPECT_TRUE(test::files_in("unknown").empty());
  EXPECT_EQ(h.state.unknown_format_count, 0);
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_TRUE(h.logged("Downloads Aborted, could not write pictures/alt.test/greeting.jpg: Not a directory"));
  EXPECT_EQ(h.dialogs.boxes().size(), 1u);
}

TEST_F(ArticleLoopTest, APictureAlreadyStoredWithTheSameBytesIsRecordedWithoutACopy) {
  // A crash after the picture and before the history: the next run fetches the article again.
  ::mkdir("pictures/alt.test", 0755);
  const std::string same = "\xFF\xD8\xFF\xE0" + std::string(100, 's');
  test::write_file("pictures/alt.test/again.jpg", same);
  std::int64_t n = add("again.jpg", test::uuencode("again.jpg", same));
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(test::files_in("pictures/alt.test"), Strings{"again.jpg"});
  EXPECT_EQ(h.article_ids.entries(), Strings{id(n)});
  EXPECT_EQ(h.filenames.entries(), Strings{"again.jpg"});
}

struct SpaceCase {
  const char* name;
  std::uint64_t blocks;  // of 4096 bytes: 5,000,000 / 4096 = 1220 is enough
  bool failing_query;
  bool unattended;
  bool aborts;
};

class FreeSpaceTest : public ArticleLoopTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(FreeSpaceTest, TooLittleSpaceEndsBeforeTheNextArticle) {
  const SpaceCase& c = GetParam();
  h.disk.set(c.blocks, 4096);
  h.disk.set_failing(c.failing_query);
  h.change([&](Settings& s) { s.unattended_operation = c.unattended; });
  add_lines(3);

  ArticleLoopResult r = run();
  EXPECT_EQ(r.kind, c.aborts ? Kind::OrderlyEnding : Kind::ListEmpty);
  EXPECT_EQ(h.logged("Downloads Aborted, <5mb of Disk Space Remaining"), c.aborts);
  EXPECT_EQ(h.state.refusal, c.aborts ? SessionState::kWriteFailed : SessionState::kNoRefusal);
  EXPECT_EQ(h.pending.count(), c.aborts ? 1u : 0u);
  EXPECT_EQ(bodies_asked().size(), c.aborts ? 0u : 1u);
  auto boxes = h.dialogs.boxes();
  ASSERT_EQ(boxes.size(), c.aborts && !c.unattended ? 1u : 0u);
  if (!boxes.empty()) {
    EXPECT_EQ(boxes[0].text, "Less Than 5mb Of Disk Space Remaining");
    EXPECT_EQ(boxes[0].caption, "Fennick Download Aborted");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FreeSpaceTest,
                         ::testing::Values(SpaceCase{"OneBlockShort", 1219, false, false, true},
                                           SpaceCase{"JustEnough", 1220, false, false, false},
                                           SpaceCase{"UnattendedAsksNothing", 0, false, true, true},
                                           SpaceCase{"FailedQueryCountsAsEnough", 0, true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArticleLoopTest, WorkFileThatWillNotOpenIsRetriedUntilItOpens) {
  ASSERT_EQ(::mkdir("temp.uue", 0755), 0);
  int tries = 0;
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text.empty() && ++tries == 3) ::rmdir("temp.uue");
  };
  add_lines(3);
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  auto texts = h.log_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "ERROR: File Open temp.uue - Write 006"), 2);
  EXPECT_EQ(h.article_ids.count(), 1u);
}

TEST_F(ArticleLoopTest, BodyThatCannotBeWrittenWholeIsNotRecorded) {
  ASSERT_EQ(::symlink("/dev/full", "temp.uue"), 0);
  add_lines(3);
  EXPECT_EQ(run().kind, Kind::OrderlyEnding);
  EXPECT_EQ(h.level_of("ERROR: File Write temp.uue - Write 006"), 0);
  EXPECT_EQ(h.view.text(ControlId::DownloadStatus), "ERROR: File Write temp.uue - Write 006");
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_FALSE(test::exists("HISTORY.FNK"));
  EXPECT_EQ(h.pending.count(), 1u);
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  // A failure, not a success: the headless run ends with the disk-full status.
  EXPECT_EQ(h.state.refusal, SessionState::kWriteFailed);
  EXPECT_EQ(h.state.write_error, ENOSPC);
  EXPECT_FALSE(test::exists("temp.uue"));
}

// No server decides how much disk an article takes: max_article_mb bounds every body, and the size
// the overview gave bounds it tighter. An article past its bound is not asked for again in this run.
TEST_F(ArticleLoopTest, ABodyPastItsBoundIsGivenUpOnceAndNeverFiled) {
  auto gave_up = [&] {
    std::vector<std::string> lines;
    for (const auto& t : h.log_texts())
      if (t.rfind("Gave up on article ", 0) == 0) lines.push_back(t);
    return lines;
  };
  for (auto [limit_mb, declared, bound] : {std::tuple{1, 0ull, 1048576ull}, std::tuple{256, 5000ull, 1058576ull},
                                           std::tuple{1, 900000ull, 1048576ull}}) {
    ::unlink("fk.log");
    h.change([mb = limit_mb](Settings& s) { s.max_article_mb = mb; });
    const std::string n = std::to_string(add_lines(3));
    server.add_fault({"BODY " + n, 0, FaultAction::Flood, "222 " + n + " <f@x> body\r\n", std::string(70, 'F') + "\r\n"});
    const PendingArticle row = *h.pending.front();
    if (declared) h.pending.note_declared_bytes(row, declared);
    EXPECT_EQ(run().kind, Kind::BailOut);
    ASSERT_EQ(gave_up().size(), 1u) << bound;
    EXPECT_NE(gave_up()[0].find(" " + n + " <f@x>: its body passed its bound of " + std::to_string(bound) +
                                " bytes: lines 3"),
              std::string::npos)
        << gave_up()[0];
    EXPECT_FALSE(test::exists("temp.uue"));
    EXPECT_EQ(h.pending.count(), 0u);
    EXPECT_EQ(h.article_ids.count(), 0u);
    sock.close();

    // The next scan lists it again; it is passed over without a BODY.
    const std::size_t asked = bodies_asked().size();
    h.pending.append(row);
    EXPECT_EQ(run().kind, Kind::ListEmpty);
    EXPECT_EQ(bodies_asked().size(), asked);
    sock.close();
  }
}

TEST_F(ArticleLoopTest, StopBeforeAnArticleEndsOrderly) {
  add_lines(3);
  open_group(kGroup);
  h.state.stop_requested = 1;
  EXPECT_EQ(run().kind, Kind::OrderlyEnding);
  EXPECT_EQ(h.level_of("User Pressed Stop Button On Screen"), 0);
  EXPECT_TRUE(bodies_asked().empty());
}

// The window's list commands while article 1 downloads.
TEST_F(ArticleLoopTest, SkipGroupDuringADownloadFinishesAndRecordsTheArticle) {
  for (int i = 0; i < 3; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Downloading Article 1") h.pending.clear();
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(bodies_asked(), Strings{"1"});
  EXPECT_EQ(h.article_ids.entries(), Strings{id(1)});
  EXPECT_EQ(h.view.text(ControlId::PendingBox), "  0 Pending Downloads");
}

TEST_F(ArticleLoopTest, DeletedRowZeroMakesTheNextRowGoUnfetched) {
  for (int i = 0; i < 3; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Downloading Article 1") h.pending.remove(0);
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "3"}));
  EXPECT_EQ(h.article_ids.entries(), (Strings{id(3), id(1)}));
}

TEST_F(ArticleLoopTest, DownloadNextRowIsFetchedNext) {
  for (int i = 0; i < 4; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Downloading Article 1") h.pending.move_to_next(3);
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "4", "2", "3"}));
}

struct WireCase {
  const char* name;
  std::string wire;  // what follows the 222 line
  std::string written;
  unsigned lines;
};

class BodyWireTest : public ArticleLoopTest, public ::testing::WithParamInterface<WireCase> {};

TEST_P(BodyWireTest, LinesReachTheWorkFileAsTheRulesSay) {
  const WireCase& c = GetParam();
  h.change([](Settings& s) { s.minlines = 1000; });  // discarded, so temp.uue stays to be read
  server.add_fault({"BODY 1", 0, FaultAction::Reply, "222 1 <w@x> body\r\n" + c.wire});
  add_lines(3);
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(work_body(), c.written);
  EXPECT_EQ(h.state.article_line, c.lines);
  EXPECT_EQ(h.article_ids.entries(), Strings{"<w@x>"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BodyWireTest,
    ::testing::Values(WireCase{"DotWithLineFeedOnlyIsData", "a\r\n.\nb\r\n.\r\n", "a\n.\nb\n", 3},
                      // The terminator alone ends the body, however much follows it.
                      WireCase{"TerminatorEndsTheBodyWhateverFollows", "a\r\n.\r\nb\r\n.\r\n", "a\n", 1},
                      WireCase{"EmptyLinesAndBlanksAreKept", "a\r\n\r\n \tb\r\n\r\n.\r\n", "a\n\n \tb\n\n", 4},
                      WireCase{"DotStuffingIsUndone", "..a\r\n..\r\n...\r\n.\r\n", ".a\n.\n..\n", 3},
                      WireCase{"NulsAndLoneCarriageReturnsAreKept", std::string("a\0b\r\n\0c\rd\r\n.\r\n", 14),
                               std::string("a\0b\n\0c\rd\n", 9), 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArticleLoopTest, MegabyteLineArrivesWholeWithoutLogLines) {
  h.change([](Settings& s) { s.minlines = 5000; });
  // A CR right at a piece boundary of the reader must still pair with its LF.
  std::string line = std::string(65535, 'M') + "\r" + std::string(1000000, 'N');
  server.add_fault({"BODY 1", 0, FaultAction::Reply, "222 1 <m@x>\r\n" + line + "\r\n.\r\n"});
  add_lines(3);
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(h.state.article_line, 1u);
  EXPECT_EQ(work_body(), line + "\n");
  EXPECT_FALSE(h.logged("Line Buffer Filled in get_socket_string()"));
}

struct CutCase {
  const char* name;
  std::string sent;
  const char* message;
};

class CutBodyTest : public ArticleLoopTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutBodyTest, LostConnectionBailsOutAndRecordsNothing) {
  server.add_fault({"BODY 1", 0, FaultAction::Drop, GetParam().sent});
  add_lines(3);
  ArticleLoopResult r = run();
  EXPECT_EQ(r.kind, Kind::BailOut);
  EXPECT_EQ(r.message, GetParam().message);
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_FALSE(test::exists("HISTORY.FNK"));
  EXPECT_EQ(h.pending.count(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, CutBodyTest,
                         ::testing::Values(CutCase{"NoReply", "", "Socket Rx Error 007"},
                                           CutCase{"MidBody", "222 1 <c@x>\r\nbegin 644 a.jpg\r\nM",
                                                   "Socket Rx Error 008"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ArticleLoopTest, StopWhileAServerFallsSilentMidBodyBailsOut) {
  const std::string sent = "222 1 <s@x>\r\nbegin 644 a.jpg\r\nM86)C";
  server.add_fault({"BODY 1", 0, FaultAction::Stall, sent});
  add_lines(3);
  open_group(kGroup);
  const std::int64_t before = h.state.byte_count;
  ArticleLoopResult r;
  std::thread loop([&] { r = run(); });
  // Past the reply and the begin line, the body loop is reading: any STOP from now on fails a read.
  ASSERT_TRUE(eventually([&] { return h.state.byte_count >= before + 13 + 17; }));
  h.state.stop_requested = 1;
  loop.join();
  EXPECT_EQ(r.kind, Kind::BailOut);
  EXPECT_EQ(r.message, "Socket Rx Error 008");
  EXPECT_EQ(h.article_ids.count(), 0u);
}

// ---- Fast transfers: BODY commands sent ahead ----

class PipelineTest : public ArticleLoopTest {
 protected:
  void SetUp() override {
    ArticleLoopTest::SetUp();
    h.change([](Settings& s) { s.fast_transfers = 1; });
  }
  void depth(int d) {
    h.change([d](Settings& s) { s.pipeline_depth = d; });
  }
  // Message-ids of the numbers, newest first as the history holds them.
  static Strings ids_newest_first(std::initializer_list<std::int64_t> numbers) {
    Strings out;
    for (std::int64_t n : numbers) out.insert(out.begin(), id(n));
    return out;
  }
};

class PipelineDepthTest : public PipelineTest, public ::testing::WithParamInterface<int> {};

TEST_P(PipelineDepthTest, EveryBodyIsFiledWholeInOrderWithoutWaits) {
  depth(GetParam());
  h.change([](Settings& s) { s.check_decode = 0; });  // raw files: every byte comes back to compare
  Strings bodies;
  for (int i = 0; i < 20; ++i) {
    // From three lines to some 400 KB, dotted lines included.
    std::string body;
    const int lines = i == 7 ? 6000 : 3 + (i * 37) % 90;
    for (int l = 0; l < lines; ++l) body += (l % 5 == 0 ? ".dot " : "line ") + std::to_string(i * 1000 + l) + " " + std::string(l % 61, 'x') + "\n";
    bodies.push_back(body);
    add("article " + std::to_string(i), body);
  }
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(h.clock.slept_ms(), 0);
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.article_ids.count(), 20u);
  EXPECT_EQ(h.article_ids.at(0), id(20));
  EXPECT_EQ(h.article_ids.at(19), id(1));
  Strings asked = bodies_asked();
  ASSERT_EQ(asked.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(asked[static_cast<std::size_t>(i)], std::to_string(i + 1));
  // The fake clock stands still, so all share one stamp: none may overwrite another.
  Strings raw = test::files_in("raw");
  ASSERT_EQ(raw.size(), 20u);
  Strings names = h.filenames.entries();
  for (int i = 0; i < 20; ++i) {
    std::string filed = read_file(names[static_cast<std::size_t>(19 - i)]);
    std::size_t cut = filed.find("\n\n");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(filed.substr(cut + 2), bodies[static_cast<std::size_t>(i)]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, PipelineDepthTest, ::testing::Values(1, 2, 8, 64));

TEST_F(PipelineTest, RefusedBodyInTheMiddleSkipsOnlyItsRow) {
  depth(8);
  for (int i = 0; i < 6; ++i) add_lines(3);
  server.add_fault({"BODY 3", 0, FaultAction::Reply, "430 No such article\r\n"});
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(h.article_ids.entries(), ids_newest_first({1, 2, 4, 5, 6}));
  EXPECT_TRUE(h.logged("Bad response to body command"));
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(done, (std::vector<std::int64_t>{1, 2, 3, 4, 5, 6}));  // the refused one moves the scan mark too
}

TEST_F(PipelineTest, ConnectionDroppedAfterSomeRepliesKeepsTheRestAndHalfABodyIsNotRecorded) {
  depth(8);
  for (int i = 0; i < 8; ++i) add_lines(3);
  server.add_fault({"BODY 5", 0, FaultAction::Drop, "222 5 <half@x>\r\nline one\r\nline t"});
  ArticleLoopResult r = run();
  EXPECT_EQ(r.kind, Kind::BailOut);
  EXPECT_EQ(r.message, "Socket Rx Error 008");
  EXPECT_EQ(h.article_ids.entries(), ids_newest_first({1, 2, 3, 4}));
  EXPECT_EQ(done, (std::vector<std::int64_t>{1, 2, 3, 4}));
  ASSERT_EQ(h.pending.count(), 4u);
  EXPECT_EQ(h.pending.front()->substr(0, 2), "5\t");
}

TEST_F(PipelineTest, StopWithEightOutstandingClosesTheConnectionAndKeepsTheRows) {
  depth(8);
  for (int i = 0; i < 12; ++i) add_lines(3);
  server.add_fault({"BODY 1", 0, FaultAction::Stall, ""});
  open_group(kGroup);
  ArticleLoopResult r;
  std::thread loop([&] { r = run(); });
  ASSERT_TRUE(server.wait_for_commands(1 + 8));  // GROUP, then eight BODYs
  h.state.stop_requested = 1;
  loop.join();
  EXPECT_EQ(r.kind, Kind::OrderlyEnding);
  EXPECT_FALSE(sock.is_open());
  EXPECT_EQ(bodies_asked().size(), 8u);
  EXPECT_EQ(h.pending.count(), 12u);
  EXPECT_EQ(h.article_ids.count(), 0u);
  EXPECT_TRUE(server.wait_until_idle());
}

TEST_F(PipelineTest, DownloadNextActsOnRowsNotYetAsked) {
  depth(2);
  for (int i = 0; i < 5; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text == "Downloading Article 1") h.pending.move_to_next(4);
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2", "5", "3", "4"}));
  EXPECT_EQ(h.article_ids.count(), 5u);
}

TEST_F(PipelineTest, RemovedRowsAreNotAskedButAnAskedOneIsStillFiled) {
  depth(2);
  for (int i = 0; i < 5; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id != ControlId::DownloadStatus || text != "Downloading Article 1") return;
    h.pending.remove(1);  // row 2, already asked for
    h.pending.remove(2);  // row 4 (rows are now 1 3 4 5)
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2", "3", "5"}));
  EXPECT_EQ(h.article_ids.entries(), ids_newest_first({1, 2, 3, 5}));
  EXPECT_TRUE(h.pending.empty());
}

TEST_F(PipelineTest, SkipGroupAndTheBozoBucketApplyWhenTheBodyArrives) {
  depth(2);
  for (int i = 0; i < 5; ++i) add_lines(3);
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id != ControlId::DownloadStatus || text != "Downloading Article 2") return;
    h.blacklist.add_at_top(kAuthor, 10);
    h.pending.clear();
  };
  EXPECT_EQ(run().kind, Kind::ListEmpty);
  // Rows 1 and 2 were asked for: 1 is filed before, 2 arrives after the author went to the bucket.
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2", "3"}));
  EXPECT_EQ(h.article_ids.entries(), ids_newest_first({1}));
  EXPECT_TRUE(h.logged("Article Dropped - Author In Bozo Bucket"));
  EXPECT_EQ(done, (std::vector<std::int64_t>{1, 2, 3}));  // 3 was asked for too, and dropped
}

TEST_F(PipelineTest, APictureThatCannotBeWrittenEndsTheSessionWithRepliesStillDue) {
  depth(8);
  add_lines(3);
  test::write_file("pictures/alt.test", "a file where the group's folder should be");
  add("greeting.jpg", test::uuencode("greeting.jpg", "hello"));
  for (int i = 0; i < 4; ++i) add_lines(3);
  EXPECT_EQ(run().kind, Kind::OrderlyEnding);
  EXPECT_EQ(h.state.refusal, SessionState::kWriteFailed);
  EXPECT_EQ(h.article_ids.entries(), ids_newest_first({1}));
  EXPECT_EQ(done, (std::vector<std::int64_t>{1}));
  // The picture's row and the ones asked for behind it stay for the next session.
  ASSERT_EQ(h.pending.count(), 5u);
  EXPECT_EQ(h.pending.front()->substr(0, 2), "2\t");
  EXPECT_EQ(bodies_asked().size(), 6u);
  EXPECT_EQ(h.clock.slept_ms(), 0);
}

}  // namespace
}  // namespace fk
