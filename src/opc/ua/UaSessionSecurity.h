// What a secured session needs besides the channel: the engineer's security choice, the
// choice of the server's endpoint, the decision on the server's certificate, and the user
// name token with its encrypted password.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "opc/ua/UaPki.h"
#include "opc/ua/UaServices.h"

enum class UaSecurityChoice { Auto, None, Sign, Encrypt };
enum class UaTrustAnswer { Always, Once, Reject };

// A server's certificate was refused (unknown and not trusted, or changed, or unsound).
class UaCertificateError : public std::runtime_error {
 public:
  UaCertificateError(const std::string& what, std::string thumbprint, bool unknown = false)
      : std::runtime_error(what), Thumbprint(std::move(thumbprint)), Unknown(unknown) {}
  std::string Thumbprint;
  bool Unknown;  // sound but not trusted yet: trusting it would let the connect go on
};

struct UaConnectOptions {
  UaSecurityChoice Security = UaSecurityChoice::Auto;
  std::string Policy;     // a short name or URI; empty: the best both sides support
  std::string User;       // empty: anonymous
  std::string Password;   // kept for this connection only, never written anywhere
  std::string PkiFolder;  // empty: UaPki::DefaultFolder()
  // Asked when the server's certificate is unknown; without it the certificate is refused.
  std::function<UaTrustAnswer(const UaCertificateSummary&)> AskTrust;
  // Asked for a user name and password when none is given and the server allows no
  // anonymous login; false cancels the connect.
  std::function<bool(std::string& user, std::string& password)> AskLogin;
};

// "auto", "none", "sign", "encrypt"; throws std::invalid_argument for anything else.
UaSecurityChoice ParseUaSecurityChoice(const std::string& text);
const char* FormatUaSecurityChoice(UaSecurityChoice choice);

// The most secure endpoint that the options allow and the program supports. Throws
// UaLinkError naming what is missing (a refused deprecated policy by its name).
const UaEndpoint& ChooseUaEndpoint(const std::vector<UaEndpoint>& endpoints,
                                   const UaConnectOptions& options);

// Checks the server's certificate and asks about an unknown one; throws
// UaCertificateError when it is not to be used.
void CheckUaServerCertificate(UaPki& pki, const UaCertificate& certificate,
                              const std::string& applicationUri, const UaConnectOptions& options);

// The user name token for the endpoint's user name policy: the password encrypted with
// the server's key and nonce under the token policy's security policy (the channel's when
// it names none). Throws UaLinkError when the password would travel in clear text.
UaUserNameToken MakeUaUserNameToken(const UaEndpoint& endpoint,
                                    const UaSecurityPolicy& channelPolicy,
                                    UaSecurityMode channelMode, const std::string& user,
                                    const std::string& password, const std::string& serverNonce);

// The English text of a security-related status of the server; empty for other statuses.
std::string UaSecurityStatusText(const std::string& statusName);
