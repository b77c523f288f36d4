// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The only files the browser view hands out: pictures/<group>/<file> and unknown/<file> of the working
// folder, opened without following a link anywhere on the way.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/unique_fd.h"

namespace fk {

// A name a request may use for one step: not empty, not "." or "..", no '/', '\\' or NUL, not hidden,
// at most 255 bytes.
bool safe_segment(std::string_view name);

struct ServedFile {
  UniqueFd fd;
  std::int64_t size = 0;
  std::int64_t mtime_s = 0;
};

// Opens pictures/<group>/<name> (group set) or unknown/<name> (group empty) under root for reading: a
// regular file reached through real folders only. nullopt for anything else.
std::optional<ServedFile> open_served_file(const std::string& root, const std::string& group, const std::string& name);

// The whole file (it stays open; the read goes from its start); false on a read error.
bool read_whole(const ServedFile& file, std::string& out);

// The content type a file is served with: an image type from its name, else application/octet-stream
// (never a type a browser renders as a page).
std::string served_content_type(std::string_view name);

}  // namespace fk
