// SPDX-License-Identifier: GPL-3.0-or-later
// Whole sessions against the test server: a realistic harvest, a session after it, a lost connection,
// and the demo's content.
#include "session/article_fixture.h"
#include "session/session_thread.h"
#include "store/status_log.h"

namespace fk {
namespace {

using test::demo_picture;
using test::files_in;
using test::read_file;
using Strings = std::vector<std::string>;

constexpr const char* kOne = "alt.binaries.pictures.e2e.one";
constexpr const char* kTwo = "alt.binaries.pictures.e2e.two";
constexpr const char* kThree = "alt.pictures.e2e.three";

class EndToEndTest : public test::ServerFixture {
 protected:
  explicit EndToEndTest(test::ServerOptions options = {}) : ServerFixture(std::move(options)) {}
  std::int64_t post(const char* group, const std::string& subject, std::string body, std::string id = {},
                    std::int64_t number = 0) {
    test::ServerArticle a;
    a.overview.number = number;
    a.overview.subject = subject;
    a.overview.author = "Poster <poster@e2e.invalid>";
    a.overview.message_id = std::move(id);
    a.body = std::move(body);
    return content->add_article(group, std::move(a));
  }
  std::int64_t post_by(const char* group, const std::string& author, const std::string& subject, std::string body) {
    test::ServerArticle a;
    a.overview.subject = subject;
    a.overview.author = author;
    a.body = std::move(body);
    return content->add_article(group, std::move(a));
  }
  std::string uu(const std::string& name) { return test::uuencode(name, demo_picture(name)); }
  std::vector<std::string> bodies_since(std::size_t command) {
    auto all = server.commands();
    Strings out;
    for (std::size_t i = command; i < all.size(); ++i)
      if (all[i].rfind("body ", 0) == 0) out.push_back(all[i]);
    return out;
  }
  static std::int64_t size_of(const std::string& picture) {
    return static_cast<std::int64_t>(demo_picture(picture).size());
  }
  static std::string line_of(const std::string& name, std::int64_t size, const std::string& subject) {
    return files_log_line(name, size, "Poster <poster@e2e.invalid>\t" + subject);
  }
  void harvest_three_groups_twice();
};

TEST_F(EndToEndTest, ThreeGroupsAreHarvestedAndTheNextSessionFetchesNothingNew) { harvest_three_groups_twice(); }

// Fast transfers change only the pace: the same files, histories and log, and not one fixed wait.
TEST_F(EndToEndTest, FastTransfersHarvestTheSameWithoutWaiting) {
  h.change([](Settings& s) {
    s.fast_transfers = 1;
    s.pipeline_depth = 3;
    s.check_auth = 1;
  });
  harvest_three_groups_twice();
  EXPECT_EQ(h.clock.slept_ms(), 0);
  // The server does not offer compression, so it is not asked for.
  auto commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "COMPRESS DEFLATE"), 0);
  EXPECT_FALSE(h.logged("COMPRESS DEFLATE on"));
}

test::ServerOptions offering_compression() {
  test::ServerOptions o;
  o.compress_deflate = true;
  return o;
}

class CompressedEndToEndTest : public EndToEndTest {
 protected:
  CompressedEndToEndTest() : EndToEndTest(offering_compression()) {}
  std::vector<std::string> log_with(std::string_view part) {
    std::vector<std::string> out;
    for (const auto& t : h.log_texts())
      if (t.find(part) != std::string::npos) out.push_back(t);
    return out;
  }
};

// Compressed, every picture, history and log line is the same; the counters see the wire's bytes.
TEST_F(CompressedEndToEndTest, FastTransfersHarvestTheSameCompressed) {
  h.change([](Settings& s) {
    s.fast_transfers = 1;
    s.pipeline_depth = 3;
    s.check_auth = 1;
  });
  harvest_three_groups_twice();
  EXPECT_EQ(h.clock.slept_ms(), 0);
  auto commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "COMPRESS DEFLATE"), 2);
  EXPECT_EQ(log_with("COMPRESS DEFLATE on").size(), 2u);
  // One line per connection, after its other lines: "Compression: 12,345 bytes read for 67,890 (5.5:1), ...".
  std::vector<std::string> ratios = log_with("Compression: ");
  ASSERT_EQ(ratios.size(), 2u);
  EXPECT_NE(ratios[0].find(" bytes read for "), std::string::npos) << ratios[0];
  EXPECT_NE(ratios[0].find(":1), "), std::string::npos) << ratios[0];
  EXPECT_TRUE(h.logged_in_order({"Logging Off News Server", ratios[0], "Ending Fennick Thread"}));
  // Uncompressed, the bodies alone are counted twice over what the wire carries here.
  EXPECT_GT(h.state.byte_count, 0);
  EXPECT_LT(h.state.byte_count, server.bytes_sent() + 4096);
}

TEST_F(CompressedEndToEndTest, CompressionIsAskedForOnlyInFastModeWithUseCompression) {
  post(kOne, "sunset.jpg (1/1)", uu("sunset.jpg"));
  h.write_newsrc(std::string(" ") + kOne + "\n");
  for (auto [fast, compress] : {std::pair{0, 1}, std::pair{1, 0}}) {
    h.change([&, fast_value = fast, compress_value = compress](Settings& s) {
      s.fast_transfers = fast_value;
      s.use_compression = compress_value;
    });
    EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  }
  EXPECT_EQ(read_file("pictures/" + std::string(kOne) + "/sunset.jpg"), demo_picture("sunset.jpg"));
  // The client may close before the server has read its QUIT.
  ASSERT_TRUE(server.wait_until_idle());
  auto commands = server.commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "QUIT"), 2);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "CAPABILITIES"), 0);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "COMPRESS DEFLATE"), 0);
  EXPECT_FALSE(h.logged("COMPRESS DEFLATE on"));

  // A refusal leaves the connection plain.
  server.add_fault({"COMPRESS", 0, test::FaultAction::Reply, "403 Unable to activate compression\r\n"});
  h.change([](Settings& s) { s.use_compression = 1; });
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_TRUE(h.logged_in_order({"COMPRESS DEFLATE refused, going on uncompressed: 403 Unable to activate compression",
                                 "Finished Scanning Groups"}));
  EXPECT_FALSE(h.logged("COMPRESS DEFLATE on"));
}

// A corrupt compressed stream mid-body is a lost connection: nothing of that article is recorded,
// its row and the ones after it are fetched by the next session.
TEST_F(CompressedEndToEndTest, CorruptCompressedStreamLosesTheConnectionAndKeepsTheRows) {
  post(kOne, "sunset.jpg (1/1)", uu("sunset.jpg"));
  post(kOne, "fox.jpg (1/1)", uu("fox.jpg"));
  post(kOne, "coast.jpg (1/1)", uu("coast.jpg"));
  server.add_fault({"BODY 2", 1, test::FaultAction::CorruptDeflate, ""});
  h.write_newsrc(std::string(" ") + kOne + "\n");
  h.change([](Settings& s) {
    s.fast_transfers = 1;
    s.unattended_operation = 1;
  });

  EXPECT_EQ(SessionThread(h.ctx), kSessionBailedOut);
  std::vector<std::string> why = log_with("Connection to the news server given up: the compressed data from the server is corrupt");
  ASSERT_EQ(why.size(), 1u);
  EXPECT_TRUE(h.logged_in_order({"COMPRESS DEFLATE on", why[0], "SOCKET_BAILOUT"}));
  EXPECT_EQ(log_with("Compression: ").size(), 1u);
  EXPECT_EQ(read_file("HISTORY.FNK"), "<1." + std::string(kOne) + "@fennick.invalid>\n");
  EXPECT_EQ(read_file("FILENAMES.FNK"), "sunset.jpg\n");

  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  const std::string one = "pictures/" + std::string(kOne) + "/";
  EXPECT_EQ(files_in(one), (Strings{"coast.jpg", "fox.jpg", "sunset.jpg"}));
  EXPECT_EQ(read_file(one + "fox.jpg"), demo_picture("fox.jpg"));
  EXPECT_EQ(read_file("FILENAMES.FNK"), "sunset.jpg\nfox.jpg\ncoast.jpg\n");
}

void EndToEndTest::harvest_three_groups_twice() {
  std::string text;
  for (int i = 0; i < 600; ++i)
    text += "We had a lovely week at the lake, day " + std::to_string(i % 7) + "\n";
  post(kOne, "sunset.jpg (1/1)", uu("sunset.jpg"));
  post(kOne, "Re: sunset.jpg (1/1)", "Where was this?\n\nNice one.\n");
  post(kOne, "fox.jpg (1/1)", uu("fox.jpg"));
  post(kOne, "holiday.jpg (1/1) - sorry, no picture", text);
  post(kTwo, "Mountain lake - mountain-lake.jpg (1/1)",
       test::mime_base64("mountain-lake.jpg", "image/jpeg", demo_picture("mountain-lake.jpg")));
  post(kTwo, "a picture without a name (1/1) .jpg",
       test::mime_base64("", "image/jpeg", demo_picture("tulips.jpg")));
  post(kTwo, "sunset.jpg (1/1) reposted", uu("sunset.jpg"));
  post(kTwo, "owl.gif (1/1)", uu("owl.gif"), {}, 7);
  server.add_fault({"BODY 7", 0, test::FaultAction::Reply, "423 No article with that number\r\n"});
  post(kThree, "coast.jpg (1/1)", uu("coast.jpg"));
  post(kThree, "fox.jpg (1/1)", uu("fox.jpg"), "<3.alt.binaries.pictures.e2e.one@fennick.invalid>");
  post(kThree, "FREE pictures at http://spam.invalid (1/1) .jpg", text);
  h.write_newsrc(std::string(" ") + kOne + "\n " + kTwo + "\n " + kThree + "\n");

  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);

  const std::string one = "pictures/" + std::string(kOne) + "/", two = "pictures/" + std::string(kTwo) + "/",
                    three = "pictures/" + std::string(kThree) + "/";
  EXPECT_EQ(files_in(one), (Strings{"fox.jpg", "sunset.jpg"}));
  EXPECT_EQ(read_file(one + "sunset.jpg"), demo_picture("sunset.jpg"));
  EXPECT_EQ(read_file(one + "fox.jpg"), demo_picture("fox.jpg"));
  EXPECT_EQ(read_file(two + "mountain-lake.jpg"), demo_picture("mountain-lake.jpg"));
  Strings in_two = files_in(two);
  ASSERT_EQ(in_two.size(), 2u);
  const std::string nameless = in_two[0];  // WTF<hex>.jpg, named by the base64 decoder
  EXPECT_EQ(read_file(two + nameless), demo_picture("tulips.jpg"));
  EXPECT_EQ(files_in(three), Strings{"coast.jpg"});
  EXPECT_EQ(read_file(three + "coast.jpg"), demo_picture("coast.jpg"));

  auto id = [](int n, const char* g) { return "<" + std::to_string(n) + "." + g + "@fennick.invalid>\n"; };
  EXPECT_EQ(read_file("HISTORY.FNK"),
            id(1, kOne) + id(3, kOne) + id(4, kOne) + id(1, kTwo) + id(2, kTwo) + id(1, kThree));
  EXPECT_EQ(read_file("FILENAMES.FNK"),
            "sunset.jpg\nfox.jpg\nmountain-lake.jpg\n" + nameless + "\ncoast.jpg\n");
  EXPECT_EQ(read_file("files.log"),
            line_of("sunset.jpg", size_of("sunset.jpg"), "sunset.jpg (1/1)") +
                line_of("fox.jpg", size_of("fox.jpg"), "fox.jpg (1/1)") +
                line_of("mountain-lake.jpg", size_of("mountain-lake.jpg"),
                        "Mountain lake - mountain-lake.jpg (1/1)") +
                line_of(nameless, size_of("tulips.jpg"), "a picture without a name (1/1) .jpg") +
                line_of("coast.jpg", size_of("coast.jpg"), "coast.jpg (1/1)"));
  // The text posting yields no picture: its article goes to unknown/ with the base64 decoder's
  // inspection copy, and it is not counted as a picture.
  Strings unknown = files_in("unknown");
  ASSERT_EQ(unknown.size(), 3u);
  EXPECT_EQ(unknown[2], "bad_decode00.txt");
  // The nameless attachment counts as undecodable: its article is filed under unknown/ as well.
  EXPECT_EQ(unknown[0].substr(0, 3), "WTF");
  EXPECT_EQ(unknown[1].substr(0, 3), "WTF");
  EXPECT_NE((read_file("unknown/" + unknown[0]) + read_file("unknown/" + unknown[1])).find("a picture without a name"),
            std::string::npos);

  EXPECT_EQ(h.state.pictures_downloaded, 5);
  EXPECT_EQ(h.state.articles_examined, 11);
  EXPECT_EQ(h.state.archive_tot_articles, 11);
  EXPECT_EQ(h.state.archive_pic_count, 5);
  EXPECT_EQ(h.state.duplicates_skipped, 2);
  EXPECT_EQ(h.state.base64_count, 1);
  EXPECT_EQ(h.state.unknown_format_count, 2);
  const std::string summary =
      "5 picture(s) downloaded from 11 articles, 2 duplicates skipped, 1 base64, 2 unknown format";
  EXPECT_EQ(h.view.text(ControlId::PictureSummary), summary);
  EXPECT_FALSE(h.logged("Trying BASE64 decode"));
  EXPECT_FALSE(h.logged("UUDECODE - No begin line found       "));
  EXPECT_TRUE(h.logged_in_order(
      {"Connected To News Server", kOne, "3 Articles Selected For Download from Articles 1 to 4",
       kTwo, "3 Articles Selected For Download from Articles 1 to 7",
       "Bad response to body command", "423 No article with that number", kThree,
       "1 Articles Selected For Download from Articles 1 to 3", "Finished Scanning Groups",
       "Logging Off News Server",
       "5 picture(s) downloaded from 11 articles, 2 duplicates skipped, 1 base64 2 unknown format",
       "Ending Fennick Thread"}));
  EXPECT_FALSE(test::exists("dirty.txt"));

  // The second session finds everything in the histories; only the refused article is asked again.
  const std::size_t before = server.commands().size();
  const std::string history = read_file("HISTORY.FNK"), filenames = read_file("FILENAMES.FNK");
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(bodies_since(before), Strings{"body 7"});
  EXPECT_EQ(h.state.pictures_downloaded, 5);
  EXPECT_EQ(h.state.duplicates_skipped, 2 + 8);
  EXPECT_EQ(read_file("HISTORY.FNK"), history);
  EXPECT_EQ(read_file("FILENAMES.FNK"), filenames);
  EXPECT_EQ(files_in(one).size() + files_in(two).size() + files_in(three).size(), 5u);
}

// Names and authors as mail clients and posters write them: encoded words and continued parameters in
// the attachments' headers, and Bozo Bucket entries in either the raw or the decoded form of an author.
TEST_F(EndToEndTest, EncodedAttachmentNamesAreFiledAsNamedAndEncodedBozosAreNotFetched) {
  const std::string orange = "orang\xC3\xA9" "e.gif", cafe = "caf\xC3\xA9.jpg", naive = "na\xC3\xAF" "ve.jpg";
  const std::vector<test::MimeAttachment> mail = {
      {"image/gif; name=\"=?UTF-8?B?b3JhbmfDqWUuZ2lm?=\"", "attachment; filename=\"=?UTF-8?B?b3JhbmfDqWUuZ2lm?=\"",
       demo_picture("owl.gif")},
      {"image/jpeg", "attachment; filename*=UTF-8''caf%C3%A9.jpg", demo_picture("fox.jpg")},
      {"image/jpeg", "attachment;\n filename*0*=iso-8859-1''na%EFve;\n filename*1=\".jpg\"", demo_picture("coast.jpg")},
  };
  post(kOne, "=?UTF-8?Q?Photos_du_caf=C3=A9?= .jpg (1/1)", test::mime_mail(mail));
  const std::string raw_bozo = "=?UTF-8?Q?B=C3=A9?= <b@e2e.invalid>";
  post_by(kOne, raw_bozo, "sunset.jpg (1/1)", uu("sunset.jpg"));
  post_by(kOne, "=?ISO-8859-1?Q?Zo=EB?= <zoe@e2e.invalid>", "tulips.jpg (1/1)", uu("tulips.jpg"));
  test::write_file("BOZOS.FNK", raw_bozo + "\nZo\xC3\xAB <zoe@e2e.invalid>\n");
  h.blacklist.load_history(100, h.log);
  h.write_newsrc(std::string(" ") + kOne + "\n");

  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);

  EXPECT_EQ(bodies_since(0), Strings{"body 1"});
  const std::string one = "pictures/" + std::string(kOne) + "/";
  EXPECT_EQ(files_in(one), (Strings{cafe, naive, orange}));
  EXPECT_EQ(read_file(one + orange), demo_picture("owl.gif"));
  EXPECT_EQ(read_file(one + cafe), demo_picture("fox.jpg"));
  EXPECT_EQ(read_file(one + naive), demo_picture("coast.jpg"));
  // One name per article is recorded: the last attachment's.
  EXPECT_EQ(read_file("FILENAMES.FNK"), naive + "\n");
  EXPECT_NE(read_file("files.log").find("Photos du caf\xC3\xA9 .jpg (1/1)"), std::string::npos);
}

TEST_F(EndToEndTest, ConnectionLostMidBodyIsFetchedByTheNextSession) {
  post(kOne, "sunset.jpg (1/1)", uu("sunset.jpg"));
  post(kTwo, "fox.jpg (1/1)", uu("fox.jpg"));
  post(kTwo, "coast.jpg (1/1)", uu("coast.jpg"));
  // The second "body 1" is the first article of the second group.
  server.add_fault(
      {"BODY 1", 2, test::FaultAction::Drop, "222 1 <x@y> body\r\nbegin 644 fox.jpg\r\nM86)C\r\n"});
  h.write_newsrc(std::string(" ") + kOne + "\n " + kTwo + "\n");
  h.change([](Settings& s) { s.unattended_operation = 1; });
  h.state.auto_reconnect = 1;

  EXPECT_EQ(SessionThread(h.ctx), kSessionBailedOut);
  EXPECT_TRUE(h.logged_in_order({"Socket Rx Error 008", "SOCKET_BAILOUT"}));
  EXPECT_EQ(read_file("HISTORY.FNK"), "<1." + std::string(kOne) + "@fennick.invalid>\n");
  EXPECT_EQ(read_file("FILENAMES.FNK"), "sunset.jpg\n");
  EXPECT_EQ(read_file("dirty.txt"), "2\n");
  EXPECT_EQ(h.state.auto_reconnect, 1);
  EXPECT_EQ(h.state.pictures_downloaded, 1);

  const std::size_t before = server.commands().size();
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  auto later = server.commands();
  EXPECT_EQ(std::count(later.begin() + static_cast<std::ptrdiff_t>(before), later.end(),
                       "group " + std::string(kOne)),
            0);
  EXPECT_EQ(bodies_since(before), (Strings{"body 1", "body 2"}));
  const std::string two = "pictures/" + std::string(kTwo) + "/";
  EXPECT_EQ(read_file(two + "fox.jpg"), demo_picture("fox.jpg"));
  EXPECT_EQ(read_file(two + "coast.jpg"), demo_picture("coast.jpg"));
  EXPECT_EQ(read_file("FILENAMES.FNK"), "sunset.jpg\nfox.jpg\ncoast.jpg\n");
  EXPECT_FALSE(test::exists("dirty.txt"));
}

// An article whose body always breaks the connection is given up after its third try, so an unattended
// run ends; it is not recorded, so a later run may try it again.
TEST_F(EndToEndTest, AnArticleThatAlwaysBreaksTheConnectionIsGivenUpAfterThreeTries) {
  post(kOne, "sunset.jpg (1/1)", uu("sunset.jpg"));
  post(kOne, "fox.jpg (1/1)", uu("fox.jpg"), "<poison@e2e>");
  post(kOne, "coast.jpg (1/1)", uu("coast.jpg"));
  server.add_fault({"BODY 2", 0, test::FaultAction::Cut, ""});
  h.write_newsrc(std::string(" ") + kOne + "\n");
  h.change([](Settings& s) { s.unattended_operation = 1; });

  for (int session = 1; session <= 3; ++session) {
    h.state.auto_reconnect = 1;
    EXPECT_EQ(SessionThread(h.ctx), kSessionBailedOut) << session;
    EXPECT_EQ(h.state.connection_attempts, session);
  }
  const std::string given_up = "Gave up on article " + std::string(kOne) +
                               " 2 <poison@e2e> after the connection broke 3 times while fetching it: fox.jpg (1/1)";
  EXPECT_EQ(h.level_of(given_up), 0);
  EXPECT_TRUE(h.logged_in_order({given_up, "Socket Rx Error 008", "SOCKET_BAILOUT"}));

  h.state.auto_reconnect = 1;
  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);
  EXPECT_EQ(h.state.connection_attempts, 4);
  EXPECT_EQ(bodies_asked(), (Strings{"1", "2", "2", "2", "3"}));
  const std::string one = "pictures/" + std::string(kOne) + "/";
  EXPECT_EQ(files_in(one), (Strings{"coast.jpg", "sunset.jpg"}));
  EXPECT_EQ(read_file("FILENAMES.FNK"), "sunset.jpg\ncoast.jpg\n");
  EXPECT_EQ(read_file("HISTORY.FNK").find("poison"), std::string::npos);
  EXPECT_FALSE(test::exists("dirty.txt"));
}

TEST(DemoContentTest, TheDefaultSettingsHarvestEveryDemoPicture) {
  test::EngineHarness h;
  std::string error;
  auto demo = test::make_demo_content(h.clock.now(), std::string(FK_TEST_DATA) + "/demo", &error);
  ASSERT_TRUE(demo) << error;
  test::NntpTestServer server(demo);
  ASSERT_TRUE(server.listening());
  h.use_server(server.port());
  std::string newsrc;
  for (const auto& g : demo->group_names()) newsrc += " " + g + "\n";
  h.write_newsrc(newsrc);

  EXPECT_EQ(SessionThread(h.ctx), kSessionEnded);

  std::string names;
  for (const auto& p : test::kDemoHarvest) {
    EXPECT_EQ(read_file(std::string("pictures/") + p.group + "/" + p.file), demo_picture(p.file)) << p.file;
    names += std::string(p.file) + "\n";
  }
  EXPECT_EQ(read_file("FILENAMES.FNK"), names);
  EXPECT_EQ(h.state.pictures_downloaded, 9);
  EXPECT_EQ(h.state.unknown_format_count, 0);
  EXPECT_TRUE(files_in("unknown").empty());
}

}  // namespace
}  // namespace fk
