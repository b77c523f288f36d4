// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_pages.h"

#include <ctime>

#include "web/web_text.h"

namespace fk {

namespace {

std::string head(const std::string& title, const std::string& csrf) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
  if (!csrf.empty()) out += "<meta name=\"fennick-csrf\" content=\"" + html_escape(csrf) + "\">";
  out += "<title>" + html_escape(title) +
         "</title><link rel=\"stylesheet\" href=\"/static/fennick.css\">"
         "<script src=\"/static/fennick.js\" defer></script></head>\n";
  return out;
}

std::string nav(const char* here, const std::string& csrf) {
  auto link = [&](const char* href, const char* label) {
    return std::string("<a href=\"") + href + "\"" + (std::string(label) == here ? " class=\"here\"" : "") + ">" +
           label + "</a>";
  };
  return "<nav>" + link("/", "Status") + link("/gallery", "Gallery") +
         "<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" value=\"" + html_escape(csrf) +
         "\"><button type=\"submit\">Log out</button></form></nav>\n";
}

std::string local_date(std::int64_t mtime_ns) {
  const std::time_t t = static_cast<std::time_t>(mtime_ns / 1000000000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  if (std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm) == 0) return {};
  return buf;
}

std::string size_text(std::int64_t size) {
  if (size < 1024) return std::to_string(size) + " bytes";
  if (size < 1024 * 1024) return std::to_string((size + 512) / 1024) + " KB";
  return std::to_string(size / (1024 * 1024)) + "." + std::to_string(size % (1024 * 1024) * 10 / (1024 * 1024)) + " MB";
}

std::string filter_query(const GalleryFilter& f) {
  switch (f.kind) {
    case GalleryFilter::Kind::Group: return "group=" + url_segment(f.group);
    case GalleryFilter::Kind::Unknown: return "unknown=1";
    case GalleryFilter::Kind::All: break;
  }
  return {};
}

}  // namespace

std::string picture_url(const GalleryEntry& e) {
  return e.group.empty() ? "/unknown/" + url_segment(e.name) : "/pictures/" + url_segment(e.group) + "/" + url_segment(e.name);
}

std::string thumbnail_url(const GalleryEntry& e) { return "/thumbs" + picture_url(e); }

std::string login_page(bool refused) {
  std::string out = head("Fennick - Log in", {});
  out +=
      "<body class=\"login\"><main><h1>Fennick</h1>"
      "<form method=\"post\" action=\"/login\">"
      "<label for=\"token\">Token</label>"
      "<input id=\"token\" name=\"token\" type=\"password\" autocomplete=\"current-password\" autofocus required>"
      "<button id=\"login\" type=\"submit\">Log in</button></form>";
  if (refused) out += "<p class=\"error\" id=\"refused\">That is not the token of this Fennick.</p>";
  out +=
      "<p class=\"hint\"><code>fennick --web-url</code> in the working folder prints the address and the "
      "token.</p></main></body></html>\n";
  return out;
}

std::string status_page(const std::string& csrf) {
  std::string out = head("Fennick", csrf);
  out += "<body data-page=\"status\">" + nav("Status", csrf);
  out +=
      "<main><section class=\"fields\"><dl>"
      "<dt>Connected To:</dt><dd id=\"server\"></dd>"
      "<dt>News Group:</dt><dd id=\"group\"></dd>"
      "<dt>Groups:</dt><dd><span id=\"groups\"></span> <progress id=\"groups_progress\" max=\"100\" value=\"0\"></progress></dd>"
      "<dt>Article:</dt><dd><span id=\"download\"></span> <progress id=\"article_progress\" max=\"100\" value=\"0\"></progress></dd>"
      "<dt>Network Status:</dt><dd id=\"speed\"></dd>"
      "<dt>Pictures:</dt><dd id=\"pictures\"></dd>"
      "<dt>Scheduler:</dt><dd id=\"scheduler\"></dd>"
      "</dl><p class=\"counts\"><span id=\"count-pictures\">0</span> pictures, "
      "<span id=\"count-articles\">0</span> articles examined</p>"
      "<div class=\"buttons\"><button id=\"start\" type=\"button\">Start Fennicking</button>"
      "<button id=\"stop\" type=\"button\">STOP</button><span id=\"state\">Connecting...</span></div></section>"
      "<section><h2 id=\"pending_caption\">Pending Downloads</h2><div class=\"scroll\"><table id=\"pending\"><thead><tr>"
      "<th>Article</th><th>Author</th><th>Lines</th><th>Subject</th></tr></thead><tbody></tbody></table></div></section>"
      "<section><h2>Status Log</h2><pre id=\"log\"></pre></section></main></body></html>\n";
  return out;
}

std::string gallery_page(const GalleryView& view, const std::string& csrf) {
  std::string out = head("Fennick - Pictures", csrf);
  out += "<body data-page=\"gallery\">" + nav("Gallery", csrf);
  out += "<div class=\"gallery\"><aside><ul class=\"groups\">";
  auto item = [&](bool here, const std::string& href, const std::string& label, std::size_t count) {
    out += std::string("<li") + (here ? " class=\"here\"" : "") + "><a href=\"" + html_escape(href) + "\">" +
           html_escape(label) + "</a> <span class=\"count\">" + std::to_string(count) + "</span></li>";
  };
  item(view.filter.kind == GalleryFilter::Kind::All, "/gallery", "All Groups", view.all_count);
  for (const GalleryGroupCount& g : view.groups)
    item(view.filter.kind == GalleryFilter::Kind::Group && view.filter.group == g.name,
         "/gallery?group=" + url_segment(g.name), g.name, g.count);
  out += "</ul><h3>Not Decoded</h3><ul class=\"groups\">";
  item(view.filter.kind == GalleryFilter::Kind::Unknown, "/gallery?unknown=1", "unknown", view.unknown_count);
  out += "</ul></aside><main>";
  const std::size_t total = view.page.total;
  const std::size_t first = view.page.first;
  const std::size_t shown = view.page.entries.size();
  out += "<p class=\"range\" id=\"range\">" +
         (total == 0 ? std::string("No pictures")
                     : std::to_string(first + 1) + "-" + std::to_string(first + shown) + " of " + std::to_string(total)) +
         "</p><ul class=\"thumbs\" id=\"thumbs\">";
  for (const GalleryEntry& e : view.page.entries) {
    std::string info = "/picture?" + (e.group.empty() ? std::string("unknown=1") : "group=" + url_segment(e.group)) +
                       "&name=" + url_segment(e.name);
    out += "<li><a href=\"" + html_escape(info) + "\"><img src=\"" + html_escape(thumbnail_url(e)) +
           "\" alt=\"\" loading=\"lazy\" width=\"128\" height=\"128\"></a><span class=\"name\">" + html_escape(e.name) +
           "</span><span class=\"date\">" + local_date(e.mtime_ns) + "</span></li>";
  }
  out += "</ul><p class=\"pages\">";
  const std::string query = filter_query(view.filter);
  const std::string base = "/gallery?" + (query.empty() ? std::string() : query + "&") + "page=";
  const std::size_t page_no = first / view.page_size;
  if (page_no > 0)
    out += "<a id=\"previous\" href=\"" + html_escape(base + std::to_string(page_no - 1)) + "\">&larr; Newer</a> ";
  if (first + shown < total)
    out += "<a id=\"next\" href=\"" + html_escape(base + std::to_string(page_no + 1)) + "\">Older &rarr;</a>";
  out += "</p></main></div></body></html>\n";
  return out;
}

std::string picture_page(const PictureInfo& info, const std::string& csrf) {
  const GalleryEntry& e = info.entry;
  std::string out = head("Fennick - " + e.name, csrf);
  out += "<body data-page=\"picture\">" + nav("", csrf);
  out += "<div class=\"picture\"><a href=\"" + html_escape(picture_url(e)) + "\"><img id=\"full\" src=\"" +
         html_escape(picture_url(e)) + "\" alt=\"\"></a><dl class=\"info\">";
  auto row = [&](const char* label, const std::string& value, const char* id) {
    out += std::string("<dt>") + label + "</dt><dd id=\"" + id + "\">" + html_escape(value) + "</dd>";
  };
  row("Name", e.name, "info-name");
  row("Size", size_text(e.size), "info-size");
  row("Dimensions", info.width > 0 ? std::to_string(info.width) + " x " + std::to_string(info.height) : "unknown",
      "info-dimensions");
  row("Group", e.group.empty() ? "Not Decoded" : e.group, "info-group");
  row("Date", local_date(e.mtime_ns), "info-date");
  row("Author", info.author, "info-author");
  row("Subject", info.subject, "info-subject");
  out += "</dl></div></body></html>\n";
  return out;
}

const std::string& page_css() {
  static const std::string css = R"(
:root { color-scheme: light dark; --line: #8884; --accent: #2a6db0; }
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; }
nav { display: flex; gap: 1em; align-items: center; padding: .5em 1em; border-bottom: 1px solid var(--line); }
nav a { text-decoration: none; padding: .2em .5em; border-radius: 4px; }
nav a.here { background: var(--accent); color: #fff; }
nav form { margin-left: auto; }
main { padding: 1em; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: .3em 1em; margin: 0; }
dt { font-weight: 600; }
dd { margin: 0; overflow-wrap: anywhere; }
progress { width: 12em; vertical-align: middle; }
.buttons { margin: 1em 0; display: flex; gap: .8em; align-items: center; }
.buttons button { font-size: 1.05em; padding: .4em 1.2em; }
#stop { font-weight: 700; }
.scroll { max-height: 20em; overflow: auto; border: 1px solid var(--line); }
table { border-collapse: collapse; width: 100%; }
th, td { text-align: left; padding: .15em .5em; border-bottom: 1px solid var(--line); white-space: nowrap; }
td:last-child { white-space: normal; overflow-wrap: anywhere; }
pre#log { max-height: 24em; overflow: auto; border: 1px solid var(--line); padding: .5em; margin: 0; white-space: pre-wrap; }
.login main { max-width: 24em; margin: 4em auto; }
.login form { display: flex; flex-direction: column; gap: .5em; }
.error { color: #c00; }
.gallery { display: flex; }
.gallery aside { width: 16em; padding: 1em; border-right: 1px solid var(--line); }
.groups { list-style: none; padding: 0; margin: 0; }
.groups li { display: flex; justify-content: space-between; gap: .5em; overflow-wrap: anywhere; }
.groups li.here a { font-weight: 700; }
.count { opacity: .7; }
.thumbs { list-style: none; padding: 0; display: grid; grid-template-columns: repeat(auto-fill, minmax(150px, 1fr)); gap: 1em; }
.thumbs li { display: flex; flex-direction: column; align-items: center; text-align: center; overflow-wrap: anywhere; }
.thumbs img { width: 128px; height: 128px; object-fit: contain; }
.thumbs img.broken { visibility: hidden; }
.date { opacity: .7; font-size: .9em; }
.picture { display: flex; flex-wrap: wrap; gap: 1em; padding: 1em; }
.picture img { max-width: min(100%, 1200px); max-height: 85vh; }
.picture dl { align-self: start; }
)";
  return css;
}

const std::string& page_script() {
  static const std::string script = R"(// The status page: the live stream fills the fields; Start and STOP post with the page's token.
'use strict';
(function () {
  const csrf = (document.querySelector('meta[name="fennick-csrf"]') || {}).content || '';
  document.querySelectorAll('.thumbs img').forEach(function (img) {
    img.addEventListener('error', function () { img.classList.add('broken'); });
  });
  if (document.body.dataset.page !== 'status') return;
  const $ = function (id) { return document.getElementById(id); };
  const texts = ['server', 'group', 'groups', 'speed', 'pictures', 'download', 'scheduler', 'pending_caption'];
  function setProgress(el, p) { el.max = Math.max(1, p[2] - p[1]); el.value = Math.max(0, p[0] - p[1]); }
  function fillPending(rows) {
    const body = $('pending').tBodies[0];
    const fresh = document.createElement('tbody');
    rows.forEach(function (row) {
      const tr = document.createElement('tr');
      row.forEach(function (field) { const td = document.createElement('td'); td.textContent = field; tr.appendChild(td); });
      fresh.appendChild(tr);
    });
    body.replaceWith(fresh);
  }
  function show(s) {
    texts.forEach(function (k) { if (s[k] !== undefined) $(k).textContent = s[k]; });
    if (!s.pending_caption) $('pending_caption').textContent = 'Pending Downloads';
    setProgress($('groups_progress'), s.groups_progress);
    setProgress($('article_progress'), s.article_progress);
    $('count-pictures').textContent = String(s.counters.pictures);
    $('count-articles').textContent = String(s.counters.articles);
    $('start').disabled = s.running || !s.start_enabled;
    $('stop').disabled = !s.running;
    $('state').textContent = s.running ? 'Running' : 'Idle';
    fillPending(s.pending);
    const log = $('log');
    const atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    log.textContent = s.log.join('\n');
    if (atEnd) log.scrollTop = log.scrollHeight;
  }
  function press(what) {
    fetch('/api/' + what, { method: 'POST', headers: { 'X-CSRF-Token': csrf }, credentials: 'same-origin' })
      .then(function (r) { if (!r.ok) $('state').textContent = 'Refused (' + r.status + ')'; })
      .catch(function () { $('state').textContent = 'Not reachable'; });
  }
  $('start').addEventListener('click', function () { press('start'); });
  $('stop').addEventListener('click', function () { press('stop'); });
  const events = new EventSource('/events');
  events.onmessage = function (e) { show(JSON.parse(e.data)); };
  events.onerror = function () { $('state').textContent = 'Reconnecting...'; };
})();
)";
  return script;
}

}  // namespace fk
