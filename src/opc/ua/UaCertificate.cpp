#include "opc/ua/UaCertificate.h"

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

struct Free {
  void operator()(X509* x) const { X509_free(x); }
  void operator()(BIO* b) const { BIO_free(b); }
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
  void operator()(GENERAL_NAMES* n) const { GENERAL_NAMES_free(n); }
  void operator()(X509_EXTENSION* e) const { X509_EXTENSION_free(e); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

Owned<X509> Parse(std::string_view der) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
  Owned<X509> x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  ERR_clear_error();
  if (!x || p != reinterpret_cast<const unsigned char*>(der.data()) + der.size())
    throw UaSecurityError("The server's certificate is not a valid X.509 certificate");
  return x;
}

std::time_t TimeOf(const ASN1_TIME* t) {
  struct tm tm {};
  if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return 0;
  return timegm(&tm);
}

UaKey Wrap(EVP_PKEY* k) {
  return UaKey(std::shared_ptr<void>(k, [](void* p) { EVP_PKEY_free(static_cast<EVP_PKEY*>(p)); }));
}

void AddExtension(X509* cert, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  Owned<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()));
  if (!ext || !X509_add_ext(cert, ext.get(), -1))
    throw UaSecurityError("The certificate extension " + value + " cannot be made");
}

}  // namespace

UaCertificate UaCertificate::FromDer(std::string_view der) {
  Owned<X509> x = Parse(der);
  UaCertificate c;
  c.der_ = std::string(der);
  c.notBefore_ = TimeOf(X509_get0_notBefore(x.get()));
  c.notAfter_ = TimeOf(X509_get0_notAfter(x.get()));
  EVP_PKEY* key = X509_get_pubkey(x.get());
  if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
    EVP_PKEY_free(key);
    throw UaSecurityError("The server's certificate carries no RSA key");
  }
  c.publicKey_ = Wrap(key);
  return c;
}

std::string UaCertificate::ThumbprintHex() const {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : Thumbprint()) {
    if (!out.empty()) out += ':';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string UaCertificate::Subject() const {
  if (der_.empty()) return {};
  Owned<X509> x = Parse(der_);
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(bio.get(), X509_get_subject_name(x.get()), 0,
                     XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

std::string UaCertificate::ApplicationUri() const {
  if (der_.empty()) return {};
  Owned<X509> x = Parse(der_);
  Owned<GENERAL_NAMES> names(static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(x.get(), NID_subject_alt_name, nullptr, nullptr)));
  if (!names) return {};
  for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
    const GENERAL_NAME* n = sk_GENERAL_NAME_value(names.get(), i);
    if (n->type != GEN_URI) continue;
    const ASN1_IA5STRING* s = n->d.uniformResourceIdentifier;
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                       static_cast<std::size_t>(ASN1_STRING_length(s)));
  }
  return {};
}

bool UaCertificate::SignedBy(const UaCertificate& issuer) const {
  if (der_.empty() || !issuer.publicKey_.Valid()) return false;
  Owned<X509> x = Parse(der_);
  const bool ok = X509_verify(x.get(), static_cast<EVP_PKEY*>(issuer.publicKey_.Pkey())) == 1;
  ERR_clear_error();
  return ok;
}

bool UaCertificate::SignedByItself() const { return SignedBy(*this); }

bool UaCertificate::IssuedBySubject() const {
  if (der_.empty()) return false;
  Owned<X509> x = Parse(der_);
  return X509_NAME_cmp(X509_get_subject_name(x.get()), X509_get_issuer_name(x.get())) == 0;
}

UaOwnIdentity CreateUaSelfSignedCertificate(const std::string& applicationUri,
                                            const std::string& commonName,
                                            const std::string& hostName, int years) {
  EVP_PKEY* raw = EVP_RSA_gen(2048);
  if (!raw) throw UaSecurityError("No RSA key could be made");
  UaKey key = Wrap(raw);
  Owned<X509> x(X509_new());
  X509_set_version(x.get(), 2);
  const std::string serial = UaRandomBytes(16);
  BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(serial.data()), 16, nullptr);
  BN_clear_bit(bn, 127);  // a positive serial number
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(x.get()), -60);
  X509_gmtime_adj(X509_getm_notAfter(x.get()), static_cast<long>(years) * 365 * 24 * 3600);
  X509_set_pubkey(x.get(), raw);
  X509_NAME* name = X509_get_subject_name(x.get());
  const auto add = [&](const char* field, const std::string& value) {
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
  };
  add("CN", commonName);
  add("O", "Vor Tuner");
  if (!hostName.empty()) add("DC", hostName);
  X509_set_issuer_name(x.get(), name);
  AddExtension(x.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(x.get(), NID_subject_key_identifier, "hash");
  AddExtension(x.get(), NID_authority_key_identifier, "keyid,issuer");
  AddExtension(
      x.get(), NID_key_usage,
      "critical,digitalSignature,nonRepudiation,keyEncipherment,dataEncipherment,keyCertSign");
  AddExtension(x.get(), NID_ext_key_usage, "serverAuth,clientAuth");
  AddExtension(x.get(), NID_subject_alt_name,
               "URI:" + applicationUri + (hostName.empty() ? "" : ",DNS:" + hostName));
  if (!X509_sign(x.get(), raw, EVP_sha256()))
    throw UaSecurityError("The certificate cannot be signed");
  unsigned char* der = nullptr;
  const int n = i2d_X509(x.get(), &der);
  if (n <= 0) throw UaSecurityError("The certificate cannot be written");
  std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
  OPENSSL_free(der);
  return {UaCertificate::FromDer(bytes), key};
}

std::string FormatUaTime(std::time_t t) {
  struct tm tm {};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}
