// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's shared thumbnail cache (freedesktop.org layout under $XDG_CACHE_HOME/thumbnails):
// PNGs named by the MD5 of the file's URI, valid while their Thumb::MTime matches the file.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace fk {

class ThumbnailCache {
 public:
  // The two sizes of the layout: "normal" fits 128x128, "large" 256x256.
  enum class Flavour { Normal, Large };

  // $XDG_CACHE_HOME/thumbnails, or $HOME/.cache/thumbnails.
  static QString default_root();
  // The folder of failed attempts kept by this program (fail/fennick-VERSION).
  static QString fail_folder_name();
  static int edge(Flavour flavour) { return flavour == Flavour::Large ? 256 : 128; }

  explicit ThumbnailCache(QString root = default_root(), Flavour flavour = Flavour::Normal);

  // file:// URI of an absolute path, percent-encoded; the key of every entry.
  static QByteArray uri_of(const QString& absolute_path);
  QString thumbnail_path(const QByteArray& uri) const;
  QString failure_path(const QByteArray& uri) const;
  int edge() const { return edge(flavour_); }

  enum class Hit { Miss, Thumbnail, Failed };
  // A thumbnail (into *image) or a recorded failure for the file as it was at mtime_s; Miss when the
  // entry is missing, stale or unreadable.
  Hit lookup(const QString& absolute_path, qint64 mtime_s, QImage* image) const;
  // Writes the entry through a temporary file and a rename, so readers never see half a PNG.
  bool store(const QString& absolute_path, qint64 mtime_s, qint64 size, const QImage& thumbnail,
             QSize original_size) const;
  bool store_failure(const QString& absolute_path, qint64 mtime_s) const;
  // Drops every entry of a file that is gone (both sizes and the failure).
  void forget(const QString& absolute_path) const;

 private:
  bool write_png(const QString& path, QImage image) const;
  QString root_;
  Flavour flavour_;
};

}  // namespace fk
