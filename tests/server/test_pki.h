// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private certificate authority and a server certificate it signs, made in memory at start, so the
// TLS tests need no openssl program and no files of their own.

#include <string>
#include <vector>

namespace fk::test {

struct CertificateOptions {
  std::vector<std::string> names = {"localhost"};        // DNS subject alternative names
  std::vector<std::string> ips = {"127.0.0.1", "::1"};  // IP subject alternative names
  bool expired = false;                                  // valid until yesterday
};

struct TestPki {
  std::string ca_pem;    // the authority's certificate: what a client must trust
  std::string cert_pem;  // the server's certificate
  std::string key_pem;   // the server's private key
};

// Empty strings when the library failed (it does not on a sane system).
TestPki make_test_pki(const CertificateOptions& options = {});

}  // namespace fk::test
