#pragma once
// The configuration record, its file FENNICK.INI, and safe sharing between threads.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace fk {

class ProfileFile;
class StatusLog;

// Every setting of FENNICK.INI with its default. Flags are 0 (off) or any other value (on).
struct Settings {
  // COMM
  std::string news_server;
  std::string user;
  std::string pass;  // decoded; the file holds it in Base64
  std::string isp_user;
  std::string isp_pass;  // decoded
  std::int32_t unattended_operation = 0;
  std::int32_t check_auth = 0;
  std::int32_t check_dialup = 1;
  std::int32_t max_connecttime = 300;  // minutes; 0 or less: no limit
  std::uint32_t port = 119;
  std::int32_t use_tls = 0;       // 0 plain, 1 TLS from the first byte, 2 STARTTLS
  std::string tls_ca_file;        // extra trusted certificates (PEM); empty: the system's store only
  std::int32_t tls_verify = 1;    // 0 accepts any certificate, with a warning at every connect
  std::int32_t idle_timeout = 120;  // seconds a server may stay silent while an answer is due
  // LOGGING
  std::int32_t files_logging_enabled = 1;
  std::int32_t status_logging_enabled = 1;
  std::int32_t detailed_status_logging_enabled = 0;
  std::uint32_t max_history = 2500;
  std::uint32_t max_filenames = 5000;
  std::uint32_t max_blacklist = 500;
  // SCREEN
  std::string taskbar_name = "2nd Quarter Projections";
  std::int32_t display_as_downloaded = 0;
  std::int32_t sound_on = 1;
  std::int32_t check_decode = 1;
  // SUBJECT
  std::int32_t check_subject = 1;
  std::string filter1 = "*.jpg*|*.gif*";
  std::string filter2 = "*1/1*|*01/01*";
  std::string filter3 = "re:*|*free*|*http:*";
  // SELECTION
  std::int32_t check_date = 1;
  std::int32_t max_days = 365;
  std::int32_t check_minlines = 1;
  std::uint32_t minlines = 500;
  std::int32_t check_maxlines = 1;
  std::uint32_t maxlines = 5000;
  std::uint32_t max_art_per_grp = 250;
  // SCHEDULE: day flags Sunday (index 0, as tm_wday) to Saturday, then the window.
  std::array<std::int32_t, 7> days{};
  std::uint32_t start_hour = 0;
  std::uint32_t start_min = 30;
  std::uint32_t end_hour = 5;
  std::uint32_t end_min = 30;

  // Unattended operation with at least one scheduled day.
  bool scheduler_active() const;
};

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
  // Runs f on the shared record under the lock: f(Settings&) to change it, f(const Settings&) to read.
  template <class F>
  auto update(F&& f) {
    std::lock_guard lock(mutex_);
    version_.fetch_add(1, std::memory_order_release);
    return f(settings_);
  }
  template <class F>
  auto read(F&& f) const {
    std::lock_guard lock(mutex_);
    return f(static_cast<const Settings&>(settings_));
  }
  // Grows with every change; lets a SettingsCache skip copying when nothing changed.
  std::uint64_t version() const { return version_.load(std::memory_order_acquire); }

 private:
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

// Reads every key (except phone_book_entry) with its default, in file order.
void load_settings(const ProfileFile& file, Settings& settings, ArchiveCounters& archive);

// The two start-up corrections of impossible line limits, each with its log line.
void apply_startup_corrections(Settings& settings, const StatusLog& log);

// Writes the 42 keys the setup sheet edits, then logs "Setup Changed and Saved".
void save_settings(const ProfileFile& file, const Settings& settings, const StatusLog& log);

// Writes the four HISTORY counters.
void save_history_statistics(const ProfileFile& file, const ArchiveCounters& archive);

// Standard Base64 (RFC 2045 alphabet, "=" padding, no line breaks).
std::string base64_encode(std::string_view bytes);
// Skips leading blanks and tabs, decodes up to the first character outside the alphabet, and keeps
// at most capacity - 1 bytes (the classic buffer held a terminating zero).
std::string base64_decode(std::string_view text, std::size_t capacity);

}  // namespace fk
