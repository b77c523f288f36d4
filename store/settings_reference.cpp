// SPDX-License-Identifier: GPL-3.0-or-later
// fennick.ini(5) from the settings table.
#include "store/settings_reference.h"

#include <limits>

#include "store/settings.h"

namespace fk {

namespace {

bool full_range(const SettingDef& d) {
  const bool is_unsigned = d.kind == SettingKind::Unsigned;
  return d.low == (is_unsigned ? 0 : std::numeric_limits<std::int32_t>::min()) &&
         d.high == (is_unsigned ? std::numeric_limits<std::uint32_t>::max() : std::numeric_limits<std::int32_t>::max());
}

std::string range_of(const SettingDef& d) {
  switch (d.kind) {
    case SettingKind::Text: {
      std::string def = d.text_default.empty() ? "empty" : "\"" + std::string(d.text_default) + "\"";
      return "text of at most " + std::to_string(d.high) + " characters; default " + def;
    }
    case SettingKind::Secret: return "text, Base64-encoded; default empty";
    case SettingKind::Flag:
      return "0 or 1 (any other number counts as 1); default " + std::to_string(d.number_default);
    case SettingKind::Signed:
    case SettingKind::Unsigned: {
      std::string r = full_range(d) ? (d.kind == SettingKind::Unsigned ? "whole number from 0" : "whole number")
                                    : "number from " + std::to_string(d.low) + " to " + std::to_string(d.high);
      return r + "; default " + std::to_string(d.number_default);
    }
  }
  return {};
}

}  // namespace

std::string roff_escape(std::string_view text) {
  std::string out;
  if (!text.empty() && (text.front() == '.' || text.front() == '\'')) out = "\\&";
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else
      out += c;
  }
  return out;
}

std::string setting_range_text(std::string_view key) { return range_of(setting_def(key)); }

std::string settings_reference_page(std::string_view version) {
  std::string page;
  page += ".\\\" SPDX-License-Identifier: GPL-3.0-or-later\n";
  page += ".\\\" Made at build time from the program's settings table; edit store/settings.cpp, not this.\n";
  page += ".TH FENNICK.INI 5 \"\" \"Fennick " + roff_escape(version) + "\" \"File Formats\"\n";
  page += ".SH NAME\nFENNICK.INI \\- settings file of fennick\n";
  page +=
      ".SH DESCRIPTION\n"
      "Fennick reads its settings from the file FENNICK.INI in its working folder once, at start-up; the "
      "setup sheet writes them back when it is closed with OK.\n"
      "The file may be edited by hand while Fennick is not running.\n"
      ".PP\n"
      "A line holding a name in square brackets opens a section; lines of the form key=value hold the "
      "values. Section and key names are matched without regard to letter case.\n"
      "A key that is absent takes its default. A number outside its range is set to the nearest value "
      "in range at start-up, with one line in fk.log naming the key; the file keeps what was written "
      "until the setup sheet next stores it. A port that is not a number from 1 to 65535 is refused: "
      "Fennick does not connect and says why.\n"
      ".PP\n"
      "The file holds passwords (Base64-encoded, which hides nothing): it is created with mode 0600.\n"
      ".SH KEYS\n";
  std::string_view section;
  for (const SettingDef& d : settings_table()) {
    if (d.section != section) {
      section = d.section;
      page += ".SS [" + std::string(section) + "]\n";
    }
    page += ".TP\n.B " + roff_escape(d.key) + "\n" + roff_escape(range_of(d)) + ".\n.br\n" +
            roff_escape(d.description) + "\n";
  }
  page +=
      ".SS Written by the program\n"
      "These keys are kept by Fennick itself and need no editing.\n"
      ".TP\n.B [COMM] phone_book_entry\n"
      "Name of the NetworkManager dial-up connection to dial: the first active one found is "
      "remembered.\n"
      ".TP\n.B [HISTORY] archive_connections\nLifetime count of connections the server greeted.\n"
      ".TP\n.B [HISTORY] archive_tot_time\nLifetime connected time in seconds.\n"
      ".TP\n.B [HISTORY] archive_pic_count\nLifetime count of article bodies downloaded.\n"
      ".TP\n.B [HISTORY] archive_tot_articles\nLifetime count of overview lines examined.\n"
      ".SH EXAMPLE\n"
      ".nf\n"
      "[COMM]\nnews_server=news.example.net\nport=563\nuse_tls=1\ncheck_auth=1\nuser=me\ncheck_dialup=0\n"
      "[SCHEDULE]\nMonday=1\nStart_Hour=2\nStart_Min=0\nEnd_Hour=5\nEnd_Min=0\n"
      ".fi\n"
      ".SH SEE ALSO\n"
      ".BR fennick (1)\n";
  return page;
}

}  // namespace fk
