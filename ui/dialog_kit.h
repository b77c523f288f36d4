// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers shared by the setup sheet, the news groups dialog and the blacklist dialog.

class QLabel;
class QWidget;

namespace fk::kit {

// A 32 by 32 label with the program icon.
QLabel* program_icon_label(QWidget* parent);

// Sizes `dialog` and places it centred on the window of `owner` (inside the owner's screen), before it
// is shown, so that no later placement moves it. Nothing when the owner is not shown.
void centre_on(QWidget& dialog, const QWidget* owner);

}  // namespace fk::kit
