#pragma once
// Large work files for the decoder benchmarks: where they go and what they hold.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

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

}  // namespace fk::bench
