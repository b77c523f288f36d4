// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversions between the core's byte strings and Qt's text, and dialog units for layouts.

#include <QFontMetrics>
#include <QString>
#include <string>
#include <string_view>

namespace fk {

// UTF-8 when the bytes are valid UTF-8, otherwise Latin-1: raw 8-bit headers are common on Usenet and
// must show as readable text rather than replacement marks.
QString to_qstring(std::string_view bytes);

// Width in pixels of `dlu` horizontal dialog units of the font (a quarter of its average letter width).
int dialog_units_x(const QFontMetrics& metrics, int dlu);

}  // namespace fk
