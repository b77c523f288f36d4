// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A StatusCommands that records every call, for the widget tests.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"

namespace fk::test {

class FakeCommands : public StatusCommands {
 public:
  struct Call {
    std::string name;
    std::optional<RowRef> row;
    ControlId list = ControlId::PendingList;
  };

  void start() override { note("start"); }
  void stop() override { note("stop"); }
  void setup() override { note("setup"); }
  void groups() override { note("groups"); }
  void skip_group() override { note("skip_group"); }
  void bozo(std::optional<RowRef> r) override { note("bozo", std::move(r)); }
  void download_next(std::optional<RowRef> r) override { note("download_next", std::move(r)); }
  void remove_pending(std::optional<RowRef> r) override { note("remove_pending", std::move(r)); }
  void remove_history(ControlId list, std::optional<RowRef> r) override {
    note("remove_history", std::move(r), list);
  }
  void close() override {
    note("close");
    if (on_close) on_close();
  }
  void tick() override { ++ticks; }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& c : calls) out.push_back(c.name);
    return out;
  }

  std::vector<Call> calls;
  int ticks = 0;
  std::function<void()> on_close;
  std::function<void(const std::string&)> on_call;  // runs as each command arrives

 private:
  void note(std::string name, std::optional<RowRef> row = std::nullopt,
            ControlId list = ControlId::PendingList) {
    if (on_call) on_call(name);
    calls.push_back({std::move(name), std::move(row), list});
  }
};

}  // namespace fk::test
