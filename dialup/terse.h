// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading nmcli's terse ("-t") output.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fk {

// Splits one line of terse tabular output into its columns: ':' separates them, "\:" and "\\" stand
// for ':' and '\'. A backslash before any other character (or at the end) is kept as it is.
std::vector<std::string> split_terse_fields(std::string_view line);

// Splits text into lines at LF (a CR before it is dropped); empty lines are skipped.
std::vector<std::string_view> terse_lines(std::string_view text);

// One "name:value" line of terse multi-line output (details of one profile). The value is not
// escaped there, so it is everything after the first ':'. nullopt when there is no ':'.
struct TerseProperty {
  std::string_view name, value;
};
std::optional<TerseProperty> split_terse_property(std::string_view line);

}  // namespace fk
