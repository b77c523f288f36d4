// SPDX-License-Identifier: GPL-3.0-or-later
// Generated picture folders.
#include "gallery_pictures.h"

#include <unistd.h>

#include <QDir>
#include <random>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace fk::test {

bool set_mtime(const QString& path, const QDateTime& mtime) {
  QFile f(path);
  if (!f.open(QIODevice::ReadWrite)) return false;
  return f.setFileTime(mtime, QFileDevice::FileModificationTime);
}

bool write_picture(const QString& path, int seed, const QDateTime& mtime, int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  const QColor a = QColor::fromHsv((seed * 47) % 360, 160, 230);
  const QColor b = QColor::fromHsv((seed * 47 + 120) % 360, 200, 120);
  QPainter p(&image);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, a);
  g.setColorAt(1, b);
  p.fillRect(image.rect(), g);
  p.setPen(Qt::white);
  p.setBrush(QColor(255, 255, 255, 60));
  p.drawEllipse(QPoint(w * (1 + seed % 3) / 4, h / 2), w / 6, w / 6);
  QFont font = p.font();
  font.setPixelSize(std::max(10, h / 5));
  p.setFont(font);
  p.drawText(image.rect(), Qt::AlignCenter, QString::number(seed));
  p.end();
  if (!image.save(path, "JPEG", 80)) return false;
  return set_mtime(path, mtime);
}

bool write_photo(const QString& path, int seed, int w, int h, const char* format, int quality) {
  std::mt19937 random(static_cast<std::uint32_t>(seed));
  QImage cells(12, 9, QImage::Format_RGB32);
  for (int y = 0; y < cells.height(); ++y)
    for (int x = 0; x < cells.width(); ++x)
      cells.setPixel(x, y, qRgb(int(random() % 256), int(random() % 256), int(random() % 256)));
  const QImage image = cells.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return image.save(path, format, quality);
}

QStringList make_harvest(const QString& root, const QStringList& groups, int count, const QDateTime& oldest,
                         int variants, int w, int h) {
  QStringList made;
  for (const QString& g : groups) QDir(root).mkpath(QStringLiteral("pictures/") + g);
  for (int i = 0; i < count; ++i) {
    const QString rel = QStringLiteral("pictures/%1/pic%2.jpg").arg(groups[i % groups.size()]).arg(i);
    const QString path = root + QLatin1Char('/') + rel;
    if (variants > 0 && i >= variants) {
      // A hard link shares its original's time: the order follows the originals, names break ties.
      const QString original = root + QLatin1Char('/') + made[i % variants];
      if (::link(QFile::encodeName(original).constData(), QFile::encodeName(path).constData()) != 0) break;
    } else if (!write_picture(path, i, oldest.addSecs(i), w, h)) {
      break;
    }
    made << rel;
  }
  return made;
}

}  // namespace fk::test
