// SPDX-License-Identifier: GPL-3.0-or-later
// The line reader, draining and connecting, over socketpairs and the local test server.
#include "session/transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <optional>
#include <thread>

#include "common/engine_harness.h"
#include "server/nntp_test_server.h"

namespace fk {
namespace {

using test::EngineHarness;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    sock.emplace(sv[0]);
    peer = sv[1];
  }
  void TearDown() override { close_peer(); }

  void feed(std::string_view bytes) {
    ASSERT_EQ(::write(peer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void close_peer() {
    if (peer >= 0) ::close(peer);
    peer = -1;
  }
  int read(std::size_t capacity = 511) { return get_socket_string(h.ctx, line, capacity, *sock); }

  EngineHarness h;
  std::optional<NewsSocket> sock;
  int peer = -1;
  std::string line;
};

TEST_F(ReaderTest, LeadingBlanksAreSkippedButCounted) {
  feed("  200 ok\r\n");
  EXPECT_EQ(read(), 8);
  EXPECT_EQ(line, "200 ok");
  EXPECT_EQ(h.state.byte_count, 10);
}

TEST_F(ReaderTest, EmptyLinesAreNeverReturned) {
  feed("\r\n\r\nhello\r\n");
  EXPECT_EQ(read(), 7);
  EXPECT_EQ(line, "hello");
  EXPECT_EQ(h.state.byte_count, 11);
}

TEST_F(ReaderTest, LineEndsAndTerminator) {
  feed("abc\nabc\r\n.\r\n");
  EXPECT_EQ(read(), 4);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(read(), 5);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(read(), 3);
  EXPECT_EQ(line, ".");
}

TEST_F(ReaderTest, TextStopsAtCarriageReturnOrNul) {
  feed(std::string_view("20\0 0\r\nab\rcd\r\n", 14));
  EXPECT_EQ(read(), 7);
  EXPECT_EQ(line, "20");
  EXPECT_EQ(read(), 7);
  EXPECT_EQ(line, "ab");
}

TEST_F(ReaderTest, LongLineComesBackInTwoPiecesWithOneLogLine) {
  feed(std::string(598, 'a') + "\r\n");
  EXPECT_EQ(read(512), 511);
  EXPECT_EQ(line, std::string(511, 'a'));
  EXPECT_EQ(read(512), 89);
  EXPECT_EQ(line, std::string(87, 'a'));
  auto texts = h.log_texts();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Line Buffer Filled in get_socket_string()"), 1);
  EXPECT_EQ(h.state.byte_count, 600);
}

TEST_F(ReaderTest, ClosedStreamMidLineFailsAfterCountingWhatCame) {
  feed("abc");
  close_peer();
  EXPECT_EQ(read(), -1);
  EXPECT_EQ(h.state.byte_count, 3);
}

TEST_F(ReaderTest, StopBeforeTheFirstByteReadsNothing) {
  feed("abc\r\n");
  h.state.stop_requested = 1;
  EXPECT_EQ(read(), -1);
  EXPECT_EQ(h.state.byte_count, 0);
  EXPECT_EQ(sock->bytes_waiting(), 5);
}

TEST_F(ReaderTest, StopWhileTheServerIsSilentMidLine) {
  int result = 0;
  std::jthread reader([&] { result = read(); });
  feed("ab");
  // The reader publishes its count before it waits, so this tells it is waiting mid-line.
  while (h.state.byte_count < 2) std::this_thread::yield();
  h.state.stop_requested = 1;
  reader.join();
  EXPECT_EQ(result, -1);
}

TEST_F(ReaderTest, PacingFollowsTheTrackbar) {
  EXPECT_EQ(pacing_delay_ms(0), 200);
  EXPECT_EQ(pacing_delay_ms(5), 100);
  EXPECT_EQ(pacing_delay_ms(9), 20);
  EXPECT_EQ(pacing_delay_ms(10), 0);
  EXPECT_EQ(pacing_delay_ms(-1), 0);
  h.view.set_pacing(3);
  feed("x\r\n");
  read();
  EXPECT_EQ(h.clock.slept_ms(), 140);
}

TEST_F(ReaderTest, BytesWaitingIncludesTheReadersBuffer) {
  feed("one\r\ntwo\r\n");
  // Wait until both lines are queued so the first read takes them into its buffer in one go.
  while (sock->bytes_waiting() != 10) std::this_thread::yield();
  read();
  EXPECT_EQ(sock->bytes_waiting(), 5);
}

TEST_F(ReaderTest, DrainDropsQueuedBytesUncountedAfterThreeQuietSeconds) {
  feed("junk\r\nmore");
  while (sock->bytes_waiting() != 10) std::this_thread::yield();
  EXPECT_EQ(drain_socket(h.ctx, *sock), 0);
  EXPECT_EQ(h.clock.slept_ms(), 3000);
  EXPECT_EQ(h.state.byte_count, 0);
  EXPECT_EQ(sock->bytes_waiting(), 0);
  feed("next\r\n");
  EXPECT_EQ(read(), 6);
  EXPECT_EQ(line, "next");
}

// zlib's raw deflate with a sync flush, as a server speaks it after 206.
std::string deflate_raw(z_stream& z, std::string_view text) {
  std::string out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  do {
    char block[16384];
    z.next_out = reinterpret_cast<Bytef*>(block);
    z.avail_out = sizeof block;
    deflate(&z, Z_SYNC_FLUSH);
    out.append(block, sizeof block - z.avail_out);
  } while (z.avail_in > 0 || z.avail_out == 0);
  return out;
}

// Compressed bytes that arrived with the 206 line are not lost; a 32 MiB line from a few KiB (a bomb)
// comes in pieces of a block or two; a command larger than the socket's buffer goes out whole; the counter sees
// the wire's bytes.
TEST_F(ReaderTest, CompressedStreamBothWays) {
  z_stream server_out{}, server_in{};
  ASSERT_EQ(deflateInit2(&server_out, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  ASSERT_EQ(inflateInit2(&server_in, -MAX_WBITS), Z_OK);
  const std::size_t huge = 32u << 20;
  std::string packed = deflate_raw(server_out, "222 body\r\n" + std::string(huge, 'A') + "\r\n.\r\n");
  ASSERT_LT(packed.size(), 64u * 1024);
  std::jthread writer([&] { feed("206 on\r\n" + packed); });
  EXPECT_EQ(read(), 8);
  const std::int64_t before = h.state.byte_count;
  sock->start_compression(&h.state.byte_count);
  EXPECT_TRUE(sock->compressing());
  EXPECT_EQ(read(), 10);
  EXPECT_EQ(line, "222 body");
  std::size_t total = 0, pieces = 0;
  bool more = false;
  do {
    ASSERT_GT(read_body_line(h.ctx, *sock, line, more), 0);
    ASSERT_LE(line.size(), 128u * 1024);  // a block, and what was left of the one before
    total += line.size();
    ++pieces;
  } while (more);
  EXPECT_EQ(total, huge);
  EXPECT_GE(pieces, huge / (64 * 1024));
  EXPECT_EQ(read_body_line(h.ctx, *sock, line, more), 3);
  EXPECT_EQ(line, ".");
  writer.join();
  EXPECT_EQ(h.state.byte_count - before, static_cast<std::int64_t>(packed.size()));

  // Text that does not compress, far more than the socket holds: sent while the peer reads.
  std::string command;
  std::uint32_t seed = 1;
  for (int i = 0; i < (4 << 20); ++i) command += static_cast<char>('a' + ((seed = seed * 1103515245u + 12345u) >> 16) % 26);
  command += "\r\n";
  std::string received;
  std::int64_t wire = 0;
  std::jthread reader([&] {
    std::vector<char> raw(65536), text(1 << 20);
    while (received.size() < command.size()) {
      ssize_t n = ::read(peer, raw.data(), raw.size());
      if (n <= 0) return;
      wire += n;
      server_in.next_in = reinterpret_cast<Bytef*>(raw.data());
      server_in.avail_in = static_cast<uInt>(n);
      do {
        server_in.next_out = reinterpret_cast<Bytef*>(text.data());
        server_in.avail_out = static_cast<uInt>(text.size());
        if (inflate(&server_in, Z_SYNC_FLUSH) == Z_DATA_ERROR) return;
        received.append(text.data(), text.size() - server_in.avail_out);
      } while (server_in.avail_in > 0);
    }
  });
  EXPECT_TRUE(sock->send_line(command));
  reader.join();
  EXPECT_EQ(received, command);
  sock->close();
  std::optional<CompressionTotals> totals = sock->take_compression_totals();
  ASSERT_TRUE(totals);
  EXPECT_EQ(totals->wire_read, static_cast<std::int64_t>(packed.size()));
  EXPECT_EQ(totals->text_sent, static_cast<std::int64_t>(command.size()));
  EXPECT_EQ(totals->wire_sent, wire);
  deflateEnd(&server_out);
  inflateEnd(&server_in);
}

class ConnectTest : public ::testing::Test {
 protected:
  EngineHarness h;
  test::NntpTestServer server;
  NewsSocket sock;
};

TEST_F(ConnectTest, ConnectClaimsTheSlotAndCloseFreesIt) {
  h.use_server(server.port());
  ASSERT_EQ(connect_news_server(h.ctx, sock), 0);
  EXPECT_EQ(h.state.news_socket, sock.fd());
  EXPECT_EQ(h.state.server_host(), "127.0.0.1");
  int keepalive = 0;
  socklen_t len = sizeof keepalive;
  ::getsockopt(sock.fd(), SOL_SOCKET, SO_KEEPALIVE, &keepalive, &len);
  EXPECT_EQ(keepalive, 1);
  std::string line;
  EXPECT_GT(get_socket_string(h.ctx, line, 511, sock), 0);
  EXPECT_EQ(line.substr(0, 3), "200");
  EXPECT_TRUE(h.logged("Connecting to news server using port " + std::to_string(server.port())));
  sock.close();
  EXPECT_EQ(h.state.news_socket, -1);
}

TEST_F(ConnectTest, SlotHeldElsewhereRefusesTheConnection) {
  h.use_server(server.port());
  h.state.news_socket = 99;
  EXPECT_EQ(connect_news_server(h.ctx, sock), -1);
  EXPECT_FALSE(sock.is_open());
  EXPECT_EQ(h.state.news_socket, 99);
  EXPECT_TRUE(h.logged("socket() failed"));
}

TEST_F(ConnectTest, RefusedConnectLeavesNoSocket) {
  // A bound socket that does not listen refuses connections, and nobody else can take its port.
  int bound = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::getsockname(bound, reinterpret_cast<sockaddr*>(&addr), &len);
  h.use_server(ntohs(addr.sin_port));
  EXPECT_EQ(connect_news_server(h.ctx, sock), -1);
  ::close(bound);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_TRUE(h.logged("connect() failed"));
}

TEST_F(ConnectTest, ServerNameOfEightyCharactersIsRefusedLikeAnUnknownName) {
  std::string name(80, 'n');
  h.use_server(server.port(), name);
  EXPECT_EQ(connect_news_server(h.ctx, sock), -1);
  EXPECT_EQ(h.state.news_socket, -1);
  EXPECT_EQ(h.state.server_host(), name.substr(0, 79));
  ASSERT_EQ(h.dialogs.boxes().size(), 1u);
  EXPECT_EQ(h.dialogs.boxes()[0].caption, "gethostbyname() failed.");
  EXPECT_TRUE(h.logged_in_order(
      {"Error " + std::to_string(ENAMETOOLONG) + ": Unable to resolve IP address for '" + name + "'.",
       "filladdr() failed"}));
  EXPECT_EQ(h.clock.slept_ms(), 1000);

  h.change([](Settings& s) { s.unattended_operation = 1; });
  EXPECT_EQ(connect_news_server(h.ctx, sock), -1);
  EXPECT_EQ(h.dialogs.boxes().size(), 1u);
}

TEST(FilladdrTest, FourDottedNumbersNeedNoLookup) {
  EngineHarness h;
  h.change([](Settings& s) { s.port = 119; });
  auto address_of = [&](const std::string& host) {
    sockaddr_in addr{};
    EXPECT_EQ(filladdr(h.ctx, host, addr), 1) << host;
    char text[INET_ADDRSTRLEN];
    return std::string(::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text));
  };
  EXPECT_EQ(address_of("1.2.3.260"), "1.2.3.4");
  EXPECT_EQ(address_of("-1.0.0.1"), "255.0.0.1");
  EXPECT_EQ(address_of("127.0.0.1junk"), "127.0.0.1");
  EXPECT_EQ(address_of("localhost"), "127.0.0.1");
  EXPECT_TRUE(h.logged("Connecting to news server using port 119"));
}

}  // namespace
}  // namespace fk
