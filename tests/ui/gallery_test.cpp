// SPDX-License-Identifier: GPL-3.0-or-later
// The picture gallery over generated harvests: order, live filing, damaged files, the thumbnail cache,
// the trash and the keys.
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>

#include "gallery_pictures.h"
#include "store/status_log.h"
#include "thumbs/thumbnail_loader.h"
#include "ui/picture_hash.h"
#include "ui/picture_index_keeper.h"
#include "ui/picture_model.h"
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
  void many_selected_go_to_the_trash_at_once_and_ctrl_z_brings_them_back();
  void sorts_by_name_size_and_group_and_filters_with_wildcards();
  void size_keys_info_panel_full_screen_and_slideshow();
  void opens_beside_its_owner_and_never_larger_than_the_screen();
  void the_shape_hash_finds_resized_and_reencoded_copies_only();
  void duplicates_are_grouped_kept_first_and_spares_go_with_one_key();
  void the_window_keeps_the_hash_index_as_pictures_are_filed();
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

// Shift and Ctrl select many; one question, one undo for them all, and a name taken meanwhile is kept.
void GalleryTest::many_selected_go_to_the_trash_at_once_and_ctrl_z_brings_them_back() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a", "alt.b"}, 6, kOldest);
  f.open();
  QListView* grid = f.window->grid();
  grid->setFocus();
  // Newest first: pic5 (alt.b), pic4 (alt.a), pic3 ... pic0.
  grid->setCurrentIndex(f.model().index(0));
  QTest::keyClick(grid, Qt::Key_Right, Qt::ShiftModifier);
  QTest::keyClick(grid, Qt::Key_Right, Qt::ShiftModifier);
  const QRect last = grid->visualRect(f.model().index(4));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier, last.center());
  QCOMPARE(grid->selectionModel()->selectedIndexes().size(), 4);
  QTest::keyClick(grid, Qt::Key_Delete);  // answered OK
  QCOMPARE(f.dialogs.boxes().size(), 1u);
  QCOMPARE(f.dialogs.boxes()[0].text.substr(0, 21), std::string("Move 4 pictures to th"));
  const QString a = f.work.path() + QStringLiteral("/pictures/alt.a/");
  const QString b = f.work.path() + QStringLiteral("/pictures/alt.b/");
  for (const QString& gone : {b + "pic5.jpg", a + "pic4.jpg", b + "pic3.jpg", b + "pic1.jpg"})
    QVERIFY2(!QFile::exists(gone), qPrintable(gone));
  QTRY_COMPARE_WITH_TIMEOUT(f.model().rowCount(), 2, 5000);

  // Meanwhile a new pic4.jpg was filed: it stays, and the old one stays in the trash.
  QVERIFY(fk::test::write_picture(a + "pic4.jpg", 99, QDateTime::currentDateTime()));
  QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
  for (const QString& back : {b + "pic5.jpg", b + "pic3.jpg", b + "pic1.jpg"})
    QVERIFY2(QFile::exists(back), qPrintable(back));
  QVERIFY(QFile::exists(f.trash_root() + QStringLiteral("/files/pic4.jpg")));
  QVERIFY(QFile::exists(f.trash_root() + QStringLiteral("/info/pic4.jpg.trashinfo")));
  QVERIFY(!QFile::exists(f.trash_root() + QStringLiteral("/info/pic5.jpg.trashinfo")));
  QVERIFY(!QFile::exists(f.trash_root() + QStringLiteral("/files/pic5.jpg")));
  QTRY_COMPARE_WITH_TIMEOUT(f.model().rowCount(), 6, 5000);
  // A second Ctrl+Z has nothing left to bring back.
  QVERIFY(!f.window->undo_trash());
}

void GalleryTest::sorts_by_name_size_and_group_and_filters_with_wildcards() {
  GalleryFixture f;
  const QString dir = f.work.path() + QStringLiteral("/pictures/");
  QDir().mkpath(dir + "b.group");
  QDir().mkpath(dir + "a.group");
  QVERIFY(fk::test::write_picture(dir + "b.group/Zebra.jpg", 1, kOldest.addSecs(30), 300, 200));
  QVERIFY(fk::test::write_picture(dir + "b.group/apple.png.jpg", 2, kOldest.addSecs(10), 40, 30));
  QVERIFY(fk::test::write_picture(dir + "a.group/mango.gif", 3, kOldest.addSecs(20), 120, 90));
  f.open();
  auto names = [&] {
    QStringList out;
    for (int r = 0; r < f.model().rowCount(); ++r) out << f.model().index(r).data().toString();
    return out;
  };
  QCOMPARE(names(), (QStringList{"Zebra.jpg", "mango.gif", "apple.png.jpg"}));
  QComboBox* sort = f.window->sort_choice();
  sort->setCurrentIndex(1);
  QCOMPARE(names(), (QStringList{"apple.png.jpg", "mango.gif", "Zebra.jpg"}));
  sort->setCurrentIndex(2);
  QCOMPARE(names(), (QStringList{"Zebra.jpg", "mango.gif", "apple.png.jpg"}));
  QVERIFY(QFileInfo(dir + "b.group/Zebra.jpg").size() > QFileInfo(dir + "a.group/mango.gif").size());
  sort->setCurrentIndex(3);
  QCOMPARE(names(), (QStringList{"mango.gif", "Zebra.jpg", "apple.png.jpg"}));

  // The groups dialog's rules: a pattern matches the whole name, letter case ignored; plain text is a part.
  f.window->filter()->setText(QStringLiteral("*.JPG"));
  QCOMPARE(names(), (QStringList{"Zebra.jpg", "apple.png.jpg"}));
  f.window->filter()->setText(QStringLiteral("?ango*"));
  QCOMPARE(names(), (QStringList{"mango.gif"}));
  f.window->filter()->setText(QStringLiteral("png"));
  QCOMPARE(names(), (QStringList{"apple.png.jpg"}));
}

void GalleryTest::size_keys_info_panel_full_screen_and_slideshow() {
  GalleryFixture f;
  fk::test::make_harvest(f.work.path(), {"alt.a"}, 3, kOldest, 0, 320, 240);
  QFile log(f.work.path() + QStringLiteral("/files.log"));
  QVERIFY(log.open(QIODevice::WriteOnly));
  log.write(fk::files_log_line("pic2.jpg", 1234, "Some Poster <p@example.org>\tHarbour at dusk (1/1)").c_str());
  log.close();
  f.open();
  QListView* grid = f.window->grid();
  grid->setFocus();
  const int edge = f.window->thumbnail_edge();
  const QSize tile = grid->gridSize();
  QTest::keyClick(grid, Qt::Key_Plus, Qt::ControlModifier);
  QCOMPARE(f.window->thumbnail_edge(), edge + 16);
  QVERIFY(grid->gridSize().width() > tile.width());
  QTest::keyClick(grid, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(grid, Qt::Key_Minus, Qt::ControlModifier);
  QCOMPARE(f.window->thumbnail_edge(), edge - 16);
  f.window->set_thumbnail_edge(10000);
  QCOMPARE(f.window->thumbnail_edge(), 256);

  grid->setCurrentIndex(f.model().index(0));
  const QString info = f.window->info_panel()->text();
  for (const char* part : {"pic2.jpg", "Dimensions: 320 x 240", "Group: alt.a", "Author: Some Poster <p@example.org>",
                           "Subject: Harbour at dusk (1/1)", "Size: "})
    QVERIFY2(info.contains(QString::fromUtf8(part)), qPrintable(info));

  QTest::keyClick(grid, Qt::Key_F11);
  QTRY_VERIFY(f.window->isFullScreen());
  QTest::keyClick(grid, Qt::Key_F11);
  QTRY_VERIFY(!f.window->isFullScreen());

  QTest::keyClick(grid, Qt::Key_F5);
  QVERIFY(f.window->previewing());
  QVERIFY(f.window->slideshow_running());
  QTest::keyClick(f.window->findChild<QWidget*>(QStringLiteral("picturePreview")), Qt::Key_Escape);
  QVERIFY(!f.window->slideshow_running());
  QVERIFY(!f.window->previewing());
}

void GalleryTest::opens_beside_its_owner_and_never_larger_than_the_screen() {
  GalleryFixture f;
  const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
  for (const QRect& owner_place : {QRect(room.topLeft(), QSize(room.width() / 3, room.height() / 2)),
                                   QRect(room.topLeft() + QPoint(room.width() * 2 / 3, 0),
                                         QSize(room.width() / 3, room.height() / 2))}) {
    QWidget owner;
    owner.setGeometry(owner_place);
    owner.show();
    fk::GalleryServices services;
    services.dialogs = &f.dialogs;
    auto* gallery = new fk::GalleryWindow(std::move(services), &owner);
    gallery->resize(room.size() * 2);  // larger than any screen
    gallery->present();
    const QRect g = gallery->geometry();
    QVERIFY2(room.contains(g), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())));
    QVERIFY(!g.contains(owner.geometry().center()) || g.width() > room.width() * 2 / 3);
  }
  // Where there is room, it stands clear of its owner, on the right.
  QWidget owner;
  owner.setGeometry(QRect(room.topLeft(), QSize(room.width() / 4, room.height() / 3)));
  owner.show();
  fk::GalleryServices services;
  services.dialogs = &f.dialogs;
  auto* gallery = new fk::GalleryWindow(std::move(services), &owner);
  gallery->resize(room.width() / 3, room.height() / 2);
  gallery->present();
  QVERIFY(gallery->geometry().left() > owner.frameGeometry().right());
}

void GalleryTest::the_shape_hash_finds_resized_and_reencoded_copies_only() {
  QTemporaryDir dir;
  const QString original = dir.filePath("original.jpg"), resized = dir.filePath("resized.jpg"),
                reencoded = dir.filePath("reencoded.png"), other = dir.filePath("other.jpg");
  QVERIFY(fk::test::write_photo(original, 7, 800, 600, "JPEG", 90));
  QVERIFY(fk::test::write_photo(other, 8, 800, 600, "JPEG", 90));
  QVERIFY(QImage(original).scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(resized, "JPEG", 40));
  QVERIFY(QImage(original).save(reencoded, "PNG"));
  fk::PictureHash a, b, c, d;
  QVERIFY(fk::hash_picture_file(original, a) && fk::hash_picture_file(resized, b) &&
          fk::hash_picture_file(reencoded, c) && fk::hash_picture_file(other, d));
  QCOMPARE(a.pixels, qint64(800 * 600));
  QVERIFY(a.content != b.content && a.content != c.content);
  QVERIFY2(fk::hamming_distance(a.shape, b.shape) <= fk::kDefaultDuplicateDistance,
           qPrintable(QString::number(fk::hamming_distance(a.shape, b.shape))));
  QVERIFY(fk::hamming_distance(a.shape, c.shape) <= fk::kDefaultDuplicateDistance);
  QVERIFY2(fk::hamming_distance(a.shape, d.shape) > 16, qPrintable(QString::number(fk::hamming_distance(a.shape, d.shape))));
  QVERIFY(fk::colours_close(a.colour, b.colour) && fk::colours_close(a.colour, c.colour));
  // Two drawings alike in grey, in other colours (the generated gradients), are not copies.
  QVERIFY(fk::test::write_picture(dir.filePath("green.jpg"), 2, QDateTime::currentDateTime(), 320, 240));
  QVERIFY(fk::test::write_picture(dir.filePath("purple.jpg"), 5, QDateTime::currentDateTime(), 320, 240));
  fk::PictureHash g, p;
  QVERIFY(fk::hash_picture_file(dir.filePath("green.jpg"), g) && fk::hash_picture_file(dir.filePath("purple.jpg"), p));
  QVERIFY(fk::find_duplicates({g, p}).empty());
  QCOMPARE(fk::difference_hash(QImage()), std::uint64_t{0});
}

void GalleryTest::duplicates_are_grouped_kept_first_and_spares_go_with_one_key() {
  GalleryFixture f;
  const QString dir = f.work.path() + QStringLiteral("/pictures/");
  QDir().mkpath(dir + "alt.a");
  QDir().mkpath(dir + "alt.b");
  QVERIFY(fk::test::write_photo(dir + "alt.a/harbour.jpg", 1, 640, 480));
  QVERIFY(fk::test::write_photo(dir + "alt.b/harbour-small.jpg", 1, 320, 240, "JPEG", 50));
  QVERIFY(QFile::copy(dir + "alt.a/harbour.jpg", dir + "alt.b/harbour-again.jpg"));
  QVERIFY(fk::test::set_mtime(dir + "alt.b/harbour-again.jpg", kOldest));  // older: kept over its twin
  QVERIFY(fk::test::write_photo(dir + "alt.a/meadow.jpg", 2, 640, 480));
  f.open();
  QCOMPARE(f.model().rowCount(), 4);
  QTest::keyClick(f.window->grid(), Qt::Key_D, Qt::ControlModifier);
  QTRY_VERIFY_WITH_TIMEOUT(f.window->duplicates_ready(), 10000);
  QCOMPARE(f.model().rowCount(), 3);
  QCOMPARE(f.model().relative_path(0), QStringLiteral("pictures/alt.b/harbour-again.jpg"));
  QCOMPARE(f.model().index(0).data(fk::PictureModel::DuplicateRole).toString(), QStringLiteral("Copies 1: keep"));
  QCOMPARE(f.model().relative_path(2), QStringLiteral("pictures/alt.b/harbour-small.jpg"));
  QVERIFY(QFile::exists(f.work.path() + "/PICHASH.FNK"));

  f.window->grid()->setFocus();
  QTest::keyClick(f.window->grid(), Qt::Key_Delete, Qt::ShiftModifier);  // answered OK
  QCOMPARE(f.dialogs.boxes().back().text.substr(0, 21), std::string("Move 2 pictures to th"));
  QVERIFY(QFile::exists(dir + "alt.b/harbour-again.jpg"));
  QVERIFY(!QFile::exists(dir + "alt.a/harbour.jpg"));
  QVERIFY(!QFile::exists(dir + "alt.b/harbour-small.jpg"));
  QVERIFY(QFile::exists(dir + "alt.a/meadow.jpg"));

  // Off again: the whole harvest; a second search reads its hashes from the index, not the pictures.
  QTest::keyClick(f.window->grid(), Qt::Key_D, Qt::ControlModifier);
  QTRY_COMPARE_WITH_TIMEOUT(f.model().rowCount(), 2, 5000);
  const auto meadow_line = [&] {
    const QStringList lines = read_all(f.work.path() + "/PICHASH.FNK").split('\n');
    for (const QString& line : lines)
      if (line.startsWith("pictures/alt.a/meadow.jpg\t")) return line;
    return QString();
  };
  const QString meadow = meadow_line();
  QVERIFY(!meadow.isEmpty());
  QFile spoiled(dir + "alt.a/meadow.jpg");
  const QDateTime kept_time = QFileInfo(spoiled).lastModified();
  QVERIFY(spoiled.open(QIODevice::ReadWrite));
  spoiled.write("not a picture any more");  // same size and time: only the index can still know it
  spoiled.close();
  QVERIFY(fk::test::set_mtime(spoiled.fileName(), kept_time));
  QTest::keyClick(f.window->grid(), Qt::Key_D, Qt::ControlModifier);
  QTRY_VERIFY_WITH_TIMEOUT(f.window->duplicates_ready(), 10000);
  QCOMPARE(f.model().rowCount(), 0);
  QCOMPARE(meadow_line(), meadow);
  QVERIFY(!read_all(f.work.path() + "/PICHASH.FNK").contains("harbour-small"));

  // With the view off, a picture filed meanwhile joins the index without a search.
  QTest::keyClick(f.window->grid(), Qt::Key_D, Qt::ControlModifier);
  QVERIFY(fk::test::write_photo(dir + "alt.b/filed-later.jpg", 4, 320, 240));
  QTRY_VERIFY_WITH_TIMEOUT(read_all(f.work.path() + "/PICHASH.FNK").contains("pictures/alt.b/filed-later.jpg\t"),
                           20000);
}

// No gallery open: the index is made when missing, follows filings and removals, and a failed write is
// reported rather than taken for done.
void GalleryTest::the_window_keeps_the_hash_index_as_pictures_are_filed() {
  QTemporaryDir work;
  const QString dir = work.path() + "/pictures/";
  const QString index = work.path() + "/PICHASH.FNK";
  for (const char* sub : {"pictures/alt.a", "pictures/alt.b", "unknown"}) QVERIFY(QDir(work.path()).mkpath(sub));
  QVERIFY(fk::test::write_photo(dir + "alt.a/harbour.jpg", 1, 320, 240));
  QVERIFY(fk::test::write_photo(dir + "alt.b/meadow.jpg", 2, 320, 240));
  QVERIFY(fk::test::write_picture(work.path() + "/unknown/odd.bin", 3, kOldest));
  {
    fk::PictureIndexKeeper keeper(work.path(), nullptr, 10);
    QSignalSpy updated(&keeper, &fk::PictureIndexKeeper::updated);
    keeper.pictures_filed();
    QTRY_COMPARE_WITH_TIMEOUT(updated.count(), 1, 10000);
    QCOMPARE(updated.at(0).at(0).toBool(), true);
    QString text = read_all(index);
    QVERIFY(text.contains("pictures/alt.a/harbour.jpg\t"));
    QVERIFY(text.contains("pictures/alt.b/meadow.jpg\t"));
    QVERIFY(!text.contains("odd.bin"));

    // Filed while an update runs (a large one): one more update follows, which also drops what went.
    fk::test::make_harvest(work.path(), {"alt.c"}, 400, kOldest, 20, 640, 480);
    keeper.pictures_filed();
    QTRY_VERIFY(keeper.busy());
    QVERIFY(fk::test::write_photo(dir + "alt.b/later.jpg", 4, 320, 240));
    QVERIFY(QFile::remove(dir + "alt.a/harbour.jpg"));
    keeper.pictures_filed();
    QTRY_COMPARE_WITH_TIMEOUT(updated.count(), 3, 60000);
    text = read_all(index);
    QVERIFY(text.contains("pictures/alt.b/later.jpg\t"));
    QVERIFY(text.contains("pictures/alt.c/pic399.jpg\t"));
    QVERIFY(!text.contains("harbour"));

    QVERIFY(QFile::remove(index));
    QVERIFY(QDir().mkdir(index));  // cannot be written
    keeper.pictures_filed();
    QTRY_COMPARE_WITH_TIMEOUT(updated.count(), 4, 60000);
    QCOMPARE(updated.at(3).at(0).toBool(), false);
    QVERIFY(QDir().rmdir(index));

    // Going away in the middle of an update does not wait for it to end.
    keeper.pictures_filed();
    QTRY_VERIFY(keeper.busy());
  }
}

QTEST_MAIN(GalleryTest)
#include "gallery_test.moc"
