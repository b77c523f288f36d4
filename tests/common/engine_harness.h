// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One EngineContext wired to test doubles in a fresh working folder, and fk.log reading for assertions.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/engine_bundle.h"
#include "common/temp_dir.h"

namespace fk::test {

// A RecordingView that can also react to texts (to press STOP at a chosen moment, say).
class HookedView : public RecordingView {
 public:
  std::function<void(ControlId, const std::string&)> on_text;
  void set_text(ControlId id, const std::string& text) override {
    RecordingView::set_text(id, text);
    if (on_text) on_text(id, text);
  }
};

// One status-log line: level from its prefix (-1 for an empty entry) and the message.
struct LogEntry {
  int level = -1;
  std::string text;
};
std::vector<LogEntry> read_status_log(const std::string& path = "fk.log");

// The engine in a fresh working folder. Nothing of the engine touches a file while it is built, so the
// folder may come after it (and goes before it).
class EngineHarness : public BasicEngine<HookedView, RecordingDialogs> {
 public:
  TempDir dir;

  // Points news_server and port at a local server.
  void use_server(std::uint16_t port, const std::string& host = "127.0.0.1");
  void change(const std::function<void(Settings&)>& f) { settings.update(f); }
  // Writes newsrc and sets subscribed_groups as the start-up count would.
  void write_newsrc(std::string_view content);

  std::vector<LogEntry> log_lines() const { return read_status_log(log.path()); }
  std::vector<std::string> log_texts() const;
  // Level of the first line with this text, -2 when absent.
  int level_of(std::string_view text) const;
  bool logged(std::string_view text) const { return level_of(text) != -2; }
  // True when the texts appear in this order (not necessarily adjacent).
  bool logged_in_order(const std::vector<std::string>& texts) const;
};

}  // namespace fk::test
