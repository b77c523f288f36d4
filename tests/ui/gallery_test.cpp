// SPDX-License-Identifier: GPL-3.0-or-later
// The picture gallery over generated harvests: order, live filing, damaged files, the thumbnail cache,
// the trash and the keys.
#include <QCryptographicHash>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "gallery_pictures.h"
#include "thumbs/thumbnail_loader.h"
#include "ui_fixture.h"

using fk::PictureModel;
using fk::test::GalleryFixture;

namespace {

const QDateTime kOldest = QDateTime::currentDateTime().addDays(-10);

QString read_all(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
}

QString names(const PictureModel& m, int from, int to) {
  QStringList out;
  for (int r = from; r < std::min(to, m.rowCount()); ++r) out << m.index(r).data().toString();
  return out.join(QLatin1Char(' '));
}

QString cache_file(const QString& root, const QString& picture) {
  const QByteArray uri = QUrl::fromLocalFile(picture).toEncoded();
  return root + QStringLiteral("/normal/") +
         QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
}

}  // namespace

class GalleryTest : public QObject {
  Q_OBJECT
 private slots:
  void lists_a_harvest_newest_first_by_group_and_name();
  void pictures_filed_while_open_appear_at_the_top();
  void damaged_files_and_unknown_show_broken_with_their_names();
  void thumbnails_are_cached_and_a_second_opening_reads_no_picture();
  void delete_asks_then_trashes_restorably_and_keeps_filenames_fnk();
  void keys_open_preview_and_filter();
  void blacklist_author_takes_the_author_from_files_log();
};

void GalleryTest::lists_a_harvest_newest_first_by_group_and_name() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a", "alt.b", "alt.c"}, 300, kOldest);
  f.open();
  PictureModel& m = f.model();
  QCOMPARE(m.rowCount(), 300);
  QCOMPARE(names(m, 0, 3), QStringLiteral("pic299.jpg pic298.jpg pic297.jpg"));
  QCOMPARE(m.index(299).data().toString(), QStringLiteral("pic0.jpg"));
  QCOMPARE(m.group_total(), 300);
  for (const auto& folder : m.folders())
    if (folder.kind == PictureModel::FolderKind::Group) QCOMPARE(folder.count, 100);

  m.show_folder(QStringLiteral("pictures/alt.b"));
  QCOMPARE(m.rowCount(), 100);
  QCOMPARE(names(m, 0, 2), QStringLiteral("pic298.jpg pic295.jpg"));
  m.set_name_filter(QStringLiteral("PIC29"));  // case ignored
  QCOMPARE(names(m, 0, 10), QStringLiteral("pic298.jpg pic295.jpg pic292.jpg"));
  m.show_folder(QString());
  QCOMPARE(m.rowCount(), 11);  // pic29 and pic290..299

  // The grid and the folder list show the same: a row per group with its count under "All Groups".
  QTreeWidget* tree = f.window->folders();
  QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("All Groups (300)"));
  QCOMPARE(tree->topLevelItem(0)->child(1)->text(0), QStringLiteral("alt.b (100)"));
  QCOMPARE(f.window->grid()->model()->rowCount(), 11);
}

void GalleryTest::pictures_filed_while_open_appear_at_the_top() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 20, kOldest);
  f.open();
  QListView* grid = f.window->grid();
  grid->setCurrentIndex(f.model().index(5));
  const QString looking_at = grid->currentIndex().data().toString();

  QVERIFY(fk::test::write_picture(f.work.path() + QStringLiteral("/pictures/alt.a/new.jpg"), 1,
                                  QDateTime::currentDateTime()));
  QTRY_COMPARE_WITH_TIMEOUT(f.model().index(0).data().toString(), QStringLiteral("new.jpg"), 5000);
  QCOMPARE(f.model().rowCount(), 21);
  // Rows came in above the one the user was on; it stays the current one.
  QCOMPARE(grid->currentIndex().data().toString(), looking_at);

  // A group folder made meanwhile is found and watched as well.
  QDir(f.work.path()).mkpath(QStringLiteral("pictures/alt.new"));
  QVERIFY(fk::test::write_picture(f.work.path() + QStringLiteral("/pictures/alt.new/first.jpg"), 2,
                                  QDateTime::currentDateTime().addSecs(5)));
  QTRY_COMPARE_WITH_TIMEOUT(f.model().index(0).data().toString(), QStringLiteral("first.jpg"), 5000);
  QTRY_COMPARE_WITH_TIMEOUT(f.window->folders()->topLevelItem(0)->text(0), QStringLiteral("All Groups (22)"), 5000);

  // A picture removed behind the gallery's back goes from the list.
  QFile::remove(f.work.path() + QStringLiteral("/pictures/alt.a/pic19.jpg"));
  QTRY_COMPARE_WITH_TIMEOUT(f.model().rowCount(), 21, 5000);
}

void GalleryTest::damaged_files_and_unknown_show_broken_with_their_names() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 3, kOldest);
  const QString damaged = f.work.path() + QStringLiteral("/pictures/alt.a/torn.jpg");
  QFile file(damaged);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + QByteArray(3000, '\x55'));
  file.close();
  QVERIFY(fk::test::set_mtime(damaged, kOldest.addSecs(100)));
  QDir(f.work.path()).mkpath(QStringLiteral("unknown"));
  QFile wtf(f.work.path() + QStringLiteral("/unknown/WTF00A1B2C3.TXT"));
  QVERIFY(wtf.open(QIODevice::WriteOnly));
  wtf.write("From: someone\n\nno picture here\n");
  wtf.close();

  f.open();
  PictureModel& m = f.model();
  QCOMPARE(m.rowCount(), 4);  // unknown/ is not among the groups' pictures
  QVERIFY(f.thumbnails_settle(4));
  QCOMPARE(m.index(0).data().toString(), QStringLiteral("torn.jpg"));
  QCOMPARE(m.index(0).data(PictureModel::StateRole).toInt(), int(PictureModel::State::Broken));
  QCOMPARE(m.index(1).data(PictureModel::StateRole).toInt(), int(PictureModel::State::Ready));
  // The failure is remembered in the shared cache, under this program's own folder.
  const QDir failures(f.cache_root() + QStringLiteral("/fail/") + fk::ThumbnailCache::fail_folder_name());
  QTRY_COMPARE(failures.entryList(QDir::Files).size(), 1);

  // The folder list has a heading of its own for what did not decode.
  QTreeWidget* tree = f.window->folders();
  QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Not Decoded"));
  tree->setCurrentItem(tree->topLevelItem(1)->child(0));
  QCOMPARE(m.rowCount(), 1);
  QCOMPARE(m.index(0).data().toString(), QStringLiteral("WTF00A1B2C3.TXT"));
  QVERIFY(f.thumbnails_settle(1));
  QCOMPARE(m.index(0).data(PictureModel::StateRole).toInt(), int(PictureModel::State::Broken));
  f.window->grab();  // painting a broken tile must not fail
}

void GalleryTest::thumbnails_are_cached_and_a_second_opening_reads_no_picture() {
  GalleryFixture f;
  const QStringList made = fk::test::make_harvest(f.work.path(), {"alt.a", "alt.b"}, 40, kOldest, 0, 400, 300);
  f.open();
  QVERIFY(f.thumbnails_settle(40));
  QCOMPARE(f.window->loader().pictures_read(), 40);
  f.close();  // the cache is complete once the loader has stopped
  const QString picture = f.work.path() + QLatin1Char('/') + made.last();
  const QImage thumb(cache_file(f.cache_root(), picture), "png");
  QVERIFY(!thumb.isNull());
  QCOMPARE(thumb.text(QStringLiteral("Thumb::URI")), QUrl::fromLocalFile(picture).toString(QUrl::FullyEncoded));
  QCOMPARE(thumb.text(QStringLiteral("Thumb::MTime")),
           QString::number(QFileInfo(picture).lastModified().toSecsSinceEpoch()));
  QCOMPARE(thumb.width(), 128);  // 400 x 300 fitted into the "normal" 128 square
  QCOMPARE(thumb.height(), 96);

  // Spoil every picture but keep its time: only the cache can now give a thumbnail.
  for (const QString& rel : made) {
    const QString path = f.work.path() + QLatin1Char('/') + rel;
    const QDateTime when = QFileInfo(path).lastModified();
    QFile p(path);
    QVERIFY(p.open(QIODevice::WriteOnly));
    p.write(QByteArray(100, 'x'));
    p.close();
    QVERIFY(fk::test::set_mtime(path, when));
  }
  f.open();
  QVERIFY(f.thumbnails_settle(40));
  QCOMPARE(f.window->loader().pictures_read(), 0);
  for (int r = 0; r < 40; ++r)
    QCOMPARE(f.model().index(r).data(PictureModel::StateRole).toInt(), int(PictureModel::State::Ready));

  // A picture changed since (a new time) is read again and no longer trusted to the cache.
  QVERIFY(fk::test::set_mtime(picture, kOldest.addDays(1)));
  f.close();
  f.open();
  QVERIFY(f.thumbnails_settle(40));
  QCOMPARE(f.window->loader().pictures_read(), 1);
}

void GalleryTest::delete_asks_then_trashes_restorably_and_keeps_filenames_fnk() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 5, kOldest);
  const QByteArray filenames = "pic0.jpg\npic1.jpg\npic2.jpg\npic3.jpg\npic4.jpg\n";
  QFile fnk(f.work.path() + QStringLiteral("/FILENAMES.FNK"));
  QVERIFY(fnk.open(QIODevice::WriteOnly));
  fnk.write(filenames);
  fnk.close();
  // A file of that name already in the trash is not replaced.
  QDir().mkpath(f.trash_root() + QStringLiteral("/files"));
  QFile old(f.trash_root() + QStringLiteral("/files/pic4.jpg"));
  QVERIFY(old.open(QIODevice::WriteOnly));
  old.close();

  f.open();
  QListView* grid = f.window->grid();
  grid->setFocus();
  grid->setCurrentIndex(f.model().index(0));
  f.dialogs.queue_answer(fk::Answer::Cancel);
  QTest::keyClick(grid, Qt::Key_Delete);
  QVERIFY(QFile::exists(f.work.path() + QStringLiteral("/pictures/alt.a/pic4.jpg")));

  QTest::keyClick(grid, Qt::Key_Delete);  // answered OK
  QCOMPARE(f.dialogs.boxes().size(), 2u);
  QCOMPARE(f.dialogs.boxes()[1].caption, std::string("Move to Trash"));
  QCOMPARE(f.dialogs.boxes()[1].buttons, fk::Buttons::OkCancel);
  QVERIFY(!QFile::exists(f.work.path() + QStringLiteral("/pictures/alt.a/pic4.jpg")));
  QVERIFY(QFile::exists(f.trash_root() + QStringLiteral("/files/pic4-1.jpg")));
  const QString info = read_all(f.trash_root() + QStringLiteral("/info/pic4-1.jpg.trashinfo"));
  QVERIFY2(info.startsWith(QStringLiteral("[Trash Info]\nPath=") +
                           QUrl::fromLocalFile(f.work.path() + QStringLiteral("/pictures/alt.a/pic4.jpg"))
                               .toString(QUrl::FullyEncoded)
                               .mid(int(qstrlen("file://"))) +
                           QStringLiteral("\nDeletionDate=")),
           qPrintable(info));
  QCOMPARE(read_all(fnk.fileName()).toUtf8(), filenames);
  QTRY_COMPARE_WITH_TIMEOUT(f.model().rowCount(), 4, 5000);
  QCOMPARE(grid->currentIndex().data().toString(), QStringLiteral("pic3.jpg"));
}

void GalleryTest::keys_open_preview_and_filter() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 6, kOldest);
  f.open();
  QListView* grid = f.window->grid();
  grid->setFocus();
  grid->setCurrentIndex(f.model().index(0));
  QTest::keyClick(grid, Qt::Key_Right);
  QCOMPARE(grid->currentIndex().row(), 1);
  QTest::keyClick(grid, Qt::Key_Return);
  QCOMPARE(f.dialogs.opened(),
           std::vector<std::string>{(f.work.path() + QStringLiteral("/pictures/alt.a/pic4.jpg")).toStdString()});

  QTest::keyClick(grid, Qt::Key_Space);
  QVERIFY(f.window->previewing());
  QWidget* preview = QApplication::focusWidget();
  QTest::keyClick(preview, Qt::Key_Right);
  QTest::keyClick(preview, Qt::Key_Space);
  QVERIFY(!f.window->previewing());
  QCOMPARE(grid->currentIndex().data().toString(), QStringLiteral("pic3.jpg"));

  QTest::keyClick(grid, Qt::Key_F, Qt::ControlModifier);
  QTRY_VERIFY(f.window->filter()->hasFocus());
  QTest::keyClicks(f.window->filter(), QStringLiteral("pic 5"));  // a blank is typed, not a preview
  QVERIFY(!f.window->previewing());
  QCOMPARE(f.model().rowCount(), 0);
  QTest::keyClick(f.window->filter(), Qt::Key_Escape);
  QCOMPARE(f.model().rowCount(), 6);
}

void GalleryTest::blacklist_author_takes_the_author_from_files_log() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 2, kOldest);
  QFile log(f.work.path() + QStringLiteral("/files.log"));
  QVERIFY(log.open(QIODevice::WriteOnly));
  log.write("            pic1.jpg\t     100\t Old Name <o@x>\tfirst post\n"
            "            pic0.jpg\t     200\t Other <p@x>\tanother\n"
            "            pic1.jpg\t     300\t  Some One <s@x> \trepost (1/1)\n");
  log.close();
  f.open();
  f.window->grid()->setCurrentIndex(f.model().index(0));  // pic1.jpg
  f.window->blacklist_current_author();
  QCOMPARE(f.blacklisted, std::vector<std::string>{" Some One <s@x> "});

  f.window->grid()->setCurrentIndex(f.model().index(1));
  QFile::remove(log.fileName());
  f.window->blacklist_current_author();
  QCOMPARE(f.blacklisted.size(), 1u);
  QCOMPARE(f.dialogs.boxes().back().caption, std::string("Blacklist Author"));
}

QTEST_MAIN(GalleryTest)
#include "gallery_test.moc"
