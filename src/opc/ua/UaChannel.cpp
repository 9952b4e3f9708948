#include "opc/ua/UaChannel.h"

#include <algorithm>

#include "data/NumberFormat.h"

namespace {

constexpr std::uint32_t OurSendBufferSize = 65535;
// The smallest buffer a peer may offer.
constexpr std::uint32_t MinBufferSize = 8192;

std::string ErrorText(UaReader& r) {
  const UaStatusCode status = r.UInt32();
  const std::string reason = r.String();
  return UaStatusName(status) + (reason.empty() ? "" : ": " + UaServerText(reason));
}

std::string Seconds(double ms) { return FormatGeneral(ms / 1000, 6, '.') + " s"; }

}  // namespace

UaChannel::~UaChannel() { Close(); }

void UaChannel::Fail(const UaLinkError& e) {
  socket_.Close();
  if (dynamic_cast<const UaTimeoutError*>(&e)) throw UaTimeoutError(e.what());
  throw e;
}

void UaChannel::Open(const std::string& endpointUrl, UaChannelSecurity security) {
  Close();
  url_ = endpointUrl;
  security_ = std::move(security);
  const UaEndpointUrl where = UaEndpointUrl::Parse(endpointUrl);
  foreignAnswers_ = 0;
  const UaDeadline deadline = RequestDeadline();
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
    sender_.Security = &security_;
    if (peerReceive < MinBufferSize || peerSend < MinBufferSize ||
        peerSend > limits_.ReceiveBufferSize)
      throw UaLinkError("The server asked for buffer sizes outside the protocol's bounds");
    assembler_ = UaChunkAssembler(limits_.MaxMessageSize, limits_.MaxChunkCount);
    assembler_.SetSecurity(&security_);
    OpenSecureChannel(false);
  } catch (const UaTimeoutError& e) {
    Fail(UaTimeoutError(TimeoutText(e.what())));
  } catch (const UaLinkError& e) {
    Fail(e);
  } catch (const UaDecodeError& e) {
    Fail(UaLinkError(std::string("The server sent a malformed answer: ") + e.what()));
  } catch (const UaSecurityError& e) {
    Fail(UaLinkError(e.what()));
  }
}

void UaChannel::OpenSecureChannel(bool renew) {
  const std::string clientNonce =
      security_.Secured() ? UaRandomBytes(static_cast<std::size_t>(security_.Policy->NonceLength))
                          : "";
  UaWriter body;
  EncodeOpenSecureChannel(body, renew, limits_.RequestedLifetimeMs,
                          static_cast<std::uint32_t>(security_.Mode), clientNonce);
  const std::string answer = Exchange("OPN", UaMessageId::OpenSecureChannelRequest,
                                      UaMessageId::OpenSecureChannelResponse, body.Bytes(), {});
  UaReader r(answer);
  const UaSecurityToken token = DecodeOpenSecureChannel(r);
  if (renew && token.ChannelId != token_.ChannelId)
    throw UaLinkError("The server renewed the token on another channel");
  if (security_.Secured()) {
    if (token.ServerNonce.size() != static_cast<std::size_t>(security_.Policy->NonceLength))
      throw UaLinkError("The server's nonce has " + std::to_string(token.ServerNonce.size()) +
                        " bytes, the security policy asks for " +
                        std::to_string(security_.Policy->NonceLength));
    security_.AddToken(token.TokenId, clientNonce, token.ServerNonce);
  }
  token_ = token;
  sender_.ChannelId = token.ChannelId;
  sender_.TokenId = token.TokenId;
  assembler_.SetChannelId(token.ChannelId);
  // Renew at 75 % of the lifetime; a lifetime of 0 would mean renewing before each request.
  const auto lifetime = std::chrono::milliseconds(std::max<std::uint32_t>(token.RevisedLifetimeMs, 1000));
  renewAt_ = std::chrono::steady_clock::now() + lifetime * 3 / 4;
}

template <typename F>
auto UaChannel::Guarded(F&& f) -> decltype(f()) {
  if (!socket_.IsOpen()) throw UaLinkError("The connection to the server is closed");
  try {
    return f();
  } catch (const UaTimeoutError& e) {
    Fail(UaTimeoutError(TimeoutText(e.what())));
  } catch (const UaLinkError& e) {
    Fail(e);
  } catch (const UaDecodeError& e) {
    Fail(UaLinkError(std::string("The server sent a malformed answer: ") + e.what()));
  } catch (const UaSecurityError& e) {
    Fail(UaLinkError(e.what()));
  }
}

std::string UaChannel::Call(std::uint32_t requestType, std::uint32_t responseType,
                            const std::string& requestBody, const UaNodeId& authenticationToken) {
  return Guarded([&] {
    if (RenewalDue()) OpenSecureChannel(true);
    return Exchange("MSG", requestType, responseType, requestBody, authenticationToken);
  });
}

std::uint32_t UaChannel::Post(std::uint32_t requestType, std::uint32_t responseType,
                              const std::string& requestBody, const UaNodeId& authenticationToken,
                              std::uint32_t timeoutHintMs) {
  return Guarded([&] {
    if (RenewalDue()) OpenSecureChannel(true);
    const std::uint32_t id =
        SendRequest("MSG", requestType, requestBody, authenticationToken, timeoutHintMs);
    posted_[id] = responseType;
    return id;
  });
}

std::vector<UaPostedAnswer> UaChannel::TakeAnswers(int waitMs) {
  return Guarded([&] {
    // Whatever has arrived is taken without waiting; the wait is only for the first.
    UaDeadline until = std::min(UaDeadlineIn(answers_.empty() ? waitMs : 0), RequestDeadline());
    while (!posted_.empty() && socket_.Readable(until)) {
      UaReceivedMessage m = ReceiveMessage(RequestDeadline());
      if (KeepPosted(m))
        until = std::chrono::steady_clock::now();
      else
        CountForeignAnswer();
      if (std::chrono::steady_clock::now() >= until) break;
    }
    std::vector<UaPostedAnswer> out(std::make_move_iterator(answers_.begin()),
                                    std::make_move_iterator(answers_.end()));
    answers_.clear();
    return out;
  });
}

bool UaChannel::KeepPosted(UaReceivedMessage& m) {
  const auto posted = posted_.find(m.RequestId);
  if (posted == posted_.end()) return false;  // the late answer of a request given up on
  const std::uint32_t responseType = posted->second;
  posted_.erase(posted);
  UaPostedAnswer a;
  a.RequestId = m.RequestId;
  try {
    a.Body = Answer(m, responseType);
  } catch (const UaServiceError& e) {
    a.Status = e.Status;
  }
  answers_.push_back(std::move(a));
  return true;
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

std::uint32_t UaChannel::SendRequest(const char* type, std::uint32_t requestType,
                                     const std::string& requestBody, const UaNodeId& token,
                                     std::uint32_t timeoutHintMs) {
  const std::uint32_t requestId = nextRequestId_;
  nextRequestId_ = nextRequestId_ == 0xFFFFFFFFu ? 1 : nextRequestId_ + 1;
  UaWriter w;
  w.NodeId(UaNodeId::Num(requestType));
  EncodeRequestHeader(w, {token, requestId, timeoutHintMs});
  w.Bytes().append(requestBody);
  Send(type, requestId, w.Bytes(), RequestDeadline());
  return requestId;
}

std::string UaChannel::Answer(UaReceivedMessage& m, std::uint32_t responseType) {
  if (m.Aborted)
    throw UaServiceError("The server aborted its answer: " + UaStatusText(m.AbortStatus) +
                             (m.AbortReason.empty() ? "" : ": " + UaServerText(m.AbortReason)),
                         m.AbortStatus);
  UaReader r(m.Body);
  const UaNodeId answerType = r.NodeId();
  const bool fault = answerType == UaNodeId::Num(UaMessageId::ServiceFault);
  if (!fault && answerType != UaNodeId::Num(responseType))
    throw UaLinkError("The server answered with an unexpected message (" +
                      UaServerText(FormatNodeId(answerType)) + ")");
  const UaResponseHeader header = DecodeResponseHeader(r);
  // Each request carries its request id as its handle, and the answer must carry it back;
  // a fault may carry 0 (a server that could not read the request cannot know it).
  if (header.RequestHandle != m.RequestId && !(fault && header.RequestHandle == 0))
    throw UaLinkError("The server answered request " + std::to_string(m.RequestId) +
                      " with the request handle " + std::to_string(header.RequestHandle) +
                      " of another request");
  lastAnswer_ = std::chrono::steady_clock::now();
  if (fault || UaIsBad(header.ServiceResult))
    throw UaServiceError(UaStatusText(header.ServiceResult), header.ServiceResult);
  return m.Body.substr(r.Position());
}

std::string UaChannel::Exchange(const char* type, std::uint32_t requestType,
                                std::uint32_t responseType, const std::string& requestBody,
                                const UaNodeId& token) {
  const UaDeadline deadline = RequestDeadline();
  const std::uint32_t requestId = SendRequest(type, requestType, requestBody, token,
                                              static_cast<std::uint32_t>(limits_.TimeoutMs));
  for (;;) {
    UaReceivedMessage m = ReceiveMessage(deadline);
    if (m.RequestId == requestId) return Answer(m, responseType);
    // A Publish answered meanwhile; anything else answers no request of ours.
    if (!KeepPosted(m)) CountForeignAnswer();
  }
}

UaDeadline UaChannel::RequestDeadline() const {
  const UaDeadline own = UaDeadlineIn(limits_.TimeoutMs);
  return operation_ ? std::min(own, operation_->Deadline) : own;
}

std::string UaChannel::TimeoutText(const std::string& what) const {
  using namespace std::chrono;
  // A wait ends at its deadline to the millisecond it was given.
  const auto now = steady_clock::now() + milliseconds(10);
  if (!operation_ || operation_->Deadline > now)
    return what + " (a request's time-out of " + Seconds(limits_.TimeoutMs) + " ran out)";
  const UaOperationBound& o = *operation_;
  if (o.Ms <= 0) return what + " (the operation's bound ran out)";
  const auto start = o.Deadline - milliseconds(o.Ms);
  const std::string answered =
      lastAnswer_ > start
          ? "the server had been answering for " +
                FormatFixed(duration<double>(lastAnswer_ - start).count(), 1, '.') + " s"
          : "no answer had come in it";
  return what + " (the " + (o.Name.empty() ? "operation" : o.Name) + "'s bound of " +
         Seconds(o.Ms) + " ran out; " + answered + ")";
}

void UaChannel::CountForeignAnswer() {
  if (++foreignAnswers_ > UaMaxForeignAnswers)
    throw UaLinkError("The server keeps sending answers to requests that were never made");
}

void UaChannel::Close() {
  posted_.clear();
  answers_.clear();
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
