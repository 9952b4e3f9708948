// What secures the chunks of one channel: its policy and mode, the certificates and the
// private key of the asymmetric messages (OpenSecureChannel), and the symmetric keys of
// each security token. Signing, padding and encryption of a chunk on the way out, and
// their checks on the way in, are here; the sizes come from the policy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "opc/ua/UaCertificate.h"
#include "opc/ua/UaSecurityPolicy.h"

struct UaChannelSecurity {
  const UaSecurityPolicy* Policy = &UaPolicyNone();
  UaSecurityMode Mode = UaSecurityMode::None;
  UaCertificate OwnCertificate;
  UaKey OwnKey;
  UaCertificate PeerCertificate;

  struct TokenKeys {
    std::uint32_t TokenId = 0;
    UaSymmetricKeys Own, Peer;  // ours to send with, the peer's to check what it sends
  };
  std::vector<TokenKeys> Tokens;  // the newest last; the previous one until it is replaced

  bool Secured() const { return Policy->Secured; }
  // Keeps the keys of a new token (and the previous token's, until the next renewal).
  void AddToken(std::uint32_t tokenId, std::string_view ownNonce, std::string_view peerNonce);
  const TokenKeys* Keys(std::uint32_t tokenId) const;
};

// The largest body (from the sequence header on: 8 bytes of it plus the message part)
// that fits a chunk of bufferSize bytes whose headers end at headerEnd.
std::size_t UaMaxChunkPlainSize(const UaChannelSecurity& s, bool asymmetric, std::size_t bufferSize,
                                std::size_t headerEnd);

// Turns a chunk written in plain (headers, sequence header, body) into the chunk sent:
// padding, the size in the header, the signature and the encryption.
std::string UaSecureChunk(const UaChannelSecurity& s, bool asymmetric, std::uint32_t tokenId,
                          std::string plain, std::size_t headerEnd);

// The plain text after the headers of a received chunk (sequence header and body),
// its signature checked first and its padding removed. Throws UaLinkError when the
// signature or the padding is wrong or the token is unknown.
std::string UaUnsecureChunk(const UaChannelSecurity& s, bool asymmetric, std::uint32_t tokenId,
                            std::string_view chunk, std::size_t headerEnd);
