// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog: loading, the buttons and double-clicks, OK and Cancel, the close command, the
// refresh's refusal and working-buttons state, a measured load of 30,000 groups, and a 300,000-group
// server listing found through the filter.
#include "ui/groups_dialog.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <future>

#include "app/group_list_refresher.h"
#include "app/group_lists.h"
#include "common/engine_harness.h"
#include "server/nntp_test_server.h"
#include "session/session_state.h"
#include "store/scan_marks.h"
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
  test::EngineHarness engine;
  test::FakeClock& clock = engine.clock;
  test::RecordingDialogs& dialogs = engine.dialogs;
  SessionState& state = engine.state;
  GateRefresher refresher;
  // The real listing, for a dialog that refreshes from a test server.
  std::unique_ptr<NntpGroupListRefresher> server_refresher;
  std::unique_ptr<GroupsDialog> dialog;

  std::unique_ptr<QSignalSpy> loaded;

  explicit Rig(const std::string& newsrc_new = {}, bool wait = true, const test::NntpTestServer* server = nullptr,
               const std::string& scan_marks = {}, std::size_t max_groups = kMaxListedGroups) {
    clock.set_uptime_ms(1);  // off the whole second: no progress titles
    if (!newsrc_new.empty()) test::write_file("newsrc.new", newsrc_new);
    if (!scan_marks.empty()) test::write_file(kScanMarkFileName, scan_marks);
    GroupListRefresher* used = &refresher;
    if (server) {
      engine.use_server(server->port());
      server_refresher = std::make_unique<NntpGroupListRefresher>(engine.ctx, max_groups);
      used = server_refresher.get();
    }
    dialog = std::make_unique<GroupsDialog>(state, dialogs, engine.log, clock, *used);
    loaded = std::make_unique<QSignalSpy>(dialog.get(), &GroupsDialog::load_finished);
    dialog->show();
    if (wait) wait_for_load();
  }
  void wait_for_load() {
    if (loaded->count() == 0 && !loaded->wait(30000)) qFatal("the lists did not load");
  }
  ~Rig() {
    refresher.cancel();
    if (server_refresher) server_refresher->cancel();
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
  // The boxes shown, less Refresh List's own warning before it begins.
  std::vector<test::RecordingDialogs::Box> reports() const {
    std::vector<test::RecordingDialogs::Box> out;
    for (auto& b : dialogs.boxes())
      if (b.caption != "Warning") out.push_back(b);
    return out;
  }
  int shown(QListView* view) const { return view->model()->rowCount(); }
  QString count_label(const char* name) const {
    return dialog->findChild<QLabel*>(QString::fromLatin1(name))->text();
  }
  std::string shown_name(QListView* view, int row) const {
    return view->model()->index(row, 0).data().toString().toStdString();
  }
  bool working_buttons_enabled() {
    bool all = true, none = true;
    for (const char* b :
         {"deleteUnsubscribed", "refresh", "ok", "defaults"}) {
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
  void subscribe_and_unsubscribe_by_button_and_double_click();
  void caret_defaults_and_delete_then_ok();
  void missing_files_and_a_failed_save_show_a_box();
  void refresh_runs_with_the_working_buttons_off();
  void escape_cancel_and_close_stop_a_stalled_refresh();
  void refusal_cut_and_cap_are_shown();
  void refresh_is_off_while_a_scan_holds_the_connection();
  void close_command_saves_like_ok();
  void refused_or_torn_refresh_keeps_both_lists();
  void thirty_thousand_groups_load_and_move_quickly();
  void scan_marks_show_as_tool_tips_and_rescan_forgets_them_at_ok();
  void server_of_300000_groups_is_filtered_subscribed_and_saved();
};

void GroupsDialogTest::loads_with_the_working_buttons_off_until_done() {
  Rig r(kSample, false);
  // The lists arrive through the event loop, so the dialog is still loading here.
  QVERIFY(r.dialog->busy());
  QVERIFY(!r.working_buttons_enabled());
  QVERIFY(!r.button("subscribe")->isEnabled());
  r.wait_for_load();
  QVERIFY(r.working_buttons_enabled());
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.two", "s.one"}));
  QCOMPARE(r.dialog->lists().unsubscribed, (Names{"Alpha", "alt.pictures", "alt.Pictures", "beta", "gamma"}));
  QCOMPARE(r.title(), QStringLiteral("2 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 2);
  QCOMPARE(r.dialog->unsubscribed_view()->model()->rowCount(), 5);
  QVERIFY(r.dialogs.boxes().empty());
}

void GroupsDialogTest::subscribe_and_unsubscribe_by_button_and_double_click() {
  Rig r(kSample);
  // Buttons that act on a selection wait for one, and say in which list.
  for (const char* name : {"subscribe", "unsubscribe", "moveToTop", "rescan"})
    QVERIFY2(!r.button(name)->isEnabled(), name);
  QVERIFY(r.button("subscribe")->toolTip().contains(QStringLiteral("unsubscribed list")));
  r.select(r.dialog->subscribed_view(), {0});
  for (const char* name : {"unsubscribe", "moveToTop", "rescan"}) QVERIFY2(r.button(name)->isEnabled(), name);
  QVERIFY(!r.button("subscribe")->isEnabled());
  r.dialog->subscribed_view()->clearSelection();

  r.select(r.dialog->unsubscribed_view(), {3, 0});
  r.click("subscribe");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.two", "s.one", "Alpha", "beta"}));
  QCOMPARE(r.title(), QStringLiteral("4 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 4);
  QVERIFY(r.dialog->unsubscribed_view()->selectionModel()->selectedIndexes().isEmpty());
  QVERIFY(!r.button("subscribe")->isEnabled());  // the moved rows took the selection with them

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

  // Enter in a list moves its selection across; OK, the default button, is not pressed.
  r.select(r.dialog->subscribed_view(), {0});
  r.dialog->subscribed_view()->setFocus();
  QTest::keyClick(r.dialog->subscribed_view(), Qt::Key_Return);
  QCOMPARE(r.dialog->lists().subscribed, (Names{"gamma"}));
  QVERIFY(r.dialog->isVisible());
  r.select(r.dialog->unsubscribed_view(), {0});
  QTest::keyClick(r.dialog->unsubscribed_view(), Qt::Key_Enter);
  QCOMPARE(r.dialog->lists().subscribed.size(), std::size_t{2});
  QVERIFY(r.dialog->isVisible());
}

void GroupsDialogTest::caret_defaults_and_delete_then_ok() {
  Rig r(kSample);
  r.select(r.dialog->subscribed_view(), {1});
  r.click("moveToTop");
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.one", "s.two"}));
  r.click("defaults");  // "picture" counts in lower case only
  QCOMPARE(r.dialog->lists().subscribed, (Names{"s.one", "s.two", "alt.pictures"}));
  QCOMPARE(r.title(), QStringLiteral("3 of 7 Groups Will Be Scanned for Articles"));
  QVERIFY(r.working_buttons_enabled());
  r.state.subscribed_groups = 99;
  r.click("deleteUnsubscribed");  // changes neither the title nor the count
  QVERIFY(r.dialog->lists().unsubscribed.empty());
  QCOMPARE(r.title(), QStringLiteral("3 of 7 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 99);
  r.click("ok");
  QCOMPARE(r.dialog->result(), int(QDialog::Accepted));
  QCOMPARE(r.title(), QStringLiteral("Done"));
  QCOMPARE(test::read_file("newsrc.new"), std::string(" s.one\n s.two\n alt.pictures\n"));
}

void GroupsDialogTest::missing_files_and_a_failed_save_show_a_box() {
  Rig r;
  auto boxes = r.dialogs.boxes();
  QCOMPARE(boxes.size(), std::size_t{1});
  QCOMPARE(
      boxes[0].text,
      std::string("Unable to find newsrc file.\nUse Refresh Button To Get List of News Groups From Server"));
  QCOMPARE(boxes[0].caption, std::string("Unable To Open File"));
  QCOMPARE(r.title(), QStringLiteral("0 of 0 Groups Will Be Scanned for Articles"));
  QVERIFY(test::read_file("fk.log").find("Unable to find newsrc file.") != std::string::npos);

  // newsrc.new cannot be written (a folder of that name): OK says so and keeps the dialog and the edit.
  std::filesystem::create_directory("newsrc.new");
  r.click("ok");
  QVERIFY(r.dialog->isVisible());
  QCOMPARE(r.dialogs.boxes().back().caption, std::string("Unable To Save File"));
  QVERIFY(test::read_file("fk.log").find("ERROR: File Open newsrc.new - Write") != std::string::npos);
  QVERIFY(r.button("ok")->isEnabled());
}

void GroupsDialogTest::refresh_is_off_while_a_scan_holds_the_connection() {
  Rig r(kSample);
  QPushButton* refresh = r.button("refresh");
  QVERIFY(refresh->isEnabled());
  // A scan starts while the dialog is open, and ends.
  r.state.connected = 1;
  QTRY_VERIFY_WITH_TIMEOUT(!refresh->isEnabled(), 3000);
  QVERIFY(refresh->toolTip().contains(QStringLiteral("news connection")));
  QVERIFY(r.button("ok")->isEnabled());
  r.state.connected = 0;
  QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 3000);
  QVERIFY(r.dialogs.boxes().empty());
}

void GroupsDialogTest::refresh_runs_with_the_working_buttons_off() {
  Rig r(kSample);
  const GroupLists before = r.dialog->lists();
  test::write_file("newsrc", " kept\n");
  QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);
  r.click("refresh");
  QVERIFY(r.dialog->busy());
  QVERIFY(!r.working_buttons_enabled());
  QVERIFY(!r.button("subscribe")->isEnabled());
  QVERIFY(r.button("cancel")->isEnabled());
  QTRY_COMPARE(r.title(), QStringLiteral("Requesting Connection To News Server..."));
  // The listing has begun, but the lists change only once it is whole.
  QCOMPARE(r.dialog->lists().subscribed, before.subscribed);
  QCOMPARE(r.dialog->lists().unsubscribed, before.unsubscribed);

  r.refresher.release();
  QVERIFY(finished.wait(10000));
  QVERIFY(r.working_buttons_enabled());
  QCOMPARE(r.title(), QStringLiteral("Select News Groups to Search For Articles"));
  QCOMPARE(r.dialog->lists().unsubscribed, (Names{"Alpha.pics", "beta.pics", "zeta.pics"}));
  QVERIFY(r.dialog->lists().subscribed.empty());
  QCOMPARE(r.dialog->unsubscribed_view()->model()->rowCount(), 3);

  r.click("cancel");
  QCOMPARE(test::read_file("newsrc.new"), std::string(kSample));
  QCOMPARE(test::read_file("newsrc"), std::string(" kept\n"));
}

// A server that never finishes its listing cannot hold the dialog: Escape, Cancel and the close command
// each stop the refresh and close without saving.
void GroupsDialogTest::escape_cancel_and_close_stop_a_stalled_refresh() {
  test::NntpTestServer server;
  for (int way = 0; way < 3; ++way) {
    server.add_fault({"list active", 0, test::FaultAction::Stall, "215 list follows\r\nalt.one 1 1 y\r\n"});
    Rig r(kSample, true, &server);
    QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);
    r.click("refresh");
    QTRY_VERIFY_WITH_TIMEOUT(r.title().startsWith(QStringLiteral("Requesting News Groups")), 10000);
    if (way == 0) QTest::keyClick(r.dialog.get(), Qt::Key_Escape);
    if (way == 1) r.click("cancel");
    if (way == 2) r.dialog->close();
    QVERIFY(!r.dialog->isVisible());
    QCOMPARE(r.dialog->result(), int(QDialog::Rejected));
    QTRY_COMPARE_WITH_TIMEOUT(r.state.news_socket.load(), -1, 5000);
    QCOMPARE(test::read_file("newsrc.new"), std::string(kSample));
    QVERIFY(r.reports().empty());
  }
}

// Any answer but 215 is told at once; a listing cut short or past the limit says so in the dialog.
void GroupsDialogTest::refusal_cut_and_cap_are_shown() {
  test::NntpTestServer server(std::make_shared<test::ListingContent>(25));
  Rig r(kSample, true, &server, {}, 20);
  const GroupLists before = r.dialog->lists();
  QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);

  server.add_fault({"list active", 1, test::FaultAction::Reply, "503 program fault - command not performed\r\n"});
  QElapsedTimer timer;
  timer.start();
  r.click("refresh");
  QVERIFY(finished.wait(10000));
  QVERIFY(timer.elapsed() < 5000);
  QCOMPARE(r.reports().size(), std::size_t{1});
  const auto box = r.reports().back();
  QCOMPARE(box.caption, std::string("News Groups Listing Refused"));
  QVERIFY2(box.text.find("127.0.0.1") != std::string::npos, box.text.c_str());
  QVERIFY2(box.text.find("503 program fault") != std::string::npos, box.text.c_str());
  QCOMPARE(r.dialog->lists().unsubscribed, before.unsubscribed);
  QVERIFY(r.working_buttons_enabled());

  server.add_fault({"list active", 1, test::FaultAction::Drop, "215 list follows\r\nalt.torn 1 1 y\r\n"});
  r.click("refresh");
  QVERIFY(finished.wait(10000));
  QCOMPARE(r.reports().size(), std::size_t{2});
  QCOMPARE(r.reports().back().caption, std::string("News Groups Listing Incomplete"));
  QCOMPARE(r.dialog->lists().subscribed, before.subscribed);
  QCOMPARE(r.dialog->lists().unsubscribed, before.unsubscribed);
  QVERIFY(!r.dialog->findChild<QLabel*>(QStringLiteral("refreshNotice"))->isVisibleTo(r.dialog.get()));

  r.click("refresh");
  QVERIFY(finished.wait(10000));
  QCOMPARE(r.dialog->lists().unsubscribed.size(), std::size_t{20});
  auto* notice = r.dialog->findChild<QLabel*>(QStringLiteral("refreshNotice"));
  QVERIFY(notice->isVisibleTo(r.dialog.get()));
  QVERIFY2(notice->text().contains(QStringLiteral("5 groups dropped")), qPrintable(notice->text()));
  QCOMPARE(r.reports().size(), std::size_t{2});
}

// A refresh that never got the whole listing must not let OK save an emptied newsrc.
void GroupsDialogTest::refused_or_torn_refresh_keeps_both_lists() {
  test::NntpTestServer server;
  Rig r(kSample, true, &server);
  const GroupLists before = r.dialog->lists();
  QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);

  // The listing breaks off after one group.
  server.add_fault({"list active", 0, test::FaultAction::Drop, "215 list follows\r\nalt.torn 1 1 y\r\n"});
  r.click("refresh");
  QVERIFY(finished.wait(10000));
  QCOMPARE(r.dialog->lists().subscribed, before.subscribed);
  QCOMPARE(r.dialog->lists().unsubscribed, before.unsubscribed);

  // Nobody listening on the port.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  const int bound = ::socket(AF_INET, SOCK_STREAM, 0);
  ::bind(bound, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(bound, reinterpret_cast<sockaddr*>(&addr), &len);
  const std::uint16_t port = ntohs(addr.sin_port);
  r.engine.use_server(port);
  r.click("refresh");
  QVERIFY(finished.wait(10000));
  QCOMPARE(r.dialog->lists().subscribed, before.subscribed);
  QCOMPARE(r.dialog->lists().unsubscribed, before.unsubscribed);
  const std::string box = r.dialogs.boxes().back().text;
  QVERIFY2(box.find("127.0.0.1 port " + std::to_string(port)) != std::string::npos, box.c_str());
  QVERIFY2(box.find("connection refused") != std::string::npos, box.c_str());
  ::close(bound);

  r.click("ok");
  QVERIFY(test::read_file("newsrc.new").starts_with(" s.two\n s.one\n"));
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
  std::string file;
  for (int i = 0; i < 30000; ++i) {
    file += i % 100 == 0 ? ' ' : '#';
    file += i % 3 ? "alt.binaries.group" : "Comp.group";
    file += std::to_string((i * 7919) % 30000);
    file += '\n';
  }
  QElapsedTimer timer;
  timer.start();
  Rig r(file);
  GroupsDialog& dialog = *r.dialog;
  QCoreApplication::processEvents();
  const qint64 load_ms = timer.restart();
  QCOMPARE(dialog.lists().unsubscribed.size(), std::size_t{29700});
  QCOMPARE(r.state.subscribed_groups.load(), 300);

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

void GroupsDialogTest::scan_marks_show_as_tool_tips_and_rescan_forgets_them_at_ok() {
  const std::string marks = "s.one 1049998112\ns.two 7\nelsewhere 3\n";
  auto tip = [](Rig& r, int row) {
    auto* model = r.dialog->subscribed_view()->model();
    return model->data(model->index(row, 0), Qt::ToolTipRole).toString();
  };
  {
    Rig r(kSample, true, nullptr, marks);
    QCOMPARE(tip(r, 1), QStringLiteral("scanned to 1,049,998,112"));
    QCOMPARE(tip(r, 0), QStringLiteral("scanned to 7"));
    r.select(r.dialog->subscribed_view(), {1});
    r.click("rescan");
    QCOMPARE(tip(r, 1), QString());
    r.click("cancel");  // Cancel loses the rescan with every other change
  }
  QCOMPARE(ScanMarks().get("s.one"), std::optional<std::int64_t>());  // the folder went with the rig
  Rig r(kSample, true, nullptr, marks);
  r.select(r.dialog->subscribed_view(), {1});
  r.click("rescan");
  QCOMPARE(ScanMarks().get("s.one"), std::optional<std::int64_t>(1049998112));
  r.click("ok");
  QCOMPARE(test::read_file(kScanMarkFileName), std::string("elsewhere 3\ns.two 7\n"));
}

// Group j of the listing is generated_group_name(j): "alt.binaries.pictures.n<j>" when j % 6 is 0,
// "Alt.Binaries.Sounds.n<j>" when it is 1.
void GroupsDialogTest::server_of_300000_groups_is_filtered_subscribed_and_saved() {
  constexpr int kGroups = 300000;
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // counts with separators
  test::NntpTestServer server(std::make_shared<test::ListingContent>(kGroups));
  Rig r(kSample, true, &server);
  QListView* left = r.dialog->unsubscribed_view();
  QListView* right = r.dialog->subscribed_view();
  QLineEdit* filter = r.dialog->filter_field();

  QSignalSpy finished(r.dialog.get(), &GroupsDialog::refresh_finished);
  QElapsedTimer timer;
  timer.start();
  r.click("refresh");
  QVERIFY(finished.wait(60000));
  const qint64 refresh_ms = timer.restart();
  QCOMPARE(r.title(), QString::fromLatin1(kRefreshDoneTitle));
  QVERIFY(r.working_buttons_enabled());
  QCOMPARE(r.dialog->lists().unsubscribed.size(), std::size_t{kGroups});
  QVERIFY(r.dialog->lists().subscribed.empty());
  QVERIFY(std::is_sorted(r.dialog->lists().unsubscribed.begin(), r.dialog->lists().unsubscribed.end(),
                         group_name_less));
  QCOMPARE(r.count_label("unsubscribedCount"), QStringLiteral("300,000 groups"));
  QVERIFY(!r.engine.logged("Too Many News Groups... some Discarded"));

  // Typed key by key, as a user does; letter case does not matter.
  QTest::keyClicks(filter, QStringLiteral("Binaries.PICTURES"));
  const qint64 typing_ms = timer.restart();
  QCOMPARE(r.shown(left), kGroups / 6);
  QCOMPARE(r.count_label("unsubscribedCount"), QStringLiteral("50,000 of 300,000 shown"));
  QCOMPARE(r.count_label("subscribedCount"), QStringLiteral("0 of 0 shown"));
  QTest::keyClick(filter, Qt::Key_Return);  // goes on to the list; OK is not pressed
  QVERIFY(r.dialog->isVisible());
  QCOMPARE(r.dialog->focusWidget(), static_cast<QWidget*>(left));

  // A wildcard matches the whole name; subscribing takes what is shown.
  filter->setText(QStringLiteral("*pictures.n1234?"));
  QCOMPARE(r.shown(left), 2);  // 12342 and 12348
  left->selectAll();
  r.click("subscribe");
  QCOMPARE(r.shown(left), 0);
  QCOMPARE(r.shown(right), 2);
  filter->setText(QStringLiteral("*sounds.n777?"));
  QCOMPARE(r.shown_name(left, 1), std::string("Alt.Binaries.Sounds.n7777"));
  r.double_click(left, 1);
  // "Defaults -->" looks only at what is shown, not at the 50,000 pictures groups.
  filter->setText(QStringLiteral("*pictures.n2999?"));
  r.click("defaults");
  QCOMPARE(r.dialog->lists().subscribed.size(), std::size_t{4});

  // The filter narrows the subscribed list too, and "^" moves the shown group to the very top.
  filter->setText(QStringLiteral("N1234"));
  QCOMPARE(r.count_label("subscribedCount"), QStringLiteral("2 of 4 shown"));
  r.select(right, {1});
  r.click("moveToTop");

  filter->clear();
  QCOMPARE(r.shown(left), kGroups - 4);
  QCOMPARE(r.shown(right), 4);
  QCOMPARE(r.dialog->lists().subscribed,
           (Names{"alt.binaries.pictures.n12348", "alt.binaries.pictures.n12342", "Alt.Binaries.Sounds.n7777",
                  "alt.binaries.pictures.n29994"}));
  QCOMPARE(r.title(), QStringLiteral("4 of 300,000 Groups Will Be Scanned for Articles"));
  QCOMPARE(r.state.subscribed_groups.load(), 4);

  r.click("ok");
  QCOMPARE(r.dialog->result(), int(QDialog::Accepted));
  const std::string saved = test::read_file("newsrc.new");
  QCOMPARE(saved.substr(0, saved.find('#')),
           std::string(" alt.binaries.pictures.n12348\n alt.binaries.pictures.n12342\n Alt.Binaries.Sounds.n7777\n"
                       " alt.binaries.pictures.n29994\n"));
  QCOMPARE(std::count(saved.begin(), saved.end(), '\n'), std::ptrdiff_t{kGroups});
  qInfo("300,000 groups: refresh from the test server %lld ms, 17 filter keystrokes %lld ms", refresh_ms,
        typing_ms);
  QLocale::setDefault(QLocale::system());
}

QTEST_MAIN(GroupsDialogTest)
#include "groups_dialog_test.moc"
