// The program's certificate store for OPC UA, a folder with own/ (the program's
// certificate and, in own/private/, its key, readable by the user only), trusted/ (server
// certificates the engineer trusts) and rejected/ (those refused). Server certificates
// are checked here before a secured channel is opened.
#pragma once

#include <ctime>
#include <string>

#include "opc/ua/UaCertificate.h"

// The program's application URI, which its certificate names.
inline constexpr const char* UaClientApplicationUri = "urn:vortuner:client";

enum class UaTrust {
  Trusted,  // in trusted/
  Unknown,  // never seen: the engineer decides
  Changed,  // another certificate of the same application is trusted: refused loudly
};

class UaPki {
 public:
  explicit UaPki(std::string folder);
  // The default folder in the user's data folder ($XDG_DATA_HOME or ~/.local/share).
  static std::string DefaultFolder();

  const std::string& Folder() const { return folder_; }
  std::string OwnCertificatePath() const;
  // The program's certificate and key, made on first use. Throws UaSecurityError.
  UaOwnIdentity Own();

  // Checks what does not need the engineer: validity at `now`, the signature (its own
  // key's for a self-signed certificate, a trusted issuer's otherwise) and that it names
  // the application URI of the server's description. Throws UaSecurityError saying why.
  void CheckServerCertificate(const UaCertificate& c, const std::string& applicationUri,
                              std::time_t now) const;
  // Whether the certificate is trusted; for Changed, the trusted file it differs from.
  UaTrust TrustOf(const UaCertificate& c, std::string* trustedFile = nullptr) const;
  // Keeps it in trusted/ (and out of rejected/), or in rejected/.
  void Trust(const UaCertificate& c);
  void Reject(const UaCertificate& c);

 private:
  std::string folder_;
};

// What the engineer is shown about a server's certificate before trusting it.
struct UaCertificateSummary {
  std::string Subject, ApplicationUri, ValidFrom, ValidTo, Thumbprint;
};
UaCertificateSummary SummarizeUaCertificate(const UaCertificate& c);
