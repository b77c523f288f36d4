// SPDX-License-Identifier: GPL-3.0-or-later
// The folder question of a first desktop start.
#include "ui/home_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/dialogs.h"

namespace fk {

HomeFolderDialog::HomeFolderDialog(const QString& proposed, const QString& pictures_link, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("homeFolderDialog"));
  setWindowTitle(QStringLiteral("Fennick -- Where To Keep Its Files"));
  setWindowIcon(program_icon());
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(QStringLiteral("Fennick keeps its settings, logs, histories and pictures in this folder:"),
                           this);
  layout->addWidget(intro);
  folder_label_ = new QLabel(this);
  folder_label_->setObjectName(QStringLiteral("homeFolder"));
  folder_label_->setTextFormat(Qt::PlainText);
  folder_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = folder_label_->font();
  bold.setBold(true);
  folder_label_->setFont(bold);
  layout->addWidget(folder_label_);
  auto* pictures = new QLabel(
      QStringLiteral("Its pictures also appear among your pictures, as %1.\nChoose another folder if you "
                     "prefer; Fennick remembers it.")
          .arg(pictures_link),
      this);
  pictures->setObjectName(QStringLiteral("picturesNote"));
  pictures->setTextFormat(Qt::PlainText);
  layout->addWidget(pictures);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("C&ancel"));
  auto* choose = buttons->addButton(QStringLiteral("&Choose..."), QDialogButtonBox::ActionRole);
  choose->setObjectName(QStringLiteral("chooseButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  pick_folder = [this](const QString& current) {
    return QFileDialog::getExistingDirectory(this, QStringLiteral("Folder For Fennick's Files"), current);
  };
  connect(choose, &QPushButton::clicked, this, [this] {
    if (const QString picked = pick_folder(folder_); !picked.isEmpty()) set_folder(picked);
  });
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  set_folder(proposed);
}

void HomeFolderDialog::set_folder(const QString& folder) {
  folder_ = QDir::cleanPath(QDir(folder).absolutePath());
  folder_label_->setText(QDir::toNativeSeparators(folder_));
}

std::optional<std::string> ask_home_folder(const std::string& proposed, const std::string& pictures_link) {
  // File names are bytes in the locale's encoding, not necessarily UTF-8.
  HomeFolderDialog dialog(QFile::decodeName(QByteArray::fromStdString(proposed)),
                          QFile::decodeName(QByteArray::fromStdString(pictures_link)));
  dialog.adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = dialog.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    dialog.move(frame.topLeft());
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return QFile::encodeName(dialog.folder()).toStdString();
}

}  // namespace fk
