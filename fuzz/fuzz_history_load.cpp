// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: loading a history file and the newsrc readers on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "store/clock.h"
#include "store/history_buffer.h"
#include "store/newsrc.h"
#include "store/settings.h"
#include "store/status_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const char* path : {"HISTORY.FNK", "newsrc"}) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static fk::SystemClock clock;
  static fk::SharedSettings settings([] {
    fk::Settings s;
    s.status_logging_enabled = 0;
    return s;
  }());
  static fk::StatusLog log(settings, clock);
  fk::HistoryBuffer h("HISTORY.FNK");
  h.load_history(size % 40 + 1, log);
  if (h.count() > size % 40 + 1) __builtin_trap();
  h.contains_prefix("<a");
  h.contains_exact("x");

  fk::GroupLists lists;
  fk::load_group_lists(lists, nullptr, clock);
  fk::count_subscribed_groups();
  fk::NewsrcScanReader reader;
  if (reader.open()) {
    fk::NewsrcScanReader::Line line;
    while (reader.next(line))
      if (line.group.size() > 199) __builtin_trap();
  }
  return 0;
}
