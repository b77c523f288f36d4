// SPDX-License-Identifier: GPL-3.0-or-later
// Certificates made with the OpenSSL API: P-256 keys, a CA, a leaf with subject alternative names.
#include "server/test_pki.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <functional>
#include <memory>

namespace fk::test {

namespace {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Cert = std::unique_ptr<X509, Free>;

Key new_key() {
  return Key(EVP_EC_gen("P-256"));
}

void add_extension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str())) {
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
}

Cert new_cert(EVP_PKEY* key, const char* common_name, long serial, bool expired) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  constexpr long kDay = 24 * 3600;
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), expired ? -30 * kDay : -kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), expired ? -kDay : 365 * kDay);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(common_name), -1,
                             -1, 0);
  return cert;
}

std::string pem_of(const std::function<int(BIO*)>& write) {
  std::unique_ptr<BIO, Free> bio(BIO_new(BIO_s_mem()));
  if (!bio || write(bio.get()) != 1) return {};
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

TestPki make_test_pki(const CertificateOptions& options) {
  TestPki out;
  Key ca_key = new_key(), key = new_key();
  if (!ca_key || !key) return out;

  Cert ca = new_cert(ca_key.get(), "Fennick Test CA", 1, false);
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  add_extension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
  add_extension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  add_extension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  if (X509_sign(ca.get(), ca_key.get(), EVP_sha256()) == 0) return out;

  const std::string cn = options.names.empty() ? "server" : options.names.front();
  Cert leaf = new_cert(key.get(), cn.c_str(), 2, options.expired);
  X509_set_issuer_name(leaf.get(), X509_get_subject_name(ca.get()));
  std::string san;
  for (const auto& n : options.names) san += (san.empty() ? "DNS:" : ",DNS:") + n;
  for (const auto& ip : options.ips) san += (san.empty() ? "IP:" : ",IP:") + ip;
  if (!san.empty()) add_extension(leaf.get(), ca.get(), NID_subject_alt_name, san);
  add_extension(leaf.get(), ca.get(), NID_basic_constraints, "CA:FALSE");
  add_extension(leaf.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  add_extension(leaf.get(), ca.get(), NID_authority_key_identifier, "keyid");
  if (X509_sign(leaf.get(), ca_key.get(), EVP_sha256()) == 0) return out;

  out.ca_pem = pem_of([&](BIO* b) { return PEM_write_bio_X509(b, ca.get()); });
  out.cert_pem = pem_of([&](BIO* b) { return PEM_write_bio_X509(b, leaf.get()); });
  out.key_pem = pem_of(
      [&](BIO* b) { return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr); });
  return out;
}

}  // namespace fk::test
