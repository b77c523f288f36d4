// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A one-line label that shows "..." when its text is wider than the room it gets, instead of widening
// the window or cutting letters in half.

#include <QLabel>

namespace fk {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);
  // Room for `chars` average characters at least; the full text is what sizeHint asks for.
  void set_minimum_chars(int chars);
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Shows the whole text as a tool tip while it is cut.
  bool event(QEvent* event) override;

 private:
  int minimum_chars_ = 12;
};

}  // namespace fk
