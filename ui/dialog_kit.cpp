// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the dialogs.
#include "ui/dialog_kit.h"

#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

#include "ui/dialogs.h"

namespace fk::kit {

void centre_on(QWidget& dialog, const QWidget* owner) {
  const QWidget* window = owner ? owner->window() : nullptr;
  if (!window || !window->isVisible()) return;
  dialog.adjustSize();
  // The frame the window manager adds is not known yet: the title bar's height is a fair guess.
  const int title = dialog.style()->pixelMetric(QStyle::PM_TitleBarHeight);
  QPoint at = window->frameGeometry().center() - QPoint(dialog.width() / 2, (dialog.height() + title) / 2);
  if (const QScreen* screen = window->screen()) {
    const QRect room = screen->availableGeometry();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - dialog.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - dialog.height() - title)));
  }
  dialog.move(at);
}


QLabel* program_icon_label(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName("programIcon");
  label->setFixedSize(32, 32);
  label->setPixmap(program_icon().pixmap(32, 32));
  return label;
}

}  // namespace fk::kit
