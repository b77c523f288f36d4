// SPDX-License-Identifier: GPL-3.0-or-later
// Escaping, the token helpers and the status board's frames.
#include <gtest/gtest.h>

#include <set>

#include "web/status_board.h"
#include "web/web_auth.h"
#include "web/web_text.h"

namespace fk {
namespace {

TEST(WebText, html_and_json_forms_leave_nothing_active) {
  EXPECT_EQ(html_escape("<img src=x onerror=alert(1)>"), "&lt;img src=x onerror=alert(1)&gt;");
  EXPECT_EQ(html_escape("a\"b'c&d"), "a&quot;b&#39;c&amp;d");
  EXPECT_EQ(html_escape(std::string("a\0b\x1b", 4)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  EXPECT_EQ(html_escape("caf\xC3\xA9 \xFF"), "caf\xC3\xA9 \xEF\xBF\xBD") << "valid UTF-8 kept, a stray byte replaced";
  EXPECT_EQ(json_string("</script><b>\"\\\n"), "\"\\u003c/script\\u003e\\u003cb\\u003e\\\"\\\\\\n\"");
  EXPECT_EQ(json_string("\xC0\xAF"), "\"\\ufffd\\ufffd\"") << "an overlong '/' is no character";
  EXPECT_EQ(url_segment("a b/c%.jpg"), "a%20b%2Fc%25.jpg");
  std::string out;
  EXPECT_TRUE(percent_decode("%2e%2E/x", out));
  EXPECT_EQ(out, "../x");
  EXPECT_FALSE(percent_decode("%2", out));
  EXPECT_FALSE(percent_decode("%zz", out));
}

TEST(WebAuth, tokens_cookies_and_bearers) {
  std::set<std::string> made;
  for (int i = 0; i < 20; ++i) {
    const std::string t = make_web_token();
    EXPECT_EQ(t.size(), 64u);
    EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
    made.insert(t);
  }
  EXPECT_EQ(made.size(), 20u);
  EXPECT_TRUE(tokens_equal("abc", "abc"));
  EXPECT_FALSE(tokens_equal("abc", "abd"));
  EXPECT_FALSE(tokens_equal("abc", "abcd"));
  EXPECT_FALSE(tokens_equal("", "")) << "an empty token lets nobody in";
  EXPECT_NE(cookie_for_token("t"), csrf_for_token("t"));
  EXPECT_NE(cookie_for_token("t"), cookie_for_token("u"));
  EXPECT_EQ(cookie_value("a=1; fennick_session=xyz ;b=2", "fennick_session"), "xyz");
  EXPECT_EQ(cookie_value("xfennick_session=1", "fennick_session"), "");
  EXPECT_EQ(bearer_token("Bearer  abc "), "abc");
  EXPECT_EQ(bearer_token("bEaReR abc"), "abc");
  EXPECT_EQ(bearer_token("Basic abc"), "");
  EXPECT_EQ(bearer_token("Bearer"), "");
  for (const char* lo : {"127.0.0.1", "::1", "localhost", "127.1.2.3"}) EXPECT_TRUE(is_loopback_bind(lo)) << lo;
  for (const char* wide : {"0.0.0.0", "::", "192.168.1.2", ""}) EXPECT_FALSE(is_loopback_bind(wide)) << wide;
}

TEST(StatusBoard, frames_come_only_after_a_change_and_keep_their_limits) {
  StatusBoard board;
  EXPECT_TRUE(board.publish());
  EXPECT_FALSE(board.publish()) << "nothing changed";
  board.set_text(ControlId::GroupName, "alt.x");
  board.set_text(ControlId::GroupName, "alt.x");
  EXPECT_TRUE(board.publish());
  const auto frame = board.latest();
  EXPECT_EQ(frame->seq, 2u);
  EXPECT_NE(frame->json.find("\"group\":\"alt.x\""), std::string::npos);
  EXPECT_EQ(board.wait_newer(1, 0)->seq, 2u) << "a newer frame is there at once";

  std::vector<std::string> rows(150, "1\ta\t2\ts");
  board.set_pending(rows);
  std::vector<std::string> lines;
  for (int i = 0; i < 250; ++i) lines.push_back("line " + std::to_string(i));
  board.add_log_lines(lines, false);
  const std::string json = board.json();
  std::size_t rows_shown = 0;
  for (std::size_t p = 0; (p = json.find("[\"1\",\"a\",\"2\",\"s\"]", p)) != std::string::npos; ++p) ++rows_shown;
  EXPECT_EQ(rows_shown, StatusBoard::kPendingShown);
  EXPECT_EQ(json.find("\"line 49\""), std::string::npos);
  EXPECT_NE(json.find("\"line 50\""), std::string::npos);
  EXPECT_NE(json.find("\"line 249\""), std::string::npos);
  board.add_log_lines({}, true);
  EXPECT_EQ(board.json().find("line 249"), std::string::npos) << "a new log starts afresh";
}

}  // namespace
}  // namespace fk
