// SPDX-License-Identifier: GPL-3.0-or-later
// The first desktop start's folder question: what it names, "Choose...", OK and Cancel.
#include "ui/home_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>

#include "app/home_folder.h"
#include "common/temp_dir.h"

using namespace fk;

class HomeDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void namesTheFolderAndThePicturesLink();
  void chooseReplacesTheFolderAndCancelledPickerKeepsIt();
  void okAnswersTheShownFolderAndCancelAnswersNothing();
  void desktopFirstStartInAFreshHomeMakesTheFolderAndTheLinkOnly();
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

// The first desktop start as main() runs it, OK pressed: the folder, the link, the remembered choice.
void HomeDialogTest::desktopFirstStartInAFreshHomeMakesTheFolderAndTheLinkOnly() {
  test::TempDir dir;
  const std::filesystem::path home = dir.path() / "home";
  std::filesystem::create_directory(home);
  HomeEnvironment env;
  env.home = home.string();
  env.config_home = env.home + "/.config";
  env.data_home = env.home + "/.local/share";
  env.pictures = env.home + "/Pictures";
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<HomeFolderDialog*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    shown = dialog->folder();
    dialog->findChild<QPushButton*>("okButton")->click();
  });
  const HomeStart start = enter_home_folder(env, ask_home_folder);
  QCOMPARE(start.status, -1);
  const QString folder = QString::fromStdString(env.data_home + "/fennick");
  QCOMPARE(shown, folder);
  QCOMPARE(QString::fromStdString(std::filesystem::current_path().string()), folder);
  QCOMPARE(QString::fromStdString(std::filesystem::read_symlink(env.pictures + "/Fennick").string()),
           folder + "/pictures");
  QCOMPARE(remembered_home_folder(env).value_or(""), folder.toStdString());
  QStringList in_home;
  for (const auto& e : std::filesystem::directory_iterator(home))
    in_home << QString::fromStdString(e.path().filename().string());
  in_home.sort();
  QCOMPARE(in_home, (QStringList{".config", ".local", "Pictures"}));
}

QTEST_MAIN(HomeDialogTest)
#include "home_dialog_test.moc"
