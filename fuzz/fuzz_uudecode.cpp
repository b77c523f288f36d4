// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the uuencode decoder on an arbitrary work file (and group name).
#include <cstdlib>

#include "decode/decoders.h"
#include "fuzz_decode_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fk::fuzz::with_work_file(data, size,
                           [](const fk::StatusLog& log, fk::Clock& clock, const std::string& group) {
                             fk::Decoders decoders{log, clock};
                             std::string name;
                             std::string message = decoders.uudecode_file("temp.uue", group, name);
                             if (!message.empty() && message.size() != 37 && !message.starts_with("UUDECODE -- ")) std::abort();
                             if (name.size() > 255 || name.find('/') != std::string::npos) std::abort();
                           });
  return 0;
}
