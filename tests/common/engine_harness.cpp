// SPDX-License-Identifier: GPL-3.0-or-later
// The engine test harness.
#include "common/engine_harness.h"

#include "store/newsrc.h"
#include "store/text_file.h"

namespace fk::test {

std::vector<LogEntry> read_status_log(const std::string& path) {
  std::vector<LogEntry> out;
  LineReader in;
  if (!in.open(path)) return out;
  std::string line;
  while (in.next(line)) {
    LogEntry e;
    // "<24-character stamp>  <prefix> - <message>"
    std::size_t dash = line.size() > 26 ? line.find(" - ", 26) : std::string::npos;
    if (dash != std::string::npos) {
      std::string prefix = line.substr(26, dash - 26);
      e.level = prefix.empty() ? 0 : prefix == "+---" ? 1 : prefix == "+-------" ? 2 : 3;
      e.text = line.substr(dash + 3);
    }
    out.push_back(std::move(e));
  }
  return out;
}

void EngineHarness::use_server(std::uint16_t port, const std::string& host) {
  change([&](Settings& s) {
    s.news_server = host;
    s.port = port;
  });
}

void EngineHarness::write_newsrc(std::string_view content) {
  write_file(kNewsrc, content);
  state.subscribed_groups = count_subscribed_groups();
}

std::vector<std::string> EngineHarness::log_texts() const {
  std::vector<std::string> out;
  for (auto& e : log_lines()) out.push_back(e.text);
  return out;
}

int EngineHarness::level_of(std::string_view text) const {
  for (auto& e : log_lines())
    if (e.text == text) return e.level;
  return -2;
}

bool EngineHarness::logged_in_order(const std::vector<std::string>& texts) const {
  auto lines = log_texts();
  std::size_t at = 0;
  for (const auto& t : texts) {
    while (at < lines.size() && lines[at] != t) ++at;
    if (at == lines.size()) return false;
    ++at;
  }
  return true;
}

}  // namespace fk::test
