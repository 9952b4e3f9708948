#include "opc/ua/UaClient.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

namespace {

constexpr UaStatusCode UaBadTimeout = 0x800A0000, UaBadTooManyPublishRequests = 0x80780000,
                       UaBadNoSubscription = 0x80790000;
constexpr std::size_t SessionNonceLength = 32;
constexpr std::uint32_t AnonymousToken = 0;

// Bounds the requests of one operation: until it ends, each request ends by the
// operation's deadline too (or by an outer operation's, when that comes first).
class OperationBound {
 public:
  OperationBound(UaChannel& channel, int ms, const char* name)
      : channel_(channel), outer_(channel.Operation()) {
    UaOperationBound bound{UaDeadlineIn(ms), name, ms};
    if (outer_ && outer_->Deadline <= bound.Deadline) bound = *outer_;
    channel_.SetOperationBound(bound);
  }
  ~OperationBound() { channel_.SetOperationBound(outer_); }
  OperationBound(const OperationBound&) = delete;
  OperationBound& operator=(const OperationBound&) = delete;

 private:
  UaChannel& channel_;
  std::optional<UaOperationBound> outer_;
};

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

template <typename Decode>
auto UaClient::CallDecoded(std::uint32_t request, std::uint32_t response, const UaWriter& body,
                           Decode&& decode) {
  const std::string answer = Call(request, response, body);
  try {
    UaReader r(answer);
    return decode(r);
  } catch (const UaDecodeError& e) {
    Close();  // the channel still works: the session is closed at the server
    throw UaLinkError("The server's answer to " + UaServiceName(response) +
                      (e.OverBudget ? " was refused: " : " is malformed: ") + e.what());
  }
}

void UaClient::Connect(const std::string& endpointUrl, const UaConnectOptions& given) {
  Close();
  channel_.ClearAbort();
  // The time the engineer takes to answer a question is not the server's: the connect's
  // bound starts again after one.
  bool asked = false;
  UaConnectOptions options = given;
  if (options.AskTrust)
    options.AskTrust = [ask = given.AskTrust, &asked](const UaCertificateSummary& c) {
      asked = true;
      return ask(c);
    };
  if (options.AskLogin)
    options.AskLogin = [ask = given.AskLogin, &asked](std::string& user, std::string& password) {
      asked = true;
      return ask(user, password);
    };
  std::optional<OperationBound> bound;
  bound.emplace(channel_, UaConnectBound * limits_.TimeoutMs, "connect");
  channel_.Open(endpointUrl);
  try {
    const std::vector<UaEndpoint> endpoints = GetEndpoints();
    // The engineer is asked for a login only when the server allows no anonymous one, and
    // only once the server's certificate is trusted: a password goes to no server the
    // engineer has not accepted.
    bool login = false;
    if (options.User.empty() && options.AskLogin) {
      try {
        ChooseUaEndpoint(endpoints, options);
      } catch (const UaLinkError&) {
        login = true;
      }
    }
    // The endpoint of a login is one that takes a user name, whatever the name will be.
    UaConnectOptions choosing = options;
    if (login) choosing.User = "?";
    endpoint_ = ChooseUaEndpoint(endpoints, choosing);
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
      security.Policy = &policy;
      security.Mode = static_cast<UaSecurityMode>(endpoint_.SecurityMode);
      const UaOwnIdentity own = pki.Own();
      security.OwnCertificate = own.Certificate;
      security.OwnKey = own.PrivateKey;
      security.PeerCertificate = server;
    }
    if (login && !options.AskLogin(options.User, options.Password))
      throw UaLinkError("The login was cancelled");
    if (asked) {
      bound.reset();
      bound.emplace(channel_, UaConnectBound * limits_.TimeoutMs, "connect");
    }
    if (policy.Secured) {
      channel_.Close();
      channel_.Open(endpointUrl, std::move(security));
    }
    ActivateSession(options);

    const auto table = Read({{UaNodeId::Num(UaNode::NamespaceArray), UaAttribute::Value}});
    namespaces_.clear();
    if (!table.empty() && table[0].Value.Type == UaType::String)
      for (const UaScalar& s : table[0].Value.Values)
        if (auto* uri = std::get_if<std::string>(&s)) namespaces_.push_back(*uri);
    // Again as now, asking nothing: the login given or asked for, the certificate trusted.
    lastUrl_ = endpointUrl;
    used_ = options;
    used_.Security = endpoint_.SecurityMode == 3   ? UaSecurityChoice::Encrypt
                     : endpoint_.SecurityMode == 2 ? UaSecurityChoice::Sign
                                                   : UaSecurityChoice::None;
    used_.Policy = policy.Secured ? endpoint_.SecurityPolicyUri : std::string();
    used_.AskTrust = nullptr;
    used_.AskLogin = nullptr;
  } catch (const UaServiceError& e) {
    Close();
    const std::string text = UaSecurityStatusText(UaStatusName(e.Status));
    if (text.empty()) throw;
    throw UaServiceError(text, e.Status);
  } catch (const UaSecurityError& e) {
    Close();
    throw UaLinkError(e.what());
  } catch (...) {
    Close();
    throw;
  }
  if (leftSession_ && leftSession_->EndpointUrl == endpointUrl) {
    const LeftSession left = *leftSession_;
    leftSession_.reset();
    CloseLostSession(left.EndpointUrl, left.Token, left.PolicyId);
  }
}

void UaClient::ActivateSession(const UaConnectOptions& options) {
  const UaChannelSecurity& security = channel_.Security();
  const std::string clientNonce = UaRandomBytes(SessionNonceLength);
  UaWriter create;
  EncodeCreateSession(create, channel_.EndpointUrl(), "Vor Tuner", UaSessionTimeoutMs, clientNonce,
                      security.OwnCertificate.Der());
  const UaCreatedSession session =
      CallDecoded(UaMessageId::CreateSessionRequest, UaMessageId::CreateSessionResponse, create,
                  DecodeCreateSession);
  authenticationToken_ = session.AuthenticationToken;
  sessionTimeoutMs_ = session.RevisedTimeoutMs;
  // A lost session is closed over a new channel only when it needs no security or login.
  policyId_.clear();
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
      if (t.TokenType == AnonymousToken) policyId = t.PolicyId;
    if (!security.Secured()) policyId_ = policyId;
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

void UaClient::Abort() {
  const std::lock_guard lock(abortMutex_);
  channel_.Abort();
  if (lostSessionChannel_) lostSessionChannel_->Abort();
}

void UaClient::Close() {
  // Closing waits briefly, whatever deadline an operation had set (which holds again after).
  const std::optional<UaOperationBound> outer = channel_.Operation();
  const int closeMs = std::min(limits_.TimeoutMs, UaLostSessionCloseMs);
  channel_.SetOperationBound(UaOperationBound{UaDeadlineIn(closeMs), "close", closeMs});
  // A link aborted waits on the server no more, not even to close the session.
  bool closed = authenticationToken_.IsNull() || channel_.Aborted();
  if (!closed && channel_.IsOpen()) {
    try {
      UaWriter w;
      EncodeCloseSession(w);
      Call(UaMessageId::CloseSessionRequest, UaMessageId::CloseSessionResponse, w);
      closed = true;
    } catch (const UaServiceError&) {
      closed = true;  // the server knows the session no more
    } catch (const std::exception&) {
      // The link went on the way; tried again over a new channel below.
    }
  }
  if (!closed && !channel_.EndpointUrl().empty() && !policyId_.empty() &&
      !CloseLostSession(channel_.EndpointUrl(), authenticationToken_, policyId_))
    // Not reached now (the server stalls): closed over the next connect's channel.
    leftSession_ = LeftSession{channel_.EndpointUrl(), authenticationToken_, policyId_};
  channel_.SetOperationBound(outer);
  activated_ = false;
  authenticationToken_ = {};
  sessionTimeoutMs_ = 0;
  acknowledgements_.clear();
  channel_.Close();
}

bool UaClient::CloseLostSession(const std::string& endpointUrl, const UaNodeId& token,
                                const std::string& policyId) {
  UaChannelLimits limits = limits_;
  limits.TimeoutMs = std::min(limits_.TimeoutMs, UaLostSessionCloseMs);
  UaChannel channel(limits);
  channel.SetOperationDeadline(UaDeadlineIn(limits.TimeoutMs));
  {
    const std::lock_guard lock(abortMutex_);
    if (channel_.Aborted()) return false;
    lostSessionChannel_ = &channel;
  }
  struct Unregister {
    UaClient& client;
    ~Unregister() {
      const std::lock_guard lock(client.abortMutex_);
      client.lostSessionChannel_ = nullptr;
    }
  } unregister{*this};
  bool closed = false;
  try {
    channel.Open(endpointUrl);
    // A session may move to another channel: activated there, it can be closed there.
    UaWriter activate;
    EncodeActivateSession(activate, policyId);
    channel.Call(UaMessageId::ActivateSessionRequest, UaMessageId::ActivateSessionResponse,
                 activate.Bytes(), token);
    UaWriter close;
    EncodeCloseSession(close);
    channel.Call(UaMessageId::CloseSessionRequest, UaMessageId::CloseSessionResponse, close.Bytes(),
                 token);
    closed = true;
  } catch (const UaServiceError&) {
    closed = true;  // the server knows the session no more (or will not move it): nothing left
  } catch (const std::exception&) {
    // The server cannot be reached: tried again after the next connect, else its time-out
    // ends it.
  }
  channel.Close();
  return closed;
}

void UaClient::Reconnect() {
  if (lastUrl_.empty()) throw UaLinkError("No connection to make again");
  Connect(lastUrl_, used_);
}

bool UaClient::KeepAliveDue() const {
  if (!IsConnected()) return false;
  const auto quiet = std::chrono::steady_clock::now() - channel_.LastAnswer();
  // The decoder lets no NaN or infinity through; a time-out out of range is bounded here.
  const double third = std::isfinite(sessionTimeoutMs_) ? sessionTimeoutMs_ / 3 : 10'000.0;
  const auto every =
      std::chrono::milliseconds(static_cast<std::int64_t>(std::clamp(third, 1000.0, 10'000.0)));
  return channel_.RenewalDue() || quiet >= every;
}

void UaClient::KeepAlive() { Read({{UaNodeId::Num(UaNode::ServerStatusState)}}); }

std::vector<UaEndpoint> UaClient::GetEndpoints() {
  UaWriter w;
  EncodeGetEndpoints(w, channel_.EndpointUrl());
  return CallDecoded(UaMessageId::GetEndpointsRequest, UaMessageId::GetEndpointsResponse, w,
                     DecodeEndpoints);
}

std::vector<UaApplication> UaClient::FindServers() {
  UaWriter w;
  EncodeFindServers(w, channel_.EndpointUrl());
  return CallDecoded(UaMessageId::FindServersRequest, UaMessageId::FindServersResponse, w,
                     DecodeFindServers);
}

std::vector<UaDataValue> UaClient::Read(const std::vector<UaReadValueId>& nodes) {
  UaWriter w;
  EncodeRead(w, nodes);
  auto values = CallDecoded(UaMessageId::ReadRequest, UaMessageId::ReadResponse, w, DecodeRead);
  if (values.size() != nodes.size())
    throw UaLinkError("The server answered " + std::to_string(values.size()) + " values for " +
                      std::to_string(nodes.size()) + " nodes");
  return values;
}

std::vector<UaStatusCode> UaClient::Write(const std::vector<UaWriteValue>& values) {
  UaWriter w;
  EncodeWrite(w, values);
  auto results = CallDecoded(UaMessageId::WriteRequest, UaMessageId::WriteResponse, w, DecodeWrite);
  if (results.size() != values.size())
    throw UaLinkError("The server answered " + std::to_string(results.size()) +
                      " results for " + std::to_string(values.size()) + " writes");
  return results;
}

UaBrowseAnswer UaClient::Browse(const UaNodeId& node) {
  const OperationBound bound(channel_, UaBrowseBound * limits_.TimeoutMs, "browse");
  UaWriter w;
  EncodeBrowse(w, {node});
  std::vector<UaBrowseResult> results =
      CallDecoded(UaMessageId::BrowseRequest, UaMessageId::BrowseResponse, w, DecodeBrowse);
  UaBrowseAnswer out;
  const auto cut = [&](UaBrowseCut why) {
    if (out.Why == UaBrowseCut::None) out.Why = why;
    out.Cut = true;
  };
  // The answers so far, each as its continuation point and the targets it listed: a server
  // may keep one point for a whole browse, but an answer that comes again means the points
  // go round in a circle.
  std::set<std::string> answers;
  for (int round = 1;; ++round) {
    if (results.size() != 1) throw UaLinkError("The server answered a browse for another node count");
    UaBrowseResult& result = results[0];
    if (UaIsBad(result.Status)) throw UaServiceError(UaStatusText(result.Status), result.Status);
    std::string answer = result.ContinuationPoint;
    for (const UaReference& r : result.References) answer += "\n" + FormatNodeId(r.Target.Id);
    if (!answers.insert(std::move(answer)).second) {
      cut(UaBrowseCut::Repeat);  // the same references again: not listed twice
      result.References.clear();
    }
    const std::size_t room = UaMaxBrowseReferences - out.References.size();
    if (result.References.size() > room) {
      result.References.resize(room);
      cut(UaBrowseCut::Count);
    }
    out.References.insert(out.References.end(), std::make_move_iterator(result.References.begin()),
                          std::make_move_iterator(result.References.end()));
    if (result.ContinuationPoint.empty()) return out;
    // A server that hands out continuation points without end, or in a circle, is cut off,
    // and the point it holds for this browse is given back.
    if (out.References.size() >= UaMaxBrowseReferences || round >= UaMaxBrowseRounds)
      cut(UaBrowseCut::Count);
    UaWriter next;
    EncodeBrowseNext(next, {result.ContinuationPoint}, out.Cut);
    try {
      if (out.Cut) {
        try {
          Call(UaMessageId::BrowseNextRequest, UaMessageId::BrowseNextResponse, next);
        } catch (const UaServiceError&) {
          // The server had let the point go already.
        }
        return out;
      }
      results = CallDecoded(UaMessageId::BrowseNextRequest, UaMessageId::BrowseNextResponse, next,
                            DecodeBrowse);
    } catch (const UaTimeoutError& e) {
      // What was read stays: the list is cut where the bound ran out (the link with it).
      cut(UaBrowseCut::Time);
      out.TimeoutText = e.what();
      return out;
    }
  }
}

UaSubscription UaClient::CreateSubscription(double publishingIntervalMs,
                                            std::uint32_t keepAliveCount) {
  UaWriter w;
  // The server ends a subscription after this many intervals without a Publish to answer:
  // three keep-alives, and never less than a minute, so that a stall the link survives
  // (its Publish requests answered into it) leaves the subscription in place.
  const double minuteCount = 60'000.0 / std::max(publishingIntervalMs, 1.0);
  const auto lifetime = static_cast<std::uint32_t>(
      std::clamp(std::max(3.0 * keepAliveCount, std::ceil(minuteCount)), 3.0, 1.0e6));
  EncodeCreateSubscription(w, publishingIntervalMs, lifetime, keepAliveCount);
  const UaSubscription s =
      CallDecoded(UaMessageId::CreateSubscriptionRequest, UaMessageId::CreateSubscriptionResponse,
                  w, DecodeCreateSubscription);
  // A Publish is answered at the latest after a keep-alive period; allow it twice that,
  // within an hour whatever interval (negative, huge) the server revised to.
  const double hint =
      2.0 * s.PublishingIntervalMs * std::max<std::uint32_t>(s.KeepAliveCount, 1) + 5000.0;
  publishTimeoutHintMs_ = static_cast<std::uint32_t>(std::clamp(hint, 5000.0, 3'600'000.0));
  return s;
}

std::vector<UaMonitoredItemResult> UaClient::CreateMonitoredItems(
    std::uint32_t subscriptionId, const std::vector<UaMonitoredItemRequest>& items) {
  UaWriter w;
  EncodeCreateMonitoredItems(w, subscriptionId, items);
  auto results =
      CallDecoded(UaMessageId::CreateMonitoredItemsRequest,
                  UaMessageId::CreateMonitoredItemsResponse, w, DecodeCreateMonitoredItems);
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
        refused.emplace(UaStatusText(a.Status), a.Status);
      continue;
    }
    UaReader r(a.Body);
    UaPublishResult p;
    try {
      p = DecodePublish(r);
    } catch (const UaDecodeError& e) {
      Close();
      throw UaLinkError(std::string("The server's answer to Publish ") +
                        (e.OverBudget ? "was refused: " : "is malformed: ") + e.what());
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
