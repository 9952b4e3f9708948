#include "opc/ua/UaServices.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t ProtocolVersion = 0;
constexpr std::uint32_t ApplicationTypeClient = 1;
constexpr std::uint32_t TimestampsBoth = 2;
constexpr std::uint32_t BrowseForward = 0;
constexpr std::uint32_t BrowseResultAll = 0x3F;
constexpr std::int32_t MonitoringModeReporting = 2;
constexpr std::uint32_t DataChangeTriggerStatusValue = 1, DataChangeTriggerStatusValueTimestamp = 2;
constexpr std::uint32_t DeadbandNone = 0;
constexpr std::uint32_t DeadbandPercent = 2;
constexpr const char* ApplicationUri = "urn:vortuner:client";

void NoStrings(UaWriter& w) { w.Int32(-1); }

void NullSignature(UaWriter& w) {
  w.NullString();  // algorithm
  w.NullString();  // signature
}

void SkipDiagnosticInfos(UaReader& r) {
  const std::size_t n = r.ArrayLength(1, 16);  // nothing kept; the work is paid for
  for (std::size_t i = 0; i < n; ++i) r.SkipDiagnosticInfo();
}

// A duration in milliseconds that the client acts on (a time-out, an interval): NaN or an
// infinity is no duration, and the answer that carries one is malformed. The range of a
// finite one is the user's to bound.
double Duration(UaReader& r, const char* what) {
  const double ms = r.Double();
  if (!std::isfinite(ms))
    throw UaDecodeError(std::string("its ") + what + " is not a finite number (" +
                        (std::isnan(ms) ? "NaN"
                         : ms > 0       ? "+inf"
                                        : "-inf") +
                        ")");
  return ms;
}

std::vector<std::string> Strings(UaReader& r) {
  std::vector<std::string> out(r.ArrayOf<std::string>(4));
  for (auto& s : out) s = r.String();
  return out;
}

std::vector<UaStatusCode> StatusCodes(UaReader& r) {
  std::vector<UaStatusCode> out(r.ArrayOf<UaStatusCode>(4));
  for (auto& s : out) s = r.UInt32();
  return out;
}

UaApplication Application(UaReader& r) {
  UaApplication a;
  a.Uri = r.String();
  a.ProductUri = r.String();
  a.Name = r.LocalizedText().Text;
  a.Type = r.UInt32();
  r.String();  // gateway server
  r.String();  // discovery profile
  a.DiscoveryUrls = Strings(r);
  return a;
}

UaEndpoint Endpoint(UaReader& r) {
  UaEndpoint e;
  e.Url = r.String();
  e.Server = Application(r);
  e.ServerCertificate = r.String();
  e.SecurityMode = r.UInt32();
  e.SecurityPolicyUri = r.String();
  e.UserTokens.resize(r.ArrayOf<UaUserTokenPolicy>(20));
  for (auto& t : e.UserTokens) {
    t.PolicyId = r.String();
    t.TokenType = r.UInt32();
    r.String();  // issued token type
    r.String();  // issuer endpoint
    t.SecurityPolicyUri = r.String();
  }
  r.String();  // transport profile
  e.SecurityLevel = r.Byte();
  return e;
}

}  // namespace

UaType BuiltInDataType(const UaVariant& dataTypeAttribute) {
  if (dataTypeAttribute.Values.empty()) return UaType::Null;
  const auto* id = std::get_if<UaNodeId>(&dataTypeAttribute.Values.front());
  if (!id || id->Namespace != 0 || id->IdKind != UaNodeId::Kind::Numeric || id->Numeric < 1 ||
      id->Numeric > static_cast<std::uint32_t>(UaType::String))
    return UaType::Null;
  return static_cast<UaType>(id->Numeric);
}

void EncodeRequestHeader(UaWriter& w, const UaRequestHeader& h) {
  w.NodeId(h.AuthenticationToken);
  w.Int64(UaDateTimeNow());
  w.UInt32(h.RequestHandle);
  w.UInt32(0);      // no diagnostics
  w.NullString();   // audit entry
  w.UInt32(h.TimeoutHintMs);
  w.ExtensionObject({});  // no additional header
}

void EncodeOpenSecureChannel(UaWriter& w, bool renew, std::uint32_t lifetimeMs,
                             std::uint32_t securityMode, const std::string& clientNonce) {
  w.UInt32(ProtocolVersion);
  w.UInt32(renew ? 1 : 0);
  w.UInt32(securityMode);
  w.String(clientNonce);  // empty under policy None
  w.UInt32(lifetimeMs);
}

void EncodeGetEndpoints(UaWriter& w, const std::string& endpointUrl) {
  w.String(endpointUrl);
  NoStrings(w);  // locales
  NoStrings(w);  // profiles
}

void EncodeFindServers(UaWriter& w, const std::string& endpointUrl) {
  w.String(endpointUrl);
  NoStrings(w);  // locales
  NoStrings(w);  // server uris
}

void EncodeCreateSession(UaWriter& w, const std::string& endpointUrl, const std::string& name,
                         double timeoutMs, const std::string& clientNonce,
                         const std::string& clientCertificate) {
  w.String(ApplicationUri);
  w.String("urn:vortuner");
  w.LocalizedText({"", "Vor Tuner"});
  w.UInt32(ApplicationTypeClient);
  w.NullString();  // gateway
  w.NullString();  // discovery profile
  NoStrings(w);    // discovery urls
  w.NullString();  // server uri
  w.String(endpointUrl);
  w.String(name);
  w.String(clientNonce);  // servers want one of at least 32 bytes
  if (clientCertificate.empty())
    w.NullString();
  else
    w.String(clientCertificate);
  w.Double(timeoutMs);
  w.UInt32(0);  // no limit on the response size
}

void EncodeActivateSession(UaWriter& w, const std::string& anonymousPolicyId) {
  EncodeActivateSession(w, {}, anonymousPolicyId, nullptr);
}

void EncodeActivateSession(UaWriter& w, const UaSignature& clientSignature,
                           const std::string& anonymousPolicyId, const UaUserNameToken* user) {
  if (clientSignature.Algorithm.empty()) {
    NullSignature(w);
  } else {
    w.String(clientSignature.Algorithm);
    w.String(clientSignature.Bytes);
  }
  w.Int32(0);    // client software certificates
  NoStrings(w);  // locales
  UaWriter token;
  if (user) {
    token.String(user->PolicyId);
    token.String(user->UserName);
    token.String(user->Password);
    if (user->EncryptionAlgorithm.empty())
      token.NullString();
    else
      token.String(user->EncryptionAlgorithm);
    w.ExtensionObject({UaNodeId::Num(UaMessageId::UserNameIdentityToken), 1, token.Bytes()});
  } else {
    token.String(anonymousPolicyId);
    w.ExtensionObject({UaNodeId::Num(UaMessageId::AnonymousIdentityToken), 1, token.Bytes()});
  }
  NullSignature(w);  // user token signature
}

void EncodeCloseSession(UaWriter& w) { w.Boolean(true); }

void EncodeRead(UaWriter& w, const std::vector<UaReadValueId>& nodes) {
  w.Double(0);  // max age: a fresh value
  w.UInt32(TimestampsBoth);
  w.Int32(static_cast<std::int32_t>(nodes.size()));
  for (const auto& n : nodes) {
    w.NodeId(n.Node);
    w.UInt32(n.Attribute);
    w.NullString();           // index range
    w.UInt16(0);     // data encoding: none (a null name)
    w.NullString();
  }
}

void EncodeWrite(UaWriter& w, const std::vector<UaWriteValue>& values) {
  w.Int32(static_cast<std::int32_t>(values.size()));
  for (const auto& v : values) {
    w.NodeId(v.Node);
    w.UInt32(UaAttribute::Value);
    w.NullString();  // index range
    UaDataValue dv;
    dv.HasValue = true;
    dv.Value = v.Value;
    w.DataValue(dv);
  }
}

void EncodeBrowse(UaWriter& w, const std::vector<UaNodeId>& nodes) {
  w.NodeId({});  // view: the whole address space
  w.Int64(0);
  w.UInt32(0);
  w.UInt32(1000);  // references per node; the rest by BrowseNext
  w.Int32(static_cast<std::int32_t>(nodes.size()));
  for (const auto& n : nodes) {
    w.NodeId(n);
    w.UInt32(BrowseForward);
    w.NodeId(UaNodeId::Num(UaNode::HierarchicalReferences));
    w.Boolean(true);  // and its subtypes
    w.UInt32(0);      // every node class
    w.UInt32(BrowseResultAll);
  }
}

void EncodeCreateSubscription(UaWriter& w, double publishingIntervalMs,
                              std::uint32_t lifetimeCount, std::uint32_t keepAliveCount) {
  w.Double(publishingIntervalMs);
  w.UInt32(lifetimeCount);
  w.UInt32(keepAliveCount);
  w.UInt32(0);       // notifications per publish: no limit
  w.Boolean(true);   // publishing enabled
  w.Byte(0);         // priority
}

void EncodeCreateMonitoredItems(UaWriter& w, std::uint32_t subscriptionId,
                                const std::vector<UaMonitoredItemRequest>& items) {
  w.UInt32(subscriptionId);
  w.UInt32(TimestampsBoth);
  w.Int32(static_cast<std::int32_t>(items.size()));
  for (const auto& item : items) {
    w.NodeId(item.Node);
    w.UInt32(UaAttribute::Value);
    w.NullString();  // index range
    w.UInt16(0);     // data encoding: none
    w.NullString();
    w.Int32(MonitoringModeReporting);
    w.UInt32(item.ClientHandle);
    w.Double(item.SamplingIntervalMs);
    UaExtensionObject filter;
    if (item.PercentDeadband > 0 || item.EverySample) {
      UaWriter f;
      f.UInt32(item.EverySample ? DataChangeTriggerStatusValueTimestamp
                                : DataChangeTriggerStatusValue);
      f.UInt32(item.PercentDeadband > 0 ? DeadbandPercent : DeadbandNone);
      f.Double(std::max(item.PercentDeadband, 0.0));
      filter = {UaNodeId::Num(UaMessageId::DataChangeFilter), 1, f.Bytes()};
    }
    w.ExtensionObject(filter);
    w.UInt32(std::max<std::uint32_t>(item.QueueSize, 1));
    w.Boolean(true);  // discard the oldest
  }
}

void EncodePublish(UaWriter& w, const std::vector<UaAcknowledgement>& acknowledgements) {
  w.Int32(static_cast<std::int32_t>(acknowledgements.size()));
  for (const auto& a : acknowledgements) {
    w.UInt32(a.SubscriptionId);
    w.UInt32(a.SequenceNumber);
  }
}

void EncodeDeleteSubscriptions(UaWriter& w, const std::vector<std::uint32_t>& ids) {
  w.Int32(static_cast<std::int32_t>(ids.size()));
  for (std::uint32_t id : ids) w.UInt32(id);
}

void EncodeBrowseNext(UaWriter& w, const std::vector<std::string>& continuationPoints,
                      bool release) {
  w.Boolean(release);
  w.Int32(static_cast<std::int32_t>(continuationPoints.size()));
  for (const auto& c : continuationPoints) w.String(c);
}

UaResponseHeader DecodeResponseHeader(UaReader& r) {
  UaResponseHeader h;
  h.Timestamp = r.Int64();
  h.RequestHandle = r.UInt32();
  h.ServiceResult = r.UInt32();
  r.SkipDiagnosticInfo();
  Strings(r);  // string table
  r.ExtensionObject();
  return h;
}

UaSecurityToken DecodeOpenSecureChannel(UaReader& r) {
  r.UInt32();  // server protocol version
  UaSecurityToken t;
  t.ChannelId = r.UInt32();
  t.TokenId = r.UInt32();
  t.CreatedAt = r.Int64();
  t.RevisedLifetimeMs = r.UInt32();
  t.ServerNonce = r.String();
  return t;
}

std::vector<UaEndpoint> DecodeEndpoints(UaReader& r) {
  std::vector<UaEndpoint> out(r.ArrayOf<UaEndpoint>(30));
  for (auto& e : out) e = Endpoint(r);
  return out;
}

std::vector<UaApplication> DecodeFindServers(UaReader& r) {
  std::vector<UaApplication> out(r.ArrayOf<UaApplication>(20));
  for (auto& a : out) a = Application(r);
  return out;
}

UaCreatedSession DecodeCreateSession(UaReader& r) {
  UaCreatedSession s;
  s.SessionId = r.NodeId();
  s.AuthenticationToken = r.NodeId();
  s.RevisedTimeoutMs = Duration(r, "revised session time-out");
  s.ServerNonce = r.String();
  s.ServerCertificate = r.String();
  s.Endpoints = DecodeEndpoints(r);
  const std::size_t certificates = r.ArrayLength(8, 16);
  for (std::size_t i = 0; i < certificates; ++i) {
    r.String();
    r.String();
  }
  s.ServerSignatureAlgorithm = r.String();
  s.ServerSignature = r.String();
  s.MaxRequestMessageSize = r.UInt32();
  return s;
}

std::vector<UaStatusCode> DecodeActivateSession(UaReader& r, std::string* serverNonce) {
  const std::string nonce = r.String();
  if (serverNonce) *serverNonce = nonce;
  auto results = StatusCodes(r);
  SkipDiagnosticInfos(r);
  return results;
}

std::vector<UaDataValue> DecodeRead(UaReader& r) {
  std::vector<UaDataValue> out(r.ArrayOf<UaDataValue>(1));
  for (auto& v : out) v = r.DataValue();
  SkipDiagnosticInfos(r);
  return out;
}

std::vector<UaStatusCode> DecodeWrite(UaReader& r) {
  auto results = StatusCodes(r);
  SkipDiagnosticInfos(r);
  return results;
}

std::vector<UaBrowseResult> DecodeBrowse(UaReader& r) {
  std::vector<UaBrowseResult> out(r.ArrayOf<UaBrowseResult>(12));
  for (auto& b : out) {
    b.Status = r.UInt32();
    b.ContinuationPoint = r.String();
    b.References.resize(r.ArrayOf<UaReference>(16));
    for (auto& ref : b.References) {
      ref.ReferenceType = r.NodeId();
      ref.IsForward = r.Boolean();
      ref.Target = r.ExpandedNodeId();
      ref.BrowseName = r.QualifiedName();
      ref.DisplayName = r.LocalizedText();
      ref.NodeClass = r.UInt32();
      ref.TypeDefinition = r.ExpandedNodeId();
    }
  }
  SkipDiagnosticInfos(r);
  return out;
}

UaSubscription DecodeCreateSubscription(UaReader& r) {
  UaSubscription s;
  s.Id = r.UInt32();
  s.PublishingIntervalMs = Duration(r, "revised publishing interval");
  s.LifetimeCount = r.UInt32();
  s.KeepAliveCount = r.UInt32();
  return s;
}

std::vector<UaMonitoredItemResult> DecodeCreateMonitoredItems(UaReader& r) {
  std::vector<UaMonitoredItemResult> out(r.ArrayOf<UaMonitoredItemResult>(19));
  for (auto& m : out) {
    m.Status = r.UInt32();
    m.MonitoredItemId = r.UInt32();
    m.RevisedSamplingIntervalMs = Duration(r, "revised sampling interval");
    r.UInt32();            // revised queue size
    r.ExtensionObject();   // filter result
  }
  SkipDiagnosticInfos(r);
  return out;
}

UaPublishResult DecodePublish(UaReader& r) {
  UaPublishResult p;
  p.SubscriptionId = r.UInt32();
  const std::size_t available = r.ArrayLength(4, 4);
  for (std::size_t i = 0; i < available; ++i) r.UInt32();
  r.Boolean();  // more notifications: the next Publish fetches them
  p.SequenceNumber = r.UInt32();
  r.Int64();  // publish time
  const std::size_t notifications = r.ArrayOf<UaExtensionObject>(3);
  p.KeepAlive = notifications == 0;
  for (std::size_t i = 0; i < notifications; ++i) {
    const UaExtensionObject data = r.ExtensionObject();
    if (data.Encoding != 1 || data.TypeId != UaNodeId::Num(UaMessageId::DataChangeNotification))
      continue;  // a status change or events
    UaReader body(data.Body);
    const std::size_t changes = body.ArrayOf<UaDataChange>(5);
    for (std::size_t k = 0; k < changes; ++k) {
      UaDataChange c;
      c.ClientHandle = body.UInt32();
      c.Value = body.DataValue();
      p.Changes.push_back(std::move(c));
    }
    SkipDiagnosticInfos(body);
  }
  StatusCodes(r);  // the acknowledgements' results
  SkipDiagnosticInfos(r);
  return p;
}

std::size_t DecodeAnyResponse(std::uint32_t typeId, std::string_view body) {
  UaReader r(body);
  DecodeResponseHeader(r);
  switch (typeId) {
    case UaMessageId::OpenSecureChannelResponse: DecodeOpenSecureChannel(r); break;
    case UaMessageId::GetEndpointsResponse: DecodeEndpoints(r); break;
    case UaMessageId::FindServersResponse: DecodeFindServers(r); break;
    case UaMessageId::CreateSessionResponse: DecodeCreateSession(r); break;
    case UaMessageId::ActivateSessionResponse: DecodeActivateSession(r); break;
    case UaMessageId::ReadResponse: DecodeRead(r); break;
    case UaMessageId::WriteResponse: DecodeWrite(r); break;
    case UaMessageId::BrowseResponse:
    case UaMessageId::BrowseNextResponse: DecodeBrowse(r); break;
    case UaMessageId::CreateSubscriptionResponse: DecodeCreateSubscription(r); break;
    case UaMessageId::CreateMonitoredItemsResponse: DecodeCreateMonitoredItems(r); break;
    case UaMessageId::PublishResponse: DecodePublish(r); break;
    default: break;
  }
  return r.Decoded();
}

std::string UaServiceName(std::uint32_t responseType) {
  switch (responseType) {
    case UaMessageId::OpenSecureChannelResponse:
      return "OpenSecureChannel";
    case UaMessageId::GetEndpointsResponse:
      return "GetEndpoints";
    case UaMessageId::FindServersResponse:
      return "FindServers";
    case UaMessageId::CreateSessionResponse:
      return "CreateSession";
    case UaMessageId::ActivateSessionResponse:
      return "ActivateSession";
    case UaMessageId::CloseSessionResponse:
      return "CloseSession";
    case UaMessageId::ReadResponse:
      return "Read";
    case UaMessageId::WriteResponse:
      return "Write";
    case UaMessageId::BrowseResponse:
      return "Browse";
    case UaMessageId::BrowseNextResponse:
      return "BrowseNext";
    case UaMessageId::CreateSubscriptionResponse:
      return "CreateSubscription";
    case UaMessageId::CreateMonitoredItemsResponse:
      return "CreateMonitoredItems";
    case UaMessageId::PublishResponse:
      return "Publish";
    case UaMessageId::DeleteSubscriptionsResponse:
      return "DeleteSubscriptions";
    default:
      return "service " + std::to_string(responseType);
  }
}
