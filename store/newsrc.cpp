// SPDX-License-Identifier: GPL-3.0-or-later
// newsrc and newsrc.new.
#include "store/newsrc.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "store/clock.h"
#include "store/status_log.h"
#include "store/text.h"

namespace fk {

namespace {

bool ci_less(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(ascii_lower(x)) < static_cast<unsigned char>(ascii_lower(y));
  });
}

bool open_group_file(LineReader& in) { return in.open(kNewsrcNew) || in.open(kNewsrc); }

// Longest line the group readers keep whole; a longer line is read in pieces like the classic reader.
constexpr std::size_t kGroupLineMax = 4096;

}  // namespace

std::string group_count_line(std::size_t subscribed, std::size_t total) {
  return std::to_string(subscribed) + " of " + std::to_string(total) + " Groups Will Be Scanned for Articles";
}

void insert_sorted(std::vector<std::string>& list, std::string name) {
  auto pos = std::upper_bound(list.begin(), list.end(), name, ci_less);
  list.insert(pos, std::move(name));
}

bool load_group_lists(GroupLists& lists, const TitleCallback& title, const Clock& clock) {
  lists.subscribed.clear();
  lists.unsubscribed.clear();
  LineReader in(kGroupLineMax);
  bool opened = open_group_file(in);
  if (opened) {
    lists.subscribed.reserve(1000);
    lists.unsubscribed.reserve(1000);
    std::string line;
    int count = 0;
    while (in.next(line)) {
      ++count;
      if (title && clock.uptime_ms() % 1000 == 0) title("Reading newsrc: " + std::to_string(count) + " news groups");
      std::string name = line.empty() ? std::string() : line.substr(1);
      if (!line.empty() && line[0] == ' ')
        lists.subscribed.push_back(std::move(name));
      else
        lists.unsubscribed.push_back(std::move(name));
    }
    // Sorting once keeps a 30,000-group file fast; stable, so equal names keep their file order. The
    // dialog saves the list sorted, so usually one pass finds nothing to do.
    if (!std::is_sorted(lists.unsubscribed.begin(), lists.unsubscribed.end(), ci_less))
      std::stable_sort(lists.unsubscribed.begin(), lists.unsubscribed.end(), ci_less);
  }
  if (title) title(group_count_line(lists.subscribed.size(), lists.subscribed.size() + lists.unsubscribed.size()));
  return opened;
}

bool save_group_lists(const GroupLists& lists, const TitleCallback& title) {
  if (title) title("Please Wait.... saving newsrc.new to disk");
  std::size_t size = 0;
  for (const auto* list : {&lists.subscribed, &lists.unsubscribed})
    for (const auto& g : *list) size += g.size() + 2;
  std::string out;
  out.reserve(size);
  for (const auto& g : lists.subscribed) out.append(1, ' ').append(g).append(1, '\n');
  for (const auto& g : lists.unsubscribed) out.append(1, '#').append(g).append(1, '\n');
  const bool written = replace_file(kNewsrcNew, out);
  if (title) title("Done");
  return written;
}

int count_subscribed_groups() {
  LineReader in(kGroupLineMax);
  if (!open_group_file(in)) return 0;
  int count = 0;
  std::string line;
  while (in.next(line))
    if (!line.empty() && line[0] == ' ') ++count;
  return count;
}

bool adopt_newsrc_new(const StatusLog& log) {
  if (!readable_file(kNewsrcNew)) return false;
  log.log_status("Loading Updated newsrc file", 0);
  ::unlink(kNewsrc);
  std::rename(kNewsrcNew, kNewsrc);
  ::unlink("dirty.txt");
  return true;
}

bool NewsrcScanReader::open(const std::string& path) { return in_.open(path); }

bool NewsrcScanReader::next(Line& out) {
  std::string line;
  if (!in_.next(line)) return false;
  out.subscribed = false;
  out.group.clear();
  if (line.empty() || line[0] != ' ') return true;
  std::size_t b = line.find_first_not_of(" \t");
  if (b == std::string::npos) return true;
  std::size_t e = line.find_first_of(" \t", b);
  out.group = line.substr(b, std::min<std::size_t>(e == std::string::npos ? line.size() - b : e - b, 199));
  out.subscribed = true;
  return true;
}

}  // namespace fk
