// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hashing a picture for the duplicate search: its bytes, and its shape as a difference hash.

#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/duplicates.h"

namespace fk {

// A 64-bit difference hash: the picture in grey at 9 x 8, one bit per pair of neighbours in a row
// (set where the left one is brighter). Resizing and re-encoding change few bits. 0 for a null image.
std::uint64_t difference_hash(const QImage& image);

// Fills `out.content`, `out.shape`, `out.pixels` and `out.colour` from the file (shape 0 when it does not decode);
// false when the file cannot be read.
bool hash_picture_file(const QString& absolute_path, PictureHash& out);

// A filed picture: its path relative to the working folder, its size and time.
struct ListedPicture {
  QString relative;
  qint64 size = 0, mtime_ns = 0;
};
// The filed pictures of the working folder `root` as they are on disk (pictures/ and its group folders).
std::vector<ListedPicture> list_filed_pictures(const QString& root);

struct IndexRefresh {
  std::vector<PictureHash> pictures;  // the hashes of the listed pictures that could be read
  std::size_t hashed = 0;             // of those, read now
  bool saved = true;                  // false when the index file could not be written
  bool stopped = false;               // `stop` cut it short; nothing was written
};
// Brings PICHASH.FNK of `root` up to date for `listed` (made when missing): new and changed files are
// hashed, entries of files gone are dropped; the file is written only when it changed. `progress` hears
// the count hashed so far every 200 pictures. Any thread.
IndexRefresh refresh_picture_index(const QString& root, const std::vector<ListedPicture>& listed,
                                   const std::atomic<bool>& stop,
                                   const std::function<void(std::size_t)>& progress = {});

}  // namespace fk
