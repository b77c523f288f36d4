// Loading, correcting and saving FENNICK.INI.
#include "store/settings.h"

#include <unistd.h>

#include <filesystem>

#include "store/profile_file.h"
#include "store/status_log.h"

namespace fk {

namespace {

constexpr const char* kDayKeys[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64_value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The in-memory password is a C string: decoded bytes up to the first zero byte.
std::string decoded_password(const std::string& stored) {
  std::string bytes = base64_decode(stored, 102);
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  return bytes;
}

}  // namespace

bool Settings::scheduler_active() const {
  if (unattended_operation == 0) return false;
  for (auto d : days)
    if (d != 0) return true;
  return false;
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

void load_settings(const ProfileFile& f, Settings& s, ArchiveCounters& a) {
  s.news_server = f.get_string("COMM", "news_server", "", 99);
  s.user = f.get_string("COMM", "user", "", 99);
  s.pass = decoded_password(f.get_string("COMM", "pass", "", 99));
  s.isp_user = f.get_string("COMM", "isp_user", "", 99);
  s.isp_pass = decoded_password(f.get_string("COMM", "isp_pass", "", 99));
  s.unattended_operation = f.get_int("COMM", "unattended_operation", 0);
  s.check_auth = f.get_int("COMM", "check_auth", 0);
  s.check_dialup = f.get_int("COMM", "check_dialup", 1);
  s.max_connecttime = f.get_int("COMM", "max_connecttime", 300);
  s.port = static_cast<std::uint32_t>(f.get_int("COMM", "port", 119));

  s.files_logging_enabled = f.get_int("LOGGING", "files_logging_enabled", 1);
  s.status_logging_enabled = f.get_int("LOGGING", "status_logging_enabled", 1);
  s.detailed_status_logging_enabled = f.get_int("LOGGING", "detailed_status_logging_enabled", 0);
  s.max_history = static_cast<std::uint32_t>(f.get_int("LOGGING", "max_history", 2500));
  s.max_filenames = static_cast<std::uint32_t>(f.get_int("LOGGING", "max_filenames", 5000));
  s.max_blacklist = static_cast<std::uint32_t>(f.get_int("LOGGING", "max_blacklist", 500));

  s.taskbar_name = f.get_string("SCREEN", "taskbar_name", "2nd Quarter Projections", 100);
  s.display_as_downloaded = f.get_int("SCREEN", "display_as_downloaded", 0);
  s.sound_on = f.get_int("SCREEN", "sound_on", 1);
  s.check_decode = f.get_int("SCREEN", "check_decode", 1);

  s.check_subject = f.get_int("SUBJECT", "check_subject", 1);
  s.filter1 = f.get_string("SUBJECT", "filter1", "*.jpg*|*.gif*", 99);
  s.filter2 = f.get_string("SUBJECT", "filter2", "*1/1*|*01/01*", 99);
  s.filter3 = f.get_string("SUBJECT", "filter3", "re:*|*free*|*http:*", 99);

  s.check_date = f.get_int("SELECTION", "check_date", 1);
  s.max_days = f.get_int("SELECTION", "max_days", 365);
  s.check_minlines = f.get_int("SELECTION", "check_minlines", 1);
  s.minlines = static_cast<std::uint32_t>(f.get_int("SELECTION", "minlines", 500));
  s.check_maxlines = f.get_int("SELECTION", "check_maxlines", 1);
  s.maxlines = static_cast<std::uint32_t>(f.get_int("SELECTION", "maxlines", 5000));
  s.max_art_per_grp = static_cast<std::uint32_t>(f.get_int("SELECTION", "max_art_per_grp", 250));
  s.incremental_scan = f.get_int("SELECTION", "incremental_scan", 0);
  s.first_scan_articles = f.get_int("SELECTION", "first_scan_articles", 10000);

  for (int d = 0; d < 7; ++d) s.days[d] = f.get_int("SCHEDULE", kDayKeys[d], 0);
  s.start_hour = static_cast<std::uint32_t>(f.get_int("SCHEDULE", "Start_Hour", 0));
  s.start_min = static_cast<std::uint32_t>(f.get_int("SCHEDULE", "Start_Min", 30));
  s.end_hour = static_cast<std::uint32_t>(f.get_int("SCHEDULE", "End_Hour", 5));
  s.end_min = static_cast<std::uint32_t>(f.get_int("SCHEDULE", "End_Min", 30));

  a.connections = f.get_int("HISTORY", "archive_connections", 0);
  a.tot_time = f.get_int("HISTORY", "archive_tot_time", 0);
  a.pic_count = f.get_int("HISTORY", "archive_pic_count", 0);
  a.tot_articles = f.get_int("HISTORY", "archive_tot_articles", 0);
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
  auto i = [&](const char* sec, const char* key, std::int64_t v) {
    write_profile_int(f, sec, key, static_cast<std::int32_t>(v));
  };
  f.write_string("COMM", "news_server", s.news_server);
  f.write_string("COMM", "user", s.user);
  f.write_string("COMM", "pass", base64_encode(s.pass));
  f.write_string("COMM", "isp_user", s.isp_user);
  f.write_string("COMM", "isp_pass", base64_encode(s.isp_pass));
  i("COMM", "unattended_operation", s.unattended_operation);
  i("COMM", "check_auth", s.check_auth);
  i("COMM", "check_dialup", s.check_dialup);
  i("COMM", "max_connecttime", s.max_connecttime);
  i("COMM", "port", s.port);

  i("LOGGING", "files_logging_enabled", s.files_logging_enabled);
  i("LOGGING", "status_logging_enabled", s.status_logging_enabled);
  i("LOGGING", "detailed_status_logging_enabled", s.detailed_status_logging_enabled);
  i("LOGGING", "max_history", s.max_history);
  i("LOGGING", "max_filenames", s.max_filenames);
  i("LOGGING", "max_blacklist", s.max_blacklist);

  f.write_string("SCREEN", "taskbar_name", s.taskbar_name);
  i("SCREEN", "display_as_downloaded", s.display_as_downloaded);
  i("SCREEN", "sound_on", s.sound_on);
  i("SCREEN", "check_decode", s.check_decode);

  i("SUBJECT", "check_subject", s.check_subject);
  f.write_string("SUBJECT", "filter1", s.filter1);
  f.write_string("SUBJECT", "filter2", s.filter2);
  f.write_string("SUBJECT", "filter3", s.filter3);

  i("SELECTION", "check_date", s.check_date);
  i("SELECTION", "max_days", s.max_days);
  i("SELECTION", "check_minlines", s.check_minlines);
  i("SELECTION", "minlines", s.minlines);
  i("SELECTION", "check_maxlines", s.check_maxlines);
  i("SELECTION", "maxlines", s.maxlines);
  i("SELECTION", "max_art_per_grp", s.max_art_per_grp);
  i("SELECTION", "incremental_scan", s.incremental_scan);
  i("SELECTION", "first_scan_articles", s.first_scan_articles);

  for (int d = 0; d < 7; ++d) i("SCHEDULE", kDayKeys[d], s.days[d]);
  i("SCHEDULE", "Start_Hour", s.start_hour);
  i("SCHEDULE", "Start_Min", s.start_min);
  i("SCHEDULE", "End_Hour", s.end_hour);
  i("SCHEDULE", "End_Min", s.end_min);

  log.log_status("Setup Changed and Saved", 0);
}

void save_history_statistics(const ProfileFile& f, const ArchiveCounters& a) {
  write_profile_int(f, "HISTORY", "archive_connections", a.connections);
  write_profile_int(f, "HISTORY", "archive_tot_time", a.tot_time);
  write_profile_int(f, "HISTORY", "archive_pic_count", a.pic_count);
  write_profile_int(f, "HISTORY", "archive_tot_articles", a.tot_articles);
}

std::string base64_encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    std::uint32_t v = (std::uint32_t(std::uint8_t(bytes[i])) << 16) | (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8) |
                      std::uint8_t(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = std::uint32_t(std::uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= std::uint32_t(std::uint8_t(bytes[i + 1])) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string base64_decode(std::string_view text, std::size_t capacity) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint32_t acc = 0;
  int bits = 0;
  std::size_t limit = capacity == 0 ? 0 : capacity - 1;
  for (; i < text.size() && out.size() < limit; ++i) {
    int v = base64_value(static_cast<unsigned char>(text[i]));
    if (v < 0) break;
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace fk
