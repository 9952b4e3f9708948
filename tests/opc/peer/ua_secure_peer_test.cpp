// The client against the secured node-opcua plant: every policy and mode, the user's
// login, the server's certificate trusted, changed or unknown, and a tampered chunk.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/CliRunner.h"
#include "opc/peer/UaPeer.h"
#include "opc/ua/UaClient.h"

namespace fs = std::filesystem;

namespace {

UaNodeId Plant(const UaClient& c, const std::string& name) {
  return c.Resolve(ParseNodeId("nsu=urn:vortuner:plant;s=" + name));
}

// A PKI folder of the test's own, removed afterwards.
struct TempPki {
  std::string Folder;
  explicit TempPki(const std::string& name)
      : Folder((fs::temp_directory_path() /
                ("vortuner-pki-" + name + "-" + std::to_string(::getpid())))
                   .string()) {
    fs::remove_all(Folder);
  }
  ~TempPki() { fs::remove_all(Folder); }
};

UaConnectOptions Options(const TempPki& pki, UaSecurityChoice security = UaSecurityChoice::Auto,
                         const std::string& policy = "") {
  UaConnectOptions o;
  o.Security = security;
  o.Policy = policy;
  o.User = UaSecurePeerUser;
  o.Password = UaSecurePeerPassword;
  o.PkiFolder = pki.Folder;
  o.AskTrust = [](const UaCertificateSummary&) { return UaTrustAnswer::Once; };
  return o;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Passes the bytes between a client and the server, one connection after the other;
// on request it flips one byte near the end of the server's next MSG chunk.
class TamperingProxy {
 public:
  explicit TamperingProxy(int serverPort) : serverPort_(serverPort) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 4);
    socklen_t n = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~TamperingProxy() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }
  std::string Url() const { return "opc.tcp://127.0.0.1:" + std::to_string(port_); }
  void FlipNextServerMessage() { flip_ = true; }

 private:
  static bool ReadN(int fd, char* p, std::size_t n) {
    while (n > 0) {
      const ssize_t got = ::recv(fd, p, n, 0);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
  void Run() {
    while (!stop_) {
      pollfd l{listen_, POLLIN, 0};
      if (::poll(&l, 1, 100) <= 0) continue;
      const int client = ::accept(listen_, nullptr, nullptr);
      const int server = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<std::uint16_t>(serverPort_));
      if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) Serve(client, server);
      ::close(client);
      ::close(server);
    }
  }
  void Serve(int client, int server) {
    char buffer[65536];
    while (!stop_) {
      pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(fds, 2, 100) <= 0) continue;
      if (fds[0].revents) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0 || ::send(server, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n)
          return;
      }
      if (fds[1].revents) {  // whole chunks from the server
        std::string chunk(8, '\0');
        if (!ReadN(server, chunk.data(), 8)) return;
        std::uint32_t size = 0;
        for (int i = 0; i < 4; ++i)
          size |= static_cast<std::uint32_t>(static_cast<unsigned char>(chunk[4 + i])) << (8 * i);
        if (size < 8 || size > 1 << 20) return;
        chunk.resize(size);
        if (!ReadN(server, chunk.data() + 8, size - 8)) return;
        if (flip_ && chunk.compare(0, 3, "MSG") == 0) {
          chunk[size - 5] ^= 0x10;
          flip_ = false;
        }
        if (::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(chunk.size()))
          return;
      }
    }
  }
  int serverPort_, listen_ = -1, port_ = 0;
  std::atomic<bool> stop_{false}, flip_{false};
  std::thread thread_;
};

}  // namespace

TEST(UaSecurePeer, EveryPolicyAndModeReadsWritesAndBrowsesAndRenewsItsKeys) {
  TempPki pki("modes");
  for (const char* policy : {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}) {
    for (UaSecurityChoice mode : {UaSecurityChoice::Sign, UaSecurityChoice::Encrypt}) {
      SCOPED_TRACE(std::string(policy) + (mode == UaSecurityChoice::Sign ? " sign" : " encrypt"));
      UaClient client;
      client.Connect(UaSecurePeerUrl(), Options(pki, mode, policy));
      EXPECT_EQ(client.Endpoint().SecurityPolicyUri, FindUaSecurityPolicy(policy)->Uri);
      EXPECT_EQ(client.Endpoint().SecurityMode, mode == UaSecurityChoice::Sign ? 2u : 3u);
      const double value = mode == UaSecurityChoice::Sign ? 3.25 : 6.5;
      EXPECT_EQ(client.Write({{Plant(client, "MV"), UaVariant::Scalar(UaType::Double, value)}}),
                std::vector<UaStatusCode>{UaGood});
      client.Channel().RenewBeforeNextRequest();  // new keys from here on
      const std::uint32_t token = client.Channel().TokenId();
      EXPECT_DOUBLE_EQ(client.Read({{Plant(client, "MV")}})[0].Value.ToDouble(), value);
      EXPECT_NE(client.Channel().TokenId(), token);
      EXPECT_GE(client.Browse(Plant(client, "Loop1")).References.size(), 8u);
      client.Close();
    }
  }
  // Left to itself, the client takes signing and encryption with the strongest policy.
  UaClient client;
  client.Connect(UaSecurePeerUrl(), Options(pki));
  EXPECT_EQ(client.Endpoint().SecurityMode, 3u);
  EXPECT_EQ(client.Endpoint().SecurityPolicyUri, FindUaSecurityPolicy("Aes256_Sha256_RsaPss")->Uri);
  // The program's certificate: made once, its key readable by the user only.
  const auto key = fs::status(pki.Folder + "/own/private/vortuner.pem").permissions();
  EXPECT_EQ(key & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  const UaCertificate own =
      UaCertificate::FromDer(ReadFile(pki.Folder + "/own/certs/vortuner.der"));
  EXPECT_EQ(own.ApplicationUri(), UaClientApplicationUri);
  EXPECT_TRUE(own.SignedByItself());
  EXPECT_NEAR(static_cast<double>(own.NotAfter() - own.NotBefore()), 5 * 365 * 86400.0, 86400.0);
}

TEST(UaSecurePeer, AWrongPasswordOrNoUserIsRefusedWithAClearText) {
  TempPki pki("password");
  UaConnectOptions o = Options(pki);
  o.Password = "wrong";
  UaClient client;
  try {
    client.Connect(UaSecurePeerUrl(), o);
    FAIL() << "connected with a wrong password";
  } catch (const UaServiceError& e) {
    EXPECT_STREQ(e.what(), "The server refused the user name or password (BadUserAccessDenied)");
  }
  EXPECT_FALSE(client.IsConnected());
  o.User.clear();
  try {
    client.Connect(UaSecurePeerUrl(), o);
    FAIL() << "connected anonymously";
  } catch (const UaLinkError& e) {
    EXPECT_STREQ(
        e.what(),
        "The server allows no anonymous login; give a user name; BadIdentityTokenRejected");
  }
  o.Policy = "Basic256";
  EXPECT_THROW(
      try { client.Connect(UaSecurePeerUrl(), o); } catch (const UaLinkError& e) {
        EXPECT_STREQ(e.what(),
                     "The security policy Basic256 is deprecated and not supported; "
                     "BadSecurityPolicyRejected");
        throw;
      },
      UaLinkError);
}

TEST(UaSecurePeer, AByteFlippedInASecuredChunkClosesTheLinkBeforeAnythingIsDecoded) {
  TempPki pki("flip");
  const std::string url = UaSecurePeerUrl();
  TamperingProxy proxy(std::stoi(url.substr(url.rfind(':') + 1)));
  for (UaSecurityChoice mode : {UaSecurityChoice::Sign, UaSecurityChoice::Encrypt}) {
    UaClient client;
    client.Connect(proxy.Url(), Options(pki, mode));
    ASSERT_TRUE(client.IsConnected());
    proxy.FlipNextServerMessage();
    try {
      client.Read({{Plant(client, "MV")}});
      FAIL() << "a tampered answer was taken";
    } catch (const UaLinkError& e) {
      EXPECT_STREQ(e.what(),
                   "A message from the server failed its signature check (altered on "
                   "the way?); the connection is closed");
    }
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST(UaSecurePeer, TheCommandLineTrustsAServerOnlyWhenToldAndRefusesAChangedCertificate) {
  TempPki pki("cli");
  const std::string passwordFile = pki.Folder + "-password";
  std::ofstream(passwordFile) << UaSecurePeerPassword << "\n";
  const std::string options =
      " --pki " + pki.Folder + " --user inzenir --password-file " + passwordFile;
  const auto opc = [&](const std::string& url, const std::string& more) {
    return RunCli("opc", url + options + more + " read 'nsu=urn:vortuner:plant;s=MV'");
  };
  const CliRun unknown = opc(UaSecurePeerUrl(), "");
  EXPECT_EQ(unknown.ExitCode, 1);
  EXPECT_NE(unknown.Err.find("The server's certificate is not trusted (thumbprint "),
            std::string::npos)
      << unknown.Err;
  // What to do next is said.
  EXPECT_NE(unknown.Err.find("; BadCertificateUntrusted\nvortuner-cli opc: check the thumbprint "
                             "with the server's administrator, then run again with "
                             "--trust-server to trust the certificate, or with --security none "
                             "where the server allows a connection without security\n"),
            std::string::npos)
      << unknown.Err;
  EXPECT_EQ(
      std::distance(fs::directory_iterator(pki.Folder + "/rejected"), fs::directory_iterator()), 1);

  const CliRun trusted = opc(UaSecurePeerUrl(), " --trust-server");
  EXPECT_EQ(trusted.ExitCode, 0) << trusted.Err;
  const CliRun again = opc(UaSecurePeerUrl(), "");
  EXPECT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_NE(again.Out.find("\"status\": \"Good\""), std::string::npos);

  // Another server under the same application name, with a certificate of its own.
  TempPki otherPki("other-server");
  PrivateUaPeer impostor(otherPki.Folder);
  const CliRun changed = opc(impostor.Url(), " --trust-server");
  EXPECT_EQ(changed.ExitCode, 1);
  EXPECT_EQ(changed.Err.find("vortuner-cli opc: " + impostor.Url() +
                             ": WARNING: the server presents another certificate (thumbprint "),
            0u)
      << changed.Err;

  // The password is nowhere: not in what the program printed, not in its files.
  for (const std::string& text : {unknown.Out, unknown.Err, trusted.Out, trusted.Err, again.Out,
                                  again.Err, changed.Out, changed.Err})
    EXPECT_EQ(text.find(UaSecurePeerPassword), std::string::npos);
  for (const auto& f : fs::recursive_directory_iterator(pki.Folder))
    if (f.is_regular_file())
      EXPECT_EQ(ReadFile(f.path()).find(UaSecurePeerPassword), std::string::npos) << f.path();
  fs::remove(passwordFile);
}
