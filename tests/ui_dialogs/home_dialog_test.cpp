// SPDX-License-Identifier: GPL-3.0-or-later
// The first desktop start's folder question: what it names, "Choose...", OK and Cancel.
#include "ui/home_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace fk;

class HomeDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void namesTheFolderAndThePicturesLink();
  void chooseReplacesTheFolderAndCancelledPickerKeepsIt();
  void okAnswersTheShownFolderAndCancelAnswersNothing();
};

void HomeDialogTest::namesTheFolderAndThePicturesLink() {
  HomeFolderDialog dialog("/home/u/.local/share/fennick", "/home/u/Pictures/Fennick");
  QCOMPARE(dialog.findChild<QLabel*>("homeFolder")->text(), QString("/home/u/.local/share/fennick"));
  QVERIFY(dialog.findChild<QLabel*>("picturesNote")->text().contains("/home/u/Pictures/Fennick"));
}

void HomeDialogTest::chooseReplacesTheFolderAndCancelledPickerKeepsIt() {
  HomeFolderDialog dialog("/home/u/.local/share/fennick", "/home/u/Pictures/Fennick");
  QString offered;
  QString answer = "/srv/usenet/";
  dialog.pick_folder = [&](const QString& current) {
    offered = current;
    return answer;
  };
  auto* choose = dialog.findChild<QPushButton*>("chooseButton");
  QVERIFY(choose);
  choose->click();
  QCOMPARE(offered, QString("/home/u/.local/share/fennick"));
  QCOMPARE(dialog.folder(), QString("/srv/usenet"));
  QCOMPARE(dialog.findChild<QLabel*>("homeFolder")->text(), QString("/srv/usenet"));
  answer.clear();  // the picker was cancelled
  choose->click();
  QCOMPARE(dialog.folder(), QString("/srv/usenet"));
}

void HomeDialogTest::okAnswersTheShownFolderAndCancelAnswersNothing() {
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<HomeFolderDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    dialog->findChild<QPushButton*>("okButton")->click();
  });
  QCOMPARE(ask_home_folder("/data/fennick", "/p/Fennick"), std::optional<std::string>("/data/fennick"));
  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  QCOMPARE(ask_home_folder("/data/fennick", "/p/Fennick"), std::optional<std::string>());
}

QTEST_MAIN(HomeDialogTest)
#include "home_dialog_test.moc"
