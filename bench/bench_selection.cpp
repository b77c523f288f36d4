// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the overview-line chain: realistic lines through ArticleSelector::examine with full histories.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/null_view.h"
#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "session/article_selection.h"

namespace {

using fk::test::NullDialogs;
using fk::test::NullView;

constexpr std::int64_t kFirst = 3'500'000'000;  // beyond 2^31, as on large servers
constexpr std::size_t kLines = 1'000'000;
constexpr std::size_t kHistory = 32'700;
constexpr std::size_t kBozos = 500;

// Joins texts (operator+ chains trip a false -Wrestrict warning in g++ 12).
template <class... T>
std::string cat(const T&... parts) {
  std::string s;
  (s.append(std::string_view(parts)), ...);
  return s;
}
std::string num(std::size_t n) {
  return std::to_string(n);
}

std::string message_id(std::size_t n) {
  return cat("<part", num(n), ".x7Kq2@news.example.com>");
}
std::string file_name(std::size_t n) {
  return cat("holiday_", num(n), ".jpg");
}
std::string bozo(std::size_t n) {
  return cat("spammer", num(n), "@example.net");
}

// The histories, the settings and one million overview lines, made once.
struct World {
  fk::test::TempDir dir;
  fk::SharedSettings settings;
  fk::SessionState state;
  fk::test::FakeClock clock;  // Mon 7 Dec 2026
  fk::StatusLog log{settings, clock};
  fk::DownloadLog files_log{settings};
  NullView view;
  NullDialogs dialogs;
  fk::PendingQueue pending;
  fk::HistoryBuffer ids{"HISTORY.FNK"}, names{"FILENAMES.FNK"}, bozos{"BOZOS.FNK"};
  fk::Decoders decoders{log, clock};
  fk::StatvfsDiskSpace disk;
  fk::EngineContext ctx{settings, state, log, files_log, clock, view, dialogs, pending, ids, names, bozos, decoders, disk};
  std::vector<std::string> lines;

  World() {
    settings.update([](fk::Settings& s) {
      s.max_art_per_grp = 5000;
      s.detailed_status_logging_enabled = 0;  // as a user has it; status logging itself stays on
    });
    std::string a, b, c;
    for (std::size_t i = 0; i < kHistory; ++i) a += cat(message_id(i), "\n"), b += cat(file_name(i), "\n");
    for (std::size_t i = 0; i < kBozos; ++i) c += cat(bozo(i), "\n");
    fk::test::write_file("HISTORY.FNK", a);
    fk::test::write_file("FILENAMES.FNK", b);
    fk::test::write_file("BOZOS.FNK", c);
    ids.load_history(kHistory + 1, log);
    names.load_history(kHistory + 1, log);
    bozos.load_history(kBozos + 1, log);

    static const char* kWeekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::mt19937 rng(20261207);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    lines.reserve(kLines);
    for (std::size_t i = 0; i < kLines; ++i) {
      const std::size_t kind = pick(100);
      const std::string n = num(i), number = num(static_cast<std::size_t>(kFirst) + i);
      std::string subject, author = cat("poster", num(pick(3000)), "@mail.example.org (Poster)");
      std::string id = cat("<", number, ".Zq9@reader.example.com>");
      if (kind < 4) {
        id = message_id(pick(kHistory));  // fetched before
        subject = cat("beach_", n, ".jpg (1/1)");
      } else if (kind < 7) {
        subject = cat("[repost] ", file_name(pick(kHistory)), " (1/1)");  // file fetched before
      } else if (kind < 10 && i > 0) {
        subject = cat("sunset_", num(i - 1), ".jpg (1/1)");  // posted twice in a row
      } else if (kind < 35) {
        subject = cat("sunset_", n, ".jpg (1/1)");
      } else if (kind < 50) {
        subject = cat("[Pics] ", n, " - \"IMG_", num(i % 9000), ".JPG\" yEnc (01/01)");
      } else if (kind < 60) {
        subject = cat("big_", n, ".gif (", num(1 + pick(3)), "/3)");
      } else if (kind < 70) {
        subject = cat("Re: where can I find the rest of series ", num(i % 500), "?");
      } else if (kind < 75) {
        subject = cat("FREE pictures at http://spam.example/", n);
      } else if (kind < 80) {
        author = bozo(pick(kBozos));
        subject = cat("best_", n, ".jpg (1/1)");
      } else if (kind < 90) {
        subject = cat("A long subject line that goes on describing the scenery of picture number ", n,
                      " taken on holiday in the mountains last summer - mountains_", n, ".jpg (1/1)");
      } else {
        subject = cat("scan", n, ".png (1/1)");
      }
      char date[64];
      if (pick(20) == 0)
        std::snprintf(date, sizeof date, "%zu %s 97 12:00:00 GMT", 1 + pick(28), kMonths[pick(12)]);
      else
        std::snprintf(date, sizeof date, "%s, %02zu %s %zu %02zu:%02zu:%02zu +0000", kWeekdays[pick(7)],
                      1 + pick(28), kMonths[pick(12)], 2025 + pick(2), pick(24), pick(60), pick(60));
      std::string line = cat(number, "\t", subject, "\t", author, "\t", date, "\t", id, "\t<ref", n, "@x>\t",
                             num(20000 + pick(400000)), "\t", num(100 + pick(8000)),
                             "\tXref: news.example.com alt.binaries.pictures:", number);
      lines.push_back(std::move(line));
    }
  }
};

World& world() {
  static World w;
  return w;
}

// The lines split into groups of `group_size`, each with its own scan and an emptied pending list.
void run(benchmark::State& state, std::size_t group_size) {
  World& w = world();
  std::int64_t accepted = 0;
  for (auto _ : state) {
    for (std::size_t g = 0; g < w.lines.size(); g += group_size) {
      w.pending.clear();
      std::size_t end = std::min(w.lines.size(), g + group_size);
      fk::ArticleSelector selector(w.ctx, "alt.binaries.pictures", kFirst + static_cast<std::int64_t>(g),
                                   kFirst + static_cast<std::int64_t>(end) - 1);
      for (std::size_t i = g; i < end; ++i) selector.examine(w.lines[i]);
      accepted += selector.selected();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * w.lines.size()));
  state.counters["selected_per_pass"] =
      benchmark::Counter(static_cast<double>(accepted) / static_cast<double>(state.iterations()));
}

// One group of a million lines: the limit of 5,000 is reached early and the rest stop at the first test.
void BM_SelectionOneGroup(benchmark::State& state) {
  run(state, kLines);
}
// Fifty groups of 20,000 lines: the limit is seldom reached, so most lines run the whole chain.
void BM_SelectionSmallGroups(benchmark::State& state) {
  run(state, 20'000);
}

BENCHMARK(BM_SelectionOneGroup)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SelectionSmallGroups)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
