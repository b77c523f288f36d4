// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scriptable NNTP server on a local port for engine tests and the demo, recording every command.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/news_content.h"
#include "server/test_pki.h"

struct ssl_ctx_st;

namespace fk::test {

// What a fault does in place of the normal answer.
enum class FaultAction {
  Reply,  // send `data`, then go on serving
  Drop,   // send `data`, then close the connection
  Stall,  // send `data`, then answer nothing more until the client goes or the server stops
  Flood,  // send `data`, then `repeat` over and over until the client goes or the server stops
  Cut,    // send the first half of the normal answer (a body broken off midway), then close
  CutRecord,  // send `data`, then the start of a TLS record that never ends, and close
  CorruptDeflate,  // send the first half of the normal answer, then bytes no inflater accepts, and stall
};

enum class ServerTls {
  None,      // plain; STARTTLS is answered 580
  Implicit,  // TLS from the first byte
  StartTls,  // plain, CAPABILITIES offers STARTTLS
};

// A scripted answer. `command` is matched, case ignored, against the start of the received line
// ("GROUP", "AUTHINFO PASS", "BODY 3"); an empty `command` stands for the greeting.
struct Fault {
  std::string command;
  int occurrence = 0;  // 1-based among the lines it matches; 0 for every one
  FaultAction action = FaultAction::Reply;
  std::string data;  // sent as it is: the test writes its own line ends
  std::string repeat = "x";
};

struct ServerOptions {
  std::string greeting = "200 Fennick test server ready (posting ok)";
  // When user is not empty, AUTHINFO PASS is accepted (281) only for this user and password, else 481.
  std::string user;
  std::string pass;
  std::string address = "127.0.0.1";
  std::uint16_t port = 0;  // 0: an ephemeral port
  bool listen_ipv6 = true;  // also on ::1 at the same port, where the system has IPv6
  ServerTls tls = ServerTls::None;
  CertificateOptions certificate = {};  // the server's certificate, from a private CA made at start
  // Every answer leaves this long after its command arrived: a round trip over a slow line. Commands
  // sent ahead are answered one after another from their own arrival, as a real line would.
  std::chrono::milliseconds reply_delay{0};
  // CAPABILITIES offers COMPRESS DEFLATE, and after its 206 both directions are raw deflate.
  bool compress_deflate = false;
  // Connections served at once; one more is greeted "502 Too many connections" and closed. 0: any.
  std::size_t max_connections = 0;
  // Bytes a second each connection sends at most, as a provider's cap per connection. 0: no cap.
  std::int64_t rate_per_connection = 0;
};

class NntpTestServer {
 public:
  explicit NntpTestServer(std::shared_ptr<NewsContent> content = std::make_shared<MemoryContent>(),
                          ServerOptions options = {});
  // Closes every connection and joins every thread.
  ~NntpTestServer();
  NntpTestServer(const NntpTestServer&) = delete;
  NntpTestServer& operator=(const NntpTestServer&) = delete;

  // False when the address could not be bound (error() says why).
  bool listening() const { return listen_fd_ >= 0; }
  const std::string& error() const { return error_; }
  std::uint16_t port() const { return port_; }
  // Whether ::1 is served too.
  bool listening_ipv6() const { return listen6_fd_ >= 0; }
  // The private CA that signed the server's certificate (PEM); empty without TLS.
  const std::string& ca_pem() const { return pki_.ca_pem; }
  // Writes ca_pem() to a file; false when it cannot.
  bool write_ca_file(const std::string& path) const;

  void add_fault(Fault fault);
  // The content, when it is a MemoryContent (the default); nullptr otherwise.
  MemoryContent* memory();

  // Every command line received, in order, without its line end, across all connections.
  std::vector<std::string> commands() const;
  // Waits until at least n commands arrived; false after the timeout.
  bool wait_for_commands(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // Waits until no connection is open (the server has taken in all a client sent before it closed);
  // false after the timeout.
  bool wait_until_idle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  std::size_t connections() const { return connections_.load(); }
  // Connections open right now.
  std::size_t open_connections() const {
    std::lock_guard lock(mutex_);
    return open_;
  }
  // Bytes written to clients.
  std::int64_t bytes_sent() const { return bytes_sent_.load(); }
  // Called with every command line received (the demo prints them). Set before clients connect.
  void set_command_listener(std::function<void(const std::string&)> listener) {
    listener_ = std::move(listener);
  }

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void accept_loop();
  // `too_many`: past max_connections, greeted with 502 and closed.
  void serve(int fd, bool too_many);
  // The scripted fault for this line (the greeting when line is empty), if any; counts the match.
  // Shared, not copied: a fault may carry megabytes.
  std::shared_ptr<const Fault> take_fault(const std::string& line, bool greeting);
  void record(const std::string& line);

  std::shared_ptr<NewsContent> content_;
  ServerOptions options_;
  int listen_fd_ = -1;
  int listen6_fd_ = -1;
  TestPki pki_;
  ssl_ctx_st* tls_ = nullptr;
  int wake_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::string error_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> connections_{0};
  std::atomic<std::int64_t> bytes_sent_{0};
  std::function<void(const std::string&)> listener_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> commands_;
  std::size_t open_ = 0;
  struct ScriptedFault {
    std::shared_ptr<const Fault> fault;
    int seen = 0;
  };
  std::vector<ScriptedFault> faults_;
  std::vector<Worker> workers_;  // touched by the acceptor, and by the destructor after it joined
  std::thread acceptor_;
};

}  // namespace fk::test
