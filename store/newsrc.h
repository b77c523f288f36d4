// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The subscribed-groups files newsrc and newsrc.new: the dialog's load and save, the start-up count,
// the adoption of newsrc.new at a scan's start, and the scan reader.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/text_file.h"

namespace fk {

class Clock;
class StatusLog;

inline constexpr const char* kNewsrc = "newsrc";
inline constexpr const char* kNewsrcNew = "newsrc.new";
// Names taken from the server's listing are cut to this length; readers keep such names whole.
inline constexpr std::size_t kGroupNameMax = 127;

// The dialog's two lists: subscribed in scan order, unsubscribed sorted without regard to case.
struct GroupLists {
  std::vector<std::string> subscribed;
  std::vector<std::string> unsubscribed;
};

using TitleCallback = std::function<void(const std::string&)>;

// "%d of %d Groups Will Be Scanned for Articles".
std::string group_count_line(std::size_t subscribed, std::size_t total);

// Inserts name into a list kept sorted without regard to case (after equal names).
void insert_sorted(std::vector<std::string>& list, std::string name);

// Fills lists from newsrc.new, else newsrc. Shows "Reading newsrc: %d news groups" while reading and
// the count line at the end through `title`. False when neither file opens (the caller shows the
// "Unable To Open File" box); the lists are then empty.
bool load_group_lists(GroupLists& lists, const TitleCallback& title, const Clock& clock);

// Writes newsrc.new: " name" per subscribed group, then "#name" per unsubscribed group, with the
// titles "Please Wait.... saving newsrc.new to disk" and "Done". A failed write keeps the old file and
// returns false.
bool save_group_lists(const GroupLists& lists, const TitleCallback& title);

// Subscribed lines of newsrc.new, else newsrc (0 when neither opens).
int count_subscribed_groups();

// Replaces newsrc by newsrc.new when that exists (logging "Loading Updated newsrc file") and deletes
// dirty.txt. True when it adopted.
bool adopt_newsrc_new(const StatusLog& log);

// The scan's reader of newsrc: one call per line of the file.
class NewsrcScanReader {
 public:
  struct Line {
    bool subscribed = false;  // first character a space and a name word after it
    std::string group;        // the first space/tab delimited word, at most 199 characters
  };
  bool open(const std::string& path = kNewsrc);
  bool next(Line& line);
  void close() { in_.close(); }

 private:
  LineReader in_{4096};
};

}  // namespace fk
