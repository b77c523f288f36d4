// Small helpers shared by the setup sheet, the news groups dialog and the blacklist dialog.
#include "ui/dialog_kit.h"

#include <QIcon>
#include <QLabel>
#include <QStringDecoder>
#include <algorithm>

namespace fk::kit {

QString to_display(std::string_view bytes) {
  const auto size = static_cast<qsizetype>(bytes.size());
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return QString::fromLatin1(bytes.data(), size);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), size));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), size);
}

int dlu_x(const QFontMetrics& metrics, int dlu) {
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int base = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  return (dlu * base + 2) / 4;
}

QLabel* program_icon_label(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName("programIcon");
  label->setFixedSize(32, 32);
  QIcon icon(QString::fromLatin1(kProgramIconPath));
  QPixmap pixmap = icon.pixmap(32, 32);
  if (!pixmap.isNull()) label->setPixmap(pixmap);
  return label;
}

}  // namespace fk::kit
