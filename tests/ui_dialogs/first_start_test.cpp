// SPDX-License-Identifier: GPL-3.0-or-later
// A new user in an empty folder, with the real windows: the status window, the welcome sheet, then the
// groups dialog fetching the list from the test server; no box on the way.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/application.h"
#include "app/group_list_refresher.h"
#include "common/fake_clock.h"
#include "common/temp_dir.h"
#include "server/news_content.h"
#include "server/nntp_test_server.h"
#include "ui/groups_dialog.h"
#include "ui/qt_app_windows.h"
#include "ui/qt_view.h"
#include "ui/setup_sheet.h"
#include "ui/status_window.h"

using namespace fk;

namespace {

class AbsentDialup : public DialupService {
 public:
  DialupProbe probe() override { return {false, 0, "absent in tests"}; }
  ConnectionList list_active() override { return {DialupError::NotRunning, {}}; }
  ConnectionStatus connection_status(const std::string&) override { return {DialupError::InvalidHandle, {}}; }
  std::string error_text(DialupError) const override { return "absent"; }
  DialResult dial(const std::string&, const std::string&, const std::string&) override {
    return {DialupError::NotRunning, {}, true};
  }
  DialupError hang_up(const std::string&) override { return DialupError::NotRunning; }
  void set_cancelled(bool) override {}
};

// Runs `act` on each modal window as it opens, in turn; what opened is recorded by class name.
struct ModalDriver {
  std::vector<std::function<void(QWidget*)>> steps;
  std::vector<QString> seen;
  QWidget* last = nullptr;
  QTimer timer;
  ModalDriver() {
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == last) return;
      last = modal;
      seen.push_back(QString::fromLatin1(modal->metaObject()->className()));
      if (seen.size() <= steps.size()) {
        steps[seen.size() - 1](modal);
      } else {
        modal->close();  // not expected: the test fails on `seen`
      }
    });
    timer.start();
  }
};

}  // namespace

class FirstStartTest : public QObject {
  Q_OBJECT
 private slots:
  void an_empty_folder_leads_from_the_sheet_to_subscribed_groups() {
    test::TempDir dir;
    test::NntpTestServer server(std::make_shared<test::ListingContent>(30));
    test::FakeClock clock;
    AbsentDialup dialup;
    QtView view;
    QtAppWindows windows;
    Application app(view, view, windows, clock, dialup);
    StatusWindow window(app, app.settings(), app.pending(), app.article_ids(), app.filenames(), app.blacklist(),
                        "Fennick test");
    view.attach(window, app);
    windows.attach(window);
    windows.set_other_windows({
        [&] { return run_setup_sheet(app.settings(), view, app.log(), &window); },
        [] {},
        {},
        [&] {
          const SetupSheet::Welcome welcome{QDir::currentPath()};
          return run_welcome_sheet(app.settings(), view, app.log(), welcome, &window);
        },
        [&] {
          NntpGroupListRefresher refresher(app.engine());
          run_groups_dialog(app.state(), view, app.log(), app.clock(), refresher, &window, true);
        },
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ModalDriver driver;
    bool dialup_was_off = false;
    driver.steps.push_back([&](QWidget* sheet) {
      dialup_was_off = !sheet->findChild<QCheckBox*>(QStringLiteral("check_dialup"))->isChecked();
      sheet->findChild<QRadioButton*>(QStringLiteral("classicServer"))->click();
      sheet->findChild<QLineEdit*>(QStringLiteral("news_server"))->setText(QStringLiteral("127.0.0.1"));
      sheet->findChild<QLineEdit*>(QStringLiteral("port"))->setText(QString::number(server.port()));
      static_cast<QDialog*>(sheet)->accept();
    });
    int listed = 0;
    driver.steps.push_back([&](QWidget* modal) {
      auto* dialog = static_cast<GroupsDialog*>(modal);
      QListView* left = dialog->unsubscribed_view();
      // The refresh starts by itself, without its warning box.
      QTRY_COMPARE_WITH_TIMEOUT(left->model()->rowCount(), 30, 20000);
      QTRY_VERIFY_WITH_TIMEOUT(!dialog->busy(), 20000);
      listed = left->model()->rowCount();
      left->selectionModel()->select(left->model()->index(0, 0), QItemSelectionModel::Select);
      dialog->subscribe();
      dialog->accept();
    });
    app.start_up();

    QCOMPARE(driver.seen, (std::vector<QString>{"fk::SetupSheet", "fk::GroupsDialog"}));
    QVERIFY(dialup_was_off);
    QCOMPARE(listed, 30);
    const std::string ini = test::read_file("FENNICK.INI");
    QVERIFY(ini.find("news_server=127.0.0.1\n") != std::string::npos);
    QVERIFY(ini.find("port=" + std::to_string(server.port()) + "\n") != std::string::npos);
    QVERIFY(ini.find("check_dialup=0\n") != std::string::npos);
    const std::string newsrc = test::read_file("newsrc.new");
    QCOMPARE(std::count(newsrc.begin(), newsrc.end(), '\n'), std::ptrdiff_t{30});
    QCOMPARE(newsrc.substr(0, 1), std::string(" "));  // the first line is the one subscribed group
    QCOMPARE(app.state().subscribed_groups.load(), 1);
    for (int i = 0; i < 500 && !app.initialised(); ++i) QTest::qWait(10);
  }
};

QTEST_MAIN(FirstStartTest)
#include "first_start_test.moc"
