// SPDX-License-Identifier: GPL-3.0-or-later
// The download-only connections: login, BODY by message-id, bodies read whole, reconnects.
#include "session/download_pool.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "session/context.h"
#include "session/nntp_client.h"
#include "session/nntp_reply.h"
#include "session/transport.h"

namespace fk {

namespace {

constexpr std::size_t kReplyCapacity = 199;
// Connects (or replies) that fail in a row before a connection gives up for this session.
constexpr int kMaxFailures = 3;

}  // namespace

struct DownloadPool::Link {
  int number = 0;  // 2 and on: the session's own connection is the first
  std::thread thread;
  std::deque<DownloadJob> unsent;  // under the pool's mutex
  std::size_t jobs = 0;            // unsent and in flight, under the pool's mutex
  bool alive = true;               // under the pool's mutex
  int fd = -1;                     // for close() to cut a wait short; under the pool's mutex
};

DownloadPool::DownloadPool(EngineContext& ctx, int extra) : ctx_(ctx) {
  for (int i = 0; i < extra; ++i) {
    auto link = std::make_unique<Link>();
    link->number = i + 2;
    links_.push_back(std::move(link));
  }
  live_ = extra;
  for (auto& link : links_) link->thread = std::thread([this, l = link.get()] { run(*l); });
}

DownloadPool::~DownloadPool() { close(); }

void DownloadPool::close() {
  quit_ = 1;
  {
    std::lock_guard lock(mutex_);
    work_.notify_all();
  }
  {
    // Under the lock, so that a descriptor closed meanwhile (and perhaps reused) is never shut down.
    std::lock_guard lock(mutex_);
    for (auto& link : links_)
      if (link->fd >= 0) ::shutdown(link->fd, SHUT_RDWR);
  }
  for (auto& link : links_)
    if (link->thread.joinable()) link->thread.join();
  std::lock_guard lock(mutex_);
  results_.clear();
  in_hand_rows_.clear();
}

bool DownloadPool::quitting() const { return quit_.load() != 0 || ctx_.state.stop_requested.load() != 0; }

bool DownloadPool::offer(DownloadJob job, std::size_t depth) {
  std::lock_guard lock(mutex_);
  Link* best = nullptr;
  for (auto& link : links_)
    if (link->alive && link->jobs < depth && (!best || link->jobs < best->jobs)) best = link.get();
  if (!best) return false;
  in_hand_rows_.push_back(job.row);
  ++best->jobs;
  best->unsent.push_back(std::move(job));
  work_.notify_all();
  return true;
}

std::optional<FetchedArticle> DownloadPool::take(std::int64_t wait_ms) {
  std::unique_lock lock(mutex_);
  if (results_.empty() && wait_ms > 0)
    done_.wait_for(lock, std::chrono::milliseconds(wait_ms), [this] { return !results_.empty(); });
  if (results_.empty()) return std::nullopt;
  FetchedArticle a = std::move(results_.front());
  results_.pop_front();
  auto it = std::find(in_hand_rows_.begin(), in_hand_rows_.end(), a.job.row);
  if (it != in_hand_rows_.end()) in_hand_rows_.erase(it);
  return a;
}

std::vector<PendingArticle> DownloadPool::rows_in_hand() const {
  std::lock_guard lock(mutex_);
  return in_hand_rows_;
}

std::size_t DownloadPool::in_hand() const {
  std::lock_guard lock(mutex_);
  return in_hand_rows_.size();
}

int DownloadPool::live() const {
  std::lock_guard lock(mutex_);
  return live_;
}

void DownloadPool::deliver(FetchedArticle a) {
  std::lock_guard lock(mutex_);
  results_.push_back(std::move(a));
  done_.notify_all();
}

void DownloadPool::retire(Link& link, const std::string& why) {
  std::deque<DownloadJob> left;
  int live = 0;
  {
    std::lock_guard lock(mutex_);
    link.alive = false;
    link.jobs = 0;
    left.swap(link.unsent);
    live = --live_;
  }
  for (DownloadJob& job : left) deliver({std::move(job), FetchedArticle::Outcome::Returned, {}, {}, 0});
  ctx_.log.log_status("Connection " + std::to_string(link.number) + " " + why + ": going on with " +
                          std::to_string(live + 1) + (live == 0 ? " connection" : " connections"),
                      0);
}

void DownloadPool::set_fd(Link& link, int fd) {
  std::lock_guard lock(mutex_);
  link.fd = fd;
}

DownloadPool::Login DownloadPool::log_in(NntpClient& client, Link& link, std::string& why) {
  client.socket().set_claims_slot(false);
  std::string reason;
  if (client.connect(&reason) != 0) {
    why = "could not connect (" + reason + ")";
    return Login::Failed;
  }
  set_fd(link, client.socket().fd());
  if (quitting()) return Login::Failed;
  std::optional<Reply> greeting = client.read_reply(kReplyCapacity);
  if (!greeting) {
    why = "was closed before its greeting";
    return Login::Failed;
  }
  if (greeting->code != 200 && greeting->code != 201) {
    why = "was refused by the server: " + greeting->text;
    return Login::Refused;
  }
  switch (client.start_tls_if_asked()) {
    case NntpClient::TlsStart::Started: break;
    case NntpClient::TlsStart::Refused:
      why = "was refused STARTTLS";
      return Login::Refused;
    case NntpClient::TlsStart::Lost:
      why = "was lost during STARTTLS";
      return Login::Failed;
  }
  const Settings s = ctx_.settings.get();
  if (s.check_auth) {
    std::optional<Reply> user = client.authinfo_user(s.user);
    std::optional<Reply> pass = user ? client.authinfo_pass(s.pass) : std::nullopt;
    if (!pass) {
      why = "was lost during the login";
      return Login::Failed;
    }
    if (pass->code != 281) {
      // The session's own login passed: the server refuses one connection too many.
      why = "was refused the login: " + pass->text;
      return Login::Refused;
    }
  }
  if (!client.mode_reader()) {
    why = "was lost after the login";
    return Login::Failed;
  }
  // Small commands go out at once rather than waiting for the replies' acknowledgements.
  const int on = 1;
  ::setsockopt(client.socket().fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return Login::Done;
}

FetchedArticle DownloadPool::fetch(NntpClient& client, DownloadJob job) {
  FetchedArticle a;
  a.job = std::move(job);
  NewsSocket& socket = client.socket();
  if (get_socket_string(ctx_, a.reply, kReplyCapacity, socket) == -1) {
    a.outcome = FetchedArticle::Outcome::Returned;
    return a;
  }
  if (reply_status(a.reply) != 222) {
    a.outcome = FetchedArticle::Outcome::Refused;
    return a;
  }
  std::string line;
  const BodyRead read = read_body(ctx_, socket, line, a.job.bound, [&](std::string_view text, bool ends_line, int) {
    a.body.append(text);
    if (ends_line) {
      a.body.push_back('\n');
      ++a.lines;
    }
  });
  if (read == BodyRead::Lost) a.outcome = FetchedArticle::Outcome::Lost;
  if (read == BodyRead::TooLarge) {
    a.body.clear();
    a.outcome = FetchedArticle::Outcome::TooLarge;
  }
  return a;
}

void DownloadPool::run(Link& link) {
  NntpClient client(ctx_, quit_);
  std::deque<DownloadJob> in_flight;
  int failures = 0;
  auto close_client = [&] {
    set_fd(link, -1);
    client.close();
  };
  auto drop_connection = [&] {
    close_client();
    --open_;
    --ctx_.state.open_connections;
    for (DownloadJob& job : in_flight) deliver({std::move(job), FetchedArticle::Outcome::Returned, {}, {}, 0});
    std::lock_guard lock(mutex_);
    link.jobs -= std::min(link.jobs, in_flight.size());
    in_flight.clear();
  };
  while (!quitting()) {
    if (!client.socket().is_open()) {
      std::string why;
      const Login login = log_in(client, link, why);
      if (login == Login::Done) {
        ++open_;
        ++ctx_.state.open_connections;
        ctx_.log.log_status("Connection " + std::to_string(link.number) + " open for downloads", 1);
      } else {
        close_client();
        if (quitting()) break;
        if (login == Login::Refused || ++failures >= kMaxFailures) {
          retire(link, why);
          return;
        }
        continue;
      }
    }

    std::vector<DownloadJob> fresh;
    {
      std::unique_lock lock(mutex_);
      if (in_flight.empty())
        work_.wait_for(lock, std::chrono::milliseconds(100),
                       [&] { return quit_.load() != 0 || !link.unsent.empty(); });
      while (!link.unsent.empty()) {
        fresh.push_back(std::move(link.unsent.front()));
        link.unsent.pop_front();
      }
    }
    if (!fresh.empty()) {
      std::string batch;
      for (const DownloadJob& job : fresh) batch += "BODY " + job.message_id + "\r\n";
      for (DownloadJob& job : fresh) in_flight.push_back(std::move(job));
      if (!client.send(batch)) {
        drop_connection();
        if (++failures >= kMaxFailures) {
          retire(link, "was lost " + std::to_string(kMaxFailures) + " times in a row");
          return;
        }
        continue;
      }
    }
    if (in_flight.empty() || quitting()) continue;

    DownloadJob job = std::move(in_flight.front());
    in_flight.pop_front();
    FetchedArticle a = fetch(client, std::move(job));
    const FetchedArticle::Outcome outcome = a.outcome;
    {
      std::lock_guard lock(mutex_);
      if (link.jobs > 0) --link.jobs;
    }
    deliver(std::move(a));
    if (outcome == FetchedArticle::Outcome::Body || outcome == FetchedArticle::Outcome::Refused) {
      failures = 0;
      continue;
    }
    // The rest of a body may still be coming: this connection cannot be read in order any more.
    drop_connection();
    if (outcome == FetchedArticle::Outcome::Returned && !quitting() && ++failures >= kMaxFailures) {
      retire(link, "was lost " + std::to_string(kMaxFailures) + " times in a row");
      return;
    }
  }
  if (client.socket().is_open()) drop_connection();
  std::deque<DownloadJob> left;
  {
    std::lock_guard lock(mutex_);
    left.swap(link.unsent);
    link.jobs = 0;
    link.alive = false;
  }
  for (DownloadJob& job : left) deliver({std::move(job), FetchedArticle::Outcome::Returned, {}, {}, 0});
}

}  // namespace fk
