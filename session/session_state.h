// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The flags, counters and texts shared by the window, the session thread and the dial-up thread.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "store/settings.h"

namespace fk {

// One instance per program (created in main), passed to whoever needs it. Numbers are atomics: each is
// written by one side and polled by the other. Texts are read as copies under a lock.
struct SessionState {
  std::atomic<int> news_socket{-1};  // the one socket slot for a news connection; -1 for none
  std::atomic<int> connected{0};
  std::atomic<int> open_connections{0};  // the session's own and the download-only ones
  std::atomic<int> stop_requested{0};
  // A news connection is held or being made (a session's or the groups listing's): a second may not start.
  bool connection_busy() const { return news_socket.load() != -1 || connected.load() != 0; }
  std::atomic<int> auto_reconnect{0};
  std::atomic<int> connection_attempts{0};
  std::atomic<int> failed_connects{0};  // connection attempts that failed since the last that worked
  // The connection line says why Start did nothing; the tick leaves it there until the next command.
  std::atomic<int> reason_shown{0};
  std::atomic<std::int64_t> byte_count{0};
  std::atomic<std::uint32_t> article_line{0};
  std::atomic<std::uint32_t> article_lines{0};

  // Lifetime statistics (the HISTORY section of FENNICK.INI).
  std::atomic<std::int32_t> archive_connections{0};
  std::atomic<std::int32_t> archive_tot_time{0};
  std::atomic<std::int32_t> archive_pic_count{0};
  std::atomic<std::int32_t> archive_tot_articles{0};

  // Counters of this run.
  std::atomic<int> pictures_downloaded{0};
  std::atomic<int> articles_examined{0};
  std::atomic<int> duplicates_skipped{0};
  std::atomic<int> base64_count{0};
  std::atomic<int> unknown_format_count{0};
  std::atomic<int> group_index{0};
  std::atomic<int> subscribed_groups{0};

  // Why the last session ended in a way that waiting will not mend; the headless mode exits on it.
  // kWriteFailed: a picture or the work file could not be written (write_error holds the errno).
  // kLoginWanted: the server asked for a login (480) that the settings do not give.
  enum Refusal : int { kNoRefusal = 0, kUnresolvable = 1, kGreetingRefused = 2, kLoginRefused = 3,
                       kTlsRefused = 4, kWriteFailed = 5, kLoginWanted = 6 };
  std::atomic<int> refusal{kNoRefusal};
  std::atomic<int> write_error{0};

  std::string current_group() const { return get(current_group_); }
  void set_current_group(std::string v) { put(current_group_, std::move(v), 199); }
  std::string message_id() const { return get(message_id_); }
  void set_message_id(std::string v) { put(message_id_, std::move(v), 199); }
  std::string server_host() const { return get(server_host_); }
  void set_server_host(std::string v) { put(server_host_, std::move(v), 79); }

  // Downloads of one article (by group and number) that lost the connection in this run; the article
  // loop gives an article up after a few, so a body that always breaks cannot loop for ever.
  int note_broken_download(const std::string& article) {
    std::lock_guard lock(text_mutex_);
    return ++broken_downloads_[article];
  }
  // Gives an article up for the rest of this run at once, whatever the count of breaks.
  void give_up_download(const std::string& article) {
    std::lock_guard lock(text_mutex_);
    broken_downloads_[article] = kGivenUp;
  }
  int broken_downloads(const std::string& article) const {
    std::lock_guard lock(text_mutex_);
    auto it = broken_downloads_.find(article);
    return it == broken_downloads_.end() ? 0 : it->second;
  }

  ArchiveCounters archive() const {
    return {archive_connections.load(), archive_tot_time.load(), archive_pic_count.load(),
            archive_tot_articles.load()};
  }
  void set_archive(const ArchiveCounters& a) {
    archive_connections = a.connections;
    archive_tot_time = a.tot_time;
    archive_pic_count = a.pic_count;
    archive_tot_articles = a.tot_articles;
  }

 private:
  std::string get(const std::string& s) const {
    std::lock_guard lock(text_mutex_);
    return s;
  }
  void put(std::string& s, std::string v, std::size_t max) {
    if (v.size() > max) v.resize(max);
    std::lock_guard lock(text_mutex_);
    s = std::move(v);
  }

  static constexpr int kGivenUp = 1 << 20;

  mutable std::mutex text_mutex_;
  std::string current_group_;
  std::string message_id_;
  std::string server_host_;
  std::map<std::string, int> broken_downloads_;
};

}  // namespace fk
