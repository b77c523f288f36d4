// SPDX-License-Identifier: GPL-3.0-or-later
// The article loop: free-space check, BODY into temp.uue, decoding or filing, history, row 0 deleted.
#include "session/article_loop.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "decode/part_slots.h"
#include "decode/parts_store.h"
#include "decode/paths.h"
#include "decode/work_file.h"
#include "session/article_selection.h"
#include "session/context.h"
#include "session/download_pool.h"
#include "session/nntp_client.h"
#include "session/nntp_reply.h"
#include "session/scan_range.h"
#include "session/transport.h"
#include "store/text.h"
#include "store/text_file.h"
#include "store/unique_fd.h"

namespace fk {

namespace {

constexpr const char* kWorkFile = "temp.uue";
constexpr std::int64_t kStampEpoch = 837140480;  // 1996-07-12 03:01:20 UTC
constexpr std::uint64_t kMinFreeBytes = 5000000;
constexpr std::size_t kReplyCapacity = 199;
constexpr std::size_t kDescriptionMax = 199;
constexpr int kMaxBrokenDownloads = 3;

// temp.uue, written through a buffer and closed on every way out.
class WorkFile {
 public:
  bool open(const char* path) {
    fd_.reset(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    buf_.clear();
    buf_.reserve(2 * kFlushAt);
    failed_ = false;
    return static_cast<bool>(fd_);
  }
  // The text and a line end.
  void write_line(std::string_view text) {
    buf_.append(text);
    buf_.push_back('\n');
    if (buf_.size() >= kFlushAt) flush();
  }
  // Part of a line; its end comes with a later write_line.
  void write(std::string_view text) {
    buf_.append(text);
    if (buf_.size() >= kFlushAt) flush();
  }
  // False when any write of this file failed (a full disk, say); error() then holds its errno.
  bool close() {
    if (!fd_) return !failed_;
    flush();
    if (!fd_.reset()) fail();
    return !failed_;
  }
  int error() const { return error_; }
  ~WorkFile() { close(); }

 private:
  static constexpr std::size_t kFlushAt = 256 * 1024;
  void flush() {
    if (!failed_ && !write_all(fd_.get(), buf_)) fail();
    buf_.clear();
  }
  void fail() {
    if (!failed_) error_ = errno != 0 ? errno : EIO;
    failed_ = true;
  }

  UniqueFd fd_;
  std::string buf_;
  bool failed_ = false;
  int error_ = 0;
};

// The fields of a pending row the loop uses. Empty fields count, so an empty author cannot shift
// the line count into the author's place.
struct RowFields {
  std::int64_t number = 0;
  std::uint32_t lines = 0;
  std::string description;  // author, a tab and the subject, at most kDescriptionMax characters
};

RowFields split_row(std::string_view row) {
  RowFields f;
  std::string_view fields[4];
  std::size_t count = 0;
  while (count < 4) {
    std::size_t tab = row.find('\t');
    fields[count++] = row.substr(0, tab);
    if (tab == std::string_view::npos) break;
    row.remove_prefix(tab + 1);
  }
  f.number = leading_number(fields[0]);
  if (count < 2) return f;
  f.description.assign(fields[1].substr(0, kDescriptionMax));
  if (count < 3) return f;
  f.lines = static_cast<std::uint32_t>(leading_number(fields[2]));
  if (count < 4) return f;
  f.description.push_back('\t');
  if (f.description.size() > kDescriptionMax) f.description.resize(kDescriptionMax);
  f.description.append(fields[3].substr(0, kDescriptionMax - f.description.size()));
  return f;
}

// The third field of the BODY reply read as "%d %d %s": the message-id as the server wrote it.
std::optional<std::string> reply_message_id(std::string_view reply) {
  std::int64_t status = 0, number = 0;
  if (!scan_decimal(reply, status) || !scan_decimal(reply, number)) return std::nullopt;
  std::size_t start = 0;
  while (start < reply.size() && is_space(reply[start])) ++start;
  std::size_t end = start;
  while (end < reply.size() && !is_space(reply[end])) ++end;
  if (end == start) return std::nullopt;
  return std::string(reply.substr(start, end - start));
}

class ArticleLoop {
 public:
  ArticleLoop(EngineContext& ctx, NewsSocket& socket, const std::function<void(std::int64_t)>& finished,
              DownloadPool* pool)
      : ctx_(ctx), socket_(socket), pool_(pool), settings_(ctx.settings), finished_(finished) {}
  ArticleLoopResult run();

 private:
  using Kind = ArticleLoopResult::Kind;
  // Fast mode: BODY commands sent ahead for the rows not asked for yet, no fixed waits. With a pool,
  // its connections take rows too, and their bodies are filed here between this connection's.
  ArticleLoopResult run_pipelined();
  // The first row not in `taken` worth asking for; rows given up on or already kept go on the way.
  std::optional<PendingArticle> next_row(std::vector<PendingArticle>& taken);
  void offer_to_pool(std::vector<PendingArticle> taken, std::size_t depth);
  // Files an article another connection fetched, as this connection's are; false when the session
  // must end.
  bool file_fetched(FetchedArticle& a);
  ArticleLoopResult disk_full();
  // Closes the connection with replies still due: the rows asked for stay for the next session.
  ArticleLoopResult stop_pressed();
  bool enough_disk_space();
  // False after a pause when temp.uue did not open: the same row is tried again until it opens or STOP.
  bool open_work_file(WorkFile& work);
  // The row heads the work file and the log; the article's line counters start afresh.
  RowFields start_article(WorkFile& work, const PendingArticle& row);
  // A body that did not reach the disk whole must not be recorded as fetched: the row stays, and the
  // next session fetches it again. False then, and the session ends.
  bool work_file_whole(WorkFile& work);
  // Decodes or files the body and records the article; false when the session must end.
  bool store_article(const std::string& reply, std::string_view row, const RowFields& fields);
  // Reads the body into the work file, at most `bound` bytes of it.
  BodyRead receive_body(WorkFile& work, std::uint64_t bound);
  // The most bytes the body of `row` may take: twice what the overview declared plus 1 MiB, and never
  // more than max_article_mb.
  std::uint64_t body_bound(const PendingArticle& row);
  // A body past its bound: nothing is filed, the row goes, and the article is not asked for again in
  // this run. The rest of the body is still on its way, so the connection must go too.
  // The article, whichever connection brought it, is not asked for again in this run (one log line).
  void note_oversized(const std::string& article, const PendingArticle& row, const std::string& reply,
                      std::uint64_t bound);
  // BODY answered with a one-line refusal: the row goes.
  void body_refused(const std::string& reply, const PendingArticle& row, std::int64_t number);
  // The whole body is in the work file: filed, or dropped for its author; false when the session must end.
  bool file_received(WorkFile& work, const std::string& reply, const PendingArticle& row, const RowFields& fields);
  ArticleLoopResult give_up_oversized(const std::string& article, const PendingArticle& row,
                                      const std::string& reply, std::uint64_t bound);
  // Unknown: filed in unknown/ (or nowhere) and counted as of unknown format, not as a picture.
  enum class Disposal { Filed, Unknown, PartKept, Stop };
  // Decodes or files the work file; Stop when a picture could not be written (nothing was recorded
  // and the session must end), PartKept when it was a part of a set that is not whole yet.
  Disposal dispose(std::string& name, std::string_view row);
  // A part of a multi-part set, with collection on; `earlier` is the set's key under the older layout.
  Disposal keep_part(std::string& name, const SetIdentity& set, std::uint32_t number, const SetIdentity* earlier);
  // A part of a picture set whose slot already holds a good copy: not fetched again (a repost queued
  // in the same scan as the copy that has checked out meanwhile).
  bool already_kept(const PendingArticle& row);
  // A part of a set that is no picture: neither kept nor filed.
  Disposal leave_alone(const std::string& set_name);
  void file_unknown();
  void report_write_failure(const DecodeResult& failure);
  void complain(const std::string& message);
  void record(const std::string& reply, const std::string& name, const std::string& description);
  // `done` names an article the loop dealt with; a row skipped for this run only names none.
  void finish_row(std::optional<std::int64_t> done);
  // The pipelined loop's finish_row: the row handled may no longer be row 0.
  void finish_asked_row(const PendingArticle& row, std::int64_t done);
  void show_counts();
  // prefix, the stamp and ".TXT". Without the classic waits two articles can share a second, so a taken
  // name then gets "-N" rather than being overwritten.
  std::string filing_name(const std::string& prefix, bool unique);
  // Counts a download that lost the connection; the third of one article drops its row for this run.
  void give_up_after_repeated_breaks(const std::string& article, const PendingArticle& row, const std::string& reply);

  void log(std::string_view message, int level) { ctx_.log.log_status(message, level); }
  void show(ControlId id, const std::string& text) { ctx_.view.set_text(id, text); }
  const Settings& settings() { return settings_.get(); }

  EngineContext& ctx_;
  NewsSocket& socket_;
  DownloadPool* pool_;
  SettingsCache settings_;
  const std::function<void(std::int64_t)>& finished_;
  std::string line_;
  std::string set_progress_;  // "name: K of T parts" of the last part kept, for the pictures line
  PartSlots slots_;
  std::string slot_key_;  // the fetch key and part of the article being disposed of, when it is a part
  std::uint32_t slot_part_ = 0;
};

ArticleLoopResult ArticleLoop::disk_full() {
  if (!settings().unattended_operation)
    ctx_.dialogs.message_box("Less Than 5mb Of Disk Space Remaining", "Fennick Download Aborted", Icon::Error,
                             Buttons::Ok);
  log("Downloads Aborted, <5mb of Disk Space Remaining", 0);
  // Waiting will not free the disk: the session failed, whatever the ending says.
  ctx_.state.write_error = ENOSPC;
  ctx_.state.refusal = SessionState::kWriteFailed;
  return {Kind::OrderlyEnding, {}};
}

ArticleLoopResult ArticleLoop::stop_pressed() {
  socket_.close();
  log("User Pressed Stop Button On Screen", 0);
  return {Kind::OrderlyEnding, {}};
}

ArticleLoopResult ArticleLoop::run() {
  ctx_.decoders.set_name_waits(!settings().fast_transfers);
  if (settings().fast_transfers) return run_pipelined();
  SessionState& st = ctx_.state;
  while (!ctx_.pending.empty()) {
    show(ControlId::DownloadStatus, "");
    if (st.stop_requested.load()) {
      log("User Pressed Stop Button On Screen", 0);
      return {Kind::OrderlyEnding, {}};
    }
    if (!enough_disk_space()) return disk_full();

    WorkFile work;
    if (!open_work_file(work)) continue;
    std::optional<PendingArticle> row = ctx_.pending.front();
    if (!row) break;  // Skip Group emptied the list meanwhile
    const RowFields fields = start_article(work, *row);
    const std::string article = st.current_group() + " " + std::to_string(fields.number);
    if (st.broken_downloads(article) >= kMaxBrokenDownloads) {
      log("Skipped article " + std::to_string(fields.number) + ": given up on earlier in this run", 2);
      work.close();
      finish_row(std::nullopt);
      continue;
    }
    if (already_kept(*row)) {
      work.close();
      finish_row(fields.number);
      continue;
    }

    drain_socket(ctx_, socket_);
    const std::string number = std::to_string(fields.number);
    socket_.send_line(NntpClient::body_line(number));
    ctx_.view.article_started(fields.number);

    std::string reply;
    if (get_socket_string(ctx_, reply, kReplyCapacity, socket_) == -1) {
      give_up_after_repeated_breaks(article, *row, reply);
      return {Kind::BailOut, "Socket Rx Error 007"};
    }
    if (reply_status(reply) != 222) {
      log("Bad response to body command", 0);
      log(reply, 1);
      work.close();
      finish_row(fields.number);
      continue;
    }
    const std::uint64_t bound = body_bound(*row);
    const BodyRead body = receive_body(work, bound);
    if (body == BodyRead::TooLarge) return give_up_oversized(article, *row, reply, bound);
    if (body == BodyRead::Lost) {
      give_up_after_repeated_breaks(article, *row, reply);
      return {Kind::BailOut, "Socket Rx Error 008"};
    }

    ctx_.clock.sleep_ms(1000);
    if (std::optional<std::int64_t> left = socket_.bytes_waiting(); left && *left > 0) {
      log("EOB Detected " + std::to_string(st.article_line.load()) + " lines in msg, " +
              std::to_string(*left) + " bytes remaining",
          3);
      drain_socket(ctx_, socket_);
    }
    if (!work_file_whole(work) || !store_article(reply, *row, fields)) return {Kind::OrderlyEnding, {}};
    finish_row(fields.number);
  }
  return {Kind::ListEmpty, {}};
}

ArticleLoopResult ArticleLoop::run_pipelined() {
  SessionState& st = ctx_.state;
  const auto depth = static_cast<std::size_t>(std::clamp(settings().pipeline_depth, 1, 64));
  // Small commands go out at once rather than waiting for the replies' acknowledgements.
  const int on = 1;
  if (socket_.fd() >= 0) ::setsockopt(socket_.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::vector<PendingArticle> asked;  // rows with a BODY outstanding, in the order sent
  std::string batch;
  for (;;) {
    show(ControlId::DownloadStatus, "");
    if (st.stop_requested.load()) return stop_pressed();
    if (!enough_disk_space()) return disk_full();

    batch.clear();
    std::vector<PendingArticle> taken = asked;
    if (pool_) {
      const std::vector<PendingArticle> elsewhere = pool_->rows_in_hand();
      taken.insert(taken.end(), elsewhere.begin(), elsewhere.end());
    }
    while (asked.size() < depth) {
      std::optional<PendingArticle> next = next_row(taken);
      if (!next) break;
      batch += NntpClient::body_line(std::to_string(pending_article_number(*next)));
      taken.push_back(*next);
      asked.push_back(std::move(*next));
    }
    if (pool_) offer_to_pool(taken, depth);
    if (!batch.empty() && !socket_.send_line(batch)) return {Kind::BailOut, "Socket Rx Error 007"};
    if (asked.empty()) {
      if (!pool_ || pool_->in_hand() == 0) return {Kind::ListEmpty, {}};
      // Only the other connections have work: file theirs as it comes.
      if (std::optional<FetchedArticle> a = pool_->take(100); a && !file_fetched(*a))
        return {Kind::OrderlyEnding, {}};
      continue;
    }
    if (pool_) {
      // The others' articles are filed while this connection's reply is still on its way; after each,
      // the connection that brought it gets the next row.
      std::optional<FetchedArticle> a = pool_->take(0);
      while (!a) {
        const std::optional<std::int64_t> waiting = socket_.bytes_waiting();
        if (!waiting || *waiting > 0 || pool_->in_hand() == 0 || st.stop_requested.load()) break;
        a = pool_->take(1);
      }
      if (a) {
        if (!file_fetched(*a)) return {Kind::OrderlyEnding, {}};
        continue;
      }
      if (st.stop_requested.load()) return stop_pressed();
    }

    WorkFile work;
    if (!open_work_file(work)) continue;
    const PendingArticle row = asked.front();
    const RowFields fields = start_article(work, row);
    ctx_.view.article_started(fields.number);

    const std::string article = st.current_group() + " " + std::to_string(fields.number);
    std::string reply;
    if (get_socket_string(ctx_, reply, kReplyCapacity, socket_) == -1) {
      if (st.stop_requested.load()) return stop_pressed();
      give_up_after_repeated_breaks(article, row, reply);
      return {Kind::BailOut, "Socket Rx Error 007"};
    }
    if (reply_status(reply) != 222) {
      // A one-line refusal: the replies behind it are still in order.
      work.close();
      asked.erase(asked.begin());
      body_refused(reply, row, fields.number);
      continue;
    }
    const std::uint64_t bound = body_bound(row);
    const BodyRead body = receive_body(work, bound);
    if (body == BodyRead::TooLarge) return give_up_oversized(article, row, reply, bound);
    if (body == BodyRead::Lost) {
      if (st.stop_requested.load()) return stop_pressed();
      give_up_after_repeated_breaks(article, row, reply);
      return {Kind::BailOut, "Socket Rx Error 008"};
    }
    asked.erase(asked.begin());
    // On failure the replies still due are abandoned with the connection; their rows stay for the next
    // session.
    if (!file_received(work, reply, row, fields)) return {Kind::OrderlyEnding, {}};
  }
}

std::optional<PendingArticle> ArticleLoop::next_row(std::vector<PendingArticle>& taken) {
  SessionState& st = ctx_.state;
  for (;;) {
    std::optional<PendingArticle> next = ctx_.pending.first_not_in(taken);
    if (!next) return std::nullopt;
    const std::int64_t number = pending_article_number(*next);
    if (st.broken_downloads(st.current_group() + " " + std::to_string(number)) >= kMaxBrokenDownloads) {
      log("Skipped article " + std::to_string(number) + ": given up on earlier in this run", 2);
      ctx_.pending.remove_row(*next);
      continue;
    }
    if (already_kept(*next)) {
      if (finished_) finished_(number);
      ctx_.pending.remove_row(*next);
      continue;
    }
    return next;
  }
}

void ArticleLoop::offer_to_pool(std::vector<PendingArticle> taken, std::size_t depth) {
  // Rows without a usable message-id are left to the session's own connection, which asks by number.
  std::size_t passed = 0;
  while (pool_->live() > 0 && passed < 64) {
    std::optional<PendingArticle> next = next_row(taken);
    if (!next) return;
    taken.push_back(*next);
    std::string id = ctx_.pending.message_id(*next);
    if (id.empty()) {
      ++passed;
      continue;
    }
    const std::uint64_t bound = body_bound(*next);
    if (!pool_->offer({std::move(*next), std::move(id), bound}, depth)) return;
  }
}

bool ArticleLoop::file_fetched(FetchedArticle& a) {
  SessionState& st = ctx_.state;
  const PendingArticle& row = a.job.row;
  const std::int64_t number = pending_article_number(row);
  const std::string article = st.current_group() + " " + std::to_string(number);
  switch (a.outcome) {
    case FetchedArticle::Outcome::Returned:
      return true;  // back among the rows not asked for
    case FetchedArticle::Outcome::Lost:
      give_up_after_repeated_breaks(article, row, a.reply);
      return true;
    case FetchedArticle::Outcome::TooLarge:
      note_oversized(article, row, a.reply, a.job.bound);
      ctx_.pending.remove_row(row);
      return true;
    case FetchedArticle::Outcome::Refused:
      body_refused(a.reply, row, number);
      return true;
    case FetchedArticle::Outcome::Body:
      break;
  }
  WorkFile work;
  if (!open_work_file(work)) return true;  // asked for again
  const RowFields fields = start_article(work, row);
  ctx_.view.article_started(number);
  work.write(a.body);
  st.article_line = a.lines;
  a.body = std::string();
  return file_received(work, a.reply, row, fields);
}

bool ArticleLoop::file_received(WorkFile& work, const std::string& reply, const PendingArticle& row,
                                const RowFields& fields) {
  if (!work_file_whole(work)) return false;
  // The Bozo Bucket may have taken the author while the body was on its way.
  if (ctx_.blacklist.contains_exact(pending_author(row)))
    log("Article Dropped - Author In Bozo Bucket", 2);
  else if (!store_article(reply, row, fields))
    return false;
  finish_asked_row(row, fields.number);
  return true;
}

void ArticleLoop::body_refused(const std::string& reply, const PendingArticle& row, std::int64_t number) {
  log("Bad response to body command", 0);
  log(reply, 1);
  finish_asked_row(row, number);
}

bool ArticleLoop::enough_disk_space() {
  std::uint64_t blocks = 0, block_size = 0;
  // A query that fails (or reports no block size) cannot tell the disk is full, so it counts as
  // enough space rather than ending every session.
  if (!ctx_.disk.free_blocks(blocks, block_size) || block_size == 0) return true;
  return blocks >= kMinFreeBytes / block_size;
}

bool ArticleLoop::open_work_file(WorkFile& work) {
  if (work.open(kWorkFile)) return true;
  log("ERROR: File Open temp.uue - Write 006", 0);
  ctx_.clock.sleep_ms(1000);  // keeps the retry from spinning
  return false;
}

RowFields ArticleLoop::start_article(WorkFile& work, const PendingArticle& row) {
  SessionState& st = ctx_.state;
  work.write_line(row);
  work.write_line("");
  log(row, 2);
  const RowFields fields = split_row(row);
  st.article_line = 0;
  st.article_lines = fields.lines;
  return fields;
}

bool ArticleLoop::work_file_whole(WorkFile& work) {
  if (work.close()) return true;
  const std::string text = "ERROR: File Write temp.uue - Write 006";
  log(text, 0);
  show(ControlId::DownloadStatus, text);
  // The half-written body must not linger on a full disk; the row stays for the next session.
  ::unlink(kWorkFile);
  ctx_.state.write_error = work.error();
  ctx_.state.refusal = SessionState::kWriteFailed;
  return false;
}

bool ArticleLoop::store_article(const std::string& reply, std::string_view row, const RowFields& fields) {
  std::string name;
  const Disposal done = dispose(name, row);
  if (done == Disposal::Stop) return false;
  if (done == Disposal::Filed) {
    ++ctx_.state.archive_pic_count;
    ++ctx_.state.pictures_downloaded;
  }
  record(reply, name, fields.description);
  return true;
}

std::uint64_t ArticleLoop::body_bound(const PendingArticle& row) {
  constexpr std::uint64_t kMiB = 1 << 20;
  const std::uint64_t limit = static_cast<std::uint64_t>(std::clamp(settings().max_article_mb, 1, 4096)) * kMiB;
  const std::uint64_t declared = ctx_.pending.declared_bytes(row);
  if (declared == 0 || declared > limit) return limit;
  return std::min(limit, 2 * declared + kMiB);
}

ArticleLoopResult ArticleLoop::give_up_oversized(const std::string& article, const PendingArticle& row,
                                                 const std::string& reply, std::uint64_t bound) {
  ::unlink(kWorkFile);
  note_oversized(article, row, reply, bound);
  if (settings().fast_transfers)
    ctx_.pending.remove_row(row);
  else
    ctx_.pending.remove(0, row);
  return {Kind::BailOut, {}};
}

void ArticleLoop::note_oversized(const std::string& article, const PendingArticle& row, const std::string& reply,
                                 std::uint64_t bound) {
  ctx_.state.give_up_download(article);
  log("Gave up on article " + article + " " + reply_message_id(reply).value_or("<unknown id>") +
          ": its body passed its bound of " + std::to_string(bound) + " bytes: " + std::string(pending_subject(row)),
      0);
}

BodyRead ArticleLoop::receive_body(WorkFile& work, std::uint64_t bound) {
  SessionState& st = ctx_.state;
  return read_body(ctx_, socket_, line_, bound, [&](std::string_view text, bool ends_line, int length) {
    if (!socket_.compressing()) st.byte_count += length;
    if (ends_line) {
      work.write_line(text);
      ++st.article_line;
    } else {
      work.write(text);
    }
  });
}

std::string ArticleLoop::filing_name(const std::string& prefix, bool unique) {
  const std::string stem = prefix + filing_stamp(ctx_.clock.now());
  std::string name = stem + ".TXT";
  for (int n = 1; unique && ::access(name.c_str(), F_OK) == 0; ++n) name = stem + "-" + std::to_string(n) + ".TXT";
  return name;
}

void ArticleLoop::complain(const std::string& message) {
  if (settings().sound_on) ctx_.dialogs.beep(Beep::Exclamation);
  show(ControlId::DownloadStatus, message);
  log(message, 3);
}

ArticleLoop::Disposal ArticleLoop::dispose(std::string& name, std::string_view row) {
  SessionState& st = ctx_.state;
  const Settings& s = settings();
  set_progress_.clear();
  if (s.check_minlines && st.article_line.load() <= s.minlines) {
    log("Article Discarded - Too Few Lines", 0);
    return Disposal::Filed;
  }
  if (!s.check_decode) {
    name = filing_name("raw/R", s.fast_transfers != 0);
    log(name, 3);
    if (::rename(kWorkFile, name.c_str()) != 0) log("ERROR: File Rename temp.uue to " + name, 0);
    if (!s.fast_transfers) ctx_.clock.sleep_ms(1000);
    return Disposal::Filed;
  }
  slot_key_.clear();
  if (s.collect_multipart) {
    const std::optional<PartSubject> part = parse_part_subject(pending_subject(row));
    const std::string_view author = trim(pending_author(row));
    if (part) {
      slot_key_ = part_fetch_key(st.current_group(), author, *part);
      slot_part_ = part->part;
    }
    YencInfo y;
    if (ctx_.decoders.yenc_header(kWorkFile, y) && y.is_part_of_set() && y.size && *y.size > 0) {
      // The data names the set: its name, size and byte ranges decide, not the subject.
      std::string set_name = y.file_name();
      if (set_name.empty() && part) set_name = std::string(part->name);
      if (!is_picture_name(set_name)) return leave_alone(set_name);
      SetIdentity set{st.current_group(), std::string(author), set_name, 0, *y.size};
      if (y.total && *y.total <= 100000) set.total = static_cast<std::uint32_t>(*y.total);
      else if (part) set.total = part->total;
      std::optional<SetIdentity> earlier;
      if (part) earlier = SetIdentity{st.current_group(), std::string(author), std::string(part->name), part->total};
      const auto number = static_cast<std::uint32_t>(std::min<std::uint64_t>(*y.part, 100000));
      return keep_part(name, set, number, earlier ? &*earlier : nullptr);
    }
    if (part && !ctx_.decoders.yenc_claims(kWorkFile)) {
      if (!is_picture_name(part->name)) return leave_alone(std::string(part->name));
      const SetIdentity set{st.current_group(), std::string(author), std::string(part->name), part->total};
      return keep_part(name, set, part->part, nullptr);
    }
  }
  const std::string group = st.current_group();
  bool tried = false;
  for (Decoder* decoder : ctx_.decoders.family()) {
    if (!decoder->claims(kWorkFile)) continue;
    if (tried && !decoder->trying_line().empty()) log(decoder->trying_line(), 3);
    tried = true;
    DecodeResult r = decoder->decode(kWorkFile, group);
    // A short uudecoded file keeps its name even when the next decoder finds nothing.
    if (!r.name.empty()) name = r.name;
    switch (r.status) {
      case DecodeStatus::Decoded:
        if (decoder->counts_as_base64()) ++st.base64_count;
        return Disposal::Filed;
      case DecodeStatus::WriteFailed:
        report_write_failure(r);
        return Disposal::Stop;
      case DecodeStatus::NotPicture:
        name.clear();
        ++st.unknown_format_count;
        return Disposal::Unknown;
      case DecodeStatus::PartOfSet:
        if (!is_picture_name(r.yenc.file_name())) {
          // Archives and the like are no business of a picture harvester: left alone, not filed.
          name.clear();
          log("Part of " + r.yenc.file_name() + " left alone: not a picture", 3);
          return Disposal::Unknown;
        }
        [[fallthrough]];
      case DecodeStatus::Damaged:
        complain(r.message);
        file_unknown();
        return Disposal::Unknown;
      case DecodeStatus::Failed:
        complain(r.message);
        break;
    }
  }
  file_unknown();
  // A decoder that filed something under pictures/ on the way (a nameless base64 picture, a short
  // uudecoded file) still counts it.
  return name.empty() ? Disposal::Unknown : Disposal::Filed;
}

bool ArticleLoop::already_kept(const PendingArticle& row) {
  if (!settings().collect_multipart) return false;
  const std::optional<PartSubject> part = parse_part_subject(pending_subject(row));
  if (!part || !is_picture_name(part->name)) return false;
  const std::string group = ctx_.state.current_group();
  if (!slots_.holds(group, part_fetch_key(group, trim(pending_author(row)), *part), part->part)) return false;
  log("Part " + std::to_string(part->part) + " of " + std::string(part->name) + " already kept: not fetched again", 2);
  ctx_.state.duplicates_skipped.fetch_add(1, std::memory_order_relaxed);
  return true;
}

ArticleLoop::Disposal ArticleLoop::leave_alone(const std::string& set_name) {
  log("Part of " + set_name + " left alone: not a picture", 3);
  return Disposal::Unknown;
}

ArticleLoop::Disposal ArticleLoop::keep_part(std::string& name, const SetIdentity& set, std::uint32_t number,
                                             const SetIdentity* earlier) {
  SessionState& st = ctx_.state;
  PartsStore store(ctx_.log, ctx_.clock, ctx_.decoders);
  const PartSubject part{set.name, number, set.total};
  const bool fast = settings().fast_transfers != 0;
  const std::string unknown = filing_name("unknown/WTF", fast);
  PartOutcome r = store.keep(kWorkFile, set, part.part, unknown, earlier);
  // Only a copy that checked out fills its slot; a damaged one leaves it for a later posting.
  if (!slot_key_.empty() && (r.kind == PartOutcome::Kind::Kept || r.kind == PartOutcome::Kind::Duplicate ||
                             r.kind == PartOutcome::Kind::Completed) &&
      !slots_.mark(st.current_group(), slot_key_, slot_part_))
    log("ERROR: could not record part " + std::to_string(slot_part_) + " of " + set.name +
            " as kept; a repost of it may be fetched again",
        0);
  const std::string progress =
      set.name + ": " + std::to_string(r.have) + " of " + (r.total ? std::to_string(r.total) : "?") + " parts";
  switch (r.kind) {
    case PartOutcome::Kind::Kept:
    case PartOutcome::Kind::Duplicate:
      log("Part " + std::to_string(part.part) + " of " + progress + " kept", 3);
      set_progress_ = progress;
      show(ControlId::DownloadStatus, progress);
      return Disposal::PartKept;
    case PartOutcome::Kind::Discarded:
      log("Part " + std::to_string(part.part) + " of " + set.name + " discarded: the set was given up", 3);
      return Disposal::PartKept;
    case PartOutcome::Kind::Broken:
      complain(r.message);
      if (!fast) ctx_.clock.sleep_ms(1200);  // keeps the next unknown/ stamp distinct
      ++st.unknown_format_count;
      return Disposal::PartKept;
    case PartOutcome::Kind::WriteFailed:
      report_write_failure(r.failure);
      return Disposal::Stop;
    case PartOutcome::Kind::Rejected:
      // The damaged copy is kept for inspection; the set waits for a good one.
      complain(r.message);
      file_unknown();
      return Disposal::Unknown;
    case PartOutcome::Kind::Completed:
      break;
  }
  if (r.not_picture) {
    log("Multi-part set " + set.name + " is no picture... filed in unknown/" + r.name, 3);
    ++st.unknown_format_count;
    return Disposal::Unknown;
  }
  name = r.name;
  show(ControlId::DownloadStatus, set.name + ": all " + std::to_string(r.have) + " parts, saved as " + r.name);
  return Disposal::Filed;
}

void ArticleLoop::file_unknown() {
  const bool fast = settings().fast_transfers != 0;
  const std::string unknown = filing_name("unknown/WTF", fast);
  log(unknown, 3);
  MOVEFILE(kWorkFile, unknown, ctx_.log);
  if (!fast) ctx_.clock.sleep_ms(1200);
  ++ctx_.state.unknown_format_count;
}

void ArticleLoop::report_write_failure(const DecodeResult& failure) {
  const bool full = failure.error == ENOSPC || failure.error == EDQUOT;
  const std::string text = full ? "Downloads Aborted, the disk is full: could not write " + failure.failed_path
                                : "Downloads Aborted, could not write " + failure.failed_path + ": " +
                                      std::strerror(failure.error);
  log(text, 0);
  show(ControlId::DownloadStatus, text);
  ctx_.state.write_error = failure.error;
  ctx_.state.refusal = SessionState::kWriteFailed;
  if (!settings().unattended_operation)
    ctx_.dialogs.message_box(text, "Fennick Download Aborted", Icon::Error, Buttons::Ok);
}

void ArticleLoop::record(const std::string& reply, const std::string& name, const std::string& description) {
  SessionState& st = ctx_.state;
  const Settings& s = settings();
  if (std::optional<std::string> id = reply_message_id(reply)) st.set_message_id(std::move(*id));
  if (!ctx_.article_ids.add_at_top(st.message_id(), s.max_history))
    log("ERROR: File Open history.fnk - Append 007", 0);
  if (name.empty()) return;

  if (!ctx_.filenames.add_at_top(name, s.max_filenames))
    log("ERROR: File Open filenames.fnk - Append 008", 0);
  // The extension test reads the lower-cased path; the file itself keeps its real name.
  const std::string path = picture_path(st.current_group(), name);
  const std::string lowered = to_lower(path);
  if (s.display_as_downloaded &&
      (lowered.find(".jpg") != std::string::npos || lowered.find(".gif") != std::string::npos) &&
      !ctx_.dialogs.open_with_viewer(path))
    log("Could Not Display File... No System Association for File Type", 0);
  if (s.files_logging_enabled && !ctx_.files_log.append(name, measured_file_size(path), description))
    log("ERROR: File Open files.log - Append 009", 0);
}

void ArticleLoop::give_up_after_repeated_breaks(const std::string& article, const PendingArticle& row,
                                                const std::string& reply) {
  // A STOP also ends the read; that is no fault of the article.
  if (ctx_.state.stop_requested.load() != 0) return;
  if (ctx_.state.note_broken_download(article) < kMaxBrokenDownloads) return;
  // Not recorded in the history: a later run may try it again.
  std::string text = "Gave up on article " + article + " " + reply_message_id(reply).value_or("<unknown id>") +
                     " after the connection broke " + std::to_string(kMaxBrokenDownloads) +
                     " times while fetching it: " + std::string(pending_subject(row));
  log(text, 0);
  // The pipelined loop fetches ahead, so its row need not be row 0 any more.
  if (settings().fast_transfers)
    ctx_.pending.remove_row(row);
  else
    ctx_.pending.remove(0, row);
}

void ArticleLoop::finish_row(std::optional<std::int64_t> done) {
  if (finished_ && done) finished_(*done);
  // Row 0 goes even when it is no longer the article just fetched: the window's commands may have
  // changed the list meanwhile.
  ctx_.pending.remove_front();
  show_counts();
}

void ArticleLoop::finish_asked_row(const PendingArticle& row, std::int64_t done) {
  if (finished_) finished_(done);
  // The row may have gone from the list meanwhile (removed, Skip Group): the article counts anyway.
  ctx_.pending.remove_row(row);
  show_counts();
}

void ArticleLoop::show_counts() {
  SessionState& st = ctx_.state;
  show(ControlId::PendingBox, "  " + std::to_string(ctx_.pending.count()) + " Pending Downloads");
  ctx_.view.counters_changed({st.pictures_downloaded.load(), st.articles_examined.load(), st.duplicates_skipped.load(),
                              st.base64_count.load(), st.unknown_format_count.load(), set_progress_});
}

}  // namespace

std::string filing_stamp(std::int64_t seconds_since_1970) {
  char buf[24];
  std::snprintf(
      buf, sizeof buf, "%08llX",
      static_cast<unsigned long long>(static_cast<std::uint64_t>(seconds_since_1970 - kStampEpoch)));
  return buf;
}

ArticleLoopResult run_article_loop(EngineContext& ctx, NewsSocket& socket,
                                   const std::function<void(std::int64_t)>& finished, DownloadPool* pool) {
  ArticleLoop loop(ctx, socket, finished, ctx.settings.get().fast_transfers ? pool : nullptr);
  return loop.run();
}

}  // namespace fk
