// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile work files: whatever the server sends, the decoders return and write only where they may.
#include "decode_fixture.h"

namespace fk::test {
namespace {

class Hostile : public DecodeTest {
 protected:
  // Both decoders, the way the article loop calls them.
  void run_both(const std::string& content, const std::string& group = "alt.pics") {
    write_file("temp.uue", content);
    std::string name;
    std::string uu = decoders_.uudecode_file("temp.uue", group, name);
    if (!uu.empty()) {
      EXPECT_LE(decoders_.mime64_decode("temp.uue", group, name).size(), 79u);
    }
    EXPECT_EQ(name.find('/'), std::string::npos);
    for (const auto& f : all_files())
      EXPECT_TRUE(f == "temp.uue" || f == "fk.log" || f.rfind("pictures/", 0) == 0 ||
                  f.rfind("unknown/", 0) == 0)
          << f;
  }
};

TEST_F(Hostile, GarbageNulsHugeLinesAndClimbingNames) {
  run_both(some_bytes(200000, 7));
  run_both("begin 644 x.jpg\n" + some_bytes(200000, 7));
  run_both(std::string("begin 644 nul\0name.jpg\nM", 24) + std::string(5000, '\0') + "\n`\n");
  // 1 MB lines arrive in pieces: data for uuencode, base64 for MIME.
  run_both("begin 644 long.jpg\n" + std::string(1 << 20, 'M') + "\n");
  run_both("Content-Type: image/jpeg; name=\"big\"\n\n" + std::string(1 << 20, 'A') + "\n");
  run_both(std::string(1 << 20, '\r'));
  for (const char* name : {"../x", "/etc/x", "C:\\x", "..\\..\\x", "x\x1b[2J", "../../../../tmp/evil"}) {
    run_both(uuencode("abc", name));
    run_both(std::string("Content-Disposition: attachment; filename=") + name + "\n\nQUJD\n");
  }
  for (const char* group : {"..", "../..", "/etc", "a/../../b", "\n\t"})
    run_both(uuencode("abc", "g.jpg"), group);
}

}  // namespace
}  // namespace fk::test
