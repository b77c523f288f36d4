// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// COMPRESS DEFLATE: a stream that inflates what the server sends and deflates what we send (zlib's raw
// deflate), wrapped around the plain or TLS stream, so the line readers above it see plain text.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "session/stream.h"

namespace fk {

// Wraps `inner` (taking it over). `already_read` holds bytes that arrived after the 206 line and were
// buffered before the wrap: they are the start of the compressed stream. `wire_counter`, when given,
// gets every byte read or sent on the wire as it goes.
//
// read() inflates into the caller's buffer only, so a decompression bomb costs no memory beyond it
// and is read like any flood; a corrupt stream is a failure (Io::Failed) with failure() saying why.
// write() deflates the whole buffer with a sync flush, so the server sees each command at once; after
// WantRead/WantWrite it must be called again with the same bytes, as with TLS.
std::unique_ptr<Stream> make_deflate_stream(std::unique_ptr<Stream> inner, std::string_view already_read,
                                            std::atomic<std::int64_t>* wire_counter);

}  // namespace fk
