// SPDX-License-Identifier: GPL-3.0-or-later
// The blacklist dialog: newest first, double-click removal, Clear with OK and with Cancel.
#include "ui/bozo_dialog.h"

#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QtTest>

#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "store/settings.h"
#include "store/status_log.h"

using namespace fk;

namespace {

constexpr const char* kFile = "old@a\nmid@b\nnew@c\n";

struct Rig {
  test::TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  StatusLog log{settings, clock};
  std::unique_ptr<BozoDialog> dialog;

  explicit Rig(const char* content = kFile) {
    test::write_file("BOZOS.FNK", content);
    dialog = std::make_unique<BozoDialog>(500, log);
    dialog->show();
  }
  QPushButton* button(const char* name) { return dialog->findChild<QPushButton*>(QString::fromLatin1(name)); }
  void double_click_row(int row) {
    QListView* list = dialog->list();
    QRect rect = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }
  QStringList shown() const { return static_cast<QStringListModel*>(dialog->list()->model())->stringList(); }
};

}  // namespace

class BozoDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void shows_newest_first_and_ok_writes_them_back_unchanged();
  void clear_or_removal_then_ok_or_cancel();
  void double_click_removes_only_the_entry_under_it();
  void run_bozo_dialog_uses_the_blacklist_capacity();
};

void BozoDialogTest::shows_newest_first_and_ok_writes_them_back_unchanged() {
  Rig r;
  QCOMPARE(r.dialog->windowTitle(), QStringLiteral("Bozo Bucket - Blacklist For Unwanted Authors"));
  QCOMPARE(r.shown(), (QStringList{"new@c", "mid@b", "old@a"}));
  QTest::mouseClick(r.button("ok"), Qt::LeftButton);
  QCOMPARE(r.dialog->result(), int(QDialog::Accepted));
  QCOMPARE(test::read_file("BOZOS.FNK"), std::string(kFile));
}

void BozoDialogTest::clear_or_removal_then_ok_or_cancel() {
  struct Case {
    bool clear;
    const char* button;
    std::string file_after;
  };
  for (const Case& c : {Case{true, "ok", ""}, Case{true, "cancel", kFile}, Case{false, "cancel", kFile}}) {
    Rig r;
    if (c.clear)
      QTest::mouseClick(r.button("clear"), Qt::LeftButton);
    else
      r.double_click_row(1);
    QCOMPARE(test::read_file("BOZOS.FNK"), std::string(kFile));  // nothing is written before OK
    QTest::mouseClick(r.button(c.button), Qt::LeftButton);
    QVERIFY(test::exists("BOZOS.FNK"));
    QCOMPARE(test::read_file("BOZOS.FNK"), c.file_after);
  }
}

void BozoDialogTest::double_click_removes_only_the_entry_under_it() {
  Rig r;
  r.double_click_row(1);
  QCOMPARE(r.shown(), (QStringList{"new@c", "old@a"}));
  // Below the last row: nothing selected there, nothing removed.
  r.dialog->list()->clearSelection();
  QTest::mouseDClick(r.dialog->list()->viewport(), Qt::LeftButton, {},
                     QPoint(10, r.dialog->list()->viewport()->height() - 5));
  QCOMPARE(r.shown(), (QStringList{"new@c", "old@a"}));
  r.dialog->accept();
  QCOMPARE(test::read_file("BOZOS.FNK"), std::string("old@a\nnew@c\n"));
}

void BozoDialogTest::run_bozo_dialog_uses_the_blacklist_capacity() {
  test::TempDir dir;
  test::FakeClock clock;
  SharedSettings settings;
  settings.update([](Settings& s) { s.max_blacklist = 3; });
  StatusLog log{settings, clock};
  test::write_file("BOZOS.FNK", "a1\na2\na3\na4\na5\n");
  QStringList seen;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<BozoDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    for (const auto& e : dialog->entries()) seen << QString::fromStdString(e);
    dialog->accept();
  });
  QVERIFY(run_bozo_dialog(settings, log));
  QCOMPARE(seen, (QStringList{"a5", "a4"}));  // the loader keeps the newest limit - 1
  QCOMPARE(test::read_file("BOZOS.FNK"), std::string("a4\na5\n"));
}

QTEST_MAIN(BozoDialogTest)
#include "bozo_dialog_test.moc"
