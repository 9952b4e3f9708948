#include "opc/ua/UaChunks.h"

#include "opc/ua/UaBinary.h"
#include "opc/ua/UaChunkSecurity.h"

namespace {

// Sequence numbers wrap before this value to a number below 1024.
constexpr std::uint32_t SequenceWrapAt = 4'294'966'271u;

bool KnownType(std::string_view t) {
  return t == "HEL" || t == "ACK" || t == "ERR" || t == "OPN" || t == "MSG" || t == "CLO" ||
         t == "RHE";
}

// The security header of a chunk: what follows the message header and precedes the
// sequence header.
void WriteSecurityHeader(UaWriter& w, const char* type, std::uint32_t channelId,
                         std::uint32_t tokenId, const UaChannelSecurity& security) {
  w.UInt32(channelId);
  if (std::string_view(type) == "OPN") {
    w.String(security.Policy->Uri);
    if (security.Secured()) {
      w.String(security.OwnCertificate.Der());
      w.String(security.PeerCertificate.Thumbprint());
    } else {
      w.NullString();  // sender certificate
      w.NullString();  // receiver certificate thumbprint
    }
  } else {
    w.UInt32(tokenId);
  }
}

}  // namespace

UaMessageHeader DecodeMessageHeader(std::string_view eight, std::uint32_t maxChunkSize) {
  UaReader r(eight);
  UaMessageHeader h;
  h.Type = std::string(r.Raw(3));
  h.ChunkType = static_cast<char>(r.Byte());
  h.Size = r.UInt32();
  if (!KnownType(h.Type))
    throw UaLinkError("The server sent something that is not OPC UA (message type '" +
                      std::string(eight.substr(0, 3)) + "')");
  if (h.ChunkType != 'F' && h.ChunkType != 'C' && h.ChunkType != 'A')
    throw UaLinkError("The server sent an unknown chunk type");
  if (h.Size < UaHeaderSize || h.Size > maxChunkSize)
    throw UaLinkError("The server sent a chunk of " + std::to_string(h.Size) +
                      " bytes, outside the negotiated 8.." + std::to_string(maxChunkSize));
  return h;
}

std::vector<std::string> UaChunkSender::Chunks(const char* type, std::uint32_t requestId,
                                               std::string_view body) {
  static const UaChannelSecurity none;
  const UaChannelSecurity& security = Security ? *Security : none;
  const bool asymmetric = std::string_view(type) == "OPN";
  UaWriter probe;
  WriteSecurityHeader(probe, type, ChannelId, TokenId, security);
  const std::size_t headerEnd = UaHeaderSize + probe.Bytes().size();
  const std::size_t room = UaMaxChunkPlainSize(security, asymmetric, SendBufferSize, headerEnd);
  if (room <= 8) throw UaLinkError("The server's receive buffer is too small");
  const std::size_t perChunk = room - 8;  // after the sequence header
  const std::size_t count = body.empty() ? 1 : (body.size() + perChunk - 1) / perChunk;
  if ((MaxMessageSize != 0 && body.size() > MaxMessageSize) ||
      (MaxChunkCount != 0 && count > MaxChunkCount))
    throw UaLinkError("The request of " + std::to_string(body.size()) +
                      " bytes is larger than the server accepts");
  std::vector<std::string> chunks;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view part = body.substr(i * perChunk, perChunk);
    UaWriter w;
    w.Bytes().append(type, 3);
    w.Byte(i + 1 == count ? 'F' : 'C');
    w.UInt32(0);
    WriteSecurityHeader(w, type, ChannelId, TokenId, security);
    w.UInt32(NextSequenceNumber);
    w.UInt32(requestId);
    w.Bytes().append(part);
    chunks.push_back(UaSecureChunk(security, asymmetric, TokenId, std::move(w.Bytes()), headerEnd));
    NextSequenceNumber = NextSequenceNumber >= SequenceWrapAt ? 1 : NextSequenceNumber + 1;
  }
  return chunks;
}

std::optional<UaReceivedMessage> UaChunkAssembler::Add(std::string_view chunk) {
  try {
    UaReader r(chunk);
    UaReceivedMessage m;
    m.Type = std::string(r.Raw(3));
    const char chunkType = static_cast<char>(r.Byte());
    if (r.UInt32() != chunk.size()) throw UaLinkError("A chunk's size does not match its header");
    const std::uint32_t channelId = r.UInt32();
    if (channelId_ != 0 && channelId != channelId_)
      throw UaLinkError("The server answered on another secure channel (" +
                        std::to_string(channelId) + ")");
    static const UaChannelSecurity none;
    const UaChannelSecurity& security = security_ ? *security_ : none;
    std::uint32_t tokenId = 0;
    const bool asymmetric = m.Type == "OPN";
    if (asymmetric) {
      const std::string policy = r.String();
      if (policy != security.Policy->Uri)
        throw UaLinkError("The server chose the security policy " + policy);
      const std::string sender = r.String();
      const std::string thumbprint = r.String();
      if (security.Secured() && (sender != security.PeerCertificate.Der() ||
                                 thumbprint != security.OwnCertificate.Thumbprint()))
        throw UaLinkError(
            "The server signed the channel with another certificate than its endpoint's");
    } else if (m.Type == "MSG" || m.Type == "CLO") {
      tokenId = r.UInt32();
    } else {
      throw UaLinkError("Unexpected message type " + m.Type + " on the secure channel");
    }
    // Nothing after the security header is read before its signature is checked.
    const std::string plain = UaUnsecureChunk(security, asymmetric, tokenId, chunk, r.Position());
    UaReader q(plain);
    const std::uint32_t sequence = q.UInt32();
    m.RequestId = q.UInt32();
    // Sequence numbers rise by one per chunk; they wrap only near the top of the range.
    if (lastSequenceNumber_ && sequence != *lastSequenceNumber_ + 1 &&
        !(*lastSequenceNumber_ >= SequenceWrapAt && sequence < 1024))
      throw UaLinkError("The server's sequence number jumped from " +
                        std::to_string(*lastSequenceNumber_) + " to " + std::to_string(sequence));
    lastSequenceNumber_ = sequence;

    if (chunkType == 'A') {
      const auto it = partial_.find(m.RequestId);
      if (it != partial_.end()) {
        bufferedBytes_ -= it->second.Body.size();
        partial_.erase(it);
      }
      m.Aborted = true;
      m.AbortStatus = q.UInt32();
      m.AbortReason = q.String();
      return m;
    }
    Partial& p = partial_[m.RequestId];
    const std::string_view part = std::string_view(plain).substr(q.Position());
    if (bufferedBytes_ + part.size() > maxMessageSize_ || ++p.Chunks > maxChunkCount_)
      throw UaLinkError("The server's answer is larger than " + std::to_string(maxMessageSize_) +
                        " bytes or " + std::to_string(maxChunkCount_) + " chunks");
    p.Body.append(part);
    bufferedBytes_ += part.size();
    if (chunkType == 'C') return std::nullopt;
    m.Body = std::move(p.Body);
    bufferedBytes_ -= m.Body.size();
    partial_.erase(m.RequestId);
    return m;
  } catch (const UaDecodeError& e) {
    throw UaLinkError(std::string("The server sent a malformed chunk: ") + e.what());
  }
}
