#include "opc/ua/UaClient.h"

#include <algorithm>
#include <optional>

namespace {

constexpr UaStatusCode UaBadTimeout = 0x800A0000, UaBadTooManyPublishRequests = 0x80780000,
                       UaBadNoSubscription = 0x80790000;
constexpr double RequestedSessionTimeoutMs = 3'600'000;
constexpr std::size_t SessionNonceLength = 32;

}  // namespace

template <typename F>
auto UaClient::OnLink(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const UaLinkError&) {
    activated_ = false;
    throw;
  }
}

std::string UaClient::Call(std::uint32_t request, std::uint32_t response, const UaWriter& body) {
  return OnLink([&] { return channel_.Call(request, response, body.Bytes(), authenticationToken_); });
}

void UaClient::Connect(const std::string& endpointUrl, const UaConnectOptions& given) {
  Close();
  channel_.Open(endpointUrl);
  try {
    UaConnectOptions options = given;
    const std::vector<UaEndpoint> endpoints = GetEndpoints();
    if (options.User.empty() && options.AskLogin) {
      // The engineer is asked for a login only when the server allows no anonymous one.
      bool anonymous = true;
      try {
        ChooseUaEndpoint(endpoints, options);
      } catch (const UaLinkError&) {
        anonymous = false;
      }
      if (!anonymous && !options.AskLogin(options.User, options.Password))
        throw UaLinkError("The login was cancelled");
    }
    endpoint_ = ChooseUaEndpoint(endpoints, options);
    const UaSecurityPolicy& policy = *FindUaSecurityPolicy(endpoint_.SecurityPolicyUri);
    UaChannelSecurity security;
    if (policy.Secured) {
      UaPki pki(options.PkiFolder.empty() ? UaPki::DefaultFolder() : options.PkiFolder);
      UaCertificate server;
      try {
        server = UaCertificate::FromDer(endpoint_.ServerCertificate);
      } catch (const UaSecurityError& e) {
        throw UaCertificateError(e.what(), "");
      }
      CheckUaServerCertificate(pki, server, endpoint_.Server.Uri, options);
      const UaOwnIdentity own = pki.Own();
      security.Policy = &policy;
      security.Mode = static_cast<UaSecurityMode>(endpoint_.SecurityMode);
      security.OwnCertificate = own.Certificate;
      security.OwnKey = own.PrivateKey;
      security.PeerCertificate = server;
      channel_.Close();
      channel_.Open(endpointUrl, std::move(security));
    }
    ActivateSession(options);

    const auto table = Read({{UaNodeId::Num(UaNode::NamespaceArray), UaAttribute::Value}});
    namespaces_.clear();
    if (!table.empty() && table[0].Value.Type == UaType::String)
      for (const UaScalar& s : table[0].Value.Values)
        if (auto* uri = std::get_if<std::string>(&s)) namespaces_.push_back(*uri);
  } catch (const UaServiceError& e) {
    Close();
    const std::string text = UaSecurityStatusText(e.what());
    if (text.empty()) throw;
    throw UaServiceError(text, e.Status);
  } catch (const UaSecurityError& e) {
    Close();
    throw UaLinkError(e.what());
  } catch (...) {
    Close();
    throw;
  }
}

void UaClient::ActivateSession(const UaConnectOptions& options) {
  const UaChannelSecurity& security = channel_.Security();
  const std::string clientNonce = UaRandomBytes(SessionNonceLength);
  UaWriter create;
  EncodeCreateSession(create, channel_.EndpointUrl(), "Vor Tuner", RequestedSessionTimeoutMs,
                      clientNonce, security.OwnCertificate.Der());
  const std::string created =
      Call(UaMessageId::CreateSessionRequest, UaMessageId::CreateSessionResponse, create);
  UaReader r(created);
  const UaCreatedSession session = DecodeCreateSession(r);
  authenticationToken_ = session.AuthenticationToken;
  UaSignature ours;
  if (security.Secured()) {
    const UaSecurityPolicy& p = *security.Policy;
    // The server proves it holds its key by signing our certificate and nonce.
    if (session.ServerCertificate != security.PeerCertificate.Der())
      throw UaLinkError(
          "The server's session certificate differs from its endpoint's; BadCertificateInvalid");
    if (session.ServerSignatureAlgorithm != p.AsymmetricSignatureUri ||
        !UaRsaVerify(p, security.PeerCertificate.PublicKey(),
                     security.OwnCertificate.Der() + clientNonce, session.ServerSignature))
      throw UaLinkError("The server's session signature is wrong; BadSecurityChecksFailed");
    ours = {p.AsymmetricSignatureUri,
            UaRsaSign(p, security.OwnKey, security.PeerCertificate.Der() + session.ServerNonce)};
  }
  UaWriter activate;
  if (options.User.empty()) {
    std::string policyId;
    for (const UaUserTokenPolicy& t : endpoint_.UserTokens)
      if (t.TokenType == 0) policyId = t.PolicyId;
    EncodeActivateSession(activate, ours, policyId, nullptr);
  } else {
    const UaUserNameToken token =
        MakeUaUserNameToken(endpoint_, *security.Policy, security.Mode, options.User,
                            options.Password, session.ServerNonce);
    EncodeActivateSession(activate, ours, "", &token);
  }
  Call(UaMessageId::ActivateSessionRequest, UaMessageId::ActivateSessionResponse, activate);
  activated_ = true;
}

void UaClient::Close() {
  if (activated_ && channel_.IsOpen()) {
    try {
      UaWriter w;
      EncodeCloseSession(w);
      Call(UaMessageId::CloseSessionRequest, UaMessageId::CloseSessionResponse, w);
    } catch (const std::exception&) {
      // The server may be gone already; the channel closes below either way.
    }
  }
  activated_ = false;
  authenticationToken_ = {};
  acknowledgements_.clear();
  channel_.Close();
}

std::vector<UaEndpoint> UaClient::GetEndpoints() {
  UaWriter w;
  EncodeGetEndpoints(w, channel_.EndpointUrl());
  const std::string answer = Call(UaMessageId::GetEndpointsRequest, UaMessageId::GetEndpointsResponse, w);
  UaReader r(answer);
  return DecodeEndpoints(r);
}

std::vector<UaApplication> UaClient::FindServers() {
  UaWriter w;
  EncodeFindServers(w, channel_.EndpointUrl());
  const std::string answer = Call(UaMessageId::FindServersRequest, UaMessageId::FindServersResponse, w);
  UaReader r(answer);
  return DecodeFindServers(r);
}

std::vector<UaDataValue> UaClient::Read(const std::vector<UaReadValueId>& nodes) {
  UaWriter w;
  EncodeRead(w, nodes);
  const std::string answer = Call(UaMessageId::ReadRequest, UaMessageId::ReadResponse, w);
  UaReader r(answer);
  auto values = DecodeRead(r);
  if (values.size() != nodes.size())
    throw UaLinkError("The server answered " + std::to_string(values.size()) + " values for " +
                      std::to_string(nodes.size()) + " nodes");
  return values;
}

std::vector<UaStatusCode> UaClient::Write(const std::vector<UaWriteValue>& values) {
  UaWriter w;
  EncodeWrite(w, values);
  const std::string answer = Call(UaMessageId::WriteRequest, UaMessageId::WriteResponse, w);
  UaReader r(answer);
  auto results = DecodeWrite(r);
  if (results.size() != values.size())
    throw UaLinkError("The server answered " + std::to_string(results.size()) +
                      " results for " + std::to_string(values.size()) + " writes");
  return results;
}

std::vector<UaReference> UaClient::Browse(const UaNodeId& node) {
  UaWriter w;
  EncodeBrowse(w, {node});
  std::string answer = Call(UaMessageId::BrowseRequest, UaMessageId::BrowseResponse, w);
  std::vector<UaReference> all;
  // A server that hands out continuation points without end is cut off.
  for (int round = 0; round < 1000; ++round) {
    UaReader r(answer);
    const auto results = DecodeBrowse(r);
    if (results.size() != 1) throw UaLinkError("The server answered a browse for another node count");
    if (UaIsBad(results[0].Status))
      throw UaServiceError(UaStatusName(results[0].Status), results[0].Status);
    all.insert(all.end(), results[0].References.begin(), results[0].References.end());
    if (results[0].ContinuationPoint.empty()) return all;
    UaWriter next;
    EncodeBrowseNext(next, {results[0].ContinuationPoint}, false);
    answer = Call(UaMessageId::BrowseNextRequest, UaMessageId::BrowseNextResponse, next);
  }
  return all;
}

UaSubscription UaClient::CreateSubscription(double publishingIntervalMs,
                                            std::uint32_t keepAliveCount) {
  UaWriter w;
  // The server ends a subscription after this many intervals without a Publish to answer.
  EncodeCreateSubscription(w, publishingIntervalMs, keepAliveCount * 3, keepAliveCount);
  const std::string answer =
      Call(UaMessageId::CreateSubscriptionRequest, UaMessageId::CreateSubscriptionResponse, w);
  UaReader r(answer);
  const UaSubscription s = DecodeCreateSubscription(r);
  // A Publish is answered at the latest after a keep-alive period; allow it twice that.
  publishTimeoutHintMs_ = static_cast<std::uint32_t>(
      std::min(2.0 * s.PublishingIntervalMs * std::max<std::uint32_t>(s.KeepAliveCount, 1) + 5000.0,
               3'600'000.0));
  return s;
}

std::vector<UaMonitoredItemResult> UaClient::CreateMonitoredItems(
    std::uint32_t subscriptionId, const std::vector<UaMonitoredItemRequest>& items) {
  UaWriter w;
  EncodeCreateMonitoredItems(w, subscriptionId, items);
  const std::string answer =
      Call(UaMessageId::CreateMonitoredItemsRequest, UaMessageId::CreateMonitoredItemsResponse, w);
  UaReader r(answer);
  auto results = DecodeCreateMonitoredItems(r);
  if (results.size() != items.size())
    throw UaLinkError("The server answered " + std::to_string(results.size()) +
                      " monitored items for " + std::to_string(items.size()));
  return results;
}

void UaClient::DeleteSubscriptions(const std::vector<std::uint32_t>& ids) {
  UaWriter w;
  EncodeDeleteSubscriptions(w, ids);
  Call(UaMessageId::DeleteSubscriptionsRequest, UaMessageId::DeleteSubscriptionsResponse, w);
}

std::vector<UaDataChange> UaClient::Publish(int waitMs, std::size_t outstanding) {
  const auto topUp = [&] {
    while (channel_.PostedCount() < outstanding) {
      UaWriter w;
      EncodePublish(w, acknowledgements_);
      OnLink([&] {
        return channel_.Post(UaMessageId::PublishRequest, UaMessageId::PublishResponse,
                             w.Bytes(), authenticationToken_, publishTimeoutHintMs_);
      });
      acknowledgements_.clear();
    }
  };
  topUp();
  const std::vector<UaPostedAnswer> answers = OnLink([&] { return channel_.TakeAnswers(waitMs); });
  std::vector<UaDataChange> changes;
  std::optional<UaServiceError> refused;
  for (const UaPostedAnswer& a : answers) {
    if (UaIsBad(a.Status)) {
      // A Publish that timed out or found no subscription had nothing to say.
      const UaStatusCode code = a.Status & 0xFFFF0000u;
      if (code != UaBadTimeout && code != UaBadNoSubscription && code != UaBadTooManyPublishRequests)
        refused.emplace(UaStatusName(a.Status), a.Status);
      continue;
    }
    UaReader r(a.Body);
    UaPublishResult p;
    try {
      p = DecodePublish(r);
    } catch (const UaDecodeError& e) {
      Close();
      throw UaLinkError(std::string("The server sent a malformed answer: ") + e.what());
    }
    if (!p.KeepAlive) acknowledgements_.push_back({p.SubscriptionId, p.SequenceNumber});
    for (UaDataChange& c : p.Changes) changes.push_back(std::move(c));
  }
  if (refused) throw *refused;
  if (!answers.empty()) topUp();  // the acknowledgements go out at once
  return changes;
}

UaNodeId UaClient::Resolve(const UaNodeId& id) const {
  if (id.NamespaceUri.empty()) return id;
  const auto it = std::find(namespaces_.begin(), namespaces_.end(), id.NamespaceUri);
  if (it == namespaces_.end())
    throw std::invalid_argument("The server has no namespace '" + id.NamespaceUri + "'");
  UaNodeId out = id;
  out.NamespaceUri.clear();
  out.Namespace = static_cast<std::uint16_t>(it - namespaces_.begin());
  return out;
}
