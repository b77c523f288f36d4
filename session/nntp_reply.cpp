// Reply and marker numbers.
#include "session/nntp_reply.h"

#include <limits>

namespace fk {

namespace {
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

std::int64_t reply_status(std::string_view reply) {
  std::int64_t value = 0;
  for (char c : reply) {
    if (!is_digit(c)) break;
    int d = c - '0';
    value = value > (kMax - d) / 10 ? kMax : value * 10 + d;
  }
  return value;
}

bool scan_decimal(std::string_view& text, std::int64_t& out) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || !is_digit(text[i])) return false;
  // Accumulated as a negative number so that the 64-bit minimum fits too.
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && is_digit(text[i]); ++i) {
    int d = text[i] - '0';
    if (saturated) continue;
    if (value < (kMin + d) / 10) {
      saturated = true;
      value = kMin;
    } else {
      value = value * 10 - d;
    }
  }
  if (negative)
    out = value;
  else
    out = value == kMin ? kMax : -value;
  text.remove_prefix(i);
  return true;
}

GroupReply parse_group_reply(std::string_view reply) {
  GroupReply r;
  std::int64_t* fields[4] = {&r.status, &r.count, &r.first, &r.last};
  for (std::int64_t* f : fields)
    if (!scan_decimal(reply, *f)) break;
  return r;
}

}  // namespace fk
