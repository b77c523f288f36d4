// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Download-only connections beside the session's own: each logs in, asks for bodies by message-id
// (no GROUP, no COMPRESS) and hands each body whole to the session's thread, which files it.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "session/pending_queue.h"

namespace fk {

struct EngineContext;
class NntpClient;

struct DownloadJob {
  PendingArticle row;
  std::string message_id;
  std::uint64_t bound = 0;  // the most bytes the body may take
};

struct FetchedArticle {
  enum class Outcome {
    Body,      // `reply` is the 222 line, `body` the article's lines
    Refused,   // BODY answered otherwise (`reply`)
    Lost,      // the connection broke during the body
    TooLarge,  // the body passed its bound; that connection was dropped
    Returned,  // never answered: the connection went first, or the pool is closing
  };
  DownloadJob job;
  Outcome outcome = Outcome::Body;
  std::string reply;
  std::string body;  // the lines, dot-stuffing undone, each ended by LF
  std::uint32_t lines = 0;
};

class DownloadPool {
 public:
  // `extra` connections, each connecting at once on a thread of its own.
  DownloadPool(EngineContext& ctx, int extra);
  // close()
  ~DownloadPool();
  DownloadPool(const DownloadPool&) = delete;
  DownloadPool& operator=(const DownloadPool&) = delete;

  // Closes every connection and joins the threads; answers not taken are dropped.
  void close();
  // Gives the job to the live connection with the fewest jobs, if one has fewer than `depth`.
  bool offer(DownloadJob job, std::size_t depth);
  // The next finished job, waiting at most wait_ms for one.
  std::optional<FetchedArticle> take(std::int64_t wait_ms);
  // The rows of the jobs offered and not taken back yet.
  std::vector<PendingArticle> rows_in_hand() const;
  std::size_t in_hand() const;
  // Connections still in the pool: logged in, or on their way.
  int live() const;
  // Connections logged in now.
  int open() const { return open_.load(); }

 private:
  struct Link;
  enum class Login { Done, Failed, Refused };
  void run(Link& link);
  Login log_in(NntpClient& client, Link& link, std::string& why);
  void set_fd(Link& link, int fd);
  FetchedArticle fetch(NntpClient& client, DownloadJob job);
  void deliver(FetchedArticle a);
  // The link leaves the pool for this session, with one log line.
  void retire(Link& link, const std::string& why);
  bool quitting() const;

  EngineContext& ctx_;
  std::atomic<int> quit_{0};
  std::atomic<int> open_{0};
  mutable std::mutex mutex_;
  std::condition_variable work_;   // a link has jobs, or the pool closes
  std::condition_variable done_;   // a result is ready
  std::deque<FetchedArticle> results_;
  std::vector<std::unique_ptr<Link>> links_;
  std::vector<PendingArticle> in_hand_rows_;
  int live_ = 0;
};

}  // namespace fk
