// SPDX-License-Identifier: GPL-3.0-or-later
// fennick-demo-server: serves demo news groups on a local port so the program can be tried without Usenet.
#include <signal.h>

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "server/nntp_test_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: fennick-demo-server [--port N] [--dir FOLDER | --pictures FOLDER] [--address A]\n"
    "                           [--user U --pass P] [--huge N] [--tls | --starttls] [--compress]\n"
    "                           [--quiet] [--list-groups]\n"
    "\n"
    "Serves news groups over NNTP until interrupted (Ctrl-C). Without --dir it serves the demo: three\n"
    "groups of small pictures, uuencoded and MIME base64, among postings the default rules pass over.\n"
    "  --port N      TCP port (default 1119; 0 picks a free one, printed at start)\n"
    "  --pictures FOLDER  where the demo's pictures are (default: the source tree's tests/data/demo)\n"
    "  --dir FOLDER  one group per sub-folder, one article per file, instead of the demo;\n"
    "                .txt/.uue files are served as text, .msg files may start with Subject:/From:/\n"
    "                Date:/Message-ID: lines and a blank line, other files are served uuencoded\n"
    "  --address A   IPv4 address to listen on (default 127.0.0.1)\n"
    "  --user U --pass P   require AUTHINFO with these\n"
    "  --huge N      also serve alt.binaries.pictures.demo.huge: N generated articles numbered from\n"
    "                1,000,000,001, a picture every 1,000, growing by 1,000 articles a minute\n"
    "  --tls         speak TLS from the first byte (as on port 563), with a certificate for localhost,\n"
    "                127.0.0.1 and ::1 made at start by a private CA; the CA is written to\n"
    "                fennick-demo-ca.pem in the current folder (give it to tls_ca_file)\n"
    "  --starttls    plain, offering STARTTLS with the same certificate\n"
    "  --compress    offer COMPRESS DEFLATE (used with fast_transfers=1)\n"
    "  --delay MS    wait MS milliseconds before every reply (a slow server, for watching a harvest)\n"
    "  --quiet       do not print the commands received\n"
    "  --list-groups print the group names, one a line, and exit (for writing a newsrc)\n"
    "  --help        this text\n";

bool parse_port(const std::string& text, std::uint16_t& port) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 0 || v > 65535) return false;
  port = static_cast<std::uint16_t>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  fk::test::ServerOptions options;
  options.port = 1119;
  std::string dir;
  std::string pictures = FK_DEMO_PICTURES;
  bool quiet = false;
  bool list_groups = false;
  std::int64_t huge = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::cerr << "fennick-demo-server: " << arg << " needs a value\n" << kUsage;
        std::exit(2);
      }
      out = argv[++i];
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--port") {
      value(v);
      if (!parse_port(v, options.port)) {
        std::cerr << "fennick-demo-server: bad port '" << v << "'\n";
        return 2;
      }
    } else if (arg == "--dir") {
      value(dir);
    } else if (arg == "--pictures") {
      value(pictures);
    } else if (arg == "--list-groups") {
      list_groups = true;
    } else if (arg == "--address") {
      value(options.address);
    } else if (arg == "--user") {
      value(options.user);
    } else if (arg == "--pass") {
      value(options.pass);
    } else if (arg == "--huge") {
      value(v);
      char* end = nullptr;
      huge = std::strtoll(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || huge < 1 || huge > 1'000'000'000'000) {
        std::cerr << "fennick-demo-server: bad article count '" << v << "'\n";
        return 2;
      }
    } else if (arg == "--tls") {
      options.tls = fk::test::ServerTls::Implicit;
    } else if (arg == "--starttls") {
      options.tls = fk::test::ServerTls::StartTls;
    } else if (arg == "--compress") {
      options.compress_deflate = true;
    } else if (arg == "--delay") {
      value(v);
      std::uint16_t ms = 0;
      if (!parse_port(v, ms)) {
        std::cerr << "fennick-demo-server: bad delay '" << v << "'\n";
        return 2;
      }
      options.reply_delay = std::chrono::milliseconds(ms);
    } else if (arg == "--quiet") {
      quiet = true;
    } else {
      std::cerr << "fennick-demo-server: unknown option '" << arg << "'\n" << kUsage;
      return 2;
    }
  }

  std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  std::string error;
  std::shared_ptr<fk::test::MemoryContent> content = dir.empty()
                                                         ? fk::test::make_demo_content(now, pictures, &error)
                                                         : fk::test::load_folder_content(dir, now, &error);
  if (!content) {
    std::cerr << "fennick-demo-server: " << error << "\n";
    return 1;
  }
  constexpr const char* kHuge = "alt.binaries.pictures.demo.huge";
  const std::int64_t huge_first = 1'000'000'001;
  auto huge_range = [&] {
    // Grows while the server runs, so a second session has something new to read.
    std::int64_t grown = (static_cast<std::int64_t>(std::time(nullptr)) - now) / 60 * 1000;
    content->set_generated_group(kHuge, fk::test::GeneratedGroup{huge_first, huge_first + huge - 1 + grown,
                                                                 1000, fk::test::rfc_date(now)});
  };
  if (huge > 0) huge_range();
  if (list_groups) {
    for (const auto& g : content->group_names()) std::cout << g << "\n";
    return 0;
  }

  // Signals are taken synchronously below, so every thread started from here on leaves them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  fk::test::NntpTestServer server(content, options);
  if (!server.listening()) {
    std::cerr << "fennick-demo-server: " << server.error() << "\n";
    return 1;
  }
  if (options.tls != fk::test::ServerTls::None) {
    constexpr const char* kCaFile = "fennick-demo-ca.pem";
    if (!server.write_ca_file(kCaFile)) {
      std::cerr << "fennick-demo-server: cannot write " << kCaFile << "\n";
      return 1;
    }
    std::cout << "TLS certificate authority written to " << kCaFile << std::endl;
  }
  if (!quiet)
    server.set_command_listener([](const std::string& line) { std::cout << "> " << line << std::endl; });
  std::cout << "fennick-demo-server listening on " << options.address << ":" << server.port()
            << (options.tls == fk::test::ServerTls::Implicit   ? " (TLS)"
                : options.tls == fk::test::ServerTls::StartTls ? " (STARTTLS)"
                                                               : "")
            << (server.listening_ipv6() ? " and [::1]" : "") << " with "
            << content->group_names().size() << " groups" << std::endl;
  for (const auto& g : content->group_names()) {
    auto s = content->group(g);
    std::cout << "  " << g << " (" << (s ? s->count : 0) << " articles)" << std::endl;
  }

  const timespec tick{1, 0};
  while (sigtimedwait(&signals, nullptr, &tick) < 0)
    if (huge > 0) huge_range();
  std::cout << "fennick-demo-server stopping" << std::endl;
  return 0;
}
