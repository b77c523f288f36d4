// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared harness of the decoder fuzz targets: a private working folder, a clock that never sleeps, and
// a check that nothing was written outside the folders a decoder may use.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk::fuzz {

class StillClock final : public Clock {
 public:
  std::int64_t now() const override { return 1796616668 + ticks_; }
  std::tm local_now() const override { return std::tm{}; }
  std::int64_t uptime_ms() const override { return ticks_ * 1000; }
  void sleep_ms(std::int64_t ms) override { ticks_ += ms / 1000 + 1; }

 private:
  std::int64_t ticks_ = 0;
};

// Runs `body` inside fk-fuzz-work/ (emptied afterwards) with the input as temp.uue. The group name is
// taken from the first input bytes up to a NUL, so that group names get fuzzed too.
template <class Body>
void with_work_file(const std::uint8_t* data, std::size_t size, Body body) {
  namespace fs = std::filesystem;
  static const fs::path home = fs::current_path();
  static const fs::path work = home / "fk-fuzz-work";
  std::error_code ec;
  fs::create_directories(work / "pictures", ec);
  fs::create_directories(work / "unknown", ec);
  fs::current_path(work);

  std::string input(reinterpret_cast<const char*>(data), size);
  std::string group;
  std::size_t nul = input.find('\0');
  if (nul != std::string::npos && nul < 64) group = input.substr(0, nul);
  {
    std::ofstream out("temp.uue", std::ios::binary | std::ios::trunc);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  static StillClock clock;
  static SharedSettings settings;
  static StatusLog log(settings, clock);
  body(log, clock, group);

  // Every file must be one of ours or lie under pictures/ or unknown/.
  for (auto it = fs::recursive_directory_iterator(work, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string rel = fs::relative(it->path(), work).string();
    if (rel == "temp.uue" || rel == "fk.log" || rel == "pictures" || rel == "unknown") continue;
    if (rel.rfind("pictures/", 0) != 0 && rel.rfind("unknown/", 0) != 0) std::abort();
  }
  fs::current_path(home);
  for (auto& entry : fs::directory_iterator(work, ec)) fs::remove_all(entry.path(), ec);
}

}  // namespace fk::fuzz
