// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The news groups dialog's "Refresh List": fetching the server's group list ("list active").

#include <atomic>
#include <string>
#include <vector>

#include "app/group_lists.h"

namespace fk {

struct EngineContext;

// Where a refresh reports to. Calls come from the refresh's worker thread; the receiver carries them
// over to its own thread in the order they were made.
class RefreshSink {
 public:
  virtual ~RefreshSink() = default;
  // A new text for the dialog's title bar.
  virtual void title(const std::string& text) = 0;
  // Empties both lists: the listing has begun and replaces everything.
  virtual void clear_lists() = 0;
  // Adds names to the unsubscribed list, each in its sorted place.
  virtual void add_groups(std::vector<std::string> names) = 0;
  // The listing began but never reached its end: the receiver puts back the lists it had before
  // clear_lists, so OK cannot save a torn list.
  virtual void listing_incomplete() {}
  // Something the user should read in the dialog itself (groups past the limit dropped).
  virtual void notice(const std::string& /*text*/) {}
};

// Fetches the server's group list. refresh() runs on a worker thread, reports through the sink and
// returns when the refresh is over, with the news socket closed and released.
class GroupListRefresher {
 public:
  virtual ~GroupListRefresher() = default;
  virtual void refresh(RefreshSink& sink) = 0;
  // Asks a running refresh() to end soon (the dialog is going away); may be called from any thread.
  virtual void cancel() {}
};

inline constexpr const char* kRefreshDoneTitle = "Select News Groups to Search For Articles";

// The listing over the news connection: connect, greeting, optional login, "list active", and the
// lines assembled from blocks of up to 1599 bytes. Holds the news_socket slot while it runs.
class NntpGroupListRefresher final : public GroupListRefresher {
 public:
  // Groups past max_groups are dropped and counted in one status-log line.
  explicit NntpGroupListRefresher(EngineContext& ctx, std::size_t max_groups = kMaxListedGroups)
      : ctx_(ctx), max_groups_(max_groups) {}
  void refresh(RefreshSink& sink) override;
  // Final: a refresh running now ends within about 100 ms, and later ones end at once. The dialog
  // cancels when it goes away, so each opening gets a refresher of its own.
  void cancel() override { cancelled_ = 1; }

 private:
  EngineContext& ctx_;
  std::size_t max_groups_;
  std::atomic<int> cancelled_{0};
};

}  // namespace fk
