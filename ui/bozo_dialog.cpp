// SPDX-License-Identifier: GPL-3.0-or-later
// The author blacklist dialog.
#include "ui/bozo_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "store/settings.h"
#include "ui/qt_text.h"

namespace fk {

BozoDialog::BozoDialog(std::size_t max_blacklist, const StatusLog& log, QWidget* parent)
    : QDialog(parent), bozos_("BOZOS.FNK") {
  setWindowTitle(QStringLiteral("Bozo Bucket - Blacklist For Unwanted Authors"));

  auto* layout = new QVBoxLayout(this);
  auto* instructions = new QVBoxLayout;
  instructions->setSpacing(0);
  for (const char* line : {"To Add To This List: Select an article in the pending downloads",
                           "listbox, then press the Bozo Bucket button. Single authors can be",
                           "deleted from the bozo list by double clicking on them in this listbox."})
    instructions->addWidget(new QLabel(QString::fromLatin1(line), this));
  layout->addLayout(instructions);

  model_ = new QStringListModel(this);
  list_ = new QListView(this);
  list_->setObjectName(QStringLiteral("bozoList"));
  list_->setAccessibleName(QStringLiteral("Blacklisted authors"));
  list_->setModel(model_);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setUniformItemSizes(true);
  list_->setMinimumHeight(list_->fontMetrics().height() * 14);
  layout->addWidget(list_, 1);

  auto* ok = new QPushButton(QStringLiteral("&OK"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
  clear->setObjectName(QStringLiteral("clear"));
  clear->setAutoDefault(false);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok);
  buttons->addStretch(1);
  buttons->addWidget(clear);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &BozoDialog::accept);
  connect(clear, &QPushButton::clicked, this, &BozoDialog::clear_list);
  connect(cancel, &QPushButton::clicked, this, &BozoDialog::reject);
  connect(list_, &QListView::doubleClicked, this, &BozoDialog::remove_selected);

  bozos_.load_history(max_blacklist, log);
  show_entries();
}

void BozoDialog::show_entries() {
  QStringList rows;
  for (const auto& e : bozos_.entries()) rows << to_qstring(e);
  model_->setStringList(rows);
}

void BozoDialog::clear_list() {
  bozos_.clear();
  model_->setStringList({});
}

void BozoDialog::remove_selected() {
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const int row = selected.front().row();
  if (bozos_.remove_at(static_cast<std::size_t>(row))) model_->removeRows(row, 1);
}

void BozoDialog::accept() {
  bozos_.save_history();
  QDialog::accept();
}

bool run_bozo_dialog(const SharedSettings& settings, const StatusLog& log, QWidget* parent) {
  const auto limit = settings.read([](const Settings& s) { return s.max_blacklist; });
  BozoDialog dialog(limit, log, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace fk
