#include "opc/ua/UaChannel.h"

#include <algorithm>

namespace {

constexpr std::uint32_t OurSendBufferSize = 65535;
// The smallest buffer a peer may offer.
constexpr std::uint32_t MinBufferSize = 8192;

std::string ErrorText(UaReader& r) {
  const UaStatusCode status = r.UInt32();
  const std::string reason = r.String();
  return UaStatusName(status) + (reason.empty() ? "" : ": " + reason);
}

}  // namespace

UaChannel::~UaChannel() { Close(); }

void UaChannel::Fail(const UaLinkError& e) {
  socket_.Close();
  throw e;
}

void UaChannel::Open(const std::string& endpointUrl) {
  Close();
  url_ = endpointUrl;
  const UaEndpointUrl where = UaEndpointUrl::Parse(endpointUrl);
  const UaDeadline deadline = UaDeadlineIn(limits_.TimeoutMs);
  socket_.Connect(where.Host, where.Port, deadline);
  try {
    UaWriter hello;
    hello.Bytes().append("HELF");
    hello.UInt32(0);
    hello.UInt32(0);  // protocol version
    hello.UInt32(limits_.ReceiveBufferSize);
    hello.UInt32(OurSendBufferSize);
    hello.UInt32(limits_.MaxMessageSize);
    hello.UInt32(limits_.MaxChunkCount);
    hello.String(endpointUrl);
    hello.PatchUInt32(4, static_cast<std::uint32_t>(hello.Bytes().size()));
    socket_.SendAll(hello.Bytes(), deadline);

    const std::string head = socket_.ReceiveExactly(UaHeaderSize, deadline);
    const UaMessageHeader h = DecodeMessageHeader(head, limits_.ReceiveBufferSize);
    const std::string body = socket_.ReceiveExactly(h.Size - UaHeaderSize, deadline);
    UaReader r(body);
    if (h.Type == "ERR") throw UaLinkError("The server refused the connection: " + ErrorText(r));
    if (h.Type != "ACK") throw UaLinkError("The server did not acknowledge the connection");
    r.UInt32();  // protocol version
    const std::uint32_t peerReceive = r.UInt32();
    const std::uint32_t peerSend = r.UInt32();
    sender_ = UaChunkSender{};
    sender_.SendBufferSize = std::min(peerReceive, OurSendBufferSize);
    sender_.MaxMessageSize = r.UInt32();
    sender_.MaxChunkCount = r.UInt32();
    if (peerReceive < MinBufferSize || peerSend < MinBufferSize ||
        peerSend > limits_.ReceiveBufferSize)
      throw UaLinkError("The server asked for buffer sizes outside the protocol's bounds");
    assembler_ = UaChunkAssembler(limits_.MaxMessageSize, limits_.MaxChunkCount);
    OpenSecureChannel(false);
  } catch (const UaLinkError& e) {
    Fail(e);
  } catch (const UaDecodeError& e) {
    Fail(UaLinkError(std::string("The server sent a malformed answer: ") + e.what()));
  }
}

void UaChannel::OpenSecureChannel(bool renew) {
  UaWriter body;
  EncodeOpenSecureChannel(body, renew, limits_.RequestedLifetimeMs);
  const std::string answer = Exchange("OPN", UaMessageId::OpenSecureChannelRequest,
                                      UaMessageId::OpenSecureChannelResponse, body.Bytes(), {});
  UaReader r(answer);
  const UaSecurityToken token = DecodeOpenSecureChannel(r);
  if (renew && token.ChannelId != token_.ChannelId)
    throw UaLinkError("The server renewed the token on another channel");
  token_ = token;
  sender_.ChannelId = token.ChannelId;
  sender_.TokenId = token.TokenId;
  assembler_.SetChannelId(token.ChannelId);
  // Renew at 75 % of the lifetime; a lifetime of 0 would mean renewing before each request.
  const auto lifetime = std::chrono::milliseconds(std::max<std::uint32_t>(token.RevisedLifetimeMs, 1000));
  renewAt_ = std::chrono::steady_clock::now() + lifetime * 3 / 4;
}

std::string UaChannel::Call(std::uint32_t requestType, std::uint32_t responseType,
                            const std::string& requestBody, const UaNodeId& authenticationToken) {
  if (!socket_.IsOpen()) throw UaLinkError("The connection to the server is closed");
  try {
    if (std::chrono::steady_clock::now() >= renewAt_) OpenSecureChannel(true);
    return Exchange("MSG", requestType, responseType, requestBody, authenticationToken);
  } catch (const UaLinkError& e) {
    Fail(e);
  } catch (const UaDecodeError& e) {
    Fail(UaLinkError(std::string("The server sent a malformed answer: ") + e.what()));
  }
}

void UaChannel::Send(const char* type, std::uint32_t requestId, const std::string& body,
                     UaDeadline deadline) {
  for (const std::string& chunk : sender_.Chunks(type, requestId, body))
    socket_.SendAll(chunk, deadline);
}

UaReceivedMessage UaChannel::ReceiveMessage(UaDeadline deadline) {
  for (;;) {
    std::string chunk = socket_.ReceiveExactly(UaHeaderSize, deadline);
    const UaMessageHeader h = DecodeMessageHeader(chunk, limits_.ReceiveBufferSize);
    chunk += socket_.ReceiveExactly(h.Size - UaHeaderSize, deadline);
    if (h.Type == "ERR") {
      UaReader r(std::string_view(chunk).substr(UaHeaderSize));
      throw UaLinkError("The server ended the connection: " + ErrorText(r));
    }
    if (auto message = assembler_.Add(chunk)) return std::move(*message);
  }
}

std::string UaChannel::Exchange(const char* type, std::uint32_t requestType,
                                std::uint32_t responseType, const std::string& requestBody,
                                const UaNodeId& token) {
  const std::uint32_t requestId = nextRequestId_;
  nextRequestId_ = nextRequestId_ == 0xFFFFFFFFu ? 1 : nextRequestId_ + 1;
  UaWriter w;
  w.NodeId(UaNodeId::Num(requestType));
  EncodeRequestHeader(w, {token, requestId, static_cast<std::uint32_t>(limits_.TimeoutMs)});
  w.Bytes().append(requestBody);
  const UaDeadline deadline = UaDeadlineIn(limits_.TimeoutMs);
  Send(type, requestId, w.Bytes(), deadline);
  for (;;) {
    UaReceivedMessage m = ReceiveMessage(deadline);
    if (m.RequestId != requestId) continue;  // the late answer of an earlier request
    if (m.Aborted)
      throw UaServiceError("The server aborted its answer: " + UaStatusName(m.AbortStatus) +
                               (m.AbortReason.empty() ? "" : ": " + m.AbortReason),
                           m.AbortStatus);
    UaReader r(m.Body);
    const UaNodeId answerType = r.NodeId();
    const bool fault = answerType == UaNodeId::Num(UaMessageId::ServiceFault);
    if (!fault && answerType != UaNodeId::Num(responseType))
      throw UaLinkError("The server answered with an unexpected message (" +
                        FormatNodeId(answerType) + ")");
    const UaResponseHeader header = DecodeResponseHeader(r);
    lastAnswer_ = std::chrono::steady_clock::now();
    if (fault || UaIsBad(header.ServiceResult))
      throw UaServiceError(UaStatusName(header.ServiceResult), header.ServiceResult);
    return m.Body.substr(r.Position());
  }
}

void UaChannel::Close() {
  if (!socket_.IsOpen()) return;
  try {
    UaWriter w;
    w.NodeId(UaNodeId::Num(UaMessageId::CloseSecureChannelRequest));
    EncodeRequestHeader(w, {{}, nextRequestId_++, 0});
    Send("CLO", nextRequestId_ - 1, w.Bytes(), UaDeadlineIn(500));
  } catch (const std::exception&) {
    // The connection is going away anyway.
  }
  socket_.Close();
}
