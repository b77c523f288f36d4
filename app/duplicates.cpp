// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/duplicates.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <numeric>
#include <string_view>

#include "store/text_file.h"

namespace fk {

namespace {

constexpr std::string_view kHeader = "# Fennick picture hashes 1";

bool parse_number(std::string_view text, int base, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 99;
    if (d >= base) return false;
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  out = v;
  return true;
}

bool keep_first(const PictureHash& a, const PictureHash& b) {
  if (a.pixels != b.pixels) return a.pixels > b.pixels;
  if (a.size != b.size) return a.size > b.size;
  if (a.mtime_ns != b.mtime_ns) return a.mtime_ns < b.mtime_ns;
  return a.path < b.path;
}

}  // namespace

bool PictureHashIndex::load(const std::string& file) {
  by_path_.clear();
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return true;  // no index yet
  std::string content;
  std::vector<char> block(1 << 16);
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0;) content.append(block.data(), n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  std::string_view rest(content);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.empty() || line.front() == '#') continue;
    std::string_view fields[7];
    std::size_t n = 0;
    while (n < 7) {
      const std::size_t tab = line.find('\t');
      fields[n++] = line.substr(0, tab);
      if (tab == std::string_view::npos) break;
      line.remove_prefix(tab + 1);
    }
    std::uint64_t size = 0, mtime = 0, content_hash = 0, shape = 0, pixels = 0, colour = 0;
    if (n != 7 || !parse_number(fields[6], 16, colour) || colour > 0xFFFFFF || fields[0].empty() || !parse_number(fields[1], 10, size) || !parse_number(fields[2], 10, mtime) ||
        !parse_number(fields[3], 16, content_hash) || !parse_number(fields[4], 16, shape) ||
        !parse_number(fields[5], 10, pixels))
      continue;
    PictureHash h{std::string(fields[0]), static_cast<std::int64_t>(size), static_cast<std::int64_t>(mtime),
                  content_hash, shape, static_cast<std::int64_t>(pixels), static_cast<std::uint32_t>(colour)};
    by_path_[h.path] = std::move(h);
  }
  return ok;
}

bool PictureHashIndex::save(const std::string& file) const {
  std::string out(kHeader);
  out.push_back('\n');
  std::vector<const PictureHash*> sorted;
  for (const auto& [path, h] : by_path_) sorted.push_back(&h);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->path < b->path; });
  char numbers[128];
  for (const PictureHash* h : sorted) {
    // A name with a line break or tab could not be read back.
    if (h->path.find_first_of("\t\n\r") != std::string::npos) continue;
    std::snprintf(numbers, sizeof numbers, "\t%" PRId64 "\t%" PRId64 "\t%016" PRIx64 "\t%016" PRIx64 "\t%" PRId64 "\t%06" PRIx32 "\n",
                  h->size, h->mtime_ns, h->content, h->shape, h->pixels, h->colour & 0xFFFFFFu);
    out += h->path;
    out += numbers;
  }
  return replace_file(file, out);
}

const PictureHash* PictureHashIndex::find(const std::string& path, std::int64_t size, std::int64_t mtime_ns) const {
  auto it = by_path_.find(path);
  if (it == by_path_.end() || it->second.size != size || it->second.mtime_ns != mtime_ns) return nullptr;
  return &it->second;
}

void PictureHashIndex::put(PictureHash entry) {
  std::string key = entry.path;
  by_path_[std::move(key)] = std::move(entry);
}

void PictureHashIndex::retain(const std::vector<std::string>& paths) {
  std::unordered_map<std::string, PictureHash> kept;
  for (const std::string& p : paths)
    if (auto it = by_path_.find(p); it != by_path_.end()) kept.insert(*it);
  by_path_ = std::move(kept);
}

std::vector<PictureHash> PictureHashIndex::entries() const {
  std::vector<PictureHash> out;
  out.reserve(by_path_.size());
  for (const auto& [path, h] : by_path_) out.push_back(h);
  return out;
}

int hamming_distance(std::uint64_t a, std::uint64_t b) { return std::popcount(a ^ b); }

bool colours_close(std::uint32_t a, std::uint32_t b) {
  for (int shift : {16, 8, 0}) {
    const int ca = static_cast<int>((a >> shift) & 0xFF), cb = static_cast<int>((b >> shift) & 0xFF);
    if (ca - cb > kDuplicateColourSlack || cb - ca > kDuplicateColourSlack) return false;
  }
  return true;
}

std::vector<std::vector<PictureHash>> find_duplicates(const std::vector<PictureHash>& pictures, int max_distance) {
  const std::size_t n = pictures.size();
  // Who is a copy of whom: the same bytes, or a shape within max_distance in much the same colour.
  std::vector<std::vector<std::size_t>> near(n);
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> by_content;
  by_content.reserve(n);
  for (std::size_t i = 0; i < n; ++i) by_content[pictures[i].content].push_back(i);
  for (const auto& [content, members] : by_content)
    for (std::size_t a = 0; a < members.size(); ++a)
      for (std::size_t b = a + 1; b < members.size(); ++b)
        if (pictures[members[a]].size == pictures[members[b]].size) {
          near[members[a]].push_back(members[b]);
          near[members[b]].push_back(members[a]);
        }
  // Two shapes within d bits agree exactly on at least one of d + 1 slices: only pictures sharing a
  // slice are compared.
  if (max_distance >= 0 && max_distance < 64) {
    const int slices = max_distance + 1;
    for (int s = 0; s < slices; ++s) {
      const int from = 64 * s / slices, to = 64 * (s + 1) / slices;
      const std::uint64_t mask = (to - from == 64 ? ~0ULL : ((1ULL << (to - from)) - 1)) << from;
      std::unordered_map<std::uint64_t, std::vector<std::size_t>> buckets;
      buckets.reserve(n);
      for (std::size_t i = 0; i < n; ++i)
        if (pictures[i].shape != 0) buckets[pictures[i].shape & mask].push_back(i);
      for (const auto& [key, members] : buckets)
        for (std::size_t a = 0; a < members.size(); ++a)
          for (std::size_t b = a + 1; b < members.size(); ++b) {
            const PictureHash& pa = pictures[members[a]];
            const PictureHash& pb = pictures[members[b]];
            if (hamming_distance(pa.shape, pb.shape) <= max_distance && colours_close(pa.colour, pb.colour)) {
              near[members[a]].push_back(members[b]);
              near[members[b]].push_back(members[a]);
            }
          }
    }
  }
  // Each group is one picture to keep and its own copies, never copies of copies: a chain of small
  // steps can lead from one picture to a quite different one.
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keep_first(pictures[a], pictures[b]); });
  std::vector<bool> taken(n, false);
  std::vector<std::vector<PictureHash>> out;
  for (std::size_t keep : order) {
    if (taken[keep] || near[keep].empty()) continue;
    std::vector<std::size_t> copies;
    for (std::size_t other : near[keep])
      if (!taken[other] && other != keep) copies.push_back(other);
    std::sort(copies.begin(), copies.end());
    copies.erase(std::unique(copies.begin(), copies.end()), copies.end());
    if (copies.empty()) continue;
    taken[keep] = true;
    std::vector<PictureHash>& group = out.emplace_back();
    group.push_back(pictures[keep]);
    for (std::size_t c : copies) {
      taken[c] = true;
      group.push_back(pictures[c]);
    }
    std::sort(group.begin() + 1, group.end(), keep_first);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    if (a.size() != b.size()) return a.size() > b.size();
    return a.front().path < b.front().path;
  });
  return out;
}

}  // namespace fk
