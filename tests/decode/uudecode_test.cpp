// SPDX-License-Identifier: GPL-3.0-or-later
// The uuencode decoder: begin lines, counts, messages, counters, and where it may write.
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
  // Bytes read of a whole decode: everything but the "end" line, which is never read.
  static std::string read_line(const std::string& body, const std::string& rest) {
    return "UUDECODE -- read " + std::to_string(work_file(body).size() - 4) + " bytes, wrote " + rest;
  }
  std::string pic(const std::string& name) const { return read_file("pictures/alt.pics/" + name); }
  std::string name_;
};

TEST_F(Uudecode, SharutilsFixtureAndRoundTripsDecodeByteForByte) {
  const std::string fixture = read_file(FK_TEST_DATA "/sample.uue");
  ASSERT_FALSE(fixture.empty());
  EXPECT_EQ(decode(fixture), "");
  EXPECT_EQ(name_, "sample.jpg");
  EXPECT_EQ(pic("sample.jpg"), read_file(FK_TEST_DATA "/sample.bin"));
  EXPECT_TRUE(logged(read_line(fixture, "6000 bytes to pictures/alt.pics/sample.jpg"), 3));

  // CR LF line ends read and count like LF.
  write_file("temp.uue", to_crlf(work_file(fixture)));
  EXPECT_EQ(decoders_.uudecode_file("temp.uue", "alt.pics", name_), "");
  // The same bytes under the same name: kept once.
  EXPECT_EQ(name_, "sample.jpg");
  EXPECT_FALSE(exists("pictures/alt.pics/sample-1.jpg"));

  for (std::size_t n : {1u, 2u, 3u, 4u, 44u, 45u, 46u, 4097u}) {
    std::string name = "f";
    name += std::to_string(n);
    EXPECT_EQ(decode(uuencode(some_bytes(n, n), name)), "") << n;
    EXPECT_EQ(pic(name), some_bytes(n, n)) << n;
  }
}

TEST_F(Uudecode, BeginLineVariants) {
  EXPECT_EQ(decode(uuencode("abc", "my photo.jpg")), "");
  EXPECT_EQ(name_, "my photo.jpg");
  // The mode ends at the first blank; the name runs to the next tab.
  EXPECT_EQ(decode("begin 0600 tabbed name.gif\tjunk\n#86)C\n`\nend\n"), "");
  EXPECT_EQ(pic("tabbed name.gif"), "abc");
  std::string long_name(200, 'n');
  EXPECT_EQ(decode(uuencode("abc", long_name)), "");
  EXPECT_EQ(name_, long_name.substr(0, 127));
  // A long name keeps its extension and is never cut inside a character.
  EXPECT_EQ(decode(uuencode("abc", std::string(121, 'n') + "\xC3\xA9\xC3\xA9.jpeg")), "");
  EXPECT_EQ(name_, std::string(121, 'n') + ".jpeg");
  // No group: straight into pictures/.
  EXPECT_EQ(decode(uuencode("abc", "top.jpg"), ""), "");
  EXPECT_EQ(read_file("pictures/top.jpg"), "abc");
  EXPECT_TRUE(logged(read_line(uuencode("abc", "top.jpg"), "3 bytes to pictures/top.jpg"), 3));
}

TEST_F(Uudecode, FailuresReturnTheirMessageAndLeaveTheNameBufferAlone) {
  name_ = "untouched";
  EXPECT_EQ(decoders_.uudecode_file("no-such-file", "g", name_), kNoInput);
  ASSERT_EQ(::mkfifo("fifo", 0600), 0);  // must not block
  EXPECT_EQ(decoders_.uudecode_file("fifo", "g", name_), kNoInput);
  EXPECT_EQ(decode("text\nbegin_not\n BEGIN 644 x\n"), kNoBegin);
  EXPECT_EQ(decode("begin 644\n#86)C\n`\n"), kNoName);
  EXPECT_EQ(decode("begin 644 \n#86)C\n`\n"), kNoName);
  std::filesystem::remove("pictures");
  EXPECT_EQ(decode(uuencode("abc", "a.jpg")), kNoOutput);
  EXPECT_TRUE(logged("Unable to create directory: pictures/alt.pics", 3));
  EXPECT_EQ(name_, "untouched");
  for (const char* m : {kNoInput, kNoBegin, kNoName, kNoOutput}) EXPECT_TRUE(logged(m, 0)) << m;
}

TEST_F(Uudecode, CountCharactersAndShortLines) {
  std::string m = uuencode(some_bytes(45), "m.bin");
  ASSERT_EQ(m[m.find('\n') + 1], 'M');  // 45 bytes from 15 groups
  EXPECT_EQ(decode(m), "");
  EXPECT_EQ(pic("m.bin"), some_bytes(45));
  // A count of 4 takes two groups, the second writing one byte; grave accents and blanks are zero,
  // and a blank line ends the data.
  EXPECT_EQ(decode("begin 644 four.bin\n$86)C9```\n#`` `\n#    \n \nend\n"), "");
  EXPECT_EQ(pic("four.bin"), std::string("abcd") + std::string(6, '\0'));

  // "#86" brings two characters of its group, the empty line none of its 42 bytes: zeros, never
  // leftovers of the full line before them.
  std::string full = uuencode(std::string(45, '\xff'), "x");
  full = full.substr(12, 62);
  EXPECT_EQ(decode("begin 644 short.bin\n" + full + "#86\n\n`\n"), "");
  EXPECT_EQ(pic("short.bin"), std::string(45, '\xff') + std::string("a`\0", 3) + std::string(42, '\0'));
}

TEST_F(Uudecode, ShortFileKeepsThePartialFileAndItsName) {
  std::string body = uuencode(some_bytes(100), "cut.jpg");
  body.resize(body.find('\n', body.find('\n') + 1) + 1);  // begin line and one data line
  EXPECT_EQ(decode(body), kShort);
  EXPECT_EQ(name_, "cut.jpg");
  EXPECT_EQ(pic("cut.jpg"), some_bytes(45));
  EXPECT_TRUE(logged(kShort, 0));
}

TEST_F(Uudecode, NeverReplacesAFileOfTheSameName) {
  ::mkdir("pictures/alt.pics", 0755);
  write_file("pictures/alt.pics/pic.jpg", "older");
  EXPECT_EQ(decode(uuencode("one", "pic.jpg")), "");
  EXPECT_EQ(decode(uuencode("two", "pic.jpg")), "");
  EXPECT_EQ(name_, "pic-2.jpg");
  EXPECT_EQ(decode(uuencode("3", "noext")), "");
  EXPECT_EQ(decode(uuencode("4", "noext")), "");
  EXPECT_EQ(name_, "noext-1");
  EXPECT_EQ(pic("pic.jpg") + pic("pic-1.jpg") + pic("pic-2.jpg") + pic("noext-1"), "olderonetwo4");
  EXPECT_TRUE(logged(read_line(uuencode("two", "pic.jpg"), "3 bytes to pictures/alt.pics/pic-2.jpg"), 3));
}

TEST_F(Uudecode, NamesAndGroupsThatWouldLeaveTheFolderStayInIt) {
  const std::pair<std::string, std::string> cases[] = {{"../../escape.jpg", "escape.jpg"},
                                                       {"/etc/passwd", "passwd"},
                                                       {"C:\\WIN\\win.ini", "win.ini"},
                                                       {".profile", "profile"},
                                                       {"bell\x07.jpg", "bell_.jpg"}};
  for (const auto& [raw, stored] : cases) {
    EXPECT_EQ(decode(uuencode("abc", raw)), "") << raw;
    EXPECT_EQ(name_, stored);
    EXPECT_EQ(pic(stored), "abc");
    EXPECT_TRUE(logged("Bad name on begin line... used " + stored, 3));
  }
  // Nothing usable left: a name from the clock.
  EXPECT_EQ(decode(uuencode("abc", "..")), "");
  EXPECT_EQ(decode(uuencode("abd", "dir/")), "");
  EXPECT_EQ(name_, "WTF6B1631DC-1");
  EXPECT_EQ(decode(uuencode("abc", "g.jpg"), "../../tmp"), "");
  EXPECT_EQ(read_file("pictures/_.._tmp/g.jpg"), "abc");
  EXPECT_TRUE(logged("Bad group name... used pictures/_.._tmp/", 3));
  for (const auto& f : all_files())
    EXPECT_TRUE(f == "temp.uue" || f == "fk.log" || f.rfind("pictures/", 0) == 0) << f;
}

TEST_F(Uudecode, FailedWriteIsNotReportedAsSuccess) {
  // The file size limit stands in for a full disk.
  write_file("temp.uue", work_file(uuencode(some_bytes(600000), "big.jpg")));
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 100000;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = decoders_.uudecode_file("temp.uue", "g", name_);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  // Nothing of it is kept: no cut-short picture, no temporary file.
  EXPECT_EQ(message, kNoOutput);
  EXPECT_EQ(name_, "");
  EXPECT_TRUE(std::filesystem::is_empty("pictures/g"));
}

// temp.uue now holds the body byte-exact; read with the reader's old habits, the two decoders see what
// they saw when the reader dropped blanks and empty lines and cut lines at 511 bytes.
TEST_F(Uudecode, ByteExactWorkFileReadWithTheReadersHabits) {
  const std::string bytes = some_bytes(4000, 7);
  std::string body;
  std::size_t n = 0;
  for (char c : uuencode(bytes, "habit.jpg")) {
    if (c == '\n' && ++n % 7 == 0) body += "\n\n   \n\t";  // empty and blank lines, a leading tab
    body += c;
  }
  body = "  \n" + std::string(1200, '#') + "\n" + body;  // a long line, cut into three once
  write_file("temp.uue", work_file(body));
  decoders_.uudecode_file("temp.uue", "alt.pics", name_);
  EXPECT_NE(read_file("pictures/alt.pics/habit.jpg"), bytes);
  EXPECT_EQ(decoders_.uudecode_file("temp.uue", "alt.pics", name_, WorkLines::AsReaderHanded), "");
  EXPECT_EQ(read_file("pictures/alt.pics/habit-1.jpg"), bytes);

  // In base64, an empty line would end the block early.
  std::string mime = "Content-Type: image/jpeg; name=m.jpg\n\n";
  n = 0;
  for (char c : base64_lines(bytes)) {
    mime += c;
    if (c == '\n' && ++n % 5 == 0) mime += "\n \n";
  }
  write_file("temp.uue", work_file(mime));
  decoders_.mime64_decode("temp.uue", "alt.pics", name_);
  EXPECT_NE(read_file("pictures/alt.pics/m.jpg"), bytes);
  EXPECT_EQ(decoders_.mime64_decode("temp.uue", "alt.pics", name_, WorkLines::AsReaderHanded), "");
  EXPECT_EQ(read_file("pictures/alt.pics/m-1.jpg"), bytes);
}

}  // namespace
}  // namespace fk::test
