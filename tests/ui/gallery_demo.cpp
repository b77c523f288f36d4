// SPDX-License-Identifier: GPL-3.0-or-later
// Not shipped: the picture gallery over a folder of generated pictures, saved as screenshots for a
// person to judge the look (run under xvfb-run).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "demo_state.h"
#include "gallery_pictures.h"
#include "ui/gallery_window.h"
#include "ui/picture_model.h"
#include "thumbs/thumbnail_loader.h"

namespace {

void settle(fk::GalleryWindow& g) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 10000 && (!g.model().loaded() || g.loader().queued() > 0)) QTest::qWait(50);
  QTest::qWait(200);
}

}  // namespace

// Usage: gallery_demo OUT_PREFIX [--dark]   writes OUT_PREFIX-grid.png, -group.png, -unknown.png,
// -preview.png and -duplicates.png; --dark uses a dark palette.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gallery_demo OUT_PREFIX [--dark]\n");
    return 2;
  }
  if (argc > 2 && QByteArray(argv[2]) == "--dark") {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(fk::test::dark_palette());
  }
  const QString prefix = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  QDir::setCurrent(work.path());
  qputenv("XDG_CACHE_HOME", QFile::encodeName(work.path() + QStringLiteral("/cache")));

  const QDateTime oldest = QDateTime::currentDateTime().addDays(-3);
  fk::test::make_harvest(work.path(), {"alt.binaries.pictures.landscapes", "alt.binaries.pictures.animals",
                                       "alt.pictures.misc"},
                         240, oldest, 0, 640, 480);
  QFile damaged(work.path() + QStringLiteral("/pictures/alt.pictures.misc/damaged.jpg"));
  damaged.open(QIODevice::WriteOnly);
  damaged.write(QByteArray("\xFF\xD8\xFF\xE0 this picture stopped half way", 40));
  damaged.close();
  // A photo filed twice, once resized, for the duplicates view.
  fk::test::write_photo(work.path() + QStringLiteral("/pictures/alt.pictures.misc/harbour.jpg"), 3, 800, 600);
  fk::test::write_photo(work.path() + QStringLiteral("/pictures/alt.binaries.pictures.landscapes/harbour-small.jpg"),
                        3, 400, 300, "JPEG", 60);
  QDir(work.path()).mkpath(QStringLiteral("unknown"));
  QFile wtf(work.path() + QStringLiteral("/unknown/WTF0012AB34.TXT"));
  wtf.open(QIODevice::WriteOnly);
  wtf.write("Path: not a picture\n\nsome text article\n");
  wtf.close();

  fk::GalleryWindow gallery(fk::GalleryServices{});
  gallery.resize(1100, 720);
  gallery.show();
  settle(gallery);
  gallery.grab().save(prefix + QStringLiteral("-grid.png"));

  QTreeWidget* folders = gallery.folders();
  for (QTreeWidgetItem* item : folders->findItems(QStringLiteral("alt.pictures.misc"),
                                                  Qt::MatchStartsWith | Qt::MatchRecursive))
    folders->setCurrentItem(item);
  settle(gallery);
  gallery.grab().save(prefix + QStringLiteral("-group.png"));

  for (QTreeWidgetItem* item : folders->findItems(QStringLiteral("unknown/"), Qt::MatchStartsWith | Qt::MatchRecursive))
    folders->setCurrentItem(item);
  settle(gallery);
  gallery.grab().save(prefix + QStringLiteral("-unknown.png"));

  folders->setCurrentItem(folders->topLevelItem(0));
  settle(gallery);
  gallery.grid()->setCurrentIndex(gallery.model().index(4));
  gallery.toggle_preview();
  settle(gallery);
  gallery.grab().save(prefix + QStringLiteral("-preview.png"));
  gallery.toggle_preview();
  gallery.show_duplicates(true);
  for (int i = 0; i < 200 && !gallery.duplicates_ready(); ++i) QTest::qWait(50);
  settle(gallery);
  gallery.grid()->setCurrentIndex(gallery.model().index(0));
  QTest::qWait(100);
  gallery.grab().save(prefix + QStringLiteral("-duplicates.png"));
  std::printf("saved %s-*.png\n", qPrintable(prefix));
  return 0;
}
