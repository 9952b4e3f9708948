// The secure channel's cryptography and chunks, byte by byte against fixtures worked out
// with the openssl command line (HMAC-SHA256 chained by hand for P_SHA256, `openssl enc
// -aes-256-cbc -nopad` for the encryption), and round trips of every policy and mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "opc/ua/UaChunkSecurity.h"
#include "opc/ua/UaChunks.h"
#include "opc/ua/UaPki.h"

namespace {

std::string FromHex(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

std::string ToHex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Counting(int from, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>(from + i);
  return out;
}

const std::string ClientNonce = Counting(0, 32), ServerNonce = Counting(32, 32);

const UaSecurityPolicy& Policy(const char* name) { return *FindUaSecurityPolicy(name); }

// The client's and the server's view of one channel after OpenSecureChannel.
struct Pair {
  UaChannelSecurity Client, Server;
  Pair(const char* policy, UaSecurityMode mode, std::uint32_t token = 3) {
    for (UaChannelSecurity* s : {&Client, &Server}) {
      s->Policy = &Policy(policy);
      s->Mode = mode;
    }
    Client.AddToken(token, ClientNonce, ServerNonce);
    Server.AddToken(token, ServerNonce, ClientNonce);
  }
};

UaChunkSender Sender(const UaChannelSecurity& s) {
  UaChunkSender sender;
  sender.ChannelId = 7;
  sender.TokenId = 3;
  sender.NextSequenceNumber = 5;
  sender.Security = &s;
  return sender;
}

std::string Received(const UaChannelSecurity& s, const std::vector<std::string>& chunks) {
  UaChunkAssembler a(1 << 20, 16);
  a.SetSecurity(&s);
  for (const std::string& c : chunks)
    if (auto m = a.Add(c)) return m->Body;
  return "(incomplete)";
}

}  // namespace

TEST(UaSecurity, KeysAreDerivedWithPSha256FromTheOtherSidesNonce) {
  const UaSymmetricKeys client = UaDeriveKeys(Policy("Basic256Sha256"), ServerNonce, ClientNonce);
  EXPECT_EQ(ToHex(client.SigningKey),
            "dd585db0c102dd1a4c1ed4dd195606dec3f7a1c789afca78f9479ed3a5d668af");
  EXPECT_EQ(ToHex(client.EncryptingKey),
            "ce49cb8f1c65a827f412c48e71c9f9cb3b5c2ee2fc2e4b3bd46d4098b5e45475");
  EXPECT_EQ(ToHex(client.Iv), "a77832c6215b6e7ab85f2e668be7aeff");
  const UaSymmetricKeys server = UaDeriveKeys(Policy("Basic256Sha256"), ClientNonce, ServerNonce);
  EXPECT_EQ(ToHex(server.SigningKey),
            "b72593c43fee5fafa0256cd6bb904ff40c066a225db95f66dd744e20858a2220");
  // Aes128: the same stream, cut after a 16-byte encryption key.
  const UaSymmetricKeys aes128 =
      UaDeriveKeys(Policy("Aes128_Sha256_RsaOaep"), ServerNonce, ClientNonce);
  EXPECT_EQ(ToHex(aes128.EncryptingKey), "ce49cb8f1c65a827f412c48e71c9f9cb");
  EXPECT_EQ(ToHex(aes128.Iv), "3b5c2ee2fc2e4b3bd46d4098b5e45475");
}

TEST(UaSecurity, OneSymmetricChunkIsPaddedSignedAndEncryptedByteForByte) {
  Pair encrypted("Basic256Sha256", UaSecurityMode::SignAndEncrypt);
  UaChunkSender sender = Sender(encrypted.Client);
  const auto chunks = sender.Chunks("MSG", 9, "Vor Tuner");
  ASSERT_EQ(chunks.size(), 1u);
  const std::string fixture =
      "4d534746500000000700000003000000272f054cf1614d57c7b39ddc184260ea847f701b474f0a0c021545bdb9"
      "082cad79733b997206a7434be8f51589c4e4a2eabd5a1746e12bc74fb4c7df87d642f0";
  EXPECT_EQ(ToHex(chunks[0]), fixture);
  EXPECT_EQ(Received(encrypted.Server, {FromHex(fixture)}), "Vor Tuner");

  Pair signedOnly("Basic256Sha256", UaSecurityMode::Sign);
  sender = Sender(signedOnly.Client);
  EXPECT_EQ(ToHex(sender.Chunks("MSG", 9, "Vor Tuner")[0]),
            "4d5347464100000007000000030000000500000009000000566f722054756e6572c7a1637cfaa9fe1eb5"
            "1a997e13c2036efd49dfc5b5ca234742320b9714a2db6a");
}

TEST(UaSecurity, EveryPolicyAndModeCarriesALongMessageAndRefusesAnyFlippedByte) {
  const std::string body = Counting(1, 200) + std::string(70'000, 'x');
  for (const char* name : {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}) {
    for (UaSecurityMode mode : {UaSecurityMode::Sign, UaSecurityMode::SignAndEncrypt}) {
      SCOPED_TRACE(std::string(name) + " mode " + std::to_string(static_cast<int>(mode)));
      Pair pair(name, mode);
      UaChunkSender sender = Sender(pair.Client);
      sender.SendBufferSize = 8192;
      const auto chunks = sender.Chunks("MSG", 9, body);
      ASSERT_GT(chunks.size(), 8u);
      for (const std::string& c : chunks) EXPECT_LE(c.size(), 8192u);
      EXPECT_EQ(Received(pair.Server, chunks), body);
      for (std::size_t at : {std::size_t{20}, chunks[0].size() / 2, chunks[0].size() - 1}) {
        std::vector<std::string> flipped = {chunks[0]};
        flipped[0][at] ^= 0x01;
        EXPECT_THROW(Received(pair.Server, flipped), UaLinkError) << at;
      }
    }
  }
}

TEST(UaSecurity, TheDeprecatedPoliciesAreKnownByNameAndMarked) {
  for (const char* name : {"Basic128Rsa15", "Basic256"}) {
    const UaSecurityPolicy* p = FindUaSecurityPolicy(name);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->Deprecated);
  }
  EXPECT_EQ(FindUaSecurityPolicy("http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256")->Name,
            std::string("Basic256Sha256"));
  EXPECT_EQ(FindUaSecurityPolicy("Basic999"), nullptr);
}

TEST(UaSecurity, OpenSecureChannelIsSignedWithTheSendersKeyAndEncryptedForTheReceiver) {
  const UaOwnIdentity client = CreateUaSelfSignedCertificate("urn:test:client", "Client", "pc", 1);
  const UaOwnIdentity server = CreateUaSelfSignedCertificate("urn:test:server", "Server", "plc", 1);
  for (const char* name : {"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}) {
    SCOPED_TRACE(name);
    UaChannelSecurity ours, theirs;
    for (UaChannelSecurity* s : {&ours, &theirs}) {
      s->Policy = &Policy(name);
      s->Mode = UaSecurityMode::Sign;  // the opening is encrypted in either mode
    }
    ours.OwnCertificate = client.Certificate;
    ours.OwnKey = client.PrivateKey;
    ours.PeerCertificate = server.Certificate;
    theirs.OwnCertificate = server.Certificate;
    theirs.OwnKey = server.PrivateKey;
    theirs.PeerCertificate = client.Certificate;
    UaChunkSender sender = Sender(ours);
    const std::string body = "OpenSecureChannel " + ClientNonce;
    const auto chunks = sender.Chunks("OPN", 1, body);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].find(body), std::string::npos);  // not in clear text
    EXPECT_NE(chunks[0].find(client.Certificate.Der()), std::string::npos);
    EXPECT_NE(chunks[0].find(server.Certificate.Thumbprint()), std::string::npos);
    EXPECT_EQ(Received(theirs, chunks), body);
    std::string flipped = chunks[0];
    flipped[flipped.size() - 100] ^= 0x01;
    EXPECT_THROW(Received(theirs, {flipped}), UaLinkError);
    // Signed by someone else: the certificate in the header is not the expected one.
    theirs.PeerCertificate = server.Certificate;
    EXPECT_THROW(Received(theirs, chunks), UaLinkError);
  }
}

TEST(UaSecurity, AServerCertificateIsCheckedAndTrustedByItsApplication) {
  const std::string folder = ::testing::TempDir() + "vortuner-pki-check";
  std::filesystem::remove_all(folder);
  UaPki pki(folder);
  const UaOwnIdentity server = CreateUaSelfSignedCertificate("urn:plant:plc", "PLC", "plc", 1);
  const UaCertificate& c = server.Certificate;
  const std::time_t now = std::time(nullptr);
  EXPECT_NO_THROW(pki.CheckServerCertificate(c, "urn:plant:plc", now));
  const auto message = [&](const std::string& uri, std::time_t at) {
    try {
      pki.CheckServerCertificate(c, uri, at);
    } catch (const UaSecurityError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("urn:plant:other", now),
            "The server's certificate names the application 'urn:plant:plc', the server calls "
            "itself 'urn:plant:other'; BadCertificateUriInvalid");
  EXPECT_EQ(message("urn:plant:plc", c.NotAfter() + 1), "The server's certificate expired on " +
                                                            FormatUaTime(c.NotAfter()) +
                                                            "; BadCertificateTimeInvalid");
  // Another key's signature on the same certificate body.
  std::string forged = c.Der();
  forged[forged.size() - 10] ^= 0x01;
  EXPECT_THROW(pki.CheckServerCertificate(UaCertificate::FromDer(forged), "urn:plant:plc", now),
               UaSecurityError);

  EXPECT_EQ(pki.TrustOf(c), UaTrust::Unknown);
  pki.Trust(c);
  EXPECT_EQ(pki.TrustOf(c), UaTrust::Trusted);
  const UaOwnIdentity replaced = CreateUaSelfSignedCertificate("urn:plant:plc", "PLC", "plc", 1);
  std::string trustedFile;
  EXPECT_EQ(pki.TrustOf(replaced.Certificate, &trustedFile), UaTrust::Changed);
  EXPECT_EQ(
      trustedFile, folder + "/trusted/" + [&] {
        std::string t = c.ThumbprintHex();
        t.erase(std::remove(t.begin(), t.end(), ':'), t.end());
        return t;
      }() + ".der");
  std::filesystem::remove_all(folder);
}
