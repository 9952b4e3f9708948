#include "opc/ua/UaSecurityPolicy.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace {

constexpr const char* RsaSha256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr const char* RsaPssSha256 = "http://opcfoundation.org/UA/security/rsa-pss-sha2-256";
constexpr const char* RsaOaep = "http://www.w3.org/2001/04/xmlenc#rsa-oaep";
constexpr const char* RsaOaepSha256 = "http://opcfoundation.org/UA/security/rsa-oaep-sha2-256";

const std::vector<UaSecurityPolicy> Policies = {
    {"None", "http://opcfoundation.org/UA/SecurityPolicy#None", false, false,
     UaRsaSignature::Pkcs1Sha256, "", UaRsaEncryption::OaepSha1, "", 0, 0, 1, 0, 0, 0},
    {"Basic128Rsa15", "http://opcfoundation.org/UA/SecurityPolicy#Basic128Rsa15", true, true,
     UaRsaSignature::Pkcs1Sha256, "", UaRsaEncryption::OaepSha1, "", 0, 0, 16, 0, 0, 0},
    {"Basic256", "http://opcfoundation.org/UA/SecurityPolicy#Basic256", true, true,
     UaRsaSignature::Pkcs1Sha256, "", UaRsaEncryption::OaepSha1, "", 0, 0, 16, 0, 0, 0},
    {"Aes128_Sha256_RsaOaep", "http://opcfoundation.org/UA/SecurityPolicy#Aes128_Sha256_RsaOaep",
     true, false, UaRsaSignature::Pkcs1Sha256, RsaSha256, UaRsaEncryption::OaepSha1, RsaOaep, 32,
     16, 16, 32, 32, 1},
    {"Basic256Sha256", "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256", true, false,
     UaRsaSignature::Pkcs1Sha256, RsaSha256, UaRsaEncryption::OaepSha1, RsaOaep, 32, 32, 16, 32, 32,
     2},
    {"Aes256_Sha256_RsaPss", "http://opcfoundation.org/UA/SecurityPolicy#Aes256_Sha256_RsaPss",
     true, false, UaRsaSignature::PssSha256, RsaPssSha256, UaRsaEncryption::OaepSha256,
     RsaOaepSha256, 32, 32, 16, 32, 32, 3},
};

[[noreturn]] void Fail(const std::string& what) {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  std::string detail;
  if (code != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    detail = std::string(" (") + text + ")";
  }
  throw UaSecurityError(what + detail);
}

const unsigned char* U(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}
unsigned char* U(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }
EVP_PKEY* P(const UaKey& k) { return static_cast<EVP_PKEY*>(k.Pkey()); }

struct CtxFree {
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
  void operator()(EVP_KDF_CTX* c) const { EVP_KDF_CTX_free(c); }
  void operator()(EVP_KDF* c) const { EVP_KDF_free(c); }
  void operator()(BIO* b) const { BIO_free(b); }
};
template <typename T>
using Owned = std::unique_ptr<T, CtxFree>;

void SetPadding(EVP_PKEY_CTX* ctx, const UaSecurityPolicy& p) {
  if (EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) <= 0) Fail("RSA padding");
  const EVP_MD* md =
      p.AsymmetricEncryption == UaRsaEncryption::OaepSha256 ? EVP_sha256() : EVP_sha1();
  if (EVP_PKEY_CTX_set_rsa_oaep_md(ctx, md) <= 0 || EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, md) <= 0)
    Fail("RSA OAEP digest");
}

void SetSignaturePadding(EVP_PKEY_CTX* ctx, const UaSecurityPolicy& p) {
  if (p.AsymmetricSignature == UaRsaSignature::PssSha256) {
    if (EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PSS_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx, RSA_PSS_SALTLEN_DIGEST) <= 0 ||
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha256()) <= 0)
      Fail("RSA-PSS padding");
  } else if (EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) <= 0) {
    Fail("RSA padding");
  }
}

}  // namespace

const std::vector<UaSecurityPolicy>& UaSecurityPolicies() { return Policies; }

const UaSecurityPolicy* FindUaSecurityPolicy(std::string_view uriOrName) {
  for (const UaSecurityPolicy& p : Policies)
    if (uriOrName == p.Uri || uriOrName == p.Name) return &p;
  return nullptr;
}

const UaSecurityPolicy& UaPolicyNone() { return Policies.front(); }

int UaKey::Bytes() const { return pkey_ ? EVP_PKEY_get_size(P(*this)) : 0; }

UaKey UaKey::FromPem(std::string_view pem) {
  Owned<BIO> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
  if (!key) Fail("The private key cannot be read");
  return UaKey(
      std::shared_ptr<void>(key, [](void* k) { EVP_PKEY_free(static_cast<EVP_PKEY*>(k)); }));
}

std::string UaKey::PrivatePem() const {
  Owned<BIO> bio(BIO_new(BIO_s_mem()));
  if (!PEM_write_bio_PrivateKey(bio.get(), P(*this), nullptr, nullptr, 0, nullptr, nullptr))
    Fail("The private key cannot be written");
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  std::string out(data, static_cast<std::size_t>(n));
  return out;
}

std::string UaRandomBytes(std::size_t n) {
  std::string out(n, '\0');
  if (n > 0 && RAND_bytes(U(out), static_cast<int>(n)) != 1) Fail("No random bytes");
  return out;
}

std::string UaSha1(std::string_view data) {
  std::string out(20, '\0');
  unsigned int n = 0;
  if (!EVP_Digest(data.data(), data.size(), U(out), &n, EVP_sha1(), nullptr)) Fail("SHA-1");
  return out;
}

std::string UaPSha256(std::string_view secret, std::string_view seed, std::size_t length) {
  // P_SHA256 is the TLS 1.2 pseudo-random function with an empty label.
  Owned<EVP_KDF> kdf(EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr));
  if (!kdf) Fail("No TLS1-PRF");
  Owned<EVP_KDF_CTX> ctx(EVP_KDF_CTX_new(kdf.get()));
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, const_cast<char*>(secret.data()),
                                        secret.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SEED, const_cast<char*>(seed.data()),
                                        seed.size()),
      OSSL_PARAM_construct_end()};
  std::string out(length, '\0');
  if (EVP_KDF_derive(ctx.get(), U(out), length, params) <= 0) Fail("Key derivation");
  return out;
}

UaSymmetricKeys UaDeriveKeys(const UaSecurityPolicy& p, std::string_view secret,
                             std::string_view seed) {
  const std::size_t s = p.SymmetricSignatureKeyLength, e = p.SymmetricEncryptionKeyLength,
                    b = p.SymmetricBlockSize;
  const std::string all = UaPSha256(secret, seed, s + e + b);
  return {all.substr(0, s), all.substr(s, e), all.substr(s + e, b)};
}

std::string UaHmacSha256(std::string_view key, std::string_view data) {
  std::string out(32, '\0');
  std::size_t n = 0;
  if (!EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key.data(), key.size(), U(data),
                 data.size(), U(out), out.size(), &n))
    Fail("HMAC");
  return out;
}

bool UaEqualBytes(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string UaAesCbc(const UaSecurityPolicy& p, const UaSymmetricKeys& keys, std::string_view data,
                     bool encrypt) {
  if (data.size() % p.SymmetricBlockSize != 0) throw UaSecurityError("Not whole cipher blocks");
  const EVP_CIPHER* cipher =
      p.SymmetricEncryptionKeyLength == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  Owned<EVP_CIPHER_CTX> ctx(EVP_CIPHER_CTX_new());
  if (!EVP_CipherInit_ex(ctx.get(), cipher, nullptr, U(keys.EncryptingKey), U(keys.Iv),
                         encrypt ? 1 : 0))
    Fail("AES");
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::string out(data.size(), '\0');
  int n = 0, tail = 0;
  if (!EVP_CipherUpdate(ctx.get(), U(out), &n, U(data), static_cast<int>(data.size())) ||
      !EVP_CipherFinal_ex(ctx.get(), U(out) + n, &tail))
    Fail("AES");
  return out;
}

std::string UaRsaSign(const UaSecurityPolicy& p, const UaKey& privateKey, std::string_view data) {
  Owned<EVP_MD_CTX> md(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  if (!EVP_DigestSignInit(md.get(), &pctx, EVP_sha256(), nullptr, P(privateKey)))
    Fail("RSA signature");
  SetSignaturePadding(pctx, p);
  std::size_t n = 0;
  if (!EVP_DigestSign(md.get(), nullptr, &n, U(data), data.size())) Fail("RSA signature");
  std::string out(n, '\0');
  if (!EVP_DigestSign(md.get(), U(out), &n, U(data), data.size())) Fail("RSA signature");
  out.resize(n);
  return out;
}

bool UaRsaVerify(const UaSecurityPolicy& p, const UaKey& publicKey, std::string_view data,
                 std::string_view signature) {
  Owned<EVP_MD_CTX> md(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pctx = nullptr;
  if (!EVP_DigestVerifyInit(md.get(), &pctx, EVP_sha256(), nullptr, P(publicKey)))
    Fail("RSA signature");
  SetSignaturePadding(pctx, p);
  const bool ok =
      EVP_DigestVerify(md.get(), U(signature), signature.size(), U(data), data.size()) == 1;
  ERR_clear_error();
  return ok;
}

int UaRsaPlainBlock(const UaSecurityPolicy& p, const UaKey& key) {
  // OAEP takes two digests and two bytes of each block.
  const int digest = p.AsymmetricEncryption == UaRsaEncryption::OaepSha256 ? 32 : 20;
  return key.Bytes() - 2 * digest - 2;
}

std::string UaRsaEncrypt(const UaSecurityPolicy& p, const UaKey& publicKey, std::string_view data) {
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(P(publicKey), nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0) Fail("RSA encryption");
  SetPadding(ctx.get(), p);
  const std::size_t plain = static_cast<std::size_t>(UaRsaPlainBlock(p, publicKey));
  std::string out;
  for (std::size_t at = 0; at < data.size(); at += plain) {
    const std::string_view block = data.substr(at, plain);
    std::string cipher(static_cast<std::size_t>(publicKey.Bytes()), '\0');
    std::size_t n = cipher.size();
    if (EVP_PKEY_encrypt(ctx.get(), U(cipher), &n, U(block), block.size()) <= 0)
      Fail("RSA encryption");
    out.append(cipher, 0, n);
  }
  return out;
}

std::string UaRsaDecrypt(const UaSecurityPolicy& p, const UaKey& privateKey,
                         std::string_view data) {
  const std::size_t block = static_cast<std::size_t>(privateKey.Bytes());
  if (block == 0 || data.size() % block != 0) throw UaSecurityError("Not whole RSA blocks");
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new(P(privateKey), nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0) Fail("RSA decryption");
  SetPadding(ctx.get(), p);
  std::string out;
  for (std::size_t at = 0; at < data.size(); at += block) {
    std::string plain(block, '\0');
    std::size_t n = plain.size();
    if (EVP_PKEY_decrypt(ctx.get(), U(plain), &n, U(data.substr(at, block)), block) <= 0)
      Fail("The message cannot be decrypted");
    out.append(plain, 0, n);
  }
  return out;
}
