// SPDX-License-Identifier: GPL-3.0-or-later
// The status window: every control of the main window, its commands, caption, window menu and timer.
#include "ui/status_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <optional>

#include "ui/dialogs.h"
#include "ui/elided_label.h"
#include "ui/list_models.h"
#include "ui/qt_text.h"

namespace fk {

namespace {

QString id_name(ControlId id) {
  return QStringLiteral("id%1").arg(static_cast<int>(id));
}

QLabel* plain_label(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QProgressBar* progress_bar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

// Exactly `count` numbers separated by commas, or nothing.
std::optional<QList<int>> parse_numbers(const QString& text, int count) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() != count) return std::nullopt;
  QList<int> numbers;
  for (const QString& part : parts) {
    bool ok = false;
    const int n = part.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    numbers.append(n);
  }
  return numbers;
}

QListView* history_view(HistoryModel* model, QWidget* parent) {
  auto* view = new QListView(parent);
  view->setModel(model);
  view->setUniformItemSizes(true);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  // Long entries end in "..." with the whole text as a tool tip; a scroll bar would cost a row.
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setTextElideMode(Qt::ElideRight);
  return view;
}

}  // namespace

StatusWindow::StatusWindow(StatusCommands& commands, const SharedSettings& settings, PendingQueue& pending,
                           HistoryBuffer& article_ids, HistoryBuffer& filenames, HistoryBuffer& blacklist,
                           std::string banner, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      commands_(commands),
      settings_(settings),
      banner_(to_qstring(banner)),
      timer_(this) {
  setObjectName(QStringLiteral("statusWindow"));
  pending_model_ = new PendingModel(pending, this);
  ids_model_ = new HistoryModel(article_ids, this);
  files_model_ = new HistoryModel(filenames, this);
  bozos_model_ = new HistoryModel(blacklist, this);
  build();

  timer_.setObjectName(QStringLiteral("tickTimer"));
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, [this] { commands_.tick(); });

  setWindowIcon(program_icon());
  update_caption();
}

StatusWindow::~StatusWindow() = default;

QWidget* StatusWindow::add(ControlId id, QWidget* widget) {
  widget->setObjectName(id_name(id));
  controls_.insert(static_cast<int>(id), widget);
  return widget;
}

void StatusWindow::build() {
  build_window_menu();
  QGroupBox* status_box = build_status_box();
  QGroupBox* pending_box = build_pending_box();
  QGroupBox* history_box = build_history_box();

  auto* left = new QVBoxLayout;
  left->addWidget(status_box);
  left->addWidget(pending_box, 3);
  left->addWidget(history_box, 2);

  auto* main = new QHBoxLayout(this);
  main->addLayout(left, 1);
  main->addLayout(build_side_column());
  connect_buttons();

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] { commands_.close(); });
}

// On the program icon and on the window's background.
void StatusWindow::build_window_menu() {
  window_menu_ = new QMenu(this);
  window_menu_->setObjectName(QStringLiteral("windowMenu"));
  QAction* show_pictures = window_menu_->addAction(QStringLiteral("Show &Pictures..."));
  show_pictures->setObjectName(QStringLiteral("picturesAction"));
  show_pictures->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  addAction(show_pictures);  // the shortcut works without opening the menu
  connect(show_pictures, &QAction::triggered, this, &StatusWindow::pictures_requested);
  window_menu_->addSeparator();
  QAction* minimise = window_menu_->addAction(QStringLiteral("Mi&nimize"));
  connect(minimise, &QAction::triggered, this, &QWidget::showMinimized);
  QAction* close_item = window_menu_->addAction(QStringLiteral("&Close"));
  connect(close_item, &QAction::triggered, this, [this] { commands_.close(); });
  window_menu_->addSeparator();
  QAction* about = window_menu_->addAction(QStringLiteral("&About fennick..."));
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &StatusWindow::show_about);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { window_menu_->popup(mapToGlobal(at)); });
}

QGroupBox* StatusWindow::build_status_box() {
  auto* status_box = new QGroupBox(QStringLiteral("Fennick Status Information"), this);
  status_box->setObjectName(QStringLiteral("statusBox"));
  auto* status = new QGridLayout(status_box);
  status->setHorizontalSpacing(8);
  auto* connection = new ElidedLabel(QStringLiteral("NoBody ... initialization in progress"), this);
  connection->set_minimum_chars(30);
  auto* group_name = new ElidedLabel(QStringLiteral("None"), this);
  group_name->set_minimum_chars(28);
  auto* group_counter = new QLabel(QStringLiteral("0 of 0"), this);
  group_counter->setTextFormat(Qt::PlainText);
  auto* groups_progress = progress_bar(this);
  groups_progress->setMinimumWidth(dialog_units_x(fontMetrics(), 70));
  auto* scheduler = new ElidedLabel(QStringLiteral("Scheduler Status"), this);
  auto* throughput = new ElidedLabel(QStringLiteral("Soon to be updated"), this);
  throughput->set_minimum_chars(30);
  auto* pictures = new ElidedLabel(QStringLiteral("None So Far..."), this);
  pictures->set_minimum_chars(30);

  status->addWidget(add(ControlId::ConnectedToLabel, plain_label(QStringLiteral("Connected To:"), "", this)),
                    0, 0);
  status->addWidget(add(ControlId::ConnectionStatus, connection), 0, 1, 1, 3);
  auto* group_label = plain_label(QStringLiteral("News Group:"), "newsGroupLabel", this);
  group_label->setBuddy(group_name);
  status->addWidget(group_label, 1, 0);
  status->addWidget(add(ControlId::GroupName, group_name), 1, 1);
  status->addWidget(add(ControlId::GroupCounter, group_counter), 1, 2);
  status->addWidget(add(ControlId::GroupsProgress, groups_progress), 1, 3);
  status->addWidget(add(ControlId::SchedulerStatus, scheduler), 2, 1, 1, 3);
  status->addWidget(plain_label(QStringLiteral("Network Status:"), "networkStatusLabel", this), 3, 0);
  status->addWidget(add(ControlId::Throughput, throughput), 3, 1, 1, 3);
  status->addWidget(plain_label(QStringLiteral("Pictures:"), "picturesLabel", this), 4, 0);
  status->addWidget(add(ControlId::PictureSummary, pictures), 4, 1, 1, 3);
  status->setColumnStretch(1, 1);
  return status_box;
}

QGroupBox* StatusWindow::build_pending_box() {
  auto* pending_box = new QGroupBox(QStringLiteral("Pending Downloads For News Group"), this);
  add(ControlId::PendingBox, pending_box);
  auto* pending_layout = new QVBoxLayout(pending_box);
  pending_view_ = new QTreeView(this);
  add(ControlId::PendingList, pending_view_);
  pending_view_->setModel(pending_model_);
  pending_view_->setRootIsDecorated(false);
  pending_view_->setItemsExpandable(false);
  pending_view_->setUniformRowHeights(true);
  pending_view_->setAllColumnsShowFocus(true);
  pending_view_->setSelectionMode(QAbstractItemView::SingleSelection);
  pending_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  pending_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The columns fit the list's width: long subjects end in "..." and show whole as a tool tip.
  pending_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pending_view_->setTextElideMode(Qt::ElideRight);
  pending_view_->setAccessibleName(QStringLiteral("Pending Downloads"));
  QHeaderView* header = pending_view_->header();
  header->setObjectName(QStringLiteral("pendingHeadings"));
  header->setStretchLastSection(true);
  header->setSectionsMovable(false);
  connect(header, &QHeaderView::sectionResized, this,
          [this](int column, int, int width) { column_dragged(column, width); });
  pending_view_->viewport()->installEventFilter(this);
  // The lists give way first when the window is small (800x500 logical must fit).
  pending_view_->setMinimumHeight(pending_view_->fontMetrics().height() * 5);
  size_pending_columns();
  pending_layout->addWidget(pending_view_, 1);
  pending_layout->addWidget(plain_label(
      QStringLiteral("HINT:  Double Click On Articles to Remove From Download Queue"), "hintLabel", this));

  auto* download_status = new QLineEdit(this);
  download_status->setReadOnly(true);
  download_status->setFocusPolicy(Qt::ClickFocus);
  download_status->setAccessibleName(QStringLiteral("Download Status"));
  auto* article_progress = progress_bar(this);
  auto* download_row = new QHBoxLayout;
  download_row->addWidget(add(ControlId::DownloadStatus, download_status), 3);
  download_row->addWidget(add(ControlId::ArticleProgress, article_progress), 1);
  pending_layout->addLayout(download_row);
  return pending_box;
}

QGroupBox* StatusWindow::build_history_box() {
  auto* history_box = new QGroupBox(QStringLiteral("Historical Buffers"), this);
  add(ControlId::HistoryBox, history_box);
  auto* history = new QGridLayout(history_box);
  struct HistoryColumn {
    ControlId label_id;
    const char* label;
    ControlId list_id;
    HistoryModel* model;
    const char* counted;  // the label once the list has changed
  };
  const HistoryColumn columns[] = {
      {ControlId::ArticleIdLabel, "Article ID's", ControlId::ArticleIdList, ids_model_, "%1 Article ID's"},
      {ControlId::FilenamesLabel, "Filenames", ControlId::FilenamesList, files_model_, "%1 Downloaded Files"},
      {ControlId::BlacklistLabel, "Blacklisted Bozos", ControlId::BlacklistList, bozos_model_,
       "%1 Blacklisted Bozos"},
  };
  int column = 0;
  for (const auto& c : columns) {
    auto* label = plain_label(QString::fromLatin1(c.label), "", this);
    auto* view = history_view(c.model, this);
    view->setMinimumHeight(view->fontMetrics().height() * 3);
    view->setMinimumWidth(dialog_units_x(view->fontMetrics(), 80));
    label->setBuddy(view);
    history->addWidget(add(c.label_id, label), 0, column);
    history->addWidget(add(c.list_id, view), 1, column);
    history->setColumnStretch(column, 1);
    // The count follows the list at once instead of waiting for the tick's turn.
    auto recount = [label, model = c.model, counted = QString::fromLatin1(c.counted)] {
      label->setText(counted.arg(number_text(model->rowCount())));
    };
    connect(c.model, &QAbstractItemModel::rowsInserted, label, recount);
    connect(c.model, &QAbstractItemModel::rowsRemoved, label, recount);
    connect(c.model, &QAbstractItemModel::modelReset, label, recount);
    const ControlId list_id = c.list_id;
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this, list_id] { commands_.remove_history(list_id, selected_history(list_id)); });
    ++column;
  }
  return history_box;
}

// The program icon with the window menu, the buttons and the trackbar.
QBoxLayout* StatusWindow::build_side_column() {
  auto* icon_button = new QToolButton(this);
  icon_button->setObjectName(QStringLiteral("programIcon"));
  icon_button->setIcon(program_icon());
  icon_button->setIconSize(QSize(48, 48));
  icon_button->setAutoRaise(true);
  icon_button->setPopupMode(QToolButton::InstantPopup);
  icon_button->setMenu(window_menu_);
  icon_button->setToolTip(QStringLiteral("Window menu"));
  icon_button->setAccessibleName(QStringLiteral("Window menu"));
  icon_button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));

  auto button = [this](ControlId id, const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setAutoDefault(false);
    add(id, b);
    return b;
  };
  QPushButton* start = button(ControlId::StartButton, "&Start Fennicking");
  QPushButton* stop = button(ControlId::StopButton, "S&TOP !");
  QPushButton* skip = button(ControlId::SkipGroupButton, "S&kip Group");
  QPushButton* next = button(ControlId::DownloadNextButton, "D/L &Next");
  QPushButton* bozo = button(ControlId::BozoButton, "&Bozo Bucket");
  QPushButton* groups = button(ControlId::NewsGroupsButton, "News &Groups");
  QPushButton* setup = button(ControlId::SetupButton, "Set&up");
  QPushButton* close_button = button(ControlId::CloseButton, "&Close");
  // The gallery in plain sight, not only behind the program icon's menu.
  auto* pictures = new QPushButton(QStringLiteral("&Pictures"), this);
  pictures->setObjectName(QStringLiteral("picturesButton"));
  pictures->setAutoDefault(false);
  pictures->setToolTip(QStringLiteral("Browse, sort and weed the pictures harvested so far (Ctrl+P)"));
  connect(pictures, &QPushButton::clicked, this, &StatusWindow::pictures_requested);
  // Until the histories are loaded.
  core_enabled_.insert(static_cast<int>(ControlId::StartButton), false);
  core_enabled_.insert(static_cast<int>(ControlId::StopButton), false);

  pacing_slider_ = new QSlider(Qt::Horizontal, this);
  add(ControlId::PacingTrackbar, pacing_slider_);
  pacing_slider_->setRange(0, 10);
  pacing_slider_->setValue(10);
  pacing_slider_->setPageStep(2);
  pacing_slider_->setTickPosition(QSlider::TicksBelow);
  pacing_slider_->setTickInterval(1);
  fit_slider_to_palette();
  pacing_slider_->setToolTip(QStringLiteral("Download speed"));
  pacing_slider_->setAccessibleName(QStringLiteral("Download speed"));
  connect(pacing_slider_, &QSlider::valueChanged, this,
          [this](int v) { pacing_.store(v, std::memory_order_relaxed); });
  auto* pacing_labels = new QHBoxLayout;
  pacing_labels->addWidget(plain_label(QStringLiteral("Slow"), "slowLabel", this));
  pacing_labels->addStretch(1);
  pacing_labels->addWidget(plain_label(QStringLiteral("Fast"), "fastLabel", this));

  auto* side = new QVBoxLayout;
  side->addWidget(icon_button, 0, Qt::AlignHCenter);
  side->addSpacing(4);
  for (QPushButton* b : {start, stop, skip, next, bozo, groups, setup}) side->addWidget(b);
  side->addSpacing(fontMetrics().height() / 2);
  side->addWidget(pictures);
  side->addSpacing(fontMetrics().height());
  side->addWidget(pacing_slider_);
  side->addLayout(pacing_labels);
  side->addStretch(1);
  side->addWidget(close_button);

  QWidget* const order[] = {start,  stop,  skip,           next,         bozo,
                            groups, setup, pacing_slider_, close_button, pending_view_};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  return side;
}

void StatusWindow::connect_buttons() {
  auto on_click = [this](ControlId id, auto command) {
    connect(static_cast<QPushButton*>(control(id)), &QPushButton::clicked, this, command);
  };
  on_click(ControlId::StartButton, [this] { commands_.start(); });
  on_click(ControlId::StopButton, [this] { commands_.stop(); });
  on_click(ControlId::SkipGroupButton, [this] { commands_.skip_group(); });
  on_click(ControlId::DownloadNextButton, [this] { commands_.download_next(selected_pending()); });
  on_click(ControlId::BozoButton, [this] { commands_.bozo(selected_pending()); });
  on_click(ControlId::NewsGroupsButton, [this] { commands_.groups(); });
  on_click(ControlId::SetupButton, [this] { commands_.setup(); });
  on_click(ControlId::CloseButton, [this] { commands_.close(); });
  connect(pending_view_, &QAbstractItemView::doubleClicked, this,
          [this] { commands_.remove_pending(selected_pending()); });
  auto* remove_key = new QShortcut(QKeySequence::Delete, pending_view_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(remove_key, &QShortcut::activated, this, [this] {
    if (auto row = selected_pending()) commands_.remove_pending(row);
  });

  // Skip Group and D/L Next depend on the pending list as well as on the core.
  auto update = [this] { update_buttons(); };
  connect(pending_view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, update);
  connect(pending_model_, &QAbstractItemModel::rowsInserted, this, update);
  connect(pending_model_, &QAbstractItemModel::rowsRemoved, this, update);
  connect(pending_model_, &QAbstractItemModel::rowsMoved, this, update);
  connect(pending_model_, &QAbstractItemModel::modelReset, this, update);
  update_buttons();
}

void StatusWindow::update_buttons() {
  auto core = [this](ControlId id) { return core_enabled_.value(static_cast<int>(id), true); };
  auto set = [this](ControlId id, bool on, const QString& can, const QString& cannot) {
    QWidget* b = control(id);
    b->setEnabled(on);
    b->setToolTip(on ? can : cannot);
  };
  set(ControlId::StartButton, core(ControlId::StartButton),
      QStringLiteral("Connect and scan the subscribed news groups"),
      QStringLiteral("A session is starting or running, or the history lists are still loading"));
  set(ControlId::StopButton, core(ControlId::StopButton), QStringLiteral("End the running session"),
      QStringLiteral("No session is running, or it is already stopping"));
  const bool any_pending = pending_model_->rowCount() > 0;
  set(ControlId::SkipGroupButton, core(ControlId::SkipGroupButton) && any_pending,
      QStringLiteral("Skip the pending articles of this group for this session"),
      any_pending ? QStringLiteral("Available once the group's articles are downloading")
                  : QStringLiteral("The pending downloads list is empty: there is nothing to skip"));
  const auto row = selected_pending();
  set(ControlId::DownloadNextButton, core(ControlId::DownloadNextButton) && row && row->index >= 2,
      QStringLiteral("Download the selected article next"),
      QStringLiteral("Select an article below the first two rows to download it next"));
  set(ControlId::BozoButton, core(ControlId::BozoButton),
      row ? QStringLiteral("Blacklist the author of the selected article")
          : QStringLiteral("Edit the list of blacklisted authors"),
      QStringLiteral("Not available now"));
  set(ControlId::NewsGroupsButton, core(ControlId::NewsGroupsButton),
      QStringLiteral("Choose the news groups to scan"),
      QStringLiteral("Not available while the news group list is in use"));
}

void StatusWindow::size_pending_columns() {
  // The list's tab stops (0, 30, 180, 210 dialog units) become the columns; the first widens for the
  // ten-digit article numbers of large servers.
  const QFontMetrics metrics = pending_view_->fontMetrics();
  const int padding = metrics.averageCharWidth() * 2;
  const int article = std::max(dialog_units_x(metrics, 30),
                               metrics.horizontalAdvance(QStringLiteral("9999999999")) + padding);
  const int author = dialog_units_x(metrics, 150);
  const int lines =
      std::max(dialog_units_x(metrics, 30), metrics.horizontalAdvance(QStringLiteral("Lines")) + padding);
  // The stretched subject never gets narrower than its heading.
  subject_least_ = std::max(dialog_units_x(metrics, 60), pending_view_->header()->sectionSizeHint(3));
  column_wish_ = {article, author, lines, std::max(dialog_units_x(metrics, 150), subject_least_)};
  // At its smallest the list still shows the three columns whole and where each subject begins.
  pending_view_->setMinimumWidth(article + author + lines + subject_least_ + pending_view_->frameWidth() * 2 +
                                 style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, pending_view_));
  fit_pending_columns();
}

void StatusWindow::fit_pending_columns() {
  QHeaderView* header = pending_view_->header();
  const int least = header->minimumSectionSize();
  const int room = std::max(0, pending_view_->viewport()->width() - subject_least_);
  const int wanted = column_wish_[0] + column_wish_[1] + column_wish_[2];
  std::array<int, 3> shown{};
  for (std::size_t i = 0; i < 3; ++i) {
    const int wish = column_wish_[i];
    shown[i] = std::max(
        least, wanted <= room ? wish : static_cast<int>(std::int64_t{wish} * room / std::max(1, wanted)));
  }
  // Columns held at their least width may still overrun; the widest gives up the rest.
  const int excess = shown[0] + shown[1] + shown[2] - std::max(room, least * 3);
  if (excess > 0) {
    int& widest = *std::max_element(shown.begin(), shown.end());
    widest = std::max(least, widest - excess);
  }
  fitting_columns_ = true;
  for (std::size_t i = 0; i < 3; ++i) header->resizeSection(static_cast<int>(i), shown[i]);
  fitting_columns_ = false;
}

void StatusWindow::column_dragged(int column, int width) {
  if (fitting_columns_ || column < 0 || column > 2) return;
  // A column dragged wider than the list allows stops where the subject keeps its least width.
  QHeaderView* header = pending_view_->header();
  int others = 0;
  for (int i = 0; i < 3; ++i)
    if (i != column) others += header->sectionSize(i);
  const int allowed =
      std::max(header->minimumSectionSize(), pending_view_->viewport()->width() - subject_least_ - others);
  if (width > allowed) {
    width = allowed;
    fitting_columns_ = true;
    header->resizeSection(column, width);
    fitting_columns_ = false;
  }
  column_wish_[static_cast<std::size_t>(column)] = width;
}

bool StatusWindow::eventFilter(QObject* watched, QEvent* event) {
  if (pending_view_ && watched == pending_view_->viewport() && event->type() == QEvent::Resize)
    fit_pending_columns();
  return QWidget::eventFilter(watched, event);
}

QString StatusWindow::geometry_text() const {
  const QRect r = geometry();
  return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool StatusWindow::restore_geometry(const QString& text) {
  const auto n = parse_numbers(text, 4);
  if (!n) return false;
  const QRect wanted((*n)[0], (*n)[1], (*n)[2], (*n)[3]);
  if (wanted.width() < minimumSizeHint().width() || wanted.height() < minimumSizeHint().height()) return false;
  // A screen that was unplugged or shrank since would leave the window out of reach.
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect available = screen->availableGeometry();
    const QRect seen = available.intersected(wanted);
    if (wanted.width() <= available.width() && wanted.height() <= available.height() &&
        std::int64_t{seen.width()} * seen.height() * 4 >= std::int64_t{wanted.width()} * wanted.height() * 3) {
      setGeometry(wanted);
      return true;
    }
  }
  return false;
}

QString StatusWindow::column_widths_text() const {
  QStringList widths;
  for (int w : column_wish_) widths.append(QString::number(w));
  return widths.join(QLatin1Char(','));
}

bool StatusWindow::restore_column_widths(const QString& text) {
  const auto n = parse_numbers(text, 4);
  if (!n) return false;
  for (int w : *n)
    if (w < 8 || w > 8000) return false;
  for (std::size_t i = 0; i < 4; ++i) column_wish_[i] = (*n)[static_cast<int>(i)];
  fit_pending_columns();
  return true;
}

void StatusWindow::start_timer() {
  timer_.start();
}

void StatusWindow::stop_timer() {
  timer_.stop();
}

QWidget* StatusWindow::control(ControlId id) const {
  return controls_.value(static_cast<int>(id), nullptr);
}

void StatusWindow::apply_text(ControlId id, const QString& text) {
  QWidget* w = control(id);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(text);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(text);
    edit->setCursorPosition(0);
  } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
    box->setTitle(text);
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    button->setText(text);
  }
}

void StatusWindow::apply_enabled(ControlId id, bool enabled) {
  QWidget* w = control(id);
  if (!w) return;
  if (id == ControlId::StartButton || id == ControlId::StopButton || id == ControlId::SkipGroupButton ||
      id == ControlId::DownloadNextButton || id == ControlId::NewsGroupsButton ||
      id == ControlId::BozoButton) {
    core_enabled_.insert(static_cast<int>(id), enabled);
    update_buttons();
  } else {
    w->setEnabled(enabled);
  }
}

void StatusWindow::apply_range(ControlId id, int low, int high) {
  high = std::max(low, high);
  QWidget* w = control(id);
  if (auto* bar = qobject_cast<QProgressBar*>(w)) {
    const int kept = std::clamp(bar->value(), low, high);
    bar->setRange(low, high);
    bar->setValue(kept);
  } else if (auto* slider = qobject_cast<QSlider*>(w)) {
    slider->setRange(low, high);
  }
}

void StatusWindow::apply_position(ControlId id, int position) {
  QWidget* w = control(id);
  if (auto* bar = qobject_cast<QProgressBar*>(w)) {
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
  } else if (auto* slider = qobject_cast<QSlider*>(w)) {
    slider->setValue(position);
  }
}

std::optional<std::pair<int, int>> StatusWindow::range_of(ControlId id) const {
  QWidget* w = control(id);
  if (auto* bar = qobject_cast<QProgressBar*>(w)) return std::pair{bar->minimum(), bar->maximum()};
  if (auto* slider = qobject_cast<QSlider*>(w)) return std::pair{slider->minimum(), slider->maximum()};
  return std::nullopt;
}

std::optional<RowRef> StatusWindow::selected_pending() const {
  const QModelIndexList rows = pending_view_->selectionModel()->selectedRows();
  if (rows.isEmpty()) return std::nullopt;
  const int row = rows.front().row();
  return RowRef{static_cast<std::size_t>(row), pending_model_->raw_row(row)};
}

std::optional<RowRef> StatusWindow::selected_history(ControlId list) const {
  HistoryModel* model = list == ControlId::ArticleIdList   ? ids_model_
                        : list == ControlId::FilenamesList ? files_model_
                        : list == ControlId::BlacklistList ? bozos_model_
                                                           : nullptr;
  auto* view = qobject_cast<QListView*>(control(list));
  if (!model || !view) return std::nullopt;
  const QModelIndexList rows = view->selectionModel()->selectedIndexes();
  if (rows.isEmpty()) return std::nullopt;
  const int row = rows.front().row();
  return RowRef{static_cast<std::size_t>(row), model->raw_row(row)};
}

void StatusWindow::update_caption() {
  if (isMinimized()) {
    setWindowTitle(to_qstring(settings_.read([](const Settings& s) { return s.taskbar_name; })));
  } else {
    setWindowTitle(banner_);
  }
}

void StatusWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) update_caption();
  if (event->type() == QEvent::FontChange && pending_view_) size_pending_columns();
  if (event->type() == QEvent::PaletteChange) fit_slider_to_palette();
}

// Styles draw the slider's ticks a shade darker than the window colour, which vanishes on a dark
// palette: there the slider gets a lighter window colour to draw them from.
void StatusWindow::fit_slider_to_palette() {
  if (!pacing_slider_) return;
  QPalette p = palette();
  if (p.color(QPalette::Window).lightness() < 110) p.setColor(QPalette::Window, QColor(170, 170, 176));
  pacing_slider_->setPalette(p);
}

void StatusWindow::close_for_good() {
  closing_allowed_ = true;
  stop_timer();
  if (!in_close_event_) close();
}

void StatusWindow::closeEvent(QCloseEvent* event) {
  // The window manager's close button runs the same Close command as the button; the window goes
  // only when that command lets it.
  if (!closing_allowed_) {
    in_close_event_ = true;
    commands_.close();
    in_close_event_ = false;
  }
  if (closing_allowed_) {
    event->accept();
  } else {
    event->ignore();
  }
}

void StatusWindow::show_about() {
  AboutDialog about(banner_, this);
  about.exec();
}

}  // namespace fk
