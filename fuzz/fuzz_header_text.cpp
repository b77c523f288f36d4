// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: encoded words, extended values and the subject's file name on arbitrary header text.
#include <cstdlib>
#include <string>
#include <string_view>

#include "session/article_selection.h"
#include "store/header_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string decoded = fk::decode_encoded_words(text);
  // Decoding never brings in a line break or a tab that could split a pending row.
  if (fk::has_encoded_words(text))
    for (std::size_t i = 0; i < decoded.size(); ++i)
      if ((decoded[i] == '\n' || decoded[i] == '\t') && text.find(decoded[i]) == std::string_view::npos) std::abort();
  // Whatever the charset, an extended value comes out as UTF-8.
  if (!fk::is_valid_utf8(fk::decode_extended_value(text))) std::abort();
  const std::string_view cut = fk::cut_utf8(decoded, size / 2);
  if (cut.size() > size / 2 || decoded.compare(0, cut.size(), cut) != 0) std::abort();
  const std::string_view name = fk::subject_file_name(decoded);
  if (!name.empty() && (name.data() < decoded.data() || name.data() + name.size() > decoded.data() + decoded.size()))
    std::abort();
  (void)fk::subject_counter(decoded);
  return 0;
}
