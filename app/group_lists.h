// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The news groups dialog's list operations on GroupLists, without a display.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/newsrc.h"

namespace fk {

class Clock;
class Dialogs;
struct SessionState;

// Case-insensitive order of the unsubscribed list, the same as insert_sorted's.
bool group_name_less(const std::string& a, const std::string& b);

// Moves the unsubscribed entries at `selected` (positions in any order; duplicates and positions past
// the end are ignored) to the end of the subscribed list in ascending position order. Returns how many
// moved.
std::size_t subscribe(GroupLists& lists, std::vector<std::size_t> selected);

// Moves the subscribed entries at `selected` into the unsubscribed list, each in its sorted place (after
// equal names), exactly as inserting them one by one in ascending position order would. Returns how
// many moved.
std::size_t unsubscribe(GroupLists& lists, std::vector<std::size_t> selected);

// Adds names to the unsubscribed list, each in its sorted place after equal names, as inserting them one by
// one in the given order would (a whole server listing stays linear).
void add_unsubscribed(GroupLists& lists, std::vector<std::string> names);

// Merges `names` into `list`, both sorted by group_name_less, each new name behind its equals.
void merge_sorted_groups(std::vector<std::string>& list, std::vector<std::string> names);

// The "^" rule: the subscribed entries at `selected` become the first ones, in their previous relative
// order; the others keep their order behind them. Returns how many were selected.
std::size_t move_to_top(GroupLists& lists, std::vector<std::size_t> selected);

// What the dialog's filter field lets through: names containing the text, or, when it holds "*" or
// "?", names the whole of which match it as a wildcard pattern. Letter case is ignored; the text is
// trimmed, and an empty one passes everything.
class GroupFilter {
 public:
  GroupFilter() = default;
  explicit GroupFilter(std::string_view text);
  bool empty() const { return text_.empty(); }
  bool wildcard() const { return wildcard_; }
  bool matches(std::string_view name) const;
  // True when every name this filter passes is also passed by `wider` (more text typed behind or
  // before it), so narrowing what `wider` showed gives the same rows.
  bool narrows(const GroupFilter& wider) const;

 private:
  std::string text_;  // lower case
  bool wildcard_ = false;
  // The longest plain run of a pattern without sets or escapes: a name without it cannot match.
  std::string required_;
};

// The entries of one list that a filter shows: shown row r is list position position(r).
class ShownGroups {
 public:
  void update(const std::vector<std::string>& list, const GroupFilter& filter);
  // The same as update() for a list unchanged since the last update with `wider`, a filter that
  // `filter` narrows: only the rows shown are looked at again.
  void narrow(const std::vector<std::string>& list, const GroupFilter& filter);
  std::size_t size() const { return all_ ? total_ : rows_.size(); }
  // The list's size at the last update.
  std::size_t total() const { return total_; }
  bool filtered() const { return !all_; }
  std::size_t position(std::size_t row) const { return all_ ? row : rows_[row]; }
  // List positions of shown rows; rows past the end are dropped.
  std::vector<std::size_t> positions(const std::vector<std::size_t>& rows) const;

 private:
  bool all_ = true;
  std::size_t total_ = 0;
  std::vector<std::size_t> rows_;
};

// Subscribes every unsubscribed group that `shown` passes and whose name contains "sex", "picture" or
// "erotic" (letter case counts), appending them in list order. Shows "Scanning group %d of %d Groups"
// (index among the examined and their number) through `title` when the uptime is a whole second.
// Returns how many were picked.
std::size_t pick_defaults(GroupLists& lists, const TitleCallback& title, const Clock& clock,
                          const GroupFilter& shown = {});

// Empties the unsubscribed list.
void delete_unsubscribed(GroupLists& lists);

// The count line of the lists ("%d of %d Groups Will Be Scanned for Articles").
std::string group_count_line(const GroupLists& lists);

// Groups a server listing may bring before the rest are dropped.
inline constexpr std::size_t kMaxListedGroups = 1000000;

// Keeps a listing within its limit and counts what it drops, so the log gets one line, not one per group.
class GroupListLimit {
 public:
  explicit GroupListLimit(std::size_t max = kMaxListedGroups) : max_(max) {}
  // True while the limit has room (the group is taken); false, counted, once it is full.
  bool admit();
  std::size_t dropped() const { return dropped_; }
  // The status-log line for the dropped groups; empty when none were.
  std::string summary() const;

 private:
  std::size_t max_;
  std::size_t listed_ = 0;
  std::size_t dropped_ = 0;
};

// The text of the "Refresh List" warning box.
extern const char* const kRefreshWarning;

// The first steps of "Refresh List": false, silently, while a session holds the news socket or is
// connected; otherwise asks with the warning box and returns true when the user chose OK.
bool confirm_refresh(const SessionState& state, Dialogs& dialogs);

}  // namespace fk
