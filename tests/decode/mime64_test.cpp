// The MIME base64 decoder: parts and blocks, the header grammar, names, messages and the plausibility copy.
#include "decode_fixture.h"

namespace fk::test {
namespace {

// The generated names of the fake clock's start time.
constexpr const char kWtf[] = "WTF6B1631DC";

class Mime64 : public DecodeTest {
 protected:
  std::string decode(const std::string& body, const std::string& group = "alt.pics") {
    write_file("temp.uue", work_file(body));
    return decoders_.mime64_decode("temp.uue", group, name_);
  }
  std::string pic(const std::string& name) const { return read_file("pictures/alt.pics/" + name); }
  std::string name_;
};

// A padded attachment of 6,000 bytes is large enough to count as plausible.
const std::string kPicture = some_bytes(6000);

TEST_F(Mime64, FixtureFromMpackDecodesByteForByte) {
  const std::string fixture = read_file(FK_TEST_DATA "/sample.mime");
  ASSERT_FALSE(fixture.empty());
  EXPECT_EQ(decode(fixture), "");
  EXPECT_EQ(name_, "sample.bin");
  EXPECT_EQ(pic("sample.bin"), read_file(FK_TEST_DATA "/sample.bin"));
  EXPECT_TRUE(logged("MIME64 -- " + std::to_string(work_file(fixture).size()) +
                         " bytes input from temp.uue, 6000 bytes output to sample.bin",
                     2));
  EXPECT_EQ(decoders_.bad_decode_count(), 0u);
  EXPECT_FALSE(exists("unknown/bad_decode00.txt"));
}

TEST_F(Mime64, RoundTripsLengthsAroundGroupBoundariesAndCrLf) {
  for (std::size_t n : {1u, 2u, 3u, 4u, 56u, 57u, 58u, 6000u}) {
    std::string name = "f";
    name += std::to_string(n);
    EXPECT_EQ(decode("Content-Type: application/octet-stream; name=" + name + "\n\n" +
                     base64_lines(some_bytes(n, n))),
              "");
    EXPECT_EQ(pic(name), some_bytes(n, n)) << n;
  }
  std::string crlf;
  for (char c : work_file("Content-Type: image/jpeg; name=\"crlf\"\r\n\r\n" + base64_lines(kPicture)))
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  write_file("temp.uue", crlf);
  EXPECT_EQ(decoders_.mime64_decode("temp.uue", "alt.pics", name_), "");
  EXPECT_EQ(pic("crlf.jpg"), kPicture);
}

TEST_F(Mime64, NamesFromContentTypeAndContentDisposition) {
  const std::string data = "\n" + base64_lines(kPicture);
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"sunset\"\n" + data), "");
  EXPECT_EQ(name_, "sunset.jpg");
  EXPECT_EQ(pic("sunset.jpg"), kPicture);

  EXPECT_EQ(decode("Content-Type: application/octet-stream; name=plain\n" + data), "");
  EXPECT_EQ(name_, "plain");  // no ".jpg" without image/jpeg

  // The Content-Type name wins over a later filename; a filename alone is used.
  EXPECT_EQ(decode("Content-Type: image/gif; name=\"first.gif\"\n"
                   "Content-Disposition: attachment; filename=\"second.gif\"\n" +
                   data),
            "");
  EXPECT_EQ(name_, "first.gif");
  EXPECT_FALSE(exists("pictures/alt.pics/second.gif"));
  EXPECT_EQ(decode("Content-Disposition: attachment; filename=\"only.gif\"\n" + data), "");
  EXPECT_EQ(name_, "only.gif");

  // Cut at the first character that is not a name character; the taken name moves to "-N".
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic_1.jpg\"\n" + data), "");
  EXPECT_EQ(name_, "pic.jpg");
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic_2.jpg\"\n" + data), "");
  EXPECT_EQ(name_, "pic-1.jpg");
  EXPECT_EQ(pic("pic.jpg"), kPicture);
  EXPECT_EQ(pic("pic-1.jpg"), kPicture);
}

TEST_F(Mime64, HeaderWordsAndValuesFollowTheSeparators) {
  const std::string data = "\n" + base64_lines(kPicture);
  // Keywords match by prefix, in any letter case.
  EXPECT_EQ(decode("content-t: IMAGE/JPEG; N=sunrise\n" + data), "");
  EXPECT_EQ(name_, "sunrise.jpg");
  // Without the semicolon "name" is a value, so the block has no name.
  name_.clear();
  EXPECT_EQ(decode("Content-Type: image/jpeg name=lost\n" + data),
            std::string("MIME64 -- No filename in header: used ") + kWtf + ".jpg");
  EXPECT_EQ(name_, std::string(kWtf) + ".jpg");
  EXPECT_FALSE(exists("pictures/alt.pics/lost.jpg"));
  EXPECT_EQ(clock_.slept_ms(), 1100);
  EXPECT_EQ(pic(name_), kPicture);
}

TEST_F(Mime64, BlocksEndAtPaddingOrAtALineThatCannotBeData) {
  // Decoding stops at the first "="; the next line starts a new part.
  EXPECT_EQ(decode("Content-Type: image/gif; name=a.gif\n\nQUJD\nREVGRw==\n"
                   "Content-Type: image/gif; name=b.gif\n\nSGVsbG8=\n"),
            "");
  EXPECT_EQ(pic("a.gif"), "ABCDEFG");
  EXPECT_EQ(pic("b.gif"), "Hello");
  EXPECT_EQ(name_, "b.gif");
  // A boundary line right after the block writes nothing.
  EXPECT_EQ(decode("Content-Type: image/gif; name=c.gif\n\nQUJD\n--=_boundary\n"), "");
  EXPECT_EQ(pic("c.gif"), "ABC");
  // A last line without a line end is never used.
  EXPECT_EQ(decode("Content-Type: image/gif; name=d.gif\n\nQUJD\nREVG"), "");
  EXPECT_EQ(pic("d.gif"), "ABC");
}

TEST_F(Mime64, DeclaredNonBase64EncodingSkipsTheFirstLineOfTheBlock) {
  EXPECT_EQ(decode("Content-Type: image/gif; name=e.gif\nContent-Transfer-Encoding: 7bit\n\nQUJD\nREVG\n"),
            "");
  EXPECT_EQ(pic("e.gif"), "DEF");
  // The flag is carried into later parts until a header line clears it.
  EXPECT_EQ(decode("Content-Transfer-Encoding: quoted-printable\n\nQUJD\n\n"
                   "Content-Type: image/gif; name=f.gif\n\nQUJD\nREVG\n\n"
                   "Content-Transfer-Encoding: base64\nContent-Type: image/gif; name=g.gif\n\nQUJD\n"),
            "");
  EXPECT_EQ(pic("f.gif"), "DEF");
  EXPECT_EQ(pic("g.gif"), "ABC");
}

TEST_F(Mime64, UnnamedBlocksGetGeneratedNamesUntilALaterPartNamesItsFile) {
  // A one-word greeting is a base64 line: it starts a block of its own.
  EXPECT_EQ(decode("Hello\n\nContent-Type: image/jpeg; name=\"real\"\n\n" + base64_lines(kPicture)), "");
  EXPECT_EQ(name_, "real.jpg");
  EXPECT_TRUE(exists("pictures/alt.pics/" + std::string(kWtf) + ".jpg"));
  EXPECT_EQ(clock_.slept_ms(), 1100);

  // Named first, unnamed after: the generated name's message survives.
  clock_.advance_ms(5000);
  EXPECT_EQ(decode("Content-Type: image/gif; name=x.gif\n\nQUJD\n\nSGVsbG8=\n"),
            "MIME64 -- No filename in header: used WTF6B1631E2.jpg");
  EXPECT_EQ(name_, "WTF6B1631E2.jpg");
  EXPECT_EQ(pic("WTF6B1631E2.jpg"), "Hello");
  EXPECT_TRUE(logged("MIME64 -- No filename in header: used WTF6B1631E2.jpg", 0));
}

TEST_F(Mime64, TwoAttachmentsMakeTwoFilesAndTheBufferHoldsTheSecond) {
  const std::string other = some_bytes(7000, 9);
  EXPECT_EQ(decode("--b\nContent-Type: image/jpeg; name=\"one.jpg\"\n\n" + base64_lines(kPicture) +
                   "--b\nContent-Type: image/jpeg; name=\"two.jpg\"\n\n" + base64_lines(other) + "--b--\n"),
            "");
  EXPECT_EQ(pic("one.jpg"), kPicture);
  EXPECT_EQ(pic("two.jpg"), other);
  EXPECT_EQ(name_, "two.jpg");
}

TEST_F(Mime64, ImplausibleDecodesAreCopiedForInspectionButStillSucceed) {
  // About 3,000 bytes of work file that decode correctly.
  const std::string small = "Content-Type: image/jpeg; name=\"small\"\n\n" + base64_lines(some_bytes(2100));
  EXPECT_EQ(decode(small), "");
  EXPECT_EQ(pic("small.jpg"), some_bytes(2100));
  EXPECT_EQ(read_file("unknown/bad_decode00.txt"), work_file(small));
  EXPECT_TRUE(logged("MIME64 -- Possible decode problem... ", 3));
  EXPECT_TRUE(logged("unknown/bad_decode00.txt", 3));

  // No base64 at all: no file, the buffer as it was, and a copy.
  name_ = "";
  const std::string text = "Just a note, nothing attached.\nSee you!\n";
  EXPECT_EQ(decode(text), "");
  EXPECT_EQ(name_, "");
  EXPECT_EQ(read_file("unknown/bad_decode01.txt"), work_file(text));
  EXPECT_EQ(decoders_.bad_decode_count(), 2u);
}

TEST_F(Mime64, InspectionCopiesCycleThroughAHundredNames) {
  for (int i = 0; i < 101; ++i) decode("note " + std::to_string(i) + "\n");
  EXPECT_EQ(decoders_.bad_decode_count(), 101u);
  EXPECT_EQ(read_file("unknown/bad_decode99.txt"), work_file("note 99\n"));
  EXPECT_EQ(read_file("unknown/bad_decode00.txt"), work_file("note 100\n"));
  EXPECT_FALSE(exists("unknown/bad_decode100.txt"));
}

TEST_F(Mime64, FailuresToCreateAFileEndTheDecoding) {
  std::filesystem::remove("pictures");
  const std::string data = "\nQUJD\n\nContent-Disposition: inline; filename=later.gif\n\nQUJD\n";
  EXPECT_EQ(decode("Content-Type: image/gif; name=a.gif\n" + data),
            "MIME64 -- Can't open outfile pictures/alt.pics/a.gif");
  EXPECT_TRUE(logged("Unable to create directory: pictures/alt.pics", 3));
  EXPECT_TRUE(logged("MIME64 -- Can't open outfile pictures/alt.pics/a.gif", 0));
  EXPECT_EQ(decode("Content-Disposition: inline; filename=b.gif\n" + data),
            "MIME64 -- Cant Open Outfile: pictures/alt.pics/b.gif");
  EXPECT_EQ(decode(data),
            std::string("MIME64 -- Unable to open pictures/alt.pics/") + kWtf + ".jpg for write");
  EXPECT_EQ(name_, "");

  name_ = "kept";
  EXPECT_EQ(decoders_.mime64_decode("missing.uue", "alt.pics", name_),
            "MIME64 -- missing.uue file not found");
  EXPECT_EQ(name_, "kept");
  // The inspection copy of a missing work file fails in its turn.
  EXPECT_TRUE(logged("MOVEFILE -- can not open input file", 0));
}

TEST_F(Mime64, MessagesAreCutAt79Characters) {
  std::filesystem::remove("pictures");
  const std::string group(100, 'g');
  std::string message = decode("Content-Type: image/gif; name=a.gif\n\nQUJD\n", group);
  EXPECT_EQ(message, ("MIME64 -- Can't open outfile pictures/" + group).substr(0, 79));
}

TEST_F(Mime64, LongHeaderLinesArriveInPiecesOf78Characters) {
  const std::string long_name(100, 'L');
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"" + long_name + "\"\n\n" + base64_lines(kPicture)), "");
  // The first piece holds 46 characters of the name; the rest of the line is a header line of its own.
  EXPECT_EQ(name_, long_name.substr(0, 46) + ".jpg");
}

TEST_F(Mime64, HeaderNamesThatWouldLeaveTheGroupFolderStayInIt) {
  const std::string data = "\nQUJD\n\n";
  EXPECT_EQ(decode("Content-Type: image/gif; name=\"../../../etc/cron.d/x\"\n" + data), "");
  EXPECT_EQ(name_, "x");
  EXPECT_TRUE(logged("Bad name in MIME header... used x", 3));
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"/etc/passwd\"\n" + data), "");
  EXPECT_EQ(name_, "passwd.jpg");
  EXPECT_EQ(decode("Content-Type: image/gif; name=\".htaccess\"\n" + data), "");
  EXPECT_EQ(name_, "htaccess");
  // Nothing usable left: the bad-name generated name (and ".jpg" for a JPEG).
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"..\"\n" + data), "");
  EXPECT_EQ(name_, std::string(kWtf) + ".jpg");
  EXPECT_TRUE(logged(std::string("Bad name in MIME header... used ") + kWtf, 3));
  EXPECT_EQ(decode("Content-Type: image/gif; name=\"/\"\n" + data), "");
  EXPECT_EQ(name_, kWtf);

  for (const auto& f : all_files())
    EXPECT_TRUE(f == "temp.uue" || f == "fk.log" || f.rfind("pictures/alt.pics/", 0) == 0 ||
                f.rfind("unknown/bad_decode", 0) == 0)
        << f;
}

TEST_F(Mime64, OnlyTheFirstGeneratedNamesWait) {
  std::string body;
  for (int i = 0; i < 12; ++i) body += "QUJD\n\n";
  EXPECT_EQ(decode(body), std::string("MIME64 -- No filename in header: used WTF6B1631E7-1.jpg"));
  EXPECT_EQ(clock_.slept_ms(), 11000);
  int files = 0;
  for (const auto& f : all_files()) files += f.rfind("pictures/alt.pics/WTF", 0) == 0;
  EXPECT_EQ(files, 12);
}

}  // namespace
}  // namespace fk::test
