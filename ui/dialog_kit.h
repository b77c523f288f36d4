#pragma once
// Small helpers shared by the setup sheet, the news groups dialog and the blacklist dialog.

#include <QFontMetrics>
#include <QString>
#include <string>
#include <string_view>

class QLabel;
class QWidget;

namespace fk::kit {

// Bytes of the core as text: UTF-8 when valid, otherwise Latin-1, so old 8-bit names stay readable.
QString to_display(std::string_view bytes);

// Width in pixels of `dlu` horizontal dialog units of the font (a quarter of its average letter width).
int dlu_x(const QFontMetrics& metrics, int dlu);

// A 32 by 32 label with the program icon; empty (but the same size) while the icon is not available.
QLabel* program_icon_label(QWidget* parent);

inline constexpr const char* kProgramIconPath = ":/fennick/fennick.png";

}  // namespace fk::kit
