// SPDX-License-Identifier: GPL-3.0-or-later
// The setup sheet: refusals and focus, the exchange order, lower-cased filters, DEFAULTS, Apply and Cancel.
#include "ui/setup_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

#include "app/first_start.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"
#include "store/scan_marks.h"
#include "store/status_log.h"

using namespace fk;

namespace {

enum Page { Connection, Article, Subject, Logging, Screen, Scheduler };

struct Rig {
  test::TempDir dir;
  test::FakeClock clock;
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  StatusLog log{settings, clock};
  SetupSheet sheet{settings, dialogs, log};

  Rig() { sheet.show(); }
  QLineEdit* edit(const char* name) { return sheet.findChild<QLineEdit*>(QString::fromLatin1(name)); }
  QCheckBox* box(const char* name) { return sheet.findChild<QCheckBox*>(QString::fromLatin1(name)); }
  // Goes to a page through a click on its tab, as a user would.
  void click_tab(int index) {
    auto* bar = sheet.findChild<QTabWidget*>()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }
  void go(int index) {
    click_tab(index);
    QCOMPARE(sheet.current_index(), index);
  }
  QString last_message() const {
    auto boxes = dialogs.boxes();
    return boxes.empty() ? QString() : QString::fromStdString(boxes.back().text);
  }
  // Sets a field and presses OK; true when the sheet closed.
  bool ok_with(const char* name, const QString& text) {
    edit(name)->setText(text);
    sheet.accept();
    return sheet.result() == QDialog::Accepted;
  }
};

}  // namespace

class SetupSheetTest : public QObject {
  Q_OBJECT
 private slots:
  void range_and_number_refusals_keep_the_page_and_focus();
  void the_exchange_stops_at_the_first_refusal();
  void a_refused_value_blocks_the_tab_change();
  void long_passwords_are_refused();
  void first_two_filters_are_stored_in_lower_case();
  void defaults_then_cancel_keeps_the_stored_filters();
  void cancel_after_three_pages_restores_them_all();
  void apply_follows_the_modified_state();
  void changed_filters_offer_a_rescan_with_incremental_scans();
  void the_tls_choice_proposes_its_port_and_is_taken();
  void welcome_shows_the_folder_and_the_server_kind_fills_the_pages();
  void the_web_view_port_is_checked_and_new_token_replaces_the_token();
};

void SetupSheetTest::range_and_number_refusals_keep_the_page_and_focus() {
  struct Case {
    int page;
    const char* field;
    const char* text;
    const char* message;  // empty: accepted
  };
  const Case cases[] = {
      {Connection, "port", "0", "Please enter an integer between 1 and 65535."},
      {Connection, "port", "65536", "Please enter an integer between 1 and 65535."},
      {Connection, "port", "-1", "Please enter a positive integer."},
      {Connection, "port", "12x", "Please enter a positive integer."},
      {Connection, "port", "65535", ""},
      {Connection, "max_connecttime", "", "Please enter an integer."},
      {Connection, "max_connecttime", "-5", ""},
      {Article, "minlines", "4294967296", "Please enter a positive integer."},
      {Article, "first_scan_articles", "-1", "Please enter an integer between 0 and 2000000000."},
      {Article, "first_scan_articles", "0", ""},
      {Logging, "max_history", "9", "Please enter an integer between 10 and 32700."},
      {Logging, "max_blacklist", "32701", "Please enter an integer between 10 and 32700."},
      {Logging, "max_filenames", "32700", ""},
      {Scheduler, "Start_Hour", "24", "Please enter an integer between 0 and 23."},
      {Scheduler, "End_Min", "60", "Please enter an integer between 0 and 59."},
      {Scheduler, "End_Hour", "23", ""},
      {Scheduler, "Start_Min", "59", ""},
  };
  for (const Case& c : cases) {
    Rig r;
    if (c.page != Connection) r.go(c.page);
    const bool closed = r.ok_with(c.field, QString::fromLatin1(c.text));
    const QString expected = QString::fromLatin1(c.message);
    QVERIFY2(closed == expected.isEmpty(), c.field);
    if (closed) continue;
    QCOMPARE(r.last_message(), expected);
    QCOMPARE(r.dialogs.boxes().back().caption, std::string("Fennick"));
    QCOMPARE(r.sheet.current_index(), c.page);
    QCOMPARE(r.sheet.focusWidget(), r.edit(c.field));
    QVERIFY(r.sheet.isVisible());
    QVERIFY(test::read_file("fk.log").find(c.message) != std::string::npos);
  }
}

void SetupSheetTest::the_exchange_stops_at_the_first_refusal() {
  Rig r;
  // Connection order: check_auth, unattended_operation, pass, news_server, user, max_connecttime, ...
  r.box("check_auth")->setChecked(true);
  r.edit("news_server")->setText("news.example.org");
  r.edit("user")->setText("someone");
  r.edit("max_connecttime")->setText("ten");
  r.edit("isp_user")->setText("dialer");
  r.edit("port")->setText("0");
  QVERIFY(!r.ok_with("max_connecttime", "ten"));
  QCOMPARE(r.last_message(), QStringLiteral("Please enter an integer."));
  QCOMPARE(r.dialogs.boxes().size(), std::size_t{1});  // the port is never reached
  Settings s = r.settings.get();
  QCOMPARE(s.check_auth, 1);
  QCOMPARE(s.news_server, std::string("news.example.org"));
  QCOMPARE(s.user, std::string("someone"));
  QCOMPARE(s.isp_user, std::string());
  QCOMPARE(s.port, 119u);
}

void SetupSheetTest::a_refused_value_blocks_the_tab_change() {
  Rig r;
  r.edit("port")->setText("0");
  r.click_tab(Logging);
  QCOMPARE(r.sheet.current_index(), int(Connection));
  QCOMPARE(r.sheet.findChild<QTabWidget*>()->currentIndex(), int(Connection));
  QCOMPARE(r.last_message(), QStringLiteral("Please enter an integer between 1 and 65535."));
  QCOMPARE(r.sheet.focusWidget(), r.edit("port"));
  QVERIFY(!r.sheet.page(Logging)->filled());

  r.edit("port")->setText("563");
  r.click_tab(Logging);
  QCOMPARE(r.sheet.current_index(), int(Logging));
  QCOMPARE(r.settings.get().port, 563u);
}

void SetupSheetTest::long_passwords_are_refused() {
  for (const char* field : {"pass", "isp_pass"}) {
    Rig r;
    QCOMPARE(r.edit(field)->echoMode(), QLineEdit::Password);
    QVERIFY(!r.ok_with(field, QString(74, 'p')));
    QCOMPARE(r.last_message(), password_message());
    QCOMPARE(r.sheet.focusWidget(), r.edit(field));
    // Letters outside ASCII take more room in the file than they show.
    QVERIFY(!r.ok_with(field, QString(37, QChar(0x00e9))));
    QVERIFY(r.ok_with(field, QString(73, 'p')));
  }
  Rig r;
  QVERIFY(r.ok_with("pass", QString(73, 'p')));
  QCOMPARE(r.settings.get().pass, std::string(73, 'p'));
}

void SetupSheetTest::first_two_filters_are_stored_in_lower_case() {
  Rig r;
  r.go(Subject);
  r.edit("filter1")->setText("*.JPG*");
  r.edit("filter2")->setText("*Part 1/1*");
  QVERIFY(r.ok_with("filter3", "*.JPG*"));
  Settings s = r.settings.get();
  QCOMPARE(s.filter1, std::string("*.jpg*"));
  QCOMPARE(s.filter2, std::string("*part 1/1*"));
  QCOMPARE(s.filter3, std::string("*.JPG*"));
}

void SetupSheetTest::defaults_then_cancel_keeps_the_stored_filters() {
  Rig r;
  r.settings.update([](Settings& s) {
    s.filter1 = "*.png*";
    s.filter2 = "*part*";
    s.filter3 = "";
    s.check_subject = 0;
  });
  r.go(Subject);
  QVERIFY(!r.sheet.apply_button()->isEnabled());
  QTest::mouseClick(r.sheet.findChild<QPushButton*>("defaults"), Qt::LeftButton);
  QCOMPARE(r.edit("filter1")->text(), QStringLiteral("*.jpg*|*.gif*"));
  QCOMPARE(r.edit("filter2")->text(), QStringLiteral("*1/1*|*01/01*"));
  QCOMPARE(r.edit("filter3")->text(), QStringLiteral("re:*|*free*|*http:*"));
  QVERIFY(!r.box("check_subject")->isChecked());
  QVERIFY(r.sheet.apply_button()->isEnabled());
  r.sheet.reject();
  Settings s = r.settings.get();
  QCOMPARE(s.filter1, std::string("*.png*"));
  QCOMPARE(s.filter2, std::string("*part*"));
  QCOMPARE(s.filter3, std::string());
  QVERIFY(!test::exists("FENNICK.INI"));
}

// Values are taken on leaving a page and by Apply, yet Cancel leaves the program as the sheet found it.
void SetupSheetTest::cancel_after_three_pages_restores_them_all() {
  Rig r;
  const Settings opened = r.settings.get();
  r.edit("port")->setText("8119");
  r.go(Logging);
  QCOMPARE(r.settings.get().port, 8119u);
  r.edit("max_history")->setText("1000");
  r.box("detailed_status_logging_enabled")->click();
  r.go(Screen);
  QCOMPARE(r.settings.get().max_history, 1000u);
  r.edit("taskbar_name")->setText("renamed");
  QVERIFY(r.sheet.apply());
  QCOMPARE(r.settings.get().taskbar_name, std::string("renamed"));
  r.sheet.reject();
  Settings s = r.settings.get();
  QCOMPARE(s.port, opened.port);
  QCOMPARE(s.max_history, opened.max_history);
  QCOMPARE(s.detailed_status_logging_enabled, opened.detailed_status_logging_enabled);
  QCOMPARE(s.taskbar_name, opened.taskbar_name);
  QVERIFY(!test::exists("FENNICK.INI"));
}

void SetupSheetTest::apply_follows_the_modified_state() {
  Rig r;
  QVERIFY(!r.sheet.apply_button()->isEnabled());
  r.box("unattended_operation")->click();
  QVERIFY(r.sheet.apply_button()->isEnabled());
  r.edit("port")->setText("0");
  QVERIFY(!r.sheet.apply());
  QVERIFY(r.sheet.apply_button()->isEnabled());
  r.edit("port")->setText("8119");
  QTest::mouseClick(r.sheet.apply_button(), Qt::LeftButton);
  QVERIFY(!r.sheet.apply_button()->isEnabled());
  QVERIFY(r.sheet.isVisible());
  QCOMPARE(r.settings.get().unattended_operation, 1);
  QCOMPARE(r.settings.get().port, 8119u);
}

void SetupSheetTest::changed_filters_offer_a_rescan_with_incremental_scans() {
  // Off: no question. On, filters unchanged: no question. On and changed: No keeps, Yes forgets.
  for (int step = 0; step < 4; ++step) {
    Rig r;
    QVERIFY(ScanMarks().set("alt.pics", 500));
    r.go(Article);
    r.box("incremental_scan")->setChecked(step > 0);
    r.go(Subject);
    if (step > 1) r.dialogs.queue_answer(step == 2 ? Answer::No : Answer::Yes);
    QVERIFY(r.ok_with("filter3", step == 1 ? "re:*|*free*|*http:*" : "re:*"));
    QCOMPARE(r.dialogs.boxes().size(), std::size_t(step > 1 ? 1 : 0));
    QCOMPARE(ScanMarks().get("alt.pics").has_value(), step != 3);
  }
}

void SetupSheetTest::the_tls_choice_proposes_its_port_and_is_taken() {
  Rig r;
  auto* choice = r.sheet.findChild<QComboBox*>(QStringLiteral("use_tls"));
  QVERIFY(choice);
  QCOMPARE(choice->currentText(), QStringLiteral("None"));
  QVERIFY(r.box("tls_verify")->isChecked());
  QVERIFY(r.sheet.findChild<QPushButton*>(QStringLiteral("browse_ca_file")));
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);
  QCOMPARE(choice->currentText(), QStringLiteral("TLS"));
  QCOMPARE(r.edit("port")->text(), QStringLiteral("563"));
  QVERIFY(r.sheet.apply_button()->isEnabled());
  QTest::keyClick(choice, Qt::Key_Down);
  QCOMPARE(choice->currentText(), QStringLiteral("STARTTLS"));  // upgrades on the plain port
  QCOMPARE(r.edit("port")->text(), QStringLiteral("119"));
  QTest::keyClick(choice, Qt::Key_Up);
  QCOMPARE(r.edit("port")->text(), QStringLiteral("563"));
  // A port the user chose is not touched.
  r.edit("port")->setText("8563");
  QTest::keyClick(choice, Qt::Key_Up);
  QCOMPARE(r.edit("port")->text(), QStringLiteral("8563"));
  QTest::keyClick(choice, Qt::Key_Down);
  r.edit("tls_ca_file")->setText("/etc/my ca.pem");
  r.box("tls_verify")->click();
  QVERIFY(!r.box("fast_transfers")->isChecked());
  QCOMPARE(r.edit("pipeline_depth")->text(), QStringLiteral("8"));
  QVERIFY(r.box("use_compression")->isChecked());
  QVERIFY(!r.box("use_compression")->isEnabled());
  r.box("fast_transfers")->click();
  QVERIFY(r.box("use_compression")->isEnabled());
  r.box("use_compression")->click();
  r.edit("pipeline_depth")->setText("32");
  r.sheet.accept();
  QCOMPARE(r.sheet.result(), int(QDialog::Accepted));
  Settings s = r.settings.get();
  QCOMPARE(s.use_tls, Settings::kImplicitTls);
  QCOMPARE(s.port, 8563u);
  QCOMPARE(s.tls_ca_file, std::string("/etc/my ca.pem"));
  QCOMPARE(s.tls_verify, 0);
  QCOMPARE(s.fast_transfers, 1);
  QCOMPARE(s.pipeline_depth, 32);
  QCOMPARE(s.use_compression, 0);

  // A stored choice out of the list's reach shows as the nearest entry.
  for (auto [stored, shown] : {std::pair{Settings::kStartTls, "STARTTLS"}, std::pair{7, "STARTTLS"}}) {
    test::RecordingDialogs dialogs;
    SharedSettings settings;
    settings.update([&, value = stored](Settings& t) { t.use_tls = value; });
    SetupSheet sheet{settings, dialogs, r.log};
    QCOMPARE(sheet.findChild<QComboBox*>(QStringLiteral("use_tls"))->currentText(), QString::fromLatin1(shown));
  }
  // One FENNICK.INI held in words (refused at start-up) shows no choice, and OK does not quietly make it
  // "None": the sheet asks for a choice first.
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  settings.update([](Settings& t) { t.use_tls = Settings::kPlain - 1; });
  SetupSheet sheet{settings, dialogs, r.log};
  auto* unread = sheet.findChild<QComboBox*>(QStringLiteral("use_tls"));
  QCOMPARE(unread->currentIndex(), -1);
  sheet.accept();
  QVERIFY(sheet.result() != int(QDialog::Accepted));
  QCOMPARE(settings.get().use_tls, Settings::kPlain - 1);
  QCOMPARE(dialogs.boxes().size(), std::size_t(1));
  unread->setCurrentIndex(Settings::kStartTls);
  sheet.accept();
  QCOMPARE(sheet.result(), int(QDialog::Accepted));
  QCOMPARE(settings.get().use_tls, Settings::kStartTls);
}

// A first start: the working folder in view, the modern kind preselected (its values on the Connection
// page), a change of mind to the classic kind shown on the pages at once, and OK keeping it.
void SetupSheetTest::welcome_shows_the_folder_and_the_server_kind_fills_the_pages() {
  test::TempDir dir;
  test::FakeClock clock;
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  settings.update([](Settings& s) {
    s.check_dialup = 0;
    apply_server_kind(s, ServerKind::Modern);
  });
  StatusLog log{settings, clock};
  const SetupSheet::Welcome welcome{QStringLiteral("/home/someone/Pictures/usenet")};
  SetupSheet sheet(settings, dialogs, log, nullptr, &welcome);
  sheet.show();
  QCOMPARE(sheet.current_index(), int(Connection));
  QVERIFY(sheet.findChild<QLabel*>(QStringLiteral("workingFolder"))->text().contains(welcome.working_folder));
  auto* modern = sheet.findChild<QRadioButton*>(QStringLiteral("modernServer"));
  auto* classic = sheet.findChild<QRadioButton*>(QStringLiteral("classicServer"));
  QVERIFY(modern->isChecked());
  QCOMPARE(sheet.findChild<QLineEdit*>(QStringLiteral("port"))->text(), QStringLiteral("563"));
  QVERIFY(!sheet.findChild<QCheckBox*>(QStringLiteral("check_dialup"))->isChecked());

  sheet.findChild<QLineEdit*>(QStringLiteral("news_server"))->setText(QStringLiteral("news.example.org"));
  classic->click();
  QCOMPARE(sheet.findChild<QLineEdit*>(QStringLiteral("port"))->text(), QStringLiteral("119"));
  // The choice leaves what the user typed alone.
  QCOMPARE(sheet.findChild<QLineEdit*>(QStringLiteral("news_server"))->text(), QStringLiteral("news.example.org"));
  sheet.accept();
  QCOMPARE(sheet.result(), int(QDialog::Accepted));
  const Settings now = settings.get();
  QVERIFY(matches_server_kind(now, ServerKind::Classic));
  QCOMPARE(now.news_server, std::string("news.example.org"));
  QCOMPARE(now.check_dialup, 0);
}


void SetupSheetTest::the_web_view_port_is_checked_and_new_token_replaces_the_token() {
  Rig r;
  r.settings.update([](Settings& s) { s.web_token = "old"; });
  r.go(Screen);
  QCOMPARE(r.edit("web_token")->text(), QStringLiteral("old"));
  QVERIFY(r.edit("web_token")->isReadOnly());
  QVERIFY(!r.ok_with("web_port", QStringLiteral("65536")));
  QCOMPARE(r.sheet.focusWidget(), r.edit("web_port"));
  QTest::mouseClick(r.sheet.findChild<QPushButton*>(QStringLiteral("new_web_token")), Qt::LeftButton);
  const QString token = r.edit("web_token")->text();
  QCOMPARE(token.size(), 64);
  QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{64}$")).match(token).hasMatch());
  r.edit("web_bind")->setText(QStringLiteral("0.0.0.0"));
  QVERIFY(r.ok_with("web_port", QStringLiteral("8080")));
  const Settings s = r.settings.get();
  QCOMPARE(s.web_port, 8080u);
  QCOMPARE(s.web_bind, std::string("0.0.0.0"));
  QCOMPARE(QString::fromStdString(s.web_token), token);
}

QTEST_MAIN(SetupSheetTest)
#include "setup_sheet_test.moc"
