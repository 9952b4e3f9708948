// The security policies of the secure channel as rows of data, and the one set of
// cryptographic operations (over OpenSSL's EVP interface) that serves every row: key
// derivation, symmetric signatures and encryption, RSA signatures and encryption.
// The chunk and session layers ask a policy for its sizes and call these operations;
// they never name a policy.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A cryptographic operation failed or a key or certificate is unusable; what() says which.
class UaSecurityError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class UaSecurityMode : std::uint32_t { None = 1, Sign = 2, SignAndEncrypt = 3 };

enum class UaRsaSignature { Pkcs1Sha256, PssSha256 };
enum class UaRsaEncryption { OaepSha1, OaepSha256 };

struct UaSecurityPolicy {
  const char* Name;  // "Basic256Sha256"
  const char* Uri;
  bool Secured;     // false only for None
  bool Deprecated;  // known, but refused
  UaRsaSignature AsymmetricSignature;
  const char* AsymmetricSignatureUri;
  UaRsaEncryption AsymmetricEncryption;
  const char* AsymmetricEncryptionUri;
  int SymmetricSignatureKeyLength;
  int SymmetricEncryptionKeyLength;  // AES-128 or AES-256 in CBC mode
  int SymmetricBlockSize;
  int SymmetricSignatureLength;  // HMAC-SHA256
  int NonceLength;
  int Rank;  // higher is preferred when the program chooses
};

// Every policy the program knows, None first; the deprecated ones are listed so that they
// can be refused by name.
const std::vector<UaSecurityPolicy>& UaSecurityPolicies();
// The policy of a URI or a short name; nullptr when unknown.
const UaSecurityPolicy* FindUaSecurityPolicy(std::string_view uriOrName);
const UaSecurityPolicy& UaPolicyNone();

// An RSA key (a private key, or a certificate's public key).
class UaKey {
 public:
  UaKey() = default;
  explicit UaKey(std::shared_ptr<void> pkey) : pkey_(std::move(pkey)) {}
  bool Valid() const { return pkey_ != nullptr; }
  void* Pkey() const { return pkey_.get(); }  // EVP_PKEY*
  int Bytes() const;                          // the modulus length in bytes

  static UaKey FromPem(std::string_view pem);  // a private key; throws UaSecurityError
  std::string PrivatePem() const;

 private:
  std::shared_ptr<void> pkey_;
};

// The keys one side secures its messages with.
struct UaSymmetricKeys {
  std::string SigningKey, EncryptingKey, Iv;
};

std::string UaRandomBytes(std::size_t n);
std::string UaSha1(std::string_view data);
// P_SHA256(secret, seed) cut to length bytes.
std::string UaPSha256(std::string_view secret, std::string_view seed, std::size_t length);
// The keys of the side whose nonce is `seed`, from the other side's nonce as the secret.
UaSymmetricKeys UaDeriveKeys(const UaSecurityPolicy& p, std::string_view secret,
                             std::string_view seed);

std::string UaHmacSha256(std::string_view key, std::string_view data);
// Constant-time comparison.
bool UaEqualBytes(std::string_view a, std::string_view b);
// AES-CBC without padding of its own; data must be whole blocks.
std::string UaAesCbc(const UaSecurityPolicy& p, const UaSymmetricKeys& keys, std::string_view data,
                     bool encrypt);

std::string UaRsaSign(const UaSecurityPolicy& p, const UaKey& privateKey, std::string_view data);
bool UaRsaVerify(const UaSecurityPolicy& p, const UaKey& publicKey, std::string_view data,
                 std::string_view signature);
// Plain text bytes per RSA block under the policy's padding.
int UaRsaPlainBlock(const UaSecurityPolicy& p, const UaKey& key);
// Encrypts block by block (any length); decrypts whole cipher blocks.
std::string UaRsaEncrypt(const UaSecurityPolicy& p, const UaKey& publicKey, std::string_view data);
std::string UaRsaDecrypt(const UaSecurityPolicy& p, const UaKey& privateKey, std::string_view data);
