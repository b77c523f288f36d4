// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The setup sheet "Fennick Setup": six pages over the live settings, with OK, Cancel and Apply.

#include <QDialog>
#include <string>
#include <vector>

#include "store/settings.h"
#include "ui/setup_pages.h"

class QPushButton;
class QRadioButton;
class QTabWidget;

namespace fk {

class Dialogs;
class SharedSettings;
class StatusLog;

class SetupSheet : public QDialog {
  Q_OBJECT
 public:
  // What a first start's sheet shows above the pages.
  struct Welcome {
    QString working_folder;
  };
  // Fills the first page from `settings`; the others are filled when first shown. With `welcome`, a
  // panel above the pages shows the working folder and the choice of server kind, whose settings go
  // into `settings` (and onto the pages) as it is made.
  SetupSheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log, QWidget* parent = nullptr,
             const Welcome* welcome = nullptr);

  int page_count() const { return static_cast<int>(pages_.size()); }
  SetupPage* page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
  int current_index() const { return current_; }
  // Changes the page as a click on its tab does: only when the current page's values are taken.
  bool select_page(int index);
  // The Apply button: takes the current page's values; true when they were all taken.
  bool apply();
  QPushButton* apply_button() const { return apply_; }

 public slots:
  // OK: closes only when the current page's values are taken. The file is the caller's to write.
  void accept() override;
  // Cancel, Escape and the close button: puts back every value the sheet opened with, Apply or not.
  void reject() override;

 private:
  void on_tab_changed(int index);
  bool take_current();
  // With incremental scans, changed subject filters offer to forget every group's scan mark.
  void offer_rescan();
  void show_page(int index);
  void update_apply();
  QWidget* make_welcome(const Welcome& welcome);
  void choose_server_kind(bool modern);

  SharedSettings& settings_;
  Dialogs& dialogs_;
  const StatusLog& log_;
  QTabWidget* tabs_;
  QPushButton* apply_;
  std::vector<SetupPage*> pages_;
  Settings opened_;            // what Cancel puts back, for the rows marked in changed_
  std::vector<bool> changed_;  // by table row: the sheet has changed this setting
  int current_ = 0;
  bool reverting_ = false;
  std::string filters_before_;
};

// Shows the sheet modally over `parent`; true when it was left with OK. Values taken from its pages are
// in `settings` at once, and Cancel puts the opening values back; the caller writes FENNICK.INI with
// save_settings on OK.
bool run_setup_sheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log,
                     QWidget* parent = nullptr);
// The same on a first start, with the welcome panel.
bool run_welcome_sheet(SharedSettings& settings, Dialogs& dialogs, const StatusLog& log,
                       const SetupSheet::Welcome& welcome, QWidget* parent = nullptr);

}  // namespace fk
