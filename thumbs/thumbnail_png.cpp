// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbs/thumbnail_png.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

#include "thumbs/thumbnail_cache.h"
#include "thumbs/thumbnail_loader.h"

namespace fk {

namespace {
// As the loader: a file this young may still be being written.
constexpr qint64 kSettleSeconds = 3;
}  // namespace

std::optional<std::string> thumbnail_png(const std::string& absolute_path, std::int64_t mtime_s, std::int64_t size,
                                         const std::string& cache_root) {
  const ThumbnailCache cache = cache_root.empty() ? ThumbnailCache() : ThumbnailCache(QString::fromStdString(cache_root));
  const QString path = QString::fromStdString(absolute_path);
  QImage image;
  switch (cache.lookup(path, mtime_s, &image)) {
    case ThumbnailCache::Hit::Failed: return std::nullopt;
    case ThumbnailCache::Hit::Thumbnail: {
      // The stored PNG as it is: no second encoding.
      QFile file(cache.thumbnail_path(ThumbnailCache::uri_of(path)));
      if (file.open(QIODevice::ReadOnly)) return file.readAll().toStdString();
      break;
    }
    case ThumbnailCache::Hit::Miss: break;
  }
  QSize original;
  image = read_scaled_picture(path, QSize(cache.edge(), cache.edge()), &original);
  const bool settled = mtime_s < QDateTime::currentSecsSinceEpoch() - kSettleSeconds;
  if (image.isNull()) {
    if (settled) cache.store_failure(path, mtime_s);
    return std::nullopt;
  }
  if (settled) cache.store(path, mtime_s, size, image, original);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return std::nullopt;
  return bytes.toStdString();
}

PictureSize picture_dimensions(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  const QSize s = reader.size();
  if (!s.isValid()) return {};
  return {s.width(), s.height()};
}

}  // namespace fk
