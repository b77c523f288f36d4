// SPDX-License-Identifier: GPL-3.0-or-later
// The status window's controls, commands, caption, window menu and timer.
#include <QAbstractItemView>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "common/fake_clock.h"
#include "store/profile_file.h"
#include "store/status_log.h"
#include "ui/dialogs.h"
#include "ui_fixture.h"

using fk::ControlId;
using fk::test::UiFixture;

namespace {

QString shown_text(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QPushButton*>(w)) return QString(b->text()).remove(QLatin1Char('&'));  // mnemonics
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return QStringLiteral("<no text>");
}

void double_click_row(QAbstractItemView* view, int row) {
  const QRect rect = view->visualRect(view->model()->index(row, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

// Closes the next modal dialog once it is up and hands it to `check` first.
void answer_next_modal(std::function<void(QWidget*)> check) {
  auto* driver = new QTimer;
  driver->setInterval(10);
  QObject::connect(driver, &QTimer::timeout, [driver, check] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    check(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
    driver->stop();
    driver->deleteLater();
  });
  driver->start();
}

}  // namespace

class StatusWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void every_control_has_its_id_and_initial_text();
  void start_stop_and_trackbar_start_as_the_start_up_sequence_needs();
  void buttons_call_their_commands_with_the_selected_row();
  void double_clicks_remove_the_row_they_were_made_on();
  void selection_follows_a_moved_article_and_delete_removes_it();
  void history_counts_follow_the_lists_at_once();
  void place_and_columns_round_trip_through_fennick_ini();
  void window_fits_800_by_500_logical();
  void pending_columns_fit_the_list_width();
  void close_button_escape_and_window_manager_all_run_close();
  void minimising_shows_the_taskbar_name();
  void window_menu_offers_the_about_box();
  void timer_ticks_once_started();
};

void StatusWindowTest::every_control_has_its_id_and_initial_text() {
  UiFixture f;
  const std::pair<ControlId, const char*> texts[] = {
      {ControlId::SetupButton, "Setup"},
      {ControlId::StartButton, "Start Fennicking"},
      {ControlId::CloseButton, "Close"},
      {ControlId::NewsGroupsButton, "News Groups"},
      {ControlId::StopButton, "STOP !"},
      {ControlId::SkipGroupButton, "Skip Group"},
      {ControlId::BozoButton, "Bozo Bucket"},
      {ControlId::DownloadNextButton, "D/L Next"},
      {ControlId::ConnectedToLabel, "Connected To:"},
      {ControlId::ConnectionStatus, "NoBody ... initialization in progress"},
      {ControlId::GroupName, "None"},
      {ControlId::GroupCounter, "0 of 0"},
      {ControlId::SchedulerStatus, "Scheduler Status"},
      {ControlId::Throughput, "Soon to be updated"},
      {ControlId::PictureSummary, "None So Far..."},
      {ControlId::PendingBox, "Pending Downloads For News Group"},
      {ControlId::DownloadStatus, ""},
      {ControlId::HistoryBox, "Historical Buffers"},
      {ControlId::ArticleIdLabel, "Article ID's"},
      {ControlId::FilenamesLabel, "Filenames"},
      {ControlId::BlacklistLabel, "Blacklisted Bozos"},
  };
  for (const auto& [id, text] : texts) {
    QWidget* w = f.window->control(id);
    QVERIFY2(w, qPrintable(QStringLiteral("missing id%1").arg(static_cast<int>(id))));
    QCOMPARE(w->objectName(), QStringLiteral("id%1").arg(static_cast<int>(id)));
    QCOMPARE(shown_text(w), QString::fromLatin1(text));
  }
  QVERIFY(f.find<QLineEdit>(ControlId::DownloadStatus)->isReadOnly());
  QVERIFY(f.find<QProgressBar>(ControlId::GroupsProgress));
  QVERIFY(f.find<QProgressBar>(ControlId::ArticleProgress));
  for (ControlId list :
       {ControlId::PendingList, ControlId::ArticleIdList, ControlId::FilenamesList, ControlId::BlacklistList})
    QVERIFY(f.find<QAbstractItemView>(list));

  const std::pair<const char*, const char*> unnamed[] = {
      {"newsGroupLabel", "News Group:"},
      {"networkStatusLabel", "Network Status:"},
      {"picturesLabel", "Pictures:"},
      {"hintLabel", "HINT:  Double Click On Articles to Remove From Download Queue"},
      {"slowLabel", "Slow"},
      {"fastLabel", "Fast"}};
  for (const auto& [name, text] : unnamed) {
    auto* label = f.window->findChild<QLabel*>(QString::fromLatin1(name));
    QVERIFY2(label, name);
    QCOMPARE(label->text(), QString::fromLatin1(text));
  }
  QVERIFY(f.window->findChild<QWidget*>(QStringLiteral("programIcon")));
  QVERIFY(f.window->findChild<QWidget*>(QStringLiteral("statusBox")));

  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  QStringList headings;
  for (int c = 0; c < pending->model()->columnCount(); ++c)
    headings << pending->model()->headerData(c, Qt::Horizontal).toString();
  QCOMPARE(headings, (QStringList{"Article", "Author", "Lines", "Subject"}));
}

void StatusWindowTest::start_stop_and_trackbar_start_as_the_start_up_sequence_needs() {
  UiFixture f;
  QVERIFY(!f.find<QPushButton>(ControlId::StartButton)->isEnabled());
  QVERIFY(!f.find<QPushButton>(ControlId::StopButton)->isEnabled());
  auto* slider = f.find<QSlider>(ControlId::PacingTrackbar);
  QCOMPARE(slider->minimum(), 0);
  QCOMPARE(slider->maximum(), 10);
  QCOMPARE(slider->value(), 10);
  QCOMPARE(f.view->pacing_position(), 10);
  slider->setValue(3);
  QCOMPARE(f.view->pacing_position(), 3);

  // The loader thread enables Start once the histories are in.
  std::thread([&] { f.view->set_enabled(ControlId::StartButton, true); }).join();
  QTRY_VERIFY(f.find<QPushButton>(ControlId::StartButton)->isEnabled());
  QVERIFY(!f.find<QPushButton>(ControlId::StopButton)->isEnabled());
}

void StatusWindowTest::buttons_call_their_commands_with_the_selected_row() {
  UiFixture f;
  f.view->set_enabled(ControlId::StartButton, true);
  f.view->set_enabled(ControlId::StopButton, true);
  for (ControlId id :
       {ControlId::StartButton, ControlId::StopButton, ControlId::SetupButton, ControlId::NewsGroupsButton,
        ControlId::SkipGroupButton, ControlId::BozoButton, ControlId::DownloadNextButton})
    f.find<QPushButton>(id)->click();
  // With nothing to move or skip, D/L Next and Skip Group are off and say why instead of answering
  // with a box.
  auto* next = f.find<QPushButton>(ControlId::DownloadNextButton);
  auto* skip = f.find<QPushButton>(ControlId::SkipGroupButton);
  for (QPushButton* off : {next, skip}) {
    QVERIFY(!off->isEnabled());
    QVERIFY(!off->toolTip().isEmpty());
  }
  QCOMPARE(f.commands.names(), (std::vector<std::string>{"start", "stop", "setup", "groups", "bozo"}));
  QVERIFY(!f.commands.calls[4].row);  // nothing selected
  // Start and STOP follow the core and say why they are off.
  f.view->set_enabled(ControlId::StopButton, false);
  f.view->flush();
  QVERIFY(!f.find<QPushButton>(ControlId::StopButton)->isEnabled());
  QCOMPARE(f.find<QPushButton>(ControlId::StopButton)->toolTip(),
           QStringLiteral("No session is running, or it is already stopping"));

  f.pending.append("100\tA <a@x>\t900\tfirst");
  f.pending.append("101\tB <b@x>\t901\tsecond");
  f.pending.append("102\tC <c@x>\t902\tthird");
  auto* list = f.find<QTreeView>(ControlId::PendingList);
  QTRY_COMPARE(list->model()->rowCount(), 3);
  list->setCurrentIndex(list->model()->index(2, 1));
  QVERIFY(next->isEnabled());
  f.commands.calls.clear();
  f.find<QPushButton>(ControlId::DownloadNextButton)->click();
  f.find<QPushButton>(ControlId::BozoButton)->click();
  QCOMPARE(f.commands.calls.size(), std::size_t{2});
  // The core's word still counts: the session turns Skip Group off between groups.
  QVERIFY(skip->isEnabled());
  f.view->set_enabled(ControlId::SkipGroupButton, false);
  f.view->flush();
  QVERIFY(!skip->isEnabled());
  f.view->set_enabled(ControlId::SkipGroupButton, true);
  f.view->flush();
  skip->click();
  QCOMPARE(f.commands.names(), (std::vector<std::string>{"download_next", "bozo", "skip_group"}));
  f.commands.calls.pop_back();
  for (const auto& call : f.commands.calls) {
    QVERIFY(call.row);
    QCOMPARE(call.row->index, std::size_t{2});
    QCOMPARE(call.row->text, std::string("102\tC <c@x>\t902\tthird"));
  }
}

// D/L Next copies the row up and removes its old place; the selection must stay on that article.
void StatusWindowTest::selection_follows_a_moved_article_and_delete_removes_it() {
  UiFixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  for (int i = 0; i < 5; ++i)
    f.pending.append(std::to_string(300 + i) + "\tauthor\t1000\tsubject " + std::to_string(i));
  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  QTRY_COMPARE(pending->model()->rowCount(), 5);
  pending->setCurrentIndex(pending->model()->index(3, 0));
  QVERIFY(f.pending.move_to_next(3));
  QTRY_COMPARE(pending->model()->index(1, 0).data().toString(), QStringLiteral("303"));
  QCOMPARE(pending->model()->rowCount(), 5);
  QCOMPARE(f.window->selected_pending()->index, std::size_t{1});
  QCOMPARE(f.window->selected_pending()->text, std::string("303\tauthor\t1000\tsubject 3"));

  pending->setFocus();
  QTest::keyClick(pending, Qt::Key_Delete);
  QCOMPARE(f.commands.names(), std::vector<std::string>{"remove_pending"});
  QCOMPARE(f.commands.calls[0].row->text, std::string("303\tauthor\t1000\tsubject 3"));
}

void StatusWindowTest::history_counts_follow_the_lists_at_once() {
  UiFixture f;
  auto* label = f.find<QLabel>(ControlId::FilenamesLabel);
  f.files.add_at_top("a.jpg", 10);
  f.files.add_at_top("b.jpg", 10);
  QTRY_COMPARE(label->text(), QStringLiteral("2 Downloaded Files"));
  QVERIFY(f.files.remove_at(0));
  QTRY_COMPARE(label->text(), QStringLiteral("1 Downloaded Files"));
}

void StatusWindowTest::place_and_columns_round_trip_through_fennick_ini() {
  QString geometry, columns;
  {
    UiFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    const QSize least = f.window->minimumSizeHint();
    QVERIFY(f.window->restore_geometry(QStringLiteral("12,24,%1,%2").arg(least.width() + 10).arg(least.height() + 5)));
    QVERIFY(f.window->restore_column_widths(QStringLiteral("90,150,60,700")));
    geometry = f.window->geometry_text();
    columns = f.window->column_widths_text();
    fk::Settings s;
    s.window_geometry = geometry.toStdString();
    s.pending_columns = columns.toStdString();
    fk::test::FakeClock clock;
    fk::SharedSettings shared(s);
    fk::StatusLog log(shared, clock);
    fk::save_settings(fk::ProfileFile("FENNICK.INI"), s, log);

    fk::Settings back;
    fk::ArchiveCounters archive;
    fk::load_settings(fk::ProfileFile("FENNICK.INI"), back, archive);
    QCOMPARE(QString::fromStdString(back.window_geometry), geometry);
    QCOMPARE(QString::fromStdString(back.pending_columns), columns);
  }
  UiFixture again;
  QVERIFY(again.window->restore_geometry(geometry));
  QVERIFY(again.window->restore_column_widths(columns));
  QCOMPARE(again.window->geometry_text(), geometry);
  QCOMPARE(again.window->column_widths_text(), QStringLiteral("90,150,60,700"));
  // A place no screen shows, a size beyond the screen and broken texts change nothing.
  for (const char* bad : {"5000,5000,700,500", "0,0,9000,9000", "1,2,3", "a,b,c,d", ""})
    QVERIFY2(!again.window->restore_geometry(QString::fromLatin1(bad)), bad);
  for (const char* bad : {"1,2,3", "0,100,100,100", "90,150,60,x"})
    QVERIFY2(!again.window->restore_column_widths(QString::fromLatin1(bad)), bad);
  QCOMPARE(again.window->geometry_text(), geometry);
}

// Run again with QT_SCALE_FACTOR=2: a 1600x1000 screen at 200% is 800x500 logical.
void StatusWindowTest::window_fits_800_by_500_logical() {
  UiFixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  const QSize least = f.window->minimumSizeHint().expandedTo(f.window->minimumSize());
  QVERIFY2(least.width() <= 800 && least.height() <= 500,
           qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
}

// No sideways scrolling: the subject takes what the other columns leave, and widths the user chose are
// shown where they fit and narrowed where they do not, until the room comes back.
void StatusWindowTest::pending_columns_fit_the_list_width() {
  UiFixture f;
  f.pending.append("4000000001\tA Poster <a@x>\t1200\t" + std::string(300, 's'));
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  QHeaderView* header = pending->header();
  QTRY_COMPARE(pending->model()->rowCount(), 1);
  auto sizes = [header] {
    return QStringLiteral("%1,%2,%3")
        .arg(header->sectionSize(0))
        .arg(header->sectionSize(1))
        .arg(header->sectionSize(2));
  };
  for (QSize size : {f.window->sizeHint(), f.window->minimumSizeHint()}) {
    f.window->resize(size);
    QTRY_COMPARE(header->length(), pending->viewport()->width());
    QVERIFY(header->sectionSize(3) >= header->sectionSize(2));
    QVERIFY(header->sectionSize(0) >= pending->fontMetrics().horizontalAdvance(QStringLiteral("4000000001")));
  }

  f.window->resize(1200, 700);
  QVERIFY(f.window->restore_column_widths(QStringLiteral("90,150,60,700")));
  QTRY_COMPARE(sizes(), QStringLiteral("90,150,60"));
  QTRY_COMPARE(header->length(), pending->viewport()->width());

  QVERIFY(f.window->restore_column_widths(QStringLiteral("90,3000,60,700")));
  QTRY_COMPARE(header->length(), pending->viewport()->width());
  QVERIFY(header->sectionSize(1) < 3000);
  QCOMPARE(f.window->column_widths_text(), QStringLiteral("90,3000,60,700"));
  f.window->resize(4000, 700);
  QTRY_COMPARE(sizes(), QStringLiteral("90,3000,60"));

  // A column dragged past the list's edge stops where the subject keeps a little room.
  f.window->resize(1200, 700);
  QTRY_VERIFY(header->sectionSize(1) < 3000);
  header->resizeSection(1, 5000);
  QTRY_COMPARE(header->length(), pending->viewport()->width());
  QCOMPARE(f.window->column_widths_text().split(QLatin1Char(','))[1].toInt(), header->sectionSize(1));
}

void StatusWindowTest::double_clicks_remove_the_row_they_were_made_on() {
  UiFixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  for (int i = 0; i < 4; ++i)
    f.pending.append(std::to_string(200 + i) + "\tauthor\t1000\tsubject " + std::to_string(i));
  f.ids.add_at_top("<older@x>", 10);
  f.ids.add_at_top("<newer@x>", 10);
  f.bozos.add_at_top("zeta@x", 10);
  f.bozos.add_at_top("alpha@x", 10);
  auto* pending = f.find<QTreeView>(ControlId::PendingList);
  auto* ids = f.find<QAbstractItemView>(ControlId::ArticleIdList);
  auto* bozos = f.find<QAbstractItemView>(ControlId::BlacklistList);
  QTRY_COMPARE(pending->model()->rowCount(), 4);
  QTRY_COMPARE(ids->model()->rowCount(), 2);
  QTRY_COMPARE(bozos->model()->rowCount(), 2);
  // Newest first, never sorted.
  QCOMPARE(bozos->model()->index(0, 0).data().toString(), QStringLiteral("alpha@x"));
  QCOMPARE(bozos->model()->index(1, 0).data().toString(), QStringLiteral("zeta@x"));

  double_click_row(pending, 1);
  double_click_row(ids, 1);
  double_click_row(bozos, 0);
  QCOMPARE(f.commands.names(),
           (std::vector<std::string>{"remove_pending", "remove_history", "remove_history"}));
  const auto& calls = f.commands.calls;
  QCOMPARE(calls[0].row->index, std::size_t{1});
  QCOMPARE(calls[0].row->text, std::string("201\tauthor\t1000\tsubject 1"));
  QCOMPARE(calls[1].list, ControlId::ArticleIdList);
  QCOMPARE(calls[1].row->text, std::string("<older@x>"));
  QCOMPARE(calls[2].list, ControlId::BlacklistList);
  QCOMPARE(calls[2].row->index, std::size_t{0});
  QCOMPARE(calls[2].row->text, std::string("alpha@x"));
}

void StatusWindowTest::close_button_escape_and_window_manager_all_run_close() {
  UiFixture f;
  f.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
  f.find<QPushButton>(ControlId::CloseButton)->click();
  QTest::keyClick(f.window.get(), Qt::Key_Escape);
  QVERIFY(!f.window->close());  // the window manager's close button
  QCOMPARE(f.commands.names(), (std::vector<std::string>{"close", "close", "close"}));
  QVERIFY(f.window->isVisible());

  // The core lets the window go from inside its Close.
  f.commands.on_close = [&] { f.window->close_for_good(); };
  QVERIFY(f.window->close());
  QVERIFY(!f.window->isVisible());
}

void StatusWindowTest::minimising_shows_the_taskbar_name() {
  UiFixture f;
  f.settings.update([](fk::Settings& s) { s.taskbar_name = "Quarterly Figures"; });
  f.window->show();
  QCOMPARE(f.window->windowTitle(), QString::fromLatin1(fk::test::kBanner));
  f.window->setWindowState(Qt::WindowMinimized);
  QCOMPARE(f.window->windowTitle(), QStringLiteral("Quarterly Figures"));
  f.window->setWindowState(Qt::WindowNoState);
  QCOMPARE(f.window->windowTitle(), QString::fromLatin1(fk::test::kBanner));
}

void StatusWindowTest::window_menu_offers_the_about_box() {
  UiFixture f;
  f.window->show();
  const QList<QAction*> items = f.window->window_menu()->actions();
  QVERIFY(items.size() >= 2);
  QVERIFY(items[items.size() - 2]->isSeparator());
  QCOMPARE(items.last()->text(), QStringLiteral("&About fennick..."));

  QString title, banner;
  answer_next_modal([&](QWidget* box) {
    title = box->windowTitle();
    if (auto* line = box->findChild<QLabel*>(QStringLiteral("id1072"))) banner = line->text();
  });
  items.last()->trigger();
  QCOMPARE(title, QStringLiteral("About Fennick"));
  QCOMPARE(banner, QString::fromLatin1(fk::test::kBanner));

  // "Show Pictures..." asks the owner for the gallery, from the menu and by its shortcut.
  QCOMPARE(items.first()->text(), QStringLiteral("Show &Pictures..."));
  int asked = 0;
  QObject::connect(f.window.get(), &fk::StatusWindow::pictures_requested, [&] { ++asked; });
  items.first()->trigger();
  f.window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
  QTest::keyClick(f.window.get(), Qt::Key_P, Qt::ControlModifier);
  QCOMPARE(asked, 2);
}

void StatusWindowTest::timer_ticks_once_started() {
  UiFixture f;
  QTest::qWait(50);
  QCOMPARE(f.commands.ticks, 0);  // the core decides when the tick begins
  f.window->start_timer();
  QVERIFY(f.window->timer_running());
  QTRY_VERIFY_WITH_TIMEOUT(f.commands.ticks >= 1, 10000);
  f.window->stop_timer();
  QVERIFY(!f.window->timer_running());
}

QTEST_MAIN(StatusWindowTest)
#include "status_window_test.moc"
