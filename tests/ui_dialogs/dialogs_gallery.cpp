// SPDX-License-Identifier: GPL-3.0-or-later
// Saves a picture of each dialog (and each setup page) into the folder given, for a person to judge.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QListView>
#include <QTimer>

#include "app/group_list_refresher.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"
#include "demo_state.h"
#include "server/news_content.h"
#include "session/session_state.h"
#include "store/status_log.h"
#include "ui/bozo_dialog.h"
#include "ui/groups_dialog.h"
#include "ui/setup_sheet.h"

namespace {

void settle(int ms = 200) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

void save(QWidget& w, const QString& dir, const QString& name) {
  settle();
  w.grab().save(dir + "/" + name + ".png");
}

}  // namespace

// Usage: dialogs_gallery [DIR] [--dark]
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".")).absolutePath();
  if (QApplication::arguments().contains(QStringLiteral("--dark"))) {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(fk::test::dark_palette());
  }
  fk::test::TempDir dir;
  fk::test::FakeClock clock;
  fk::test::RecordingDialogs dialogs;
  fk::Settings s;
  s.news_server = "news.example.net";
  s.user = "reader";
  s.pass = "secret";
  fk::SharedSettings settings(s);
  fk::StatusLog log(settings, clock);
  fk::SessionState state;

  fk::SetupSheet sheet(settings, dialogs, log);
  sheet.show();
  for (int i = 0; i < sheet.page_count(); ++i) {
    sheet.select_page(i);
    save(sheet, out, QStringLiteral("setup-%1").arg(i + 1));
  }
  sheet.hide();

  fk::test::write_file("BOZOS.FNK", "spammer@example.com\nPicture Poster <pp@example.org>\nanon@nowhere\n");
  fk::BozoDialog bozo(500, log);
  bozo.show();
  save(bozo, out, QStringLiteral("bozo"));
  bozo.hide();

  std::string newsrc;
  for (const char* g : {"alt.binaries.pictures.nature", "rec.photo.digital", "alt.binaries.pictures.erotica"})
    newsrc += std::string(" ") + g + "\n";
  for (int i = 0; i < 400; ++i)
    newsrc += "#alt.binaries.group" + std::to_string(i) +
              (i % 7 == 0 ? ".a.rather.long.name.with.more.parts" : "") + "\n";
  fk::test::write_file("newsrc.new", newsrc);
  struct NoRefresh final : fk::GroupListRefresher {
    void refresh(fk::RefreshSink& sink) override { sink.title(fk::kRefreshDoneTitle); }
  } refresher;
  fk::GroupsDialog groups(state, dialogs, log, clock, refresher);
  groups.show();
  settle(500);
  save(groups, out, QStringLiteral("groups"));
  groups.hide();

  // A large server's list with a filter typed.
  newsrc.clear();
  for (std::size_t i = 0; i < 300000; ++i) {
    newsrc += i % 5000 == 3 ? ' ' : '#';
    newsrc += fk::test::generated_group_name(i);
    newsrc += '\n';
  }
  fk::test::write_file("newsrc.new", newsrc);
  fk::GroupsDialog large(state, dialogs, log, clock, refresher);
  large.show();
  settle(1500);
  large.filter_field()->setText(QStringLiteral("pictures.n12"));
  save(large, out, QStringLiteral("groups-filtered"));
  return 0;
}
