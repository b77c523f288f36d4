// SPDX-License-Identifier: GPL-3.0-or-later
// List operations of the news groups dialog.
#include "app/group_lists.h"

#include <algorithm>

#include "session/session_state.h"
#include "session/view.h"
#include "session/wildmat.h"
#include "store/clock.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

const char* const kRefreshWarning =
    "This Will UnSubscribed You To All Groups and Will Download a Current List of All Active News Groups "
    "From "
    "Your News Server. (This May Take Several Minutes). Use of This Command Is Recommended Only During "
    "Intial "
    "Setup";

namespace {

inline unsigned char fold(char c) {
  return static_cast<unsigned char>(ascii_lower(c));
}

// Ascending, without duplicates or positions outside a list of `size` entries.
void normalise(std::vector<std::size_t>& positions, std::size_t size) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  positions.erase(std::lower_bound(positions.begin(), positions.end(), size), positions.end());
}

// Removes the entries at the (normalised) positions in one pass; a list of 30,000 stays linear.
void erase_at(std::vector<std::string>& list, const std::vector<std::size_t>& positions) {
  if (positions.empty()) return;
  std::size_t out = positions.front();
  std::size_t next = 0;
  for (std::size_t in = positions.front(); in < list.size(); ++in) {
    if (next < positions.size() && positions[next] == in) {
      ++next;
      continue;
    }
    list[out++] = std::move(list[in]);
  }
  list.resize(out);
}

}  // namespace

bool group_name_less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return fold(x) < fold(y); });
}

std::size_t subscribe(GroupLists& lists, std::vector<std::size_t> selected) {
  normalise(selected, lists.unsubscribed.size());
  lists.subscribed.reserve(lists.subscribed.size() + selected.size());
  for (std::size_t p : selected) lists.subscribed.push_back(lists.unsubscribed[p]);
  erase_at(lists.unsubscribed, selected);
  return selected.size();
}

std::size_t unsubscribe(GroupLists& lists, std::vector<std::size_t> selected) {
  normalise(selected, lists.subscribed.size());
  if (selected.empty()) return 0;
  std::vector<std::string> moved;
  moved.reserve(selected.size());
  for (std::size_t p : selected) moved.push_back(lists.subscribed[p]);
  erase_at(lists.subscribed, selected);
  add_unsubscribed(lists, std::move(moved));
  return selected.size();
}

void add_unsubscribed(GroupLists& lists, std::vector<std::string> names) {
  // One insertion after another puts each name after its equals, the earlier ones included: a stable
  // sort of the newcomers merged behind the equal old names gives the same list.
  if (!std::is_sorted(names.begin(), names.end(), group_name_less))
    std::stable_sort(names.begin(), names.end(), group_name_less);
  merge_sorted_groups(lists.unsubscribed, std::move(names));
}

void merge_sorted_groups(std::vector<std::string>& list, std::vector<std::string> names) {
  if (names.empty()) return;
  // Only the part behind the first newcomer's place moves, so a listing that comes sorted stays linear.
  const auto start = std::upper_bound(list.begin(), list.end(), names.front(), group_name_less);
  const auto keep = static_cast<std::size_t>(start - list.begin());
  std::vector<std::string> tail(std::make_move_iterator(start), std::make_move_iterator(list.end()));
  list.resize(keep);
  list.reserve(keep + tail.size() + names.size());
  std::merge(std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()),
             std::make_move_iterator(names.begin()), std::make_move_iterator(names.end()),
             std::back_inserter(list), group_name_less);
}

GroupFilter::GroupFilter(std::string_view text) : text_(to_lower(trim(text))) {
  wildcard_ = text_.find_first_of("*?") != std::string::npos;
  if (!wildcard_ || text_.find_first_of("[\\") != std::string::npos) return;
  for (std::size_t at = 0; at < text_.size();) {
    const std::size_t end = std::min(text_.find_first_of("*?", at), text_.size());
    if (end - at > required_.size()) required_ = text_.substr(at, end - at);
    at = end + 1;
  }
}

bool GroupFilter::matches(std::string_view name) const {
  if (text_.empty()) return true;
  thread_local std::string folded;
  folded.resize(name.size());
  std::transform(name.begin(), name.end(), folded.begin(), [](char c) { return static_cast<char>(fold(c)); });
  if (!wildcard_) return folded.find(text_) != std::string::npos;
  return folded.find(required_) != std::string::npos && match_pattern(folded, text_);
}

bool GroupFilter::narrows(const GroupFilter& wider) const {
  return !wildcard_ && !wider.wildcard_ && !wider.empty() && text_.find(wider.text_) != std::string::npos;
}

void ShownGroups::narrow(const std::vector<std::string>& list, const GroupFilter& filter) {
  if (all_ || total_ != list.size()) return update(list, filter);
  std::erase_if(rows_, [&](std::size_t position) { return !filter.matches(list[position]); });
}

void ShownGroups::update(const std::vector<std::string>& list, const GroupFilter& filter) {
  total_ = list.size();
  all_ = filter.empty();
  rows_.clear();
  if (all_) {
    rows_.shrink_to_fit();
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i)
    if (filter.matches(list[i])) rows_.push_back(i);
}

std::vector<std::size_t> ShownGroups::positions(const std::vector<std::size_t>& rows) const {
  std::vector<std::size_t> out;
  out.reserve(rows.size());
  for (std::size_t r : rows)
    if (r < size()) out.push_back(position(r));
  return out;
}

std::size_t move_to_top(GroupLists& lists, std::vector<std::size_t> selected) {
  normalise(selected, lists.subscribed.size());
  if (selected.empty()) return 0;
  std::vector<char> chosen(lists.subscribed.size(), 0);
  for (std::size_t p : selected) chosen[p] = 1;
  std::vector<std::string> front, back;
  front.reserve(selected.size());
  back.reserve(lists.subscribed.size() - selected.size());
  for (std::size_t i = 0; i < lists.subscribed.size(); ++i)
    (chosen[i] ? front : back).push_back(std::move(lists.subscribed[i]));
  for (auto& g : back) front.push_back(std::move(g));
  lists.subscribed = std::move(front);
  return selected.size();
}

std::size_t pick_defaults(GroupLists& lists, const TitleCallback& title, const Clock& clock,
                          const GroupFilter& shown) {
  static constexpr const char* kWords[] = {"sex", "picture", "erotic"};
  ShownGroups examined;
  examined.update(lists.unsubscribed, shown);
  const std::size_t total = examined.size();
  std::vector<std::size_t> picked;
  for (std::size_t i = 0; i < total; ++i) {
    const std::size_t position = examined.position(i);
    const std::string& name = lists.unsubscribed[position];
    for (const char* word : kWords)
      if (name.find(word) != std::string::npos) {
        picked.push_back(position);
        break;
      }
    if (title && clock.uptime_ms() % 1000 == 0)
      title("Scanning group " + std::to_string(i) + " of " + std::to_string(total) + " Groups");
  }
  return subscribe(lists, std::move(picked));
}

void delete_unsubscribed(GroupLists& lists) {
  lists.unsubscribed.clear();
}

std::string group_count_line(const GroupLists& lists) {
  return group_count_line(lists.subscribed.size(), lists.subscribed.size() + lists.unsubscribed.size());
}

bool GroupListLimit::admit() {
  if (listed_ < max_) {
    ++listed_;
    return true;
  }
  ++dropped_;
  return false;
}

std::string GroupListLimit::summary() const {
  if (dropped_ == 0) return {};
  return "Too Many News Groups... some Discarded (" + std::to_string(dropped_) +
         (dropped_ == 1 ? " group" : " groups") + " dropped)";
}

bool confirm_refresh(const SessionState& state, Dialogs& dialogs) {
  if (state.connection_busy()) return false;
  return dialogs.message_box(kRefreshWarning, "Warning", Icon::Warning, Buttons::OkCancel) == Answer::Ok;
}

}  // namespace fk
