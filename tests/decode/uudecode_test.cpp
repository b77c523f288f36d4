// The uuencode decoder: begin lines, counts, messages, counters, and the files it may and may not write.
#include <sys/resource.h>

#include <csignal>

#include "decode_fixture.h"

namespace fk::test {
namespace {

constexpr const char kNoInput[] = "UUDECODE - Unable to open input file ";
constexpr const char kNoBegin[] = "UUDECODE - No begin line found       ";
constexpr const char kNoName[] = "UUDECODE - No filename on begin line ";
constexpr const char kNoOutput[] = "UUDECODE - Unable to open output file";
constexpr const char kShort[] = "UUDECODE - Short file                ";

class Uudecode : public DecodeTest {
 protected:
  std::string decode(const std::string& body, const std::string& group = "alt.pics") {
    write_file("temp.uue", work_file(body));
    return decoders_.uudecode_file("temp.uue", group, name_);
  }
  std::string name_;
};

TEST_F(Uudecode, FixtureFromSharutilsDecodesByteForByteAndCountsEveryLineRead) {
  const std::string fixture = read_file(FK_TEST_DATA "/sample.uue");
  ASSERT_FALSE(fixture.empty());
  EXPECT_EQ(decode(fixture), "");
  EXPECT_EQ(name_, "sample.jpg");
  EXPECT_EQ(read_file("pictures/alt.pics/sample.jpg"), read_file(FK_TEST_DATA "/sample.bin"));
  // Everything up to and including the zero-count line; "end" is never read.
  const std::size_t read = work_file(fixture).size() - 4;
  EXPECT_TRUE(logged(
      "UUDECODE -- read " + std::to_string(read) + " bytes, wrote 6000 bytes to pictures/alt.pics/sample.jpg",
      3));
}

TEST_F(Uudecode, CrLfWorkFileDecodesAndCountsLikeLf) {
  std::string body = uuencode(some_bytes(1000), "pic.jpg"), crlf;
  for (char c : work_file(body)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  write_file("temp.uue", crlf);
  EXPECT_EQ(decoders_.uudecode_file("temp.uue", "g", name_), "");
  EXPECT_EQ(read_file("pictures/g/pic.jpg"), some_bytes(1000));
  EXPECT_TRUE(logged("UUDECODE -- read " + std::to_string(work_file(body).size() - 4) +
                         " bytes, wrote 1000 bytes to pictures/g/pic.jpg",
                     3));
}

TEST_F(Uudecode, RoundTripsEveryLengthAroundLineAndGroupBoundaries) {
  for (std::size_t n : {1u, 2u, 3u, 4u, 44u, 45u, 46u, 90u, 4097u}) {
    std::string name = "f";
    name += std::to_string(n);
    EXPECT_EQ(decode(uuencode(some_bytes(n, n), name)), "") << n;
    EXPECT_EQ(read_file("pictures/alt.pics/" + name), some_bytes(n, n)) << n;
  }
}

TEST_F(Uudecode, BeginLineVariants) {
  EXPECT_EQ(decode(uuencode("abc", "my photo.jpg")), "");
  EXPECT_EQ(name_, "my photo.jpg");
  EXPECT_TRUE(exists("pictures/alt.pics/my photo.jpg"));

  // The mode ends at the first blank; the name runs to the next tab.
  EXPECT_EQ(decode("begin 0600 tabbed name.gif\tjunk\n#86)C\n`\nend\n"), "");
  EXPECT_EQ(name_, "tabbed name.gif");
  EXPECT_EQ(read_file("pictures/alt.pics/tabbed name.gif"), "abc");

  std::string long_name(200, 'n');
  EXPECT_EQ(decode(uuencode("abc", long_name)), "");
  EXPECT_EQ(name_, long_name.substr(0, 127));
  EXPECT_EQ(read_file("pictures/alt.pics/" + long_name.substr(0, 127)), "abc");
}

TEST_F(Uudecode, FailuresReturnTheirFixedWidthMessageAndLeaveTheNameBufferAlone) {
  name_ = "untouched";
  EXPECT_EQ(decoders_.uudecode_file("no-such-file", "g", name_), kNoInput);
  EXPECT_EQ(decode("just some text\nbegin_not really\n BEGIN 644 x\n"), kNoBegin);
  EXPECT_EQ(decode("begin 644\n#86)C\n`\n"), kNoName);
  EXPECT_EQ(decode("begin 644 \n#86)C\n`\n"), kNoName);
  EXPECT_EQ(decode("begin \n"), kNoName);
  EXPECT_EQ(name_, "untouched");
  for (const char* m : {kNoInput, kNoBegin, kNoName}) {
    EXPECT_EQ(std::string(m).size(), 37u);
    EXPECT_TRUE(logged(m, 0)) << m;
  }
  EXPECT_FALSE(exists("pictures/alt.pics/x"));
  // A directory or FIFO is not a work file, and opening one must not block.
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);
  EXPECT_EQ(decoders_.uudecode_file("fifo", "g", name_), kNoInput);
  EXPECT_EQ(decoders_.uudecode_file("pictures", "g", name_), kNoInput);
}

TEST_F(Uudecode, CountCharacters) {
  // M carries 45 bytes from 15 groups.
  std::string m = uuencode(some_bytes(45), "m.bin");
  ASSERT_EQ(m.substr(m.find('\n') + 1, 1), "M");
  EXPECT_EQ(decode(m), "");
  EXPECT_EQ(read_file("pictures/alt.pics/m.bin"), some_bytes(45));

  // A count of 4 takes two groups; the second writes one byte. Grave accents and blanks are zero.
  EXPECT_EQ(decode("begin 644 four.bin\n$86)C9```\n`\n"), "");
  EXPECT_EQ(read_file("pictures/alt.pics/four.bin"), std::string("abcd"));
  EXPECT_EQ(decode("begin 644 zero.bin\n#`` `\n#    \n \nend\n"), "");
  EXPECT_EQ(read_file("pictures/alt.pics/zero.bin"), std::string(6, '\0'));
}

TEST_F(Uudecode, ShortFileKeepsThePartialFileAndItsName) {
  std::string body = uuencode(some_bytes(100), "cut.jpg");
  body = body.substr(0, body.find('\n', body.find('\n') + 1) + 1);  // begin line and one data line
  EXPECT_EQ(decode(body), kShort);
  EXPECT_EQ(name_, "cut.jpg");
  EXPECT_EQ(read_file("pictures/alt.pics/cut.jpg"), some_bytes(45));
  EXPECT_TRUE(logged(kShort, 0));
}

TEST_F(Uudecode, ShortDataLinesDecodeTheMissingCharactersAsZero) {
  // A full line first, so that leftovers of it would show in the short line after it.
  std::string full = uuencode(std::string(45, '\xff'), "x").substr(std::string("begin 644 x\n").size());
  full = full.substr(0, full.find('\n') + 1);
  // "#86" announces 3 bytes but brings only two characters of its group; an empty line counts 42.
  EXPECT_EQ(decode("begin 644 short.bin\n" + full + "#86\n\n`\n"), "");
  // '8', '6', then zeros: 0x61 0x60 0x00.
  const std::string want = std::string(45, '\xff') + std::string("a`\0", 3) + std::string(42, '\0');
  EXPECT_EQ(read_file("pictures/alt.pics/short.bin"), want);
}

TEST_F(Uudecode, EmptyGroupWritesIntoPicturesItself) {
  const std::string body = uuencode("abc", "top.jpg");
  EXPECT_EQ(decode(body, ""), "");
  EXPECT_EQ(read_file("pictures/top.jpg"), "abc");
  EXPECT_TRUE(logged("UUDECODE -- read " + std::to_string(work_file(body).size() - 4) +
                         " bytes, wrote 3 bytes to pictures/top.jpg",
                     3));
}

TEST_F(Uudecode, MissingPicturesFolderIsLoggedAndFailsAtTheOutputFile) {
  std::filesystem::remove("pictures");
  name_ = "kept";
  EXPECT_EQ(decode(uuencode("abc", "a.jpg"), "alt.pics"), kNoOutput);
  EXPECT_TRUE(logged("Unable to create directory: pictures/alt.pics", 3));
  EXPECT_TRUE(logged(kNoOutput, 0));
  EXPECT_EQ(name_, "kept");
}

TEST_F(Uudecode, NeverOverwritesAFileOfTheSameName) {
  ::mkdir("pictures/alt.pics", 0755);
  write_file("pictures/alt.pics/pic.jpg", "older");
  EXPECT_EQ(decode(uuencode("one", "pic.jpg")), "");
  EXPECT_EQ(name_, "pic-1.jpg");
  EXPECT_EQ(decode(uuencode("two", "pic.jpg")), "");
  EXPECT_EQ(name_, "pic-2.jpg");
  EXPECT_EQ(decode(uuencode("three", "noext")), "");
  EXPECT_EQ(decode(uuencode("four", "noext")), "");
  EXPECT_EQ(name_, "noext-1");
  EXPECT_EQ(read_file("pictures/alt.pics/pic.jpg"), "older");
  EXPECT_EQ(read_file("pictures/alt.pics/pic-1.jpg"), "one");
  EXPECT_EQ(read_file("pictures/alt.pics/pic-2.jpg"), "two");
  EXPECT_EQ(read_file("pictures/alt.pics/noext-1"), "four");
  EXPECT_TRUE(logged("UUDECODE -- read " + std::to_string(work_file(uuencode("two", "pic.jpg")).size() - 4) +
                         " bytes, wrote 3 bytes to pictures/alt.pics/pic-2.jpg",
                     3));
}

TEST_F(Uudecode, NamesThatWouldLeaveTheGroupFolderStayInIt) {
  struct Case {
    std::string raw, stored;
  };
  const Case cases[] = {{"../../escape.jpg", "escape.jpg"},
                        {"/etc/passwd", "passwd"},
                        {"C:\\WINDOWS\\win.ini", "win.ini"},
                        {".profile", "profile"},
                        {"bell\x07name.jpg", "bell_name.jpg"}};
  for (const auto& c : cases) {
    EXPECT_EQ(decode(uuencode("abc", c.raw)), "") << c.raw;
    EXPECT_EQ(name_, c.stored);
    EXPECT_EQ(read_file("pictures/alt.pics/" + c.stored), "abc");
    EXPECT_TRUE(logged("Bad name on begin line... used " + c.stored, 3));
  }
  // Nothing usable left: a generated name from the clock.
  EXPECT_EQ(decode(uuencode("abc", "..")), "");
  EXPECT_EQ(name_, "WTF6B1631DC");
  EXPECT_EQ(decode(uuencode("abc", "dir/")), "");
  EXPECT_EQ(name_, "WTF6B1631DC-1");

  // A group name that climbs out of pictures/ is confined too.
  EXPECT_EQ(decode(uuencode("abc", "g.jpg"), "../../tmp"), "");
  EXPECT_EQ(read_file("pictures/_.._tmp/g.jpg"), "abc");
  EXPECT_TRUE(logged("Bad group name... used pictures/_.._tmp/", 3));

  for (const auto& f : all_files())
    EXPECT_TRUE(f == "temp.uue" || f == "fk.log" || f.rfind("pictures/", 0) == 0) << f;
}

TEST_F(Uudecode, FailedWriteIsNotReportedAsSuccess) {
  // The file size limit stands in for a full disk.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  write_file("temp.uue", work_file(uuencode(some_bytes(600000), "big.jpg")));
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = decoders_.uudecode_file("temp.uue", "g", name_);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(message, kShort);
  EXPECT_EQ(name_, "big.jpg");
}

}  // namespace
}  // namespace fk::test
