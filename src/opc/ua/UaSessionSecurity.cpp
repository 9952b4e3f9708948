#include "opc/ua/UaSessionSecurity.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <stdexcept>

#include "data/SafeText.h"
#include "opc/ua/UaChunks.h"

namespace {

constexpr std::uint32_t AnonymousToken = 0, UserNameToken = 1;
// Security modes 1 to 3 as the command line names them.
constexpr const char* SecurityModeNames[] = {"", "none", "sign", "encrypt"};

bool HasToken(const UaEndpoint& e, std::uint32_t type) {
  for (const UaUserTokenPolicy& t : e.UserTokens)
    if (t.TokenType == type) return true;
  return false;
}

std::uint32_t ModeOf(UaSecurityChoice c) {
  switch (c) {
    case UaSecurityChoice::None:
      return 1;
    case UaSecurityChoice::Sign:
      return 2;
    case UaSecurityChoice::Encrypt:
      return 3;
    default:
      return 0;
  }
}

}  // namespace

UaSecurityChoice ParseUaSecurityChoice(const std::string& text) {
  if (text == "auto") return UaSecurityChoice::Auto;
  if (text == "none") return UaSecurityChoice::None;
  if (text == "sign") return UaSecurityChoice::Sign;
  if (text == "encrypt") return UaSecurityChoice::Encrypt;
  throw std::invalid_argument("'" + text + "' is not a security mode (auto, none, sign, encrypt)");
}

const char* FormatUaSecurityChoice(UaSecurityChoice choice) {
  switch (choice) {
    case UaSecurityChoice::None:
      return "none";
    case UaSecurityChoice::Sign:
      return "sign";
    case UaSecurityChoice::Encrypt:
      return "encrypt";
    default:
      return "auto";
  }
}

const UaEndpoint& ChooseUaEndpoint(const std::vector<UaEndpoint>& endpoints,
                                   const UaConnectOptions& options) {
  const UaSecurityPolicy* wanted = nullptr;
  if (!options.Policy.empty()) {
    wanted = FindUaSecurityPolicy(options.Policy);
    if (!wanted || !wanted->Secured)
      throw UaLinkError("Unknown security policy '" + options.Policy +
                        "' (Basic256Sha256, Aes128_Sha256_RsaOaep, Aes256_Sha256_RsaPss)");
    if (wanted->Deprecated)
      throw UaLinkError(std::string("The security policy ") + wanted->Name +
                        " is deprecated and not supported; BadSecurityPolicyRejected");
    if (options.Security == UaSecurityChoice::None)
      throw UaLinkError("A security policy was chosen with security none");
  }
  const std::uint32_t mode = ModeOf(options.Security);
  const std::uint32_t token = options.User.empty() ? AnonymousToken : UserNameToken;
  const UaEndpoint* best = nullptr;
  int bestScore = -1;
  std::string deprecated;
  bool tokenMissing = false;
  // What each endpoint offered and why it could not be used, for the message.
  std::vector<std::string> offered;
  const auto pass = [&](const UaEndpoint& e, const UaSecurityPolicy* p, const char* why) {
    std::string name = p                             ? std::string(p->Name)
                       : e.SecurityPolicyUri.empty() ? std::string("no policy")
                                                     : BoundedText(e.SecurityPolicyUri, 80);
    std::string entry =
        name + " " +
        (e.SecurityMode >= 1 && e.SecurityMode <= 3 ? std::string(SecurityModeNames[e.SecurityMode])
                                                    : "mode " + std::to_string(e.SecurityMode)) +
        " (" + why + ")";
    if (std::find(offered.begin(), offered.end(), entry) == offered.end()) offered.push_back(entry);
  };
  for (const UaEndpoint& e : endpoints) {
    const UaSecurityPolicy* p = FindUaSecurityPolicy(e.SecurityPolicyUri);
    if (!p) {
      pass(e, p, "a policy the program does not know");
      continue;
    }
    if (e.SecurityMode < 1 || e.SecurityMode > 3) {
      pass(e, p, "no such security mode");
      continue;
    }
    if ((e.SecurityMode == 1) != !p->Secured) {
      pass(e, p, "the mode does not fit the policy");
      continue;
    }
    if (mode != 0 && e.SecurityMode != mode) {
      pass(e, p, "not the security asked for");
      continue;
    }
    if (wanted && p != wanted) {
      pass(e, p, "not the policy asked for");
      continue;
    }
    if (p->Deprecated) {
      deprecated = p->Name;
      continue;
    }
    if (!HasToken(e, token)) {
      tokenMissing = true;
      continue;
    }
    const int score = static_cast<int>(e.SecurityMode) * 10 + p->Rank;
    if (score > bestScore) {
      best = &e;
      bestScore = score;
    }
  }
  if (best) return *best;
  if (tokenMissing)
    throw UaLinkError(
        options.User.empty()
            ? "The server allows no anonymous login; give a user name; BadIdentityTokenRejected"
            : "The server allows no login with user name and password; BadIdentityTokenRejected");
  if (!deprecated.empty())
    throw UaLinkError("The server offers only the deprecated security policy " + deprecated +
                      ", which the program refuses; BadSecurityPolicyRejected");
  static const char* modeNames[] = {"any security", "security none", "signing",
                                    "signing and encryption"};
  std::string list;
  constexpr std::size_t Listed = 8;
  for (std::size_t i = 0; i < offered.size() && i < Listed; ++i)
    list += (i ? ", " : "") + offered[i];
  if (offered.size() > Listed) list += " and " + std::to_string(offered.size() - Listed) + " more";
  throw UaLinkError(
      std::string("The server offers no endpoint with ") + modeNames[mode] +
      (wanted ? std::string(" and the policy ") + wanted->Name : std::string()) +
      " that the program can use; " +
      (offered.empty() ? std::string("it offers no endpoint at all") : "it offers " + list) +
      "; BadSecurityPolicyRejected");
}

void CheckUaServerCertificate(UaPki& pki, const UaCertificate& certificate,
                              const std::string& applicationUri, const UaConnectOptions& options) {
  const std::string thumbprint = certificate.ThumbprintHex();
  try {
    pki.CheckServerCertificate(certificate, applicationUri, std::time(nullptr));
  } catch (const UaSecurityError& e) {
    pki.Reject(certificate);
    throw UaCertificateError(e.what() + std::string(" (thumbprint ") + thumbprint + ")",
                             thumbprint);
  }
  std::string trustedFile;
  switch (pki.TrustOf(certificate, &trustedFile)) {
    case UaTrust::Trusted:
      return;
    case UaTrust::Changed:
      pki.Reject(certificate);
      throw UaCertificateError(
          "WARNING: the server presents another certificate (thumbprint " + thumbprint +
              ") than the one trusted for " + UaServerText(certificate.ApplicationUri()) +
              ". Someone may be between the program and the server. If the server's certificate "
              "was really replaced, remove " +
              trustedFile + " and connect again; BadCertificateUntrusted",
          thumbprint);
    case UaTrust::Unknown:
      break;
  }
  const UaTrustAnswer answer = options.AskTrust
                                   ? options.AskTrust(SummarizeUaCertificate(certificate))
                                   : UaTrustAnswer::Reject;
  if (answer == UaTrustAnswer::Always) pki.Trust(certificate);
  if (answer != UaTrustAnswer::Reject) return;
  pki.Reject(certificate);
  throw UaCertificateError("The server's certificate is not trusted (thumbprint " + thumbprint +
                               ", " + UaServerText(certificate.Subject()) +
                               "); BadCertificateUntrusted",
                           thumbprint, true);
}

UaUserNameToken MakeUaUserNameToken(const UaEndpoint& endpoint,
                                    const UaSecurityPolicy& channelPolicy,
                                    UaSecurityMode channelMode, const std::string& user,
                                    const std::string& password, const std::string& serverNonce) {
  const UaUserTokenPolicy* policy = nullptr;
  for (const UaUserTokenPolicy& t : endpoint.UserTokens)
    if (t.TokenType == UserNameToken) policy = &t;
  if (!policy) throw UaLinkError("The server allows no login with user name and password");
  const UaSecurityPolicy* p = policy->SecurityPolicyUri.empty()
                                  ? &channelPolicy
                                  : FindUaSecurityPolicy(policy->SecurityPolicyUri);
  if (!p)
    throw UaLinkError("The server asks for the password under the unknown policy " +
                      UaServerText(policy->SecurityPolicyUri));
  if (p->Deprecated)
    throw UaLinkError(
        std::string("The server asks for the password under the deprecated security policy ") +
        p->Name + ", which the program refuses; BadSecurityPolicyRejected");
  UaUserNameToken token{policy->PolicyId, user, password, ""};
  if (!p->Secured) {
    if (channelMode != UaSecurityMode::SignAndEncrypt)
      throw UaLinkError(
          "The server asks for the password in clear text over a channel that is not encrypted; "
          "the program does not send it");
    return token;
  }
  if (endpoint.ServerCertificate.empty() || serverNonce.empty())
    throw UaLinkError("The server gave no certificate or nonce to encrypt the password with");
  const UaCertificate server = UaCertificate::FromDer(endpoint.ServerCertificate);
  // The length (of password and nonce), the password, the server's nonce.
  UaWriter plain;
  plain.UInt32(static_cast<std::uint32_t>(password.size() + serverNonce.size()));
  plain.Bytes() += password;
  plain.Bytes() += serverNonce;
  token.Password = UaRsaEncrypt(*p, server.PublicKey(), plain.Bytes());
  token.EncryptionAlgorithm = p->AsymmetricEncryptionUri;
  return token;
}

std::string UaSecurityStatusText(const std::string& statusName) {
  static const std::map<std::string, std::string> texts = {
      {"BadSecurityPolicyRejected", "The server refused the security policy"},
      {"BadSecurityChecksFailed",
       "The server's security checks failed (is the program's certificate on the server's trust "
       "list?)"},
      {"BadCertificateUntrusted", "The certificate is not trusted"},
      {"BadCertificateInvalid", "The certificate is invalid"},
      {"BadCertificateTimeInvalid", "The certificate has expired or is not valid yet"},
      {"BadCertificateRevoked", "The certificate has been revoked"},
      {"BadCertificateUriInvalid", "The certificate's application URI does not match"},
      {"BadCertificateUseNotAllowed", "The certificate may not be used for this"},
      {"BadCertificateHostNameInvalid", "The certificate's host name does not match"},
      {"BadUserAccessDenied", "The server refused the user name or password"},
      {"BadIdentityTokenInvalid", "The server refused the user name or password"},
      {"BadIdentityTokenRejected", "The server refused this kind of login"},
  };
  const auto it = texts.find(statusName.substr(0, statusName.find_first_of(" :")));
  return it == texts.end() ? std::string() : it->second + " (" + statusName + ")";
}
