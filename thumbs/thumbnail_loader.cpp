// SPDX-License-Identifier: GPL-3.0-or-later
// Background thumbnail making.
#include "thumbs/thumbnail_loader.h"

#include <QDateTime>
#include <QImageReader>
#include <QThread>
#include <algorithm>

namespace fk {

namespace {

// More requests than a few screens of thumbnails are stale by the time a worker gets to them.
constexpr std::size_t kMaxQueued = 400;
// A file this young may still be being written: its thumbnail or failure is not worth keeping.
constexpr qint64 kSettleSeconds = 3;

}  // namespace

QImage read_scaled_picture(const QString& path, QSize fit, QSize* original) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QSize own = reader.size();
  if (original) *original = own;
  if (own.isValid() && (own.width() > fit.width() || own.height() > fit.height()))
    reader.setScaledSize(own.scaled(fit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
  QImage image;
  if (!reader.read(&image) || image.isNull()) return {};
  // Rotated pictures and formats without a size up front can still come out too large.
  if (image.width() > fit.width() || image.height() > fit.height())
    image = image.scaled(fit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  if (original && !own.isValid()) *original = image.size();
  return image;
}

ThumbnailLoader::ThumbnailLoader(ThumbnailCache cache, int workers, QObject* parent)
    : QObject(parent), cache_(std::move(cache)) {
  if (workers <= 0) workers = std::clamp(QThread::idealThreadCount(), 1, 4);
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { work(); });
}

ThumbnailLoader::~ThumbnailLoader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (auto& t : workers_) t.join();
}

void ThumbnailLoader::request(const QString& key, const QString& absolute_path, qint64 mtime_s, qint64 size) {
  {
    std::lock_guard lock(mutex_);
    if (std::find(running_.begin(), running_.end(), key) != running_.end()) return;
    auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Job& j) { return !j.preview && j.key == key; });
    if (it != queue_.end()) {
      if (it + 1 == queue_.end() || (it + 1)->preview) return;  // already next in line
      queue_.erase(it);
    }
    // A preview stays in front of every thumbnail.
    auto at = queue_.end();
    if (!queue_.empty() && queue_.back().preview) --at;
    queue_.insert(at, Job{key, absolute_path, mtime_s, size, false, {}});
    while (queue_.size() > kMaxQueued) queue_.pop_front();
  }
  wake_.notify_one();
}

void ThumbnailLoader::request_preview(const QString& absolute_path, QSize fit) {
  {
    std::lock_guard lock(mutex_);
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const Job& j) { return j.preview; }),
                 queue_.end());
    queue_.push_back(Job{absolute_path, absolute_path, 0, 0, true, fit});
  }
  wake_.notify_one();
}

void ThumbnailLoader::clear_queue() {
  std::lock_guard lock(mutex_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const Job& j) { return !j.preview; }),
               queue_.end());
}

int ThumbnailLoader::queued() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(queue_.size() + running_.size());
}

void ThumbnailLoader::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      job = std::move(queue_.back());
      queue_.pop_back();
      running_.push_back(job.key);
    }
    // The key stays in running_ until its answer reaches the window's thread, so that a repaint
    // meanwhile does not ask for the same picture again.
    if (job.preview) {
      make_preview(job);
    } else {
      make_thumbnail(job);
    }
  }
}

void ThumbnailLoader::delivered(const QString& key) {
  std::lock_guard lock(mutex_);
  auto it = std::find(running_.begin(), running_.end(), key);
  if (it != running_.end()) running_.erase(it);
}

void ThumbnailLoader::make_thumbnail(const Job& job) {
  QImage image;
  bool failed = false;
  bool made = false;
  QSize original;
  switch (cache_.lookup(job.path, job.mtime_s, &image)) {
    case ThumbnailCache::Hit::Thumbnail: break;
    case ThumbnailCache::Hit::Failed: failed = true; break;
    case ThumbnailCache::Hit::Miss: {
      const int edge = cache_.edge();
      image = read_scaled_picture(job.path, QSize(edge, edge), &original);
      ++pictures_read_;
      failed = image.isNull();
      made = true;
      break;
    }
  }
  QImage shown = image;
  if (!failed && shown.hasAlphaChannel() && shown.format() != QImage::Format_ARGB32_Premultiplied)
    shown = shown.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QMetaObject::invokeMethod(
      this,
      [this, key = job.key, shown, failed] {
        delivered(key);
        emit thumbnail_ready(key, shown, failed);
      },
      Qt::QueuedConnection);
  // The cache is filled after the window has its thumbnail: the PNG encoding is not on the way.
  if (made && job.mtime_s < QDateTime::currentSecsSinceEpoch() - kSettleSeconds) {
    if (failed) {
      cache_.store_failure(job.path, job.mtime_s);
    } else {
      cache_.store(job.path, job.mtime_s, job.size, image, original);
    }
  }
}

void ThumbnailLoader::make_preview(const Job& job) {
  QImage image = read_scaled_picture(job.path, job.fit);
  ++pictures_read_;
  QMetaObject::invokeMethod(
      this,
      [this, path = job.path, image] {
        delivered(path);
        emit preview_ready(path, image);
      },
      Qt::QueuedConnection);
}

}  // namespace fk
