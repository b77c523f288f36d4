// SPDX-License-Identifier: GPL-3.0-or-later
// Multi-part sets: parts kept decoded, an index per set, assembly when the last part arrives.
#include "decode/parts_store.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "decode/decoders.h"
#include "decode/paths.h"
#include "decode/work_file.h"
#include "store/clock.h"
#include "store/status_log.h"
#include "store/text.h"
#include "store/text_file.h"

namespace fk {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr char kIndex[] = "index";

std::string part_file(std::uint32_t part) {
  return std::to_string(part) + ".part";
}

// The whole text as a number held at the 64-bit maximum; 0 when anything but digits is in it.
std::uint64_t to_number(std::string_view s) {
  const LeadingNumber n = read_decimal(s, NumberForm::Digits);
  return n.end == s.size() ? n.magnitude : 0;
}

std::vector<std::string_view> split_tabs(std::string_view line) {
  std::vector<std::string_view> out;
  for (;;) {
    std::size_t tab = line.find('\t');
    out.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return out;
    line.remove_prefix(tab + 1);
  }
}

// Copies the whole of one file to an open descriptor, reading in blocks. False with errno on failure.
bool append_file_to(const std::string& path, int out, char* buf) {
  UniqueFd in = open_regular_for_read(path);
  if (!in) return false;
  for (;;) {
    ssize_t n = ::read(in.get(), buf, kBlock);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!write_all(out, std::string_view(buf, static_cast<std::size_t>(n)))) return false;
  }
}

// The files one after another in target, created afresh. 0, or the errno of the first failure; a
// file that fails does not keep the ones after it out.
int join_files(const std::vector<std::string>& paths, const std::string& target) {
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out) return errno;
  auto buf = std::make_unique<char[]>(kBlock);
  int first = 0;
  for (const std::string& path : paths)
    if (!append_file_to(path, out.get(), buf.get()) && first == 0) first = errno ? errno : EIO;
  return first;
}

// FNV-1a over the identity: a folder name that no group, author or file name can steer.
std::string identity_hash(const SetIdentity& set) {
  std::uint64_t h = 1469598103934665603ull;
  auto mix = [&](std::string_view s) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0xff) * 1099511628211ull;  // field separator, so "ab"+"c" differs from "a"+"bc"
  };
  if (set.size != 0) {
    mix("data");
    mix(set.group);
    mix(set.name);
    mix(std::to_string(set.size));
    if (set.by_poster) {
      mix("poster");
      mix(set.author);
    }
  } else {
    mix(set.group);
    mix(set.author);
    mix(set.name);
    mix(std::to_string(set.total));
  }
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

// 0, or the errno of the failure.
int make_dirs(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  return ec ? (ec.value() ? ec.value() : EIO) : 0;
}

// A write that failed ends the session with nothing recorded; `out` keeps its counts.
PartOutcome write_failed(PartOutcome& out, DecodeResult failure) {
  out.kind = PartOutcome::Kind::WriteFailed;
  out.failure = std::move(failure);
  return out;
}
PartOutcome write_failed(PartOutcome& out, const std::string& path, int error) {
  return write_failed(out, write_failure(path, error));
}

}  // namespace

// The set's index: one "set" line, a "part" line per kept part, "broken" once given up.
struct PartsStore::Index {
  struct Part {
    std::uint32_t number = 0;
    char kind = 'u';  // 'y' decoded yEnc, 'u' uuencoded text
    std::uint64_t begin = 0, end = 0, size = 0;
    std::optional<std::uint32_t> crc32;
    std::int64_t stamp = 0;
    std::string author;  // who posted this copy; empty in indexes written before it was kept
  };
  std::uint32_t total = 0;
  std::string name, author, group;
  std::vector<Part> parts;
  std::optional<std::int64_t> broken;
  std::vector<std::string> split;  // posters whose parts went to a set of their own

  const Part* find(std::uint32_t number) const {
    for (const Part& p : parts)
      if (p.number == number) return &p;
    return nullptr;
  }
  std::int64_t newest() const {
    std::int64_t t = broken.value_or(0);
    for (const Part& p : parts) t = std::max(t, p.stamp);
    return t;
  }

  bool load(const std::string& path) {
    LineReader in(4096);
    if (!in.open(path)) return false;
    std::string line;
    while (in.next(line)) {
      std::vector<std::string_view> f = split_tabs(line);
      if (f[0] == "set" && f.size() >= 5) {
        total = static_cast<std::uint32_t>(to_number(f[1]));
        name = f[2];
        author = f[3];
        group = f[4];
      } else if (f[0] == "part" && f.size() >= 9) {
        Part p;
        p.number = static_cast<std::uint32_t>(to_number(f[1]));
        p.kind = f[2] == "y" ? 'y' : 'u';
        p.begin = to_number(f[3]);
        p.end = to_number(f[4]);
        p.size = to_number(f[5]);
        if (f[6] != "-") p.crc32 = static_cast<std::uint32_t>(std::strtoul(std::string(f[6]).c_str(), nullptr, 16));
        p.stamp = static_cast<std::int64_t>(to_number(f[7]));
        if (f.size() >= 10) p.author = f[9];
        if (p.number > 0 && f[8] == part_file(p.number) && !find(p.number)) parts.push_back(p);
      } else if (f[0] == "split" && f.size() >= 2) {
        split.emplace_back(f[1]);
      } else if (f[0] == "broken" && f.size() >= 2) {
        broken = std::max(broken.value_or(0), static_cast<std::int64_t>(to_number(f[1])));
      }
    }
    stored = total > 0;
    return true;
  }

  // Lines are appended whole in one write each, as the histories are; a line cut by a crash is
  // ignored when read (a part without its line is fetched again and found already kept).
  std::string header() const {
    return "set\t" + std::to_string(total) + "\t" + name + "\t" + author + "\t" + group + "\n";
  }
  static std::string line_of(const Part& p) {
    char crc[16] = "-";
    if (p.crc32) std::snprintf(crc, sizeof crc, "%08x", *p.crc32);
    return "part\t" + std::to_string(p.number) + "\t" + p.kind + "\t" + std::to_string(p.begin) + "\t" +
           std::to_string(p.end) + "\t" + std::to_string(p.size) + "\t" + crc + "\t" + std::to_string(p.stamp) +
           "\t" + part_file(p.number) + "\t" + p.author + "\n";
  }
  // The whole index afresh, for when parts leave the set.
  std::string text() const {
    std::string out = header();
    for (const Part& p : parts) out += line_of(p);
    for (const std::string& a : split) out += "split\t" + a + "\n";
    if (broken) out += "broken\t" + std::to_string(*broken) + "\n";
    return out;
  }
  bool splits(const std::string& author) const {
    return std::find(split.begin(), split.end(), author) != split.end();
  }
  bool append(const std::string& path, std::string lines) {
    if (!stored) lines.insert(0, header());
    stored = append_file(path, lines);
    return stored;
  }
  bool stored = false;  // the file exists with its set line

  // The parts' files in the order given.
  static std::vector<std::string> paths(const std::string& dir, const std::vector<Part>& parts) {
    std::vector<std::string> out;
    out.reserve(parts.size() + 1);
    for (const Part& p : parts) out.push_back(dir + part_file(p.number));
    return out;
  }
};

PartsStore::PartsStore(const StatusLog& log, Clock& clock, Decoders& decoders, std::string root)
    : log_(log), clock_(clock), decoders_(decoders), root_(std::move(root)) {}

std::string PartsStore::set_directory(const SetIdentity& set) const {
  std::string group = safe_group_folder(set.group);
  if (group.empty()) group = "_";
  return root_ + "/" + group + "/" + identity_hash(set) + "/";
}

PartOutcome PartsStore::keep(const std::string& work_file, const SetIdentity& set, std::uint32_t part,
                             const std::string& unknown_path, const SetIdentity* earlier) {
  PartOutcome out;
  out.total = set.total;
  const std::string dir = set_directory(set);
  std::error_code exists_ec;
  if (earlier && !fs::exists(dir, exists_ec)) {
    // Its earlier parts' message-ids are in the history already: they would never come again.
    const std::string old_dir = set_directory(*earlier);
    if (old_dir != dir && fs::is_directory(old_dir, exists_ec)) {
      if (int err = make_dirs(fs::path(dir).parent_path().parent_path().string()))
        return write_failed(out, dir, err);
      if (::rename(old_dir.c_str(), dir.substr(0, dir.size() - 1).c_str()) == 0)
        log_.log_status("Multi-part set " + set.name + " carried over to its new key", 3);
    }
  }
  if (int err = make_dirs(dir)) return write_failed(out, dir, err);

  Index index;
  if (!index.load(dir + kIndex)) {
    index.total = set.total;
    index.name = set.name;
    index.author = set.author;
    index.group = set.group;
  }
  // A poster whose copy differed from another's has a set of its own.
  if (set.size != 0 && !set.by_poster && index.splits(set.author)) {
    SetIdentity own = set;
    own.by_poster = true;
    return keep(work_file, own, part, unknown_path);
  }
  out.have = static_cast<std::uint32_t>(index.parts.size());
  if (index.broken) {
    // Keeps the set's marker fresh, so a set still being posted is not collected again by halves.
    index.append(dir + kIndex, "broken\t" + std::to_string(clock_.now()) + "\n");
    out.kind = PartOutcome::Kind::Discarded;
    return out;
  }

  Index::Part entry;
  entry.number = part;
  entry.stamp = clock_.now();
  entry.author = set.author;
  const std::string file = part_file(part);
  DecodeResult r;
  if (Decoder* decoder = decoders_.part_decoder(work_file)) {
    r = decoder->place(work_file, dir, file);
    if (r.status == DecodeStatus::WriteFailed) return write_failed(out, r);
    if (r.status != DecodeStatus::Decoded) {
      // A truncated or garbled copy: a repost of the part may still complete the set.
      out.kind = PartOutcome::Kind::Rejected;
      out.message = "Multi-part set " + set.name + ": " + r.message + " in part " + std::to_string(part) +
                    "... waiting for another copy";
      return out;
    }
    entry.kind = 'y';
    entry.begin = r.yenc.part_begin.value_or(1);
    entry.end = r.yenc.part_end.value_or(r.yenc.decoded_bytes);
    entry.size = r.yenc.size.value_or(0);
    entry.crc32 = r.yenc.crc32;
  } else {
    // The article's header row and the empty line after it are not part of the text.
    std::size_t skip = 0;
    {
      UniqueFd in = open_regular_for_read(work_file);
      std::string head(64 * 1024, '\0');
      ssize_t n = in ? ::read(in.get(), head.data(), head.size()) : -1;
      if (n > 0) {
        std::size_t at = std::string_view(head.data(), static_cast<std::size_t>(n)).find("\n\n");
        if (at != std::string_view::npos) skip = at + 2;
      }
    }
    OutputFile o(decoders_.file_writer());
    if (!o.create(dir, file)) return write_failed(out, dir + file, o.error());
    UniqueFd in = open_regular_for_read(work_file);
    for (bool more = static_cast<bool>(in); more;) {
      char* buf = o.reserve(kBlock);
      ssize_t n = ::read(in.get(), buf, kBlock);
      if (n < 0 && errno == EINTR) continue;
      more = n > 0;
      if (!more) break;
      std::size_t from = std::min(skip, static_cast<std::size_t>(n));
      skip -= from;
      if (from > 0) std::copy(buf + from, buf + n, buf);
      o.commit(static_cast<std::size_t>(n) - from);
      if (o.failed()) break;
    }
    if (!o.finish(r.name, r.already_stored)) return write_failed(out, dir + file, o.error());
    entry.kind = 'u';
  }

  if (r.name != file) {
    // The part's name already held other bytes: two different versions of one part.
    std::error_code ec;
    fs::remove(dir + r.name, ec);
    // Another poster's file of the same name and size: two files, two sets.
    const Index::Part* held = index.find(part);
    if (set.size != 0 && !set.by_poster && held && held->author != set.author)
      return split_off(work_file, set, dir, index, part, unknown_path);
    return give_up(set, dir, index, "", "two different copies of part " + std::to_string(part), unknown_path);
  }
  if (const Index::Part* kept = index.find(part)) {
    if (kept->kind != entry.kind)
      return give_up(set, dir, index, "", "part " + std::to_string(part) + " posted in two encodings",
                     unknown_path);
    // A set whose assembly failed before (a full disk) is whole already: this is the retry.
    if (is_whole(set, index)) return assemble(set, dir, index, unknown_path);
    out.kind = PartOutcome::Kind::Duplicate;
    return out;
  }
  // Same bytes but no index line: a crash came between keeping the part and indexing it.
  if (!index.append(dir + kIndex, Index::line_of(entry)))
    return write_failed(out, dir + kIndex, errno ? errno : EIO);
  index.parts.push_back(entry);
  out.have = static_cast<std::uint32_t>(index.parts.size());
  if (!is_whole(set, index)) {
    out.kind = PartOutcome::Kind::Kept;
    return out;
  }
  return assemble(set, dir, index, unknown_path);
}

PartOutcome PartsStore::split_off(const std::string& work_file, const SetIdentity& set, const std::string& dir,
                                  Index& index, std::uint32_t part, const std::string& unknown_path) {
  PartOutcome out;
  out.total = set.total;
  SetIdentity own = set;
  own.by_poster = true;
  const std::string own_dir = set_directory(own);
  if (int err = make_dirs(own_dir)) return write_failed(out, own_dir, err);
  // Recorded first: should the moves below be cut short, this poster's later parts still go apart.
  if (!index.append(dir + kIndex, "split\t" + set.author + "\n"))
    return write_failed(out, dir + kIndex, errno ? errno : EIO);
  index.split.push_back(set.author);
  Index own_index;
  if (!own_index.load(own_dir + kIndex)) {
    own_index.total = own.total;
    own_index.name = own.name;
    own_index.author = own.author;
    own_index.group = own.group;
  }
  std::vector<Index::Part> stay;
  for (const Index::Part& p : index.parts) {
    const std::string file = part_file(p.number);
    if (p.author != set.author || own_index.find(p.number) ||
        ::rename((dir + file).c_str(), (own_dir + file).c_str()) != 0) {
      stay.push_back(p);
      continue;
    }
    if (own_index.append(own_dir + kIndex, Index::line_of(p))) own_index.parts.push_back(p);
  }
  index.parts = std::move(stay);
  const std::string fresh = dir + kIndex + ".new";
  std::error_code ec;
  fs::remove(fresh, ec);
  if (!append_file(fresh, index.text()) || ::rename(fresh.c_str(), (dir + kIndex).c_str()) != 0)
    return write_failed(out, dir + kIndex, errno ? errno : EIO);
  log_.log_status("Multi-part set " + set.name + ": the copy of " + set.author +
                      " differs from another poster's... kept as a set of its own",
                  3);
  return keep(work_file, own, part, unknown_path);
}

bool PartsStore::is_whole(const SetIdentity& set, const Index& index) {
  // As many parts as the set counts is whole, or shows at assembly how its parts disagree.
  if (set.total > 0 && index.parts.size() >= set.total) return true;
  if (set.size == 0) return false;
  // A set named by its data is whole when its parts cover every byte once.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
  for (const Index::Part& p : index.parts) {
    if (p.kind != 'y') return false;
    ranges.emplace_back(p.begin, p.end);
  }
  std::sort(ranges.begin(), ranges.end());
  std::uint64_t next = 1;
  for (auto [begin, end] : ranges) {
    if (begin != next) return false;
    next = end + 1;
  }
  return next - 1 == set.size;
}

PartOutcome PartsStore::assemble(const SetIdentity& set, const std::string& dir, Index& index,
                                 const std::string& unknown_path) {
  PartOutcome out;
  out.total = set.total;
  out.have = static_cast<std::uint32_t>(index.parts.size());
  const char kind = index.parts.front().kind;
  for (const Index::Part& p : index.parts)
    if (p.kind != kind) return give_up(set, dir, index, "", "yEnc and uuencoded parts mixed", unknown_path);

  std::vector<Index::Part> order = index.parts;
  std::string group_dir = decoders_.output_directory(set.group);
  std::string name = safe_file_name(set.name);
  if (name.empty()) name = generated_name(clock_.now());

  if (kind == 'u') {
    std::sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.number < b.number; });
    const std::string joined = dir + "joined.uue";
    if (int err = join_files(Index::paths(dir, order), joined)) return write_failed(out, joined, err);
    DecodeResult r = decoders_.uudecode(joined, set.group);
    std::error_code ec;
    fs::remove(joined, ec);
    if (r.status == DecodeStatus::WriteFailed) return write_failed(out, r);
    out.not_picture = r.status == DecodeStatus::NotPicture;
    if (r.status != DecodeStatus::Decoded && !out.not_picture) {
      // A short file the decoder kept would be an incomplete picture.
      if (!r.name.empty() && !r.already_stored) fs::remove(picture_path(set.group, r.name), ec);
      return give_up(set, dir, index, "", r.message, unknown_path);
    }
    out.name = r.name;
    out.already_stored = r.already_stored;
  } else {
    std::sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.begin < b.begin; });
    std::uint64_t size = 0, next = 1;
    std::optional<std::uint32_t> crc;
    for (const Index::Part& p : order) {
      if (p.begin != next)
        return give_up(set, dir, index, "",
                       p.begin < next ? "parts overlap at byte " + std::to_string(p.begin)
                                      : "bytes " + std::to_string(next) + " to " + std::to_string(p.begin - 1) +
                                            " are in no part",
                       unknown_path);
      next = p.end + 1;
      if (p.size) {
        if (size && size != p.size) return give_up(set, dir, index, "", "parts disagree on the size", unknown_path);
        size = p.size;
      }
      if (p.crc32) {
        if (crc && *crc != *p.crc32) return give_up(set, dir, index, "", "parts disagree on the CRC", unknown_path);
        crc = p.crc32;
      }
    }
    if (size && next - 1 != size)
      return give_up(set, dir, index, "",
                     "Size Error: " + std::to_string(next - 1) + " bytes, expected " + std::to_string(size),
                     unknown_path);
    OutputFile o(decoders_.file_writer());
    decoders_.vet(o);
    if (!o.create(group_dir, name)) {
      if (is_disk_error(o.error())) return write_failed(out, group_dir + name, o.error());
      return give_up(set, dir, index, "", "Unable to open output file " + group_dir + name, unknown_path);
    }
    std::uint32_t whole = 0;
    for (const Index::Part& p : order) {
      UniqueFd in = open_regular_for_read(dir + part_file(p.number));
      if (!in) return give_up(set, dir, index, "", "part " + std::to_string(p.number) + " is missing", unknown_path);
      for (;;) {
        char* at = o.reserve(kBlock);
        ssize_t n = ::read(in.get(), at, kBlock);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        whole = libdeflate_crc32(whole, at, static_cast<std::size_t>(n));
        o.commit(static_cast<std::size_t>(n));
      }
      if (o.failed()) return write_failed(out, group_dir + name, o.error());
    }
    if (o.size() != next - 1) {
      o.discard();
      return give_up(set, dir, index, "", "parts changed size in the store", unknown_path);
    }
    if (crc && *crc != whole) {
      o.discard();
      return give_up(set, dir, index, "", "CRC Error in the whole file", unknown_path);
    }
    if (!o.finish(out.name, out.already_stored)) return write_failed(out, group_dir + name, o.error());
    out.not_picture = o.where() != OutputFile::Filed::Picture;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  log_.log_status("Multi-part set " + set.name + " assembled from " + std::to_string(index.parts.size()) + " parts as " +
                      out.name,
                  3);
  out.kind = PartOutcome::Kind::Completed;
  return out;
}

PartOutcome PartsStore::give_up(const SetIdentity& set, const std::string& dir, Index& index,
                                const std::string& extra, const std::string& why, const std::string& unknown_path) {
  PartOutcome out;
  out.kind = PartOutcome::Kind::Broken;
  out.total = set.total;
  out.have = static_cast<std::uint32_t>(index.parts.size());
  std::sort(index.parts.begin(), index.parts.end(), [](auto& a, auto& b) { return a.number < b.number; });
  // What was collected goes to unknown/ as one file for inspection; a failure here loses only copies.
  if (make_dirs(fs::path(unknown_path).parent_path().string()) == 0) {
    std::vector<std::string> files = Index::paths(dir, index.parts);
    if (!extra.empty()) files.push_back(extra);
    join_files(files, unknown_path);
  }
  std::error_code ec;
  for (const Index::Part& p : index.parts) fs::remove(dir + part_file(p.number), ec);
  index.parts.clear();
  index.append(dir + kIndex, "broken\t" + std::to_string(clock_.now()) + "\n");
  out.message = "Multi-part set " + set.name + " broken: " + why + "... kept in " + unknown_path;
  return out;
}

int PartsStore::expire(std::int32_t keep_days) {
  std::error_code ec;
  if (!fs::is_directory(root_, ec)) return 0;
  const std::int64_t now = clock_.now();
  const std::int64_t limit = static_cast<std::int64_t>(std::max(keep_days, 0)) * 86400;
  std::vector<fs::path> expired;
  for (fs::directory_iterator g(root_, ec), end; !ec && g != end; g.increment(ec)) {
    if (!g->is_directory(ec) || g->is_symlink(ec)) continue;
    std::error_code inner;
    for (fs::directory_iterator s(g->path(), inner); !inner && s != end; s.increment(inner)) {
      if (!s->is_directory(inner) || s->is_symlink(inner)) continue;
      Index index;
      const bool has_index = index.load((s->path() / kIndex).string());
      if (has_index && now - index.newest() < limit) continue;
      if (!has_index) {
        // A set whose first part never got indexed: its files' age decides.
        struct stat st{};
        if (::stat(s->path().c_str(), &st) == 0 && now - st.st_mtime < limit) continue;
      }
      log_.log_status("Multi-part set " + (index.name.empty() ? s->path().filename().string() : index.name) +
                          " given up: " + std::to_string(index.parts.size()) + " of " +
                          std::to_string(index.total) + " parts after " + std::to_string(keep_days) + " days",
                      1);
      expired.push_back(s->path());
    }
  }
  for (const fs::path& p : expired) fs::remove_all(p, ec);
  return static_cast<int>(expired.size());
}

}  // namespace fk
