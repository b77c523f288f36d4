#pragma once
// The news groups dialog's list operations on GroupLists, without a display.

#include <cstddef>
#include <string>
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

// The "^" rule: the subscribed entries at `selected` become the first ones, in their previous relative
// order; the others keep their order behind them. Returns how many were selected.
std::size_t move_to_top(GroupLists& lists, std::vector<std::size_t> selected);

// Subscribes every unsubscribed group whose name contains "sex", "picture" or "erotic" (letter case
// counts), appending them in list order. Shows "Scanning group %d of %d Groups" through `title` when
// the uptime is a whole second. Returns how many were picked.
std::size_t pick_defaults(GroupLists& lists, const TitleCallback& title, const Clock& clock);

// Empties the unsubscribed list.
void delete_unsubscribed(GroupLists& lists);

// The count line of the lists ("%d of %d Groups Will Be Scanned for Articles").
std::string group_count_line(const GroupLists& lists);

// The text of the "Refresh List" warning box.
extern const char* const kRefreshWarning;

// The first steps of "Refresh List": false, silently, while a session holds the news socket or is
// connected; otherwise asks with the warning box and returns true when the user chose OK.
bool confirm_refresh(const SessionState& state, Dialogs& dialogs);

}  // namespace fk
