// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the NNTP test server serves: groups and their articles, from memory, a folder or generated.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fk::test {

// The fields of one overview (XOVER) line.
struct OverviewFields {
  std::int64_t number = 0;
  std::string subject;
  std::string author;
  std::string date;
  std::string message_id;
  std::string references;
  std::int64_t bytes = 0;
  std::int64_t lines = 0;
  std::string xref;  // sent as a ninth field only when not empty
};

struct ServerArticle {
  OverviewFields overview;
  std::string body;  // lines separated by LF (a CR before the LF is dropped); dot-stuffed on the wire
};

// Answer of GROUP.
struct GroupSummary {
  std::int64_t count = 0;
  std::int64_t first = 0;
  std::int64_t last = 0;
};

// A source of groups and articles. Implementations must be safe to call from several threads.
class NewsContent {
 public:
  virtual ~NewsContent() = default;
  virtual std::vector<std::string> group_names() const = 0;
  virtual std::optional<GroupSummary> group(const std::string& name) const = 0;
  // Overview of the articles numbered from..to inclusive, in number order.
  virtual std::vector<OverviewFields> overview(const std::string& name, std::int64_t from,
                                               std::int64_t to) const = 0;
  virtual std::optional<ServerArticle> article(const std::string& name, std::int64_t number) const = 0;
  // The article with that message-id, in any group (BODY <id>); none unless the content keeps an index.
  virtual std::optional<ServerArticle> article_by_id(const std::string&) const { return std::nullopt; }
  // The same overview one line at a time, until each returns false; a huge range costs no memory
  // where the content can make its lines on the fly.
  virtual void for_each_overview(const std::string& name, std::int64_t from, std::int64_t to,
                                 const std::function<bool(const OverviewFields&)>& each) const {
    for (const auto& o : overview(name, from, to))
      if (!each(o)) return;
  }
};

// A group whose articles are made up from their numbers when asked for, never stored, so it may be
// numbered in the billions and hold millions. Every `picture_every`-th number is a single-part picture
// ("pic<n>.jpg (1/1)", 600 lines) that the default rules select; the others are talk they pass over.
struct GeneratedGroup {
  std::int64_t first = 1;
  std::int64_t last = 0;
  std::int64_t picture_every = 1000;
  std::string date = "Mon, 07 Dec 2026 04:11:08 GMT";
};
OverviewFields generated_overview(const std::string& group, const GeneratedGroup& g, std::int64_t number);

// Groups and articles held in memory, in the order they were added.
class MemoryContent : public NewsContent {
 public:
  void add_group(const std::string& name);
  // Adds to the group (created when missing). Number 0 takes the next free number; bytes 0 and lines
  // 0 are measured from the body. Returns the number given.
  std::int64_t add_article(const std::string& group, ServerArticle article);
  // A picture-like article: subject, and a body of `lines` text lines.
  std::int64_t add_simple(const std::string& group, const std::string& subject, int lines = 3);
  // Adds a generated group, or changes its range (a group that grows, or one the server renumbered).
  void set_generated_group(const std::string& name, GeneratedGroup g);

  std::vector<std::string> group_names() const override;
  std::optional<GroupSummary> group(const std::string& name) const override;
  std::vector<OverviewFields> overview(const std::string& name, std::int64_t from,
                                       std::int64_t to) const override;
  std::optional<ServerArticle> article(const std::string& name, std::int64_t number) const override;
  std::optional<ServerArticle> article_by_id(const std::string& id) const override;
  void for_each_overview(const std::string& name, std::int64_t from, std::int64_t to,
                         const std::function<bool(const OverviewFields&)>& each) const override;

 private:
  std::optional<GeneratedGroup> generated(const std::string& name) const;

  mutable std::mutex mutex_;
  std::map<std::string, GeneratedGroup> generated_;
  std::vector<std::string> order_;
  std::map<std::string, std::map<std::int64_t, ServerArticle>> groups_;
  std::map<std::string, std::pair<std::string, std::int64_t>> by_id_;  // message-id: group and number
};

// The name of generated group i: a hierarchy chosen by i % 6 ("alt.binaries.pictures.",
// "Alt.Binaries.Sounds.", "comp.lang.", "rec.arts.", "de.talk.", "sci.Physics.") and "n<i>".
std::string generated_group_name(std::size_t i);

// A large server's group list without articles: groups 0 to count-1 by generated_group_name, listed in
// a scrambled order as real listings come.
class ListingContent : public NewsContent {
 public:
  explicit ListingContent(std::size_t count);
  std::vector<std::string> group_names() const override { return names_; }
  std::optional<GroupSummary> group(const std::string& name) const override;
  std::vector<OverviewFields> overview(const std::string&, std::int64_t, std::int64_t) const override {
    return {};
  }
  std::optional<ServerArticle> article(const std::string&, std::int64_t) const override { return {}; }

 private:
  std::vector<std::string> names_;
};

// A news group per sub-folder of dir, an article per regular file in it (sorted by name, numbered from
// 1). Files ending in .msg may start with "Subject:", "From:", "Date:" and "Message-ID:" header lines
// and a blank line; .txt, .uue and .msg files are served as text; any other file is served uuencoded
// under its own name. Articles are dated `now`. Nothing when dir is not a folder (error says why).
std::shared_ptr<MemoryContent> load_folder_content(const std::string& dir, std::int64_t now,
                                                   std::string* error);

// The ready demo: three groups of the pictures in pictures_dir (tests/data/demo), served uuencoded, as
// MIME base64 and yEnc, with replies, spam, a multi-part post (text, and a yEnc set of three parts), a
// thumbnail and an old posting that the default selection rules pass over. Dates are hours before `now`. Nothing when a picture is missing (error says
// which).
std::shared_ptr<MemoryContent> make_demo_content(std::int64_t now, const std::string& pictures_dir,
                                                 std::string* error);
// What make_demo_content harvests with the default settings: group and file name, in download order.
struct DemoPicture {
  const char* group;
  const char* file;
};
extern const DemoPicture kDemoHarvest[9];

// "begin 644 name" ... "end", 45 bytes a line.
std::string uuencode(const std::string& name, const std::string& bytes);
// A MIME multipart body with one base64 attachment (76 characters a line). Without a name the headers
// name no file.
std::string mime_base64(const std::string& name, const std::string& content_type, const std::string& bytes);
// One attachment of a mail as its client wrote it: the header values whole (parameters and all,
// folded lines included), so encoded and continued names can be posted as they come.
struct MimeAttachment {
  std::string content_type;  // "image/gif; name=..."
  std::string disposition;   // "attachment; filename*=..."; none when empty
  std::string bytes;
};
// A MIME multipart body with these attachments, each in base64.
std::string mime_mail(const std::vector<MimeAttachment>& attachments);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> read_binary_file(const std::string& path);
// "Mon, 07 Dec 2026 04:11:08 GMT".
std::string rfc_date(std::int64_t seconds_since_1970);

}  // namespace fk::test
