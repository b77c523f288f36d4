// The news groups dialog: loading, the buttons and double-clicks, OK and Cancel, the close command, the
// refresh's refusal and working-buttons state, and a measured load of 30,000 groups.
#include "ui/groups_dialog.h"

#include <QElapsedTimer>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <future>

#include "app/group_list_refresher.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "common/temp_dir.h"
#include "session/session_state.h"
#include "store/status_log.h"

using namespace fk;

namespace {

using Names = std::vector<std::string>;

// Holds the refresh open until released (or cancelled), so the test can look at the dialog meanwhile.
class GateRefresher : public GroupListRefresher {
 public:
  void refresh(RefreshSink& sink) override {
    sink.clear_lists();
    sink.title("Requesting Connection To News Server...");
    while (!cancelled_ && gate_.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    }
    sink.add_groups({"zeta.pics", "Alpha.pics", "beta.pics"});
    sink.title(kRefreshDoneTitle);
  }
  void cancel() override { cancelled_ = true; }
  void release() { open_.set_value(); }

 private:
  std::promise<void> open_;
  std::shared_future<void> gate_ = open_.get_future().share();
  std::atomic<bool> cancelled_{false};
};

struct Rig {
  test::TempDir dir;
  test::FakeClock clock;
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  StatusLog log{settings, clock};
  SessionState state;
  GateRefresher refresher;
  std::unique_ptr<GroupsDialog> dialog;

  explicit Rig(const char* newsrc_new = nullptr) {
    clock.set_uptime_ms(1);  // off the whole second: no progress titles
    if (newsrc_new) test::write_file("newsrc.new", newsrc_new);
    dialog = std::make_unique<GroupsDialog>(state, dialogs, log, clock, refresher);
    QSignalSpy loaded(dialog.get(), &GroupsDialog::load_finished);
    dialog->show();
    if (!loaded.wait(10000)) qFatal("the lists did not load");
  }
  ~Rig() {
    refresher.cancel();
    dialog.reset();
  }
  QPushButton* button(const char* name) { return dialog->findChild<QPushButton*>(QString::fromLatin1(name)); }
  void select(QListView* view, std::initializer_list<int> rows) {
    for (int row : rows)
      view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
  }
  void double_click(QListView* view, int row) {
    QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
  }
  void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
  QString title() const { return dialog->windowTitle(); }
  bool working_buttons_enabled() {
    bool all = true, none = true;
    for (const char* b :
         {"deleteUnsubscribed", "refresh", "cancel", "ok", "defaults", "subscribe", "unsubscribe"}) {
      all = all && button(b)->isEnabled();
      none = none && !button(b)->isEnabled();
    }
    if (!all && !none) qFatal("working buttons half enabled");
    return all;
  }
};

constexpr const char* kSample = " s.two\n s.one\n#beta\n#Alpha\n#gamma\n#alt.pictures\n#alt.Pictures\n";

}  // namespace

class GroupsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void loads_with_the_working_buttons_off_until_done();
  void missing_files_show_the_box_and_log_it();
  void subscribe_and_unsubscribe_by_button_and_double_click();
  void move_to_top_puts_the_selection_first();
  void defaults_pick_by_letter_case();
  void delete_unsubscribed_then_ok_keeps_subscribed_lines_only();
  void cancel_writes_nothing();
  void refresh_is_refused_while_a_session_holds_the_socket();
  void refresh_runs_with_the_working_buttons_off();
  void close_command_saves_like_ok();
  void thirty_thousand_groups_load_and_move_quickly();
};

void GroupsDialogTest::loads_with_the_working_buttons_off_until_done() {
  test::TempDir dir;
  test::write_file("newsrc.new", kSample);
  test::FakeClock clock;
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  StatusLog log{settings, clock};
  SessionState state;
  StubGroupListRefresher stub;
  clock.set_uptime_ms(1);
  GroupsDialog dialog(state, dialogs, log, clock, stub);
  QSignalSpy loaded(&dialog, &GroupsDialog::load_finished);
  // The lists arrive through the event loop, so the dialog is still loading here.
  QVERIFY(dialog.busy());
  QVERIFY(!dialog.findChild<QPushButton*>("ok")->isEnabled());
  QVERIFY(!dialog.findChild<QPushButton*>("cancel")->isEnabled());
  QVERIFY(dialog.findChild<QPushButton*>("moveToTop")->isEnabled());
  QVERIFY(loaded.wait(10000));
  QVERIFY(!dialog.busy());
  QVERIFY(dialog.findChild<QPushButton*>("ok")->isEnabled());
  QCOMPARE(dialog.lists().subscribed, (Names{"s.two", "s.one"}));
  QCOMPARE(dialog.lists().unsubscribed, (Names{"Alpha", "alt.pictures", "alt.Pictures", "beta", "gamma"}));
  QCOMPARE(dialog.windowTitle(), QStringLiteral("2 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(state.subscribed_groups.load(), 2);
  QCOMPARE(dialog.unsubscribed_view()->model()->rowCount(), 5);
  QVERIFY(dialogs.boxes().empty());
}

void GroupsDialogTest::missing_files_show_the_box_and_log_it() {
  Rig r;
  auto boxes = r.dialogs.boxes();
  QCOMPARE(boxes.size(), std::size_t{1});
  QCOMPARE(
      boxes[0].text,
      std::string("Unable to find newsrc file.\nUse Refresh Button To Get List of News Groups From Server"));
  QCOMPARE(boxes[0].caption, std::string("Unable To Open File"));
  QCOMPARE(boxes[0].icon, Icon::Warning);
  QCOMPARE(r.title(), QStringLiteral("0 of 0 Groups Will Be Scanned for Articles"));
  QVERIFY(r.working_buttons_enabled());
  QVERIFY(test::read_file("fk.log").find("Unable to find newsrc file.") != std::string::npos);
}

void GroupsDialogTest::subscribe_and_unsubscribe_by_button_and_double_click() {
  Rig r(kSample);
  r.select(r.dialog->unsubscribed_view(), {3, 0});
  r.click("subscribe");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.two", "s.one", "Alpha", "beta"}));
  QCOMPARE(r.title(), QStringLiteral("4 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 4);
  QVERIFY(r.dialog->unsubscribed_view()->selectionModel()->selectedIndexes().isEmpty());

  r.double_click(r.dialog->unsubscribed_view(), 2);  // "gamma"
  QCOMPARE(r.dialog->lists().subscribed.back(), std::string("gamma"));
  QCOMPARE(r.state.subscribed_groups.load(), 5);

  r.double_click(r.dialog->subscribed_view(), 0);  // "s.two" goes back, sorted in
  QCOMPARE(r.dialog->lists().unsubscribed, (Names{"alt.pictures", "alt.Pictures", "s.two"}));
  QCOMPARE(r.title(), QStringLiteral("4 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 4);

  r.select(r.dialog->subscribed_view(), {0, 1});
  r.click("unsubscribe");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"beta", "gamma"}));
}

void GroupsDialogTest::move_to_top_puts_the_selection_first() {
  Rig r(" g0\n g1\n g2\n g3\n g4\n g5\n g6\n");
  r.select(r.dialog->subscribed_view(), {1, 5});
  r.click("moveToTop");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"g1", "g5", "g0", "g2", "g3", "g4", "g6"}));
  QCOMPARE(r.title(), QStringLiteral("7 of 7 Groups Will Be Scanned for Articles"));
  QVERIFY(r.dialog->subscribed_view()->selectionModel()->selectedIndexes().isEmpty());
}

void GroupsDialogTest::defaults_pick_by_letter_case() {
  Rig r(kSample);
  r.click("defaults");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.two", "s.one", "alt.pictures"}));
  QCOMPARE(r.title(), QStringLiteral("3 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 3);
  QVERIFY(r.working_buttons_enabled());
}

void GroupsDialogTest::delete_unsubscribed_then_ok_keeps_subscribed_lines_only() {
  Rig r(kSample);
  r.state.subscribed_groups = 99;
  r.click("deleteUnsubscribed");
  QVERIFY(r.dialog->lists().unsubscribed.empty());
  QCOMPARE(r.title(), QStringLiteral("2 of 7 Groups Will Be Scanned for Articles"));  // unchanged
  QCOMPARE(r.state.subscribed_groups.load(), 99);
  r.click("ok");
  QCOMPARE(r.dialog->result(), int(QDialog::Accepted));
  QCOMPARE(r.title(), QStringLiteral("Done"));
  QCOMPARE(test::read_file("newsrc.new"), std::string(" s.two\n s.one\n"));
}

void GroupsDialogTest::cancel_writes_nothing() {
  Rig r(kSample);
  test::write_file("newsrc", " kept\n");
  r.click("defaults");
  r.click("cancel");
  QCOMPARE(r.dialog->result(), int(QDialog::Rejected));
  QCOMPARE(test::read_file("newsrc.new"), std::string(kSample));
  QCOMPARE(test::read_file("newsrc"), std::string(" kept\n"));
}

void GroupsDialogTest::refresh_is_refused_while_a_session_holds_the_socket() {
  Rig r(kSample);
  r.state.news_socket = 7;
  r.click("refresh");
  r.state.news_socket = -1;
  r.state.connected = 1;
  r.click("refresh");
  QVERIFY(r.dialogs.boxes().empty());
  QVERIFY(!r.dialog->busy());

  r.state.connected = 0;
  r.dialogs.queue_answer(Answer::Cancel);
  r.click("refresh");
  QCOMPARE(r.dialogs.boxes().size(), std::size_t{1});
  QCOMPARE(r.dialogs.boxes()[0].caption, std::string("Warning"));
  QVERIFY(!r.dialog->busy());
  QCOMPARE(r.dialog->lists().subscribed.size(), std::size_t{2});
}

void GroupsDialogTest::refresh_runs_with_the_working_buttons_off() {
  Rig r(kSample);
  test::write_file("newsrc", " kept\n");
  QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);
  r.click("refresh");
  QVERIFY(r.dialog->busy());
  QVERIFY(!r.working_buttons_enabled());
  QVERIFY(r.button("moveToTop")->isEnabled());
  QTRY_COMPARE(r.title(), QStringLiteral("Requesting Connection To News Server..."));
  QVERIFY(r.dialog->lists().subscribed.empty());

  // The close command only sounds a warning while the refresh runs; Escape does the same.
  r.dialog->close();
  QTest::keyClick(r.dialog.get(), Qt::Key_Escape);
  QVERIFY(r.dialog->isVisible());
  QCOMPARE(r.dialogs.beeps(), (std::vector<Beep>{Beep::Exclamation, Beep::Exclamation}));

  r.refresher.release();
  QVERIFY(finished.wait(10000));
  QVERIFY(r.working_buttons_enabled());
  QCOMPARE(r.title(), QStringLiteral("Select News Groups to Search For Articles"));
  QCOMPARE(r.dialog->lists().unsubscribed, (Names{"Alpha.pics", "beta.pics", "zeta.pics"}));
  QCOMPARE(r.dialog->unsubscribed_view()->model()->rowCount(), 3);

  r.click("cancel");
  QCOMPARE(test::read_file("newsrc.new"), std::string(kSample));
  QCOMPARE(test::read_file("newsrc"), std::string(" kept\n"));
}

void GroupsDialogTest::close_command_saves_like_ok() {
  Rig r(kSample);
  r.select(r.dialog->unsubscribed_view(), {0});
  r.click("subscribe");
  r.dialog->close();
  QVERIFY(!r.dialog->isVisible());
  QCOMPARE(r.dialog->result(), int(QDialog::Accepted));
  QCOMPARE(test::read_file("newsrc.new"),
           std::string(" s.two\n s.one\n Alpha\n#alt.pictures\n#alt.Pictures\n#beta\n#gamma\n"));
}

void GroupsDialogTest::thirty_thousand_groups_load_and_move_quickly() {
  test::TempDir dir;
  std::string file;
  for (int i = 0; i < 30000; ++i) {
    file += i % 100 == 0 ? ' ' : '#';
    file += i % 3 ? "alt.binaries.group" : "Comp.group";
    file += std::to_string((i * 7919) % 30000);
    file += '\n';
  }
  test::write_file("newsrc.new", file);
  test::FakeClock clock;
  test::RecordingDialogs dialogs;
  SharedSettings settings;
  StatusLog log{settings, clock};
  SessionState state;
  StubGroupListRefresher stub;

  QElapsedTimer timer;
  timer.start();
  GroupsDialog dialog(state, dialogs, log, clock, stub);
  QSignalSpy loaded(&dialog, &GroupsDialog::load_finished);
  dialog.show();
  QVERIFY(loaded.wait(30000));
  QCoreApplication::processEvents();
  const qint64 load_ms = timer.restart();
  QCOMPARE(dialog.lists().unsubscribed.size(), std::size_t{29700});
  QCOMPARE(state.subscribed_groups.load(), 300);

  QListView* view = dialog.unsubscribed_view();
  for (int step = 0; step < 20; ++step) {
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() * step / 19);
    view->viewport()->repaint();
  }
  const qint64 scroll_ms = timer.restart();

  view->selectAll();
  QTest::mouseClick(dialog.findChild<QPushButton*>("subscribe"), Qt::LeftButton);
  dialog.subscribed_view()->viewport()->repaint();
  const qint64 subscribe_ms = timer.restart();
  QCOMPARE(dialog.lists().subscribed.size(), std::size_t{30000});

  dialog.subscribed_view()->selectAll();
  QTest::mouseClick(dialog.findChild<QPushButton*>("unsubscribe"), Qt::LeftButton);
  view->viewport()->repaint();
  const qint64 unsubscribe_ms = timer.restart();
  QCOMPARE(dialog.lists().unsubscribed.size(), std::size_t{30000});

  qInfo(
      "30,000 groups: load and show %lld ms, 20 scroll repaints %lld ms, subscribe all %lld ms, "
      "unsubscribe all %lld ms",
      load_ms, scroll_ms, subscribe_ms, unsubscribe_ms);
}

QTEST_MAIN(GroupsDialogTest)
#include "groups_dialog_test.moc"
