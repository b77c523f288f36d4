// SPDX-License-Identifier: GPL-3.0-or-later
// The download session thread: start-up, connect and login, resume check, group loop and the two endings.
#include "session/session_thread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "decode/parts_store.h"
#include "session/article_loop.h"
#include "session/context.h"
#include "session/download_pool.h"
#include "session/nntp_client.h"
#include "session/nntp_reply.h"
#include "session/overview_scan.h"
#include "session/scan_range.h"
#include "session/transport.h"
#include "store/newsrc.h"
#include "store/scan_marks.h"
#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::size_t kReplyCapacity = 511;
constexpr const char* kDirty = "dirty.txt";
constexpr const char* kWorkFile = "temp.uue";

constexpr const char* kDirtyQuestion =
    "Fennick has detected that it was\npreviously interrupted during the news group\nscanning process. The "
    "normal "
    "process is to continue\nfrom the last group scanned. Would you like to\noverride this and start from "
    "the "
    "first news group?";

class Session {
 public:
  explicit Session(EngineContext& ctx)
      : ctx_(ctx), settings_(ctx.settings), client_(ctx, ctx.state.stop_requested), socket_(client_.socket()) {}
  int run();

 private:
  int login_and_scan();
  int scan_groups();
  int orderly_ending();
  // GROUP answered 480: the session ends, and waiting will not mend it.
  int login_wanted();
  int bail_out(const std::string& message, int level);
  // The group's overview into the pending list: the whole range, or from its scan mark. -1 when a
  // read failed.
  int scan_overview(const std::string& group, const GroupReply& g);
  // The overview was read up to `to` (nothing yet when empty); the rows selected are still to come.
  void note_examined(std::optional<std::int64_t> to);
  // Moves the group's scan mark as far as the scan examined, short of any article still outstanding.
  void settle_mark();

  // One reply into reply_; false when the connection was lost. The command's bytes count as sent.
  bool take(std::optional<Reply> r) {
    if (!r) return false;
    if (!socket_.compressing()) ctx_.state.byte_count += static_cast<std::int64_t>(r->sent);
    reply_ = std::move(r->text);
    return true;
  }
  bool read_reply() { return take(client_.read_reply(kReplyCapacity)); }
  void log(std::string_view message, int level) { ctx_.log.log_status(message, level); }
  void show(ControlId id, const std::string& text) { ctx_.view.set_text(id, text); }
  void enable(ControlId id, bool on) { ctx_.view.set_enabled(id, on); }
  bool stopped() const { return ctx_.state.stop_requested.load() != 0; }
  const Settings& settings() { return settings_.get(); }
  // The classic pauses, left out in fast mode.
  void pause_ms(std::int64_t ms) {
    if (!settings().fast_transfers) ctx_.clock.sleep_ms(ms);
  }
  std::string attempts_text(const std::string& lead) {
    return lead + settings().news_server + " (" + std::to_string(ctx_.state.connection_attempts.load()) +
           " connection attempts)";
  }

  EngineContext& ctx_;
  SettingsCache settings_;
  NntpClient client_;
  NewsSocket& socket_;
  std::unique_ptr<DownloadPool> pool_;  // the other connections, with fast_transfers and connections > 1
  NewsrcScanReader newsrc_;
  // Why a session that reached the server scanned nothing, for the pending list's last line.
  std::string nothing_scanned_;
  std::string reply_;
  std::int64_t skip_ = 0;
  ScanMarks marks_;
  // The incremental scan of the group in hand.
  struct GroupMark {
    bool active = false;
    std::string group;
    std::optional<std::int64_t> stored;
    std::optional<std::int64_t> examined_to;
    std::multiset<std::int64_t> outstanding;  // selected, and not yet fetched by the article loop
    bool write_failed = false;
  } mark_;
};

int Session::run() {
  SessionState& st = ctx_.state;
  st.article_line = 0;
  st.article_lines = 0;
  enable(ControlId::NewsGroupsButton, false);
  enable(ControlId::StartButton, false);
  enable(ControlId::SkipGroupButton, false);
  log("Started Fennick Thread", 0);
  pause_ms(1000);

  adopt_newsrc_new(ctx_.log);
  enable(ControlId::NewsGroupsButton, true);
  ::unlink(kWorkFile);
  for (const char* dir : {"pictures", "unknown", "raw"}) ::mkdir(dir, 0755);
  if (settings().collect_multipart)
    PartsStore(ctx_.log, ctx_.clock, ctx_.decoders).expire(settings().multipart_keep_days);

  show(ControlId::ConnectionStatus, "Initializing Fennick Thread");
  for (ControlId id :
       {ControlId::GroupCounter, ControlId::GroupName, ControlId::DownloadStatus, ControlId::Throughput})
    show(id, "");
  enable(ControlId::StopButton, true);

  // Asked before connecting: a server may drop a connection left idle while the box is open.
  if (readable_file(kDirty)) {
    bool restart = false;
    if (!settings().unattended_operation)
      restart = ctx_.dialogs.message_box(kDirtyQuestion, "Detected Previously Interrupted Operation",
                                         Icon::Question, Buttons::YesNo) == Answer::Yes;
    if (restart) {
      ::unlink(kDirty);
      log("Dirty Startup... User requested restart from group 1", 0);
      skip_ = 0;
    } else {
      skip_ = dirty_skip_count(kDirty);
      if (const int groups = count_subscribed_groups(); skip_ > 0 && skip_ >= groups) {
        // The groups changed since: skipping them all would scan nothing at all.
        log("Dirty Startup... group " + std::to_string(skip_ + 1) + " is past the last of " +
                std::to_string(groups) + " subscribed groups: starting from the first group",
            0);
        skip_ = 0;
      } else {
        log("Dirty Startup... skipping to last scanned group", 0);
        show(ControlId::DownloadStatus, "Dirty Start - Resyncing");
      }
    }
  }
  ++ctx_.state.connection_attempts;
  if (client_.connect() != 0) {
    ++st.failed_connects;
    std::string text = "Connection to " + settings().news_server + " failed";
    log(text, 0);
    show(ControlId::ConnectionStatus, text);
    // Trying again cannot mend a refused certificate.
    if (st.refusal == SessionState::kTlsRefused) return orderly_ending();
    return bail_out("", 0);
  }
  st.failed_connects = 0;
  return login_and_scan();
}

int Session::login_and_scan() {
  SessionState& st = ctx_.state;
  if (!read_reply()) return bail_out("Socket Rx Error 001", 0);
  std::int64_t greeting = reply_status(reply_);
  if (greeting != 200 && greeting != 201) {
    if (settings().sound_on) ctx_.dialogs.beep(Beep::Exclamation);
    if (!settings().unattended_operation)
      ctx_.dialogs.message_box(reply_, "News Connection Refused", Icon::Warning, Buttons::Ok);
    std::string text = "Connection To " + settings().news_server + " Refused";
    st.refusal = SessionState::kGreetingRefused;
    log(text, 0);
    log(reply_, 0);
    show(ControlId::ConnectionStatus, text);
    return orderly_ending();
  }
  switch (client_.start_tls_if_asked()) {
    case NntpClient::TlsStart::Started: break;
    case NntpClient::TlsStart::Refused: return orderly_ending();
    case NntpClient::TlsStart::Lost: return bail_out("Socket Rx Error 001", 0);
  }
  ++st.archive_connections;
  st.connected = 1;
  st.open_connections = 1;
  ctx_.view.connected_to(settings().news_server, ctx_.state.connection_attempts.load());
  log("Connected To News Server", 0);

  if (settings().check_auth) {
    log("Authorization Sequence Started", 0);
    if (!take(client_.authinfo_user(settings().user))) return bail_out("Socket Rx Error 002", 0);
    show(ControlId::DownloadStatus, reply_);
    pause_ms(500);
    if (!take(client_.authinfo_pass(settings().pass))) return bail_out("Socket Rx Error 003", 0);
    show(ControlId::DownloadStatus, reply_);
    if (reply_status(reply_) != 281) {
      st.refusal = SessionState::kLoginRefused;
      log("Invalid server response to pass command", 0);
      log(reply_, 0);
      pause_ms(1500);
      return orderly_ending();
    }
    log("Authorization Sequence OK", 0);
  }

  std::optional<Reply> mode = client_.mode_reader();
  if (!take(mode)) return bail_out("Socket Rx Error 004", 0);
  st.byte_count += mode->length;
  if (!client_.start_compression_if_offered(&st.byte_count)) return bail_out("Socket Rx Error 004", 0);
  // The download-only connections log in while this one scans the first group.
  if (const Settings& s = settings(); s.fast_transfers && s.connections > 1)
    pool_ = std::make_unique<DownloadPool>(ctx_, std::min(s.connections, 50) - 1);

  return scan_groups();
}

int Session::scan_groups() {
  SessionState& st = ctx_.state;
  st.group_index = 0;
  if (!newsrc_.open()) {
    log("ERROR: File Open on newsrc - Read 005", 0);
    nothing_scanned_ = "No newsrc File: Use Groups To Choose News Groups";
  } else {
    nothing_scanned_ = "No Subscribed News Groups: Use Groups To Choose Some";
    log("Reading newsrc to get list of groups", 0);
    NewsrcScanReader::Line line;
    while (newsrc_.next(line)) {
      ctx_.view.set_progress(ControlId::ArticleProgress, 0);
      if (stopped()) return orderly_ending();
      if (!line.subscribed) continue;
      nothing_scanned_.clear();
      st.set_current_group(line.group);

      int index = ++st.group_index;
      int total = st.subscribed_groups.load();
      ctx_.view.group_counted(index, total);
      ctx_.view.set_progress_range(ControlId::GroupsProgress, 0, total);
      ctx_.view.set_progress(ControlId::GroupsProgress, index);
      if (skip_ > 0) {
        --skip_;
        continue;
      }
      // The marker is a hint for the next start; a failed write only costs the resume.
      replace_file(kDirty, std::to_string(index) + "\n");

      // The reader already took the line end off, so the name is used whole.
      std::string group = st.current_group();
      Reply raw;
      std::optional<GroupReply> answer = client_.group(group, &raw);
      if (!socket_.compressing()) st.byte_count += static_cast<std::int64_t>(group.size());
      log("", 1);
      log(group, 1);
      ctx_.view.group_started(group, index, total);

      if (!answer) return bail_out("Socket Rx Error 005", 0);
      reply_ = std::move(raw.text);
      const GroupReply g = *answer;
      if (g.status == 480) return login_wanted();
      if (g.status != 211) {
        show(ControlId::DownloadStatus, "Group Not Available");
        log("Bad Retcode to group command", 1);
        log(reply_, 2);
        pause_ms(100);
        continue;
      }
      if (g.count <= 0) {
        log(reply_, 1);
        log("No articles to read in group, skipping to next", 2);
        show(ControlId::DownloadStatus, "No Articles in Group");
        continue;
      }

      st.article_lines = 0;
      if (scan_overview(group, g) == -1) return bail_out("Socket Rx Error 006", 1);
      log(std::to_string(ctx_.pending.count()) + " Articles Selected For Download from Articles " +
              std::to_string(g.first) + " to " + std::to_string(g.last),
          2);
      enable(ControlId::SkipGroupButton, true);
      enable(ControlId::StopButton, true);

      auto fetched = [this](std::int64_t number) {
        if (auto it = mark_.outstanding.find(number); it != mark_.outstanding.end())
          mark_.outstanding.erase(it);
      };
      while (!ctx_.pending.empty()) {
        ArticleLoopResult r = run_article_loop(ctx_, socket_, fetched, pool_.get());
        if (r.kind != ArticleLoopResult::Kind::ListEmpty) settle_mark();
        if (r.kind == ArticleLoopResult::Kind::OrderlyEnding) return orderly_ending();
        if (r.kind == ArticleLoopResult::Kind::BailOut) return bail_out(r.message, 0);
      }
      settle_mark();
      enable(ControlId::SkipGroupButton, false);
      show(ControlId::PendingBox, "0 Pending Downloads");
    }
    log("Finished Scanning Groups", 1);
    newsrc_.close();
  }

  log("Logging Off News Server", 0);
  client_.quit();
  ::unlink(kDirty);
  return orderly_ending();
}

int Session::scan_overview(const std::string& group, const GroupReply& g) {
  mark_ = {};
  OverviewScanReport report;
  report.group = group;
  if (!settings().incremental_scan) {
    const int before = ctx_.state.articles_examined.load();
    int r = fill_articles_listbox(ctx_, socket_, g.first, g.last, group);
    report.range = {g.first, g.last};
    report.lines = ctx_.state.articles_examined.load() - before;
    report.selected = static_cast<std::int64_t>(ctx_.pending.count());
    if (r != -1) ctx_.view.overview_scanned(report);
    return r;
  }

  mark_.active = true;
  mark_.group = group;
  mark_.stored = marks_.get(group);
  ScanPlan plan = plan_incremental_scan(mark_.stored, g.first, g.last, settings().first_scan_articles);
  if (plan.start == ScanStart::Renumbered) {
    log("Scan mark " + std::to_string(*mark_.stored) + " is above the last article " +
            std::to_string(g.last) + ", the group was renumbered: scanning it afresh",
        2);
    mark_.stored.reset();
    marks_.forget({group});
  }
  auto chunk_done = [this](std::int64_t to) {
    note_examined(to);
    settle_mark();
  };
  ChunkedScanResult r = scan_overview_chunks(ctx_, socket_, plan.range, group, chunk_done);
  if (r.status == -1) return -1;
  note_examined(r.examined_to);

  report.start = plan.start;
  report.range = plan.range;
  report.lines = r.lines;
  report.selected = static_cast<std::int64_t>(ctx_.pending.count());
  report.limit_reached = r.limit_reached;
  ctx_.view.overview_scanned(report);
  return 0;
}

void Session::note_examined(std::optional<std::int64_t> to) {
  mark_.examined_to = to;
  mark_.outstanding.clear();
  for (const auto& row : ctx_.pending.rows()) mark_.outstanding.insert(pending_article_number(row));
}

void Session::settle_mark() {
  if (!mark_.active || !mark_.examined_to) return;
  std::optional<std::int64_t> lowest;
  if (!mark_.outstanding.empty()) lowest = *mark_.outstanding.begin();
  const std::int64_t mark = allowed_mark(*mark_.examined_to, lowest, mark_.stored);
  if (mark_.stored && mark <= *mark_.stored) return;
  if (marks_.set(mark_.group, mark)) {
    mark_.stored = mark;
  } else if (!mark_.write_failed) {
    // The marks only save work; the scan goes on and the next session looks at these articles again.
    log(std::string("ERROR: File Write ") + kScanMarkFileName, 1);
    mark_.write_failed = true;
  }
}

int Session::login_wanted() {
  ctx_.state.refusal = SessionState::kLoginWanted;
  log("The server wants a login (480): set user and password in the Connection page", 0);
  log(reply_, 1);
  if (!settings().unattended_operation)
    ctx_.dialogs.message_box("The server wants a login:\nset user and password in the Connection page.\n\n" + reply_,
                             "News Server Login Required", Icon::Warning, Buttons::Ok);
  client_.quit();
  return orderly_ending();
}

std::string refusal_detail(int refusal) {
  switch (refusal) {
    case SessionState::kGreetingRefused: return "the server refused the connection";
    case SessionState::kLoginRefused: return "the server refused the login";
    case SessionState::kTlsRefused: return "the secure connection was refused";
    case SessionState::kWriteFailed: return "a file could not be written";
    case SessionState::kLoginWanted: return "the server wants a login";
    default: return {};
  }
}

int Session::orderly_ending() {
  SessionState& st = ctx_.state;
  log("ENDTHREAD:", 0);
  newsrc_.close();
  if (stopped()) {
    show(ControlId::GroupName, "");
    show(ControlId::GroupCounter, "");
    st.article_lines = 0;
    show(ControlId::DownloadStatus, "STOP Pressed");
    ctx_.view.session_ended(SessionEnd::Stopped, {});
    ctx_.view.set_progress(ControlId::GroupsProgress, 0);
    log("Stop Button Activated", 0);
  } else if (std::string failure = refusal_detail(st.refusal.load()); !failure.empty()) {
    ctx_.view.session_ended(SessionEnd::Failed, failure);
  } else if (!nothing_scanned_.empty()) {
    ctx_.view.session_ended(SessionEnd::NothingToScan, nothing_scanned_);
  } else {
    ctx_.view.session_ended(SessionEnd::Completed, {});
  }
  pool_.reset();
  ctx_.pending.clear();
  ctx_.view.set_progress(ControlId::ArticleProgress, 0);

  client_.close();
  st.connected = 0;
  st.open_connections = 0;
  st.auto_reconnect = 0;

  SessionCounters totals;
  totals.pictures = st.pictures_downloaded.load();
  totals.articles_examined = st.articles_examined.load();
  totals.duplicates = st.duplicates_skipped.load();
  totals.base64 = st.base64_count.load();
  totals.unknown_format = st.unknown_format_count.load();
  log(counters_text(totals, CountersForm::LogLine), 0);
  log(attempts_text("Closing Connection to "), 0);
  log("Ending Fennick Thread", 0);
  show(ControlId::ConnectionStatus, "NoBody");
  enable(ControlId::StartButton, true);

  const Settings& s = settings();
  if (s.unattended_operation && !s.scheduler_active()) {
    log("Scan Complete...Exiting Fennick Program", 0);
    ctx_.view.post_command(Command::Close);
  }
  return kSessionEnded;
}

int Session::bail_out(const std::string& message, int level) {
  SessionState& st = ctx_.state;
  // STOP cuts a read short; the failed read it leaves is no fault of the connection.
  const bool by_user = stopped();
  if (by_user) {
    log("Stopped by the user", 0);
  } else {
    if (!message.empty()) log(message, level);
    log("SOCKET_BAILOUT", 0);
  }
  newsrc_.close();
  st.article_lines = 0;
  show(ControlId::DownloadStatus, "");
  ctx_.view.set_progress(ControlId::ArticleProgress, 0);
  pool_.reset();
  client_.close();
  if (!by_user) log(attempts_text("Lost Connection to "), 1);
  st.connected = 0;
  st.open_connections = 0;
  if (by_user) {
    show(ControlId::ConnectionStatus, "Nobody -- Stop Pressed");
  } else {
    log("Problems With Socket Connection...", 0);
    show(ControlId::ConnectionStatus, "Problems With Socket Connection... Will Retry in a Minute");
  }
  enable(ControlId::StartButton, true);
  return kSessionBailedOut;
}

}  // namespace

std::int64_t dirty_skip_count(const char* path) {
  LineReader in(78);
  std::string line;
  std::int64_t number = 0;
  if (in.open(path) && in.next(line)) {
    std::string_view text = line;
    scan_decimal(text, number);
  }
  return number == std::numeric_limits<std::int64_t>::min() ? number : number - 1;
}

int SessionThread(EngineContext& ctx) {
  Session session(ctx);
  return session.run();
}

}  // namespace fk
