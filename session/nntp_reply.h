// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbers in server replies and in dirty.txt, read like the classic "%d" patterns but 64-bit and safe.

#include <cstdint>
#include <string_view>

namespace fk {

// The decimal number at the start of a reply line: its leading digits, 0 when it has none. Numbers too
// large for 64 bits stay at the largest value (they match no status code).
std::int64_t reply_status(std::string_view reply);

// One "%d" field at the front of text: blanks, an optional sign, at least one digit. On success the
// field is consumed and out set (saturated at the 64-bit limits); otherwise text and out stay as they are.
bool scan_decimal(std::string_view& text, std::int64_t& out);

// A GROUP reply read with the pattern "%d %d %d %d": fields that are missing stay 0.
struct GroupReply {
  std::int64_t status = 0;
  std::int64_t count = 0;
  std::int64_t first = 0;
  std::int64_t last = 0;
};
GroupReply parse_group_reply(std::string_view reply);

}  // namespace fk
