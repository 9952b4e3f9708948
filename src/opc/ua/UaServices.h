// The services this client uses: their binary encoding ids, the request bodies it
// writes and the response bodies it reads (each after the type's node id).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "opc/ua/UaBinary.h"

// Binary encoding ids of the messages.
namespace UaMessageId {
inline constexpr std::uint32_t ServiceFault = 397;
inline constexpr std::uint32_t FindServersRequest = 422, FindServersResponse = 425;
inline constexpr std::uint32_t GetEndpointsRequest = 428, GetEndpointsResponse = 431;
inline constexpr std::uint32_t OpenSecureChannelRequest = 446, OpenSecureChannelResponse = 449;
inline constexpr std::uint32_t CloseSecureChannelRequest = 452;
inline constexpr std::uint32_t CreateSessionRequest = 461, CreateSessionResponse = 464;
inline constexpr std::uint32_t ActivateSessionRequest = 467, ActivateSessionResponse = 470;
inline constexpr std::uint32_t CloseSessionRequest = 473, CloseSessionResponse = 476;
inline constexpr std::uint32_t BrowseRequest = 527, BrowseResponse = 530;
inline constexpr std::uint32_t BrowseNextRequest = 533, BrowseNextResponse = 536;
inline constexpr std::uint32_t ReadRequest = 631, ReadResponse = 634;
inline constexpr std::uint32_t WriteRequest = 673, WriteResponse = 676;
inline constexpr std::uint32_t CreateMonitoredItemsRequest = 751, CreateMonitoredItemsResponse = 754;
inline constexpr std::uint32_t CreateSubscriptionRequest = 787, CreateSubscriptionResponse = 790;
inline constexpr std::uint32_t PublishRequest = 826, PublishResponse = 829;
inline constexpr std::uint32_t DeleteSubscriptionsRequest = 847, DeleteSubscriptionsResponse = 850;
inline constexpr std::uint32_t AnonymousIdentityToken = 321, UserNameIdentityToken = 324;
inline constexpr std::uint32_t DataChangeFilter = 724, DataChangeNotification = 811;
}  // namespace UaMessageId

// Attribute ids.
namespace UaAttribute {
inline constexpr std::uint32_t NodeClass = 2, BrowseName = 3, DisplayName = 4, Value = 13,
                               DataType = 14;
}

// Well-known nodes.
namespace UaNode {
inline constexpr std::uint32_t ObjectsFolder = 85, HierarchicalReferences = 33,
                               NamespaceArray = 2255, ServerStatus = 2256,
                               ServerStatusState = 2259, BaseDataType = 24, Enumeration = 29;
}

struct UaResponseHeader {
  UaDateTime Timestamp = 0;
  std::uint32_t RequestHandle = 0;
  UaStatusCode ServiceResult = UaGood;
};

struct UaApplication {
  std::string Uri, ProductUri, Name;
  std::uint32_t Type = 0;  // 0 server, 1 client, 2 both, 3 discovery server
  std::vector<std::string> DiscoveryUrls;
};

struct UaUserTokenPolicy {
  std::string PolicyId;
  std::uint32_t TokenType = 0;  // 0 anonymous, 1 user name, 2 certificate, 3 issued
  std::string SecurityPolicyUri;
};

struct UaEndpoint {
  std::string Url;
  UaApplication Server;
  std::uint32_t SecurityMode = 0;  // 1 None, 2 Sign, 3 SignAndEncrypt
  std::string SecurityPolicyUri;
  std::string ServerCertificate;  // DER
  std::vector<UaUserTokenPolicy> UserTokens;
  std::uint8_t SecurityLevel = 0;
};

struct UaSecurityToken {
  std::uint32_t ChannelId = 0, TokenId = 0;
  UaDateTime CreatedAt = 0;
  std::uint32_t RevisedLifetimeMs = 0;
  std::string ServerNonce;
};

struct UaCreatedSession {
  UaNodeId SessionId, AuthenticationToken;
  double RevisedTimeoutMs = 0;
  std::vector<UaEndpoint> Endpoints;
  std::uint32_t MaxRequestMessageSize = 0;
  std::string ServerNonce, ServerCertificate;
  std::string ServerSignatureAlgorithm, ServerSignature;  // over our certificate and nonce
};

// A signature of the session services: algorithm URI and bytes (both empty: none).
struct UaSignature {
  std::string Algorithm, Bytes;
};

struct UaReference {
  UaNodeId ReferenceType;
  bool IsForward = true;
  UaExpandedNodeId Target;
  UaQualifiedName BrowseName;
  UaLocalizedText DisplayName;
  std::uint32_t NodeClass = 0;  // 1 object, 2 variable, 4 method, 8 object type, ...
  UaExpandedNodeId TypeDefinition;
};

struct UaBrowseResult {
  UaStatusCode Status = UaGood;
  std::string ContinuationPoint;
  std::vector<UaReference> References;
};

struct UaReadValueId {
  UaNodeId Node;
  std::uint32_t Attribute = UaAttribute::Value;
};

struct UaWriteValue {
  UaNodeId Node;
  UaVariant Value;
};

struct UaSubscription {
  std::uint32_t Id = 0;
  double PublishingIntervalMs = 0;
  std::uint32_t LifetimeCount = 0, KeepAliveCount = 0;
};

// One item to monitor: the node's value, sampled at the interval, its changes reported
// with the client's handle. A dead band in percent of the node's EURange when above 0.
// EverySample: every sampling is reported (its source time changes), not only changes of
// the value, so that a steady value still gives each period its own sample. QueueSize:
// the samples the server keeps between two Publish answers.
struct UaMonitoredItemRequest {
  UaNodeId Node;
  std::uint32_t ClientHandle = 0;
  double SamplingIntervalMs = 0;
  double PercentDeadband = 0;
  bool EverySample = false;
  std::uint32_t QueueSize = 1;
};

struct UaMonitoredItemResult {
  UaStatusCode Status = UaGood;
  std::uint32_t MonitoredItemId = 0;
  double RevisedSamplingIntervalMs = 0;
};

struct UaAcknowledgement {
  std::uint32_t SubscriptionId = 0, SequenceNumber = 0;
};

// A value change of a monitored item.
struct UaDataChange {
  std::uint32_t ClientHandle = 0;
  UaDataValue Value;
};

struct UaPublishResult {
  std::uint32_t SubscriptionId = 0;
  std::uint32_t SequenceNumber = 0;
  bool KeepAlive = true;  // a message without notifications
  std::vector<UaDataChange> Changes;
};

// The built-in type that a node's DataType attribute names (Boolean .. String); Null for
// any other data type (an abstract one such as Number, a structure, an enumeration).
UaType BuiltInDataType(const UaVariant& dataTypeAttribute);

// Requests: each writes its body after the given request header.
struct UaRequestHeader {
  UaNodeId AuthenticationToken;
  std::uint32_t RequestHandle = 0;
  std::uint32_t TimeoutHintMs = 0;
};
void EncodeRequestHeader(UaWriter& w, const UaRequestHeader& h);
// securityMode 1 None, 2 Sign, 3 SignAndEncrypt.
void EncodeOpenSecureChannel(UaWriter& w, bool renew, std::uint32_t lifetimeMs,
                             std::uint32_t securityMode = 1, const std::string& clientNonce = "");
void EncodeGetEndpoints(UaWriter& w, const std::string& endpointUrl);
void EncodeFindServers(UaWriter& w, const std::string& endpointUrl);
void EncodeCreateSession(UaWriter& w, const std::string& endpointUrl, const std::string& name,
                         double timeoutMs, const std::string& clientNonce = std::string(32, '\0'),
                         const std::string& clientCertificate = "");
void EncodeActivateSession(UaWriter& w, const std::string& anonymousPolicyId);
// With the client's signature and a user name token (password encrypted or not, as the
// token policy asks; an empty algorithm for a plain one).
struct UaUserNameToken {
  std::string PolicyId, UserName, Password, EncryptionAlgorithm;
};
void EncodeActivateSession(UaWriter& w, const UaSignature& clientSignature,
                           const std::string& anonymousPolicyId, const UaUserNameToken* user);
void EncodeCloseSession(UaWriter& w);
void EncodeRead(UaWriter& w, const std::vector<UaReadValueId>& nodes);
void EncodeWrite(UaWriter& w, const std::vector<UaWriteValue>& values);
void EncodeBrowse(UaWriter& w, const std::vector<UaNodeId>& nodes);
void EncodeCreateSubscription(UaWriter& w, double publishingIntervalMs,
                              std::uint32_t lifetimeCount, std::uint32_t keepAliveCount);
void EncodeCreateMonitoredItems(UaWriter& w, std::uint32_t subscriptionId,
                                const std::vector<UaMonitoredItemRequest>& items);
void EncodePublish(UaWriter& w, const std::vector<UaAcknowledgement>& acknowledgements);
void EncodeDeleteSubscriptions(UaWriter& w, const std::vector<std::uint32_t>& ids);
void EncodeBrowseNext(UaWriter& w, const std::vector<std::string>& continuationPoints,
                      bool release);

// Responses: each reads the body after the response header.
UaResponseHeader DecodeResponseHeader(UaReader& r);
UaSecurityToken DecodeOpenSecureChannel(UaReader& r);
std::vector<UaEndpoint> DecodeEndpoints(UaReader& r);
std::vector<UaApplication> DecodeFindServers(UaReader& r);
UaCreatedSession DecodeCreateSession(UaReader& r);
std::vector<UaStatusCode> DecodeActivateSession(UaReader& r, std::string* serverNonce = nullptr);
std::vector<UaDataValue> DecodeRead(UaReader& r);
std::vector<UaStatusCode> DecodeWrite(UaReader& r);
std::vector<UaBrowseResult> DecodeBrowse(UaReader& r);
UaSubscription DecodeCreateSubscription(UaReader& r);
std::vector<UaMonitoredItemResult> DecodeCreateMonitoredItems(UaReader& r);
// The data changes of the message; notifications of other kinds are passed over.
UaPublishResult DecodePublish(UaReader& r);

// Reads any response this client knows, by its type id, header included; for tests and
// the fuzz target. Returns the bytes of values decoded (charged to the reader's budget).
// Throws UaDecodeError on garbage or on more values than the bytes can carry.
std::size_t DecodeAnyResponse(std::uint32_t typeId, std::string_view body);
// The service a response type answers ("Read", "BrowseNext"), for messages.
std::string UaServiceName(std::uint32_t responseType);
