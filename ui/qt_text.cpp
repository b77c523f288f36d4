// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions between the core's byte strings and Qt's text, and dialog units for layouts.
#include "ui/qt_text.h"

#include <QLocale>

#include <QStringDecoder>
#include <algorithm>

namespace fk {

QString count_text(qint64 n, const QString& noun) {
  return QStringLiteral("%1 %2").arg(number_text(n), n == 1 ? noun : noun + QLatin1Char('s'));
}

QString number_text(qint64 n) { return QLocale().toString(n); }


QString to_qstring(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return QString::fromLatin1(bytes.data(), size);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), size));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), size);
}

int dialog_units_x(const QFontMetrics& metrics, int dlu) {
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int base = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;  // rounded average letter width
  return (dlu * base + 2) / 4;
}

}  // namespace fk
