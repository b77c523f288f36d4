// SPDX-License-Identifier: GPL-3.0-or-later
// The yEnc decoder: round trips through the test server's encoder, escapes, checks, names, the family.
#include <cerrno>

#include "common/full_disk.h"
#include "decode/decode_fixture.h"
#include "decode/work_file.h"
#include "server/yenc_encoder.h"
#include "store/text_file.h"

namespace fk::test {
namespace {

std::size_t files_in_dir(const std::string& dir) {
  std::size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

class YencTest : public DecodeTest {
 protected:
  DecodeResult decode(const std::string& body, const std::string& group = "alt.pics") {
    write_file("temp.uue", work_file(body));
    EXPECT_TRUE(decoders_.yenc_claims("temp.uue"));
    return decoders_.yenc("temp.uue", group);
  }
  // Nothing was left in any picture folder, temporary files included.
  bool no_pictures() const {
    for (const std::string& f : all_files())
      if (f.starts_with("pictures/")) return false;
    return true;
  }
};

TEST_F(YencTest, RandomBytesOfManySizesRoundTrip) {
  int seed = 0;
  for (std::size_t size : {0, 1, 2, 63, 127, 128, 129, 255, 256, 257, 1000, 65536, 300000}) {
    for (bool crlf : {false, true}) {
      std::string bytes = some_bytes(size, ++seed), name = "pic" + std::to_string(seed) + ".jpg";
      std::string body = "some text before\n" + yenc_encode(name, bytes) + "-- \nsignature after\n";
      DecodeResult r = decode(crlf ? to_crlf(body) : body);
      ASSERT_EQ(r.status, DecodeStatus::Decoded) << size << " " << crlf << " " << r.message;
      EXPECT_EQ(r.name, name);
      EXPECT_EQ(read_file("pictures/alt.pics/" + name), bytes) << size;
      EXPECT_EQ(r.yenc.decoded_crc, crc32_ieee(bytes));
      EXPECT_TRUE(logged("YENC - Decoded " + name + " (" + std::to_string(size) + " bytes)", 3));
    }
  }
  std::string big = some_bytes(10 << 20, 99);
  EXPECT_EQ(decode(yenc_encode("big.jpg", big)).status, DecodeStatus::Decoded);
  EXPECT_EQ(read_file("pictures/alt.pics/big.jpg"), big);
}

TEST_F(YencTest, HandCheckedVectors) {
  // Each byte plus 42; the CRC32 check value of "123456789" is cbf43926.
  ASSERT_EQ(decode("=ybegin line=128 size=9 name=check.txt\n[\\]^_`abc\n=yend size=9 crc32=cbf43926\n").status,
            DecodeStatus::Decoded);
  EXPECT_EQ(read_file("pictures/alt.pics/check.txt"), "123456789");
  // NUL, LF, CR and '=' once encoded are escaped: '=' and the byte plus 64. Upper-case hex is accepted.
  ASSERT_EQ(decode("=ybegin line=128 size=5 name=critical.bin\n*=@=J=M=}\n=yend size=5 crc32=9D122009\n").status,
            DecodeStatus::Decoded);
  EXPECT_EQ(read_file("pictures/alt.pics/critical.bin"), std::string("\x00\xd6\xe0\xe3\x13", 5));
}

TEST_F(YencTest, EveryByteValueInEveryColumnWithAndWithoutEscapedEdges) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (bool plain : {false, true}) {
    for (std::size_t shift = 0; shift < 16; ++shift) {
      std::string bytes = std::string(shift, 'x') + all + all;
      std::string name = "b";  // appended piecewise: g++ 12 warns falsely on this operator+ chain
      name += std::to_string(plain);
      name += "-";
      name += std::to_string(shift);
      std::string body = "=ybegin line=16 size=" + std::to_string(bytes.size()) + " name=" + name + "\n" +
                         yenc_lines(bytes, 16, plain) + "=yend size=" + std::to_string(bytes.size()) + "\n";
      ASSERT_EQ(decode(body).status, DecodeStatus::Decoded) << name;
      EXPECT_EQ(read_file("pictures/alt.pics/" + name), bytes) << name;
    }
  }
}

TEST_F(YencTest, LinesOfAnyLengthAndKeywordsInAnyOrder) {
  std::string bytes = some_bytes(20000, 7);
  // One 20,000-byte line where line=128 is claimed, and crc32 before size.
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", crc32_ieee(bytes));
  std::string body = "=ybegin size=20000 line=128 total=1 part=1 name=long line.jpg\n" +
                     yenc_lines(bytes, 100000) + "=yend crc32=" + crc + " size=20000 extra=1\n";
  DecodeResult r = decode(body);
  ASSERT_EQ(r.status, DecodeStatus::Decoded) << r.message;
  EXPECT_EQ(read_file("pictures/alt.pics/long line.jpg"), bytes);
}

TEST_F(YencTest, BrokenArticlesAreDamagedAndLeaveNoPicture) {
  std::string bytes = some_bytes(5000, 3);
  std::string good = yenc_encode("a.jpg", bytes);
  std::string bad_crc = good;
  bad_crc.replace(bad_crc.rfind("crc32=") + 6, 8, "00000000");
  std::string bad_size = good;
  bad_size.replace(bad_size.find("size=5000"), 9, "size=5001");
  std::string cut = good.substr(0, good.size() / 2);
  cut.resize(cut.rfind('\n') + 1);
  std::string split = "=ybegin line=128 size=2 name=a.jpg\nA=\nJ\n=yend size=2\n";
  std::string trailing_escape = "=ybegin line=128 size=1 name=a.jpg\nA=";
  std::string no_size = "=ybegin line=128 name=a.jpg\nAA\n=yend\n";

  struct Case {
    const std::string& body;
    const char* message;
  } cases[] = {
      {bad_crc, "YENC - CRC Error in a.jpg... file kept in unknown/"},
      {bad_size, "YENC - Size Error in a.jpg (5000 bytes, expected 5001 bytes)... file kept in unknown/"},
      {cut, nullptr},
      {split, "YENC - Broken escape in a.jpg... file kept in unknown/"},
      {trailing_escape, nullptr},
      {no_size, "YENC - No size on the =ybegin line of a.jpg... file kept in unknown/"},
  };
  for (const Case& c : cases) {
    DecodeResult r = decode(c.body);
    EXPECT_EQ(r.status, DecodeStatus::Damaged) << c.body.substr(0, 60);
    if (c.message) {
      EXPECT_EQ(r.message, c.message);
    }
    EXPECT_TRUE(r.name.empty());
    EXPECT_TRUE(no_pictures());
  }
  EXPECT_TRUE(decode(cut).message.starts_with("YENC - No =yend line in a.jpg, cut short at "));
}

TEST_F(YencTest, NamesAreConfinedToTheGroupFolder) {
  std::string bytes = some_bytes(300, 5);
  struct Case {
    std::string raw, stored;
  } cases[] = {
      {"", "WTF6B1631DC"},
      {std::string(1000, 'n') + ".jpg", std::string(123, 'n') + ".jpg"},
      {"../../../etc/passwd", "passwd"},
      {"..\\..\\evil.jpg", "evil.jpg"},
      {"bell\a\x1b[2J.jpg", "bell__[2J.jpg"},
      {"...hidden.jpg", "hidden.jpg"},
  };
  for (const Case& c : cases) {
    std::string body = "=ybegin line=128 size=300 name=" + c.raw + "\n" + yenc_lines(bytes) + "=yend size=300\n";
    DecodeResult r = decode(body, "../alt.pics");
    ASSERT_EQ(r.status, DecodeStatus::Decoded) << c.raw;
    EXPECT_EQ(r.name, c.stored);
    EXPECT_EQ(read_file("pictures/_alt.pics/" + c.stored), bytes);
    std::filesystem::remove("pictures/_alt.pics/" + c.stored);
  }
  for (const std::string& f : all_files()) EXPECT_TRUE(f == "temp.uue" || f == "fk.log") << f;
}

TEST_F(YencTest, PartsOfASetAreReportedWithTheirFields) {
  std::string whole = some_bytes(1000, 11);
  DecodeResult r = decode(yenc_encode_part("set.jpg", whole, 2, 3, 400, 800));
  EXPECT_EQ(r.status, DecodeStatus::PartOfSet);
  EXPECT_EQ(r.message, "YENC - set.jpg is part 2 of 3 of a set... kept in unknown/");
  EXPECT_EQ(r.yenc.part, 2u);
  EXPECT_EQ(r.yenc.total, 3u);
  EXPECT_EQ(r.yenc.part_begin, 401u);
  EXPECT_EQ(r.yenc.part_end, 800u);
  EXPECT_EQ(r.yenc.end_part, 2u);
  EXPECT_EQ(r.yenc.decoded_bytes, 400u);
  EXPECT_EQ(r.yenc.pcrc32, crc32_ieee(whole.substr(400, 400)));
  EXPECT_EQ(r.yenc.decoded_crc, crc32_ieee(whole.substr(400, 400)));
  EXPECT_TRUE(no_pictures());
  // "1 of 1" is a whole file, and so is part 1 without a total whose =ypart covers it all.
  EXPECT_EQ(decode(yenc_encode_part("one.jpg", whole, 1, 1, 0, 1000)).status, DecodeStatus::Decoded);
  std::string untotalled = yenc_encode_part("two.jpg", whole, 1, 1, 0, 1000);
  untotalled.erase(untotalled.find(" total=1"), 8);
  EXPECT_EQ(decode(untotalled).status, DecodeStatus::Decoded);
  EXPECT_EQ(read_file("pictures/alt.pics/two.jpg"), whole);
}

TEST_F(YencTest, SameBytesAreNotStoredTwiceButOtherBytesGetANewName) {
  std::string bytes = some_bytes(4000, 2);
  ASSERT_EQ(decode(yenc_encode("dup.jpg", bytes)).status, DecodeStatus::Decoded);
  DecodeResult again = decode(yenc_encode("dup.jpg", bytes));
  EXPECT_EQ(again.status, DecodeStatus::Decoded);
  EXPECT_TRUE(again.already_stored);
  EXPECT_EQ(again.name, "dup.jpg");
  DecodeResult other = decode(yenc_encode("dup.jpg", some_bytes(4000, 3)));
  EXPECT_FALSE(other.already_stored);
  EXPECT_EQ(other.name, "dup-1.jpg");
  EXPECT_EQ(read_file("pictures/alt.pics/dup.jpg"), bytes);
  EXPECT_EQ(files_in_dir("pictures/alt.pics"), 2u);
}

TEST_F(YencTest, AFullDiskOrAnUnwritableFolderIsAWriteFailureForEveryDecoder) {
  std::string bytes = some_bytes(3 << 20, 4);
  FullDisk disk(1 << 20);
  decoders_.set_file_writer(disk);
  DecodeResult r = decode(yenc_encode("full.jpg", bytes));
  EXPECT_EQ(r.status, DecodeStatus::WriteFailed);
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_EQ(r.failed_path, "pictures/alt.pics/full.jpg");
  EXPECT_TRUE(no_pictures() || files_in_dir("pictures/alt.pics") == 0u);

  write_file("temp.uue", work_file(uuencode(bytes, "full.jpg")));
  EXPECT_EQ(decoders_.uudecode("temp.uue", "alt.pics").status, DecodeStatus::WriteFailed);
  write_file("temp.uue", work_file("Content-Type: image/jpeg; name=\"full.jpg\"\n\n" + base64_lines(bytes)));
  EXPECT_EQ(decoders_.mime64("temp.uue", "alt.pics").status, DecodeStatus::WriteFailed);
  EXPECT_EQ(files_in_dir("pictures/alt.pics"), 0u);

  // A file where the group's folder should be: nothing can be written there.
  decoders_.set_file_writer(system_file_writer());
  write_file("pictures/blocked", "not a folder");
  EXPECT_EQ(decode(yenc_encode("x.jpg", "abc"), "blocked").status, DecodeStatus::WriteFailed);
}

TEST_F(YencTest, OnlyWorkFilesWithABeginLineAreClaimedAndTheFamilyKeepsItsOrder) {
  write_file("temp.uue", work_file(uuencode("abc", "a.jpg")));
  EXPECT_FALSE(decoders_.yenc_claims("temp.uue"));
  write_file("temp.uue", work_file("text\n =ybegin line=1 size=1 name=x\n=ybeginning\n"));
  EXPECT_FALSE(decoders_.yenc_claims("temp.uue"));
  EXPECT_FALSE(decoders_.yenc_claims("missing"));
  auto family = decoders_.family();
  EXPECT_EQ(family[0]->kind(), DecoderKind::Yenc);
  EXPECT_EQ(family[1]->kind(), DecoderKind::Uuencode);
  EXPECT_EQ(family[2]->kind(), DecoderKind::Base64);
  // uuencode takes only a body with a begin line, so a base64 or text body draws no complaint from it.
  EXPECT_FALSE(family[1]->claims("temp.uue"));
  EXPECT_TRUE(family[2]->claims("temp.uue"));
  write_file("temp.uue", work_file("text\n" + uuencode("abc", "a.jpg")));
  EXPECT_TRUE(family[1]->claims("temp.uue"));
}

TEST(LeftoverTemps, ACrashsTemporaryFilesGoAtTheNextStartAndNothingElse) {
  TempDir dir;
  ::mkdir("pictures", 0755);
  ::mkdir("pictures/alt.pics", 0755);
  for (const char* f : {"pictures/.picture.tmp-Ab12Cd", "pictures/alt.pics/.picture.tmp-zzzzzz",
                        "pictures/alt.pics/keep.jpg", "HISTORY.FNK.tmp-a1B2c3", "HISTORY.FNK", "notes.tmp-1"})
    write_file(f, "x");
  EXPECT_EQ(remove_leftover_picture_temps(), 2);
  EXPECT_EQ(remove_leftover_replacements(), 1);
  EXPECT_TRUE(exists("pictures/alt.pics/keep.jpg"));
  EXPECT_TRUE(exists("HISTORY.FNK"));
  EXPECT_TRUE(exists("notes.tmp-1"));
  EXPECT_FALSE(exists("HISTORY.FNK.tmp-a1B2c3"));
}

}  // namespace
}  // namespace fk::test
