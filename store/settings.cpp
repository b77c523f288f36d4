// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, correcting and saving FENNICK.INI.
#include "store/settings.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "store/profile_file.h"
#include "store/status_log.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

// The in-memory password is a C string: decoded bytes up to the first zero byte.
std::string decoded_password(const std::string& stored) {
  std::string bytes = base64_decode(stored, 102);
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  return bytes;
}

// The leading number of a stored value, saturated far beyond 32 bits so that a huge value is seen as
// huge instead of wrapping; `whole` when nothing but blanks surrounds it.
struct StoredNumber {
  std::int64_t value = 0;
  bool whole = false;
};

StoredNumber parse_stored_number(std::string_view text) {
  text = trim(text);
  constexpr std::int64_t kCap = std::int64_t{1} << 40;
  const LeadingNumber n = read_decimal(text, NumberForm::Signed);
  return {n.capped(kCap), n.found && n.end == text.size()};
}

using TextRef = std::string& (*)(Settings&);
using SignedRef = std::int32_t& (*)(Settings&);
using UnsignedRef = std::uint32_t& (*)(Settings&);

template <auto Member>
auto& field(Settings& s) {
  return s.*Member;
}
template <std::size_t Day>
std::int32_t& day(Settings& s) {
  return s.days[Day];
}

constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUintMax = std::numeric_limits<std::uint32_t>::max();

constexpr SettingDef text(std::string_view section, std::string_view key, TextRef f, std::string_view def,
                          std::int64_t kept, int edit_length) {
  return {section, key, SettingKind::Text, def, 0, 0, kept, edit_length, false, f, nullptr, nullptr};
}
constexpr SettingDef secret(std::string_view section, std::string_view key, TextRef f, int edit_length) {
  return {section, key, SettingKind::Secret, "", 0, 0, 98, edit_length, false, f, nullptr, nullptr};
}
constexpr SettingDef flag(std::string_view section, std::string_view key, SignedRef f, std::int64_t def) {
  return {section, key, SettingKind::Flag, "", def, kIntMin, kIntMax, -1, false, nullptr, f, nullptr};
}
constexpr SettingDef signed_number(std::string_view section, std::string_view key, SignedRef f, std::int64_t def,
                                   std::int64_t low = kIntMin, std::int64_t high = kIntMax) {
  return {section, key, SettingKind::Signed, "", def, low, high, -1, false, nullptr, f, nullptr};
}
constexpr SettingDef unsigned_number(std::string_view section, std::string_view key, UnsignedRef f,
                                     std::int64_t def, std::int64_t low = 0, std::int64_t high = kUintMax,
                                     bool refuse = false) {
  return {section, key, SettingKind::Unsigned, "", def, low, high, -1, refuse, nullptr, nullptr, f};
}

using S = Settings;
// New keys go after the existing ones of their section, so the files users have keep their order.
constexpr SettingDef kTable[] = {
    text("COMM", "news_server", field<&S::news_server>, "", 98, 99),
    text("COMM", "user", field<&S::user>, "", 98, 99),
    secret("COMM", "pass", field<&S::pass>, 99),
    text("COMM", "isp_user", field<&S::isp_user>, "", 98, -1),
    secret("COMM", "isp_pass", field<&S::isp_pass>, -1),
    flag("COMM", "unattended_operation", field<&S::unattended_operation>, 0),
    flag("COMM", "check_auth", field<&S::check_auth>, 0),
    flag("COMM", "check_dialup", field<&S::check_dialup>, 1),
    signed_number("COMM", "max_connecttime", field<&S::max_connecttime>, 300),
    unsigned_number("COMM", "port", field<&S::port>, 119, 1, 65535, true),
    signed_number("COMM", "use_tls", field<&S::use_tls>, S::kPlain, S::kPlain, S::kStartTls),
    text("COMM", "tls_ca_file", field<&S::tls_ca_file>, "", 4095, 4095),
    flag("COMM", "tls_verify", field<&S::tls_verify>, 1),
    signed_number("COMM", "idle_timeout", field<&S::idle_timeout>, 120, 1, 86400),
    flag("COMM", "fast_transfers", field<&S::fast_transfers>, 0),
    signed_number("COMM", "pipeline_depth", field<&S::pipeline_depth>, 8, 1, 64),
    flag("COMM", "use_compression", field<&S::use_compression>, 1),

    flag("LOGGING", "files_logging_enabled", field<&S::files_logging_enabled>, 1),
    flag("LOGGING", "status_logging_enabled", field<&S::status_logging_enabled>, 1),
    flag("LOGGING", "detailed_status_logging_enabled", field<&S::detailed_status_logging_enabled>, 0),
    // Beyond 32700 the lists are cut anyway; 0 would empty the histories at every start.
    unsigned_number("LOGGING", "max_history", field<&S::max_history>, 2500, 10, 32700),
    unsigned_number("LOGGING", "max_filenames", field<&S::max_filenames>, 5000, 10, 32700),
    unsigned_number("LOGGING", "max_blacklist", field<&S::max_blacklist>, 500, 10, 32700),

    text("SCREEN", "taskbar_name", field<&S::taskbar_name>, "2nd Quarter Projections", 99, -1),
    flag("SCREEN", "display_as_downloaded", field<&S::display_as_downloaded>, 0),
    flag("SCREEN", "sound_on", field<&S::sound_on>, 1),
    flag("SCREEN", "check_decode", field<&S::check_decode>, 1),
    flag("SCREEN", "notify", field<&S::notify>, 1),
    // Where the window was; restored only on a screen that can show it.
    text("SCREEN", "window_geometry", field<&S::window_geometry>, "", 63, -1),
    text("SCREEN", "pending_columns", field<&S::pending_columns>, "", 63, -1),

    flag("SUBJECT", "check_subject", field<&S::check_subject>, 1),
    text("SUBJECT", "filter1", field<&S::filter1>, "*.jpg*|*.gif*", 98, 99),
    text("SUBJECT", "filter2", field<&S::filter2>, "*1/1*|*01/01*", 98, 99),
    text("SUBJECT", "filter3", field<&S::filter3>, "re:*|*free*|*http:*", 98, 99),

    flag("SELECTION", "check_date", field<&S::check_date>, 1),
    signed_number("SELECTION", "max_days", field<&S::max_days>, 365),
    flag("SELECTION", "check_minlines", field<&S::check_minlines>, 1),
    unsigned_number("SELECTION", "minlines", field<&S::minlines>, 500),
    flag("SELECTION", "check_maxlines", field<&S::check_maxlines>, 1),
    unsigned_number("SELECTION", "maxlines", field<&S::maxlines>, 5000),
    unsigned_number("SELECTION", "max_art_per_grp", field<&S::max_art_per_grp>, 250),
    flag("SELECTION", "incremental_scan", field<&S::incremental_scan>, 0),
    signed_number("SELECTION", "first_scan_articles", field<&S::first_scan_articles>, 10000, 0, 2000000000),
    flag("SELECTION", "collect_multipart", field<&S::collect_multipart>, 0),
    signed_number("SELECTION", "multipart_keep_days", field<&S::multipart_keep_days>, 7, 1, 3650),

    flag("SCHEDULE", "Sunday", day<0>, 0),
    flag("SCHEDULE", "Monday", day<1>, 0),
    flag("SCHEDULE", "Tuesday", day<2>, 0),
    flag("SCHEDULE", "Wednesday", day<3>, 0),
    flag("SCHEDULE", "Thursday", day<4>, 0),
    flag("SCHEDULE", "Friday", day<5>, 0),
    flag("SCHEDULE", "Saturday", day<6>, 0),
    unsigned_number("SCHEDULE", "Start_Hour", field<&S::start_hour>, 0, 0, 23),
    unsigned_number("SCHEDULE", "Start_Min", field<&S::start_min>, 30, 0, 59),
    unsigned_number("SCHEDULE", "End_Hour", field<&S::end_hour>, 5, 0, 23),
    unsigned_number("SCHEDULE", "End_Min", field<&S::end_min>, 30, 0, 59),
};

}  // namespace

bool Settings::scheduler_active() const {
  if (unattended_operation == 0) return false;
  for (auto d : days)
    if (d != 0) return true;
  return false;
}

Settings::Settings() {
  for (const SettingDef& d : settings_table()) {
    if (d.is_text())
      d.text(*this) = std::string(d.text_default);
    else
      d.set_number(*this, d.number_default);
  }
}

std::int64_t SettingDef::number(const Settings& s) const {
  auto& m = const_cast<Settings&>(s);  // the accessors only hand out the field
  if (kind == SettingKind::Unsigned) return unsigned_value(m);
  return signed_value(m);
}

void SettingDef::set_number(Settings& s, std::int64_t v) const {
  if (kind == SettingKind::Unsigned)
    unsigned_value(s) = static_cast<std::uint32_t>(v);
  else
    signed_value(s) = static_cast<std::int32_t>(v);
}

std::span<const SettingDef> settings_table() { return kTable; }

const SettingDef& setting_def(std::string_view key) {
  for (const SettingDef& d : kTable)
    if (d.key == key) return d;
  throw std::out_of_range("no setting " + std::string(key));
}

bool locate_settings_file(std::string& ini_path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string dir = fs::current_path(ec).string();
  if (!dir.empty() && dir.back() == '/')
    ini_path = dir + kSettingsFileName;
  else
    ini_path = dir + "/" + kSettingsFileName;
  return fs::is_regular_file(ini_path, ec);
}

std::vector<std::string> load_settings(const ProfileFile& f, Settings& s, ArchiveCounters& a) {
  std::vector<std::string> notes;
  auto shown = [](const std::string& raw) { return raw.size() > 40 ? raw.substr(0, 40) + "..." : raw; };
  for (const SettingDef& d : kTable) {
    if (d.kind == SettingKind::Text) {
      d.text(s) = f.get_string(d.section, d.key, d.text_default, static_cast<std::size_t>(d.high) + 1);
      continue;
    }
    if (d.kind == SettingKind::Secret) {
      d.text(s) = decoded_password(f.get_string(d.section, d.key, "", static_cast<std::size_t>(d.high) + 1));
      continue;
    }
    auto raw = f.get_value(d.section, d.key);
    if (!raw) {
      d.set_number(s, d.number_default);
      continue;
    }
    StoredNumber n = parse_stored_number(*raw);
    std::int64_t v = n.value;
    // Values above INT32_MAX are stored as their 32-bit pattern, as written by write_profile_int.
    if (d.kind == SettingKind::Unsigned && v < 0 && v >= std::numeric_limits<std::int32_t>::min())
      v += std::int64_t{1} << 32;
    if (d.refuse) {
      if (n.whole && v >= d.low && v <= d.high) {
        d.set_number(s, v);
      } else {
        d.set_number(s, 0);
        notes.push_back("Invalid Setup: " + std::string(d.key) + "=" + shown(*raw) + " is not a number from " +
                        std::to_string(d.low) + " to " + std::to_string(d.high));
      }
      continue;
    }
    std::int64_t kept = std::clamp(v, d.low, d.high);
    if (kept != v)
      notes.push_back("Invalid Setup: " + std::string(d.key) + "=" + shown(*raw) + " is out of range... using " +
                      std::to_string(kept));
    d.set_number(s, kept);
  }

  a.connections = f.get_int("HISTORY", "archive_connections", 0);
  a.tot_time = f.get_int("HISTORY", "archive_tot_time", 0);
  a.pic_count = f.get_int("HISTORY", "archive_pic_count", 0);
  a.tot_articles = f.get_int("HISTORY", "archive_tot_articles", 0);
  return notes;
}

std::string connection_setting_problem(const Settings& s) {
  if (s.news_server.empty()) return "no news server configured: set news_server in section [COMM] of FENNICK.INI";
  const SettingDef& port = setting_def("port");
  if (s.port < port.low || s.port > port.high)
    return "the port is not a number from 1 to 65535: set port in section [COMM] of FENNICK.INI";
  return {};
}

void apply_startup_corrections(Settings& s, const StatusLog& log) {
  if (s.minlines == 0) {
    log.log_status("Invalid Setup: minimum lines too small... defaulting to 1", 0);
    s.minlines = 1;
  }
  if (s.maxlines <= s.minlines) {
    log.log_status("Invalid Setup: maximum lines <= minimum lines... defaulting to min + 1000", 0);
    s.maxlines = s.minlines + 1000;
  }
}

void save_settings(const ProfileFile& f, const Settings& s, const StatusLog& log) {
  for (const SettingDef& d : kTable) {
    if (d.kind == SettingKind::Secret)
      f.write_string(d.section, d.key, base64_encode(d.text(const_cast<Settings&>(s))));
    else if (d.kind == SettingKind::Text)
      f.write_string(d.section, d.key, d.text(const_cast<Settings&>(s)));
    else
      write_profile_int(f, d.section, d.key, static_cast<std::int32_t>(d.number(s)));
  }
  log.log_status("Setup Changed and Saved", 0);
}

void save_history_statistics(const ProfileFile& f, const ArchiveCounters& a) {
  write_profile_int(f, "HISTORY", "archive_connections", a.connections);
  write_profile_int(f, "HISTORY", "archive_tot_time", a.tot_time);
  write_profile_int(f, "HISTORY", "archive_pic_count", a.pic_count);
  write_profile_int(f, "HISTORY", "archive_tot_articles", a.tot_articles);
}

}  // namespace fk
