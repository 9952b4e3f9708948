#include "opc/ua/UaPki.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/TextFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int CertificateYears = 5;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Writes the file through a temporary one renamed over it; `mode` from the start.
void WriteFile(const fs::path& p, const std::string& bytes, mode_t mode) {
  const fs::path temp = p.string() + ".tmp";
  fs::remove(temp);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw UaSecurityError("Cannot write " + p.string());
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      ::close(fd);
      fs::remove(temp);
      throw UaSecurityError("Cannot write " + p.string());
    }
    done += static_cast<std::size_t>(n);
  }
  ::fsync(fd);
  ::close(fd);
  fs::rename(temp, p);
}

std::string FileName(const UaCertificate& c) {
  std::string name;
  for (char ch : c.ThumbprintHex())
    if (ch != ':') name += ch;
  return name + ".der";
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

void MakeFolder(const fs::path& p, fs::perms perms) {
  fs::create_directories(p);
  fs::permissions(p, perms);
}

}  // namespace

UaPki::UaPki(std::string folder) : folder_(std::move(folder)) {}

std::string UaPki::DefaultFolder() { return UserDataHome() + "/vortuner/pki"; }

std::string UaPki::OwnCertificatePath() const { return folder_ + "/own/certs/vortuner.der"; }

UaOwnIdentity UaPki::Own() {
  const fs::path cert = OwnCertificatePath();
  const fs::path key = folder_ + "/own/private/vortuner.pem";
  try {
    if (fs::exists(cert) && fs::exists(key))
      return {UaCertificate::FromDer(ReadAll(cert)), UaKey::FromPem(ReadAll(key))};
    MakeFolder(cert.parent_path(), fs::perms::owner_all | fs::perms::group_read |
                                       fs::perms::group_exec | fs::perms::others_read |
                                       fs::perms::others_exec);
    MakeFolder(key.parent_path(), fs::perms::owner_all);
    UaOwnIdentity own = CreateUaSelfSignedCertificate(UaClientApplicationUri, "Vor Tuner",
                                                      HostName(), CertificateYears);
    WriteFile(key, own.PrivateKey.PrivatePem(), 0600);
    WriteFile(cert, own.Certificate.Der(), 0644);
    return own;
  } catch (const fs::filesystem_error& e) {
    throw UaSecurityError("The program's certificate cannot be kept in " + folder_ + ": " +
                          e.what());
  }
}

void UaPki::CheckServerCertificate(const UaCertificate& c, const std::string& applicationUri,
                                   std::time_t now) const {
  if (now < c.NotBefore())
    throw UaSecurityError("The server's certificate is not valid yet (from " +
                          FormatUaTime(c.NotBefore()) + "); BadCertificateTimeInvalid");
  if (now > c.NotAfter())
    throw UaSecurityError("The server's certificate expired on " + FormatUaTime(c.NotAfter()) +
                          "; BadCertificateTimeInvalid");
  bool signedOk = c.IssuedBySubject() && c.SignedByItself();
  if (!signedOk) {
    // A certificate issued by an authority is sound when a trusted certificate signed it.
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder_ + "/trusted", ec)) {
      try {
        if (c.SignedBy(UaCertificate::FromDer(ReadAll(e.path())))) signedOk = true;
      } catch (const UaSecurityError&) {
      }
    }
  }
  if (!signedOk)
    throw UaSecurityError(
        c.IssuedBySubject()
            ? "The server's certificate is not signed by its own key; BadCertificateInvalid"
            : "The server's certificate was issued by an authority that is not trusted; "
              "BadCertificateChainIncomplete");
  if (c.ApplicationUri() != applicationUri)
    throw UaSecurityError("The server's certificate names the application '" + c.ApplicationUri() +
                          "', the server calls itself '" + applicationUri +
                          "'; BadCertificateUriInvalid");
}

UaTrust UaPki::TrustOf(const UaCertificate& c, std::string* trustedFile) const {
  if (fs::exists(folder_ + "/trusted/" + FileName(c))) return UaTrust::Trusted;
  std::error_code ec;
  const std::string uri = c.ApplicationUri();
  for (const auto& e : fs::directory_iterator(folder_ + "/trusted", ec)) {
    try {
      if (UaCertificate::FromDer(ReadAll(e.path())).ApplicationUri() == uri && !uri.empty()) {
        if (trustedFile) *trustedFile = e.path().string();
        return UaTrust::Changed;
      }
    } catch (const UaSecurityError&) {
    }
  }
  return UaTrust::Unknown;
}

void UaPki::Trust(const UaCertificate& c) {
  MakeFolder(folder_ + "/trusted", fs::perms::owner_all);
  WriteFile(folder_ + "/trusted/" + FileName(c), c.Der(), 0644);
  fs::remove(folder_ + "/rejected/" + FileName(c));
}

void UaPki::Reject(const UaCertificate& c) {
  MakeFolder(folder_ + "/rejected", fs::perms::owner_all);
  WriteFile(folder_ + "/rejected/" + FileName(c), c.Der(), 0644);
}

UaCertificateSummary SummarizeUaCertificate(const UaCertificate& c) {
  return {c.Subject(), c.ApplicationUri(), FormatUaTime(c.NotBefore()), FormatUaTime(c.NotAfter()),
          c.ThumbprintHex()};
}
