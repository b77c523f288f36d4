// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared set-up of the decoder tests: a fresh working folder, a fake clock, the status log, encoders.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "decode/decoders.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk::test {

class DecodeTest : public ::testing::Test {
 protected:
  DecodeTest() {
    ::mkdir("pictures", 0755);
    ::mkdir("unknown", 0755);
    // The codecs' byte-exact tests file whatever they decode; the picture rule has its own tests.
    decoders_.set_pictures_only(false);
  }
  // fk.log holds the message at the level (the time stamps ignored).
  bool logged(const std::string& message, int level) const {
    static const char* prefixes[] = {"", "+---", "+-------", "+-----------"};
    std::string want = "  " + std::string(prefixes[level > 3 ? 3 : level]) + " - " + message + "\n";
    std::string all = "\n";
    all += read_file("fk.log");
    return all.find(want) != std::string::npos;
  }
  // Every file under the working folder, relative.
  std::vector<std::string> all_files() const {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir_.path()))
      if (!e.is_directory()) out.push_back(std::filesystem::relative(e.path(), dir_.path()).string());
    return out;
  }

  TempDir dir_;
  FakeClock clock_;  // generated names of its start time are WTF6B1631DC
  SharedSettings settings_;
  StatusLog log_{settings_, clock_};
  Decoders decoders_{log_, clock_};
};

// The work file the article loop writes: the pending row, an empty line, then the body.
inline std::string work_file(const std::string& body) {
  return "42\tposter@example.com\t120\tsubject\n\n" + body;
}

inline std::string to_crlf(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Classic uuencode (grave accent for zero), ending with the "`" line and "end".
inline std::string uuencode(const std::string& bytes, const std::string& name) {
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string out = "begin 644 " + name + "\n";
  for (std::size_t i = 0; i < bytes.size(); i += 45) {
    std::size_t n = std::min<std::size_t>(45, bytes.size() - i);
    out += enc(static_cast<unsigned>(n));
    for (std::size_t j = 0; j < n; j += 3) {
      unsigned b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && j + k < n; ++k) b[k] = static_cast<unsigned char>(bytes[i + j + k]);
      out += enc(b[0] >> 2);
      out += enc(((b[0] << 4) | (b[1] >> 4)) & 63);
      out += enc(((b[1] << 2) | (b[2] >> 6)) & 63);
      out += enc(b[2] & 63);
    }
    out += '\n';
  }
  return out + "`\nend\n";
}

// Base64 in lines of 76 characters.
inline std::string base64_lines(const std::string& bytes) {
  std::string b = base64_encode(bytes), out;
  for (std::size_t i = 0; i < b.size(); i += 76) out += b.substr(i, 76) + "\n";
  return out;
}

// Deterministic bytes of every value.
inline std::string some_bytes(std::size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  unsigned x = seed * 2654435761u + 12345u;
  for (auto& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace fk::test
