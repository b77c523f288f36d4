// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/picture_hash.h"

#include <QColor>
#include <QFile>
#include <QImageReader>

#include "store/picture_folders.h"

namespace fk {

std::uint64_t difference_hash(const QImage& image) {
  if (image.isNull()) return 0;
  // Two steps: a box-filtered reduction first, so that a large picture's detail averages out the same
  // way whatever its size.
  QImage small = image.convertToFormat(QImage::Format_Grayscale8);
  if (small.width() > 64 || small.height() > 64)
    small = small.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  small = small.scaled(9, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  std::uint64_t hash = 0;
  for (int y = 0; y < 8; ++y) {
    const uchar* row = small.constScanLine(y);
    for (int x = 0; x < 8; ++x) hash = (hash << 1) | (row[x] > row[x + 1] ? 1u : 0u);
  }
  return hash;
}

bool hash_picture_file(const QString& absolute_path, PictureHash& out) {
  QFile file(absolute_path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  // FNV-1a over the bytes.
  std::uint64_t h = 14695981039346656037ULL;
  QByteArray block;
  while (!(block = file.read(1 << 20)).isEmpty())
    for (char c : block) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  out.content = h;
  file.close();

  QImageReader reader(absolute_path);
  const QSize size = reader.size();
  out.pixels = size.isValid() ? static_cast<std::int64_t>(size.width()) * size.height() : 0;
  // A decoder that can scale while decoding (JPEG) saves most of the work.
  if (size.isValid() && (size.width() > 256 || size.height() > 256))
    reader.setScaledSize(size.scaled(256, 256, Qt::KeepAspectRatio));
  const QImage image = reader.read();
  if (out.pixels == 0 && !image.isNull()) out.pixels = static_cast<std::int64_t>(image.width()) * image.height();
  out.shape = difference_hash(image);
  if (!image.isNull()) {
    const QColor mean = QColor(image.convertToFormat(QImage::Format_RGB32)
                                   .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                   .pixel(0, 0));
    out.colour = (static_cast<std::uint32_t>(mean.red()) << 16) | (static_cast<std::uint32_t>(mean.green()) << 8) |
                 static_cast<std::uint32_t>(mean.blue());
  }
  return true;
}

std::vector<ListedPicture> list_filed_pictures(const QString& root) {
  std::vector<ListedPicture> out;
  const QString top = QStringLiteral("pictures");
  const std::string top_path = QFile::encodeName(root + QLatin1Char('/') + top).toStdString();
  QStringList dirs{top};
  for (const std::string& sub : list_sub_folders(top_path)) dirs << top + QLatin1Char('/') + QFile::decodeName(sub.c_str());
  for (const QString& dir : dirs) {
    std::vector<FolderFile> files;
    list_folder_files(QFile::encodeName(root + QLatin1Char('/') + dir).toStdString(), files);
    for (const FolderFile& f : files)
      out.push_back({dir + QLatin1Char('/') + QFile::decodeName(f.name.c_str()), f.size, f.mtime_ns});
  }
  return out;
}

IndexRefresh refresh_picture_index(const QString& root, const std::vector<ListedPicture>& listed,
                                   const std::atomic<bool>& stop,
                                   const std::function<void(std::size_t)>& progress) {
  IndexRefresh r;
  const QString file = root + QLatin1Char('/') + QLatin1String(kPictureHashFile);
  const std::string index_file = QFile::encodeName(file).toStdString();
  PictureHashIndex index;
  index.load(index_file);
  const std::size_t loaded = index.size();
  std::vector<std::string> paths;
  for (const ListedPicture& k : listed) {
    if (stop) {
      r.stopped = true;
      return r;
    }
    const std::string path = k.relative.toStdString();
    paths.push_back(path);
    if (const PictureHash* h = index.find(path, k.size, k.mtime_ns)) {
      r.pictures.push_back(*h);
      continue;
    }
    PictureHash h{path, k.size, k.mtime_ns, 0, 0, 0};
    if (!hash_picture_file(root + QLatin1Char('/') + k.relative, h)) continue;
    index.put(h);
    r.pictures.push_back(std::move(h));
    if (++r.hashed % 200 == 0 && progress) progress(r.hashed);
  }
  index.retain(paths);
  const bool unchanged = r.hashed == 0 && index.size() == loaded && QFile::exists(file);
  r.saved = unchanged || index.save(index_file);
  return r;
}

}  // namespace fk
