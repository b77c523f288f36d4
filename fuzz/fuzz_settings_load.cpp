// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the settings reader on arbitrary FENNICK.INI contents. Whatever the file says, the TLS
// keys come out protective or refused: plain TCP only from a number that is 0, no certificate check
// only from the text "0".
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "store/profile_file.h"
#include "store/settings.h"
#include "store/text_file.h"

namespace {

// A whole decimal number of value 0: an optional sign, then only zeros.
bool reads_as_zero(std::string_view text) {
  text = fk::trim(text);
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of('0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = "fuzz-settings.ini";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const fk::ProfileFile f(path);
  fk::Settings s;
  fk::ArchiveCounters a;
  fk::load_settings(f, s, a);

  const std::optional<std::string> tls = f.get_value("COMM", "use_tls");
  const bool refused = s.use_tls == fk::Settings::kPlain - 1;
  if (!refused && (s.use_tls < fk::Settings::kPlain || s.use_tls > fk::Settings::kStartTls)) __builtin_trap();
  if (s.use_tls == fk::Settings::kPlain && tls && !reads_as_zero(*tls)) __builtin_trap();
  if (refused && fk::connection_setting_problem(s).empty() && !s.news_server.empty()) __builtin_trap();

  const std::optional<std::string> verify = f.get_value("COMM", "tls_verify");
  if (s.tls_verify != 0 && s.tls_verify != 1) __builtin_trap();
  if (s.tls_verify == 0 && (!verify || fk::trim(*verify) != "0")) __builtin_trap();
  return 0;
}
