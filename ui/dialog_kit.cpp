// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the dialogs.
#include "ui/dialog_kit.h"

#include <QLabel>

#include "ui/dialogs.h"

namespace fk::kit {

QLabel* program_icon_label(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName("programIcon");
  label->setFixedSize(32, 32);
  label->setPixmap(program_icon().pixmap(32, 32));
  return label;
}

}  // namespace fk::kit
