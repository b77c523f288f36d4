// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The key reference fennick.ini(5), made from settings_table() so that it cannot drift from the code.

#include <string>
#include <string_view>

namespace fk {

// The kind, range and default of a row in words ("number from 1 to 65535; default 119").
std::string setting_range_text(std::string_view key);

// The whole manual page in roff: every row of settings_table() by section, then the keys the program
// writes itself. `version` goes into the page's footer.
std::string settings_reference_page(std::string_view version);

// Text made safe for a roff line: backslashes doubled as \e, a leading dot or quote escaped.
std::string roff_escape(std::string_view text);

}  // namespace fk
