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
// A count for the screen in the locale's digits and separators, with its noun: "1 group",
// "1,000,000 groups" (the plural adds an s). Log files keep their own formats.
QString count_text(qint64 n, const QString& noun);
// A number alone in the locale's digits and separators.
QString number_text(qint64 n);

// Width in pixels of `dlu` horizontal dialog units of the font (a quarter of its average letter width).
int dialog_units_x(const QFontMetrics& metrics, int dlu);

}  // namespace fk
