// SPDX-License-Identifier: GPL-3.0-or-later
// A one-line label that elides its text instead of widening the window.
#include "ui/elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace fk {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  setTextFormat(Qt::PlainText);
}

void ElidedLabel::set_minimum_chars(int chars) {
  minimum_chars_ = chars;
  updateGeometry();
}

QSize ElidedLabel::minimumSizeHint() const {
  QSize hint = QLabel::minimumSizeHint();
  hint.setWidth(fontMetrics().averageCharWidth() * minimum_chars_);
  return hint;
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, room.width());
  style()->drawItemText(&painter, room, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                        foregroundRole());
}

bool ElidedLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    const bool cut = fontMetrics().horizontalAdvance(text()) > contentsRect().width();
    if (cut)
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
    else
      QToolTip::hideText();
    return true;
  }
  return QLabel::event(event);
}

}  // namespace fk
