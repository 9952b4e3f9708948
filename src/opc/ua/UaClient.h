// opc/ua/ is our own OPC UA client: binary encoding, chunks, the secure channel and its
// security, the session, services and certificates.
//
// An OPC UA client session over one secure channel (security None or a signed or encrypted
// channel; anonymous or with a user name and password): discovery, Read, Write and Browse.
// Synchronous and not thread-safe; a link failure ends the session (IsConnected turns false)
// and every later call throws UaLinkError.
//
// Bounds: each request ends within the channel's time-out (5 s by default); a whole
// connect within UaConnectBound times that, one browse with its continuation points within
// UaBrowseBound times that. The session asks for a time-out of UaSessionTimeoutMs and is
// kept alive by KeepAlive; Close ends it at the server also after a lost link, over a new
// channel, when the server can still be reached (an anonymous session without security).
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opc/ua/UaChannel.h"
#include "opc/ua/UaSessionSecurity.h"

// What one operation may take, in request time-outs: a connect (discovery, session,
// namespace table), a browse with its continuation points.
inline constexpr int UaConnectBound = 2, UaBrowseBound = 4;
// The session time-out asked for: a session left behind by a client that died goes soon.
inline constexpr double UaSessionTimeoutMs = 60'000;
inline constexpr int UaLostSessionCloseMs = 2000;

// Bounds on one browse of one node.
inline constexpr std::size_t UaMaxBrowseReferences = 10'000;
inline constexpr int UaMaxBrowseRounds = 100;

// Why a browse's list is cut: more references than the bounds allow, continuation points
// in a circle, the browse's time bound.
enum class UaBrowseCut { None, Count, Repeat, Time };

struct UaBrowseAnswer {
  std::vector<UaReference> References;
  bool Cut = false;  // the list holds less than the server offered
  UaBrowseCut Why = UaBrowseCut::None;
  std::string TimeoutText;  // cut by time: the time-out's text (the link is lost with it)
};

class UaClient {
 public:
  explicit UaClient(UaChannelLimits limits = {}) : limits_(limits), channel_(limits) {}
  ~UaClient() { Close(); }

  // Reads the endpoints on an unsecured channel, chooses one as the options say, checks
  // the server's certificate (asking about an unknown one), opens the channel with the
  // endpoint's security, creates and activates the session (signatures checked both ways,
  // anonymous or with the user's name and password) and reads the namespace table.
  // Throws UaLinkError, UaCertificateError or UaServiceError.
  void Connect(const std::string& endpointUrl, const UaConnectOptions& options = {});
  // The endpoint of the present connection.
  const UaEndpoint& Endpoint() const { return endpoint_; }
  // Closes the session and the channel; never throws. A session whose channel was lost is
  // closed over a new channel (waiting at most UaLostSessionCloseMs). After Abort it sends
  // nothing and waits for nothing: the server's session time-out ends the session.
  void Close();
  // From any thread, while another may be in a call: that call fails at once with
  // UaAbortedText (a UaLinkError), and so does every later one until the next Connect;
  // a lost session's close over a new channel in flight ends too.
  void Abort();
  bool IsConnected() const { return activated_ && channel_.IsOpen(); }
  // Connects again to the endpoint of the last connect with its security, policy and user
  // (the password kept in memory for that), asking nothing; a session a lost link left at a
  // server that could not be reached then is closed over the new channel. Throws as Connect.
  void Reconnect();

  // The session time-out the server granted (0 before a session).
  double SessionTimeoutMs() const { return sessionTimeoutMs_; }
  // True when the link has been quiet for a third of the session time-out or the token
  // is due for renewal; KeepAlive then reads the server state, which keeps both alive.
  bool KeepAliveDue() const;
  void KeepAlive();

  // Discovery on the open channel (no session needed).
  std::vector<UaEndpoint> GetEndpoints();
  std::vector<UaApplication> FindServers();

  std::vector<UaDataValue> Read(const std::vector<UaReadValueId>& nodes);
  // One status per value, in order.
  std::vector<UaStatusCode> Write(const std::vector<UaWriteValue>& values);
  // The forward hierarchical references of a node, following continuation points up to
  // UaMaxBrowseReferences references or UaMaxBrowseRounds answers, or to the first answer
  // that comes again (continuation points in a circle), which is not listed twice; past
  // that the rest is left (the continuation point released at the server) and Cut says so. A browse
  // whose bound runs out after its first answer returns what it read, cut, with the link lost.
  UaBrowseAnswer Browse(const UaNodeId& node);

  // Subscriptions: the server samples the monitored items and reports their changes in
  // answers to Publish requests, of which Publish keeps `outstanding` at the server.
  UaSubscription CreateSubscription(double publishingIntervalMs, std::uint32_t keepAliveCount);
  std::vector<UaMonitoredItemResult> CreateMonitoredItems(
      std::uint32_t subscriptionId, const std::vector<UaMonitoredItemRequest>& items);
  void DeleteSubscriptions(const std::vector<std::uint32_t>& ids);
  // Tops up the Publish requests at the server (acknowledging the messages received) and
  // returns the data changes that have arrived, waiting up to waitMs for the first.
  // Throws UaServiceError when the server refuses a Publish for a reason other than
  // having nothing to publish.
  std::vector<UaDataChange> Publish(int waitMs, std::size_t outstanding = 2);

  // The node id with a namespace URI ("nsu=") turned into the server's index; throws
  // std::invalid_argument when the server has no such namespace.
  UaNodeId Resolve(const UaNodeId& id) const;
  const std::vector<std::string>& Namespaces() const { return namespaces_; }
  UaChannel& Channel() { return channel_; }

 private:
  std::string Call(std::uint32_t request, std::uint32_t response, const UaWriter& body);
  // Calls and decodes the answer. An answer that cannot be decoded (garbage, or more
  // values than its bytes can carry) ends the session and throws UaLinkError naming the
  // service and the reason; nothing half-decoded is returned.
  template <typename Decode>
  auto CallDecoded(std::uint32_t request, std::uint32_t response, const UaWriter& body,
                   Decode&& decode);
  // Runs f on the channel; a link failure ends the session.
  template <typename F>
  auto OnLink(F&& f) -> decltype(f());

  // Activates the session of a lost channel on a new one and closes it there; false when
  // the server could not be reached.
  bool CloseLostSession(const std::string& endpointUrl, const UaNodeId& token,
                        const std::string& policyId);
  struct LeftSession {
    std::string EndpointUrl;
    UaNodeId Token;
    std::string PolicyId;
  };
  std::optional<LeftSession> leftSession_;  // a lost session not closed yet
  std::string lastUrl_;                     // of the last connect
  UaConnectOptions used_;                   // what the last connect used, questions left out

  UaChannelLimits limits_;
  UaChannel channel_;
  std::mutex abortMutex_;
  UaChannel* lostSessionChannel_ = nullptr;  // under abortMutex_: CloseLostSession's
  void ActivateSession(const UaConnectOptions& options);

  UaNodeId authenticationToken_;
  UaEndpoint endpoint_;
  std::string policyId_;
  double sessionTimeoutMs_ = 0;
  bool activated_ = false;
  std::vector<std::string> namespaces_;
  std::vector<UaAcknowledgement> acknowledgements_;
  std::uint32_t publishTimeoutHintMs_ = 0;
};
