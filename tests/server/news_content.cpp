// SPDX-License-Identifier: GPL-3.0-or-later
// Content sources of the NNTP test server.
#include "server/news_content.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "server/yenc_encoder.h"

namespace fk::test {

namespace {

std::int64_t count_lines(const std::string& body) {
  if (body.empty()) return 0;
  std::int64_t n = std::count(body.begin(), body.end(), '\n');
  return body.back() == '\n' ? n : n + 1;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A group name taken from a folder name: no separators, no leading dot, nothing unprintable.
bool plausible_group(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 127 && c != '/'; });
}

}  // namespace

void MemoryContent::add_group(const std::string& name) {
  std::lock_guard lock(mutex_);
  if (groups_.emplace(name, std::map<std::int64_t, ServerArticle>{}).second) order_.push_back(name);
}

std::int64_t MemoryContent::add_article(const std::string& group, ServerArticle a) {
  std::lock_guard lock(mutex_);
  auto [it, added] = groups_.emplace(group, std::map<std::int64_t, ServerArticle>{});
  if (added) order_.push_back(group);
  auto& articles = it->second;
  if (a.overview.number == 0) a.overview.number = articles.empty() ? 1 : articles.rbegin()->first + 1;
  if (a.overview.bytes == 0) a.overview.bytes = static_cast<std::int64_t>(a.body.size());
  if (a.overview.lines == 0) a.overview.lines = count_lines(a.body);
  if (a.overview.message_id.empty()) {
    std::string id(1, '<');
    id += std::to_string(a.overview.number);
    id += '.';
    id += group;
    id += "@fennick.invalid>";
    a.overview.message_id = std::move(id);
  }
  if (a.overview.author.empty()) a.overview.author = "Fennick Test <test@fennick.invalid>";
  if (a.overview.date.empty()) a.overview.date = "Mon, 07 Dec 2026 04:11:08 GMT";
  std::int64_t number = a.overview.number;
  by_id_[a.overview.message_id] = {group, number};
  articles[number] = std::move(a);
  return number;
}

std::optional<ServerArticle> MemoryContent::article_by_id(const std::string& id) const {
  std::lock_guard lock(mutex_);
  auto at = by_id_.find(id);
  if (at == by_id_.end()) return std::nullopt;
  auto g = groups_.find(at->second.first);
  if (g == groups_.end()) return std::nullopt;
  auto a = g->second.find(at->second.second);
  if (a == g->second.end()) return std::nullopt;
  return a->second;
}

std::int64_t MemoryContent::add_simple(const std::string& group, const std::string& subject, int lines) {
  ServerArticle a;
  a.overview.subject = subject;
  for (int i = 0; i < lines; ++i) a.body += "line " + std::to_string(i + 1) + " of " + subject + "\n";
  return add_article(group, std::move(a));
}

OverviewFields generated_overview(const std::string& group, const GeneratedGroup& g, std::int64_t number) {
  OverviewFields o;
  const std::string n = std::to_string(number);
  o.number = number;
  const bool picture = g.picture_every > 0 && number % g.picture_every == 0;
  o.subject = picture ? "pic" + n + ".jpg (1/1)" : "talk about nothing in particular, number " + n;
  o.author = "Poster " + std::to_string(number % 97) + " <poster@example.net>";
  o.date = g.date;
  o.message_id = "<" + n + "." + group + "@generated.invalid>";
  o.bytes = picture ? 45000 : 1200;
  o.lines = picture ? 600 : 20;
  o.xref = "generated.invalid " + group + ":" + n;
  return o;
}

void MemoryContent::set_generated_group(const std::string& name, GeneratedGroup g) {
  std::lock_guard lock(mutex_);
  if (generated_.find(name) == generated_.end() && groups_.find(name) == groups_.end())
    order_.push_back(name);
  generated_[name] = std::move(g);
}

std::optional<GeneratedGroup> MemoryContent::generated(const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = generated_.find(name);
  if (it == generated_.end()) return std::nullopt;
  return it->second;
}

void MemoryContent::for_each_overview(const std::string& name, std::int64_t from, std::int64_t to,
                                      const std::function<bool(const OverviewFields&)>& each) const {
  auto g = generated(name);
  if (!g) {
    NewsContent::for_each_overview(name, from, to, each);
    return;
  }
  for (std::int64_t n = std::max(from, g->first); n <= std::min(to, g->last); ++n)
    if (!each(generated_overview(name, *g, n))) return;
}

std::vector<std::string> MemoryContent::group_names() const {
  std::lock_guard lock(mutex_);
  return order_;
}

std::optional<GroupSummary> MemoryContent::group(const std::string& name) const {
  if (auto g = generated(name)) {
    if (g->last < g->first) return GroupSummary{};
    return GroupSummary{g->last - g->first + 1, g->first, g->last};
  }
  std::lock_guard lock(mutex_);
  auto it = groups_.find(name);
  if (it == groups_.end()) return std::nullopt;
  GroupSummary s;
  if (!it->second.empty()) {
    s.count = static_cast<std::int64_t>(it->second.size());
    s.first = it->second.begin()->first;
    s.last = it->second.rbegin()->first;
  }
  return s;
}

std::vector<OverviewFields> MemoryContent::overview(const std::string& name, std::int64_t from,
                                                    std::int64_t to) const {
  std::vector<OverviewFields> out;
  if (generated(name)) {
    for_each_overview(name, from, to, [&](const OverviewFields& o) {
      out.push_back(o);
      return true;
    });
    return out;
  }
  std::lock_guard lock(mutex_);
  auto it = groups_.find(name);
  if (it == groups_.end() || from > to) return out;
  for (auto a = it->second.lower_bound(from); a != it->second.end() && a->first <= to; ++a)
    out.push_back(a->second.overview);
  return out;
}

std::optional<ServerArticle> MemoryContent::article(const std::string& name, std::int64_t number) const {
  if (auto g = generated(name)) {
    if (number < g->first || number > g->last) return std::nullopt;
    ServerArticle a;
    a.overview = generated_overview(name, *g, number);
    for (int i = 1; i <= 3; ++i) a.body += "line " + std::to_string(i) + " of " + a.overview.subject + "\n";
    return a;
  }
  std::lock_guard lock(mutex_);
  auto it = groups_.find(name);
  if (it == groups_.end()) return std::nullopt;
  auto a = it->second.find(number);
  if (a == it->second.end()) return std::nullopt;
  return a->second;
}

std::string generated_group_name(std::size_t i) {
  static const char* const kHeads[] = {"alt.binaries.pictures.", "Alt.Binaries.Sounds.", "comp.lang.",
                                       "rec.arts.",              "de.talk.",             "sci.Physics."};
  return kHeads[i % 6] + ("n" + std::to_string(i));
}

ListingContent::ListingContent(std::size_t count) {
  // Stepping by a prime that does not divide the count visits every group once, out of order.
  const std::size_t step = count % 7919 ? 7919 : 7927;
  names_.reserve(count);
  for (std::size_t k = 0; k < count; ++k) names_.push_back(generated_group_name(k * step % count));
}

std::optional<GroupSummary> ListingContent::group(const std::string& name) const {
  const std::size_t n = name.rfind(".n");
  if (n == std::string::npos) return std::nullopt;
  std::size_t i = 0;
  for (std::size_t p = n + 2; p < name.size(); ++p) {
    if (name[p] < '0' || name[p] > '9' || i > names_.size()) return std::nullopt;
    i = i * 10 + static_cast<std::size_t>(name[p] - '0');
  }
  if (i >= names_.size() || generated_group_name(i) != name) return std::nullopt;
  return GroupSummary{0, 1, 0};
}

std::string uuencode(const std::string& name, const std::string& bytes) {
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::string out = "begin 644 " + name + "\n";
  for (std::size_t pos = 0; pos < bytes.size(); pos += 45) {
    std::size_t n = std::min<std::size_t>(45, bytes.size() - pos);
    out += enc(static_cast<unsigned>(n));
    for (std::size_t i = 0; i < n; i += 3) {
      unsigned b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k) b[k] = static_cast<unsigned char>(bytes[pos + i + k]);
      out += enc(b[0] >> 2);
      out += enc(((b[0] << 4) | (b[1] >> 4)) & 63);
      out += enc(((b[1] << 2) | (b[2] >> 6)) & 63);
      out += enc(b[2] & 63);
    }
    out += '\n';
  }
  out += "`\nend\n";
  return out;
}

std::string rfc_date(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return buf;
}

std::shared_ptr<MemoryContent> load_folder_content(const std::string& dir, std::int64_t now,
                                                   std::string* error) {
  namespace fs = std::filesystem;
  auto content = std::make_shared<MemoryContent>();
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    if (error) *error = "not a folder: " + dir;
    return nullptr;
  }
  std::vector<fs::path> group_dirs;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_directory(ec) && plausible_group(e.path().filename().string())) group_dirs.push_back(e.path());
  std::sort(group_dirs.begin(), group_dirs.end());

  for (const auto& gdir : group_dirs) {
    std::string group = gdir.filename().string();
    content->add_group(group);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(gdir, ec))
      if (e.is_regular_file(ec) && e.path().filename().string()[0] != '.') files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      std::ostringstream ss;
      ss << in.rdbuf();
      std::string data = ss.str();
      std::string name = file.filename().string();
      std::string ext = lower(file.extension().string());

      ServerArticle a;
      a.overview.date = rfc_date(now);
      a.overview.author = "Fennick Demo <demo@fennick.invalid>";
      if (ext == ".msg") {
        a.overview.subject = file.stem().string();
        std::istringstream lines(data);
        std::string line;
        std::size_t consumed = 0;
        while (std::getline(lines, line)) {
          consumed += line.size() + 1;
          if (!line.empty() && line.back() == '\r') line.pop_back();
          if (line.empty()) break;
          auto colon = line.find(':');
          if (colon == std::string::npos) {
            consumed = 0;  // no header block after all
            break;
          }
          std::string key = lower(line.substr(0, colon));
          std::string value = line.substr(colon + 1);
          value.erase(0, value.find_first_not_of(' '));
          if (key == "subject")
            a.overview.subject = value;
          else if (key == "from")
            a.overview.author = value;
          else if (key == "date")
            a.overview.date = value;
          else if (key == "message-id")
            a.overview.message_id = value;
        }
        a.body = data.substr(std::min(consumed, data.size()));
      } else if (ext == ".txt" || ext == ".uue") {
        a.overview.subject = name;
        a.body = std::move(data);
      } else {
        a.overview.subject = name + " (1/1)";
        a.body = uuencode(name, data);
      }
      content->add_article(group, std::move(a));
    }
  }
  return content;
}

std::string mime_base64(const std::string& name, const std::string& content_type, const std::string& bytes) {
  MimeAttachment a;
  a.content_type = content_type;
  if (!name.empty()) {
    a.content_type += "; name=\"" + name + "\"";
    a.disposition = "attachment; filename=\"" + name + "\"";
  }
  a.bytes = bytes;
  return mime_mail({a});
}

std::string mime_mail(const std::vector<MimeAttachment>& attachments) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string boundary = "----=_NextPart_000_0042_01D9";
  std::string out = "This is a multi-part message in MIME format.\n";
  for (const MimeAttachment& a : attachments) {
    out += "\n--" + boundary + "\n";
    out += "Content-Type: " + a.content_type;
    out += "\nContent-Transfer-Encoding: base64\n";
    if (!a.disposition.empty()) out += "Content-Disposition: " + a.disposition + "\n";
    out += "\n";
    const std::string& bytes = a.bytes;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      unsigned b[3] = {0, 0, 0};
      std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
      for (std::size_t k = 0; k < n; ++k) b[k] = static_cast<unsigned char>(bytes[i + k]);
      unsigned v = b[0] << 16 | b[1] << 8 | b[2];
      out += kAlphabet[v >> 18 & 63];
      out += kAlphabet[v >> 12 & 63];
      out += n > 1 ? kAlphabet[v >> 6 & 63] : '=';
      out += n > 2 ? kAlphabet[v & 63] : '=';
      if ((column += 4) == 76) {
        out += '\n';
        column = 0;
      }
    }
    if (column) out += '\n';
  }
  out += "\n--" + boundary + "--\n";
  return out;
}

std::optional<std::string> read_binary_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

const DemoPicture kDemoHarvest[9] = {
    {"alt.binaries.pictures.demo.landscapes", "sunset.jpg"},
    {"alt.binaries.pictures.demo.landscapes", "mountain-lake.jpg"},
    {"alt.binaries.pictures.demo.landscapes", "meadow.gif"},
    {"alt.binaries.pictures.demo.landscapes", "coast.jpg"},
    {"alt.binaries.pictures.demo.animals", "fox.jpg"},
    {"alt.binaries.pictures.demo.animals", "owl.gif"},
    {"alt.binaries.pictures.demo.animals", "heron.jpg"},
    {"alt.pictures.demo.misc", "tulips.jpg"},
    {"alt.pictures.demo.misc", "city-lights.gif"},
};

std::shared_ptr<MemoryContent> make_demo_content(std::int64_t now, const std::string& pictures_dir,
                                                 std::string* error) {
  enum class Form { Uuencoded, Mime, Yenc, Text };
  struct Posting {
    const char* group;
    const char* subject;
    const char* author;
    Form form;
    const char* file;  // the picture, or the text of a text posting
    int hours_old;
  };
  constexpr const char* kLand = "alt.binaries.pictures.demo.landscapes";
  constexpr const char* kAnimals = "alt.binaries.pictures.demo.animals";
  constexpr const char* kMisc = "alt.pictures.demo.misc";
  const Posting postings[] = {
      {kLand, "sunset.jpg (1/1)", "Ansel <ansel@demo.invalid>", Form::Uuencoded, "sunset.jpg", 50},
      {kLand, "Mountain lake at dawn - mountain-lake.jpg (1/1)", "Dora <dora@demo.invalid>", Form::Mime,
       "mountain-lake.jpg", 48},
      {kLand, "Re: sunset.jpg (1/1)", "Imogen <imogen@demo.invalid>", Form::Text,
       "Lovely colours. Where was this taken?", 47},
      {kLand, "\"meadow.gif\" yEnc (1/1)", "Ansel <ansel@demo.invalid>", Form::Yenc, "meadow.gif", 30},
      {kLand, "big panorama.jpg (1/3)", "Dora <dora@demo.invalid>", Form::Text, "panorama", 29},
      {kLand, "coast.jpg (1/1)", "Edward <edward@demo.invalid>", Form::Uuencoded, "coast.jpg", 26},
      {kAnimals, "fox.jpg (1/1)", "Beatrix <beatrix@demo.invalid>", Form::Uuencoded, "fox.jpg", 72},
      {kAnimals, "owl.gif (1/1)", "Beatrix <beatrix@demo.invalid>", Form::Mime, "owl.gif", 70},
      {kAnimals, "FREE pictures every day at http://spam.invalid (1/1) .jpg", "Spammer <win@spam.invalid>",
       Form::Text, "panorama", 69},
      {kAnimals, "heron.jpg (1/1)", "Edward <edward@demo.invalid>", Form::Uuencoded, "heron.jpg", 12},
      {kAnimals, "thumbnail.jpg (1/1)", "Edward <edward@demo.invalid>", Form::Uuencoded, "thumbnail.jpg", 11},
      {kMisc, "Welcome to the Fennick demo server", "Fennick Demo <demo@fennick.invalid>", Form::Text,
       "Pictures are in the binaries groups next door. Enjoy!", 200},
      {kMisc, "tulips.jpg (01/01)", "Imogen <imogen@demo.invalid>", Form::Mime, "tulips.jpg", 5},
      {kMisc, "old-postcard.jpg (1/1)", "Ansel <ansel@demo.invalid>", Form::Uuencoded, "thumbnail.jpg",
       400 * 24},
      {kMisc, "city-lights.gif - \"city-lights.gif\" yEnc (1/1)", "Dora <dora@demo.invalid>", Form::Yenc,
       "city-lights.gif", 2},
  };

  auto content = std::make_shared<MemoryContent>();
  for (const Posting& p : postings) {
    ServerArticle a;
    a.overview.subject = p.subject;
    a.overview.author = p.author;
    a.overview.date = rfc_date(now - 3600LL * p.hours_old);
    if (p.form == Form::Text) {
      // A multi-part posting's first part is long text; a short posting is a few lines.
      if (std::string(p.file) == "panorama") {
        for (int i = 0; i < 700; ++i)
          a.body += "part of a picture posted in several articles, line " + std::to_string(i) + "\n";
      } else {
        a.body = std::string(p.file) + "\n\n-- \nposted to the demo server\n";
      }
    } else {
      std::optional<std::string> bytes = read_binary_file(pictures_dir + "/" + p.file);
      if (!bytes) {
        if (error) *error = "cannot read the demo picture " + pictures_dir + "/" + p.file;
        return nullptr;
      }
      std::string file = p.file;
      bool gif = file.ends_with(".gif");
      if (p.form == Form::Mime)
        a.body = mime_base64(file, gif ? "image/gif" : "image/jpeg", *bytes);
      else if (p.form == Form::Yenc)
        a.body = yenc_encode(file, *bytes);
      else
        a.body = uuencode(file, *bytes);
    }
    content->add_article(p.group, std::move(a));
  }
  // A picture in three yEnc parts, for multi-part collection; the default rules pass it over.
  std::optional<std::string> whole = read_binary_file(pictures_dir + "/coast.jpg");
  if (!whole) {
    if (error) *error = "cannot read the demo picture " + pictures_dir + "/coast.jpg";
    return nullptr;
  }
  const std::size_t third = whole->size() / 3;
  for (int part = 1; part <= 3; ++part) {
    ServerArticle a;
    a.overview.subject = "Harbour at noon - \"harbour.jpg\" yEnc (" + std::to_string(part) + "/3)";
    a.overview.author = "Edward <edward@demo.invalid>";
    a.overview.date = rfc_date(now - 3600LL * 20);
    const std::size_t begin = (part - 1) * third, end = part == 3 ? whole->size() : part * third;
    a.body = yenc_encode_part("harbour.jpg", *whole, part, 3, begin, end);
    content->add_article(kLand, std::move(a));
  }
  return content;
}

}  // namespace fk::test
