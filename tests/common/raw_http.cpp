// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace fk::test {

RawHttp::RawHttp(int port) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
  fd_ = std::move(fd);
}

bool RawHttp::send(std::string_view bytes) {
  return fd_ && write_all(fd_.get(), bytes);
}

std::string RawHttp::read_until(std::string_view marker, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::string chunk(16384, '\0');
  while (fd_ && buffer_.find(marker) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = ::read(fd_.get(), chunk.data(), chunk.size());
    if (n <= 0) break;
    buffer_.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return buffer_;
}

std::string RawResponse::header(std::string_view name) const {
  std::size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    const std::size_t end = head.find("\r\n", pos + 2);
    const std::string_view line = std::string_view(head).substr(pos + 2, end - pos - 2);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && colon == name.size()) {
      bool same = true;
      for (std::size_t i = 0; i < colon; ++i)
        same = same && std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
      if (same) {
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        return std::string(value);
      }
    }
    pos = end;
  }
  return {};
}

RawResponse raw_get(int port, std::string_view target, std::string_view extra_headers, std::string_view method,
                    std::string_view body) {
  RawHttp http(port);
  std::string request(method);
  request += ' ';
  request += target;
  request += " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  request += extra_headers;
  if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "\r\n";
  request += body;
  RawResponse r;
  if (!http.send(request)) return r;
  const std::string all = http.read_until("\x01never\x02", std::chrono::seconds(10));
  const std::size_t split = all.find("\r\n\r\n");
  r.head = all.substr(0, split);
  if (split != std::string::npos) r.body = all.substr(split + 4);
  if (r.head.size() > 12) r.status = std::atoi(r.head.substr(9, 3).c_str());
  return r;
}

}  // namespace fk::test
