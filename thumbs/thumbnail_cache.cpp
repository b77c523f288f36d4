// SPDX-License-Identifier: GPL-3.0-or-later
// The shared thumbnail cache.
#include "thumbs/thumbnail_cache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QUrl>

namespace fk {

namespace {

QString flavour_dir(ThumbnailCache::Flavour flavour) {
  return flavour == ThumbnailCache::Flavour::Large ? QStringLiteral("large") : QStringLiteral("normal");
}

QString md5_name(const QByteArray& uri) {
  return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
         QStringLiteral(".png");
}

// Reads an entry and checks its keys. The keys are taken from the image: QImageReader::text() splits
// key names at their first colon, which every "Thumb::" key has.
bool read_matching(const QString& path, const QByteArray& uri, qint64 mtime_s, QImage* image) {
  QImageReader reader(path, "png");
  QImage entry;
  if (!reader.read(&entry)) return false;
  if (entry.text(QStringLiteral("Thumb::URI")).toUtf8() != uri) return false;
  bool ok = false;
  const qint64 stored = entry.text(QStringLiteral("Thumb::MTime")).toLongLong(&ok);
  if (!ok || stored != mtime_s) return false;
  if (image) *image = std::move(entry);
  return true;
}

}  // namespace

QString ThumbnailCache::default_root() {
  QString base = qEnvironmentVariable("XDG_CACHE_HOME");
  if (!base.startsWith(QLatin1Char('/'))) base = QDir::homePath() + QStringLiteral("/.cache");
  return base + QStringLiteral("/thumbnails");
}

QString ThumbnailCache::fail_folder_name() {
  return QStringLiteral("fennick-" FK_VERSION);
}

ThumbnailCache::ThumbnailCache(QString root, Flavour flavour) : root_(std::move(root)), flavour_(flavour) {}

QByteArray ThumbnailCache::uri_of(const QString& absolute_path) {
  return QUrl::fromLocalFile(absolute_path).toEncoded();
}

QString ThumbnailCache::thumbnail_path(const QByteArray& uri) const {
  return root_ + QLatin1Char('/') + flavour_dir(flavour_) + QLatin1Char('/') + md5_name(uri);
}

QString ThumbnailCache::failure_path(const QByteArray& uri) const {
  return root_ + QStringLiteral("/fail/") + fail_folder_name() + QLatin1Char('/') + md5_name(uri);
}

ThumbnailCache::Hit ThumbnailCache::lookup(const QString& absolute_path, qint64 mtime_s, QImage* image) const {
  const QByteArray uri = uri_of(absolute_path);
  const QString thumb = thumbnail_path(uri);
  if (QFile::exists(thumb) && read_matching(thumb, uri, mtime_s, image)) return Hit::Thumbnail;
  const QString fail = failure_path(uri);
  if (QFile::exists(fail) && read_matching(fail, uri, mtime_s, nullptr)) return Hit::Failed;
  return Hit::Miss;
}

bool ThumbnailCache::write_png(const QString& path, QImage image) const {
  // The layout asks for folders only the user can read: thumbnails show what the user looked at.
  const QString dir = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(dir)) return false;
  QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  QImageWriter writer(&file, "png");
  if (!writer.write(image)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool ThumbnailCache::store(const QString& absolute_path, qint64 mtime_s, qint64 size, const QImage& thumbnail,
                           QSize original_size) const {
  QImage image = thumbnail;
  const QByteArray uri = uri_of(absolute_path);
  image.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
  image.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime_s));
  image.setText(QStringLiteral("Thumb::Size"), QString::number(size));
  if (original_size.isValid()) {
    image.setText(QStringLiteral("Thumb::Image::Width"), QString::number(original_size.width()));
    image.setText(QStringLiteral("Thumb::Image::Height"), QString::number(original_size.height()));
  }
  image.setText(QStringLiteral("Software"), QStringLiteral("Fennick " FK_VERSION));
  return write_png(thumbnail_path(uri), std::move(image));
}

bool ThumbnailCache::store_failure(const QString& absolute_path, qint64 mtime_s) const {
  QImage image(1, 1, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  const QByteArray uri = uri_of(absolute_path);
  image.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(uri));
  image.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime_s));
  image.setText(QStringLiteral("Software"), QStringLiteral("Fennick " FK_VERSION));
  return write_png(failure_path(uri), std::move(image));
}

void ThumbnailCache::forget(const QString& absolute_path) const {
  const QByteArray uri = uri_of(absolute_path);
  for (Flavour f : {Flavour::Normal, Flavour::Large})
    QFile::remove(ThumbnailCache(root_, f).thumbnail_path(uri));
  QFile::remove(failure_path(uri));
}

}  // namespace fk
