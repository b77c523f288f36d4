// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The about box, the exit statistics dialog and the program icon.

#include <QDialog>
#include <QIcon>
#include <QString>

#include "app/commands.h"

class QLineEdit;

namespace fk {

// The program icon in every size we ship.
QIcon program_icon();

// "About Fennick": the icon and the banner line, centred; closes with OK.
class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  explicit AboutDialog(const QString& banner, QWidget* parent = nullptr);
};

// "Thankyou For Using "Fennick"": the lifetime totals inside their sentence, read-only.
class ExitStatisticsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ExitStatisticsDialog(QWidget* parent = nullptr);
  void set_statistics(const ExitStatistics& stats);

 private:
  QLineEdit* sessions_;
  QLineEdit* minutes_;
  QLineEdit* examined_;
  QLineEdit* downloaded_;
};

}  // namespace fk
