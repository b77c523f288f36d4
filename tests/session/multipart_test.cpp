// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures posted in several articles: the subject's counter, collecting parts across articles and
// sessions, assembly, and sets whose parts disagree.
#include <algorithm>
#include <random>

#include "common/full_disk.h"
#include "decode/parts_store.h"
#include "server/yenc_encoder.h"
#include "session/article_fixture.h"
#include "session/article_loop.h"
#include "session/article_selection.h"
#include "session/session_thread.h"

namespace fk {
namespace {

using test::files_in;
using test::read_file;
using Strings = std::vector<std::string>;

constexpr const char* kGroup = "alt.test";
constexpr const char* kAuthor = "Poster <poster@parts.invalid>";

using test::picture_bytes;
using test::yenc_parts;

TEST(PartSubjectTest, TheLastCounterWithASensiblePartAndTotalCounts) {
  auto part = parse_part_subject("[03/10] - \"panorama.jpg\" yEnc (1/4)");
  ASSERT_TRUE(part);
  EXPECT_EQ(part->name, "panorama.jpg");
  EXPECT_EQ(part->part, 1u);
  EXPECT_EQ(part->total, 4u);
  part = parse_part_subject("panorama.jpg [3/3]");
  ASSERT_TRUE(part);
  EXPECT_EQ(part->part, 3u);
  // A single part, a part beyond its total, part 0, no name, and a counter that is not last.
  for (const char* s : {"panorama.jpg (1/1)", "panorama.jpg (5/4)", "panorama.jpg (0/4)", "no name here (1/4)",
                        "panorama.jpg (1/4) [1/1]", "panorama.jpg (1/4", "panorama.jpg (a/4)", "panorama.jpg (/4)"})
    EXPECT_FALSE(parse_part_subject(s)) << s;
}

class MultipartTest : public test::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    h.change([](Settings& s) {
      s.minlines = 2;
      s.collect_multipart = 1;
    });
  }
  // A posting in the group and, unless only posted, its pending row.
  std::int64_t add(const std::string& subject, std::string body, const std::string& author = kAuthor,
                   bool queue = true) {
    test::ServerArticle a;
    a.overview.subject = subject;
    a.overview.author = author;
    a.body = std::move(body);
    std::int64_t n = content->add_article(kGroup, std::move(a));
    auto o = content->article(kGroup, n)->overview;
    if (queue)
      h.pending.append(std::to_string(n) + "\t" + o.author + "\t" + std::to_string(o.lines) + "\t" + subject);
    return n;
  }
  void add_part(const std::string& name, const Strings& parts, int k, const std::string& author = kAuthor) {
    add("\"" + name + "\" yEnc (" + std::to_string(k) + "/" + std::to_string(parts.size()) + ")",
        parts[static_cast<std::size_t>(k - 1)], author);
  }
  ArticleLoopResult run() {
    if (!sock.is_open()) open_group(kGroup);
    return run_article_loop(h.ctx, sock);
  }
  static std::size_t sets_in_store() {
    std::size_t n = 0;
    for (const auto& g : files_in("parts"))
      for (const auto& set : files_in("parts/" + g)) n += std::filesystem::is_directory("parts/" + g + "/" + set);
    return n;
  }
};

TEST_F(MultipartTest, SetsInAnyOrderAreAssembledWholeOnce) {
  struct Case {
    std::string name;
    int total;
    std::vector<int> order;
  };
  std::vector<int> shuffled(20);
  for (int i = 0; i < 20; ++i) shuffled[static_cast<std::size_t>(i)] = i + 1;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  const std::vector<Case> cases = {
      {"two.jpg", 2, {1, 2}}, {"five.jpg", 5, {5, 4, 3, 2, 1}}, {"twenty.jpg", 20, shuffled}};
  std::map<std::string, std::string> wholes;
  unsigned seed = 1;
  for (const Case& c : cases) {
    wholes[c.name] = picture_bytes(9000 + 1000 * static_cast<std::size_t>(c.total), seed++);
    Strings parts = yenc_parts(c.name, wholes[c.name], c.total);
    for (int k : c.order) add_part(c.name, parts, k);
  }
  // Two sets interleaved.
  wholes["a.jpg"] = picture_bytes(12000, 11);
  wholes["b.jpg"] = picture_bytes(15000, 12);
  Strings a = yenc_parts("a.jpg", wholes["a.jpg"], 3), b = yenc_parts("b.jpg", wholes["b.jpg"], 3);
  for (int k : {2, 1, 3}) {
    add_part("a.jpg", a, k);
    add_part("b.jpg", b, 4 - k);
  }
  h.view.on_text = [](ControlId, const std::string&) {};

  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);

  Strings names;
  for (const auto& [name, bytes] : wholes) {
    names.push_back(name);
    EXPECT_EQ(read_file("pictures/alt.test/" + name), bytes) << name;
  }
  EXPECT_EQ(files_in("pictures/alt.test"), names);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_TRUE(files_in("unknown").empty());
  EXPECT_EQ(h.article_ids.count(), 2u + 5 + 20 + 6);
  EXPECT_EQ(h.filenames.count(), 5u);
  EXPECT_EQ(h.state.pictures_downloaded, 5);
  std::string log = read_file("files.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5);
  EXPECT_NE(log.find("twenty.jpg"), std::string::npos);
  EXPECT_TRUE(h.logged("Multi-part set twenty.jpg assembled from 20 parts as twenty.jpg"));
}

TEST_F(MultipartTest, FastTransfersAssembleASetFetchedAheadWithoutWaits) {
  h.change([](Settings& s) {
    s.fast_transfers = 1;
    s.pipeline_depth = 8;
  });
  const std::string whole = picture_bytes(14000, 21);
  Strings parts = yenc_parts("fast.jpg", whole, 6);
  for (int k : {4, 1, 6, 2, 5, 3}) add_part("fast.jpg", parts, k);
  h.view.on_text = [](ControlId, const std::string&) {};
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(read_file("pictures/alt.test/fast.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.article_ids.count(), 6u);
  EXPECT_EQ(h.state.pictures_downloaded, 1);
  EXPECT_EQ(h.clock.slept_ms(), 0);
}

TEST_F(MultipartTest, ProgressShowsOnThePicturesLineAndCompletionOnTheStatusLine) {
  const std::string whole = picture_bytes(20000, 3);
  Strings parts = yenc_parts("panorama.jpg", whole, 4);
  for (int k : {1, 2, 3}) add_part("panorama.jpg", parts, k);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_NE(h.view.text(ControlId::PictureSummary).find("; panorama.jpg: 3 of 4 parts"), std::string::npos);
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  EXPECT_FALSE(test::exists("FILENAMES.FNK"));
  add_part("panorama.jpg", parts, 4);
  std::string completed;
  h.view.on_text = [&](ControlId id, const std::string& text) {
    if (id == ControlId::DownloadStatus && text.find("all 4 parts") != std::string::npos) completed = text;
  };
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(completed, "panorama.jpg: all 4 parts, saved as panorama.jpg");
  EXPECT_EQ(read_file("pictures/alt.test/panorama.jpg"), whole);
  EXPECT_EQ(h.filenames.entries(), Strings{"panorama.jpg"});
}

TEST_F(MultipartTest, ADuplicatePartIsKeptOnceAndTheSameNameFromTwoAuthorsMakesTwoFiles) {
  const std::string mine = picture_bytes(10000, 4), theirs = picture_bytes(11000, 5);
  Strings p = yenc_parts("sunset.jpg", mine, 2), q = yenc_parts("sunset.jpg", theirs, 2);
  add_part("sunset.jpg", p, 1);
  add_part("sunset.jpg", q, 2, "Other <other@parts.invalid>");
  add_part("sunset.jpg", p, 1);  // the same part posted again
  add_part("sunset.jpg", q, 1, "Other <other@parts.invalid>");
  add_part("sunset.jpg", p, 2);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(files_in("pictures/alt.test"), (Strings{"sunset-1.jpg", "sunset.jpg"}));
  EXPECT_EQ(read_file("pictures/alt.test/sunset.jpg"), theirs);
  EXPECT_EQ(read_file("pictures/alt.test/sunset-1.jpg"), mine);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.state.pictures_downloaded, 2);
}

// Posted as real posters do: the subject unquoted or cut, the data naming the set.
TEST_F(MultipartTest, SetsAreAssembledByTheDataWhateverTheirNamesPostersOrOrder) {
  const std::string eiffel = picture_bytes(15000, 31), louvre = picture_bytes(16000, 32);
  Strings a = yenc_parts("paris.2024.eiffel.tower.jpg", eiffel, 3);
  Strings b = yenc_parts("paris.2024.louvre.jpg", louvre, 3);
  // Two dotted sets interleaved, the second with subjects that give no name at all.
  for (int k : {1, 2, 3}) {
    add("paris.2024.eiffel.tower.jpg yEnc (" + std::to_string(k) + "/3)", a[static_cast<std::size_t>(k - 1)]);
    add("Paris 2024 (" + std::to_string(k) + "/3)", b[static_cast<std::size_t>(k - 1)]);
  }
  // One set whose parts come from three authors.
  const std::string shared = picture_bytes(9000, 33);
  Strings c = yenc_parts("shared.jpg", shared, 3);
  add_part("shared.jpg", c, 1, "Ann <ann@x.invalid>");
  add_part("shared.jpg", c, 3, "Bob <bob@x.invalid>");
  add_part("shared.jpg", c, 2, "Cid <cid@x.invalid>");
  // Two posters' different IMG_0001.JPG sets of different sizes stay two sets.
  const std::string img1 = picture_bytes(8000, 34), img2 = picture_bytes(8500, 35);
  Strings d = yenc_parts("IMG_0001.JPG", img1, 2), e = yenc_parts("IMG_0001.JPG", img2, 2);
  add_part("IMG_0001.JPG", d, 1, "Ann <ann@x.invalid>");
  add_part("IMG_0001.JPG", e, 2, "Bob <bob@x.invalid>");
  add_part("IMG_0001.JPG", e, 1, "Bob <bob@x.invalid>");
  add_part("IMG_0001.JPG", d, 2, "Ann <ann@x.invalid>");
  // An archive set under take-all rules is left alone.
  Strings rar = yenc_parts("some.file.b.r07", picture_bytes(5000, 36), 2);
  add("[PRiVATE] some.file.b.r07 yEnc (1/2)", rar[0]);
  h.view.on_text = [](ControlId, const std::string&) {};

  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);

  EXPECT_EQ(read_file("pictures/alt.test/paris.2024.eiffel.tower.jpg"), eiffel);
  EXPECT_EQ(read_file("pictures/alt.test/paris.2024.louvre.jpg"), louvre);
  EXPECT_EQ(read_file("pictures/alt.test/shared.jpg"), shared);
  EXPECT_EQ(read_file("pictures/alt.test/IMG_0001.JPG"), img2);
  EXPECT_EQ(read_file("pictures/alt.test/IMG_0001-1.JPG"), img1);
  EXPECT_EQ(files_in("pictures/alt.test").size(), 5u);
  EXPECT_TRUE(files_in("unknown").empty());
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.state.pictures_downloaded, 5);
  EXPECT_EQ(h.state.unknown_format_count, 0);
  EXPECT_TRUE(h.logged("Part of some.file.b.r07 left alone: not a picture"));
  const std::string names = read_file("FILENAMES.FNK");
  EXPECT_NE(names.find("paris.2024.eiffel.tower.jpg\n"), std::string::npos);
  EXPECT_EQ(("\n" + names).find("\n2024.eif"), std::string::npos);
}

// Same name, same size, different bytes: each poster's file is a set of its own, while an identical
// copy of a part from a third poster still joins.
TEST_F(MultipartTest, SameNameAndSizeFromTwoPostersStayTwoSets) {
  const std::string ann_img = picture_bytes(9000, 61), bob_img = picture_bytes(9000, 62);
  Strings a = yenc_parts("IMG_0001.JPG", ann_img, 3), b = yenc_parts("IMG_0001.JPG", bob_img, 3);
  const std::string ann = "Ann <ann@x.invalid>", bob = "Bob <bob@x.invalid>", cid = "Cid <cid@x.invalid>";
  add_part("IMG_0001.JPG", b, 1, bob);
  add_part("IMG_0001.JPG", a, 2, ann);
  add_part("IMG_0001.JPG", a, 1, ann);  // differs from Bob's part 1: Ann's parts go apart, her part 2 too
  add_part("IMG_0001.JPG", b, 2, bob);
  add_part("IMG_0001.JPG", a, 3, ann);
  add_part("IMG_0001.JPG", b, 3, cid);  // a copy of Bob's part 3
  h.view.on_text = [](ControlId, const std::string&) {};
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(read_file("pictures/alt.test/IMG_0001.JPG"), ann_img);
  EXPECT_EQ(read_file("pictures/alt.test/IMG_0001-1.JPG"), bob_img);
  EXPECT_TRUE(files_in("unknown").empty());
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.state.pictures_downloaded, 2);
  EXPECT_EQ(h.state.unknown_format_count, 0);
  EXPECT_TRUE(h.logged("Multi-part set IMG_0001.JPG: the copy of " + ann +
                       " differs from another poster's... kept as a set of its own"));
}

TEST_F(MultipartTest, ARepostOfAPartCompletesASetWhoseFirstCopyWasCut) {
  const std::string whole = picture_bytes(12000, 41);
  Strings parts = yenc_parts("repost.jpg", whole, 3);
  std::string cut = parts[0].substr(0, parts[0].size() / 2);  // no =yend: truncated on the way
  add_part("repost.jpg", Strings{cut, parts[1], parts[2]}, 1);
  add_part("repost.jpg", parts, 2);
  add_part("repost.jpg", parts, 3);
  add_part("repost.jpg", parts, 1);  // the poster's repost, same subject
  h.view.on_text = [](ControlId, const std::string&) {};
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(read_file("pictures/alt.test/repost.jpg"), whole);
  EXPECT_EQ(h.state.pictures_downloaded, 1);
  EXPECT_EQ(h.state.unknown_format_count, 1);  // the cut copy, kept for inspection
  EXPECT_EQ(sets_in_store(), 0u);
}

TEST_F(MultipartTest, ASetKeptUnderTheEarlierLayoutIsCompletedUnderTheNewOne) {
  const std::string whole = picture_bytes(10000, 51);
  Strings parts = yenc_parts("old.set.jpg", whole, 2);
  {
    // What the previous layout kept: part 1 under group, author, subject name and count.
    test::write_file("temp.uue", "1\tx\t1\tsubject\n\n" + parts[0]);
    PartsStore store(h.ctx.log, h.ctx.clock, h.ctx.decoders);
    const SetIdentity earlier{kGroup, kAuthor, "old.set.jpg", 2};
    ASSERT_EQ(store.keep("temp.uue", earlier, 1, "unknown/x").kind, PartOutcome::Kind::Kept);
    ASSERT_EQ(sets_in_store(), 1u);
  }
  add_part("old.set.jpg", parts, 2);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(read_file("pictures/alt.test/old.set.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_TRUE(h.logged("Multi-part set old.set.jpg carried over to its new key"));
}

TEST_F(MultipartTest, DisagreeingPartsGoToUnknownAsOneFileAndNeverToPictures) {
  const std::string whole = picture_bytes(12000, 6);
  // A corrupted part: its pcrc32 no longer matches.
  Strings bad = yenc_parts("crc.jpg", whole, 3);
  std::size_t at = bad[1].find("\n", bad[1].find("=ypart")) + 10;
  bad[1][at] = static_cast<char>(bad[1][at] == 'A' ? 'B' : 'A');
  add_part("crc.jpg", bad, 1);
  add_part("crc.jpg", bad, 2);
  add_part("crc.jpg", bad, 3);  // the set waits for a good copy of part 2
  // Ranges that overlap: part 2 starts inside part 1.
  add("\"overlap.jpg\" yEnc (1/2)", test::yenc_encode_part("overlap.jpg", whole, 1, 2, 0, 7000));
  add("\"overlap.jpg\" yEnc (2/2)", test::yenc_encode_part("overlap.jpg", whole, 2, 2, 6000, 12000));
  // Two different part 2s from one poster (the second under another subject name, or it would not
  // be fetched at all once the first checked out).
  Strings one = yenc_parts("twice.jpg", whole, 3), other = yenc_parts("twice.jpg", picture_bytes(12000, 9), 3);
  add_part("twice.jpg", one, 2);
  add("\"twice (fixed).jpg\" yEnc (2/3)", other[1]);

  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);

  EXPECT_TRUE(files_in("pictures/alt.test").empty());
  EXPECT_EQ(files_in("unknown").size(), 3u);
  EXPECT_EQ(h.state.unknown_format_count, 3);
  EXPECT_EQ(h.state.pictures_downloaded, 0);
  EXPECT_EQ(h.article_ids.count(), 7u);  // none of them is fetched again
  std::size_t broken = 0;
  for (const auto& e : h.log_lines())
    if (e.text.starts_with("Multi-part set ")) {
      EXPECT_EQ(e.level, 3) << e.text;
      ++broken;
    }
  EXPECT_EQ(broken, 3u);
  EXPECT_TRUE(h.logged("Part 3 of crc.jpg: 2 of 3 parts kept"));
  EXPECT_TRUE(h.logged("Multi-part set crc.jpg: YENC - CRC Error in part 2... waiting for another copy"));
  EXPECT_EQ(sets_in_store(), 3u);  // crc.jpg waiting, the other two given up
  for (const auto& f : files_in("unknown"))
    EXPECT_NE(read_file("unknown/" + f).size(), 0u) << f;
}

TEST_F(MultipartTest, AUuencodedSetIsJoinedInOrderAndDecodedAsOne) {
  const std::string whole = picture_bytes(9000, 7);
  const std::string text = test::uuencode("fox.jpg", whole);
  std::vector<std::string> lines;
  for (std::size_t from = 0; from < text.size();) {
    std::size_t nl = text.find('\n', from);
    lines.push_back(text.substr(from, nl - from + 1));
    from = nl + 1;
  }
  Strings parts(3);
  for (std::size_t i = 0; i < lines.size(); ++i) parts[i * 3 / lines.size()] += lines[i];
  for (int k : {3, 1, 2}) add("fox.jpg (" + std::to_string(k) + "/3)", parts[static_cast<std::size_t>(k - 1)]);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(files_in("pictures/alt.test"), Strings{"fox.jpg"});
  EXPECT_EQ(read_file("pictures/alt.test/fox.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
}

TEST_F(MultipartTest, AFullDiskEndsTheSessionUnrecordedAndTheSetIsAssembledWhenTheLastPartComesAgain) {
  const std::string whole = picture_bytes(20000, 14);
  Strings parts = yenc_parts("full.jpg", whole, 2);
  // Room for both parts but not for the picture.
  test::FullDisk disk(whole.size() + 5000);
  h.decoders.set_file_writer(disk);
  add_part("full.jpg", parts, 1);
  add_part("full.jpg", parts, 2);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::OrderlyEnding);
  EXPECT_TRUE(files_in("pictures/alt.test").empty());
  EXPECT_EQ(h.article_ids.count(), 1u);  // part 2 is not recorded: it is fetched again
  EXPECT_EQ(h.pending.count(), 1u);
  EXPECT_EQ(h.state.refusal, SessionState::kWriteFailed);
  EXPECT_EQ(sets_in_store(), 1u);

  test::FullDisk roomy(1u << 30);
  h.decoders.set_file_writer(roomy);
  h.state.refusal = SessionState::kNoRefusal;
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_EQ(read_file("pictures/alt.test/full.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.article_ids.count(), 2u);
}

TEST_F(MultipartTest, CollectionOffLeavesPartsToUnknownAsBefore) {
  h.change([](Settings& s) { s.collect_multipart = 0; });
  Strings parts = yenc_parts("off.jpg", picture_bytes(8000, 8), 2);
  add_part("off.jpg", parts, 1);
  add_part("off.jpg", parts, 2);
  EXPECT_EQ(run().kind, ArticleLoopResult::Kind::ListEmpty);
  EXPECT_TRUE(files_in("pictures/alt.test").empty());
  EXPECT_EQ(files_in("unknown").size(), 2u);
  EXPECT_FALSE(test::exists("parts"));
}

// Whole sessions: the overview scan picks the parts, a set is completed in a later session, a part
// kept but not recorded (a kill between the two) is fetched again, and old sets are given up.
class MultipartSessionTest : public MultipartTest {
 protected:
  void SetUp() override {
    MultipartTest::SetUp();
    h.change([](Settings& s) { s.filter2 = ""; });
    h.write_newsrc(std::string(" ") + kGroup + "\n");
  }
  void only_parts_without_a_good_copy();
};

TEST_F(MultipartSessionTest, ASetIsCompletedInALaterSessionAndAKeptButUnrecordedPartIsFetchedAgain) {
  const std::string whole = picture_bytes(30000, 10);
  Strings parts = yenc_parts("lake.jpg", whole, 4);
  // Part 2 was kept when the program was killed before its message-id was recorded.
  test::write_file("temp.uue", "row\n\n" + parts[1]);
  PartsStore(h.log, h.clock, h.decoders).keep("temp.uue", {kGroup, kAuthor, "lake.jpg", 4}, 2, "unknown/x");
  for (int k : {2, 1, 4}) add("\"lake.jpg\" yEnc (" + std::to_string(k) + "/4)", parts[static_cast<std::size_t>(k - 1)], kAuthor, false);

  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_asked().size(), 3u);
  EXPECT_TRUE(files_in("pictures/alt.test").empty());
  EXPECT_EQ(sets_in_store(), 1u);

  add("\"lake.jpg\" yEnc (3/4)", parts[2], kAuthor, false);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_asked().size(), 4u);  // only the new part
  EXPECT_EQ(read_file("pictures/alt.test/lake.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(read_file("FILENAMES.FNK"), "lake.jpg\n");

  // Reposted later: the name is known, so no part of it is fetched.
  add("\"lake.jpg\" yEnc (1/4)", parts[0], "Again <again@parts.invalid>", false);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_asked().size(), 4u);
}

// Which parts are fetched is decided before download, per poster, subject name and counter.
TEST_F(MultipartSessionTest, OnlyPartsWithoutAGoodCopyAreFetchedAgain) { only_parts_without_a_good_copy(); }

// Pipelined, a repost is passed over when it comes up after its good copy was kept.
TEST_F(MultipartSessionTest, OnlyPartsWithoutAGoodCopyAreFetchedAgainInFastMode) {
  h.change([](Settings& s) {
    s.fast_transfers = 1;
    s.pipeline_depth = 1;
  });
  only_parts_without_a_good_copy();
}

void MultipartSessionTest::only_parts_without_a_good_copy() {
  const std::string whole = picture_bytes(15000, 71);
  Strings parts = yenc_parts("pier.jpg", whole, 3);
  const std::string cut = parts[1].substr(0, parts[1].size() / 2);
  add("\"pier.jpg\" yEnc (1/3)", parts[0], kAuthor, false);            // 1: good
  add("\"pier.jpg\" yEnc (2/3)", cut, kAuthor, false);                 // 2: cut short on the way
  add("\"pier.jpg\" yEnc (1/3)", parts[0], kAuthor, false);            // 3: repost of a good part
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2"}));
  EXPECT_TRUE(h.logged("Part 1 of pier.jpg already kept: not fetched again"));
  EXPECT_EQ(sets_in_store(), 1u);

  // The poster reposts the whole set: the scan itself passes over part 1.
  add("\"pier.jpg\" yEnc (1/3)", parts[0], kAuthor, false);            // 4
  add("\"pier.jpg\" yEnc (2/3)", parts[1], kAuthor, false);            // 5
  add("\"pier.jpg\" yEnc (3/3)", parts[2], kAuthor, false);            // 6
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2", "5", "6"}));
  EXPECT_EQ(read_file("pictures/alt.test/pier.jpg"), whole);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.state.pictures_downloaded, 1);
  std::size_t skipped_in_loop = 0;
  for (const auto& e : h.log_lines()) skipped_in_loop += e.text == "Part 1 of pier.jpg already kept: not fetched again";
  EXPECT_EQ(skipped_in_loop, 1u);
}

TEST_F(MultipartSessionTest, SetsOlderThanTheKeepDaysAreGivenUpAtTheStartOfASession) {
  Strings parts = yenc_parts("old.jpg", picture_bytes(8000, 13), 3);
  add("\"old.jpg\" yEnc (1/3)", parts[0], kAuthor, false);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(sets_in_store(), 1u);
  h.clock.advance_ms(6LL * 86400 * 1000);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(sets_in_store(), 1u);
  h.clock.advance_ms(1LL * 86400 * 1000);
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(sets_in_store(), 0u);
  EXPECT_EQ(h.level_of("Multi-part set old.jpg given up: 1 of 3 parts after 7 days"), 1);
}

}  // namespace
}  // namespace fk
