// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Article selection of the overview scan: the overview-line split, the age test, file names in
// subjects, the verdict lines, and ArticleSelector, which runs the chain of tests on one line.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "decode/part_slots.h"
#include "session/context.h"

namespace fk {

class StatusLog;

// Cuts of the overview fields. The article number keeps 20 characters, enough for any 64-bit
// number: cut to 9 it would name a different article once the group passes 999,999,999.
inline constexpr std::size_t kNumberCut = 20;
inline constexpr std::size_t kSubjectCut = 249;
inline constexpr std::size_t kAuthorCut = 39;
inline constexpr std::size_t kMessageIdCut = 49;
inline constexpr std::size_t kLineCountCut = 9;

// The fields of one overview line, as views into it (tab-separated, empty fields count). The line
// ends at its first NUL byte, as it did for the line buffer. Fields missing from a short line are
// empty; has_date tells a missing date field from an empty one.
struct OverviewLine {
  std::string_view number;      // field 1, at most kNumberCut characters
  std::string_view subject;     // field 2, at most kSubjectCut characters
  std::string_view author;      // field 3, at most kAuthorCut characters
  std::string_view date;        // field 4, whole
  std::string_view message_id;  // field 5, at most kMessageIdCut characters
  std::string_view byte_count;  // field 7, whole
  std::string_view line_count;  // field 8, at most kLineCountCut characters
  std::string_view whole_subject;  // fields 2 and 3 uncut
  std::string_view whole_author;
  std::string_view whole_message_id;
  bool has_date = false;
  bool subject_cut = false;  // the subject was longer than kSubjectCut and has been cut
};
OverviewLine split_overview_line(std::string_view line);

// The number at the start of a text, as atoi reads it (white space, sign, digits; 0 without digits),
// saturated instead of overflowing.
std::int64_t leading_number(std::string_view text);

// A date of the two recognised forms, "1 Sep 97 12:00:00 ..." and "Mon, 1 Sep 1997 12:00:00 ...".
struct ArticleDate {
  std::int64_t day = 0;
  std::string_view month;  // up to three characters of the parsed text, not checked here
  std::int64_t year = 0;   // below 1900 already has 1900 added
};
// Empty when the text does not yield every value of its form.
std::optional<ArticleDate> parse_article_date(std::string_view date);

// True when the date is max_days or more days before today (local calendar), counting 365.25 days a
// year from the day table; false for an unknown month name.
bool is_too_old(std::int64_t day, std::string_view month, std::int64_t year, std::int32_t max_days,
                const std::tm& today);

// The first plausible file name in the subject (name characters, a dot, three letters), as a view
// into subject; empty when there is none. A name over 255 characters logs an error to `log` (when
// given) and gives the empty result.
std::string_view ExtractFilename(std::string_view subject, const StatusLog* log);

// The file name a subject gives: the quoted name when it has one; else the last blank-delimited word,
// brackets and punctuation around it stripped, that ends in a known extension; else ExtractFilename's
// name. A view into subject; empty when there is none.
std::string_view subject_file_name(std::string_view subject);

// The last "(K/T)" or "[K/T]" counter of a subject.
struct SubjectCounter {
  std::uint32_t part = 0, total = 0;
};
std::optional<SubjectCounter> subject_counter(std::string_view subject);

// One article of a picture posted in several: the subject's file name and its last counter, which must
// have 1 <= K <= T and T > 1.
struct PartSubject {
  std::string_view name;  // a view into the subject
  std::uint32_t part = 0, total = 0;
};
std::optional<PartSubject> parse_part_subject(std::string_view subject);

// What decides whether a part is fetched: group, author, subject name and part count, one text.
std::string part_fetch_key(std::string_view group, std::string_view author, const PartSubject& part);

// Writes "tag value <subject>" at level 2 when detailed logging is on; nothing otherwise.
void log_selection(const StatusLog& log, bool detailed, std::string_view tag, std::string_view value,
                   std::string_view subject);

// What examine() decided, in the order the tests run.
enum class Verdict {
  Accepted,
  ExceedsLimit,
  Blacklisted,
  TooOld,
  TooFewLines,
  TooManyLines,
  Filter1,
  Filter2,
  Filter3,
  DuplicateArticleId,
  DuplicateFile,
  DuplicatePosting,
};

// One group's overview scan, one line at a time. The caller sends XOVER, checks the reply, watches
// for STOP and the terminator, and hands every other line to examine().
class ArticleSelector {
 public:
  ArticleSelector(EngineContext& ctx, std::string group, std::int64_t first, std::int64_t last);

  // Counts the line, shows its number and progress, runs the eleven tests against the current
  // settings and history lists, and appends an accepted article to the pending queue.
  Verdict examine(std::string_view overview_line);
  // Articles this scan has accepted.
  std::uint32_t selected() const { return selected_; }

 private:
  Verdict reject(Verdict verdict, bool detailed, std::string_view tag, std::string_view value,
                 std::string_view subject);
  Verdict accept(const OverviewLine& fields, std::string_view subject, std::string_view author, bool detailed);
  const std::tm& today();

  EngineContext& ctx_;
  SettingsCache settings_;
  std::string group_;
  std::int64_t first_;
  std::int64_t last_;
  std::uint32_t selected_ = 0;
  // Reused from line to line so that a rejected line costs no allocation.
  std::string lowered_subject_;
  std::string decoded_subject_, decoded_author_;
  std::int64_t today_stamp_ = -1;
  std::tm today_{};
  PartSlots part_slots_;  // read once per scan, when its first picture part is examined
};

}  // namespace fk
