// SPDX-License-Identifier: GPL-3.0-or-later
// A realistic harvest in progress for the window's screenshots.
#include "demo_state.h"

#include <array>
#include <cstdio>

namespace fk::test {

void fill_demo_containers(PendingQueue& pending, HistoryBuffer& ids, HistoryBuffer& files,
                          HistoryBuffer& bozos) {
  const std::array<const char*, 6> authors{
      "Jane Doe <jane@example.org>", "dunewalker@example.net", "\"Photo Bob\" <bob@pics.example.com>",
      "nightsky@example.org (Ana)",  "kestrel@example.com",    "Old Timer <ot@example.net>"};
  const std::array<const char*, 6> subjects{"Sunset over the dunes [1/1] - \"sunset_dunes.jpg\" yEnc (1/1)",
                                            "Fennec fox at the waterhole - fennec_03.jpg (1/1)",
                                            "Desert bloom after rain [01/01] desert_bloom.jpg",
                                            "Milky Way over Erg Chebbi - milkyway_erg.gif (1/1)",
                                            "Kestrel in flight, 1600x1200 - kestrel.jpg [1/1]",
                                            "Old map of the caravan routes - caravan_map.jpg (1/1)"};
  for (int i = 0; i < 37; ++i) {
    char row[512];
    std::snprintf(row, sizeof row, "%d\t%s\t%d\t%s", 4012345 + i * 7, authors[i % authors.size()],
                  900 + (i * 337) % 4000, subjects[i % subjects.size()]);
    pending.append(row);
  }
  for (int i = 0; i < 40; ++i) {
    char id[128];
    std::snprintf(id, sizeof id, "<%08x.%d@news.example.net>", 0x5a3c1f00u + static_cast<unsigned>(i) * 977,
                  1200 + i);
    ids.add_at_top(id, 2500);
    char name[128];
    std::snprintf(name, sizeof name, "%s_%02d.jpg", i % 2 ? "fennec" : "sunset_dunes", i);
    files.add_at_top(name, 5000);
  }
  for (const char* bozo : {"spammer@example.com", "buy-now@example.biz", "repost-bot@example.net"})
    bozos.add_at_top(bozo, 500);
}

void fill_demo_controls(View& view) {
  view.set_text(ControlId::ConnectionStatus, "news.example.net (1 connection attempts)");
  view.set_text(ControlId::GroupName, "alt.binaries.pictures.nature.desert");
  view.set_text(ControlId::GroupCounter, "3 of 12 news groups");
  view.set_progress_range(ControlId::GroupsProgress, 0, 12);
  view.set_progress(ControlId::GroupsProgress, 3);
  view.set_text(ControlId::SchedulerStatus, "Scheduler: Disabled");
  view.set_text(ControlId::Throughput,
                "1843200 bytes in 00:12:41 (Avg:2420 bytes/s, Last Min.:3107 bytes/s, Peak:5120 bytes/s)");
  view.set_text(
      ControlId::PictureSummary,
      "14 picture(s) downloaded from 15 articles, 212 duplicates skipped, 2 base64, 1 unknown format");
  view.set_text(ControlId::PendingBox, "  37 Pending Downloads");
  view.set_text(ControlId::DownloadStatus, "Line 1210 of 2874 ( 42% )");
  view.set_progress(ControlId::ArticleProgress, 42);
  view.set_text(ControlId::ArticleIdLabel, "40 Article ID's");
  view.set_text(ControlId::FilenamesLabel, "40 Downloaded Files");
  view.set_text(ControlId::BlacklistLabel, "3 Blacklisted Bozos");
  view.set_enabled(ControlId::StartButton, false);
  view.set_enabled(ControlId::StopButton, true);
}

QPalette dark_palette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 48));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 32));
  dark.setColor(QPalette::AlternateBase, QColor(50, 50, 54));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(55, 55, 60));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::ToolTipBase, QColor(55, 55, 60));
  dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
  dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
  dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
  dark.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
  return dark;
}

}  // namespace fk::test
