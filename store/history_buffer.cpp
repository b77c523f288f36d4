// SPDX-License-Identifier: GPL-3.0-or-later
// History buffers with indexed lookups.
#include "store/history_buffer.h"

#include <algorithm>

#include "store/status_log.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::size_t kMaxRead = 510;  // longer lines come back in pieces

}  // namespace

std::size_t HistoryBuffer::CiHash::operator()(std::string_view s) const noexcept {
  std::size_t h = 1469598103934665603ull;
  for (char c : s) h = (h ^ static_cast<unsigned char>(ascii_lower(c))) * 1099511628211ull;
  return h;
}

bool HistoryBuffer::CiEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return iequals(a, b);
}

void HistoryBuffer::index_add(const std::string& entry, bool keep_sorted) {
  auto it = counts_.find(std::string_view(entry));
  if (it == counts_.end())
    counts_.emplace(to_lower(entry), 1);
  else
    ++it->second;
  if (keep_sorted) {
    std::string low = to_lower(entry);
    sorted_lower_.insert(std::lower_bound(sorted_lower_.begin(), sorted_lower_.end(), low), std::move(low));
  }
}

void HistoryBuffer::index_remove(const std::string& entry) {
  auto it = counts_.find(std::string_view(entry));
  if (it != counts_.end() && --it->second == 0) counts_.erase(it);
  std::string low = to_lower(entry);
  auto pos = std::lower_bound(sorted_lower_.begin(), sorted_lower_.end(), low);
  if (pos != sorted_lower_.end() && *pos == low) sorted_lower_.erase(pos);
}

void HistoryBuffer::rebuild_sorted() {
  sorted_lower_.clear();
  sorted_lower_.reserve(entries_.size());
  for (const auto& e : entries_) sorted_lower_.push_back(to_lower(e));
  std::sort(sorted_lower_.begin(), sorted_lower_.end());
}

void HistoryBuffer::remove_locked(std::size_t index) {
  index_remove(entries_[index]);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

void HistoryBuffer::notify(HistoryEvent event) { notifier_.post(std::move(event)); }

void HistoryBuffer::load_history(std::size_t limit, const StatusLog& log) {
  std::size_t lines_read = 0, kept = 0, duplicates = 0;
  bool cut = false;
  {
    std::lock_guard lock(mutex_);
    entries_.clear();
    counts_.clear();
    sorted_lower_.clear();
    LineReader in(kMaxRead);
    if (in.open(file_)) {
      counts_.reserve(std::min<std::size_t>(limit, kHistoryCap) + 1);
      std::string line;
      while (in.next(line)) {
        ++lines_read;
        std::string entry(trim(line));
        if (counts_.count(std::string_view(entry))) {
          ++duplicates;
          continue;
        }
        entries_.push_front(entry);
        index_add(entries_.front(), false);
        ++kept;
        if (kept >= limit) {
          // The classic list deleted the row at limit - 1 once the limit was reached.
          std::size_t at = limit == 0 ? 0 : limit - 1;
          if (at < entries_.size()) remove_locked(at);
          cut = true;
        }
      }
    }
    rebuild_sorted();
    notify({HistoryEvent::Kind::Reset, 0, {}, std::vector<std::string>(entries_.begin(), entries_.end())});
  }
  notifier_.deliver();
  if (cut)
    log.log_status(file_ + " History >= Size Limit of(" + std::to_string(limit) + ")...File Reduced in Size from " +
                       std::to_string(lines_read),
                   0);
  if (duplicates > 0) log.log_status(file_ + " Has " + std::to_string(duplicates) + " Duplicate Entries", 0);
  if (cut || duplicates > 0) save_history();
}

std::string HistoryBuffer::serialise() const {
  std::string out;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    out += *it;
    out += '\n';
  }
  return out;
}

void HistoryBuffer::save_history() const {
  std::string content;
  {
    std::lock_guard lock(mutex_);
    content = serialise();
  }
  replace_file(file_, content);
}

bool HistoryBuffer::add_at_top(std::string_view entry, std::size_t limit) {
  {
    std::lock_guard lock(mutex_);
    entries_.emplace_front(entry);
    index_add(entries_.front(), true);
    notify({HistoryEvent::Kind::Inserted, 0, std::string(entry), {}});
    if (entries_.size() > limit || entries_.size() > kHistoryCap) {
      std::size_t last = entries_.size() - 1;
      remove_locked(last);
      notify({HistoryEvent::Kind::Removed, last, {}, {}});
    }
  }
  notifier_.deliver();
  std::string line(entry);
  line += '\n';
  return append_file(file_, line);
}

bool HistoryBuffer::remove_at(std::size_t index, std::optional<std::string_view> expected) {
  {
    std::lock_guard lock(mutex_);
    if (index >= entries_.size()) return false;
    if (expected && entries_[index] != *expected) return false;
    remove_locked(index);
    notify({HistoryEvent::Kind::Removed, index, {}, {}});
  }
  notifier_.deliver();
  return true;
}

void HistoryBuffer::clear() {
  {
    std::lock_guard lock(mutex_);
    entries_.clear();
    counts_.clear();
    sorted_lower_.clear();
    notify({HistoryEvent::Kind::Reset, 0, {}, {}});
  }
  notifier_.deliver();
}

std::size_t HistoryBuffer::count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::vector<std::string> HistoryBuffer::entries() const {
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

std::optional<std::string> HistoryBuffer::at(std::size_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= entries_.size()) return std::nullopt;
  return entries_[index];
}

bool HistoryBuffer::contains_exact(std::string_view text) const {
  std::lock_guard lock(mutex_);
  return counts_.find(text) != counts_.end();
}

bool HistoryBuffer::contains_prefix(std::string_view text) const {
  // Lower the query once so the binary search compares with memcmp.
  char small[256];
  std::string large;
  char* low = small;
  if (text.size() > sizeof small) {
    large.resize(text.size());
    low = large.data();
  }
  for (std::size_t i = 0; i < text.size(); ++i) low[i] = ascii_lower(text[i]);
  std::string_view query(low, text.size());
  std::lock_guard lock(mutex_);
  auto it = std::lower_bound(sorted_lower_.begin(), sorted_lower_.end(), query,
                             [](const std::string& e, std::string_view q) { return std::string_view(e) < q; });
  return it != sorted_lower_.end() && std::string_view(*it).substr(0, query.size()) == query;
}

void HistoryBuffer::set_listener(Listener listener) { notifier_.set_listener(std::move(listener)); }

}  // namespace fk
