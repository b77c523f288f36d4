// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/web_server.h"

#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <semaphore>
#include <thread>

#include "thumbs/thumbnail_png.h"
#include "web/gallery_index.h"
#include "web/served_files.h"
#include "web/web_auth.h"
#include "web/web_pages.h"
#include "web/web_text.h"

namespace fk {

namespace {

using httplib::Request;
using httplib::Response;
using Handled = httplib::Server::HandlerResponse;

constexpr std::size_t kPageSize = 100;
// A live page is sent a comment line this often when nothing changed: a page that went away is only
// noticed by writing to it, and its place (and worker) is then given back.
constexpr int kKeepAliveMs = 2000;

// The request in progress on this worker holds a place in its address's count until its answer is
// written (a live stream: until the stream ends).
thread_local bool t_slot_held = false;
thread_local std::string t_slot_address;

struct Keys {
  std::string token, cookie, csrf;
};

Keys keys_for(const std::string& token) { return {token, cookie_for_token(token), csrf_for_token(token)}; }

void plain(Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

// Author and subject of the newest files.log line for name ("name\t size\t author\tsubject").
std::pair<std::string, std::string> files_log_entry(const std::string& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  std::pair<std::string, std::string> found;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab1 = line.find('\t');
    if (tab1 == std::string::npos) continue;
    std::string_view first = std::string_view(line).substr(0, tab1);
    while (!first.empty() && first.front() == ' ') first.remove_prefix(1);
    if (first != name) continue;
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    std::string_view rest = std::string_view(line).substr(tab2 + 1);
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    const std::size_t tab3 = rest.find('\t');
    found.first = std::string(rest.substr(0, tab3));
    found.second = tab3 == std::string_view::npos ? std::string() : std::string(rest.substr(tab3 + 1));
  }
  return found;
}

const char* reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
  }
}

GalleryFilter filter_of(const Request& req) {
  GalleryFilter f;
  if (req.has_param("unknown")) {
    f.kind = GalleryFilter::Kind::Unknown;
  } else if (req.has_param("group")) {
    f.kind = GalleryFilter::Kind::Group;
    f.group = req.get_param_value("group");
  }
  return f;
}

std::size_t page_of(const Request& req) {
  if (!req.has_param("page")) return 0;
  const std::string text = req.get_param_value("page");
  std::size_t page = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || page > 10000000) return 0;
    page = page * 10 + static_cast<std::size_t>(c - '0');
  }
  return page;
}

}  // namespace

struct WebServer::Impl {
  Impl(WebServerConfig c, StatusBoard& b, WebServerHooks h)
      : config(std::move(c)), board(b), hooks(std::move(h)), gallery(config.root), keys(keys_for(config.token)) {}

  WebServerConfig config;
  StatusBoard& board;
  WebServerHooks hooks;
  httplib::Server server;
  GalleryIndex gallery;
  std::thread listener;
  std::thread publisher;
  std::atomic<bool> stopping{false};
  std::mutex wake_mutex;
  std::condition_variable wake;
  int bound_port = 0;

  mutable std::mutex keys_mutex;
  Keys keys;

  std::mutex slots_mutex;
  std::map<std::string, int> slots;

  // Thumbnails are made on the request's thread; two at a time keep a page of new pictures from
  // taking every core.
  std::counting_semaphore<2> thumb_makers{2};

  // The status log's tail.
  std::int64_t log_offset = 0;
  ino_t log_inode = 0;
  std::string log_partial;

  Keys current_keys() const {
    std::lock_guard lock(keys_mutex);
    return keys;
  }

  bool take_slot(const std::string& address) {
    std::lock_guard lock(slots_mutex);
    int& n = slots[address];
    if (n >= config.per_address_limit) return false;
    ++n;
    return true;
  }
  void release_slot(const std::string& address) {
    std::lock_guard lock(slots_mutex);
    auto it = slots.find(address);
    if (it == slots.end()) return;
    if (--it->second <= 0) slots.erase(it);
  }

  bool authorised(const Request& req, const Keys& k) const {
    if (k.token.empty()) return false;
    if (req.has_header("Authorization") && tokens_equal(bearer_token(req.get_header_value("Authorization")), k.token))
      return true;
    const std::string cookie = cookie_value(req.get_header_value("Cookie"), kSessionCookie);
    return !cookie.empty() && tokens_equal(cookie, k.cookie);
  }

  bool csrf_ok(const Request& req, const Keys& k) const {
    std::string given = req.get_header_value("X-CSRF-Token");
    if (given.empty() && req.has_param("csrf")) given = req.get_param_value("csrf");
    return tokens_equal(given, k.csrf);
  }

  static bool is_public(const Request& req) {
    return req.path == "/login" || (req.method == "GET" && req.path == "/static/fennick.css");
  }

  Handled pre_routing(const Request& req, Response& res) {
    t_slot_held = false;
    std::size_t header_bytes = req.target.size();
    for (const auto& [key, value] : req.headers) header_bytes += key.size() + value.size() + 4;
    if (header_bytes > config.header_limit) {
      plain(res, 431, "431 Request Header Fields Too Large");
      res.set_header("Connection", "close");
      return Handled::Handled;
    }
    if (!take_slot(req.remote_addr)) {
      plain(res, 503, "503 Too many connections from this address");
      res.set_header("Retry-After", "5");
      return Handled::Handled;
    }
    t_slot_held = true;
    t_slot_address = req.remote_addr;
    if (is_public(req) || authorised(req, current_keys())) return Handled::Unhandled;
    const bool page = req.method == "GET" && (req.path == "/" || req.path == "/gallery" || req.path == "/picture");
    if (page) {
      res.status = 303;
      res.set_header("Location", "/login");
      res.set_content("", "text/plain");
    } else {
      plain(res, 401, "401 Unauthorized");
      res.set_header("WWW-Authenticate", "Bearer");
    }
    return Handled::Handled;
  }

  void post_routing(const Request&, Response& res) {
    if (t_slot_held) {
      t_slot_held = false;
      release_slot(t_slot_address);
    }
    // Headers every answer carries, whatever route made it.
    if (res.get_header_value("Cache-Control").empty()) res.set_header("Cache-Control", "no-store");
  }

  void serve_file(const std::string& group, const std::string& name, Response& res) {
    std::optional<ServedFile> file = open_served_file(config.root, group, name);
    std::string body;
    if (!file || !read_whole(*file, body)) return plain(res, 404, "404 Not Found");
    const std::string type = served_content_type(name);
    if (type == "application/octet-stream") res.set_header("Content-Disposition", "attachment");
    res.set_header("Cache-Control", "private, max-age=60");
    res.set_content(std::move(body), type.c_str());
  }

  void serve_thumbnail(const std::string& group, const std::string& name, Response& res) {
    std::optional<ServedFile> file = open_served_file(config.root, group, name);
    if (!file) return plain(res, 404, "404 Not Found");
    const std::string path = config.root + (group.empty() ? "/unknown/" : "/pictures/" + group + "/") + name;
    std::optional<std::string> png;
    {
      thumb_makers.acquire();
      struct Release {
        std::counting_semaphore<2>& s;
        ~Release() { s.release(); }
      } release{thumb_makers};
      png = thumbnail_png(path, file->mtime_s, file->size, config.thumbnail_cache);
    }
    if (!png) return plain(res, 404, "404 No thumbnail");
    res.set_header("Cache-Control", "private, max-age=300");
    res.set_content(std::move(*png), "image/png");
  }

  void serve_events(Response& res) {
    // This request's place is given back when the stream ends, not when its headers are written.
    t_slot_held = false;
    const std::string address = t_slot_address;
    auto seen = std::make_shared<std::uint64_t>(0);
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen](std::size_t, httplib::DataSink& sink) {
          std::shared_ptr<const StatusBoard::Frame> frame = board.wait_newer(*seen, kKeepAliveMs);
          if (stopping.load() || board.closed()) return false;
          std::string message;
          if (frame->seq > *seen) {
            *seen = frame->seq;
            message = "data: " + frame->json + "\n\n";
          } else {
            message = ": still here\n\n";
          }
          return sink.write(message.data(), message.size());
        },
        [this, address](bool) { release_slot(address); });
  }

  void read_log_tail(bool& changed) {
    const std::string path = config.root + "/fk.log";
    struct stat st {};
    std::vector<std::string> lines;
    bool reset = false;
    if (::stat(path.c_str(), &st) != 0) {
      if (log_offset != 0 || log_inode != 0) {
        log_offset = 0;
        log_inode = 0;
        log_partial.clear();
        board.add_log_lines({}, true);
        changed = true;
      }
      return;
    }
    if (st.st_ino != log_inode || st.st_size < log_offset) {
      reset = log_inode != 0 || log_offset != 0;
      log_inode = st.st_ino;
      log_offset = 0;
      log_partial.clear();
    }
    // A log that grew by more than this since the last look is shown from its last part.
    constexpr std::int64_t kMaxRead = 256 * 1024;
    if (st.st_size - log_offset > kMaxRead) {
      log_offset = st.st_size - kMaxRead / 4;
      log_partial.clear();
      reset = true;
    }
    if (st.st_size > log_offset) {
      std::ifstream in(path, std::ios::binary);
      in.seekg(log_offset);
      std::string chunk(static_cast<std::size_t>(st.st_size - log_offset), '\0');
      in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      chunk.resize(static_cast<std::size_t>(in.gcount()));
      log_offset += static_cast<std::int64_t>(chunk.size());
      log_partial += chunk;
      std::size_t start = 0;
      for (std::size_t nl; (nl = log_partial.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string line = log_partial.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
      }
      log_partial.erase(0, start);
    }
    if (!lines.empty() || reset) {
      board.add_log_lines(lines, reset);
      changed = true;
    }
  }

  void publish_loop() {
    int round = 0;
    for (;;) {
      const bool every_second = round % std::max(1, 1000 / config.publish_interval_ms) == 0;
      if (every_second) {
        if (hooks.pending_rows) {
          std::vector<std::string> rows = hooks.pending_rows();
          if (rows.size() > StatusBoard::kPendingShown) rows.resize(StatusBoard::kPendingShown);
          board.set_pending(std::move(rows));
        }
        if (hooks.running) board.set_running(hooks.running());
        bool changed = false;
        read_log_tail(changed);
      }
      if (round % std::max(1, 2000 / config.publish_interval_ms) == 0 && hooks.current_token) {
        const std::string token = hooks.current_token();
        if (!token.empty() && token != current_keys().token) {
          std::lock_guard lock(keys_mutex);
          keys = keys_for(token);
        }
      }
      board.publish();
      ++round;
      std::unique_lock lock(wake_mutex);
      if (wake.wait_for(lock, std::chrono::milliseconds(config.publish_interval_ms), [&] { return stopping.load(); }))
        return;
    }
  }

  void routes() {
    server.set_pre_routing_handler([this](const Request& req, Response& res) { return pre_routing(req, res); });
    server.set_post_routing_handler([this](const Request& req, Response& res) { post_routing(req, res); });
    server.set_error_handler(httplib::Server::HandlerWithResponse([](const Request&, Response& res) {
      if (res.body.empty() && res.status != 303) plain(res, res.status, std::to_string(res.status) + " " + reason(res.status));
      return Handled::Handled;
    }));

    server.Get("/login", [](const Request&, Response& res) { res.set_content(login_page(false), "text/html; charset=utf-8"); });
    server.Post("/login", [this](const Request& req, Response& res) {
      const Keys k = current_keys();
      if (!req.has_param("token") || !tokens_equal(req.get_param_value("token"), k.token)) {
        res.status = 401;
        res.set_content(login_page(true), "text/html; charset=utf-8");
        return;
      }
      res.status = 303;
      res.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + k.cookie + "; Path=/; HttpOnly; SameSite=Strict");
      res.set_header("Location", "/");
    });
    server.Post("/logout", [this](const Request& req, Response& res) {
      if (!csrf_ok(req, current_keys())) return plain(res, 403, "403 Forbidden");
      res.status = 303;
      res.set_header("Set-Cookie", std::string(kSessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
      res.set_header("Location", "/login");
    });
    server.Get("/static/fennick.css", [](const Request&, Response& res) {
      res.set_header("Cache-Control", "private, max-age=300");
      res.set_content(page_css(), "text/css; charset=utf-8");
    });
    server.Get("/static/fennick.js", [](const Request&, Response& res) {
      res.set_header("Cache-Control", "private, max-age=300");
      res.set_content(page_script(), "text/javascript; charset=utf-8");
    });
    server.Get("/", [this](const Request&, Response& res) {
      res.set_content(status_page(current_keys().csrf), "text/html; charset=utf-8");
    });
    server.Get("/gallery", [this](const Request& req, Response& res) {
      GalleryView view;
      view.filter = filter_of(req);
      view.page_size = kPageSize;
      view.groups = gallery.groups(&view.unknown_count);
      view.all_count = view.unknown_count;
      for (const GalleryGroupCount& g : view.groups) view.all_count += g.count;
      view.page = gallery.page(view.filter, page_of(req) * kPageSize, kPageSize);
      res.set_content(gallery_page(view, current_keys().csrf), "text/html; charset=utf-8");
    });
    server.Get("/picture", [this](const Request& req, Response& res) {
      PictureInfo info;
      const std::string group = req.has_param("unknown") ? std::string() : req.get_param_value("group");
      const std::string name = req.get_param_value("name");
      if ((!group.empty() && !safe_segment(group)) || !safe_segment(name) || !gallery.find(group, name, info.entry))
        return plain(res, 404, "404 Not Found");
      const std::string path = config.root + (group.empty() ? "/unknown/" : "/pictures/" + group + "/") + name;
      const PictureSize size = picture_dimensions(path);
      info.width = size.width;
      info.height = size.height;
      std::tie(info.author, info.subject) = files_log_entry(config.root + "/files.log", name);
      res.set_content(picture_page(info, current_keys().csrf), "text/html; charset=utf-8");
    });
    server.Get("/events", [this](const Request&, Response& res) { serve_events(res); });
    server.Get("/api/status", [this](const Request&, Response& res) { res.set_content(board.json(), "application/json"); });
    server.Get("/api/gallery", [this](const Request& req, Response& res) {
      const GalleryPage page = gallery.page(filter_of(req), page_of(req) * kPageSize, kPageSize);
      std::string out = "{\"total\":" + std::to_string(page.total) + ",\"first\":" + std::to_string(page.first) +
                        ",\"pictures\":[";
      for (std::size_t i = 0; i < page.entries.size(); ++i) {
        const GalleryEntry& e = page.entries[i];
        out += (i ? ",{" : "{") + std::string("\"group\":") + json_string(e.group) + ",\"name\":" + json_string(e.name) +
               ",\"size\":" + std::to_string(e.size) + ",\"mtime\":" + std::to_string(e.mtime_ns / 1000000000) +
               ",\"url\":" + json_string(picture_url(e)) + ",\"thumbnail\":" + json_string(thumbnail_url(e)) + "}";
      }
      out += "]}";
      res.set_content(out, "application/json");
    });
    auto command = [this](std::function<void()>& hook) {
      return [this, &hook](const Request& req, Response& res) {
        if (!csrf_ok(req, current_keys())) return plain(res, 403, "403 Forbidden");
        if (hook) hook();
        res.status = 202;
        res.set_content("{\"ok\":true}", "application/json");
      };
    };
    server.Post("/api/start", command(hooks.start));
    server.Post("/api/stop", command(hooks.stop));
    server.Get(R"(/pictures/([^/]+)/([^/]+))", [this](const Request& req, Response& res) {
      serve_file(req.matches[1].str(), req.matches[2].str(), res);
    });
    server.Get(R"(/unknown/([^/]+))", [this](const Request& req, Response& res) { serve_file({}, req.matches[1].str(), res); });
    server.Get(R"(/thumbs/pictures/([^/]+)/([^/]+))", [this](const Request& req, Response& res) {
      serve_thumbnail(req.matches[1].str(), req.matches[2].str(), res);
    });
    server.Get(R"(/thumbs/unknown/([^/]+))", [this](const Request& req, Response& res) {
      serve_thumbnail({}, req.matches[1].str(), res);
    });
  }
};

WebServer::WebServer(WebServerConfig config, StatusBoard& board, WebServerHooks hooks)
    : impl_(std::make_unique<Impl>(std::move(config), board, std::move(hooks))) {}

WebServer::~WebServer() { stop(); }

bool WebServer::start(std::string* error) {
  Impl& m = *impl_;
  const int workers = m.config.workers;
  // The library owns the queue it asks for.
  m.server.new_task_queue = [workers] { return new httplib::ThreadPool(static_cast<std::size_t>(workers)); };
  m.server.set_default_headers({
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
       "form-action 'self'; frame-ancestors 'none'; base-uri 'none'"},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
      {"X-Frame-Options", "DENY"},
  });
  m.server.set_keep_alive_timeout(2);
  m.server.set_read_timeout(10);
  m.server.set_write_timeout(5);
  m.server.set_payload_max_length(64 * 1024);
  m.routes();
  std::string bind = m.config.bind;
  if (bind.size() > 2 && bind.front() == '[' && bind.back() == ']') bind = bind.substr(1, bind.size() - 2);
  if (m.config.port == 0) {
    m.bound_port = m.server.bind_to_any_port(bind);
    if (m.bound_port <= 0) {
      if (error) *error = "cannot listen on " + m.config.bind;
      return false;
    }
  } else if (!m.server.bind_to_port(bind, m.config.port)) {
    if (error) *error = "cannot listen on " + m.config.bind + " port " + std::to_string(m.config.port);
    return false;
  } else {
    m.bound_port = m.config.port;
  }
  m.publisher = std::thread([&m] { m.publish_loop(); });
  m.listener = std::thread([&m] { m.server.listen_after_bind(); });
  return true;
}

void WebServer::stop() {
  Impl& m = *impl_;
  if (m.stopping.exchange(true)) return;
  m.board.close();
  {
    std::lock_guard lock(m.wake_mutex);
  }
  m.wake.notify_all();
  m.server.stop();
  if (m.listener.joinable()) m.listener.join();
  if (m.publisher.joinable()) m.publisher.join();
}

int WebServer::port() const { return impl_->bound_port; }

void WebServer::set_token(const std::string& token) {
  std::lock_guard lock(impl_->keys_mutex);
  impl_->keys = keys_for(token);
}

}  // namespace fk
