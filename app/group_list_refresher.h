#pragma once
// The seam between the news groups dialog and the server listing ("Refresh List").

#include <string>
#include <vector>

namespace fk {

// Where a refresh reports to. Calls come from the refresh's worker thread; the receiver carries them
// over to its own thread in the order they were made.
class RefreshSink {
 public:
  virtual ~RefreshSink() = default;
  // A new text for the dialog's title bar.
  virtual void title(const std::string& text) = 0;
  // Empties both lists (the listing replaces everything).
  virtual void clear_lists() = 0;
  // Adds names to the unsubscribed list, each in its sorted place.
  virtual void add_groups(std::vector<std::string> names) = 0;
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

// Stands in until the socket transport lands: reports only the closing title and fetches nothing.
class StubGroupListRefresher final : public GroupListRefresher {
 public:
  void refresh(RefreshSink& sink) override;
};

inline constexpr const char* kRefreshDoneTitle = "Select News Groups to Search For Articles";

}  // namespace fk
