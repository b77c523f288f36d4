// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pending-downloads queue: rows of the status window's pending list, row 0 the article in progress.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "store/ordered_notifier.h"

namespace fk {

// One row: article number, author, line count and subject joined by tabs.
using PendingArticle = std::string;

// The fourth tab-separated field of a row (empty when the row has fewer fields).
std::string_view pending_subject(std::string_view row);
// The second field (text after the first tab up to the second; the whole row without a first tab,
// empty without a second tab).
std::string_view pending_author(std::string_view row);

// A message-id that may go into a command line: "<...>", no white space or control characters, at
// most 250 characters (RFC 3977).
bool is_sendable_message_id(std::string_view id);

struct PendingEvent {
  enum class Kind { Inserted, Removed, Cleared } kind;
  std::size_t index = 0;  // Inserted, Removed
  std::string row;        // Inserted
};

// Every operation is carried out whole under the queue's lock; the listener hears each change in order,
// outside the lock.
class PendingQueue {
 public:
  using Listener = std::function<void(const PendingEvent&)>;

  void append(PendingArticle row);
  // Inserts at index (clamped to the end).
  void insert(std::size_t index, PendingArticle row);
  std::optional<PendingArticle> front() const;
  bool remove_front();
  // Removes the row at index; when `expected` is given, only if the row still holds that text.
  bool remove(std::size_t index, std::optional<std::string_view> expected = std::nullopt);
  // Removes every row for which pred is true, from the last row to row 0; returns how many went. pred
  // runs on a copy of the rows, without the lock; rows added meanwhile are kept.
  std::size_t remove_if(const std::function<bool(std::string_view)>& pred);
  // The first row, from row 0 on, that is not one of `taken` (each entry of taken accounts for one equal
  // row): the next row a pipelined loop has not asked for yet.
  std::optional<PendingArticle> first_not_in(const std::vector<PendingArticle>& taken) const;
  // Removes the first row equal to `row`; false when none is.
  bool remove_row(std::string_view row);
  // D/L Next: a copy of row `index` (2 or more) becomes row 1 and the original goes. False otherwise.
  bool move_to_next(std::size_t index);
  void clear();

  std::size_t count() const;
  bool empty() const { return count() == 0; }
  std::optional<PendingArticle> at(std::size_t index) const;
  std::vector<PendingArticle> rows() const;
  // True when the subject field of some row begins with `subject`, case ignored (indexed).
  bool has_subject_prefix(std::string_view subject) const;

  // The size the overview gave for a row's article (0: none given), for bounding its body. Kept while
  // the queue holds rows; forgotten when it empties.
  void note_declared_bytes(const PendingArticle& row, std::uint64_t bytes);
  std::uint64_t declared_bytes(std::string_view row) const;

  // The overview's message-id of a row, for connections that ask by message-id (no GROUP). Only a
  // well-formed id is kept: it goes into a command line. Empty when none.
  void note_message_id(const PendingArticle& row, std::string_view id);
  std::string message_id(std::string_view row) const;

  void set_listener(Listener listener);

 private:
  void insert_locked(std::size_t index, PendingArticle row);
  void remove_locked(std::size_t index);
  void notify(PendingEvent e);

  struct CiLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };

  mutable std::mutex mutex_;
  std::vector<PendingArticle> rows_;
  std::multiset<std::string, CiLess> subjects_;  // subject fields, ordered without regard to case
  std::map<std::string, std::uint64_t, std::less<>> declared_bytes_;
  std::map<std::string, std::string, std::less<>> message_ids_;
  OrderedNotifier<PendingEvent> notifier_;
};

}  // namespace fk
