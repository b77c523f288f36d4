// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the readers of nmcli's terse output (listings and profile details).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dialup/nmcli_service.h"
#include "dialup/terse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::string_view line : fk::terse_lines(text)) {
    auto fields = fk::split_terse_fields(line);
    std::size_t total = 0;
    for (const auto& f : fields) total += f.size();
    if (total > line.size()) __builtin_trap();
    if (auto p = fk::split_terse_property(line); p && p->name.size() + p->value.size() + 1 != line.size())
      __builtin_trap();
  }
  std::string escaped = fk::escape_passwd_value(text);
  if (escaped.find('\n') != std::string::npos || escaped.find(' ') != std::string::npos) __builtin_trap();
  return 0;
}
