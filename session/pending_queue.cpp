// SPDX-License-Identifier: GPL-3.0-or-later
// The pending-downloads queue.
#include "session/pending_queue.h"

#include <algorithm>

#include "store/text.h"
#include "store/text_file.h"

namespace fk {

bool PendingQueue::CiLess::operator()(std::string_view a, std::string_view b) const noexcept {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(ascii_lower(a[i])), y = static_cast<unsigned char>(ascii_lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::string_view pending_subject(std::string_view row) {
  std::size_t pos = 0;
  for (int tabs = 0; tabs < 3; ++tabs) {
    pos = row.find('\t', pos);
    if (pos == std::string_view::npos) return {};
    ++pos;
  }
  return row.substr(pos);
}

std::string_view pending_author(std::string_view row) {
  std::size_t first = row.find('\t');
  if (first == std::string_view::npos) return row;
  std::size_t second = row.find('\t', first + 1);
  if (second == std::string_view::npos) return {};
  return row.substr(first + 1, second - first - 1);
}

void PendingQueue::notify(PendingEvent e) { notifier_.post(std::move(e)); }

void PendingQueue::insert_locked(std::size_t index, PendingArticle row) {
  index = std::min(index, rows_.size());
  subjects_.insert(std::string(pending_subject(row)));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  notify({PendingEvent::Kind::Inserted, index, std::move(row)});
}

void PendingQueue::remove_locked(std::size_t index) {
  auto it = subjects_.find(pending_subject(rows_[index]));
  if (it != subjects_.end()) subjects_.erase(it);
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
  if (rows_.empty()) {
    declared_bytes_.clear();
    message_ids_.clear();
  }
  notify({PendingEvent::Kind::Removed, index, {}});
}

void PendingQueue::append(PendingArticle row) {
  {
    std::lock_guard lock(mutex_);
    insert_locked(rows_.size(), std::move(row));
  }
  notifier_.deliver();
}

void PendingQueue::insert(std::size_t index, PendingArticle row) {
  {
    std::lock_guard lock(mutex_);
    insert_locked(index, std::move(row));
  }
  notifier_.deliver();
}

std::optional<PendingArticle> PendingQueue::front() const {
  std::lock_guard lock(mutex_);
  if (rows_.empty()) return std::nullopt;
  return rows_.front();
}

bool PendingQueue::remove_front() {
  {
    std::lock_guard lock(mutex_);
    if (rows_.empty()) return false;
    remove_locked(0);
  }
  notifier_.deliver();
  return true;
}

bool PendingQueue::remove(std::size_t index, std::optional<std::string_view> expected) {
  {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) return false;
    if (expected && rows_[index] != *expected) return false;
    remove_locked(index);
  }
  notifier_.deliver();
  return true;
}

std::size_t PendingQueue::remove_if(const std::function<bool(std::string_view)>& pred) {
  // pred is the caller's code: it runs on a copy, outside the lock; rows added meanwhile stay.
  std::set<std::string> doomed;
  for (const auto& row : rows())
    if (pred(row)) doomed.insert(row);
  std::size_t removed = 0;
  if (!doomed.empty()) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = rows_.size(); i-- > 0;) {
      if (doomed.count(rows_[i])) {
        remove_locked(i);
        ++removed;
      }
    }
  }
  notifier_.deliver();
  return removed;
}

std::optional<PendingArticle> PendingQueue::first_not_in(const std::vector<PendingArticle>& taken) const {
  std::lock_guard lock(mutex_);
  std::vector<bool> used(taken.size(), false);
  for (const PendingArticle& row : rows_) {
    bool matched = false;
    for (std::size_t i = 0; i < taken.size() && !matched; ++i)
      if (!used[i] && taken[i] == row) used[i] = matched = true;
    if (!matched) return row;
  }
  return std::nullopt;
}

bool PendingQueue::remove_row(std::string_view row) {
  {
    std::lock_guard lock(mutex_);
    auto it = std::find(rows_.begin(), rows_.end(), row);
    if (it == rows_.end()) return false;
    remove_locked(static_cast<std::size_t>(it - rows_.begin()));
  }
  notifier_.deliver();
  return true;
}

bool PendingQueue::move_to_next(std::size_t index) {
  {
    std::lock_guard lock(mutex_);
    if (index < 2 || index >= rows_.size()) return false;
    PendingArticle copy = rows_[index];
    insert_locked(1, std::move(copy));
    remove_locked(index + 1);
  }
  notifier_.deliver();
  return true;
}

void PendingQueue::clear() {
  {
    std::lock_guard lock(mutex_);
    rows_.clear();
    subjects_.clear();
    declared_bytes_.clear();
    message_ids_.clear();
    notify({PendingEvent::Kind::Cleared, 0, {}});
  }
  notifier_.deliver();
}

std::size_t PendingQueue::count() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

std::optional<PendingArticle> PendingQueue::at(std::size_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= rows_.size()) return std::nullopt;
  return rows_[index];
}

std::vector<PendingArticle> PendingQueue::rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

bool PendingQueue::has_subject_prefix(std::string_view subject) const {
  std::lock_guard lock(mutex_);
  auto it = subjects_.lower_bound(subject);
  return it != subjects_.end() && istarts_with(*it, subject);
}

void PendingQueue::note_declared_bytes(const PendingArticle& row, std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  declared_bytes_[row] = bytes;
}

std::uint64_t PendingQueue::declared_bytes(std::string_view row) const {
  std::lock_guard lock(mutex_);
  auto it = declared_bytes_.find(row);
  return it == declared_bytes_.end() ? 0 : it->second;
}

bool is_sendable_message_id(std::string_view id) {
  if (id.size() < 3 || id.size() > 250 || id.front() != '<' || id.back() != '>') return false;
  for (char c : id)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
  return true;
}

void PendingQueue::note_message_id(const PendingArticle& row, std::string_view id) {
  if (!is_sendable_message_id(id)) return;
  std::lock_guard lock(mutex_);
  message_ids_[row] = std::string(id);
}

std::string PendingQueue::message_id(std::string_view row) const {
  std::lock_guard lock(mutex_);
  auto it = message_ids_.find(row);
  return it == message_ids_.end() ? std::string() : it->second;
}

void PendingQueue::set_listener(Listener listener) {
  notifier_.set_listener(std::move(listener));
}

}  // namespace fk
