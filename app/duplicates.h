// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Duplicate pictures: the hash index of the working folder and the search for copies, the same bytes or
// nearly the same picture (a 64-bit perceptual hash within a Hamming distance).

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace fk {

// The index file, in the working folder: the shared thumbnail cache is cleaned by other programs.
inline constexpr const char* kPictureHashFile = "PICHASH.FNK";
inline constexpr int kDefaultDuplicateDistance = 6;

struct PictureHash {
  std::string path;           // relative to the working folder
  std::int64_t size = 0;      // bytes
  std::int64_t mtime_ns = 0;  // when the file was last written; a changed file is hashed again
  std::uint64_t content = 0;  // of the bytes
  std::uint64_t shape = 0;    // perceptual hash of the picture; 0 when it does not decode
  std::int64_t pixels = 0;    // width times height
  std::uint32_t colour = 0;   // the picture's mean colour, 0xRRGGBB: the shape hash is grey only
};

// Near-copies keep their mean colour: two shapes alike in grey but this far apart in any channel are
// different pictures (a recoloured drawing, two gradients).
inline constexpr int kDuplicateColourSlack = 12;
bool colours_close(std::uint32_t a, std::uint32_t b);

// The hashes by path. Lines of the file: path, size, mtime, content and shape in hex, pixels, colour in
// hex, tab-separated.
class PictureHashIndex {
 public:
  // False when the file cannot be read (a missing file is an empty index); bad lines are skipped.
  bool load(const std::string& file);
  // Written through a temporary file; false (nothing changed) on failure.
  bool save(const std::string& file) const;
  // The entry for this path, when it was made from the file as it is now (same size and time).
  const PictureHash* find(const std::string& path, std::int64_t size, std::int64_t mtime_ns) const;
  void put(PictureHash entry);
  // Drops the entries of files no longer there.
  void retain(const std::vector<std::string>& paths);
  std::size_t size() const { return by_path_.size(); }
  std::vector<PictureHash> entries() const;

 private:
  std::unordered_map<std::string, PictureHash> by_path_;
};

int hamming_distance(std::uint64_t a, std::uint64_t b);

// Groups of pictures that are copies of one another: the same bytes, or shapes within max_distance in
// much the same colour. Each group is one picture to keep (most pixels, then most bytes, then the oldest)
// followed by its own copies; a copy of a copy that is not itself near the kept one is left out of the
// group. Groups come largest first.
std::vector<std::vector<PictureHash>> find_duplicates(const std::vector<PictureHash>& pictures,
                                                      int max_distance = kDefaultDuplicateDistance);

}  // namespace fk
