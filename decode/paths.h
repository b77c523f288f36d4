// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where decoded pictures go: the group's folder under pictures/, and bare file names made safe.

#include <cstdint>
#include <string>
#include <string_view>

namespace fk {

// The longest group folder name; with a 127-character file name the path stays within 255 characters.
inline constexpr std::size_t kMaxGroupFolder = 100;

// The folder name a group's pictures get: separators and control characters become '_', leading dots
// go, cut to kMaxGroupFolder characters. Empty when nothing usable is left (the pictures go to
// "pictures/" itself).
std::string safe_group_folder(std::string_view group);

// "pictures/" for an empty (or unusable) group name, else "pictures/<safe group folder>/".
std::string group_directory(std::string_view group);

// The stored picture of a group: group_directory(group) followed by the bare name a decoder returned.
std::string picture_path(std::string_view group, std::string_view name);

// A file name from the network reduced to a bare name that stays in its folder: only the part after the
// last '/' or '\', control characters replaced by '_', leading dots removed. Empty when nothing usable
// is left (also for a name of blanks only).
std::string safe_file_name(std::string_view raw);

// The longest file name a decoder files under (bytes); longer names from the network are shortened.
inline constexpr std::size_t kMaxFileName = 127;
// A name from the network cut to kMaxFileName bytes on a character boundary, keeping a short extension
// (".jpg") so that the file stays what it was.
std::string shortened_file_name(std::string_view raw);

// The name ends in a picture extension (jpg, jpeg, gif, png, webp, bmp, tif, tiff, avif, heic, jxl), in
// any letter case.
bool is_picture_name(std::string_view name);
// The name ends in a picture extension or one of the other kinds posters use (rar, rNN, zip, 7z, par2,
// nfo, sfv, nzb, txt, mp4, mkv, avi), and something comes before the dot.
bool has_known_extension(std::string_view name);

// The first bytes are those of a picture format the extensions above name.
bool looks_like_picture(std::string_view head);
// Bytes looks_like_picture needs, and the fewest bytes any filed file has.
inline constexpr std::size_t kPictureHead = 16;
inline constexpr std::size_t kMinFiledBytes = 64;

// The generated names: "WTF%08X" (a bad header name) and "WTF%08X.jpg" (a block without a name).
std::string generated_name(std::int64_t seconds);

}  // namespace fk
