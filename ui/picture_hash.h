// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hashing a picture for the duplicate search: its bytes, and its shape as a difference hash.

#include <QImage>
#include <QString>
#include <cstdint>

#include "app/duplicates.h"

namespace fk {

// A 64-bit difference hash: the picture in grey at 9 x 8, one bit per pair of neighbours in a row
// (set where the left one is brighter). Resizing and re-encoding change few bits. 0 for a null image.
std::uint64_t difference_hash(const QImage& image);

// Fills `out.content`, `out.shape`, `out.pixels` and `out.colour` from the file (shape 0 when it does not decode);
// false when the file cannot be read.
bool hash_picture_file(const QString& absolute_path, PictureHash& out);

}  // namespace fk
