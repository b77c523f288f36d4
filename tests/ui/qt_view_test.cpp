// SPDX-License-Identifier: GPL-3.0-or-later
// The view from other threads: coalesced updates, posted commands, blocking message boxes, the models
// that follow the containers, the exit statistics dialog and a screenshot of a harvest.
#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "common/fake_clock.h"
#include "demo_state.h"
#include "store/status_log.h"
#include "ui/dialogs.h"
#include "ui/list_models.h"
#include "ui/qt_app_windows.h"
#include "ui_fixture.h"

using fk::ControlId;
using fk::test::UiFixture;

namespace {

std::vector<std::string> model_rows(QAbstractItemModel* model, const std::function<std::string(int)>& raw) {
  std::vector<std::string> out;
  for (int r = 0; r < model->rowCount(); ++r) out.push_back(raw(r));
  return out;
}

// Runs `act` on the next modal dialog once it is up.
void on_next_modal(std::function<void(QWidget*)> act) {
  auto* driver = new QTimer;
  driver->setInterval(10);
  QObject::connect(driver, &QTimer::timeout, [driver, act] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      driver->stop();
      driver->deleteLater();
      act(modal);
    }
  });
  driver->start();
}

}  // namespace

class QtViewTest : public QObject {
  Q_OBJECT
 private slots:
  void coalesced_updates_end_in_the_exact_final_state();
  void posted_commands_run_later_in_order_after_earlier_updates();
  void message_box_from_a_worker_blocks_it_until_answered();
  void a_view_made_before_its_window_keeps_what_arrives();
  void models_follow_changes_made_by_another_thread();
  void exit_statistics_show_what_they_are_given();
  void waiting_for_a_worker_lets_its_message_box_through();
  void sound_file_calls_return_without_a_device_or_a_file();
  void screenshot_of_a_harvest_is_not_blank();
  void counts_show_with_separators_and_singulars();
};

// The window's own words for the engine's counts; fk.log keeps its format (the core's counters_text).
void QtViewTest::counts_show_with_separators_and_singulars() {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  UiFixture f;
  auto text_of = [&](ControlId id) {
    QWidget* w = f.window->control(id);
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    return w->property("title").toString();
  };
  fk::SessionCounters c;
  c.pictures = 1;
  c.articles_examined = 12345;
  c.duplicates = 1;
  c.base64 = 2;
  c.set_progress = "pano.jpg: 3 of 4 parts";
  f.view->counters_changed(c);
  f.view->pending_counted("alt.pictures", 1);
  QTRY_COMPARE(text_of(ControlId::PictureSummary),
               QStringLiteral("1 picture downloaded from 12,345 articles, 1 duplicate skipped, 2 base64, "
                              "0 unknown format; pano.jpg: 3 of 4 parts"));
  QTRY_COMPARE(text_of(ControlId::PendingBox), QStringLiteral("1 Pending Download From alt.pictures"));
  f.view->pending_counted("alt.pictures", 2500);
  QTRY_COMPARE(text_of(ControlId::PendingBox), QStringLiteral("2,500 Pending Downloads From alt.pictures"));

  f.view->group_counted(1, 1);
  f.view->nobody_connected(1, false);
  QTRY_COMPARE(text_of(ControlId::GroupCounter), QStringLiteral("1 of 1 news group"));
  QTRY_COMPARE(text_of(ControlId::ConnectionStatus), QStringLiteral("Nobody... 1 connection attempt"));
  f.view->group_counted(1000, 1000000);
  f.view->nobody_connected(1200, true);
  QTRY_COMPARE(text_of(ControlId::GroupCounter), QStringLiteral("1,000 of 1,000,000 news groups"));
  QTRY_COMPARE(text_of(ControlId::ConnectionStatus),
               QStringLiteral("Nobody... 1,200 connection attempts, waiting for scheduler"));
  f.view->connected_to("news.example.net", 1);
  QTRY_COMPARE(text_of(ControlId::ConnectionStatus), QStringLiteral("news.example.net (1 connection attempt)"));
  f.view->transfer_status("news.example.net", 8, 12'345'678);
  QTRY_COMPARE(text_of(ControlId::ConnectionStatus), QStringLiteral("news.example.net (8 connections, 12,056 KB/s)"));
  QLocale::setDefault(QLocale::system());
}

void QtViewTest::coalesced_updates_end_in_the_exact_final_state() {
  UiFixture f;
  auto* status = f.find<QLineEdit>(ControlId::DownloadStatus);
  auto* bar = f.find<QProgressBar>(ControlId::ArticleProgress);
  int text_changes = 0;
  QObject::connect(status, &QLineEdit::textChanged, [&] { ++text_changes; });

  constexpr int kLines = 200000;
  std::thread([&] {
    for (int i = 1; i <= kLines; ++i) {
      f.view->set_text(ControlId::DownloadStatus, "overview line " + std::to_string(i));
      if (i % 1000 == 0) f.view->set_progress(ControlId::ArticleProgress, i / 1000);
    }
    // A position beyond the range stands at its end; a later range keeps it inside.
    f.view->set_progress(ControlId::ArticleProgress, 120);
    f.view->set_progress_range(ControlId::GroupsProgress, 0, 10);
    f.view->set_progress(ControlId::GroupsProgress, 7);
    f.view->set_progress_range(ControlId::GroupsProgress, 0, 5);
    f.view->set_progress_range(ControlId::GroupsProgress, 0, 50);
    f.view->set_enabled(ControlId::SkipGroupButton, false);
    f.view->set_enabled(ControlId::SkipGroupButton, true);
    f.view->set_enabled(ControlId::SkipGroupButton, false);
  }).join();

  auto* groups = f.find<QProgressBar>(ControlId::GroupsProgress);
  QTRY_COMPARE(status->text(), QStringLiteral("overview line 200000"));
  QCOMPARE(bar->value(), 100);
  QCOMPARE(groups->maximum(), 50);
  QCOMPARE(groups->value(), 5);
  QVERIFY(!f.window->control(ControlId::SkipGroupButton)->isEnabled());
  // The whole burst reached the widget as one update.
  QCOMPARE(text_changes, 1);

  // The GUI thread's own calls land at once, after what other threads queued.
  std::thread([&] { f.view->set_text(ControlId::GroupName, "from the session"); }).join();
  f.view->set_text(ControlId::ConnectionStatus, "Nobody");
  QCOMPARE(qobject_cast<QLabel*>(f.window->control(ControlId::GroupName))->text(),
           QStringLiteral("from the session"));
  QCOMPARE(qobject_cast<QLabel*>(f.window->control(ControlId::ConnectionStatus))->text(),
           QStringLiteral("Nobody"));
}

void QtViewTest::posted_commands_run_later_in_order_after_earlier_updates() {
  UiFixture f;
  std::vector<QString> status_at_command;
  f.commands.on_call = [&](const std::string&) {
    status_at_command.push_back(
        qobject_cast<QLabel*>(f.window->control(ControlId::ConnectionStatus))->text());
  };
  f.view->post_command(fk::Command::Stop);
  QVERIFY(f.commands.calls.empty());  // never before post_command returns
  std::thread([&] {
    f.view->set_text(ControlId::ConnectionStatus, "Nobody");
    f.view->post_command(fk::Command::Start);
    f.view->post_command(fk::Command::Close);
  }).join();
  QTRY_COMPARE(f.commands.names(), (std::vector<std::string>{"stop", "start", "close"}));
  QCOMPARE(status_at_command[1], QStringLiteral("Nobody"));
}

void QtViewTest::a_view_made_before_its_window_keeps_what_arrives() {
  UiFixture f;
  fk::QtView early;  // the core is built first, the window from its containers afterwards
  std::thread([&] {
    early.set_text(ControlId::GroupName, "alt.pictures");
    early.set_progress(ControlId::ArticleProgress, 250);
    early.post_command(fk::Command::Start);
  }).join();
  QTest::qWait(50);
  QVERIFY(f.commands.calls.empty());
  QCOMPARE(early.pacing_position(), 10);

  early.attach(*f.window, f.commands);
  QCOMPARE(qobject_cast<QLabel*>(f.window->control(ControlId::GroupName))->text(),
           QStringLiteral("alt.pictures"));
  QCOMPARE(f.find<QProgressBar>(ControlId::ArticleProgress)->value(), 100);
  QCOMPARE(f.commands.names(), std::vector<std::string>{"start"});
}

void QtViewTest::message_box_from_a_worker_blocks_it_until_answered() {
  UiFixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  QPoint box_centre;
  std::atomic<bool> returned{false};
  bool worker_was_waiting = false;
  QString text, caption;
  on_next_modal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box);
    text = box->text();
    caption = box->windowTitle();
    // Wide enough for its caption, which a title bar would otherwise cut.
    QFont bold = box->font();
    bold.setBold(true);
    QVERIFY(box->width() >= QFontMetrics(bold).horizontalAdvance(caption) + box->fontMetrics().height() * 3);
    box_centre = box->frameGeometry().center();
    QTest::qWait(50);
    worker_was_waiting = !returned;
    box->button(QMessageBox::Cancel)->click();
  });
  fk::Answer answer = fk::Answer::Ok;
  std::thread worker([&] {
    answer =
        f.view->message_box("Do You Wish To Ignore All Further\nArticles Posted By This Author?",
                            "Bozo Bucket - The Author Blacklist", fk::Icon::Question, fk::Buttons::OkCancel);
    returned = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(returned, 20000);
  worker.join();
  QVERIFY(worker_was_waiting);
  QCOMPARE(answer, fk::Answer::Cancel);
  QCOMPARE(text, QStringLiteral("Do You Wish To Ignore All Further\nArticles Posted By This Author?"));
  QCOMPARE(caption, QStringLiteral("Bozo Bucket - The Author Blacklist"));
  // Centred on the status window.
  QVERIFY2((box_centre - f.window->frameGeometry().center()).manhattanLength() <= 12,
           qPrintable(QStringLiteral("%1,%2 %3,%4").arg(box_centre.x()).arg(box_centre.y()).arg(f.window->frameGeometry().center().x()).arg(f.window->frameGeometry().center().y())));

  // On the GUI thread the box runs directly.
  on_next_modal([](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click(); });
  QCOMPARE(f.view->message_box("Would You Like To Disconnect From The Internet?", "Hangup Connection ?",
                               fk::Icon::Question, fk::Buttons::YesNo),
           fk::Answer::Yes);
}

void QtViewTest::models_follow_changes_made_by_another_thread() {
  UiFixture f;
  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  auto* ids = f.find<QAbstractItemView>(ControlId::ArticleIdList);
  std::thread([&] {
    for (int i = 0; i < 300; ++i)
      f.pending.append(std::to_string(i) + "\tauthor " + std::to_string(i % 7) + "\t900\ts");
    f.pending.remove_front();
    f.pending.move_to_next(40);
    f.pending.remove_if([](std::string_view row) { return fk::pending_author(row) == "author 3"; });
    f.pending.insert(5, "x\ty\tz\tinserted");
    f.pending.remove(10);
    for (int i = 0; i < 500; ++i)
      f.ids.add_at_top(std::string("<").append(std::to_string(i)).append("@x>"), 100);
  }).join();
  const auto expected = f.pending.rows();
  auto pending_rows = [&] {
    auto* model = qobject_cast<fk::PendingModel*>(pending->model());
    return model_rows(model, [model](int r) { return model->raw_row(r); });
  };
  auto id_rows = [&] {
    auto* model = qobject_cast<fk::HistoryModel*>(ids->model());
    return model_rows(model, [model](int r) { return model->raw_row(r); });
  };
  QTRY_COMPARE(pending_rows(), expected);
  QTRY_COMPARE(id_rows(), f.ids.entries());
  QCOMPARE(id_rows().front(), std::string("<499@x>"));
  QCOMPARE(id_rows().size(), std::size_t{100});

  // A reload replaces the list whole, newest line first; clearing the queue empties the view.
  { std::ofstream("BOZOS.FNK") << "older@x\nnewer@x\n"; }
  fk::test::FakeClock clock;
  fk::StatusLog log(f.settings, clock);
  std::thread([&] {
    f.bozos.load_history(500, log);
    f.pending.clear();
  }).join();
  auto* bozos = qobject_cast<fk::HistoryModel*>(f.find<QAbstractItemView>(ControlId::BlacklistList)->model());
  QTRY_COMPARE(pending->model()->rowCount(), 0);
  QTRY_COMPARE(bozos->rowCount(), 2);
  QCOMPARE(bozos->raw_row(0), std::string("newer@x"));
}

void QtViewTest::exit_statistics_show_what_they_are_given() {
  UiFixture f;
  fk::QtAppWindows windows(*f.window);
  QStringList fields;
  QString title;
  on_next_modal([&](QWidget* modal) {
    title = modal->windowTitle();
    for (const char* id : {"id1003", "id1004", "id1005", "id1006"}) {
      auto* edit = modal->findChild<QLineEdit*>(QString::fromLatin1(id));
      fields << (edit && edit->isReadOnly() ? edit->text() : QStringLiteral("?"));
    }
    qobject_cast<QDialog*>(modal)->accept();
  });
  windows.show_exit_statistics({12, 1, 4294967295u, 77});
  QCOMPARE(title, QStringLiteral("Thankyou For Using \"Fennick\""));
  QCOMPARE(fields, (QStringList{"12", "1", "4294967295", "77"}));

  // Dialogs not built yet act as if cancelled.
  QVERIFY(!windows.run_setup_sheet());
  QVERIFY(!windows.run_bozo_dialog());
  f.window->show();
  f.window->start_timer();
  windows.close_window();
  QVERIFY(!f.window->isVisible());
  QVERIFY(!f.window->timer_running());
}

void QtViewTest::waiting_for_a_worker_lets_its_message_box_through() {
  UiFixture f;
  fk::QtAppWindows windows(*f.window);
  on_next_modal([](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->button(QMessageBox::No)->click(); });
  std::atomic<bool> done{false};
  fk::Answer answer = fk::Answer::Yes;
  std::thread worker([&] {
    answer = f.view->message_box("Would You Like To Disconnect From The Internet?", "Hangup Connection ?",
                                 fk::Icon::Question, fk::Buttons::YesNo);
    done = true;
  });
  // The way the core waits for its workers at shutdown.
  while (!done) {
    windows.process_events();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker.join();
  QCOMPARE(answer, fk::Answer::No);
}

void QtViewTest::sound_file_calls_return_without_a_device_or_a_file() {
  UiFixture f;
  {
    std::ofstream("boink.wav", std::ios::binary) << "RIFF";  // not a playable sound
  }
  std::thread([&] {
    f.view->play_sound_file("missing.wav");
    f.view->play_sound_file("boink.wav");
    f.view->beep(fk::Beep::Exclamation);
  }).join();
  f.view->play_sound_file("boink.wav");
  f.view->beep(fk::Beep::Information);
}

void QtViewTest::screenshot_of_a_harvest_is_not_blank() {
  UiFixture f;
  fk::test::fill_demo_containers(f.pending, f.ids, f.files, f.bozos);
  std::thread([&] { fk::test::fill_demo_controls(*f.view); }).join();
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  QTRY_COMPARE(pending->model()->rowCount(), 37);
  QTRY_COMPARE(qobject_cast<QLineEdit*>(f.window->control(ControlId::DownloadStatus))->text(),
               QStringLiteral("Line 1210 of 2874 ( 42% )"));

  const QImage shot = f.window->grab().toImage();
  const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/status_window.png");
  QVERIFY(shot.save(path));
  QVERIFY(shot.width() >= f.window->minimumSizeHint().width());
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  QVERIFY2(colours.size() > 20, qPrintable(QStringLiteral("only %1 colours").arg(colours.size())));
}

QTEST_MAIN(QtViewTest)
#include "qt_view_test.moc"
