// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One picture's thumbnail as PNG bytes, for callers that keep Qt out of their own headers.

#include <cstdint>
#include <optional>
#include <string>

namespace fk {

// The thumbnail (fitting 128x128) of the picture at absolute_path as it was at mtime_s: the shared
// cache's PNG when current, else read small on the calling thread and stored in the cache (unless the
// file is younger than a few seconds). nullopt when the file is not a picture that can be read; that
// failure is remembered in the cache too. cache_root empty: the user's cache.
std::optional<std::string> thumbnail_png(const std::string& absolute_path, std::int64_t mtime_s, std::int64_t size,
                                         const std::string& cache_root = {});

// Width and height of the picture at path without decoding it; {0, 0} when unknown.
struct PictureSize {
  int width = 0;
  int height = 0;
};
PictureSize picture_dimensions(const std::string& path);

}  // namespace fk
