// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Makes thumbnails off the window's thread: from the shared cache when it holds a current one, else by
// reading the picture at a reduced size (and filling the cache). The newest request goes first, so the
// pictures on screen load before those scrolled past.

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "thumbs/thumbnail_cache.h"

namespace fk {

class ThumbnailLoader : public QObject {
  Q_OBJECT
 public:
  // workers 0: one per core, at most four.
  explicit ThumbnailLoader(ThumbnailCache cache, int workers = 0, QObject* parent = nullptr);
  // Waits for the pictures being read; queued requests are dropped.
  ~ThumbnailLoader() override;

  // Asks for the thumbnail of the file at absolute_path as of mtime_s; answered once by
  // thumbnail_ready(key, ...). Asking again for a queued key moves it to the front. Requests beyond
  // the queue's limit push out the oldest ones (they are asked again when shown again).
  void request(const QString& key, const QString& absolute_path, qint64 mtime_s, qint64 size);
  // A picture fitted into `fit` for the large preview; answered by preview_ready. Goes before any
  // thumbnail and replaces an earlier preview request that has not started.
  void request_preview(const QString& absolute_path, QSize fit);
  // Drops every queued thumbnail request (the list was rebuilt).
  void clear_queue();

  const ThumbnailCache& cache() const { return cache_; }
  // How many pictures (not cache entries) were read so far.
  int pictures_read() const { return pictures_read_.load(); }
  int queued() const;

 signals:
  // image is null when failed; a failed picture stays failed until it changes.
  void thumbnail_ready(const QString& key, const QImage& image, bool failed);
  void preview_ready(const QString& absolute_path, const QImage& image);

 private:
  struct Job {
    QString key;
    QString path;
    qint64 mtime_s = 0;
    qint64 size = 0;
    bool preview = false;
    QSize fit;
  };
  void work();
  void make_thumbnail(const Job& job);
  void make_preview(const Job& job);
  void delivered(const QString& key);

  ThumbnailCache cache_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;  // the back goes first
  std::vector<QString> running_;  // being made, or made and on the way to the window's thread
  bool stopping_ = false;
  std::atomic<int> pictures_read_{0};
  std::vector<std::thread> workers_;
};

// Reads the picture at path fitted into `fit` (never enlarged), turned upright; null when the file is
// not a picture Qt can read. original receives the picture's own size when known.
QImage read_scaled_picture(const QString& path, QSize fit, QSize* original = nullptr);

}  // namespace fk
