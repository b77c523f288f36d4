// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the INI reader and writer on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "store/profile_file.h"
#include "store/settings.h"
#include "store/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = "fuzz-profile.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  fk::ProfileFile f(path);
  fk::Settings s;
  fk::ArchiveCounters a;
  fk::load_settings(f, s, a);
  std::string key(reinterpret_cast<const char*>(data), size < 8 ? size : 8);
  f.write_string("COMM", key, "value");
  if (f.get_string("COMM", key, "", 99) != "value" && key.find_first_of("=\n\r[;") == std::string::npos &&
      !key.empty() && fk::trim(key) == key && key.find('\0') == std::string::npos) {
    // A key we just wrote must read back (keys with separators or blanks at the ends are not real keys).
    __builtin_trap();
  }
  fk::parse_profile_int(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
