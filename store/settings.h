// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration record, its file FENNICK.INI, and safe sharing between threads.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "store/base64.h"

namespace fk {

class ProfileFile;
class StatusLog;

// Every setting of FENNICK.INI. A new Settings holds each at its default from the table below.
// Flags are 0 (off) or any other value (on).
struct Settings {
  Settings();

  // COMM
  std::string news_server;
  std::string user;
  std::string pass;  // decoded; the file holds it in Base64
  std::string isp_user;
  std::string isp_pass;  // decoded
  std::int32_t unattended_operation;
  std::int32_t check_auth;
  std::int32_t check_dialup;
  std::int32_t max_connecttime;  // minutes; 0 or less: no limit
  std::uint32_t port;
  std::int32_t use_tls;  // kPlain, kImplicitTls or kStartTls
  std::string tls_ca_file;  // extra trusted certificates (PEM); empty: the system's store only
  std::int32_t tls_verify;
  std::int32_t idle_timeout;  // seconds a server may stay silent while a reply is due
  std::int32_t fast_transfers;  // no fixed waits, BODY commands sent ahead
  std::int32_t pipeline_depth;  // BODY commands outstanding at most, with fast_transfers
  std::int32_t use_compression;  // COMPRESS DEFLATE when offered, with fast_transfers
  std::int32_t connections;      // connections in all, with fast_transfers
  std::int32_t max_article_mb;   // MiB an article body may take at most
  std::int32_t headless_attempts;  // connection attempts of a one-shot headless run before it gives up
  // LOGGING
  std::int32_t files_logging_enabled;
  std::int32_t status_logging_enabled;
  std::int32_t detailed_status_logging_enabled;
  std::uint32_t max_history;
  std::uint32_t max_filenames;
  std::uint32_t max_blacklist;
  // SCREEN
  std::string taskbar_name;
  std::int32_t display_as_downloaded;
  std::int32_t sound_on;
  std::int32_t check_decode;
  std::int32_t notify;  // a desktop notification when a session filed pictures
  std::string window_geometry;  // "x,y,width,height" of the status window; empty: the window's own choice
  std::string pending_columns;  // the pending list's column widths, "a,b,c,d"; empty: from its tab stops
  // SUBJECT
  std::int32_t check_subject;
  std::string filter1;
  std::string filter2;
  std::string filter3;
  // SELECTION
  std::int32_t check_date;
  std::int32_t max_days;
  std::int32_t check_minlines;
  std::uint32_t minlines;
  std::int32_t check_maxlines;
  std::uint32_t maxlines;
  std::uint32_t max_art_per_grp;
  std::int32_t incremental_scan;     // off: every scan reads the whole group
  std::int32_t first_scan_articles;  // how far back a group's first incremental scan looks; 0: all
  std::int32_t collect_multipart;
  std::int32_t multipart_keep_days;
  // SCHEDULE: day flags Sunday (index 0, as tm_wday) to Saturday, then the window.
  std::array<std::int32_t, 7> days{};
  std::uint32_t start_hour;
  std::uint32_t start_min;
  std::uint32_t end_hour;
  std::uint32_t end_min;
  // WEB: the browser view
  std::uint32_t web_port;  // 0: off
  std::string web_bind;    // address the view listens on
  std::string web_token;   // what a browser must present; made at random when the view is first switched on

  // Values of use_tls.
  static constexpr std::int32_t kPlain = 0, kImplicitTls = 1, kStartTls = 2;

  // Unattended operation with at least one scheduled day.
  bool scheduler_active() const;
};

// How a setting is stored, read and checked.
enum class SettingKind {
  Text,      // cut to `high` characters when read
  Secret,    // text stored in Base64 (passwords), at most `high` stored characters
  Flag,      // 0 off, anything else on
  Signed,    // 32-bit number within [low, high]
  Unsigned,  // 32-bit unsigned number within [low, high]
};

// What reading a value the row cannot take does.
enum class BadValue : std::uint8_t {
  Clamp,        // a number out of range is clamped; text without a number reads as 0, then clamped
  Refuse,       // anything but a whole number within range is refused (held just below the range)
  RefuseWords,  // a value that is no whole number, or is below the range, is refused; above it is clamped
  OffOnlyAtZero,  // a flag that only the text "0" switches off; anything else, empty included, is on
};

// One row of the settings table: where a setting lives in FENNICK.INI, its default and its limits.
// Load, save, the setup sheet and the tests all work from these rows.
struct SettingDef {
  std::string_view section;
  std::string_view key;
  SettingKind kind;
  std::string_view text_default;
  std::int64_t number_default;
  std::int64_t low, high;  // numbers: the accepted range; texts: characters kept
  int edit_length;         // characters the setup sheet's field takes; -1: no limit
  BadValue bad;            // what a value the row cannot take becomes
  std::string& (*text)(Settings&);
  std::int32_t& (*signed_value)(Settings&);
  std::uint32_t& (*unsigned_value)(Settings&);
  std::string_view description;  // one line for the key reference, fennick.ini(5)

  bool is_text() const { return kind == SettingKind::Text || kind == SettingKind::Secret; }
  // The number held in `s` (flags and both number kinds).
  std::int64_t number(const Settings& s) const;
  void set_number(Settings& s, std::int64_t v) const;
};

// Every row, in the order FENNICK.INI is read and written (the HISTORY counters and phone_book_entry
// are kept apart).
std::span<const SettingDef> settings_table();
// The row of `key`; throws std::out_of_range for a key the table does not hold.
const SettingDef& setting_def(std::string_view key);

// The lifetime statistics of the HISTORY section.
struct ArchiveCounters {
  std::int32_t connections = 0;
  std::int32_t tot_time = 0;
  std::int32_t pic_count = 0;
  std::int32_t tot_articles = 0;
};

// The live settings. The setup sheet replaces them while the session, the timer and the dial-up
// thread read them: every access goes through the lock, readers take copies (or a SettingsCache),
// never references into the shared record.
class SharedSettings {
 public:
  SharedSettings() = default;
  explicit SharedSettings(Settings s) : settings_(std::move(s)) {}

  Settings get() const {
    std::lock_guard lock(mutex_);
    return settings_;
  }
  void set(Settings s) {
    std::lock_guard lock(mutex_);
    settings_ = std::move(s);
    version_.fetch_add(1, std::memory_order_release);
  }
  // Copy-modify-set: f(Settings&) changes a copy, which replaces the shared record unless another
  // change came first, in which case f runs again on the newer copy. f never runs under the lock (it
  // may log, and the log reads the settings), but it may run more than once.
  template <class F>
  auto update(F&& f) {
    for (;;) {
      auto [copy, seen] = snapshot();
      if constexpr (std::is_void_v<decltype(f(copy))>) {
        f(copy);
        if (replace_if_unchanged(std::move(copy), seen)) return;
      } else {
        auto result = f(copy);
        if (replace_if_unchanged(std::move(copy), seen)) return result;
      }
    }
  }
  // f(const Settings&) on a copy taken under the lock; f itself runs without it.
  template <class F>
  auto read(F&& f) const {
    const Settings copy = get();
    return f(copy);
  }
  // Grows with every change; lets a SettingsCache skip copying when nothing changed.
  std::uint64_t version() const { return version_.load(std::memory_order_acquire); }

 private:
  std::pair<Settings, std::uint64_t> snapshot() const {
    std::lock_guard lock(mutex_);
    return {settings_, version_.load(std::memory_order_relaxed)};
  }
  bool replace_if_unchanged(Settings s, std::uint64_t seen) {
    std::lock_guard lock(mutex_);
    if (version_.load(std::memory_order_relaxed) != seen) return false;
    settings_ = std::move(s);
    version_.fetch_add(1, std::memory_order_release);
    return true;
  }

  mutable std::mutex mutex_;
  Settings settings_;
  std::atomic<std::uint64_t> version_{1};
};

// A private copy for one thread that is refreshed only when the shared settings changed.
class SettingsCache {
 public:
  explicit SettingsCache(const SharedSettings& shared) : shared_(shared) {}
  const Settings& get() {
    std::uint64_t v = shared_.version();
    if (v != seen_) {
      copy_ = shared_.get();
      seen_ = v;
    }
    return copy_;
  }

 private:
  const SharedSettings& shared_;
  std::uint64_t seen_ = 0;
  Settings copy_;
};

inline constexpr const char* kSettingsFileName = "FENNICK.INI";

// Joins the working directory and FENNICK.INI into ini_path; true when that file exists.
bool locate_settings_file(std::string& ini_path);

// Reads every key (except phone_book_entry) with its default, in file order. A number outside its
// limits is clamped, or for a refusing key held at low - 1, which connection_setting_problem names;
// the result holds one status-log line per such key, for the caller to log once no lock is held.
std::vector<std::string> load_settings(const ProfileFile& file, Settings& settings, ArchiveCounters& archive);

// Why the settings cannot be used to connect (a key is named), or empty. A refused key counts.
std::string connection_setting_problem(const Settings& settings);

// The two start-up corrections of impossible line limits, each with its log line.
void apply_startup_corrections(Settings& settings, const StatusLog& log);

// Writes every key of the table in its order, then logs "Setup Changed and Saved".
void save_settings(const ProfileFile& file, const Settings& settings, const StatusLog& log);

// After a write: a file holding a password or a token (pass, isp_pass, web_token not empty) that others
// may read is made readable by its owner only (0600), with one status-log line saying so.
void keep_settings_file_private(const ProfileFile& file, const StatusLog& log);

// Writes the four HISTORY counters.
void save_history_statistics(const ProfileFile& file, const ArchiveCounters& archive);

}  // namespace fk
