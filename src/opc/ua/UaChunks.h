// The chunks of the opc.tcp transport: the message header, splitting a message into
// chunks that fit the peer's buffer, and putting received chunks back together with a
// cap on memory and chunk count. Pure byte work, no socket.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "opc/ua/UaLinkError.h"
#include "opc/ua/UaTypes.h"

struct UaChannelSecurity;

inline constexpr std::size_t UaHeaderSize = 8;
inline constexpr const char* UaSecurityPolicyNone = "http://opcfoundation.org/UA/SecurityPolicy#None";

struct UaMessageHeader {
  std::string Type;  // "HEL", "ACK", "ERR", "OPN", "MSG", "CLO"
  char ChunkType = 'F';  // 'F' final, 'C' more follow, 'A' abort
  std::uint32_t Size = 0;
};

// Reads and checks the 8 header bytes: a known message type and chunk type and a size
// from the header's own size up to maxChunkSize. Throws UaLinkError otherwise.
UaMessageHeader DecodeMessageHeader(std::string_view eight, std::uint32_t maxChunkSize);

// What the sender of secure-channel messages keeps between messages.
struct UaChunkSender {
  std::uint32_t ChannelId = 0;
  std::uint32_t TokenId = 0;
  std::uint32_t NextSequenceNumber = 1;
  std::uint32_t SendBufferSize = 65535;  // the peer's receive buffer
  std::uint32_t MaxMessageSize = 0;      // of the peer; 0: no limit
  std::uint32_t MaxChunkCount = 0;       // of the peer; 0: no limit
  const UaChannelSecurity* Security = nullptr;  // none: security policy None

  // The chunks of one message ("OPN", "MSG" or "CLO"); sequence numbers continue from the
  // last message and wrap as the protocol says. Throws UaLinkError when the message is
  // larger than the peer accepts.
  std::vector<std::string> Chunks(const char* type, std::uint32_t requestId, std::string_view body);
};

// One message put together from its chunks.
struct UaReceivedMessage {
  std::string Type;
  std::uint32_t RequestId = 0;
  std::string Body;          // without the security and sequence headers
  bool Aborted = false;      // an abort chunk: AbortStatus and AbortReason say why
  UaStatusCode AbortStatus = 0;
  std::string AbortReason;
};

class UaChunkAssembler {
 public:
  UaChunkAssembler(std::uint32_t maxMessageSize, std::uint32_t maxChunkCount)
      : maxMessageSize_(maxMessageSize), maxChunkCount_(maxChunkCount) {}
  // The channel the chunks must belong to, once it is known (0: any).
  void SetChannelId(std::uint32_t id) { channelId_ = id; }
  // What the chunks are secured with (none: security policy None).
  void SetSecurity(const UaChannelSecurity* security) { security_ = security; }
  // Takes one whole chunk (header included); a message when this chunk completes one.
  // Throws UaLinkError on anything the protocol does not allow.
  std::optional<UaReceivedMessage> Add(std::string_view chunk);

 private:
  struct Partial {
    std::string Body;
    std::uint32_t Chunks = 0;
  };
  std::uint32_t maxMessageSize_, maxChunkCount_;
  std::uint32_t channelId_ = 0;
  const UaChannelSecurity* security_ = nullptr;
  std::optional<std::uint32_t> lastSequenceNumber_;
  std::size_t bufferedBytes_ = 0;
  std::map<std::uint32_t, Partial> partial_;
};
