// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/text.h"

namespace fk {

LeadingNumber read_decimal(std::string_view text, NumberForm form) {
  LeadingNumber n;
  std::size_t i = 0;
  bool negative = false;
  if (form == NumberForm::Signed) {
    while (i < text.size() && is_space(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  }
  const std::size_t first_digit = i;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (; i < text.size() && is_digit(text[i]); ++i) {
    const auto d = static_cast<std::uint64_t>(text[i] - '0');
    n.magnitude = n.magnitude > (kMax - d) / 10 ? kMax : n.magnitude * 10 + d;
    n.low_bits = n.low_bits * 10 + d;
  }
  if (i == first_digit) return n;
  n.found = true;
  n.negative = negative;
  n.end = i;
  return n;
}

}  // namespace fk
