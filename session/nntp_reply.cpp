// SPDX-License-Identifier: GPL-3.0-or-later
// Reply and marker numbers.
#include "session/nntp_reply.h"

#include "store/text.h"

namespace fk {

std::int64_t reply_status(std::string_view reply) {
  return read_decimal(reply, NumberForm::Digits).saturated();
}

bool scan_decimal(std::string_view& text, std::int64_t& out) {
  const LeadingNumber n = read_decimal(text, NumberForm::Signed);
  if (!n.found) return false;
  out = n.saturated();
  text.remove_prefix(n.end);
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
