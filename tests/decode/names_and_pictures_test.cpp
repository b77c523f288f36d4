// SPDX-License-Identifier: GPL-3.0-or-later
// Names from the data (yEnc, begin lines, MIME with encoded words and extended values) and the rule
// that only pictures are filed among the pictures.
#include "decode_fixture.h"
#include "server/yenc_encoder.h"
#include "store/header_text.h"

namespace fk::test {
namespace {

const std::string kJpeg = "\xFF\xD8\xFF\xE0" + some_bytes(3000, 7);
const std::string kGif = "GIF89a" + some_bytes(2000, 8);

class NamesAndPictures : public DecodeTest {
 protected:
  NamesAndPictures() { decoders_.set_pictures_only(true); }
  DecodeResult run(DecoderKind kind, const std::string& body) {
    write_file("temp.uue", work_file(body));
    for (Decoder* d : decoders_.family())
      if (d->kind() == kind) return d->decode("temp.uue", "alt.pics");
    return {};
  }
  static std::string pic(const std::string& name) { return read_file("pictures/alt.pics/" + name); }
};

TEST_F(NamesAndPictures, YencNamesAreTrimmedAndReadAsUtf8OrLatin1) {
  std::string body = yenc_encode("testfile.jpg", kJpeg);
  body.insert(body.find('\n'), "  ");  // blanks after the name
  DecodeResult r = run(DecoderKind::Yenc, body);
  EXPECT_EQ(r.status, DecodeStatus::Decoded);
  EXPECT_EQ(r.name, "testfile.jpg");
  EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode("caf\xE9.jpg", kJpeg)).name, "caf\xC3\xA9.jpg");
  EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode("caf\xC3\xA9 2.jpg", kJpeg)).name, "caf\xC3\xA9 2.jpg");
  EXPECT_EQ(pic("caf\xC3\xA9.jpg"), kJpeg);
  EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode("paris.2024.eiffel.tower.jpg", kJpeg)).name,
            "paris.2024.eiffel.tower.jpg");
}

TEST_F(NamesAndPictures, MimeNamesFromEncodedWordsAndExtendedValues) {
  const std::string boundary = "--b1\n";
  auto part = [](const std::string& headers, const std::string& bytes) {
    return "--b1\n" + headers + "Content-Transfer-Encoding: base64\n\n" + base64_lines(bytes);
  };
  const std::string mail =
      "Content-Type: multipart/mixed; boundary=\"b1\"\n\n" +
      part("Content-Type: image/gif;\n name=\"=?UTF-8?B?b3JhbmfDqWUuZ2lm?=\"\n", kGif) +
      part("Content-Type: image/gif\nContent-Disposition: attachment;\n filename*=UTF-8''%C3%A9t%C3%A9.gif\n",
           kGif + "2") +
      part("Content-Type: image/gif\nContent-Disposition: attachment;\n filename*0*=iso-8859-1''l%E0;\n"
           " filename*1=\"-bas.gif\"\n",
           kGif + "3") +
      part("Content-Type: image/gif; name=\"=?ISO-8859-1?Q?gr=FCn?= =?ISO-8859-1?Q?e.gif?=\"\n", kGif + "4") +
      "--b1--\n";
  DecodeResult r = run(DecoderKind::Base64, mail);
  EXPECT_EQ(r.status, DecodeStatus::Decoded) << r.message;
  EXPECT_EQ(pic("orang\xC3\xA9" "e.gif"), kGif);
  EXPECT_EQ(pic("\xC3\xA9t\xC3\xA9.gif"), kGif + "2");
  EXPECT_EQ(pic("l\xC3\xA0-bas.gif"), kGif + "3");
  EXPECT_EQ(pic("gr\xC3\xBCne.gif"), kGif + "4");
  EXPECT_FALSE(exists("pictures/alt.pics/UTF-8"));
}

TEST_F(NamesAndPictures, OnlyPicturesAreFiledAmongThePictures) {
  // A name that says picture over bytes that are none goes to unknown/, with one line.
  DecodeResult r = run(DecoderKind::Uuencode, uuencode(some_bytes(500), "fake.jpg"));
  EXPECT_EQ(r.status, DecodeStatus::NotPicture);
  EXPECT_EQ(r.name, "fake.jpg");
  EXPECT_EQ(read_file("unknown/fake.jpg"), some_bytes(500));
  EXPECT_FALSE(exists("pictures/alt.pics/fake.jpg"));
  EXPECT_TRUE(logged("UUDECODE -- fake.jpg is no picture... filed in unknown/fake.jpg", 3));
  // Fewer than 64 bytes, whatever the name; nothing at all goes nowhere.
  EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode("tiny.txt", "hello")).status, DecodeStatus::NotPicture);
  EXPECT_EQ(read_file("unknown/tiny.txt"), "hello");
  r = run(DecoderKind::Yenc, yenc_encode("empty.jpg", ""));
  EXPECT_EQ(r.status, DecodeStatus::NotPicture);
  EXPECT_TRUE(r.name.empty());
  EXPECT_FALSE(exists("unknown/empty.jpg"));
  // Every format the picture names stand for.
  const std::string tail = some_bytes(100);
  for (const auto& [name, head] : std::vector<std::pair<std::string, std::string>>{
           {"a.png", "\x89PNG\r\n\x1A\n"},
           {"a.webp", std::string("RIFF\x10\0\0\0WEBP", 12)},
           {"a.bmp", "BM"},
           {"a.tif", std::string("II*\0", 4)},
           {"a.heic", std::string("\0\0\0\x18" "ftypheic", 12)},
           {"a.jxl", "\xFF\x0A"}}) {
    EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode(name, head + tail)).status, DecodeStatus::Decoded) << name;
  }
  // A non-picture name of a fair size is filed as before.
  EXPECT_EQ(run(DecoderKind::Yenc, yenc_encode("notes.txt", tail)).status, DecodeStatus::Decoded);
  // A long name on a MIME part that is no picture: read whole, filed whole, the message still fits its line.
  const std::string long_name = std::string(60, 'n') + ".gif";
  r = run(DecoderKind::Base64, "Content-Disposition: inline; filename=" + long_name +
                                   "\nContent-Transfer-Encoding: base64\n\n" + base64_lines(tail));
  EXPECT_EQ(r.status, DecodeStatus::NotPicture);
  EXPECT_LE(r.message.size(), 79u);
  EXPECT_EQ(read_file("unknown/" + long_name), tail);
}

TEST_F(NamesAndPictures, ATextReadAsBase64LeavesNothingUnderPictures) {
  DecodeResult r = run(DecoderKind::Base64, "Thanks\nfor\nposting\nthese\n");
  EXPECT_NE(r.status, DecodeStatus::Decoded);
  for (const std::string& f : all_files()) EXPECT_FALSE(f.starts_with("pictures/")) << f;
}

TEST_F(NamesAndPictures, UuencodeEndsAtEndWithoutTheBackquoteLine) {
  std::string body = uuencode(kJpeg, "nobq.jpg");
  body.erase(body.rfind("`\nend"), 2);
  ASSERT_NE(body.find("\nend\n"), std::string::npos);
  DecodeResult r = run(DecoderKind::Uuencode, body);
  EXPECT_EQ(r.status, DecodeStatus::Decoded);
  EXPECT_EQ(pic("nobq.jpg"), kJpeg);
}

TEST(HeaderText, EncodedWordsExtendedValuesAndCharsets) {
  EXPECT_EQ(decode_encoded_words("=?UTF-8?Q?Caf=C3=A9_?= =?UTF-8?Q?au_lait?= x"), "Caf\xC3\xA9 au lait x");
  EXPECT_EQ(decode_encoded_words("a =?iso-8859-1?q?=E9?= b"), "a \xC3\xA9 b");
  EXPECT_EQ(decode_encoded_words("=?windows-1252?Q?=80?="), "\xE2\x82\xAC");
  // Unknown charsets, broken words and blanks inside stay as written.
  for (const char* s : {"=?koi9?Q?x?=", "=?UTF-8?Q?x", "=?UTF-8?X?x?=", "=?UTF-8?Q?a b?=", "=?", "x =?=?"})
    EXPECT_EQ(decode_encoded_words(s), s);
  EXPECT_EQ(decode_extended_value("UTF-8'en'%C3%A9t%C3%A9.gif"), "\xC3\xA9t\xC3\xA9.gif");
  EXPECT_EQ(decode_extended_value("%E9t%E9"), "\xC3\xA9t\xC3\xA9");  // no charset: Latin-1 when not UTF-8
  EXPECT_EQ(decode_extended_value("a%2"), "a%2");
  EXPECT_TRUE(is_valid_utf8("caf\xC3\xA9"));
  EXPECT_FALSE(is_valid_utf8("caf\xE9"));
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(is_valid_utf8("\xE2\x82"));      // cut short
  EXPECT_EQ(cut_utf8("caf\xC3\xA9", 4), "caf");
}

}  // namespace
}  // namespace fk::test
