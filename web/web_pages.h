// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages of the browser view. Every text that came from a news server goes through html_escape here;
// the live parts are filled by the script with textContent, never as markup.

#include <cstddef>
#include <string>
#include <vector>

#include "web/gallery_index.h"

namespace fk {

std::string login_page(bool refused);
std::string status_page(const std::string& csrf);

struct GalleryView {
  GalleryFilter filter;
  std::vector<GalleryGroupCount> groups;
  std::size_t all_count = 0;
  std::size_t unknown_count = 0;
  GalleryPage page;
  std::size_t page_size = 100;
};
std::string gallery_page(const GalleryView& view, const std::string& csrf);

struct PictureInfo {
  GalleryEntry entry;
  int width = 0, height = 0;
  std::string author, subject;  // from files.log; empty when it names none
};
std::string picture_page(const PictureInfo& info, const std::string& csrf);

// The address of a file (and of its thumbnail) as the server serves it, each segment encoded.
std::string picture_url(const GalleryEntry& e);
std::string thumbnail_url(const GalleryEntry& e);

// The stylesheet and the script, served as files.
const std::string& page_css();
const std::string& page_script();

}  // namespace fk
