// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the MIME base64 decoder on an arbitrary work file (and group name).
#include <cstdlib>

#include "decode/decoders.h"
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fk::fuzz::with_work_file(data, size,
                           [](const fk::StatusLog& log, fk::Clock& clock, const std::string& group) {
                             static fk::Decoders decoders(log, clock);  // one per process, like the program's
                             std::string name;
                             std::string message = decoders.mime64_decode("temp.uue", group, name);
                             if (message.size() > 79) std::abort();
                             if (name.size() > 255 || name.find('/') != std::string::npos) std::abort();
                           });
  return 0;
}
