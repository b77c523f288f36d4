// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers shared by the setup sheet, the news groups dialog and the blacklist dialog.

class QLabel;
class QWidget;

namespace fk::kit {

// A 32 by 32 label with the program icon.
QLabel* program_icon_label(QWidget* parent);

}  // namespace fk::kit
