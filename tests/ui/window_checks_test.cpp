// SPDX-License-Identifier: GPL-3.0-or-later
// Every window from the keyboard and at larger sizes: mnemonics on buttons, labels that name their
// fields, no mnemonic used twice in one window, and least sizes that fit a small screen. Run again at
// 200% (QT_SCALE_FACTOR=2) and with a larger font (FK_TEST_FONT_SCALE=1.5).
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <functional>
#include <memory>

#include "app/group_list_refresher.h"
#include "common/fake_clock.h"
#include "common/recording_view.h"
#include "session/session_state.h"
#include "store/status_log.h"
#include "ui/bozo_dialog.h"
#include "ui/dialogs.h"
#include "ui/groups_dialog.h"
#include "ui/home_dialog.h"
#include "ui/setup_sheet.h"
#include "ui_fixture.h"

namespace {

double font_scale() {
  const double scale = qEnvironmentVariable("FK_TEST_FONT_SCALE").toDouble();
  return scale > 0 ? scale : 1.0;
}

// A field the user types into or picks from; read-only fields and scroll bars are not.
bool is_input(const QWidget* w) {
  if (!w) return false;
  if (auto* edit = qobject_cast<const QLineEdit*>(w)) return !edit->isReadOnly();
  if (qobject_cast<const QHeaderView*>(w)) return false;
  return qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
         qobject_cast<const QSlider*>(w);
}

QWidget* widget_at(QLayoutItem* item) {
  return item ? item->widget() : nullptr;
}

QString describe(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) return QStringLiteral("label \"%1\"").arg(label->text());
  if (auto* button = qobject_cast<const QAbstractButton*>(w))
    return QStringLiteral("button \"%1\"").arg(button->text());
  return QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

// A label just before an input (to its left, or above it when nothing is to its right) names that input;
// one just after another input is that input's unit ("Days Old") and names nothing.
void check_label_buddies(QLayout* layout, QStringList& problems) {
  auto check = [&](QWidget* w, QWidget* before, QWidget* after) {
    auto* label = qobject_cast<QLabel*>(w);
    if (!label || is_input(before) || !is_input(after)) return;
    if (!label->buddy()) problems << describe(label) + QStringLiteral(" has no buddy");
  };
  if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
    for (int i = 0; i < grid->count(); ++i) {
      int r = 0, c = 0, rows = 0, columns = 0;
      grid->getItemPosition(i, &r, &c, &rows, &columns);
      QLayoutItem* right = grid->itemAtPosition(r, c + columns);
      QWidget* after = right ? right->widget() : widget_at(grid->itemAtPosition(r + rows, c));
      check(grid->itemAt(i)->widget(), c > 0 ? widget_at(grid->itemAtPosition(r, c - 1)) : nullptr, after);
    }
  } else {
    QList<QLayoutItem*> items;
    for (int i = 0; i < layout->count(); ++i)
      if (!layout->itemAt(i)->spacerItem()) items << layout->itemAt(i);
    for (int i = 0; i < items.size(); ++i)
      check(items[i]->widget(), i > 0 ? items[i - 1]->widget() : nullptr,
            i + 1 < items.size() ? items[i + 1]->widget() : nullptr);
  }
  for (int i = 0; i < layout->count(); ++i)
    if (QLayout* inner = layout->itemAt(i)->layout()) check_label_buddies(inner, problems);
}

// The keys that move the focus or press a button among `widgets`, each with what it reaches.
void collect_mnemonics(const QList<QWidget*>& widgets, QMultiMap<QString, QString>& keys) {
  for (QWidget* w : widgets) {
    QKeySequence key;
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      key = QKeySequence::mnemonic(button->text());
      if (key.isEmpty()) key = button->shortcut();
    } else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) {
      key = QKeySequence::mnemonic(label->text());
    }
    if (!key.isEmpty()) keys.insert(key.toString(), describe(w));
  }
}

// Everything the keyboard check asks of one window; `scopes` are the sets of widgets shown together
// (a page of the setup sheet with the sheet's buttons), the whole window when empty.
QStringList keyboard_problems(QWidget* window, QList<QList<QWidget*>> scopes = {}) {
  QStringList problems;
  const QList<QWidget*> all = window->findChildren<QWidget*>();
  for (QWidget* w : all) {
    if (w->window() != window) continue;  // a combo box's popup list, say
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
      const QString text = button->text();
      const bool has_words =
          std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); });
      if (has_words ? QKeySequence::mnemonic(text).isEmpty() : button->shortcut().isEmpty())
        problems << describe(button) + QStringLiteral(" has no mnemonic");
    }
    if (is_input(w) && w->accessibleName().isEmpty()) {
      const bool named = std::any_of(all.begin(), all.end(), [w](QWidget* other) {
        auto* label = qobject_cast<QLabel*>(other);
        return label && label->buddy() == w;
      });
      if (!named) problems << describe(w) + QStringLiteral(" has neither a label nor a name");
    }
  }
  for (QLayout* layout : window->findChildren<QLayout*>())
    if (auto* owner = qobject_cast<QWidget*>(layout->parent()); owner && owner->window() == window)
      check_label_buddies(layout, problems);  // inner layouts are walked from their outer one
  if (scopes.isEmpty()) scopes << all;
  for (const auto& scope : scopes) {
    QMultiMap<QString, QString> keys;
    collect_mnemonics(scope, keys);
    for (const QString& key : keys.uniqueKeys())
      if (keys.count(key) > 1)
        problems << QStringLiteral("%1 used by %2")
                        .arg(key, QStringList(keys.values(key)).join(QStringLiteral(", ")));
  }
  return problems;
}

// The least size a window can be given, in logical pixels, against the screen it must fit.
QString misfit(QWidget* window, QSize screen) {
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) return QStringLiteral("not shown");
  const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
  qInfo("%s: at least %dx%d", qPrintable(window->windowTitle()), least.width(), least.height());
  if (least.width() <= screen.width() && least.height() <= screen.height()) return {};
  return QStringLiteral("%1 needs %2x%3").arg(window->windowTitle()).arg(least.width()).arg(least.height());
}

struct NoRefresh final : fk::GroupListRefresher {
  void refresh(fk::RefreshSink& sink) override { sink.title(fk::kRefreshDoneTitle); }
};

// The dialogs of the program over one scratch working folder.
struct DialogRig {
  DialogRig() { QDir::setCurrent(work.path()); }
  ~DialogRig() { QDir::setCurrent(QDir::tempPath()); }
  QTemporaryDir work;
  fk::test::FakeClock clock;
  fk::test::RecordingDialogs dialogs;
  fk::SharedSettings settings;
  fk::StatusLog log{settings, clock};
  fk::SessionState state;
  NoRefresh refresher;
};

}  // namespace

class WindowChecksTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void status_window_is_usable_from_the_keyboard_and_fits();
  void setup_sheet_pages_are_usable_from_the_keyboard_and_fit();
  void dialogs_are_usable_from_the_keyboard_and_fit();
  void checks_catch_what_they_are_for();

 private:
  QSize screen_;  // the least screen every window must fit, logical pixels
};

void WindowChecksTest::initTestCase() {
  const double scale = font_scale();
  if (scale != 1.0) {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * scale);
    QApplication::setFont(font);
  }
  // 800x500 logical (1600x1000 at 200%); a larger font is given a screen larger in proportion.
  screen_ = QSize(static_cast<int>(800 * scale), static_cast<int>(500 * scale));
}

void WindowChecksTest::status_window_is_usable_from_the_keyboard_and_fits() {
  fk::test::UiFixture f;
  const QStringList problems = keyboard_problems(f.window.get());
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
  const QString misfits = misfit(f.window.get(), screen_);
  QVERIFY2(misfits.isEmpty(), qPrintable(misfits));
}

void WindowChecksTest::setup_sheet_pages_are_usable_from_the_keyboard_and_fit() {
  DialogRig rig;
  fk::SetupSheet sheet(rig.settings, rig.dialogs, rig.log);
  QList<QWidget*> shared;
  for (auto* box : sheet.findChildren<QDialogButtonBox*>())
    for (QAbstractButton* b : box->buttons()) shared << b;
  QList<QList<QWidget*>> scopes;
  for (int i = 0; i < sheet.page_count(); ++i) scopes << (sheet.page(i)->findChildren<QWidget*>() + shared);
  const QStringList problems = keyboard_problems(&sheet, scopes);
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
  for (int i = 0; i < sheet.page_count(); ++i) {
    QVERIFY(sheet.select_page(i));
    const QString misfits = misfit(&sheet, screen_);
    QVERIFY2(misfits.isEmpty(), qPrintable(sheet.page(i)->caption() + QStringLiteral(": ") + misfits));
  }
}

void WindowChecksTest::dialogs_are_usable_from_the_keyboard_and_fit() {
  DialogRig rig;
  fk::GroupsDialog groups(rig.state, rig.dialogs, rig.log, rig.clock, rig.refresher);
  fk::BozoDialog bozo(500, rig.log);
  fk::AboutDialog about(QStringLiteral("Fennick 1.0.0 - Usenet picture harvester"));
  fk::ExitStatisticsDialog statistics;
  fk::HomeFolderDialog home(QStringLiteral("/home/someone/.local/share/fennick"),
                            QStringLiteral("/home/someone/Pictures/Fennick"));
  fk::test::GalleryFixture gallery;
  QVERIFY(about.findChild<QLabel*>(QStringLiteral("licence"))->text().contains(QStringLiteral("GPL-3.0-or-later")));
  const std::pair<const char*, QWidget*> windows[] = {{"groups", &groups},
                                                      {"bozo", &bozo},
                                                      {"about", &about},
                                                      {"home folder", &home},
                                                      {"statistics", &statistics},
                                                      {"gallery", &gallery.open()}};
  for (const auto& [name, window] : windows) {
    const QStringList problems = keyboard_problems(window);
    QVERIFY2(problems.isEmpty(),
             qPrintable(QString::fromLatin1(name) + QLatin1Char('\n') + problems.join(QLatin1Char('\n'))));
    const QString misfits = misfit(window, screen_);
    QVERIFY2(misfits.isEmpty(), qPrintable(QString::fromLatin1(name) + QStringLiteral(": ") + misfits));
  }
}

// The rules themselves, on a window made to break each of them.
void WindowChecksTest::checks_catch_what_they_are_for() {
  QWidget window;
  auto* layout = new QGridLayout(&window);
  auto* named = new QLineEdit(&window);
  auto* caption = new QLabel(QStringLiteral("&Name:"), &window);
  caption->setBuddy(named);
  layout->addWidget(caption, 0, 0);
  layout->addWidget(named, 0, 1);
  layout->addWidget(new QLabel(QStringLiteral("Days"), &window), 0, 2);  // a unit after its field
  layout->addWidget(new QLabel(QStringLiteral("Size:"), &window), 1, 0);
  layout->addWidget(new QLineEdit(&window), 1, 1);
  layout->addWidget(new QPushButton(QStringLiteral("&New"), &window), 2, 0);
  layout->addWidget(new QPushButton(QStringLiteral("Plain"), &window), 2, 1);
  layout->addWidget(new QPushButton(QStringLiteral("-->"), &window), 2, 2);
  const QStringList problems = keyboard_problems(&window);
  QCOMPARE(problems.size(), 5);
  const QString all = problems.join(QLatin1Char('\n'));
  QVERIFY2(all.contains(QStringLiteral("label \"Size:\" has no buddy")), qPrintable(all));
  QVERIFY2(all.contains(QStringLiteral("has neither a label nor a name")), qPrintable(all));
  QVERIFY2(all.contains(QStringLiteral("button \"Plain\" has no mnemonic")), qPrintable(all));
  QVERIFY2(all.contains(QStringLiteral("button \"-->\" has no mnemonic")), qPrintable(all));
  QVERIFY2(all.contains(QStringLiteral("Alt+N used by")), qPrintable(all));
}

QTEST_MAIN(WindowChecksTest)
#include "window_checks_test.moc"
