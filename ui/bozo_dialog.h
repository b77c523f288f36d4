// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Bozo Bucket - Blacklist For Unwanted Authors": review, remove and save the blacklisted authors.

#include <QDialog>

#include "store/history_buffer.h"

class QListView;
class QModelIndex;
class QStringListModel;

namespace fk {

class SharedSettings;
class StatusLog;

class BozoDialog : public QDialog {
  Q_OBJECT
 public:
  // Loads BOZOS.FNK into a working copy with load_history and the limit max_blacklist.
  BozoDialog(std::size_t max_blacklist, const StatusLog& log, QWidget* parent = nullptr);

  QListView* list() const { return list_; }
  // The working copy, newest first.
  std::vector<std::string> entries() const { return bozos_.entries(); }

 public slots:
  // OK: writes the list to BOZOS.FNK with save_history, then closes.
  void accept() override;
  // "Clear": empties the list (nothing is written until OK).
  void clear_list();
  // A double-click: removes the selected author, if any.
  void remove_selected();

 private:
  void show_entries();

  HistoryBuffer bozos_;
  QStringListModel* model_;
  QListView* list_;
};

// Shows the dialog modally over `parent`; true when left with OK (BOZOS.FNK then rewritten). The blacklist
// capacity is read from `settings` at opening.
bool run_bozo_dialog(const SharedSettings& settings, const StatusLog& log, QWidget* parent = nullptr);

}  // namespace fk
