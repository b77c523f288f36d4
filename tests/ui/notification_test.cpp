// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop notification at the end of a session that filed pictures, through a recording notifier.
#include <QtTest>
#include <thread>

#include "ui/desktop_notifier.h"
#include "ui/qt_app_windows.h"
#include "ui/qt_text.h"
#include "ui_fixture.h"

namespace {

class RecordingNotifier : public fk::DesktopNotifier {
 public:
  void notify(const QString& summary, const QString& action, std::function<void()> on_action) override {
    summaries.push_back(summary);
    actions.push_back(action);
    last = std::move(on_action);
  }
  std::vector<QString> summaries, actions;
  std::function<void()> last;
};

}  // namespace

class NotificationTest : public QObject {
  Q_OBJECT
 private slots:
  void counts_read_as_the_locale_writes_them() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(fk::harvest_notice(42, 3), QStringLiteral("Fennick: 42 new pictures in 3 groups"));
    QCOMPARE(fk::harvest_notice(1, 1), QStringLiteral("Fennick: 1 new picture in 1 group"));
    QCOMPARE(fk::harvest_notice(1234567, 12), QStringLiteral("Fennick: 1,234,567 new pictures in 12 groups"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(fk::harvest_notice(1234567, 2), QStringLiteral("Fennick: 1.234.567 new pictures in 2 groups"));
    QCOMPARE(fk::count_text(1, QStringLiteral("group")), QStringLiteral("1 group"));
    QCOMPARE(fk::count_text(1000000, QStringLiteral("group")), QStringLiteral("1.000.000 groups"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(fk::count_text(0, QStringLiteral("group")), QStringLiteral("0 groups"));
    QCOMPARE(fk::count_text(1000000, QStringLiteral("group")), QStringLiteral("1,000,000 groups"));
    QLocale::setDefault(QLocale::c());
  }

  // From the session's thread, shown only while the status window is open; the action opens the gallery.
  void a_harvest_is_announced_while_the_window_is_open() {
    fk::test::UiFixture f;
    RecordingNotifier notifier;
    int opened = 0;
    fk::QtAppWindows windows(*f.window);
    windows.set_notifier(&notifier, [&] { ++opened; });
    f.window->show();
    std::thread session([&] { windows.harvest_finished(42, 3); });
    session.join();
    QTRY_COMPARE(notifier.summaries.size(), std::size_t{1});
    QCOMPARE(notifier.summaries[0].endsWith(QStringLiteral("42 new pictures in 3 groups")), true);
    QCOMPARE(notifier.actions[0], QStringLiteral("Show Pictures"));
    notifier.last();
    QCOMPARE(opened, 1);

    f.window->hide();
    windows.harvest_finished(5, 1);
    QTest::qWait(50);
    QCOMPARE(notifier.summaries.size(), std::size_t{1});
  }
};

QTEST_MAIN(NotificationTest)
#include "notification_test.moc"
