// SPDX-License-Identifier: GPL-3.0-or-later
// The chain of tests that picks articles from a group's overview lines.
#include "session/article_selection.h"

#include <limits>
#include <utility>

#include "decode/paths.h"
#include "session/wildmat.h"
#include "store/header_text.h"
#include "store/status_log.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::size_t kNone = std::string_view::npos;
constexpr std::size_t kMaxFilename = 255;
constexpr std::int64_t kSaturate = 1'000'000'000'000'000'000;

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr std::string_view kMonthNames[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};

// Characters a file name may hold: no space, no dot, no "&", no "+".
inline bool is_name_char(char c) {
  constexpr std::string_view kPunctuation = "!#$%'()-@_`{}~";
  return is_alnum(c) || (c != '\0' && kPunctuation.find(c) != std::string_view::npos);
}

// Reads a text the way sscanf reads "%d" and "%3s" and literal characters.
class Scanner {
 public:
  explicit Scanner(std::string_view s) : s_(s) {}

  bool number(std::int64_t& out) {
    const LeadingNumber n = read_decimal(s_.substr(i_), NumberForm::Signed);
    if (!n.found) return false;
    out = n.capped(kSaturate);
    i_ += n.end;
    return true;
  }
  bool word3(std::string_view& out) {
    skip_space();
    std::size_t j = i_;
    while (j < s_.size() && j - i_ < 3 && !is_space(s_[j])) ++j;
    if (j == i_) return false;
    out = s_.substr(i_, j - i_);
    i_ = j;
    return true;
  }
  bool literal(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

 private:
  void skip_space() {
    while (i_ < s_.size() && is_space(s_[i_])) ++i_;
  }
  std::string_view s_;
  std::size_t i_ = 0;
};

std::string_view cut(std::string_view s, std::size_t n) {
  return s.size() > n ? s.substr(0, n) : s;
}

// (number - first) * 100 / (last - first) for last > first, kept within the bar's 0..100 and exact
// over the whole 64-bit range.
int progress_percent(std::int64_t number, std::int64_t first, std::int64_t last) {
  if (number <= first) return 0;
  if (number >= last) return 100;
  __extension__ using Wide = unsigned __int128;
  Wide done = static_cast<Wide>(static_cast<std::uint64_t>(number) - static_cast<std::uint64_t>(first));
  Wide range = static_cast<Wide>(static_cast<std::uint64_t>(last) - static_cast<std::uint64_t>(first));
  return static_cast<int>(done * 100 / range);
}

}  // namespace

OverviewLine split_overview_line(std::string_view line) {
  if (std::size_t nul = line.find('\0'); nul != kNone) line = line.substr(0, nul);
  OverviewLine out;
  std::size_t start = 0;
  for (int field = 1; field <= 8; ++field) {
    std::size_t tab = line.find('\t', start);
    std::string_view text = line.substr(start, tab == kNone ? kNone : tab - start);
    switch (field) {
      case 1:
        out.number = cut(text, kNumberCut);
        break;
      case 2:
        out.whole_subject = text;
        out.subject_cut = text.size() > kSubjectCut;
        out.subject = cut(text, kSubjectCut);
        break;
      case 3:
        out.whole_author = text;
        out.author = cut(text, kAuthorCut);
        break;
      case 4:
        out.date = text;
        out.has_date = true;
        break;
      case 5:
        out.whole_message_id = text;
        out.message_id = cut(text, kMessageIdCut);
        break;
      case 7:
        out.byte_count = text;
        break;
      case 8:
        out.line_count = cut(text, kLineCountCut);
        break;
      default:
        break;
    }
    if (tab == kNone) break;
    start = tab + 1;
  }
  return out;
}

std::int64_t leading_number(std::string_view text) {
  std::int64_t v = 0;
  Scanner(text).number(v);
  return v;
}

std::optional<ArticleDate> parse_article_date(std::string_view date) {
  ArticleDate d;
  std::int64_t hour = 0, minute = 0, second = 0;
  Scanner in(date);
  bool ok;
  if (!date.empty() && is_digit(date.front())) {
    ok = in.number(d.day) && in.word3(d.month) && in.number(d.year) && in.number(hour) && in.literal(':') &&
         in.number(minute) && in.literal(':') && in.number(second);
  } else {
    std::string_view weekday;
    ok = in.word3(weekday) && in.literal(',') && in.number(d.day) && in.word3(d.month) && in.number(d.year) &&
         in.number(hour) && in.literal(':') && in.number(minute) && in.literal(':') && in.number(second);
  }
  if (!ok) return std::nullopt;
  if (d.year < 1900) d.year += 1900;
  return d;
}

bool is_too_old(std::int64_t day, std::string_view month, std::int64_t year, std::int32_t max_days,
                const std::tm& today) {
  int m = -1;
  for (int i = 0; i < 12; ++i)
    if (iequals(month, kMonthNames[i])) m = i;
  if (m < 0) return false;
  int today_month = (today.tm_mon % 12 + 12) % 12;
  double today_number = kDaysBeforeMonth[today_month] + today.tm_mday + 365.25 * today.tm_year;
  double article_number =
      kDaysBeforeMonth[m] + static_cast<double>(day) + 365.25 * static_cast<double>(year - 1900);
  return static_cast<double>(max_days) <= today_number - article_number;
}

std::string_view ExtractFilename(std::string_view subject, const StatusLog* log) {
  // Dots passed over cannot be part of a later name (a dot is no name character), so the subject
  // itself serves as the working copy and the result is a view into it.
  for (std::size_t dot = subject.find('.'); dot != kNone; dot = subject.find('.', dot + 1)) {
    if (subject.size() - dot - 1 < 3) return {};
    if (!is_letter(subject[dot + 1]) || !is_letter(subject[dot + 2]) || !is_letter(subject[dot + 3]))
      continue;
    std::size_t begin = dot;
    while (begin > 0 && is_name_char(subject[begin - 1])) --begin;
    if (begin == dot) continue;
    std::size_t length = dot - begin + 4;
    if (length > kMaxFilename) {
      if (log) log->log_status("ExtractFilename() error.. too long", 0);
      return {};
    }
    return subject.substr(begin, length);
  }
  return {};
}

std::string_view subject_file_name(std::string_view subject) {
  // The first quoted text that holds more than blanks.
  for (std::size_t open = subject.find('"'); open != kNone;) {
    const std::size_t close = subject.find('"', open + 1);
    if (close == kNone) break;
    const std::string_view quoted = trim(subject.substr(open + 1, close - open - 1));
    if (!quoted.empty() && quoted.size() <= kMaxFilename) return quoted;
    open = subject.find('"', close + 1);
  }
  std::string_view found;
  for (std::size_t at = 0; at < subject.size();) {
    while (at < subject.size() && is_space(subject[at])) ++at;
    std::size_t end = at;
    while (end < subject.size() && !is_space(subject[end])) ++end;
    std::string_view word = subject.substr(at, end - at);
    at = end;
    constexpr std::string_view kAround = "[](){}<>\"'`,;:!?*|";
    while (!word.empty() && kAround.find(word.front()) != kNone) word.remove_prefix(1);
    while (!word.empty() && (kAround.find(word.back()) != kNone || word.back() == '.')) word.remove_suffix(1);
    if (!word.empty() && word.size() <= kMaxFilename && has_known_extension(word)) found = word;
  }
  if (!found.empty()) return found;
  // The older rule, but only for a name that ends where it seems to: "www.site.com" is no "www.sit".
  for (std::string_view rest = subject;;) {
    const std::string_view name = ExtractFilename(rest, nullptr);
    if (name.empty()) return {};
    const std::size_t end = static_cast<std::size_t>(name.data() - subject.data()) + name.size();
    if (end == subject.size() || !(is_alnum(subject[end]) || subject[end] == '.')) return trim(name);
    std::size_t next = end;
    while (next < subject.size() && (is_name_char(subject[next]) || subject[next] == '.')) ++next;
    rest = subject.substr(next);
  }
}

std::optional<SubjectCounter> subject_counter(std::string_view subject) {
  // Only the last counter counts: a set's own "[03/10]" numbering of posts comes before the part's.
  std::optional<std::pair<std::int64_t, std::int64_t>> last;
  for (std::size_t open = subject.find_first_of("(["); open != kNone;
       open = subject.find_first_of("([", open + 1)) {
    const char close = subject[open] == '(' ? ')' : ']';
    std::size_t i = open + 1;
    auto digits = [&](std::int64_t& v) {
      const LeadingNumber n = read_decimal(subject.substr(i), NumberForm::Digits);
      v = n.capped(kSaturate);
      i += n.end;
      return n.found;
    };
    std::int64_t k = 0, t = 0;
    if (!digits(k) || i >= subject.size() || subject[i++] != '/' || !digits(t) || i >= subject.size() ||
        subject[i] != close)
      continue;
    last = {k, t};
  }
  if (!last || last->first < 0 || last->second < 0 || last->first > 100000 || last->second > 100000)
    return std::nullopt;
  return SubjectCounter{static_cast<std::uint32_t>(last->first), static_cast<std::uint32_t>(last->second)};
}

std::optional<PartSubject> parse_part_subject(std::string_view subject) {
  const std::optional<SubjectCounter> counter = subject_counter(subject);
  if (!counter || counter->part < 1 || counter->total < 2 || counter->part > counter->total) return std::nullopt;
  const std::string_view name = subject_file_name(subject);
  if (name.empty()) return std::nullopt;
  return PartSubject{name, counter->part, counter->total};
}

std::string part_fetch_key(std::string_view group, std::string_view author, const PartSubject& part) {
  std::string key;
  key.append(group).append("\t").append(trim(author)).append("\t").append(part.name).append("\t");
  key.append(std::to_string(part.total));
  return key;
}

void log_selection(const StatusLog& log, bool detailed, std::string_view tag, std::string_view value,
                   std::string_view subject) {
  if (!detailed) return;
  std::string line;
  line.reserve(tag.size() + value.size() + subject.size() + 4);
  line.append(tag).append(" ").append(value).append(" <").append(subject).append(">");
  log.log_status(line, 2);
}

ArticleSelector::ArticleSelector(EngineContext& ctx, std::string group, std::int64_t first, std::int64_t last)
    : ctx_(ctx), settings_(ctx.settings), group_(std::move(group)), first_(first), last_(last) {
  lowered_subject_.reserve(kSubjectCut);
}

const std::tm& ArticleSelector::today() {
  // Local time is worth computing again only when the clock has moved on.
  std::int64_t now = ctx_.clock.now();
  if (now != today_stamp_) {
    today_ = ctx_.clock.local_now();
    today_stamp_ = now;
  }
  return today_;
}

Verdict ArticleSelector::reject(Verdict verdict, bool detailed, std::string_view tag, std::string_view value,
                                std::string_view subject) {
  if (verdict == Verdict::DuplicateArticleId || verdict == Verdict::DuplicateFile ||
      verdict == Verdict::DuplicatePosting)
    ctx_.state.duplicates_skipped.fetch_add(1, std::memory_order_relaxed);
  log_selection(ctx_.log, detailed, tag, value, subject);
  return verdict;
}

Verdict ArticleSelector::examine(std::string_view overview_line) {
  const Settings& s = settings_.get();
  const bool detailed = s.detailed_status_logging_enabled != 0;

  ctx_.state.articles_examined.fetch_add(1, std::memory_order_relaxed);
  ctx_.state.archive_tot_articles.fetch_add(1, std::memory_order_relaxed);

  const OverviewLine f = split_overview_line(overview_line);
  ctx_.view.overview_checking(f.number);
  if (last_ > first_)
    ctx_.view.set_progress(ControlId::ArticleProgress,
                           progress_percent(leading_number(f.number), first_, last_));
  // Encoded words are read as the poster meant them before any test sees the texts.
  std::string_view subject = f.subject, author = trim(f.author);
  const std::string_view raw_author = author;
  decoded_subject_.clear();
  if (has_encoded_words(f.whole_subject)) {
    decoded_subject_ = decode_encoded_words(f.whole_subject);
    subject = cut_utf8(decoded_subject_, kSubjectCut);
  }
  if (has_encoded_words(f.whole_author)) {
    decoded_author_ = decode_encoded_words(f.whole_author);
    author = trim(cut_utf8(decoded_author_, kAuthorCut));
  }
  if (decoded_subject_.empty() ? f.subject_cut : subject.size() < decoded_subject_.size())
    ctx_.log.log_status("Subject Too Long (>250 char)", 2);

  if (selected_ >= s.max_art_per_grp)
    return reject(Verdict::ExceedsLimit, detailed, "EXCEEDS ", "MAX_ART_PER_GRP: ", subject);

  // Entries written before encoded authors were decoded hold the raw form.
  if (ctx_.blacklist.contains_exact(author) || (raw_author != author && ctx_.blacklist.contains_exact(raw_author)))
    return reject(Verdict::Blacklisted, detailed, "BLACKLISTED AUTHOR: ", detailed ? to_lower(author) : "",
                  subject);

  // A line that ends before its date is not an unreadable date.
  if (f.has_date) {
    if (auto date = parse_article_date(f.date)) {
      if (s.check_date != 0 && is_too_old(date->day, date->month, date->year, s.max_days, today()))
        return reject(Verdict::TooOld, detailed, "TOO OLD:", f.date, subject);
    } else {
      ctx_.log.log_status("UNKNOWN ARTICLE DATE FORMAT...", 0);
      ctx_.log.log_status(f.date, 1);
    }
  }

  const auto lines = static_cast<std::uint32_t>(leading_number(f.line_count));
  if (s.check_minlines != 0 && lines < s.minlines)
    return reject(Verdict::TooFewLines, detailed, "TOO FEW LINES:", detailed ? std::to_string(lines) : "",
                  subject);
  if (s.check_maxlines != 0 && lines > s.maxlines)
    return reject(Verdict::TooManyLines, detailed, "TOO MANY LINES:", detailed ? std::to_string(lines) : "",
                  subject);

  if (s.check_subject != 0 && !(s.filter1.empty() && s.filter2.empty() && s.filter3.empty())) {
    lowered_subject_.assign(subject);
    for (char& c : lowered_subject_) c = ascii_lower(c);
    if (!s.filter1.empty() && !match_filter_lowered(lowered_subject_, s.filter1))
      return reject(Verdict::Filter1, detailed, "DOESNT CONTAIN:", s.filter1, subject);
    if (!s.filter2.empty() && !match_filter_lowered(lowered_subject_, s.filter2))
      return reject(Verdict::Filter2, detailed, "DOESNT CONTAIN:", s.filter2, subject);
    if (!s.filter3.empty() && match_filter_lowered(lowered_subject_, s.filter3))
      return reject(Verdict::Filter3, detailed, "MUST NOT CONTAIN:", s.filter3, subject);
  }

  if (ctx_.article_ids.contains_prefix(f.message_id))
    return reject(Verdict::DuplicateArticleId, detailed, "DUPLICATE ARTICLE ID:", f.message_id, subject);

  const std::optional<PartSubject> part = parse_part_subject(subject);
  if (const std::string_view name = subject_file_name(subject); !name.empty()) {
    if (detailed) ctx_.log.log_status(name, 4);
    if (ctx_.filenames.contains_exact(name))
      return reject(Verdict::DuplicateFile, detailed, "DUPLICATE FILE", name, subject);
  }

  // A part whose earlier copy checked out is not fetched again; a later posting of one whose copy
  // failed may be the good copy, so the duplicate-subject test never blocks a picture part.
  const bool picture_part = part && is_picture_name(part->name);
  if (picture_part && s.collect_multipart != 0 &&
      part_slots_.holds(group_, part_fetch_key(group_, author, *part), part->part))
    return reject(Verdict::DuplicatePosting, detailed, "PART ALREADY KEPT: ", author, subject);
  if (!picture_part && ctx_.pending.has_subject_prefix(subject))
    return reject(Verdict::DuplicatePosting, detailed, "DUPLICATE POSTING", author, subject);

  return accept(f, subject, author, detailed);
}

Verdict ArticleSelector::accept(const OverviewLine& f, std::string_view subject, std::string_view author,
                                bool detailed) {
  ++selected_;
  // Rows are kept whole; the four fields stay tab-separated for the download loop.
  PendingArticle row;
  row.reserve(f.number.size() + author.size() + f.line_count.size() + subject.size() + 3);
  row.append(f.number)
      .append("\t")
      .append(author == trim(f.author) ? f.author : author)
      .append("\t")
      .append(f.line_count)
      .append("\t")
      .append(subject);
  log_selection(ctx_.log, detailed, "SUCCESS: ", "ADDED: ", row);
  if (const std::int64_t bytes = leading_number(f.byte_count); bytes > 0)
    ctx_.pending.note_declared_bytes(row, static_cast<std::uint64_t>(bytes));
  ctx_.pending.note_message_id(row, f.whole_message_id);
  ctx_.pending.append(std::move(row));
  ctx_.view.pending_counted(group_, ctx_.pending.count());
  return Verdict::Accepted;
}

}  // namespace fk
