#include "opc/LocalOpcClient.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "data/Clock.h"
#include "opc/SimulatedPlantServer.h"

namespace {

// What a group's items share: the client's present connection and its clock.
struct Connection {
  const Clock* TheClock = nullptr;
  LocalOpcServer* Server = nullptr;  // null while not connected
};

class LocalGroup;

class LocalItem final : public OpcItem {
 public:
  LocalItem(const LocalGroup* group, std::string itemId) : group_(group), id_(std::move(itemId)) {}
  const std::string& ItemId() const override { return id_; }
  double Value() const override {
    Refresh();
    return value_;
  }
  int Quality() const override {
    Refresh();
    return quality_;
  }
  void Write(double value) override;
  void WriteInteger(int value) override { Write(static_cast<double>(value)); }
  OpcAccess Access() const override {
    const auto info = Info();
    return !info ? OpcAccess::Unknown : info->Writable ? OpcAccess::ReadWrite : OpcAccess::ReadOnly;
  }
  OpcDataType DataType() const override {
    const auto info = Info();
    return info ? info->Type : OpcDataType::Unknown;
  }

  void Detach() { group_ = nullptr; }

 private:
  std::optional<LocalOpcItemInfo> Info() const;
  void Refresh() const;

  const LocalGroup* group_;
  std::string id_;
  mutable double value_ = 0;
  mutable int quality_ = OpcQualityNotConnected;
  mutable std::optional<std::int64_t> lastUpdateMs_;  // none: due at the next read
};

class LocalGroup final : public OpcGroup {
 public:
  LocalGroup(std::string name, const Connection& connection)
      : name_(std::move(name)), connection_(connection) {}
  ~LocalGroup() override { RemoveAllItems(); }
  const std::string& Name() const override { return name_; }
  void SetDeadBand(double percent) override { deadBand_ = std::max(0.0, percent); }
  void SetUpdateRateMs(int ms) override { updateRateMs_ = std::max(0, ms); }
  OpcItemPtr AddItem(const std::string& itemId) override {
    auto item = std::make_shared<LocalItem>(this, itemId);
    items_.push_back(item);
    return item;
  }
  void RemoveAllItems() override {
    for (auto& item : items_) item->Detach();
    items_.clear();
  }

  double DeadBand() const { return deadBand_; }
  int UpdateRateMs() const { return updateRateMs_; }
  const Connection& Link() const { return connection_; }

 private:
  std::string name_;
  const Connection& connection_;
  double deadBand_ = 0;
  int updateRateMs_ = 1000;  // the component's default for new groups
  std::vector<std::shared_ptr<LocalItem>> items_;
};

void LocalItem::Refresh() const {
  LocalOpcServer* server = group_ ? group_->Link().Server : nullptr;
  if (!server) {
    quality_ = OpcQualityNotConnected;
    lastUpdateMs_.reset();
    return;
  }
  const auto info = server->Find(id_);
  if (!info) {
    quality_ = OpcQualityConfigError;
    lastUpdateMs_.reset();
    return;
  }
  const std::int64_t now = group_->Link().TheClock->TickCountMs();
  if (lastUpdateMs_ && now - *lastUpdateMs_ < group_->UpdateRateMs()) return;
  const double fresh = server->Read(id_);
  // The percent dead band of an analog item: smaller changes are not delivered.
  const double band = group_->DeadBand() / 100.0 * (info->High - info->Low);
  const bool firstUpdate = !IsGoodQuality(quality_);
  if (firstUpdate || !(band > 0) || std::abs(fresh - value_) > band) value_ = fresh;
  quality_ = OpcQualityGood;
  lastUpdateMs_ = now;
}

std::optional<LocalOpcItemInfo> LocalItem::Info() const {
  LocalOpcServer* server = group_ ? group_->Link().Server : nullptr;
  return server ? server->Find(id_) : std::nullopt;
}

void LocalItem::Write(double value) {
  LocalOpcServer* server = group_ ? group_->Link().Server : nullptr;
  if (!server) return;
  if (!server->Write(id_, value)) throw OpcError("Cannot write Items: " + id_);
  lastUpdateMs_.reset();  // the server reports the written value with the next read
}

class LocalOpcClient final : public OpcClient {
 public:
  LocalOpcClient(const Clock& clock, std::vector<LocalServerEntry> servers)
      : entries_(std::move(servers)) {
    connection_.TheClock = &clock;
  }
  ~LocalOpcClient() override { groups_.clear(); }

  std::vector<std::string> ListServers() override {
    std::vector<std::string> names;
    for (const auto& entry : entries_) names.push_back(entry.Name);
    return names;
  }

  void Connect(const std::string& serverName, const std::string& computerName) override {
    if (connection_.Server) Disconnect();
    if (!computerName.empty())
      throw OpcError("Computer \"" + computerName + "\" cannot be reached");
    const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const LocalServerEntry& e) { return e.Name == serverName; });
    if (entry == entries_.end()) throw OpcError("Server \"" + serverName + "\" not found");
    auto& running = running_[serverName];
    if (!running) running = entry->Start();
    connection_.Server = running.get();
    serverName_ = serverName;
  }
  OpcServerIdentity ServerIdentity() const override {
    if (!connection_.Server) return {};
    return {serverName_, "", ""};
  }

  void Disconnect() override {
    connection_.Server = nullptr;
    if (handler_) handler_();
  }
  bool IsConnected() const override { return connection_.Server != nullptr; }
  OpcServerState ServerState() const override {
    return connection_.Server ? connection_.Server->State() : OpcServerState::Unknown;
  }

  OpcGroup& AddGroup(const std::string& name) override {
    if (groups_.count(name)) throw OpcError("Group \"" + name + "\" already exists");
    return *(groups_[name] = std::make_unique<LocalGroup>(name, connection_));
  }

  std::vector<std::string> BrowseItemIds() override {
    return connection_.Server ? connection_.Server->ItemIds() : std::vector<std::string>{};
  }
  std::vector<OpcItemFacts> DescribeItems(const std::vector<std::string>& itemIds) override {
    std::vector<OpcItemFacts> facts(itemIds.size());
    if (!connection_.Server) return facts;
    for (std::size_t i = 0; i < itemIds.size(); ++i) {
      const auto info = connection_.Server->Find(itemIds[i]);
      if (!info) continue;
      facts[i].DataType = info->Type;
      facts[i].TypeName = OpcDataTypeName(info->Type);
      facts[i].Access = info->Writable ? OpcAccess::ReadWrite : OpcAccess::ReadOnly;
      facts[i].HasValue = facts[i].IsNumber = true;
      facts[i].Value = connection_.Server->Read(itemIds[i]);
    }
    return facts;
  }
  void SetDisconnectHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

 private:
  std::vector<LocalServerEntry> entries_;
  std::map<std::string, std::unique_ptr<LocalOpcServer>> running_;
  Connection connection_;
  std::string serverName_;
  std::map<std::string, std::unique_ptr<LocalGroup>> groups_;
  std::function<void()> handler_;
};

}  // namespace

std::unique_ptr<OpcClient> CreateLocalOpcClient(const Clock& clock,
                                                std::vector<LocalServerEntry> servers) {
  return std::make_unique<LocalOpcClient>(clock, std::move(servers));
}

std::unique_ptr<OpcClient> CreateLocalOpcClient(const Clock& clock) {
  return CreateLocalOpcClient(
      clock, {{SimulatedPlantServerName,
               [&clock] { return std::make_unique<SimulatedPlantServer>(clock); }}});
}
