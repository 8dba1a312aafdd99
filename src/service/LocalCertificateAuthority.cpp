#include "service/LocalCertificateAuthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace kdisk::service {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateFree {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Certificate = std::unique_ptr<X509, CertificateFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

std::optional<std::string> readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool writeFile(const std::filesystem::path& path, const std::string& text, bool secret) {
  auto temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out.flush()) return false;
  }
  if (secret)
    std::filesystem::permissions(temporary, std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_write);
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  return !ec;
}

std::string keyPem(EVP_PKEY* key) {
  Bio bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string certificatePem(X509* certificate) {
  Bio bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), certificate);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

Key parseKey(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return Key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

Certificate parseCertificate(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return Certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) return false;
  bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

Certificate makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer,
                            EVP_PKEY* issuerKey, bool authority) {
  Certificate certificate(X509_new());
  X509_set_version(certificate.get(), 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7f;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate.get()));
  BN_free(number);
  // Back-dated a day so a client clock slightly behind still accepts it.
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24 * 3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()),
                  authority ? 10L * 365 * 24 * 3600 : 2L * 365 * 24 * 3600);
  X509_set_pubkey(certificate.get(), key);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("kdisk-service"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : certificate.get();
  X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
  bool ok = true;
  if (authority) {
    ok &= addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    ok &= addExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    ok &= addExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
  } else {
    ok &= addExtension(certificate.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    ok &= addExtension(certificate.get(), signer, NID_key_usage,
                       "critical,digitalSignature,keyEncipherment");
    ok &= addExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
    ok &= addExtension(certificate.get(), signer, NID_subject_alt_name,
                       "IP:127.0.0.1,DNS:localhost");
    ok &= addExtension(certificate.get(), signer, NID_authority_key_identifier, "keyid");
  }
  if (!ok || X509_sign(certificate.get(), issuerKey ? issuerKey : key, EVP_sha256()) == 0)
    return nullptr;
  return certificate;
}

} // namespace

std::optional<LocalCertificateAuthority>
LocalCertificateAuthority::open(const std::filesystem::path& folder, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  LocalCertificateAuthority authority;
  authority.m_caPath = folder / "ca.pem";
  const auto caKeyPath = folder / "ca.key";
  const auto serverPath = folder / "server.pem";
  const auto serverKeyPath = folder / "server.key";

  Key caKey;
  Certificate caCertificate;
  auto caKeyText = readFile(caKeyPath);
  auto caText = readFile(authority.m_caPath);
  if (caKeyText && caText) {
    caKey = parseKey(*caKeyText);
    caCertificate = parseCertificate(*caText);
  }
  bool freshAuthority = false;
  if (!caKey || !caCertificate) {
    caKey = Key(EVP_EC_gen("P-256"));
    if (!caKey) {
      error = "cannot make the CA key";
      return std::nullopt;
    }
    caCertificate = makeCertificate(caKey.get(), "kdisk-service local CA", nullptr, nullptr, true);
    if (!caCertificate || !writeFile(caKeyPath, keyPem(caKey.get()), true) ||
        !writeFile(authority.m_caPath, certificatePem(caCertificate.get()), false)) {
      error = "cannot write the CA into " + folder.string();
      return std::nullopt;
    }
    freshAuthority = true;
  }

  auto serverText = readFile(serverPath);
  auto serverKeyText = readFile(serverKeyPath);
  Certificate serverCertificate = serverText ? parseCertificate(*serverText) : nullptr;
  Key serverKey = serverKeyText ? parseKey(*serverKeyText) : nullptr;
  bool issuedByCa = serverCertificate && X509_verify(serverCertificate.get(), caKey.get()) == 1;
  if (freshAuthority || !serverCertificate || !serverKey || !issuedByCa) {
    serverKey = Key(EVP_EC_gen("P-256"));
    serverCertificate =
        makeCertificate(serverKey.get(), "127.0.0.1", caCertificate.get(), caKey.get(), false);
    if (!serverKey || !serverCertificate ||
        !writeFile(serverKeyPath, keyPem(serverKey.get()), true) ||
        !writeFile(serverPath, certificatePem(serverCertificate.get()), false)) {
      error = "cannot issue the server certificate";
      return std::nullopt;
    }
  }
  authority.m_server.certificateChainPem =
      certificatePem(serverCertificate.get()) + certificatePem(caCertificate.get());
  authority.m_server.privateKeyPem = keyPem(serverKey.get());
  return authority;
}

} // namespace kdisk::service
