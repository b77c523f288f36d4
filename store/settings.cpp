// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, correcting and saving FENNICK.INI.
#include "store/settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

// The last argument of each is the key's meaning, for the fennick.ini(5) reference.
constexpr SettingDef text(std::string_view section, std::string_view key, TextRef f, std::string_view def,
                          std::int64_t kept, int edit_length, std::string_view what) {
  return {section, key, SettingKind::Text, def, 0, 0, kept, edit_length, BadValue::Clamp, f, nullptr, nullptr, what};
}
constexpr SettingDef secret(std::string_view section, std::string_view key, TextRef f, int edit_length,
                            std::string_view what) {
  return {section, key, SettingKind::Secret, "", 0, 0, 98, edit_length, BadValue::Clamp, f, nullptr, nullptr, what};
}
constexpr SettingDef flag(std::string_view section, std::string_view key, SignedRef f, std::int64_t def,
                          std::string_view what, BadValue bad = BadValue::Clamp) {
  return {section, key, SettingKind::Flag, "", def, kIntMin, kIntMax, -1, bad, nullptr, f, nullptr, what};
}
constexpr SettingDef signed_number(std::string_view section, std::string_view key, SignedRef f, std::int64_t def,
                                   std::int64_t low, std::int64_t high, std::string_view what,
                                   BadValue bad = BadValue::Clamp) {
  return {section, key, SettingKind::Signed, "", def, low, high, -1, bad, nullptr, f, nullptr, what};
}
constexpr SettingDef unsigned_number(std::string_view section, std::string_view key, UnsignedRef f,
                                     std::int64_t def, std::int64_t low, std::int64_t high, BadValue bad,
                                     std::string_view what) {
  return {section, key, SettingKind::Unsigned, "", def, low, high, -1, bad, nullptr, nullptr, f, what};
}

using S = Settings;
// New keys go after the existing ones of their section, so the files users have keep their order.
constexpr SettingDef kTable[] = {
    text("COMM", "news_server", field<&S::news_server>, "", 98, 99,
         "Host name or address (IPv4 or IPv6) of the news server."),
    text("COMM", "user", field<&S::user>, "", 98, 99,
         "User name for the news server's login (with check_auth=1)."),
    secret("COMM", "pass", field<&S::pass>, 99,
           "Password for the news server's login, stored Base64-encoded (FENNICK.INI is kept at mode 0600)."),
    text("COMM", "isp_user", field<&S::isp_user>, "", 98, -1,
         "User name of the dial-up account, handed to NetworkManager for one dial only."),
    secret("COMM", "isp_pass", field<&S::isp_pass>, -1,
           "Password of the dial-up account, stored Base64-encoded."),
    flag("COMM", "unattended_operation", field<&S::unattended_operation>, 0,
         "1: scan at once after start-up, retry lost connections, ask no questions at exit and close "
         "after a completed scan (needed by the scheduler)."),
    flag("COMM", "check_auth", field<&S::check_auth>, 0,
         "1: the news server wants a login (AUTHINFO with user and pass)."),
    flag("COMM", "check_dialup", field<&S::check_dialup>, 1,
         "1: dial up through NetworkManager before connecting and hang up afterwards; switches itself off "
         "when NetworkManager is missing."),
    signed_number("COMM", "max_connecttime", field<&S::max_connecttime>, 300, kIntMin, kIntMax,
                  "Longest running time in minutes, counted from the program's start; 0 or less: no "
                  "limit. Ignored while the scheduler is active."),
    unsigned_number("COMM", "port", field<&S::port>, 119, 1, 65535, BadValue::Refuse,
                    "TCP port of the news server (119 plain, usually 563 for TLS); a value outside "
                    "1-65535 is refused, not guessed at."),
    signed_number("COMM", "use_tls", field<&S::use_tls>, S::kPlain, S::kPlain, S::kStartTls,
                  "0 plain TCP; 1 TLS from the first byte; 2 STARTTLS on the plain port. Anything but a "
                  "number is refused at start-up; a number out of range is clamped.",
                  // A misspelt choice must not fall back to plain TCP, which would send the password in clear.
                  BadValue::RefuseWords),
    text("COMM", "tls_ca_file", field<&S::tls_ca_file>, "", 4095, 4095,
         "A PEM file of extra trusted certificates (a private authority); empty: the system's store only."),
    flag("COMM", "tls_verify", field<&S::tls_verify>, 1,
         "Check the server's certificate chain and name; only 0 accepts any certificate (warned about at "
         "every connect); any other value, empty included, checks.",
         BadValue::OffOnlyAtZero),
    signed_number("COMM", "idle_timeout", field<&S::idle_timeout>, 120, 1, 86400,
                  "Seconds the server may stay silent while a reply or article is due before the "
                  "connection counts as lost."),
    flag("COMM", "fast_transfers", field<&S::fast_transfers>, 0,
         "1: no fixed waits in the session, and BODY commands sent ahead (pipeline_depth)."),
    signed_number("COMM", "pipeline_depth", field<&S::pipeline_depth>, 8, 1, 64,
                  "With fast_transfers, how many BODY commands may wait for their replies."),
    flag("COMM", "use_compression", field<&S::use_compression>, 1,
         "With fast_transfers, use COMPRESS DEFLATE when the server offers it; 0 never."),
    signed_number("COMM", "connections", field<&S::connections>, 1, 1, 50,
                  "With fast_transfers, how many connections to hold to the server in all, the scanning "
                  "one included; the others only download."),
    signed_number("COMM", "max_article_mb", field<&S::max_article_mb>, 256, 1, 4096,
                  "Largest article body in MiB; a longer body is given up as a poison article (a body is "
                  "also bounded by twice the overview's byte count plus 1 MiB)."),
    signed_number("COMM", "headless_attempts", field<&S::headless_attempts>, 5, 1, 1000,
                  "How many connection attempts a one-shot headless run makes before it gives up with "
                  "exit status 1."),

    flag("LOGGING", "files_logging_enabled", field<&S::files_logging_enabled>, 1,
         "1: write files.log, one line per stored file (name, size, author, subject)."),
    flag("LOGGING", "status_logging_enabled", field<&S::status_logging_enabled>, 1,
         "1: write the status log fk.log (the previous run's is kept as fk.log.1)."),
    flag("LOGGING", "detailed_status_logging_enabled", field<&S::detailed_status_logging_enabled>, 0,
         "1: one fk.log line per examined article, saying why it was taken or left."),
    // Beyond 32700 the lists are cut anyway; 0 would empty the histories at every start.
    unsigned_number("LOGGING", "max_history", field<&S::max_history>, 2500, 10, 32700, BadValue::Clamp,
                    "How many message-ids HISTORY.FNK keeps (articles already fetched)."),
    unsigned_number("LOGGING", "max_filenames", field<&S::max_filenames>, 5000, 10, 32700, BadValue::Clamp,
                    "How many file names FILENAMES.FNK keeps (pictures already stored)."),
    unsigned_number("LOGGING", "max_blacklist", field<&S::max_blacklist>, 500, 10, 32700, BadValue::Clamp,
                    "How many authors BOZOS.FNK (the Bozo Bucket) keeps."),

    text("SCREEN", "taskbar_name", field<&S::taskbar_name>, "2nd Quarter Projections", 99, -1,
         "Caption of the status window while it is minimised."),
    flag("SCREEN", "display_as_downloaded", field<&S::display_as_downloaded>, 0,
         "1: open each stored picture in the desktop's viewer."),
    flag("SCREEN", "sound_on", field<&S::sound_on>, 1,
         "1: progress and error sounds (boink.wav from the working folder, else the installed one)."),
    flag("SCREEN", "check_decode", field<&S::check_decode>, 1,
         "1: decode articles as they arrive; 0 keeps each article undecoded in raw/."),
    flag("SCREEN", "notify", field<&S::notify>, 1,
         "1: a desktop notification when a session in the window filed pictures (never in headless runs)."),
    // Where the window was; restored only on a screen that can show it.
    text("SCREEN", "window_geometry", field<&S::window_geometry>, "", 63, -1,
         "Where the status window was; written by the program, restored only on a screen that can show it."),
    text("SCREEN", "pending_columns", field<&S::pending_columns>, "", 63, -1,
         "Column widths of the pending list; written by the program."),

    flag("SUBJECT", "check_subject", field<&S::check_subject>, 1,
         "1: apply the three subject filters."),
    text("SUBJECT", "filter1", field<&S::filter1>, "*.jpg*|*.gif*", 98, 99,
         "Wildcard patterns separated by |; a subject must match one of them."),
    text("SUBJECT", "filter2", field<&S::filter2>, "*1/1*|*01/01*", 98, 99,
         "Wildcard patterns separated by |; a subject must match one of these too."),
    text("SUBJECT", "filter3", field<&S::filter3>, "re:*|*free*|*http:*", 98, 99,
         "Wildcard patterns separated by |; a subject matching any of them is left."),

    flag("SELECTION", "check_date", field<&S::check_date>, 1,
         "1: apply the age test (max_days)."),
    signed_number("SELECTION", "max_days", field<&S::max_days>, 365, kIntMin, kIntMax,
                  "Articles must be younger than this many days."),
    flag("SELECTION", "check_minlines", field<&S::check_minlines>, 1,
         "1: apply the minimum line count (minlines)."),
    unsigned_number("SELECTION", "minlines", field<&S::minlines>, 500, 0, kUintMax, BadValue::Clamp,
                    "Articles must have at least this many lines; 0 is read as 1."),
    flag("SELECTION", "check_maxlines", field<&S::check_maxlines>, 1,
         "1: apply the maximum line count (maxlines)."),
    unsigned_number("SELECTION", "maxlines", field<&S::maxlines>, 5000, 0, kUintMax, BadValue::Clamp,
                    "Articles must have at most this many lines; a value not above minlines is read as "
                    "minlines + 1000."),
    unsigned_number("SELECTION", "max_art_per_grp", field<&S::max_art_per_grp>, 250, 0, kUintMax, BadValue::Clamp,
                    "Most articles selected from one group per session."),
    flag("SELECTION", "incremental_scan", field<&S::incremental_scan>, 0,
         "1: scan each group from its scan mark in SCANMARK.FNK (the last article examined) to its last "
         "article."),
    signed_number("SELECTION", "first_scan_articles", field<&S::first_scan_articles>, 10000, 0, 2000000000,
                  "With incremental_scan, how many of the newest articles a group's first scan looks at; "
                  "0: the whole group."),
    flag("SELECTION", "collect_multipart", field<&S::collect_multipart>, 0,
         "1: keep the parts of pictures posted in several articles in parts/ and store the picture once "
         "all have come."),
    signed_number("SELECTION", "multipart_keep_days", field<&S::multipart_keep_days>, 7, 1, 3650,
                  "A set of parts whose newest part is this many days old is given up."),

    flag("SCHEDULE", "Sunday", day<0>, 0,
         "1: the scheduler scans on Sundays (with unattended_operation=1)."),
    flag("SCHEDULE", "Monday", day<1>, 0,
         "1: the scheduler scans on Mondays."),
    flag("SCHEDULE", "Tuesday", day<2>, 0,
         "1: the scheduler scans on Tuesdays."),
    flag("SCHEDULE", "Wednesday", day<3>, 0,
         "1: the scheduler scans on Wednesdays."),
    flag("SCHEDULE", "Thursday", day<4>, 0,
         "1: the scheduler scans on Thursdays."),
    flag("SCHEDULE", "Friday", day<5>, 0,
         "1: the scheduler scans on Fridays."),
    flag("SCHEDULE", "Saturday", day<6>, 0,
         "1: the scheduler scans on Saturdays."),
    unsigned_number("SCHEDULE", "Start_Hour", field<&S::start_hour>, 0, 0, 23, BadValue::Clamp,
                    "Start of the scheduled window, hour (local time, 24-hour clock)."),
    unsigned_number("SCHEDULE", "Start_Min", field<&S::start_min>, 30, 0, 59, BadValue::Clamp,
                    "Start of the scheduled window, minute."),
    unsigned_number("SCHEDULE", "End_Hour", field<&S::end_hour>, 5, 0, 23, BadValue::Clamp,
                    "End of the scheduled window, hour; a window ending before it starts runs past "
                    "midnight."),
    unsigned_number("SCHEDULE", "End_Min", field<&S::end_min>, 30, 0, 59, BadValue::Clamp,
                    "End of the scheduled window, minute."),

    unsigned_number("WEB", "web_port", field<&S::web_port>, 0, 0, 65535, BadValue::Clamp,
                    "Port of the browser view; 0: off. `fennick --headless --web PORT` overrides it for one run."),
    text("WEB", "web_bind", field<&S::web_bind>, "127.0.0.1", 63, 63,
         "Address the browser view listens on: 127.0.0.1, ::1, 0.0.0.0, :: or an address of the machine. "
         "Anything but loopback is reachable from the network, unencrypted."),
    text("WEB", "web_token", field<&S::web_token>, "", 127, -1,
         "The browser view's access token, made at random when the view is first switched on "
         "(FENNICK.INI is then kept at mode 0600); `fennick --web-new-token` makes a new one."),
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
    if (d.bad == BadValue::OffOnlyAtZero) {
      d.set_number(s, trim(*raw) == "0" ? 0 : 1);
      continue;
    }
    StoredNumber n = parse_stored_number(*raw);
    std::int64_t v = n.value;
    // Values above INT32_MAX are stored as their 32-bit pattern, as written by write_profile_int; a key
    // whose range ends below that reads a negative value as the negative number it is.
    if (d.kind == SettingKind::Unsigned && d.high > kIntMax && v < 0 && v >= kIntMin) v += std::int64_t{1} << 32;
    const bool refused = (d.bad == BadValue::Refuse && (!n.whole || v < d.low || v > d.high)) ||
                         (d.bad == BadValue::RefuseWords && (!n.whole || v < d.low));
    if (refused) {
      d.set_number(s, d.low - 1);
      notes.push_back("Invalid Setup: " + std::string(d.key) + "=" + shown(*raw) + " is not a number from " +
                      std::to_string(d.low) + " to " + std::to_string(d.high));
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
  for (const SettingDef& d : kTable) {
    if (d.bad != BadValue::RefuseWords) continue;
    if (const std::int64_t v = d.number(s); v < d.low || v > d.high)
      return std::string(d.key) + " is not a number from " + std::to_string(d.low) + " to " +
             std::to_string(d.high) + ": set " + std::string(d.key) + " in section [" + std::string(d.section) +
             "] of FENNICK.INI";
  }
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
  keep_settings_file_private(f, log);
  log.log_status("Setup Changed and Saved", 0);
}

void keep_settings_file_private(const ProfileFile& f, const StatusLog& log) {
  bool secret = false;
  for (const SettingDef& d : kTable) {
    if (d.key != "pass" && d.key != "isp_pass" && d.key != "web_token") continue;
    const std::optional<std::string> value = f.get_value(d.section, d.key);
    secret = secret || (value && !trim(*value).empty());
  }
  struct stat st {};
  if (!secret || ::stat(f.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) == 0) return;
  if (::chmod(f.path().c_str(), 0600) == 0)
    log.log_status(std::string(kSettingsFileName) + " holds a password: made readable by its owner only (mode 0600)",
                   0);
  else
    log.log_status(std::string("ERROR: ") + kSettingsFileName + " holds a password and others may read it: " +
                       std::strerror(errno),
                   0);
}

void save_history_statistics(const ProfileFile& f, const ArchiveCounters& a) {
  write_profile_int(f, "HISTORY", "archive_connections", a.connections);
  write_profile_int(f, "HISTORY", "archive_tot_time", a.tot_time);
  write_profile_int(f, "HISTORY", "archive_pic_count", a.pic_count);
  write_profile_int(f, "HISTORY", "archive_tot_articles", a.tot_articles);
}

}  // namespace fk
