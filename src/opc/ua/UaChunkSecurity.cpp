#include "opc/ua/UaChunkSecurity.h"

#include "opc/ua/UaLinkError.h"

namespace {

// Receivers whose key is longer than 2048 bits take a second padding size byte.
bool ExtraPadding(const UaKey& receiverKey) { return receiverKey.Bytes() > 256; }

void PatchSize(std::string& chunk, std::size_t size) {
  for (int i = 0; i < 4; ++i) chunk[4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
}

// Appends PaddingSize, the padding and (extra) ExtraPaddingSize so that `length` plus
// the padding plus `tail` is a multiple of `block`.
void Pad(std::string& plain, std::size_t length, std::size_t tail, std::size_t block, bool extra) {
  const std::size_t fixed = length + 1 + (extra ? 1 : 0) + tail;
  const std::size_t pad = (block - fixed % block) % block;
  plain.append(pad + 1, static_cast<char>(pad & 0xFF));
  if (extra) plain.push_back(static_cast<char>(pad >> 8));
}

// The length of the padding at the end of plain, checked byte by byte.
std::size_t PaddingLength(std::string_view plain, bool extra) {
  if (plain.size() < (extra ? 2u : 1u)) throw UaLinkError("A chunk from the server has no padding");
  std::size_t pad = static_cast<unsigned char>(plain.back());
  std::size_t size = pad + 1;
  if (extra) {
    const std::size_t low = static_cast<unsigned char>(plain[plain.size() - 2]);
    pad = (pad << 8) | low;
    size = pad + 2;
  }
  if (size > plain.size()) throw UaLinkError("The padding of a chunk from the server is wrong");
  const char value = static_cast<char>(pad & 0xFF);
  for (std::size_t i = plain.size() - size; i < plain.size() - (extra ? 1 : 0); ++i)
    if (plain[i] != value) throw UaLinkError("The padding of a chunk from the server is wrong");
  return size;
}

[[noreturn]] void BadSignature() {
  throw UaLinkError(
      "A message from the server failed its signature check (altered on the way?); the "
      "connection is closed");
}

}  // namespace

void UaChannelSecurity::AddToken(std::uint32_t tokenId, std::string_view ownNonce,
                                 std::string_view peerNonce) {
  TokenKeys t;
  t.TokenId = tokenId;
  // Each side's keys come from the other side's nonce as the secret and its own as seed.
  t.Own = UaDeriveKeys(*Policy, peerNonce, ownNonce);
  t.Peer = UaDeriveKeys(*Policy, ownNonce, peerNonce);
  if (Tokens.size() >= 2) Tokens.erase(Tokens.begin());
  Tokens.push_back(std::move(t));
}

const UaChannelSecurity::TokenKeys* UaChannelSecurity::Keys(std::uint32_t tokenId) const {
  for (const TokenKeys& t : Tokens)
    if (t.TokenId == tokenId) return &t;
  return nullptr;
}

std::size_t UaMaxChunkPlainSize(const UaChannelSecurity& s, bool asymmetric, std::size_t bufferSize,
                                std::size_t headerEnd) {
  if (!s.Secured() || bufferSize <= headerEnd)
    return bufferSize > headerEnd ? bufferSize - headerEnd : 0;
  const std::size_t room = bufferSize - headerEnd;
  if (asymmetric) {
    const std::size_t cipher = s.PeerCertificate.PublicKey().Bytes();
    const std::size_t plain = UaRsaPlainBlock(*s.Policy, s.PeerCertificate.PublicKey());
    const std::size_t fixed = 1 + (ExtraPadding(s.PeerCertificate.PublicKey()) ? 1 : 0) +
                              static_cast<std::size_t>(s.OwnKey.Bytes());
    const std::size_t total = room / cipher * plain;
    return total > fixed ? total - fixed : 0;
  }
  const std::size_t sig = s.Policy->SymmetricSignatureLength;
  if (s.Mode == UaSecurityMode::Sign) return room > sig ? room - sig : 0;
  const std::size_t block = s.Policy->SymmetricBlockSize;
  const std::size_t total = room / block * block;
  return total > sig + 1 ? total - sig - 1 : 0;
}

std::string UaSecureChunk(const UaChannelSecurity& s, bool asymmetric, std::uint32_t tokenId,
                          std::string plain, std::size_t headerEnd) {
  if (!s.Secured()) {
    PatchSize(plain, plain.size());
    return plain;
  }
  const UaSecurityPolicy& p = *s.Policy;
  if (asymmetric) {
    const UaKey& peer = s.PeerCertificate.PublicKey();
    const std::size_t sig = s.OwnKey.Bytes();
    const std::size_t plainBlock = UaRsaPlainBlock(p, peer);
    Pad(plain, plain.size() - headerEnd, sig, plainBlock, ExtraPadding(peer));
    const std::size_t blocks = (plain.size() - headerEnd + sig) / plainBlock;
    PatchSize(plain, headerEnd + blocks * peer.Bytes());
    plain += UaRsaSign(p, s.OwnKey, plain);
    return plain.substr(0, headerEnd) +
           UaRsaEncrypt(p, peer, std::string_view(plain).substr(headerEnd));
  }
  const UaChannelSecurity::TokenKeys* keys = s.Keys(tokenId);
  if (!keys) throw UaLinkError("The channel has no keys for its security token");
  const std::size_t sig = p.SymmetricSignatureLength;
  const bool encrypt = s.Mode == UaSecurityMode::SignAndEncrypt;
  if (encrypt) Pad(plain, plain.size() - headerEnd, sig, p.SymmetricBlockSize, false);
  PatchSize(plain, plain.size() + sig);
  plain += UaHmacSha256(keys->Own.SigningKey, plain);
  if (!encrypt) return plain;
  return plain.substr(0, headerEnd) +
         UaAesCbc(p, keys->Own, std::string_view(plain).substr(headerEnd), true);
}

std::string UaUnsecureChunk(const UaChannelSecurity& s, bool asymmetric, std::uint32_t tokenId,
                            std::string_view chunk, std::size_t headerEnd) {
  const std::string_view secured = chunk.substr(headerEnd);
  if (!s.Secured()) return std::string(secured);
  const UaSecurityPolicy& p = *s.Policy;
  const std::string_view header = chunk.substr(0, headerEnd);
  if (asymmetric) {
    const UaKey& peer = s.PeerCertificate.PublicKey();
    const std::size_t sig = peer.Bytes();
    std::string plain;
    try {
      plain = UaRsaDecrypt(p, s.OwnKey, secured);
    } catch (const UaSecurityError&) {
      throw UaLinkError("A message from the server cannot be decrypted; the connection is closed");
    }
    if (plain.size() < sig) BadSignature();
    const std::string_view signedPart = std::string_view(plain).substr(0, plain.size() - sig);
    if (!UaRsaVerify(p, peer, std::string(header) + std::string(signedPart),
                     std::string_view(plain).substr(plain.size() - sig)))
      BadSignature();
    plain.resize(signedPart.size() - PaddingLength(signedPart, ExtraPadding(s.OwnKey)));
    return plain;
  }
  const UaChannelSecurity::TokenKeys* keys = s.Keys(tokenId);
  if (!keys)
    throw UaLinkError("The server used the unknown security token " + std::to_string(tokenId));
  const std::size_t sig = p.SymmetricSignatureLength;
  const bool encrypt = s.Mode == UaSecurityMode::SignAndEncrypt;
  std::string plain;
  if (encrypt) {
    if (secured.size() % p.SymmetricBlockSize != 0)
      throw UaLinkError("An encrypted chunk from the server is not whole cipher blocks");
    plain = UaAesCbc(p, keys->Peer, secured, false);
  } else {
    plain = std::string(secured);
  }
  if (plain.size() < sig) BadSignature();
  const std::string_view signedPart = std::string_view(plain).substr(0, plain.size() - sig);
  const std::string expected =
      UaHmacSha256(keys->Peer.SigningKey, std::string(header) + std::string(signedPart));
  if (!UaEqualBytes(expected, std::string_view(plain).substr(plain.size() - sig))) BadSignature();
  std::size_t keep = signedPart.size();
  if (encrypt) keep -= PaddingLength(signedPart, false);
  plain.resize(keep);
  return plain;
}
