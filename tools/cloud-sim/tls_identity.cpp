#include "tls_identity.h"

#include <memory>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace dk::cloudsim::detail {
namespace {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(BIO* p) const { BIO_free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Free>;

std::string opensslError(const char* step) {
  std::string message = step;
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    message += ": ";
    message += text;
  }
  ERR_clear_error();
  return message;
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) return false;
  const bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

Owned<X509> newCertificate(EVP_PKEY* key, const char* commonName, long validDays) {
  Owned<X509> certificate(X509_new());
  if (!certificate) return nullptr;
  uint64_t serial = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) != 1) return nullptr;
  serial &= 0x7fffffffffffffffULL;
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set_uint64(X509_get_serialNumber(certificate.get()), serial | 1);
  // A day of slack before "now" for clocks that disagree a little.
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -86400L);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), validDays * 86400L);
  X509_set_pubkey(certificate.get(), key);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("DKChronoKit cloud-sim"), -1,
                             -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return certificate;
}

std::string toPem(X509* certificate) {
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

std::string toPem(EVP_PKEY* key) {
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return {};
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

}  // namespace

std::optional<TlsIdentity> makeTlsIdentity(std::string* error) {
  auto fail = [&](const char* step) -> std::optional<TlsIdentity> {
    if (error) *error = opensslError(step);
    return std::nullopt;
  };

  Owned<EVP_PKEY> caKey(EVP_EC_gen("P-256"));
  Owned<EVP_PKEY> serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) return fail("generating keys");

  Owned<X509> ca = newCertificate(caKey.get(), "cloud-sim test CA", 3650);
  if (!ca) return fail("creating the CA certificate");
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  if (!addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
      !addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash")) {
    return fail("CA extensions");
  }
  if (X509_sign(ca.get(), caKey.get(), EVP_sha256()) == 0) return fail("signing the CA");

  Owned<X509> server = newCertificate(serverKey.get(), "localhost", 825);
  if (!server) return fail("creating the server certificate");
  X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get()));
  if (!addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") ||
      !addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature") ||
      !addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") ||
      !addExtension(server.get(), ca.get(), NID_subject_alt_name,
                    "DNS:localhost,IP:127.0.0.1") ||
      !addExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash") ||
      !addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always")) {
    return fail("server certificate extensions");
  }
  if (X509_sign(server.get(), caKey.get(), EVP_sha256()) == 0) return fail("signing the server");

  TlsIdentity identity;
  identity.caCertificatePem = toPem(ca.get());
  identity.serverCertificatePem = toPem(server.get());
  identity.serverPrivateKeyPem = toPem(serverKey.get());
  if (identity.caCertificatePem.empty() || identity.serverCertificatePem.empty() ||
      identity.serverPrivateKeyPem.empty()) {
    return fail("writing PEM");
  }
  return identity;
}

}  // namespace dk::cloudsim::detail
