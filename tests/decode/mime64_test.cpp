// SPDX-License-Identifier: GPL-3.0-or-later
// The MIME base64 decoder: parts and blocks, the header grammar, names, messages and the plausibility copy.
#include "decode_fixture.h"

namespace fk::test {
namespace {

const std::string kWtf = "WTF6B1631DC";
const std::string kPicture = some_bytes(6000);  // large enough to count as plausible

class Mime64 : public DecodeTest {
 protected:
  std::string decode(const std::string& body, const std::string& group = "alt.pics") {
    write_file("temp.uue", work_file(body));
    return decoders_.mime64_decode("temp.uue", group, name_);
  }
  std::string pic(const std::string& name) const { return read_file("pictures/alt.pics/" + name); }
  std::string name_;
};

TEST_F(Mime64, MpackFixtureAndRoundTripsDecodeByteForByte) {
  const std::string fixture = read_file(FK_TEST_DATA "/sample.mime");
  ASSERT_FALSE(fixture.empty());
  EXPECT_EQ(decode(fixture), "");
  EXPECT_EQ(name_, "sample.bin");
  EXPECT_EQ(pic("sample.bin"), read_file(FK_TEST_DATA "/sample.bin"));
  EXPECT_TRUE(logged("MIME64 -- " + std::to_string(work_file(fixture).size()) +
                         " bytes input from temp.uue, 6000 bytes output to sample.bin",
                     2));
  EXPECT_EQ(decoders_.bad_decode_count(), 0u);

  for (std::size_t n : {1u, 2u, 3u, 4u, 57u, 58u}) {
    std::string name = "f";
    name += std::to_string(n);
    EXPECT_EQ(decode("Content-Type: text/plain; name=" + name + "\n\n" + base64_lines(some_bytes(n, n))), "");
    EXPECT_EQ(pic(name), some_bytes(n, n)) << n;
  }
  write_file("temp.uue",
             to_crlf(work_file("Content-Type: image/jpeg; name=crlf\n\n" + base64_lines(kPicture))));
  EXPECT_EQ(decoders_.mime64_decode("temp.uue", "alt.pics", name_), "");
  EXPECT_EQ(pic("crlf.jpg"), kPicture);
}

TEST_F(Mime64, NamesFromContentTypeAndContentDisposition) {
  const std::string data = "\n" + base64_lines(kPicture);
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"sunset\"\n" + data), "");
  EXPECT_EQ(name_, "sunset.jpg");
  EXPECT_EQ(pic("sunset.jpg"), kPicture);
  EXPECT_EQ(decode("Content-Type: application/octet-stream; name=plain\n" + data), "");
  EXPECT_EQ(name_, "plain");
  // The Content-Type name wins over a later filename; a filename alone is used.
  EXPECT_EQ(decode("Content-Type: image/gif; name=\"first.gif\"\n"
                   "Content-Disposition: attachment; filename=\"second.gif\"\n" +
                   data),
            "");
  EXPECT_EQ(name_, "first.gif");
  EXPECT_EQ(decode("Content-Disposition: attachment; filename=\"only.gif\"\n" + data), "");
  EXPECT_EQ(name_, "only.gif");
  EXPECT_FALSE(exists("pictures/alt.pics/second.gif"));
  // A quoted name is whole; a name taken by other bytes moves on to "-N", by the same bytes it is reused.
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic_1 of 2.jpg\"\n" + data), "");
  EXPECT_EQ(name_, "pic_1 of 2.jpg");
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic.jpg\"\n" + data), "");
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic.jpg\"\n" + data), "");
  EXPECT_EQ(name_, "pic.jpg");
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"pic.jpg\"\n\n" + base64_lines(kPicture + "!")), "");
  EXPECT_EQ(name_, "pic-1.jpg");
  EXPECT_EQ(pic("pic.jpg"), kPicture);
  // Keywords match by prefix in any case; without the semicolon "name" is a value, so no name.
  EXPECT_EQ(decode("content-t: IMAGE/JPEG; N=sunrise\n" + data), "");
  EXPECT_EQ(name_, "sunrise.jpg");
  EXPECT_EQ(decode("Content-Type: image/jpeg name=lost\n" + data),
            "MIME64 -- No filename in header: used " + kWtf + ".jpg");
  EXPECT_EQ(name_, kWtf + ".jpg");
  EXPECT_EQ(pic(name_), kPicture);
  EXPECT_EQ(clock_.slept_ms(), 1100);
}

TEST_F(Mime64, WhereBlocksAndPartsEnd) {
  // Decoding stops at the first "="; the next line starts a new part.
  EXPECT_EQ(decode("Content-Type: image/gif; name=a.gif\n\nQUJD\nREVGRw==\n"
                   "Content-Type: image/gif; name=b.gif\n\nSGVsbG8=\n"),
            "");
  EXPECT_EQ(pic("a.gif") + "|" + pic("b.gif"), "ABCDEFG|Hello");
  EXPECT_EQ(name_, "b.gif");
  // A boundary line right after the block writes nothing; a last line without a line end is unused.
  EXPECT_EQ(decode("Content-Type: image/gif; name=c.gif\n\nQUJD\n--=_boundary\n"), "");
  EXPECT_EQ(decode("Content-Type: image/gif; name=d.gif\n\nQUJD\nREVG"), "");
  EXPECT_EQ(pic("c.gif") + pic("d.gif"), "ABCABC");
  // A declared encoding other than base64 skips a block's first line, in later parts too.
  EXPECT_EQ(
      decode(
          "Content-Transfer-Encoding: 7bit\n\nQUJD\n\nContent-Type: image/gif; name=e.gif\n\nQUJD\nREVG\n\n"
          "Content-Transfer-Encoding: base64\nContent-Type: image/gif; name=f.gif\n\nQUJD\n"),
      "");
  EXPECT_EQ(pic("e.gif") + pic("f.gif"), "DEFABC");
}

TEST_F(Mime64, GeneratedNamesAndTheMessageTheyLeave) {
  // A one-word greeting starts a block of its own; the named part after it clears the message.
  const std::string other = some_bytes(7000, 9);
  EXPECT_EQ(decode("Hello\n\nContent-Type: image/jpeg; name=\"one.jpg\"\n\n" + base64_lines(kPicture) +
                   "--b\nContent-Type: image/jpeg; name=\"two.jpg\"\n\n" + base64_lines(other) + "--b--\n"),
            "");
  EXPECT_TRUE(exists("pictures/alt.pics/" + kWtf + ".jpg"));
  EXPECT_EQ(pic("one.jpg"), kPicture);
  EXPECT_EQ(pic("two.jpg"), other);
  EXPECT_EQ(name_, "two.jpg");
  // Named first, unnamed after: the message survives, and is logged.
  EXPECT_EQ(decode("Content-Type: image/gif; name=x.gif\n\nQUJD\n\nSGVsbG8=\n"),
            "MIME64 -- No filename in header: used WTF6B1631DD.jpg");
  EXPECT_EQ(pic(name_), "Hello");
  EXPECT_TRUE(logged("MIME64 -- No filename in header: used WTF6B1631DD.jpg", 0));

  // Each generated name waits 1,100 ms, but only the first ten of a work file.
  std::string body;
  for (int i = 0; i < 12; ++i) body += base64_lines("ABC" + std::to_string(i)) + "\n";
  clock_.set_uptime_ms(0);
  const auto slept = clock_.slept_ms();
  EXPECT_EQ(decode(body), "MIME64 -- No filename in header: used WTF6B1631E7-1.jpg");
  EXPECT_EQ(clock_.slept_ms() - slept, 11000);
}

TEST_F(Mime64, ImplausibleDecodesAreCopiedForInspectionButStillSucceed) {
  // About 3,000 bytes of work file that decode correctly.
  const std::string small = "Content-Type: image/jpeg; name=\"small\"\n\n" + base64_lines(some_bytes(2100));
  EXPECT_EQ(decode(small), "");
  EXPECT_EQ(pic("small.jpg"), some_bytes(2100));
  EXPECT_EQ(read_file("unknown/bad_decode00.txt"), work_file(small));
  EXPECT_TRUE(logged("MIME64 -- Possible decode problem... ", 3));
  EXPECT_TRUE(logged("unknown/bad_decode00.txt", 3));
  // No base64 at all: no file, the buffer as it was, and a copy. The names cycle through a hundred.
  name_ = "";
  for (int i = 1; i <= 100; ++i) EXPECT_EQ(decode("A note, " + std::to_string(i) + " of them.\n"), "");
  EXPECT_EQ(name_, "");
  EXPECT_EQ(all_files().size(), 103u);  // temp.uue, fk.log, small.jpg and 100 copies
  EXPECT_EQ(read_file("unknown/bad_decode99.txt"), work_file("A note, 99 of them.\n"));
  EXPECT_EQ(read_file("unknown/bad_decode00.txt"), work_file("A note, 100 of them.\n"));
  EXPECT_EQ(decoders_.bad_decode_count(), 101u);
}

TEST_F(Mime64, FailuresToCreateAFileEndTheDecoding) {
  std::filesystem::remove("pictures");
  const std::string rest = "\nQUJD\n\nContent-Disposition: inline; filename=later.gif\n\nQUJD\n";
  // A folder that cannot be written is the disk's fault, not the article's: a write failure.
  EXPECT_EQ(decode("Content-Type: image/gif; name=a.gif\n" + rest),
            "MIME64 -- Unable to open pictures/alt.pics/a.gif for write");
  EXPECT_TRUE(logged("Unable to create directory: pictures/alt.pics", 3));
  EXPECT_TRUE(logged("MIME64 -- Unable to open pictures/alt.pics/a.gif for write", 0));
  EXPECT_EQ(decode("Content-Disposition: inline; filename=b.gif\n" + rest),
            "MIME64 -- Unable to open pictures/alt.pics/b.gif for write");
  EXPECT_EQ(decode(rest), "MIME64 -- Unable to open pictures/alt.pics/" + kWtf + ".jpg for write");
  write_file("temp.uue", work_file("Content-Type: image/gif; name=a.gif\n" + rest));
  EXPECT_EQ(decoders_.mime64("temp.uue", std::string(100, 'g')).status, DecodeStatus::WriteFailed);
  EXPECT_EQ(name_, "");
  EXPECT_EQ(decoders_.mime64_decode("missing.uue", "alt.pics", name_),
            "MIME64 -- missing.uue file not found");
  EXPECT_TRUE(logged("MOVEFILE -- can not open input file", 0));  // its inspection copy fails in turn
}

TEST_F(Mime64, LongHeaderLinesAreReadWhole) {
  const std::string long_name(100, 'L');
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"" + long_name + "\"\n\n" + base64_lines(kPicture)), "");
  EXPECT_EQ(name_, long_name + ".jpg");
  // A name past what a file system takes is shortened, not cut at the reader's piece.
  const std::string huge_name(400, 'H');
  EXPECT_EQ(decode("Content-Type: image/jpeg; name=\"" + huge_name + ".jpg\"\n\n" + base64_lines(kPicture)), "");
  EXPECT_EQ(name_, std::string(123, 'H') + ".jpg");
}

TEST_F(Mime64, HeaderNamesThatWouldLeaveTheFolderStayInIt) {
  const std::pair<std::string, std::string> cases[] = {{"../../../etc/cron.d/x", "x"},
                                                       {"/etc/passwd", "passwd"},
                                                       {".htaccess", "htaccess"},
                                                       {"..", kWtf},
                                                       {"/", kWtf}};  // the same bytes: not stored twice
  for (const auto& [raw, stored] : cases) {
    EXPECT_EQ(decode("Content-Type: image/gif; name=\"" + raw + "\"\n\nQUJD\n\n"), "") << raw;
    EXPECT_EQ(name_, stored);
    EXPECT_EQ(pic(stored), "ABC");
  }
  EXPECT_TRUE(logged("Bad name in MIME header... used x", 3));
  EXPECT_TRUE(logged("Bad name in MIME header... used " + kWtf, 3));
}

}  // namespace
}  // namespace fk::test
