// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The news groups dialog: the unsubscribed and subscribed lists, loaded from and saved to newsrc.new.

#include <QAbstractListModel>
#include <QDialog>
#include <cstdint>
#include <map>
#include <memory>
#include <thread>
#include <utility>

#include "app/group_lists.h"
#include "store/newsrc.h"

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace fk {

class Clock;
class Dialogs;
class GroupListRefresher;
class StatusLog;
struct SessionState;

// One of the two lists as a model over the dialog's own vector, showing the names the filter passes;
// no copy per row, so 300,000 groups load, filter and scroll at once.
class GroupListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  GroupListModel(const std::vector<std::string>& names, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Tells the views that the vector changed and shows what `filter` passes; every row is row_width by
  // row_height pixels.
  void reset(int row_width, int row_height, const GroupFilter& filter);
  // Shows what `filter` passes of an unchanged vector; `previous` is the filter shown until now.
  void refilter(const GroupFilter& filter, const GroupFilter& previous);
  // Which list positions the rows stand for.
  const ShownGroups& shown() const { return shown_; }
  // Scan marks to show as the rows' tool tips (the map outlives the model).
  void set_marks(const std::map<std::string, std::int64_t>* marks) { marks_ = marks; }

 private:
  const std::vector<std::string>& names_;
  ShownGroups shown_;
  const std::map<std::string, std::int64_t>* marks_ = nullptr;
  int row_width_ = 640;
  int row_height_ = 16;
};

class GroupsDialog : public QDialog {
  Q_OBJECT
 public:
  // Starts loading the lists at once (GroupLoadThread); the working buttons stay disabled until it ends.
  GroupsDialog(SessionState& state, Dialogs& dialogs, const StatusLog& log, const Clock& clock,
               GroupListRefresher& refresher, QWidget* parent = nullptr);
  // Asks a running refresh to end and waits for the worker.
  ~GroupsDialog() override;

  const GroupLists& lists() const { return lists_; }
  QListView* unsubscribed_view() const { return unsubscribed_view_; }
  QListView* subscribed_view() const { return subscribed_view_; }
  // Narrows both lists; the buttons and double-clicks act on the groups shown.
  QLineEdit* filter_field() const { return filter_; }
  // A load, a default pick or a refresh is running (the working buttons are disabled).
  bool busy() const { return busy_; }
  // Starts Refresh List as soon as the lists have loaded, without its warning (a first start's lists
  // are empty: there is nothing to lose).
  void refresh_when_loaded() { refresh_when_loaded_ = true; }

 public slots:
  void subscribe();            // "--->" and double-clicks in the unsubscribed list
  void unsubscribe();          // "<---" and double-clicks in the subscribed list
  void move_to_top();          // "^"
  void pick_defaults();        // "Defaults -->"
  void delete_unsubscribed();  // "Delete Unsubscribed Groups"
  void refresh_list();         // "Refresh List"
  void rescan();               // "Rescan": the selected subscribed groups' scan marks go at OK
  void accept() override;      // "OK": saves newsrc.new
  void reject() override;      // "Cancel" and Escape: loses every change and stops a refresh

 signals:
  void load_finished();
  void refresh_finished();

 protected:
  // The window's close command saves like OK, unless a load or refresh runs.
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Sink;
  // The controls the layout places beyond those the dialog keeps.
  struct Controls {
    QLabel* filter_label;
    QLabel* unsubscribed_label;
    QLabel* subscribed_label;
    QPushButton* subscribe;
    QPushButton* defaults;
    QPushButton* top;
    QPushButton* rescan;
    QPushButton* ok;
    QPushButton* delete_unsubscribed;
    QPushButton* refresh;
  };
  // Makes every control and connects it; lay_out places them.
  Controls make_controls();
  void lay_out(const Controls& c);
  // Reads newsrc.new on the worker; the lists arrive in one piece.
  void start_loading();
  // Refresh List after its warning was answered (or not needed).
  void start_refresh();
  // Off while busy, with a tool tip saying why.
  void set_busy(bool busy);
  // Refresh is off, saying why, while a scan holds the news connection.
  void update_refresh();
  void update_selection_buttons();
  // Tells the views of the named lists that they changed (their selection is cleared).
  void show_lists(bool unsubscribed = true, bool subscribed = true);
  void show_count();
  // The "shown of total" counts under the lists.
  void show_shown_counts();
  void filter_changed(const QString& text);
  // Writes newsrc.new; on failure logs it, says so and returns false.
  bool save_lists();
  void start_worker(std::function<void()> work);
  // List positions of the groups selected in the view.
  std::vector<std::size_t> selected_positions(QListView* view) const;

  SessionState& state_;
  Dialogs& dialogs_;
  const StatusLog& log_;
  const Clock& clock_;
  GroupListRefresher& refresher_;
  std::unique_ptr<Sink> sink_;

  GroupLists lists_;
  GroupFilter filter_text_;
  GroupListModel* unsubscribed_model_;
  GroupListModel* subscribed_model_;
  QListView* unsubscribed_view_;
  QListView* subscribed_view_;
  QLineEdit* filter_;
  QLabel* unsubscribed_count_;
  QLabel* subscribed_count_;
  QLabel* notice_;  // the refresh's notice (groups dropped past the limit)
  // The buttons a load or refresh turns off, with their tool tips when on.
  std::vector<std::pair<QPushButton*, QString>> working_buttons_;
  QPushButton* cancel_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* unsubscribe_ = nullptr;
  QPushButton* subscribe_ = nullptr;
  QPushButton* top_ = nullptr;
  QPushButton* rescan_button_ = nullptr;
  bool busy_ = false;
  bool refresh_when_loaded_ = false;
  bool saving_ = false;  // newsrc.new is being written: no unsubscribing meanwhile
  std::map<std::string, std::int64_t> marks_;
  std::vector<std::string> rescan_;
  std::thread worker_;
};

// Shows the dialog modally over `parent`. OK writes newsrc.new; `state.subscribed_groups` follows every
// change of the subscribed list.
// With refresh_at_once, the server's list is fetched as soon as the dialog has loaded.
void run_groups_dialog(SessionState& state, Dialogs& dialogs, const StatusLog& log, const Clock& clock,
                       GroupListRefresher& refresher, QWidget* parent = nullptr, bool refresh_at_once = false);

}  // namespace fk
