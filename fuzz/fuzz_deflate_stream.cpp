// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the COMPRESS DEFLATE layer: arbitrary bytes after the 206 line, read as body lines until the
// stream fails or ends. Half the inputs are made valid deflate first, so the fuzzer also reaches the
// line reader behind a working inflater.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_socket.h"
#include "session/context.h"
#include "session/transport.h"

namespace {

using fk::fuzz::quiet_settings;
using fk::fuzz::require;

std::string deflated(const char* bytes, std::size_t length) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, length) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
  z.avail_in = static_cast<uInt>(length);
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_SYNC_FLUSH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static fk::fuzz::Engine w{quiet_settings()};
  const bool pack = data[0] & 1;
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  if (pack) input = deflated(input.data(), input.size());

  const std::string all = "206 on\r\n" + input;
  fk::fuzz::ServerFeed feed(all);
  if (feed.read_fd() == -1) return 0;
  {
    fk::NewsSocket sock(feed.read_fd());
    std::string line;
    require(fk::get_socket_string(w.ctx, line, 511, sock) == 8);
    sock.start_compression(nullptr);
    bool more = false;
    while (fk::read_body_line(w.ctx, sock, line, more) != -1) require(line.size() <= 2 * 64 * 1024);
    sock.take_failure();
  }
  return 0;
}
