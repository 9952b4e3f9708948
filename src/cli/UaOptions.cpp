#include "cli/UaOptions.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "cli/CliSupport.h"
#include "opc/ua/UaClient.h"

const char* const UaOptionsHelp =
    "  --security auto|none|sign|encrypt\n"
    "                           the channel's security (default auto: the most secure\n"
    "                           endpoint the server and the program share)\n"
    "  --policy NAME            Basic256Sha256, Aes128_Sha256_RsaOaep or Aes256_Sha256_RsaPss\n"
    "  --user NAME              log in with this user name (default: anonymous); the\n"
    "                           password comes from --password-file FILE (its first line)\n"
    "                           or the environment variable VORTUNER_OPC_PASSWORD\n"
    "  --pki DIR                the certificate folder (own/, trusted/, rejected/;\n"
    "                           default: the program's in the user's data folder)\n"
    "  --trust-server           trust the server's certificate when it is unknown and\n"
    "                           remember it in trusted/\n";

bool TakeUaOption(const std::vector<std::string>& args, std::size_t& i, UaCommandOptions& o) {
  const std::string& a = args[i];
  if (a == "--trust-server") {
    o.TrustServer = true;
    return true;
  }
  if (a != "--security" && a != "--policy" && a != "--user" && a != "--password-file" &&
      a != "--pki")
    return false;
  if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
  const std::string& v = args[++i];
  if (a == "--security") {
    try {
      o.Options.Security = ParseUaSecurityChoice(v);
    } catch (const std::invalid_argument& e) {
      throw UsageError(e.what());
    }
  } else if (a == "--policy") {
    o.Options.Policy = v;
  } else if (a == "--user") {
    o.Options.User = v;
  } else if (a == "--password-file") {
    o.PasswordFile = v;
  } else {
    o.Options.PkiFolder = v;
  }
  return true;
}

std::string ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the password file " + path);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void CompleteUaOptions(UaCommandOptions& o, const std::string& command) {
  if (!o.Options.User.empty()) {
    if (!o.PasswordFile.empty())
      o.Options.Password = ReadPasswordFile(o.PasswordFile);
    else if (const char* env = std::getenv("VORTUNER_OPC_PASSWORD"))
      o.Options.Password = env;
    else
      throw UsageError("--user needs a password: --password-file FILE or VORTUNER_OPC_PASSWORD");
  }
  if (o.TrustServer)
    o.Options.AskTrust = [command](const UaCertificateSummary& c) {
      std::cerr << "vortuner-cli " << command << ": trusting the server's certificate "
                << c.Thumbprint << " (" << VisibleText(c.Subject) << ")\n";
      return UaTrustAnswer::Always;
    };
}
