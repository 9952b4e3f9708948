// A secure channel: Hello/Acknowledge with negotiated buffer and message sizes,
// OpenSecureChannel (signed and encrypted with the certificates' keys unless the policy
// is None) and its renewal with new keys at 75 % of the token's lifetime, requests matched
// to responses by request id, a deadline on every request.
// Not thread-safe: one caller at a time. Any link failure closes the channel for good.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "opc/ua/UaChunkSecurity.h"
#include "opc/ua/UaServices.h"
#include "opc/ua/UaSocket.h"

// A service the server answered with a bad status (a ServiceFault or a bad service result).
class UaServiceError : public std::runtime_error {
 public:
  UaServiceError(const std::string& what, UaStatusCode status)
      : std::runtime_error(what), Status(status) {}
  UaStatusCode Status;
};

// The answer to a request sent with Post.
struct UaPostedAnswer {
  std::uint32_t RequestId = 0;
  UaStatusCode Status = UaGood;  // a ServiceFault's, an abort's or a bad service result
  std::string Body;              // after the response header, when Status is not bad
};

// The bound on an operation of several requests (a connect, a browse, a command): its
// deadline, and its name ("connect") and length for the message when it runs out.
struct UaOperationBound {
  UaDeadline Deadline;
  std::string Name;  // "" for a bound without one
  int Ms = 0;
};

struct UaChannelLimits {
  std::uint32_t ReceiveBufferSize = 65535;
  std::uint32_t MaxMessageSize = 16 * 1024 * 1024;  // the cap on a reassembled answer
  std::uint32_t MaxChunkCount = 1024;
  std::uint32_t RequestedLifetimeMs = 600'000;
  int TimeoutMs = 5000;  // for connecting and for each request
};

class UaChannel {
 public:
  explicit UaChannel(UaChannelLimits limits = {}) : limits_(limits), assembler_(0, 0) {}
  ~UaChannel();

  // Connects to the endpoint and opens the secure channel with the given security (its
  // policy, mode, our certificate and key, the server's certificate; default None).
  void Open(const std::string& endpointUrl, UaChannelSecurity security = {});
  const UaChannelSecurity& Security() const { return security_; }
  const UaChannelLimits& Limits() const { return limits_; }
  bool IsOpen() const { return socket_.IsOpen(); }
  const std::string& EndpointUrl() const { return url_; }

  // Sends one request (the body after the request header, which this fills in) and
  // returns the response body after its header, whose service result it checks. Renews
  // the token first when due. Throws UaServiceError or UaLinkError.
  std::string Call(std::uint32_t requestType, std::uint32_t responseType,
                   const std::string& requestBody, const UaNodeId& authenticationToken = {});

  // Sends a request without waiting for its answer (a Publish, which the server holds
  // until it has something to say); its answer is kept for TakeAnswers, also when it
  // arrives while a Call waits for its own. Returns the request id.
  std::uint32_t Post(std::uint32_t requestType, std::uint32_t responseType,
                     const std::string& requestBody, const UaNodeId& authenticationToken,
                     std::uint32_t timeoutHintMs);
  // The answers to posted requests that have arrived, waiting up to waitMs for the
  // first when none has. Throws UaLinkError.
  std::vector<UaPostedAnswer> TakeAnswers(int waitMs);
  // Posted requests not answered yet.
  std::size_t PostedCount() const { return posted_.size(); }

  // Sends CloseSecureChannel and closes the connection; never throws.
  void Close();
  // From any thread: the request in flight fails at once with UaAbortedText, and so does
  // every later one, until ClearAbort (see UaSocket::Abort).
  void Abort() { socket_.Abort(); }
  void ClearAbort() { socket_.ClearAbort(); }
  bool Aborted() const { return socket_.Aborted(); }

  // What the server agreed to.
  std::uint32_t TokenId() const { return sender_.TokenId; }
  std::uint32_t RevisedLifetimeMs() const { return token_.RevisedLifetimeMs; }
  std::uint32_t NextSequenceNumber() const { return sender_.NextSequenceNumber; }
  // True when the next request renews the token first.
  bool RenewalDue() const { return std::chrono::steady_clock::now() >= renewAt_; }
  // When the last request was answered (or the channel opened).
  std::chrono::steady_clock::time_point LastAnswer() const { return lastAnswer_; }
  // Makes the next request renew the token first (tests of renewal).
  void RenewBeforeNextRequest() { renewAt_ = std::chrono::steady_clock::now(); }
  // A deadline for everything until it is cleared (an operation of several requests: a
  // connect, a browse, a command): each request ends by it as well as by its own time-out.
  // A request that runs out of time says which bound it was: its own time-out, or the
  // operation's (by name, with how long the server had been answering in it).
  void SetOperationBound(std::optional<UaOperationBound> bound) { operation_ = std::move(bound); }
  const std::optional<UaOperationBound>& Operation() const { return operation_; }
  void SetOperationDeadline(std::optional<UaDeadline> deadline) {
    if (deadline)
      operation_ = UaOperationBound{*deadline, "", 0};
    else
      operation_.reset();
  }
  std::optional<UaDeadline> OperationDeadline() const {
    return operation_ ? std::optional<UaDeadline>(operation_->Deadline) : std::nullopt;
  }

 private:
  void Send(const char* type, std::uint32_t requestId, const std::string& body,
            UaDeadline deadline);
  UaReceivedMessage ReceiveMessage(UaDeadline deadline);
  std::string Exchange(const char* type, std::uint32_t requestType, std::uint32_t responseType,
                       const std::string& requestBody, const UaNodeId& token);
  std::uint32_t SendRequest(const char* type, std::uint32_t requestType,
                            const std::string& requestBody, const UaNodeId& token,
                            std::uint32_t timeoutHintMs);
  // The body after the response header; throws UaServiceError for a fault or bad result.
  std::string Answer(UaReceivedMessage& m, std::uint32_t responseType);
  // Keeps the answer of a posted request; false for one nobody waits for.
  bool KeepPosted(UaReceivedMessage& m);
  template <typename F>
  auto Guarded(F&& f) -> decltype(f());
  void OpenSecureChannel(bool renew);
  [[noreturn]] void Fail(const UaLinkError& e);
  // The request time-out from now, or the operation's deadline when that comes first.
  UaDeadline RequestDeadline() const;
  // The text of a wait that ran out (`what`), with the bound that ran out.
  std::string TimeoutText(const std::string& what) const;
  // Counts an answer to a request this client never made or gave up on; past a few the
  // server is broken and the link ends.
  void CountForeignAnswer();

  UaChannelLimits limits_;
  std::string url_;
  UaSocket socket_;
  UaChunkSender sender_;
  UaChunkAssembler assembler_;
  UaSecurityToken token_;
  UaChannelSecurity security_;
  std::chrono::steady_clock::time_point renewAt_;
  std::uint32_t nextRequestId_ = 1;
  std::chrono::steady_clock::time_point lastAnswer_;
  std::map<std::uint32_t, std::uint32_t> posted_;  // request id -> response type
  std::deque<UaPostedAnswer> answers_;
  std::optional<UaOperationBound> operation_;
  int foreignAnswers_ = 0;
};

// Answers to unknown request ids a channel tolerates before it ends the link.
inline constexpr int UaMaxForeignAnswers = 4;
