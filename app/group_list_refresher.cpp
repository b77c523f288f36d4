// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog's server listing: one news connection, "list active", lines into the sink.
#include "app/group_list_refresher.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "session/context.h"
#include "session/nntp_client.h"
#include "session/nntp_reply.h"
#include "store/newsrc.h"

namespace fk {

namespace {

constexpr std::size_t kReceiveMax = 1599;  // one receive fills at most a zeroed 1600-byte buffer
constexpr std::size_t kLineKeep = 1599;    // a longer line keeps its start and loses the rest
constexpr int kSliceMs = 100;
// A server silent for idle_timeout seconds is given up on: the dialog cannot be left while a refresh runs.
constexpr int kDefaultSilentSeconds = 120;
constexpr int kTitleEvery = 50;
// Each batch is merged into the dialog's whole list, so few large ones beat many small ones.
constexpr std::size_t kBatch = 2000;

// One run of the listing.
class Listing {
 public:
  Listing(EngineContext& ctx, RefreshSink& sink, const std::atomic<int>& cancelled, std::size_t max_groups)
      : ctx_(ctx),
        sink_(sink),
        cancelled_(cancelled),
        settings_(ctx.settings.get()),
        limit_(max_groups),
        client_(ctx, cancelled),
        silent_seconds_(settings_.idle_timeout > 0 ? settings_.idle_timeout : kDefaultSilentSeconds) {
    block_.resize(kReceiveMax);
    line_.reserve(kLineKeep);
  }
  // Everything up to the point where the refresh stops, whatever the reason.
  void run();
  // Closes and releases the connection and shows the closing title.
  void finish();

 private:
  enum class Got { Data, Closed, Failed, Silent };

  bool cancelled() const { return cancelled_.load() != 0; }
  Got receive();
  // One receive taken as a reply; false (logged) when nothing came.
  bool receive_reply(const char* during);
  void report_lost(Got got, const char* when);
  // False once the listing's terminator has been seen.
  bool take(char c);
  bool handle_line();
  void flush();
  void wait_ms(std::int64_t ms);

  EngineContext& ctx_;
  RefreshSink& sink_;
  const std::atomic<int>& cancelled_;
  const Settings settings_;
  GroupListLimit limit_;
  NntpClient client_;
  const int silent_seconds_;
  std::vector<char> block_;
  std::size_t received_ = 0;
  std::string reply_;
  std::string line_;
  bool status_skipped_ = false;
  bool complete_ = false;
  std::int64_t counter_ = 0;
  std::vector<std::string> batch_;
};

void Listing::run() {
  counter_ = 0;

  sink_.title("Requesting Connection To News Server...");
  ctx_.state.refusal = SessionState::kNoRefusal;
  std::string reason;
  if (client_.connect(&reason) != 0) {
    if (cancelled()) return;
    const std::string text = "Connection to " + settings_.news_server + " port " +
                             std::to_string(settings_.port) + " failed: " + reason;
    ctx_.log.log_status(text, 0);
    // A refused certificate has had its box, which says more.
    if (ctx_.state.refusal != SessionState::kTlsRefused)
      ctx_.dialogs.message_box(text, "ERROR", Icon::Warning, Buttons::Ok);
    return;
  }

  if (!receive_reply("the greeting")) return;
  const std::int64_t greeting = reply_status(reply_);
  if (greeting != 200 && greeting != 201) {
    if (settings_.sound_on) ctx_.dialogs.beep(Beep::Exclamation);
    ctx_.log.log_status("News Connection Refused", 0);
    ctx_.log.log_status(reply_, 0);
    ctx_.dialogs.message_box(reply_, "News Connection Refused", Icon::Warning, Buttons::Ok);
    return;
  }
  if (client_.start_tls_if_asked() != NntpClient::TlsStart::Started) return;
  sink_.title("Connected To Server...");

  if (settings_.check_auth) {
    sink_.title("Logging User In To Server...");
    client_.send("AUTHINFO USER " + settings_.user + "\r\n");
    if (!receive_reply("the login")) return;
    client_.send("AUTHINFO PASS " + settings_.pass + "\r\n");
    if (!receive_reply("the login")) return;
    if (reply_status(reply_) != 281) {
      ctx_.log.log_status("Invalid server response to pass command", 0);
      ctx_.log.log_status(reply_, 0);
      sink_.title(reply_);
      wait_ms(2000);
      return;
    }
  }

  if (!client_.start_compression_if_offered(nullptr)) {
    report_lost(Got::Closed, "the compression request");
    return;
  }
  sink_.title("Requesting News Groups Listing From Server...");
  client_.send(NntpClient::list_active_line());
  for (;;) {
    const Got got = receive();
    if (got != Got::Data) {
      report_lost(got, "the news groups listing");
      return;
    }
    for (std::size_t i = 0; i < received_; ++i)
      if (!take(block_[i])) return;
  }
}

void Listing::finish() {
  flush();
  if (status_skipped_ && !complete_) {
    ctx_.log.log_status("News groups listing incomplete: the lists are kept as they were", 0);
    sink_.listing_incomplete();
    // A listing the user stopped needs no box; one the server broke off does.
    if (!cancelled())
      ctx_.dialogs.message_box("The news server " + settings_.news_server +
                                   " ended the news groups listing before it was complete.\n"
                                   "The lists are kept as they were.",
                               "News Groups Listing Incomplete", Icon::Warning, Buttons::Ok);
  }
  if (limit_.dropped() > 0) {
    ctx_.log.log_status(limit_.summary(), 0);
    if (complete_) sink_.notice(limit_.summary());
  }
  if (client_.socket().is_open()) {
    // Cleared while the slot is still ours, so a session that takes it next keeps its own flag.
    ctx_.state.connected = 0;
    client_.close();
  }
  sink_.title(kRefreshDoneTitle);
}

// Waits in slices so that cancel() and a shutdown of the socket are noticed within one slice.
Listing::Got Listing::receive() {
  received_ = 0;
  for (int idle = 0;;) {
    if (cancelled()) return Got::Failed;
    const std::int64_t n = client_.receive_some(block_.data(), kReceiveMax);
    if (n > 0) {
      received_ = static_cast<std::size_t>(n);
      return Got::Data;
    }
    if (n == -1) return Got::Closed;
    if (n < 0) return Got::Failed;
    // The server paused: let the dialog show what has come so far.
    flush();
    if (++idle >= silent_seconds_ * (1000 / kSliceMs)) return Got::Silent;
  }
}

bool Listing::receive_reply(const char* during) {
  const Got got = receive();
  if (got != Got::Data) {
    report_lost(got, during);
    return false;
  }
  // The reply was read as text from a zeroed buffer: it ends at the first NUL.
  std::string_view text(block_.data(), received_);
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  reply_.assign(text);
  return true;
}

void Listing::report_lost(Got got, const char* when) {
  if (cancelled()) return;
  if (std::string why = client_.socket().take_failure(); !why.empty())
    ctx_.log.log_status("Connection to the news server given up: " + why, 0);
  ctx_.log.log_status(std::string(got == Got::Closed   ? "Server closed the connection during "
                                  : got == Got::Silent ? "Server silent for " + std::to_string(silent_seconds_) +
                                                             " seconds during "
                                                       : "Socket receive error during ") +
                          when,
                      0);
}

bool Listing::take(char c) {
  if (c == '\r') return true;
  if (c != '\n') {
    if (line_.size() < kLineKeep) line_.push_back(c);
    return true;
  }
  const bool more = handle_line();
  line_.clear();
  return more;
}

bool Listing::handle_line() {
  std::string_view text(line_);
  text = text.substr(0, text.find('\0'));
  if (!status_skipped_) {
    // Anything but 215 is a refusal: waiting on for a listing would only end in the silence timeout.
    if (reply_status(text) != 215) {
      const std::string reply(text);
      ctx_.log.log_status("News groups listing refused by " + settings_.news_server + ": " + reply, 0);
      ctx_.dialogs.message_box("The news server " + settings_.news_server +
                                   " refused the news groups listing:\n" + reply,
                               "News Groups Listing Refused", Icon::Warning, Buttons::Ok);
      return false;
    }
    // Only now is there a listing to replace the lists with.
    status_skipped_ = true;
    sink_.clear_lists();
  } else {
    if (text == ".") {
      complete_ = true;
      return false;
    }
    // The line end is no part of the name: a line holding only the name gives the name alone.
    const std::size_t start = text.find_first_not_of(" \t");
    if (start != std::string_view::npos) {
      std::string_view name = text.substr(start);
      name = name.substr(0, std::min(name.find_first_of(" \t"), kGroupNameMax));
      if (limit_.admit()) {
        batch_.emplace_back(name);
        if (batch_.size() >= kBatch) flush();
      }
    }
  }
  ++counter_;
  if (counter_ % kTitleEvery == 0)
    sink_.title("Please Wait ...Receiving Group # " + std::to_string(counter_));
  return true;
}

void Listing::flush() {
  if (batch_.empty()) return;
  sink_.add_groups(std::move(batch_));
  batch_ = {};
  batch_.reserve(kBatch);
}

void Listing::wait_ms(std::int64_t ms) {
  while (ms > 0 && !cancelled()) {
    const std::int64_t step = std::min<std::int64_t>(ms, kSliceMs);
    ctx_.clock.sleep_ms(step);
    ms -= step;
  }
}

}  // namespace

void NntpGroupListRefresher::refresh(RefreshSink& sink) {
  Listing listing(ctx_, sink, cancelled_, max_groups_);
  if (!cancelled_.load()) listing.run();
  listing.finish();
}

}  // namespace fk
