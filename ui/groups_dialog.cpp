// SPDX-License-Identifier: GPL-3.0-or-later
// The news groups dialog.
#include "ui/groups_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <mutex>
#include <optional>

#include "app/group_list_refresher.h"
#include "app/group_lists.h"
#include "session/session_state.h"
#include "session/view.h"
#include "store/clock.h"
#include "store/scan_marks.h"
#include "store/status_log.h"
#include "ui/dialog_kit.h"
#include "ui/qt_text.h"

namespace fk {

namespace {

constexpr int kMinRowWidth = 640;

QListView* group_view(const char* name, QAbstractItemModel* model, QWidget* parent) {
  auto* view = new QListView(parent);
  view->setObjectName(QString::fromLatin1(name));
  view->setModel(model);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setUniformItemSizes(true);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  view->setMinimumSize(dialog_units_x(view->fontMetrics(), 150), view->fontMetrics().height() * 18);
  return view;
}

QPushButton* button(const QString& caption, const char* name, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// ---- GroupListModel ----

GroupListModel::GroupListModel(const std::vector<std::string>& names, QObject* parent)
    : QAbstractListModel(parent), names_(names) {}

int GroupListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant GroupListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<std::size_t>(index.row()) >= shown_.size())
    return {};
  const std::string& name = names_[shown_.position(static_cast<std::size_t>(index.row()))];
  if (role == Qt::DisplayRole) return to_qstring(name);
  // With uniform rows the view asks the first row only; every row claims the width of the longest name.
  if (role == Qt::SizeHintRole) return QSize(row_width_, row_height_);
  if (role == Qt::ToolTipRole && marks_) {
    auto it = marks_->find(name);
    if (it != marks_->end())
      return QStringLiteral("scanned to %1").arg(QLocale(QLocale::English).toString(qlonglong{it->second}));
  }
  return {};
}

void GroupListModel::reset(int row_width, int row_height, const GroupFilter& filter) {
  beginResetModel();
  row_width_ = row_width;
  row_height_ = row_height;
  shown_.update(names_, filter);
  endResetModel();
}

void GroupListModel::refilter(const GroupFilter& filter, const GroupFilter& previous) {
  beginResetModel();
  if (filter.narrows(previous))
    shown_.narrow(names_, filter);
  else
    shown_.update(names_, filter);
  endResetModel();
}

// ---- the refresh's reports, carried over to the dialog's thread ----

// Titles go to the dialog's thread as they come, at most one queued call at a time. The names stay on
// the refresh's thread, kept as a few sorted runs (merged as they grow, so a million groups cost
// n log n), and reach the lists only once the listing is known to be whole: a torn or refused listing
// leaves the lists on screen untouched.
class GroupsDialog::Sink : public RefreshSink {
 public:
  explicit Sink(GroupsDialog& dialog) : dialog_(dialog) {}
  void title(const std::string& text) override {
    std::lock_guard lock(mutex_);
    pending_title_ = text;
    post();
  }
  void clear_lists() override {
    listing_ = true;
    runs_.clear();
  }
  void listing_incomplete() override { incomplete_ = true; }
  void notice(const std::string& text) override { notice_ = text; }
  void add_groups(std::vector<std::string> names) override {
    std::stable_sort(names.begin(), names.end(), group_name_less);
    runs_.push_back(std::move(names));
    while (runs_.size() >= 2 && runs_[runs_.size() - 2].size() <= 2 * runs_.back().size()) merge_last_two();
  }
  // On the dialog's thread, once the refresh is over (its thread has posted its last call).
  void drain() {
    take();
    if (listing_ && !incomplete_) {
      while (runs_.size() >= 2) merge_last_two();
      dialog_.lists_ = GroupLists{};
      if (!runs_.empty()) dialog_.lists_.unsubscribed = std::move(runs_.back());
      dialog_.show_lists();
    }
    dialog_.notice_->setText(to_qstring(notice_));
    dialog_.notice_->setVisible(!notice_.empty());
    runs_.clear();
    listing_ = incomplete_ = false;
    notice_.clear();
  }

 private:
  void merge_last_two() {
    std::vector<std::string> last = std::move(runs_.back());
    runs_.pop_back();
    merge_sorted_groups(runs_.back(), std::move(last));
  }
  // With the lock held.
  void post() {
    if (posted_) return;
    posted_ = true;
    QMetaObject::invokeMethod(&dialog_, [this] { take(); }, Qt::QueuedConnection);
  }
  void take() {
    std::optional<std::string> title;
    {
      std::lock_guard lock(mutex_);
      title = std::move(pending_title_);
      pending_title_.reset();
      posted_ = false;
    }
    if (title) dialog_.setWindowTitle(to_qstring(*title));
  }

  GroupsDialog& dialog_;
  std::mutex mutex_;
  std::optional<std::string> pending_title_;
  bool posted_ = false;
  // The refresh's thread writes these; the dialog's thread reads them only in drain().
  bool listing_ = false;
  bool incomplete_ = false;
  std::string notice_;
  std::vector<std::vector<std::string>> runs_;
};

// ---- GroupsDialog ----

GroupsDialog::GroupsDialog(SessionState& state, Dialogs& dialogs, const StatusLog& log, const Clock& clock,
                           GroupListRefresher& refresher, QWidget* parent)
    : QDialog(parent),
      state_(state),
      dialogs_(dialogs),
      log_(log),
      clock_(clock),
      refresher_(refresher),
      sink_(std::make_unique<Sink>(*this)) {
  setWindowTitle(QStringLiteral("News Groups"));
  unsubscribed_model_ = new GroupListModel(lists_.unsubscribed, this);
  subscribed_model_ = new GroupListModel(lists_.subscribed, this);
  marks_ = ScanMarks().all();
  subscribed_model_->set_marks(&marks_);
  lay_out(make_controls());
  // A scan holding the news connection keeps Refresh off; it may end while the dialog is open.
  auto* watch = new QTimer(this);
  connect(watch, &QTimer::timeout, this, &GroupsDialog::update_refresh);
  watch->start(1000);
  // GroupLoadThread: the file is read off the dialog's thread and the lists arrive in one piece.
  set_busy(true);
  show_lists();
  start_loading();
}

GroupsDialog::Controls GroupsDialog::make_controls() {
  Controls c;
  // Made first, so that it is first in the tab order too.
  filter_ = new QLineEdit(this);
  filter_->setObjectName(QStringLiteral("filter"));
  filter_->setPlaceholderText(QStringLiteral("Part of a group name, or a pattern with * and ?"));
  filter_->setClearButtonEnabled(true);
  filter_->installEventFilter(this);
  c.filter_label = new QLabel(QStringLiteral("&Filter:"), this);
  c.filter_label->setBuddy(filter_);
  unsubscribed_view_ = group_view("unsubscribedList", unsubscribed_model_, this);
  subscribed_view_ = group_view("subscribedList", subscribed_model_, this);
  unsubscribed_view_->installEventFilter(this);
  subscribed_view_->installEventFilter(this);
  c.unsubscribed_label = new QLabel(QStringLiteral("Unsu&bscribed News Groups"), this);
  c.unsubscribed_label->setBuddy(unsubscribed_view_);
  c.subscribed_label = new QLabel(QStringLiteral("Subscribed &News Groups "), this);
  c.subscribed_label->setBuddy(subscribed_view_);
  unsubscribed_count_ = new QLabel(this);
  unsubscribed_count_->setObjectName(QStringLiteral("unsubscribedCount"));
  subscribed_count_ = new QLabel(this);
  subscribed_count_->setObjectName(QStringLiteral("subscribedCount"));

  // The arrows have no letter to underline: Alt and the arrow's direction press them.
  c.subscribe = button(QStringLiteral("--->"), "subscribe", this);
  c.subscribe->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  c.subscribe->setAccessibleName(QStringLiteral("Subscribe"));
  unsubscribe_ = button(QStringLiteral("<---"), "unsubscribe", this);
  unsubscribe_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  unsubscribe_->setAccessibleName(QStringLiteral("Unsubscribe"));
  c.defaults = button(QStringLiteral("&Defaults -->"), "defaults", this);
  c.top = button(QStringLiteral("^"), "moveToTop", this);
  c.top->setFixedWidth(dialog_units_x(c.top->fontMetrics(), 15) + 12);
  c.top->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
  c.top->setAccessibleName(QStringLiteral("Move to top"));
  c.rescan = button(QStringLiteral("&Rescan"), "rescan", this);
  c.ok = button(QStringLiteral("&OK"), "ok", this);
  c.ok->setDefault(true);
  c.delete_unsubscribed = button(QStringLiteral("De&lete Unsubscribed Groups"), "deleteUnsubscribed", this);
  c.refresh = refresh_ = button(QStringLiteral("Refresh Lis&t"), "refresh", this);
  cancel_ = button(QStringLiteral("&Cancel"), "cancel", this);
  cancel_->setToolTip(QStringLiteral("Close without saving the changes (stops a refresh)"));
  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("refreshNotice"));
  notice_->setWordWrap(true);
  notice_->hide();
  working_buttons_ = {{c.delete_unsubscribed, QStringLiteral("Drop every unsubscribed group from the list")},
                      {c.refresh, QStringLiteral("Fetch the list of news groups from the server")},
                      {c.ok, QStringLiteral("Save the lists to newsrc.new")},
                      {c.defaults, QStringLiteral("Subscribe to the usual picture groups")}};
  subscribe_ = c.subscribe;
  top_ = c.top;
  rescan_button_ = c.rescan;

  connect(c.subscribe, &QPushButton::clicked, this, &GroupsDialog::subscribe);
  connect(unsubscribe_, &QPushButton::clicked, this, &GroupsDialog::unsubscribe);
  connect(c.top, &QPushButton::clicked, this, &GroupsDialog::move_to_top);
  connect(c.defaults, &QPushButton::clicked, this, &GroupsDialog::pick_defaults);
  connect(c.delete_unsubscribed, &QPushButton::clicked, this, &GroupsDialog::delete_unsubscribed);
  connect(c.refresh, &QPushButton::clicked, this, &GroupsDialog::refresh_list);
  connect(c.rescan, &QPushButton::clicked, this, &GroupsDialog::rescan);
  connect(c.ok, &QPushButton::clicked, this, &GroupsDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &GroupsDialog::reject);
  connect(unsubscribed_view_, &QListView::doubleClicked, this, &GroupsDialog::subscribe);
  connect(subscribed_view_, &QListView::doubleClicked, this, &GroupsDialog::unsubscribe);
  connect(filter_, &QLineEdit::textChanged, this, &GroupsDialog::filter_changed);
  // A model reset clears the selection without a selectionChanged, so both are watched.
  for (QListView* view : {unsubscribed_view_, subscribed_view_}) {
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &GroupsDialog::update_selection_buttons);
    connect(view->model(), &QAbstractItemModel::modelReset, this, &GroupsDialog::update_selection_buttons);
  }
  return c;
}

void GroupsDialog::lay_out(const Controls& c) {
  auto* middle = new QVBoxLayout;
  middle->addSpacing(8);
  middle->addWidget(c.subscribe);
  middle->addWidget(unsubscribe_);
  middle->addStretch(1);
  middle->addWidget(c.defaults);
  middle->addStretch(2);

  auto* right = new QVBoxLayout;
  right->addStretch(2);
  right->addWidget(c.top);
  right->addStretch(3);
  right->addWidget(c.rescan);

  auto* filter_row = new QHBoxLayout;
  filter_row->addWidget(c.filter_label);
  filter_row->addWidget(filter_, 1);

  auto* lists = new QGridLayout;
  lists->addWidget(c.unsubscribed_label, 0, 0);
  lists->addWidget(c.subscribed_label, 0, 2);
  lists->addWidget(unsubscribed_view_, 1, 0);
  lists->addLayout(middle, 1, 1);
  lists->addWidget(subscribed_view_, 1, 2);
  lists->addLayout(right, 1, 3);
  lists->addWidget(unsubscribed_count_, 2, 0);
  lists->addWidget(subscribed_count_, 2, 2);
  lists->setColumnStretch(0, 1);
  lists->setColumnStretch(2, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(c.ok);
  bottom->addStretch(1);
  bottom->addWidget(c.delete_unsubscribed);
  bottom->addStretch(1);
  bottom->addWidget(c.refresh);
  bottom->addStretch(1);
  bottom->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filter_row);
  layout->addLayout(lists, 1);
  layout->addWidget(notice_);
  layout->addLayout(bottom);
}

void GroupsDialog::start_loading() {
  start_worker([this] {
    auto loaded = std::make_shared<GroupLists>();
    auto title = [this](const std::string& t) { sink_->title(t); };
    const bool opened = load_group_lists(*loaded, title, clock_);
    QMetaObject::invokeMethod(
        this,
        [this, loaded, opened] {
          lists_ = std::move(*loaded);
          show_lists();
          // A first start refreshes at once: the box would only ask for what is about to happen.
          if (!opened && !refresh_when_loaded_) {
            log_.log_status("Unable to find newsrc file.", 0);
            dialogs_.message_box(
                "Unable to find newsrc file.\nUse Refresh Button To Get List of News Groups From Server",
                "Unable To Open File", Icon::Warning, Buttons::Ok);
          }
          show_count();
          set_busy(false);
          emit load_finished();
          if (refresh_when_loaded_ && !state_.connection_busy())
            start_refresh();
        },
        Qt::QueuedConnection);
  });
}

GroupsDialog::~GroupsDialog() {
  refresher_.cancel();
  if (worker_.joinable()) worker_.join();
}

void GroupsDialog::start_worker(std::function<void()> work) {
  // The previous worker has posted its end already; joining it cannot wait on this thread.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread(std::move(work));
}

void GroupsDialog::set_busy(bool busy) {
  busy_ = busy;
  for (const auto& [b, tip] : working_buttons_) {
    b->setEnabled(!busy);
    b->setToolTip(busy ? QStringLiteral("Wait until the news group list has loaded") : tip);
  }
  update_refresh();
  update_selection_buttons();
}

// The buttons that act on selected groups are off until some are selected, and say where to select them.
void GroupsDialog::update_selection_buttons() {
  if (!subscribe_) return;
  const QString wait = QStringLiteral("Wait until the news group list has loaded");
  const QString pick_left = QStringLiteral("Select groups in the unsubscribed list first");
  const QString pick_right = QStringLiteral("Select groups in the subscribed list first");
  const bool left = unsubscribed_view_->selectionModel()->hasSelection();
  const bool right = subscribed_view_->selectionModel()->hasSelection();
  const auto show = [](QPushButton* b, bool can, const QString& tip, const QString& why) {
    b->setEnabled(can);
    b->setToolTip(can ? tip : why);
  };
  show(subscribe_, !busy_ && left, QStringLiteral("Subscribe to the selected groups (Alt+Right)"),
       busy_ ? wait : pick_left);
  show(unsubscribe_, !busy_ && right && !saving_, QStringLiteral("Unsubscribe from the selected groups (Alt+Left)"),
       busy_ ? wait : pick_right);
  show(rescan_button_, !busy_ && right, QStringLiteral("Forget how far the selected groups were scanned"),
       busy_ ? wait : pick_right);
  show(top_, right, QStringLiteral("Move the selected groups to the top (Alt+Up)"), pick_right);
}

void GroupsDialog::update_refresh() {
  if (busy_) return;
  const bool in_use = state_.connection_busy();
  refresh_->setEnabled(!in_use);
  refresh_->setToolTip(in_use
                           ? QStringLiteral("A scan is using the news connection: refresh once it has ended")
                           : QStringLiteral("Fetch the list of news groups from the server"));
}

void GroupsDialog::show_lists(bool unsubscribed, bool subscribed) {
  std::size_t longest = 0;
  const std::string* widest = nullptr;
  for (const auto* list : {&lists_.unsubscribed, &lists_.subscribed})
    for (const auto& name : *list)
      if (name.size() > longest) {
        longest = name.size();
        widest = &name;
      }
  const QFontMetrics metrics = unsubscribed_view_->fontMetrics();
  const int width =
      std::max(kMinRowWidth, widest ? metrics.horizontalAdvance(to_qstring(*widest)) + 12 : 0);
  const int height = metrics.height() + 2;
  if (unsubscribed) unsubscribed_model_->reset(width, height, filter_text_);
  if (subscribed) subscribed_model_->reset(width, height, filter_text_);
  show_shown_counts();
}

void GroupsDialog::show_shown_counts() {
  for (auto [model, label] : {std::pair{unsubscribed_model_, unsubscribed_count_},
                              std::pair{subscribed_model_, subscribed_count_}}) {
    const ShownGroups& shown = model->shown();
    label->setText(shown.filtered() ? QStringLiteral("%1 of %2 shown")
                                          .arg(number_text(static_cast<qint64>(shown.size())),
                                               number_text(static_cast<qint64>(shown.total())))
                                    : count_text(static_cast<qint64>(shown.total()), QStringLiteral("group")));
  }
}

bool GroupsDialog::eventFilter(QObject* watched, QEvent* event) {
  // Enter would press OK and close the dialog. In the filter field it goes on to the list instead; in a
  // list it moves the selected groups across as a double-click does.
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched == filter_) {
        unsubscribed_view_->setFocus(Qt::TabFocusReason);
        return true;
      }
      if (watched == unsubscribed_view_ || watched == subscribed_view_) {
        if (!busy_) watched == unsubscribed_view_ ? subscribe() : unsubscribe();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void GroupsDialog::filter_changed(const QString& text) {
  GroupFilter previous = std::move(filter_text_);
  filter_text_ = GroupFilter(text.toStdString());
  // The lists have not changed since they were last shown: each model only filters again.
  unsubscribed_model_->refilter(filter_text_, previous);
  subscribed_model_->refilter(filter_text_, previous);
  show_shown_counts();
}

void GroupsDialog::show_count() {
  setWindowTitle(QStringLiteral("%1 of %2 Groups Will Be Scanned for Articles")
                     .arg(number_text(static_cast<qint64>(lists_.subscribed.size())),
                          number_text(static_cast<qint64>(lists_.subscribed.size() + lists_.unsubscribed.size()))));
  state_.subscribed_groups = static_cast<int>(lists_.subscribed.size());
}

std::vector<std::size_t> GroupsDialog::selected_positions(QListView* view) const {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : view->selectionModel()->selectedIndexes())
    rows.push_back(static_cast<std::size_t>(index.row()));
  return static_cast<const GroupListModel*>(view->model())->shown().positions(rows);
}

void GroupsDialog::subscribe() {
  auto rows = selected_positions(unsubscribed_view_);
  if (rows.empty()) return;
  fk::subscribe(lists_, std::move(rows));
  show_lists();
  show_count();
}

void GroupsDialog::unsubscribe() {
  auto rows = selected_positions(subscribed_view_);
  if (rows.empty()) return;
  fk::unsubscribe(lists_, std::move(rows));
  show_lists();
  show_count();
}

void GroupsDialog::move_to_top() {
  auto rows = selected_positions(subscribed_view_);
  if (rows.empty()) return;
  fk::move_to_top(lists_, std::move(rows));
  show_lists(false, true);
  show_count();
}

void GroupsDialog::pick_defaults() {
  set_busy(true);
  fk::pick_defaults(
      lists_, [this](const std::string& t) { setWindowTitle(to_qstring(t)); }, clock_, filter_text_);
  show_lists();
  set_busy(false);
  show_count();
}

void GroupsDialog::delete_unsubscribed() {
  fk::delete_unsubscribed(lists_);
  show_lists(true, false);
}

void GroupsDialog::refresh_list() {
  if (confirm_refresh(state_, dialogs_)) start_refresh();
}

void GroupsDialog::start_refresh() {
  set_busy(true);
  start_worker([this] {
    refresher_.refresh(*sink_);
    QMetaObject::invokeMethod(
        this,
        [this] {
          sink_->drain();
          set_busy(false);
          emit refresh_finished();
        },
        Qt::QueuedConnection);
  });
}

void GroupsDialog::rescan() {
  for (std::size_t row : selected_positions(subscribed_view_)) {
    if (row >= lists_.subscribed.size()) continue;
    const std::string& name = lists_.subscribed[row];
    if (marks_.erase(name) > 0) rescan_.push_back(name);
  }
}

bool GroupsDialog::save_lists() {
  saving_ = true;
  update_selection_buttons();
  if (save_group_lists(lists_, [this](const std::string& t) { setWindowTitle(to_qstring(t)); }))
    return true;
  // The classic dialog closed as if saved; staying open keeps the user's edit and says why.
  log_.log_status("ERROR: File Open newsrc.new - Write", 0);
  dialogs_.message_box("Unable to write newsrc.new.\nThe news group changes are not saved.",
                       "Unable To Save File", Icon::Warning, Buttons::Ok);
  saving_ = false;
  update_selection_buttons();
  show_count();
  return false;
}

void GroupsDialog::accept() {
  if (busy_ || !save_lists()) return;
  if (!rescan_.empty()) {
    if (ScanMarks().forget(rescan_)) {
      log_.log_status("Scan marks forgotten for " + std::to_string(rescan_.size()) + " group(s)", 0);
    } else {
      log_.log_status(std::string("ERROR: File Write ") + kScanMarkFileName, 0);
      dialogs_.message_box(
          std::string("Unable to write ") + kScanMarkFileName + ".\nThe groups will not be rescanned.",
          "Unable To Save File", Icon::Warning, Buttons::Ok);
    }
  }
  QDialog::accept();
}

void GroupsDialog::reject() {
  // A refresh is stopped, not waited for: the server may never answer. Its socket is released within
  // one receive slice, and the worker is joined as the dialog goes.
  refresher_.cancel();
  QDialog::reject();
}

void GroupsDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  // Nothing whole to save yet: closing then means Cancel.
  if (busy_) {
    reject();
    return;
  }
  setWindowTitle(QStringLiteral("Please wait... writing newsrc.new"));
  accept();
}

void run_groups_dialog(SessionState& state, Dialogs& dialogs, const StatusLog& log, const Clock& clock,
                       GroupListRefresher& refresher, QWidget* parent, bool refresh_at_once) {
  GroupsDialog dialog(state, dialogs, log, clock, refresher, parent);
  if (refresh_at_once) dialog.refresh_when_loaded();
  kit::centre_on(dialog, parent);
  dialog.exec();
}

}  // namespace fk
