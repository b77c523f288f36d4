// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The first desktop start's question: which folder holds Fennick's files.

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QLabel;

namespace fk {

// Names the folder Fennick proposes and the link among the user's pictures; "Choose..." picks another.
class HomeFolderDialog : public QDialog {
  Q_OBJECT
 public:
  HomeFolderDialog(const QString& proposed, const QString& pictures_link, QWidget* parent = nullptr);
  QString folder() const { return folder_; }
  void set_folder(const QString& folder);
  // Asks for a folder when "Choose..." is pressed; a QFileDialog unless a test puts its own.
  std::function<QString(const QString& current)> pick_folder;

 private:
  QString folder_;
  QLabel* folder_label_;
};

// Shows the dialog centred on the screen; the chosen absolute folder, or nullopt when cancelled.
std::optional<std::string> ask_home_folder(const std::string& proposed, const std::string& pictures_link);

}  // namespace fk
