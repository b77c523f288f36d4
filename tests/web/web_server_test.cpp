// SPDX-License-Identifier: GPL-3.0-or-later
// The browser view's server on 127.0.0.1: who gets in, what it hands out, and how it escapes.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <atomic>
#include <filesystem>
#include <thread>

#include "common/raw_http.h"
#include "common/temp_dir.h"
#include "web/status_board.h"
#include "web/web_auth.h"
#include "web/web_server.h"

namespace fk {
namespace {

using test::raw_get;
using test::RawHttp;
using test::RawResponse;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr const char* kHostile = "<img src=x onerror=alert(1)>";
constexpr const char* kSecret = "FENNICK-INI-SECRET";

class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    root_ = dir_.path().string();
    fs::create_directories(dir_.path() / "pictures" / "alt.pictures");
    fs::create_directories(dir_.path() / "unknown");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    ASSERT_TRUE(image.save(QString::fromStdString(root_ + "/pictures/alt.pictures/red.jpg"), "JPG"));
    ASSERT_TRUE(image.save(QString::fromStdString(root_ + "/pictures/alt.pictures/" + kHostile + ".jpg"), "JPG"));
    test::write_file(dir_.path() / "pictures" / "alt.pictures" / "page.html", "<script>alert(1)</script>");
    test::write_file(dir_.path() / "unknown" / "part.bin", "not a picture");
    test::write_file(dir_.path() / "FENNICK.INI", std::string("[COMM]\npass=") + kSecret + "\n");
    test::write_file(dir_.path() / "HISTORY.FNK", kSecret);
    // A link out of the picture folders must not be followed.
    fs::create_symlink(dir_.path() / "FENNICK.INI", dir_.path() / "pictures" / "alt.pictures" / "link.jpg");
    fs::create_directory_symlink(dir_.path(), dir_.path() / "pictures" / "up");
    test::write_file(dir_.path() / "files.log",
                     std::string("             red.jpg\t     123\t ") + kHostile + "\tSubject " + kHostile + "\n");
  }

  void start(WebServerConfig config = {}) {
    config.root = root_;
    config.port = 0;
    if (config.token.empty()) config.token = kToken;
    config.thumbnail_cache = root_ + "/cache";
    config.publish_interval_ms = 20;
    WebServerHooks hooks;
    hooks.start = [this] { ++starts_; };
    hooks.stop = [this] { ++stops_; };
    hooks.pending_rows = [] { return std::vector<std::string>{std::string("42\t") + kHostile + "\t900\t" + kHostile}; };
    hooks.running = [] { return true; };
    hooks.current_token = [this] {
      std::lock_guard lock(token_mutex_);
      return file_token_;
    };
    server_ = std::make_unique<WebServer>(config, board_, std::move(hooks));
    std::string error;
    ASSERT_TRUE(server_->start(&error)) << error;
    port_ = server_->port();
  }
  void TearDown() override {
    if (server_) server_->stop();
  }

  RawResponse get(std::string_view target, std::string_view headers = {}) { return raw_get(port_, target, headers); }
  RawResponse authed(std::string_view target) { return get(target, std::string("Authorization: Bearer ") + kToken + "\r\n"); }

  test::TempDir dir_;
  std::string root_;
  StatusBoard board_;
  std::unique_ptr<WebServer> server_;
  int port_ = 0;
  std::atomic<int> starts_{0}, stops_{0};
  std::mutex token_mutex_;
  std::string file_token_ = kToken;
};

TEST_F(WebServerTest, without_the_token_nothing_is_shown) {
  start();
  EXPECT_EQ(get("/").status, 303);
  EXPECT_EQ(get("/").header("Location"), "/login");
  for (const char* target : {"/api/status", "/events", "/pictures/alt.pictures/red.jpg", "/thumbs/pictures/alt.pictures/red.jpg",
                             "/static/fennick.js", "/unknown/part.bin", "/api/gallery"}) {
    const RawResponse r = get(target);
    EXPECT_EQ(r.status, 401) << target;
    EXPECT_EQ(r.body.find("red.jpg"), std::string::npos) << target;
  }
  // A wrong token, one a character short, and one with the right prefix are all refused.
  for (std::string wrong : {std::string("x"), std::string(kToken).substr(1), std::string(kToken) + "0"})
    EXPECT_EQ(get("/api/status", "Authorization: Bearer " + wrong + "\r\n").status, 401) << wrong;
  EXPECT_EQ(get("/api/status", "Cookie: fennick_session=" + std::string(kToken) + "\r\n").status, 401)
      << "the cookie holds a hash of the token, not the token";
  EXPECT_EQ(authed("/api/status").status, 200);
  EXPECT_EQ(get("/login").status, 200);
}

TEST_F(WebServerTest, login_sets_a_strict_http_only_cookie_that_lets_the_browser_in) {
  start();
  EXPECT_EQ(raw_get(port_, "/login", "Content-Type: application/x-www-form-urlencoded\r\n", "POST", "token=nope").status, 401);
  const RawResponse ok =
      raw_get(port_, "/login", "Content-Type: application/x-www-form-urlencoded\r\n", "POST", std::string("token=") + kToken);
  ASSERT_EQ(ok.status, 303);
  const std::string cookie = ok.header("Set-Cookie");
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(cookie.find(kToken), std::string::npos);
  const std::string pair = cookie.substr(0, cookie.find(';'));
  EXPECT_EQ(get("/", "Cookie: other=1; " + pair + "\r\n").status, 200);
}

TEST_F(WebServerTest, start_and_stop_need_a_post_with_the_page_token) {
  start();
  const std::string auth = std::string("Authorization: Bearer ") + kToken + "\r\n";
  EXPECT_EQ(raw_get(port_, "/api/stop", auth, "POST").status, 403);
  EXPECT_EQ(raw_get(port_, "/api/stop", auth + "X-CSRF-Token: " + csrf_for_token("other") + "\r\n", "POST").status, 403);
  EXPECT_EQ(raw_get(port_, "/api/stop", auth).status, 404) << "GET never acts";
  EXPECT_EQ(stops_.load(), 0);
  EXPECT_EQ(raw_get(port_, "/api/stop", auth + "X-CSRF-Token: " + csrf_for_token(kToken) + "\r\n", "POST").status, 202);
  EXPECT_EQ(raw_get(port_, "/api/start", auth + "X-CSRF-Token: " + csrf_for_token(kToken) + "\r\n", "POST").status, 202);
  EXPECT_EQ(stops_.load(), 1);
  EXPECT_EQ(starts_.load(), 1);
  // The page carries the anti-forgery token; the token itself never appears in a page.
  const RawResponse page = authed("/");
  EXPECT_NE(page.body.find(csrf_for_token(kToken)), std::string::npos);
  EXPECT_EQ(page.body.find(kToken), std::string::npos);
}

TEST_F(WebServerTest, only_pictures_and_unknown_files_are_served) {
  start();
  const char* hostile[] = {
      "/pictures/../FENNICK.INI",
      "/pictures/%2e%2e/FENNICK.INI",
      "/pictures/%2E%2E/%2E%2E/FENNICK.INI",
      "/pictures/alt.pictures/..%2f..%2fFENNICK.INI",
      "/pictures/alt.pictures/%2e%2e%2f%2e%2e%2fFENNICK.INI",
      "/pictures/..%5c..%5cFENNICK.INI",
      "/pictures/alt.pictures/red.jpg%00.html",
      "/pictures/alt.pictures/%00",
      "/pictures//etc/passwd",
      "/pictures/%2fetc/passwd",
      "/pictures/alt.pictures/%2fetc%2fpasswd",
      "/unknown/../FENNICK.INI",
      "/unknown/%2e%2e%2fHISTORY.FNK",
      "/unknown/..",
      "/unknown/.",
      "/pictures/./alt.pictures/red.jpg",
      "/pictures/alt.pictures/link.jpg",
      "/pictures/up/FENNICK.INI",
      "/FENNICK.INI",
      "/HISTORY.FNK",
      "/pictures/alt.pictures/.hidden",
      "/thumbs/pictures/up/FENNICK.INI",
      "/thumbs/pictures/%2e%2e/FENNICK.INI",
      "/thumbs/unknown/%2e%2e%2fFENNICK.INI",
      "/pictures/alt.pictures",
      "/pictures/%252e%252e/FENNICK.INI",
      "//etc/passwd",
  };
  for (const char* target : hostile) {
    const RawResponse r = authed(target);
    EXPECT_TRUE(r.status == 404 || r.status == 400) << target << " gave " << r.status;
    EXPECT_EQ(r.body.find(kSecret), std::string::npos) << target;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << target;
  }
  const RawResponse picture = authed("/pictures/alt.pictures/red.jpg");
  EXPECT_EQ(picture.status, 200);
  EXPECT_EQ(picture.header("Content-Type"), "image/jpeg");
  // Whatever the name says, a file is never served as a page.
  const RawResponse html = authed("/pictures/alt.pictures/page.html");
  EXPECT_EQ(html.status, 200);
  EXPECT_EQ(html.header("Content-Type"), "application/octet-stream");
  EXPECT_EQ(html.header("Content-Disposition"), "attachment");
  EXPECT_EQ(authed("/unknown/part.bin").status, 200);
  const RawResponse thumb = authed("/thumbs/pictures/alt.pictures/red.jpg");
  EXPECT_EQ(thumb.status, 200);
  EXPECT_EQ(thumb.header("Content-Type"), "image/png");
  EXPECT_EQ(thumb.body.substr(1, 3), "PNG");
}

TEST_F(WebServerTest, news_texts_are_escaped_in_every_page) {
  start();
  board_.set_text(ControlId::GroupName, kHostile);
  board_.publish();
  const std::string encoded_name = "%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E.jpg";
  for (const std::string& target : {std::string("/gallery"), "/gallery?group=" + encoded_name,
                                   "/picture?group=alt.pictures&name=" + encoded_name,
                                   std::string("/picture?group=alt.pictures&name=red.jpg")}) {
    const RawResponse r = authed(target);
    EXPECT_EQ(r.status, 200) << target;
    EXPECT_EQ(r.body.find("<img src=x"), std::string::npos) << target;
    EXPECT_EQ(r.body.find("onerror=alert(1)>"), std::string::npos) << target;
  }
  const RawResponse info = authed("/picture?group=alt.pictures&name=red.jpg");
  EXPECT_NE(info.body.find("&lt;img src=x onerror=alert(1)&gt;"), std::string::npos) << "author from files.log";
  EXPECT_NE(info.body.find("Subject &lt;img"), std::string::npos);
  EXPECT_NE(info.body.find("40 x 30"), std::string::npos);
  // JSON carries the texts with < and > escaped, so no part of it can close a script or a tag.
  const RawResponse status = authed("/api/status");
  EXPECT_EQ(status.body.find('<'), std::string::npos);
  EXPECT_NE(status.body.find("\\u003cimg"), std::string::npos);
}

TEST_F(WebServerTest, every_answer_carries_the_protective_headers) {
  start();
  for (const RawResponse& r : {authed("/"), authed("/no/such/page"), get("/api/status"), authed("/pictures/alt.pictures/red.jpg"),
                               get("/login")}) {
    EXPECT_NE(r.header("Content-Security-Policy").find("script-src 'self'"), std::string::npos) << r.head;
    EXPECT_EQ(r.header("Content-Security-Policy").find("unsafe-inline"), std::string::npos);
    EXPECT_EQ(r.header("X-Content-Type-Options"), "nosniff") << r.head;
  }
  EXPECT_EQ(authed("/").header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(authed("/static/fennick.js").header("Content-Type"), "text/javascript; charset=utf-8");
  EXPECT_EQ(authed("/").body.find("<script>"), std::string::npos) << "no inline script";
}

TEST_F(WebServerTest, oversized_headers_and_too_many_connections_are_refused) {
  WebServerConfig config;
  config.per_address_limit = 3;
  start(config);
  std::string big;
  for (int i = 0; i < 10; ++i) big += "X-Filler-" + std::to_string(i) + ": " + std::string(7000, 'a') + "\r\n";
  EXPECT_EQ(get("/api/status", std::string("Authorization: Bearer ") + kToken + "\r\n" + big).status, 431);

  // Live pages hold their place until they close.
  std::vector<std::unique_ptr<RawHttp>> streams;
  for (int i = 0; i < 3; ++i) {
    streams.push_back(std::make_unique<RawHttp>(port_));
    streams.back()->send(std::string("GET /events HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer ") + kToken + "\r\n\r\n");
    EXPECT_NE(streams.back()->read_until("data: ").find("data: "), std::string::npos);
  }
  EXPECT_EQ(authed("/api/status").status, 503);
  streams.back()->close();
  streams.pop_back();
  bool served = false;
  for (int i = 0; i < 500 && !served; ++i) {
    served = authed("/api/status").status == 200;
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(served) << "a closed stream gives its place back";
}

TEST_F(WebServerTest, live_stream_sends_each_change_and_a_new_token_locks_out_the_old) {
  start();
  RawHttp stream(port_);
  stream.send(std::string("GET /events HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer ") + kToken + "\r\n\r\n");
  EXPECT_NE(stream.read_until("text/event-stream").find("text/event-stream"), std::string::npos);
  board_.set_text(ControlId::GroupName, "alt.binaries.pictures.first");
  EXPECT_NE(stream.read_until("alt.binaries.pictures.first").find("alt.binaries.pictures.first"), std::string::npos);
  SessionCounters counters;
  counters.pictures = 17;
  board_.counters_changed(counters);
  EXPECT_NE(stream.read_until("\"pictures\":17").find("\"pictures\":17"), std::string::npos);
  EXPECT_NE(stream.read_until("900").find("\"42\""), std::string::npos) << "the pending rows come too";

  {
    std::lock_guard lock(token_mutex_);
    file_token_ = std::string(64, 'b');
  }
  bool locked_out = false;
  for (int i = 0; i < 200 && !locked_out; ++i) {
    locked_out = authed("/api/status").status == 401;
    if (!locked_out) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(locked_out);
  EXPECT_EQ(get("/api/status", "Authorization: Bearer " + std::string(64, 'b') + "\r\n").status, 200);
}

}  // namespace
}  // namespace fk
