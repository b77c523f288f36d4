// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A yEnc encoder for the test server, the tests, the benchmarks and the demo.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fk::test {

// CRC32 (IEEE, as zlib computes it), independent of the program's own.
std::uint32_t crc32_ieee(const std::string& bytes, std::uint32_t crc = 0);
// yEnc data lines of `bytes`: NUL, LF, CR and '=' escaped, and unless `plain_edges` also any white space
// (TAB, blank, VT, FF) at a line's start or end and a dot at its start, so that no line transport can
// trim them; lines of `line` characters (one more when the last is an escape).
std::string yenc_lines(const std::string& bytes, std::size_t line = 128, bool plain_edges = false);
// A single-part yEnc body: "=ybegin line= size= name=", the data lines, "=yend size= crc32=".
std::string yenc_encode(const std::string& name, const std::string& bytes, std::size_t line = 128);
// Part `part` of `total` of a multi-part yEnc posting of `whole`: bytes [begin, end) with =ypart
// (begin counted from 1 there) and pcrc32; the last part also carries the whole file's crc32.
std::string yenc_encode_part(const std::string& name, const std::string& whole, int part, int total,
                             std::size_t begin, std::size_t end, std::size_t line = 128);
// `whole` cut into `total` nearly equal parts, each encoded as above, numbered from 1.
std::vector<std::string> yenc_parts(const std::string& name, const std::string& whole, int total);
// `size` bytes that open as a JPEG does, so that they are filed as a picture; `seed` varies the rest.
std::string picture_bytes(std::size_t size, unsigned seed);
}  // namespace fk::test
