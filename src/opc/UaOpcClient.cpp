#include "opc/UaOpcClient.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "data/Clock.h"
#include "data/SafeText.h"
#include "opc/LocalOpcClient.h"
#include "opc/ua/UaCertificate.h"
#include "opc/ua/UaClient.h"

namespace {

// A link that has been quiet this long is asked for the server's state at the next upkeep
// call, so that a server gone while the program is idle is noticed within a few seconds.
constexpr auto IdleProbeAfter = std::chrono::seconds(3);

// How long the client's end waits for a session's close under way.
constexpr auto ClosingAtEndMs = std::chrono::milliseconds(500);

constexpr int OpcQualityUncertain = 0x40;

// The attributes that say who may write a variable, and their bit for the present value.
constexpr std::uint32_t AccessLevelAttribute = 17, UserAccessLevelAttribute = 18;
constexpr std::uint8_t CurrentWriteBit = 0x02;

// The quality word of a value's status code.
int QualityOf(UaStatusCode status) {
  if (UaIsGood(status)) return OpcQualityGood;
  if (!UaIsBad(status)) return OpcQualityUncertain;
  const std::string name = UaStatusName(status);
  return name == "BadNodeIdUnknown" || name == "BadNodeIdInvalid" ? OpcQualityConfigError
                                                                   : OpcQualityBad;
}

// OPC UA server states (ServerState enumeration) as the OPC DA states the program shows;
// anything but a small whole number (a String, 1e300, NaN, an array) is unknown.
OpcServerState StateOf(const UaVariant& uaState) {
  if (!uaState.IsNumeric()) return OpcServerState::Unknown;
  const double x = uaState.ToDouble();
  if (!(x >= 0 && x <= 7) || x != std::floor(x)) return OpcServerState::Unknown;
  switch (static_cast<int>(x)) {
    case 0: return OpcServerState::Running;
    case 1: return OpcServerState::Failed;
    case 2: return OpcServerState::NoConfig;
    case 3: return OpcServerState::Suspended;
    case 5: return OpcServerState::Test;
    default: return OpcServerState::Unknown;
  }
}

// The session shared by the client, its groups and their items. One caller at a time
// talks on it (Mutex): an experiment's sampler reads and writes from its own thread while
// the UI thread polls the server state and keeps the session alive. What the UI thread
// asks while the sampler waits on the server it answers from what it knows (try_lock),
// so that a stalled server never stops the window.
struct Link {
  explicit Link(const Clock& clock, UaChannelLimits limits) : TheClock(clock), Client(limits) {}
  const Clock& TheClock;
  UaClient Client;
  std::recursive_mutex Mutex;
  std::atomic<bool> Active = false;
  std::atomic<bool> Lost = false;  // inactive because the link failed, not ended by the engineer
  std::atomic<OpcServerState> LastState = OpcServerState::Unknown;
  std::function<void()> OnLost;               // fires the client's disconnect handler
  std::map<std::string, UaType> DataTypes;  // by node id text, read once per connection
  std::map<std::string, OpcAccess> Accesses;  // likewise

  // Runs a request; a link failure makes the connection inactive and reports it.
  template <typename F>
  auto Guarded(F&& request) -> decltype(request()) {
    try {
      return request();
    } catch (const UaLinkError&) {
      Lose();
      throw;
    }
  }
  // A link ended by the engineer (Disconnect made it inactive first, then aborted the
  // request in flight) is not lost: only the first to make it inactive reports.
  void Lose() {
    if (!Active.exchange(false)) return;
    Lost = true;
    Client.Close();
    if (OnLost) OnLost();
  }
};

OpcDataType DataTypeOf(UaType type) {
  if (type >= UaType::Boolean && type <= UaType::Double)
    return static_cast<OpcDataType>(static_cast<int>(type));
  return type == UaType::Null ? OpcDataType::Unknown : OpcDataType::NotNumeric;
}

// Nodes whose attributes one Read of the item browser asks for (four attributes each): a
// request well within what servers take in one operation.
constexpr std::size_t DescribedNodesPerRead = 250;

// What the item browser shows of a value that is no single number; never "" (a structure,
// an unset time say what they are).
std::string ValueTextOf(const UaVariant& v) {
  constexpr std::size_t Longest = 80;
  if (v.IsArray) return "polje (" + std::to_string(v.Values.size()) + ")";
  if (v.Values.empty()) return "(prazno)";
  const UaScalar& s = v.Values.front();
  std::string text;
  if (const auto* bytes = std::get_if<std::string>(&s))
    text = v.Type == UaType::ByteString ? std::to_string(bytes->size()) + " B" : *bytes;
  else if (const auto* localized = std::get_if<UaLocalizedText>(&s))
    text = localized->Text;
  else if (const auto* name = std::get_if<UaQualifiedName>(&s))
    text = name->Name;
  else if (const auto* id = std::get_if<UaNodeId>(&s))
    text = FormatNodeId(*id);
  else if (const auto* ticks = std::get_if<std::int64_t>(&s); ticks && v.Type == UaType::DateTime)
    text = FormatUaDateTime(*ticks);
  else if (const auto* code = std::get_if<std::uint64_t>(&s); code && v.Type == UaType::StatusCode)
    text = UaStatusName(static_cast<UaStatusCode>(*code));
  else if (std::holds_alternative<UaExtensionObject>(v.Values.front()))
    return "(struktura)";
  if (text.empty() && v.Type != UaType::String && v.Type != UaType::LocalizedText)
    return v.Type == UaType::DateTime ? "(brez časa)" : std::string("(") + UaTypeName(v.Type) + ")";
  text = VisibleText(text);
  if (text.size() > Longest) {
    std::size_t cut = Longest;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
      --cut;  // whole characters
    text = text.substr(0, cut) + "…";
  }
  return text;
}

// Whether an AccessLevel and a UserAccessLevel read allow this user to write; Unknown when
// the node's own level is not given (the user's, when not given, does not narrow it).
// An access level is a byte of bits: a value that is no whole number from 0 to 255 (NaN,
// an infinity, 1.5, a text) says nothing, as if it were not given.
std::optional<std::uint8_t> AccessLevelOf(const UaDataValue& level) {
  if (!UaIsGood(level.Status) || !level.Value.IsNumeric() || level.Value.IsArray)
    return std::nullopt;
  const double x = level.Value.ToDouble();
  if (!(x >= 0 && x <= 255) || x != std::floor(x)) return std::nullopt;
  return static_cast<std::uint8_t>(x);
}

OpcAccess AccessOfLevels(const UaDataValue& level, const UaDataValue& userLevel) {
  const std::optional<std::uint8_t> own = AccessLevelOf(level);
  if (!own) return OpcAccess::Unknown;
  bool writable = (*own & CurrentWriteBit) != 0;
  if (const std::optional<std::uint8_t> user = AccessLevelOf(userLevel))
    writable = writable && (*user & CurrentWriteBit) != 0;
  return writable ? OpcAccess::ReadWrite : OpcAccess::ReadOnly;
}

// The built-in type a numeric write to the node takes: its DataType attribute when that
// is a built-in type, else the type of its present value (abstract types such as Number).
UaType WriteTypeOf(Link& link, const UaNodeId& node) {
  const std::string key = FormatNodeId(node);
  const auto known = link.DataTypes.find(key);
  if (known != link.DataTypes.end()) return known->second;
  const auto values = link.Guarded([&] {
    return link.Client.Read({{node, UaAttribute::DataType}, {node, UaAttribute::Value}});
  });
  if (UaIsBad(values[0].Status)) throw UaServiceError(UaStatusName(values[0].Status), values[0].Status);
  UaType type = BuiltInDataType(values[0].Value);
  if (type == UaType::Null) type = values[1].Value.Type;
  if (UaIsGood(values[0].Status)) link.DataTypes[key] = type;
  return type;
}

// Whether this user may write the node: its AccessLevel and UserAccessLevel both allow
// writing the present value (a server that does not give the user's level is judged by
// the node's own).
OpcAccess AccessOf(Link& link, const UaNodeId& node) {
  const std::string key = FormatNodeId(node);
  const auto known = link.Accesses.find(key);
  if (known != link.Accesses.end()) return known->second;
  const auto values = link.Guarded([&] {
    return link.Client.Read({{node, AccessLevelAttribute}, {node, UserAccessLevelAttribute}});
  });
  const OpcAccess access = AccessOfLevels(values[0], values[1]);
  if (access != OpcAccess::Unknown) link.Accesses[key] = access;
  return access;
}

class UaGroup;

class UaItem final : public OpcItem {
 public:
  UaItem(UaGroup* group, std::string itemId);
  const std::string& ItemId() const override { return id_; }
  double Value() const override;
  int Quality() const override;
  std::int64_t SourceTimeMs() const override { return sourceTimeMs_; }
  void Write(double value) override;
  void WriteInteger(int value) override { Write(static_cast<double>(value)); }
  OpcAccess Access() const override;
  OpcDataType DataType() const override;

  void Detach() { group_ = nullptr; }
  // The node this item names on the present connection; none when the ID is not a node
  // id or names a namespace the server does not have.
  std::optional<UaNodeId> Node(const UaClient& client) const;
  void Take(const UaDataValue& v) {
    int quality = QualityOf(v.Status);
    if (v.HasValue && v.Value.IsNumeric()) value_ = v.Value.ToDouble();
    else if (IsGoodQuality(quality))
      quality = OpcQualityBad;  // not a number
    quality_ = quality;
    // 100 ns ticks since 1601 to ms since 1970.
    constexpr std::int64_t UnixEpochTicks = 116'444'736'000'000'000;
    sourceTimeMs_ = v.HasSourceTime && v.SourceTime > UnixEpochTicks
                        ? (v.SourceTime - UnixEpochTicks) / 10'000
                        : 0;
  }
  void SetQuality(int quality) { quality_ = quality; }
  // As the last value taken left them, without a read.
  double RawValue() const { return value_; }
  int RawQuality() const { return quality_; }

 private:
  UaGroup* group_;
  std::string id_;
  std::optional<UaNodeId> parsed_;
  // Set by a read on the sampler's thread, read on the UI thread.
  std::atomic<double> value_ = 0;
  std::atomic<int> quality_ = OpcQualityNotConnected;
  std::atomic<std::int64_t> sourceTimeMs_ = 0;
};

class UaGroup final : public OpcGroup {
 public:
  UaGroup(std::string name, Link& link) : name_(std::move(name)), link_(link) {}
  ~UaGroup() override { RemoveAllItems(); }
  const std::string& Name() const override { return name_; }
  void SetDeadBand(double percent) override { deadBand_ = std::max(0.0, percent); }
  void SetUpdateRateMs(int ms) override { updateRateMs_ = std::max(0, ms); }
  // The item list has a lock of its own: adding or removing items never waits for a
  // request that another caller has on the link (a probe or a load on a stalled server).
  OpcItemPtr AddItem(const std::string& itemId) override {
    auto item = std::make_shared<UaItem>(this, itemId);
    const std::lock_guard lock(itemsMutex_);
    items_.push_back(item);
    due_ = true;
    return item;
  }
  void RemoveAllItems() override {
    const std::lock_guard lock(itemsMutex_);
    for (auto& item : items_) item->Detach();
    items_.clear();
  }

  void ReadNow() override {
    const std::lock_guard lock(link_.Mutex);
    Read();
  }

  double Subscribe(int periodMs, int queueSize) override;
  std::vector<OpcSampledValue> TakeSampled(int waitMs) override;
  void Unsubscribe() override;

  Link& TheLink() { return link_; }
  // Reads every item of the group in one request when the update rate says it is due
  // and no other caller is talking on the link; else the items keep what they have.
  void Refresh();
  void MarkDue() { due_ = true; }

 private:
  std::string name_;
  Link& link_;
  double deadBand_ = 0;  // an OPC UA read has no engineering range to apply it to
  int updateRateMs_ = 1000;
  // Reads every item now; under the link's mutex.
  void Read();

  std::mutex itemsMutex_;
  std::vector<std::shared_ptr<UaItem>> items_;  // under itemsMutex_
  std::optional<std::int64_t> lastReadMs_;      // under the link's mutex
  std::atomic<bool> due_ = true;                // items added, a write made: read at once
  // The subscription of the sampler's thread: its id, the items by client handle, how
  // long the link may stay silent before it counts as stalled.
  std::optional<std::uint32_t> subscription_;
  std::vector<std::shared_ptr<UaItem>> subscribed_;
  std::chrono::milliseconds silenceLimit_{0};
};

UaItem::UaItem(UaGroup* group, std::string itemId) : group_(group), id_(std::move(itemId)) {
  try {
    parsed_ = ParseNodeId(id_);
  } catch (const std::invalid_argument&) {
    // Not a node id: the item reports a configuration error.
  }
}

std::optional<UaNodeId> UaItem::Node(const UaClient& client) const {
  if (!parsed_) return std::nullopt;
  try {
    return client.Resolve(*parsed_);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
}

double UaItem::Value() const {
  if (group_) group_->Refresh();
  return value_;
}

int UaItem::Quality() const {
  if (group_) group_->Refresh();
  return quality_;
}

OpcAccess UaItem::Access() const {
  if (!group_ || !group_->TheLink().Active) return OpcAccess::Unknown;
  Link& link = group_->TheLink();
  const std::lock_guard lock(link.Mutex);  // a request: one caller at a time on the link
  const auto node = Node(link.Client);
  if (!node) return OpcAccess::Unknown;
  try {
    return AccessOf(link, *node);
  } catch (const std::exception&) {
    return OpcAccess::Unknown;  // a node the server does not know; a lost link
  }
}

OpcDataType UaItem::DataType() const {
  if (!group_ || !group_->TheLink().Active) return OpcDataType::Unknown;
  Link& link = group_->TheLink();
  const std::lock_guard lock(link.Mutex);
  const auto node = Node(link.Client);
  if (!node) return OpcDataType::Unknown;
  try {
    return DataTypeOf(WriteTypeOf(link, *node));
  } catch (const std::exception&) {
    return OpcDataType::Unknown;
  }
}

void UaItem::Write(double value) {
  if (!group_ || !group_->TheLink().Active) return;
  Link& link = group_->TheLink();
  const std::lock_guard lock(link.Mutex);
  const auto fail = [&](const std::string& why) {
    return OpcError("Cannot write Items: " + id_ + " (" + VisibleText(why) + ")");
  };
  const auto node = Node(link.Client);
  if (!node) throw fail("not a node of this server");
  bool sent = false;
  try {
    const UaVariant v = NumericVariant(WriteTypeOf(link, *node), value);
    sent = true;
    const UaStatusCode status = link.Guarded([&] { return link.Client.Write({{*node, v}})[0]; });
    if (!UaIsGood(status)) throw fail(UaStatusName(status));
  } catch (const std::range_error& e) {
    throw fail(e.what());
  } catch (const UaServiceError& e) {
    throw fail(e.what());
  } catch (const UaLinkError& e) {
    // The request may have gone out before the link failed: the server may hold the value.
    throw fail(sent ? "the write may have reached the server: " + std::string(e.what()) : e.what());
  }
  group_->MarkDue();  // the next read shows what the server holds now
}

void UaGroup::Refresh() {
  const std::unique_lock lock(link_.Mutex, std::try_to_lock);
  if (!lock) return;
  const std::int64_t now = link_.TheClock.TickCountMs();
  if (link_.Active && lastReadMs_ && !due_ && now - *lastReadMs_ < updateRateMs_) return;
  Read();
}

void UaGroup::Read() {
  due_ = false;
  std::vector<std::shared_ptr<UaItem>> items;
  {
    const std::lock_guard lock(itemsMutex_);
    items = items_;
  }
  if (!link_.Active) {
    for (auto& item : items) item->SetQuality(OpcQualityNotConnected);
    return;
  }
  std::vector<UaReadValueId> nodes;
  std::vector<UaItem*> asked;
  for (auto& item : items) {
    if (auto node = item->Node(link_.Client)) {
      nodes.push_back({*node, UaAttribute::Value});
      asked.push_back(item.get());
    } else {
      item->SetQuality(OpcQualityConfigError);
    }
  }
  // The update rate counts from the answer: a read that took longer than it is not
  // followed at once by another for the next item asked.
  struct Stamp {
    UaGroup& group;
    ~Stamp() { group.lastReadMs_ = group.link_.TheClock.TickCountMs(); }
  } stamp{*this};
  if (nodes.empty()) return;
  try {
    const auto values = link_.Guarded([&] { return link_.Client.Read(nodes); });
    for (std::size_t i = 0; i < asked.size(); ++i) asked[i]->Take(values[i]);
  } catch (const std::exception&) {
    // A link failure has made the connection inactive; a refused read leaves the items
    // without a fresh value.
    for (UaItem* item : asked) item->SetQuality(link_.Active ? OpcQualityBad : OpcQualityNotConnected);
  }
}

double UaGroup::Subscribe(int periodMs, int queueSize) {
  const std::lock_guard lock(link_.Mutex);
  subscription_.reset();
  subscribed_.clear();
  if (!link_.Active) return 0;
  std::vector<std::shared_ptr<UaItem>> items;
  {
    const std::lock_guard itemsLock(itemsMutex_);
    items = items_;
  }
  try {
    // A keep-alive about every second when nothing is sampled, so that silence means a stall.
    const auto keepAlive = static_cast<std::uint32_t>(std::max(1, 1000 / std::max(periodMs, 1)));
    const UaSubscription sub =
        link_.Guarded([&] { return link_.Client.CreateSubscription(periodMs, keepAlive); });
    subscription_ = sub.Id;
    std::vector<UaMonitoredItemRequest> requests;
    for (auto& item : items)
      if (auto node = item->Node(link_.Client)) {
        UaMonitoredItemRequest r;
        r.Node = *node;
        r.ClientHandle = static_cast<std::uint32_t>(subscribed_.size());
        r.SamplingIntervalMs = periodMs;
        r.EverySample = true;
        r.QueueSize = static_cast<std::uint32_t>(std::max(queueSize, 1));
        requests.push_back(r);
        subscribed_.push_back(item);
      }
    const auto results =
        link_.Guarded([&] { return link_.Client.CreateMonitoredItems(sub.Id, requests); });
    double granted = std::max(sub.PublishingIntervalMs, 0.0);
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (UaIsGood(results[i].Status))
        granted = std::max(granted, results[i].RevisedSamplingIntervalMs);
      else
        subscribed_[i]->SetQuality(QualityOf(results[i].Status));
    }
    const double keepAliveMs =
        sub.PublishingIntervalMs * std::max<std::uint32_t>(sub.KeepAliveCount, 1);
    silenceLimit_ = std::chrono::milliseconds(
        static_cast<std::int64_t>(std::clamp(keepAliveMs, 0.0, 60'000.0)) +
        link_.Client.Channel().Limits().TimeoutMs);
    return granted > 0 ? granted : periodMs;
  } catch (const UaServiceError&) {
    // No subscriptions at this server (or not for these items): the sampler reads.
    if (subscription_) Unsubscribe();
    subscription_.reset();
    subscribed_.clear();
    return 0;
  } catch (const std::exception&) {
    subscription_.reset();
    subscribed_.clear();
    return 0;  // the link lost: the sampler finds it so
  }
}

std::vector<OpcSampledValue> UaGroup::TakeSampled(int waitMs) {
  const std::lock_guard lock(link_.Mutex);
  if (!link_.Active) throw OpcError("The link to the server is lost");
  if (!subscription_) return {};
  std::vector<UaDataChange> changes;
  try {
    changes = link_.Guarded([&] { return link_.Client.Publish(waitMs, 5); });
  } catch (const UaServiceError& e) {
    throw OpcError(e.what());
  } catch (const UaLinkError& e) {
    throw OpcError(e.what());
  }
  // Publish requests wait at the server by design; no answer at all, not even a keep-alive,
  // is a server that has stopped answering.
  if (std::chrono::steady_clock::now() - link_.Client.Channel().LastAnswer() > silenceLimit_) {
    link_.Lose();
    throw OpcError("The server has not answered for " +
                   std::to_string(silenceLimit_.count() / 1000) + " s");
  }
  constexpr std::int64_t UnixEpochTicks = 116'444'736'000'000'000;
  std::vector<OpcSampledValue> sampled;
  for (const UaDataChange& c : changes) {
    if (c.ClientHandle >= subscribed_.size()) continue;
    UaItem& item = *subscribed_[c.ClientHandle];
    item.Take(c.Value);
    OpcSampledValue v;
    v.ItemId = item.ItemId();
    v.Value = item.RawValue();
    v.Quality = item.RawQuality();
    v.SourceTimeUs = c.Value.HasSourceTime && c.Value.SourceTime > UnixEpochTicks
                         ? (c.Value.SourceTime - UnixEpochTicks) / 10
                         : 0;
    sampled.push_back(std::move(v));
  }
  return sampled;
}

void UaGroup::Unsubscribe() {
  const std::lock_guard lock(link_.Mutex);
  const std::optional<std::uint32_t> id = subscription_;
  subscription_.reset();
  subscribed_.clear();
  if (!id || !link_.Active) return;
  try {
    link_.Guarded([&] { link_.Client.DeleteSubscriptions({*id}); });
  } catch (const std::exception&) {
    // Gone with the link, or with the session: nothing to end.
  }
}

class UaOpcClient final : public OpcClient {
 public:
  UaOpcClient(const Clock& clock, UaChannelLimits limits) : link_(clock, limits) {
    link_.OnLost = [this] {
      if (handler_) handler_();
    };
  }
  ~UaOpcClient() override {
    // A probe or a session's close waiting on the server ends at once; a link that is
    // free is closed as usual (the session closed at the server).
    link_.Active = false;
    bool closing = false;
    {
      // A session's close under way (the program ended right after "Prekini", or by a
      // signal) is let end the session at a server that answers; one that waits on a
      // stalled server is cut short.
      std::unique_lock lock(closerMutex_);
      closerDone_.wait_for(lock, ClosingAtEndMs, [this] { return !closing_; });
      closing = closing_;
    }
    if (closing)
      link_.Client.Abort();
    else
      AbortIfBusy();
    if (prober_.joinable()) prober_.join();
    if (closer_.joinable()) closer_.join();
    const std::lock_guard lock(link_.Mutex);
    groups_.clear();
    link_.OnLost = nullptr;
    link_.Client.Close();
  }

  std::vector<std::string> ListServers() override { return {}; }

  void Connect(const std::string& serverName, const std::string& computerName) override {
    const std::lock_guard lock(link_.Mutex);
    if (link_.Active.exchange(false)) {
      link_.Client.Close();
      if (handler_) handler_();
    }
    if (!computerName.empty())
      throw OpcError("Computer \"" + computerName + "\" cannot be reached");
    link_.Lost = false;
    try {
      link_.Client.Connect(serverName, options_);
      {
        // The server as it introduced itself on this connect, for what must belong to it
        // (an undo, a set whose outcome is to be read back).
        const UaEndpoint& e = link_.Client.Endpoint();
        const std::lock_guard identityLock(identityMutex_);
        identity_ = {UaEndpointKey(serverName), e.Server.Uri,
                     e.SecurityMode > 1 && !e.ServerCertificate.empty()
                         ? UaCertificate::FromDer(e.ServerCertificate).ThumbprintHex()
                         : std::string()};
      }
      link_.DataTypes.clear();
      link_.Accesses.clear();
      link_.Active = true;
      for (auto& [name, group] : groups_) group->MarkDue();
    } catch (const std::exception& e) {
      throw OpcError(serverName + ": " + VisibleText(e.what()));
    }
  }

  // Never waits on the server: the link is inactive at once (nothing more is written,
  // and a request that fails now reports no loss), a request another thread has in
  // flight on it fails at once, and the session is closed on a thread of its own.
  void Disconnect() override {
    link_.Active = false;
    link_.Lost = false;
    AbortIfBusy();
    CloseOffThread();
    if (handler_) handler_();
  }
  bool IsConnected() const override { return link_.Active; }
  OpcServerIdentity ServerIdentity() const override {
    if (!link_.Active) return {};
    const std::lock_guard lock(identityMutex_);
    return identity_;
  }

  bool Lost() const override { return !link_.Active && link_.Lost; }
  // Only a link that was lost: one the engineer ended stays ended.
  bool Reconnect() override {
    const std::lock_guard lock(link_.Mutex);
    if (link_.Active) return true;
    if (!link_.Lost) return false;
    try {
      link_.Client.Reconnect();
    } catch (const std::exception&) {
      return false;
    }
    link_.DataTypes.clear();
    link_.Accesses.clear();
    link_.Lost = false;
    link_.Active = true;
    for (auto& [name, group] : groups_) group->MarkDue();
    return true;
  }

  // While the link is busy with another caller (a sampler waiting on the server), the
  // state last read.
  OpcServerState ServerState() const override {
    if (!link_.Active) return OpcServerState::Unknown;
    const std::unique_lock lock(link_.Mutex, std::try_to_lock);
    if (!lock) return link_.LastState;
    try {
      const auto state = link_.Guarded(
          [&] { return link_.Client.Read({{UaNodeId::Num(UaNode::ServerStatusState)}})[0]; });
      link_.LastState = UaIsGood(state.Status) ? StateOf(state.Value) : OpcServerState::Unknown;
    } catch (const std::exception&) {
      link_.LastState = OpcServerState::Unknown;
    }
    return link_.LastState;
  }
  bool ReachedOverNetwork() const override { return true; }

  // A read of the server state when the token is due for renewal or the link has been
  // quiet for a while: keeps token and session alive and finds a server that went away.
  void SetUaConnectOptions(const UaConnectOptions& options) override { options_ = options; }
  // A link busy with another caller needs no upkeep from here. The probe itself runs on a
  // thread of its own: a server that stalls keeps it waiting, never the caller (the
  // window's timer); a link it finds lost fires the disconnect handler on that thread.
  void KeepAlive() override {
    if (!link_.Active || probing_) return;
    {
      const std::unique_lock lock(link_.Mutex, std::try_to_lock);
      if (!lock) return;
      // The session's own upkeep (a third of its time-out, the token's renewal) or the
      // idle probe.
      const auto quiet = std::chrono::steady_clock::now() - link_.Client.Channel().LastAnswer();
      if (!link_.Client.KeepAliveDue() && quiet < IdleProbeAfter) return;
    }
    if (prober_.joinable()) prober_.join();  // the last probe has ended (probing_ is false)
    probing_ = true;
    prober_ = std::thread([this] {
      {
        const std::lock_guard lock(link_.Mutex);
        if (link_.Active) ServerState();
      }
      probing_ = false;
    });
  }

  OpcGroup& AddGroup(const std::string& name) override {
    if (groups_.count(name)) throw OpcError("Group \"" + name + "\" already exists");
    return *(groups_[name] = std::make_unique<UaGroup>(name, link_));
  }

  // The address space is too large to list whole; the item browser walks it by branches.
  std::vector<std::string> BrowseItemIds() override { return {}; }

  std::vector<OpcBrowseNode> BrowseChildren(const std::string& branchId) override {
    const std::lock_guard lock(link_.Mutex);
    if (!link_.Active) return {};
    const UaNodeId parent = branchId.empty() ? UaNodeId::Num(UaNode::ObjectsFolder)
                                             : link_.Client.Resolve(ParseNodeId(branchId));
    std::vector<OpcBrowseNode> children;
    try {
      const UaBrowseAnswer answer = link_.Guarded([&] { return link_.Client.Browse(parent); });
      for (const UaReference& r : answer.References) {
        if (r.Target.ServerIndex != 0 || !r.Target.NamespaceUri.empty()) continue;
        OpcBrowseNode n;
        n.Name = VisibleText(r.DisplayName.Text.empty() ? r.BrowseName.Name : r.DisplayName.Text);
        n.Id = FormatNodeId(r.Target.Id);
        n.IsItem = r.NodeClass == 2;       // a variable
        n.HasChildren = r.NodeClass == 1;  // an object: a folder or a device
        children.push_back(std::move(n));
      }
      if (answer.Cut) {
        OpcBrowseNode more;
        const std::string shown =
            "… prikazanih je le prvih " + std::to_string(answer.References.size()) + " elementov";
        more.Name = answer.Why == UaBrowseCut::Repeat
                        ? shown + " (strežnik je začel seznam ponavljati)"
                    : answer.Why == UaBrowseCut::Time
                        ? shown + " (brskanje ni končalo v " +
                              std::to_string(UaBrowseBound *
                                             link_.Client.Channel().Limits().TimeoutMs / 1000) +
                              " s; povezava je prekinjena)"
                        : shown + " (strežnik jih ponuja več)";
        children.push_back(std::move(more));
      }
      // A browse cut by its time bound has lost the link: the window hears of it.
      if (!link_.Client.IsConnected()) link_.Lose();
    } catch (const UaServiceError&) {
      // A node the server will not browse shows no children.
    }
    return children;
  }

  // Four attributes of each node (data type, access level, the user's access level, value)
  // in one Read for up to DescribedNodesPerRead nodes, and the names of data types that are
  // not built-in in one more.
  std::vector<OpcItemFacts> DescribeItems(const std::vector<std::string>& itemIds) override {
    std::vector<OpcItemFacts> facts(itemIds.size());
    const std::lock_guard lock(link_.Mutex);
    if (!link_.Active) return facts;
    std::vector<std::pair<std::size_t, UaNodeId>> nodes;
    for (std::size_t i = 0; i < itemIds.size(); ++i) {
      try {
        nodes.emplace_back(i, link_.Client.Resolve(ParseNodeId(itemIds[i])));
      } catch (const std::invalid_argument&) {
        facts[i].Status = "BadNodeIdInvalid";  // not a node id, or a namespace it lacks
      }
    }
    std::map<std::string, std::vector<std::size_t>> typesToName;  // data type node -> facts
    for (std::size_t first = 0; first < nodes.size(); first += DescribedNodesPerRead) {
      const std::size_t end = std::min(nodes.size(), first + DescribedNodesPerRead);
      std::vector<UaReadValueId> asked;
      for (std::size_t k = first; k < end; ++k)
        for (std::uint32_t attribute : {UaAttribute::DataType, AccessLevelAttribute,
                                        UserAccessLevelAttribute, UaAttribute::Value})
          asked.push_back({nodes[k].second, attribute});
      std::vector<UaDataValue> values;
      try {
        values = link_.Guarded([&] { return link_.Client.Read(asked); });
      } catch (const UaServiceError& e) {
        for (std::size_t k = first; k < end; ++k)
          facts[nodes[k].first].Status = UaStatusName(e.Status);
        continue;
      }
      for (std::size_t k = first; k < end && 4 * (k - first) + 3 < values.size(); ++k) {
        const UaDataValue* v = &values[4 * (k - first)];
        OpcItemFacts& f = facts[nodes[k].first];
        const std::string key = FormatNodeId(nodes[k].second);
        const UaType builtIn = BuiltInDataType(v[0].Value);
        if (UaIsGood(v[0].Status)) {
          const UaType writeType = builtIn != UaType::Null ? builtIn : v[3].Value.Type;
          f.DataType = DataTypeOf(writeType);
          link_.DataTypes[key] = writeType;  // as a write would find it
          if (builtIn != UaType::Null)
            f.TypeName = UaTypeName(builtIn);
          else if (!v[0].Value.Values.empty())
            if (const auto* type = std::get_if<UaNodeId>(&v[0].Value.Values.front()))
              typesToName[FormatNodeId(*type)].push_back(nodes[k].first);
        }
        f.Access = AccessOfLevels(v[1], v[2]);
        if (f.Access != OpcAccess::Unknown) link_.Accesses[key] = f.Access;
        if (UaIsBad(v[3].Status)) {
          f.Status = UaStatusName(v[3].Status);
        } else if (v[3].HasValue && !v[3].Value.IsEmpty()) {
          f.HasValue = true;
          f.IsNumber = v[3].Value.IsNumeric();
          if (f.IsNumber)
            f.Value = v[3].Value.ToDouble();
          else
            f.ValueText = ValueTextOf(v[3].Value);
        }
        if (UaIsBad(v[0].Status) && f.Status.empty()) f.Status = UaStatusName(v[0].Status);
      }
    }
    if (!typesToName.empty()) {
      std::vector<UaReadValueId> asked;
      for (const auto& [type, users] : typesToName)
        asked.push_back({ParseNodeId(type), UaAttribute::DisplayName});
      try {
        const auto names = link_.Guarded([&] { return link_.Client.Read(asked); });
        std::size_t k = 0;
        for (const auto& [type, users] : typesToName) {
          if (k >= names.size()) break;
          const UaDataValue& name = names[k++];
          const auto* text = name.Value.Values.empty()
                                 ? nullptr
                                 : std::get_if<UaLocalizedText>(&name.Value.Values.front());
          const std::string shown = UaIsGood(name.Status) && text ? VisibleText(text->Text) : type;
          for (std::size_t i : users) facts[i].TypeName = shown;
        }
      } catch (const UaServiceError&) {
        // The data types stay unnamed.
      }
    }
    return facts;
  }

  void SetDisconnectHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

 private:
  mutable std::mutex identityMutex_;
  OpcServerIdentity identity_;
  // Aborts the link when another caller has a request on it (a probe, a load, a browse,
  // a close waiting on the server); a free link is left for a polite close.
  void AbortIfBusy() {
    const std::unique_lock lock(link_.Mutex, std::try_to_lock);
    if (!lock) link_.Client.Abort();
  }
  // Closes the session of an inactive link on the closer's thread; one closer at a time,
  // which takes every close asked of it meanwhile. A connect made before it gets to the
  // link is left alone.
  void CloseOffThread() {
    const std::lock_guard lock(closerMutex_);
    closeWanted_ = true;
    if (closing_) return;
    if (closer_.joinable()) closer_.join();  // it has ended (closing_ is false)
    closing_ = true;
    closer_ = std::thread([this] {
      for (;;) {
        {
          const std::lock_guard lock(closerMutex_);
          if (!closeWanted_) {
            closing_ = false;
            closerDone_.notify_all();
            return;
          }
          closeWanted_ = false;
        }
        const std::lock_guard lock(link_.Mutex);
        if (!link_.Active) link_.Client.Close();
      }
    });
  }

  mutable Link link_;
  std::map<std::string, std::unique_ptr<UaGroup>> groups_;
  std::function<void()> handler_;
  UaConnectOptions options_;
  std::thread prober_;  // the last upkeep probe
  std::atomic<bool> probing_ = false;
  std::mutex closerMutex_;
  std::thread closer_;        // the last session close; under closerMutex_
  bool closing_ = false;      // under closerMutex_
  std::condition_variable closerDone_;
  bool closeWanted_ = false;  // under closerMutex_
};

}  // namespace

std::vector<std::string> DiscoverUaServers(const std::string& discoveryUrl, int timeoutMs) {
  constexpr std::uint32_t ClientApplication = 1, DiscoveryServerApplication = 3;
  UaChannelLimits limits;
  limits.TimeoutMs = timeoutMs;
  UaClient client(limits);
  std::vector<std::string> urls;
  try {
    client.Channel().Open(discoveryUrl);
    for (const UaApplication& server : client.FindServers()) {
      if (server.Type == ClientApplication || server.Type == DiscoveryServerApplication) continue;
      for (const std::string& url : server.DiscoveryUrls)
        if (IsUaEndpointUrl(url) &&
            std::none_of(urls.begin(), urls.end(),
                         [&](const std::string& u) { return SameUaEndpoint(u, url); }))
          urls.push_back(url);
    }
  } catch (const std::exception&) {
    // No discovery server there (or not one that answers): nothing to offer.
  }
  return urls;
}

std::string UaEndpointKey(const std::string& url) {
  constexpr std::string_view Scheme = "opc.tcp://";
  std::string lower = url;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.rfind(Scheme, 0) != 0) return url;
  const size_t slash = url.find('/', Scheme.size());
  std::string authority = lower.substr(Scheme.size(), slash == std::string::npos
                                                          ? std::string::npos
                                                          : slash - Scheme.size());
  std::string path = slash == std::string::npos ? "" : url.substr(slash);
  while (!path.empty() && path.back() == '/') path.pop_back();
  // host[:port], the host of an IPv6 address in brackets.
  std::string host = authority, port = "4840";
  const size_t close = authority.rfind(']');
  const size_t colon = authority.rfind(':');
  if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  char own[256] = {};
  std::string ownName;
  if (gethostname(own, sizeof own - 1) == 0) {
    ownName = own;
    for (char& c : ownName) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (host == "127.0.0.1" || host == "[::1]" || host == "::1" || (!ownName.empty() && host == ownName))
    host = "localhost";
  return std::string(Scheme) + host + ":" + port + path;
}

OpcAccess AccessOfUaLevels(const UaDataValue& level, const UaDataValue& userLevel) {
  return AccessOfLevels(level, userLevel);
}

std::unique_ptr<OpcClient> CreateUaOpcClient(const Clock& clock, UaChannelLimits limits) {
  return std::make_unique<UaOpcClient>(clock, limits);
}
