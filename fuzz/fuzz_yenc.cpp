// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the yEnc decoder on an arbitrary work file (and group name).
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "decode/decoders.h"
#include "decode/paths.h"
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fk::fuzz::with_work_file(data, size, [](const fk::StatusLog& log, fk::Clock& clock, const std::string& group) {
    fk::Decoders decoders{log, clock};
    const bool claimed = decoders.yenc_claims("temp.uue");
    fk::DecodeResult r = decoders.yenc("temp.uue", group);
    if (!claimed && r.status != fk::DecodeStatus::Failed) std::abort();
    if (r.name.size() > 255 || r.name.find('/') != std::string::npos) std::abort();
    // A picture is whole and checked; anything else leaves no file at all, not even a temporary one.
    std::error_code ec;
    std::uintmax_t files = 0;
    for (auto it = std::filesystem::recursive_directory_iterator("pictures", ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file()) ++files;
    if (r.status == fk::DecodeStatus::Decoded) {
      if (files != 1 || !r.yenc.size || *r.yenc.size != r.yenc.decoded_bytes) std::abort();
      if (std::filesystem::file_size(fk::picture_path(group, r.name), ec) != r.yenc.decoded_bytes) std::abort();
    } else if (files != 0) {
      std::abort();
    }
  });
  return 0;
}
