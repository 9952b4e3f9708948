// An X.509 application instance certificate (DER) read through OpenSSL: what the program
// shows and checks of a server's certificate, and the program's own self-signed one.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "opc/ua/UaSecurityPolicy.h"

class UaCertificate {
 public:
  UaCertificate() = default;
  // Throws UaSecurityError when the bytes are not a certificate.
  static UaCertificate FromDer(std::string_view der);

  bool Valid() const { return !der_.empty(); }
  const std::string& Der() const { return der_; }
  std::string Thumbprint() const { return UaSha1(der_); }  // SHA-1 of the DER bytes
  std::string ThumbprintHex() const;                       // "AB:CD:…"
  std::string Subject() const;                             // "CN=…, O=…"
  std::string ApplicationUri() const;  // the URI of the subject alternative name
  std::time_t NotBefore() const { return notBefore_; }
  std::time_t NotAfter() const { return notAfter_; }
  const UaKey& PublicKey() const { return publicKey_; }
  // True when the certificate's signature is its own key's (self-signed and intact).
  bool SignedByItself() const;
  // True when issuer's key signed it.
  bool SignedBy(const UaCertificate& issuer) const;
  bool IssuedBySubject() const;  // issuer name equals subject name

 private:
  std::string der_;
  std::time_t notBefore_ = 0, notAfter_ = 0;
  UaKey publicKey_;
};

// The program's own certificate: RSA 2048, SHA-256, self-signed, valid from now for
// `years`, with the application URI and host name as alternative names and the key
// usages an OPC UA application instance certificate carries.
struct UaOwnIdentity {
  UaCertificate Certificate;
  UaKey PrivateKey;
};
UaOwnIdentity CreateUaSelfSignedCertificate(const std::string& applicationUri,
                                            const std::string& commonName,
                                            const std::string& hostName, int years);

// "2031-12-08 10:00:00 UTC"
std::string FormatUaTime(std::time_t t);
