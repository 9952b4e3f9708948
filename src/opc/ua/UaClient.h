// An OPC UA client session over one secure channel (security None or a signed or encrypted
// channel; anonymous or with a user name and password): discovery, Read, Write and Browse.
// Synchronous and not thread-safe; a link failure ends the session (IsConnected turns false) and
// every later call throws UaLinkError.
#pragma once

#include <string>
#include <vector>

#include "opc/ua/UaChannel.h"
#include "opc/ua/UaSessionSecurity.h"

class UaClient {
 public:
  explicit UaClient(UaChannelLimits limits = {}) : channel_(limits) {}
  ~UaClient() { Close(); }

  // Reads the endpoints on an unsecured channel, chooses one as the options say, checks
  // the server's certificate (asking about an unknown one), opens the channel with the
  // endpoint's security, creates and activates the session (signatures checked both ways,
  // anonymous or with the user's name and password) and reads the namespace table.
  // Throws UaLinkError, UaCertificateError or UaServiceError.
  void Connect(const std::string& endpointUrl, const UaConnectOptions& options = {});
  // The endpoint of the present connection.
  const UaEndpoint& Endpoint() const { return endpoint_; }
  // Closes the session and the channel; never throws.
  void Close();
  bool IsConnected() const { return activated_ && channel_.IsOpen(); }

  // Discovery on the open channel (no session needed).
  std::vector<UaEndpoint> GetEndpoints();
  std::vector<UaApplication> FindServers();

  std::vector<UaDataValue> Read(const std::vector<UaReadValueId>& nodes);
  // One status per value, in order.
  std::vector<UaStatusCode> Write(const std::vector<UaWriteValue>& values);
  // Every forward hierarchical reference of a node, following continuation points.
  std::vector<UaReference> Browse(const UaNodeId& node);

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
  // Runs f on the channel; a link failure ends the session.
  template <typename F>
  auto OnLink(F&& f) -> decltype(f());

  UaChannel channel_;
  void ActivateSession(const UaConnectOptions& options);

  UaNodeId authenticationToken_;
  UaEndpoint endpoint_;
  bool activated_ = false;
  std::vector<std::string> namespaces_;
  std::vector<UaAcknowledgement> acknowledgements_;
  std::uint32_t publishTimeoutHintMs_ = 0;
};
