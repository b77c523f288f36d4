// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A bounded, newest-first list of texts kept in a journal file: Article IDs, file names, blacklisted authors.

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/ordered_notifier.h"

namespace fk {

class StatusLog;

// Whatever the configured limit, a buffer never grows past this many entries at run time.
inline constexpr std::size_t kHistoryCap = 32700;

// What changed, for a view that mirrors the buffer.
struct HistoryEvent {
  enum class Kind { Reset, Inserted, Removed } kind;
  std::size_t index = 0;           // Inserted, Removed
  std::string text;                // Inserted
  std::vector<std::string> all;    // Reset: every entry, newest first
};

// Every operation is carried out whole under the buffer's own lock. Lookups ignore ASCII letter case
// and are indexed (hash for exact, sorted for prefix), with the semantics of a linear search.
class HistoryBuffer {
 public:
  using Listener = std::function<void(const HistoryEvent&)>;

  explicit HistoryBuffer(std::string file_name) : file_(std::move(file_name)) {}

  const std::string& file_name() const { return file_; }

  // Fills the buffer from the file, newest line first, dropping duplicates and keeping the newest
  // limit - 1 lines once the limit is reached; logs and rewrites the file when it cut or dropped.
  // A missing file leaves the buffer empty.
  void load_history(std::size_t limit, const StatusLog& log);
  // Rewrites the file from the buffer, oldest entry first. A failed write leaves the file as it was.
  void save_history() const;

  // Inserts at the top, deletes the last entry once when the buffer is above limit or the cap, then
  // appends the entry to the file. False when the file could not be appended to.
  bool add_at_top(std::string_view entry, std::size_t limit);
  // Removes the entry at index (when `expected` is given, only if it still holds that text).
  bool remove_at(std::size_t index, std::optional<std::string_view> expected = std::nullopt);
  // Empties the buffer (the file is untouched).
  void clear();

  std::size_t count() const;
  std::vector<std::string> entries() const;  // newest first
  std::optional<std::string> at(std::size_t index) const;
  // True when an entry equals text, case ignored.
  bool contains_exact(std::string_view text) const;
  // True when an entry begins with text, case ignored.
  bool contains_prefix(std::string_view text) const;

  // Hears every change in order, outside the buffer's lock.
  void set_listener(Listener listener);

 private:
  struct CiHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept;
  };
  struct CiEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
  };

  void index_add(const std::string& entry, bool keep_sorted);
  void index_remove(const std::string& entry);
  void rebuild_sorted();
  void remove_locked(std::size_t index);
  void notify(HistoryEvent event);
  std::string serialise() const;

  std::string file_;
  mutable std::mutex mutex_;
  std::deque<std::string> entries_;
  std::unordered_map<std::string, std::size_t, CiHash, CiEqual> counts_;
  std::vector<std::string> sorted_lower_;
  OrderedNotifier<HistoryEvent> notifier_;
};

}  // namespace fk
