// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Large work files for the decoder benchmarks: where they go, what they hold, and the decoders that
// read them in a folder of their own.

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "decode/decoders.h"
#include "decode/work_file.h"
#include "store/clock.h"
#include "store/settings.h"
#include "store/status_log.h"

namespace fk::bench {

// $FK_BENCH_DIR, else /tmp/fennick-bench; made if missing. Kept between runs: the files are large.
inline std::filesystem::path bench_dir() {
  const char* env = std::getenv("FK_BENCH_DIR");
  std::filesystem::path dir = env && *env ? std::filesystem::path(env) : std::filesystem::path("/tmp/fennick-bench");
  std::filesystem::create_directories(dir);
  return std::filesystem::absolute(dir);
}

// n bytes of xorshift noise, the same every run: pictures compress about as badly.
inline std::string payload(std::size_t n) {
  std::string s(n, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x);
  }
  return s;
}

// Writes like `cat > file`: into the page cache, without waiting for the disk; counts the bytes written.
class PageCacheWriter : public FileWriter {
 public:
  ssize_t write(int fd, const void* data, std::size_t size) override {
    ssize_t n = FileWriter::write(fd, data, size);
    if (n > 0) bytes += static_cast<std::uint64_t>(n);
    return n;
  }
  int sync(int) override { return 0; }
  std::uint64_t bytes = 0;
};

// A fresh folder `name` beside the inputs, with pictures/ and unknown/; the current folder while it
// lives, removed afterwards.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string& name) : path_(bench_dir() / name), previous_(std::filesystem::current_path()) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_ / "pictures");
    std::filesystem::create_directories(path_ / "unknown");
    std::filesystem::current_path(path_);
  }
  ~WorkFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  // Removes what the last run decoded or kept, between timed runs.
  void clear_output() const {
    std::filesystem::remove_all(path_ / "pictures" / "alt.pictures");
    std::filesystem::remove_all(path_ / "parts");
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// Decoders working in their own WorkFolder. They write to the page cache unless `synced`: the program
// syncs each picture before moving it into place, and the _Synced figures include that wait.
struct DecodeRig {
  explicit DecodeRig(const std::string& folder_name, bool synced = false) : folder(folder_name) {
    if (!synced) decoders.set_file_writer(page_cache);
  }

  WorkFolder folder;  // first: made before the log and the decoders, removed after them
  SystemClock clock;
  SharedSettings settings;
  StatusLog log{settings, clock};
  Decoders decoders{log, clock};
  PageCacheWriter page_cache;
};

}  // namespace fk::bench
