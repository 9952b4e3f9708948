#include "opc/PlantOpcClient.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>

#include "data/TextFile.h"
#include "opc/LocalOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaSessionSecurity.h"

namespace {

// An item of both backends; calls go to the one whose server is connected (the local
// one, which reports "not connected", while none is).
class PlantItem final : public OpcItem {
 public:
  PlantItem(OpcItemPtr local, OpcItemPtr ua, const std::atomic<OpcClient*>& active,
            const OpcClient* uaClient)
      : local_(std::move(local)), ua_(std::move(ua)), active_(active), uaClient_(uaClient) {}
  const std::string& ItemId() const override { return local_->ItemId(); }
  double Value() const override { return Current().Value(); }
  int Quality() const override { return Current().Quality(); }
  void Write(double value) override { Current().Write(value); }
  void WriteInteger(int value) override { Current().WriteInteger(value); }
  OpcAccess Access() const override { return Current().Access(); }
  OpcDataType DataType() const override { return Current().DataType(); }
  std::int64_t SourceTimeMs() const override { return Current().SourceTimeMs(); }

 private:
  OpcItem& Current() const { return active_ == uaClient_ ? *ua_ : *local_; }

  OpcItemPtr local_, ua_;
  const std::atomic<OpcClient*>& active_;
  const OpcClient* uaClient_;
};

class PlantGroup final : public OpcGroup {
 public:
  PlantGroup(OpcGroup& local, OpcGroup& ua, const std::atomic<OpcClient*>& active,
             OpcClient* uaClient)
      : local_(local), ua_(ua), active_(active), uaClient_(uaClient) {}
  const std::string& Name() const override { return local_.Name(); }
  void SetDeadBand(double percent) override {
    local_.SetDeadBand(percent);
    ua_.SetDeadBand(percent);
  }
  void SetUpdateRateMs(int ms) override {
    local_.SetUpdateRateMs(ms);
    ua_.SetUpdateRateMs(ms);
  }
  OpcItemPtr AddItem(const std::string& itemId) override {
    return std::make_shared<PlantItem>(local_.AddItem(itemId), ua_.AddItem(itemId), active_,
                                       uaClient_);
  }
  void RemoveAllItems() override {
    local_.RemoveAllItems();
    ua_.RemoveAllItems();
  }
  void ReadNow() override { active_ == uaClient_ ? ua_.ReadNow() : local_.ReadNow(); }
  // Only a server over the network is sampled by subscription; the link lost, the UA
  // group's subscription is what TakeSampled reports on.
  double Subscribe(int periodMs, int queueSize) override {
    return active_ == uaClient_ ? ua_.Subscribe(periodMs, queueSize) : 0;
  }
  std::vector<OpcSampledValue> TakeSampled(int waitMs) override { return ua_.TakeSampled(waitMs); }
  void Unsubscribe() override { ua_.Unsubscribe(); }

 private:
  OpcGroup& local_;
  OpcGroup& ua_;
  const std::atomic<OpcClient*>& active_;
  OpcClient* uaClient_;
};

class PlantOpcClient final : public OpcClient {
 public:
  PlantOpcClient(const Clock& clock, std::string serverListFile, std::string discoveryUrl)
      : local_(CreateLocalOpcClient(clock)),
        ua_(CreateUaOpcClient(clock)),
        listFile_(std::move(serverListFile)),
        discoveryUrl_(std::move(discoveryUrl)) {
    const auto forward = [this] {
      if (handler_) handler_();
    };
    local_->SetDisconnectHandler(forward);
    ua_->SetDisconnectHandler([this, forward] {
      OpcClient* ua = ua_.get();
      active_.compare_exchange_strong(ua, nullptr);
      forward();
    });
  }
  ~PlantOpcClient() override {
    local_->SetDisconnectHandler(nullptr);
    ua_->SetDisconnectHandler(nullptr);
    groups_.clear();
  }

  std::vector<std::string> ListServers() override {
    std::vector<std::string> names = local_->ListServers();
    // Each server once, in the spelling met first (the remembered one before discovery's).
    auto add = [&](const std::string& url) {
      if (std::none_of(names.begin(), names.end(),
                       [&](const std::string& n) { return SameUaEndpoint(n, url); }))
        names.push_back(url);
    };
    for (const std::string& url : ReadUaServerList(listFile_)) add(url);
    if (!discoveryUrl_.empty())
      for (const std::string& url : DiscoverUaServers(discoveryUrl_, DiscoveryTimeoutMs)) add(url);
    return names;
  }

  void Connect(const std::string& serverName, const std::string& computerName) override {
    if (active_) Disconnect();
    OpcClient& target = IsUaEndpointUrl(serverName) ? *ua_ : *local_;
    // The user name the engineer logs in with is remembered, never the password.
    auto user = std::make_shared<std::string>(
        options_ && !options_->User.empty() ? options_->User : RememberedChoice(serverName).User);
    if (options_) {
      UaConnectOptions options = *options_;
      if (options.AskLogin)
        options.AskLogin = [ask = options.AskLogin, user](std::string& name, std::string& password) {
          if (name.empty()) name = *user;
          if (!ask(name, password)) return false;
          *user = name;
          return true;
        };
      ua_->SetUaConnectOptions(options);
    }
    connecting_ = &target;
    struct Connected {
      std::atomic<OpcClient*>& connecting;
      ~Connected() { connecting = nullptr; }
    } connected{connecting_};
    target.Connect(serverName, computerName);
    active_ = &target;
    if (&target == ua_.get())
      Remember(serverName, {options_ ? FormatUaSecurityChoice(options_->Security) : "auto", *user});
  }

  // A connect under way on another thread (to a server over the network) is given up:
  // what it waits on the server for ends at once.
  void Disconnect() override {
    OpcClient* was = active_.exchange(nullptr);
    if (!was) was = connecting_;
    if (!was) was = local_.get();
    was->Disconnect();  // fires the handler
  }
  bool IsConnected() const override {
    const OpcClient* active = active_;
    return active && active->IsConnected();
  }
  OpcServerState ServerState() const override {
    const OpcClient* active = active_;
    return active ? active->ServerState() : OpcServerState::Unknown;
  }
  OpcServerIdentity ServerIdentity() const override {
    const OpcClient* active = active_;
    return active ? active->ServerIdentity() : OpcServerIdentity{};
  }

  OpcGroup& AddGroup(const std::string& name) override {
    if (groups_.count(name)) throw OpcError("Group \"" + name + "\" already exists");
    OpcGroup& local = local_->AddGroup(name);
    OpcGroup& ua = ua_->AddGroup(name);
    return *(groups_[name] = std::make_unique<PlantGroup>(local, ua, active_, ua_.get()));
  }

  std::vector<std::string> BrowseItemIds() override {
    OpcClient* active = active_;
    return active ? active->BrowseItemIds() : std::vector<std::string>{};
  }
  std::vector<OpcBrowseNode> BrowseChildren(const std::string& branchId) override {
    OpcClient* active = active_;
    return active ? active->BrowseChildren(branchId) : std::vector<OpcBrowseNode>{};
  }
  std::vector<OpcItemFacts> DescribeItems(const std::vector<std::string>& itemIds) override {
    OpcClient* active = active_;
    return active ? active->DescribeItems(itemIds) : std::vector<OpcItemFacts>(itemIds.size());
  }
  void SetUaConnectOptions(const UaConnectOptions& options) override {
    options_ = std::make_shared<UaConnectOptions>(options);
  }
  OpcServerChoice RememberedChoice(const std::string& serverName) const override {
    for (const UaServerEntry& e : ReadUaServerEntries(listFile_))
      if (SameUaEndpoint(e.Url, serverName)) return e.Choice;
    return {};
  }
  void KeepAlive() override {
    if (OpcClient* active = active_) active->KeepAlive();
  }
  bool Lost() const override { return !active_ && ua_->Lost(); }
  // A lost link to a server over the network, made again; the local server is not lost.
  bool Reconnect() override {
    if (active_ == ua_.get() && ua_->IsConnected()) return true;
    if (active_ || !ua_->Reconnect()) return false;
    OpcClient* none = nullptr;
    return active_.compare_exchange_strong(none, ua_.get()) || active_ == ua_.get();
  }
  bool ReachedOverNetwork() const override {
    const OpcClient* active = active_;
    return active && active->ReachedOverNetwork();
  }
  void SetDisconnectHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

 private:
  // Adds a URL the engineer connected to to the remembered list, with the choice made.
  void Remember(const std::string& url, const OpcServerChoice& choice) {
    if (listFile_.empty()) return;
    std::vector<UaServerEntry> entries = ReadUaServerEntries(listFile_);
    if (entries.empty()) entries.push_back({DefaultUaEndpointUrl, {}});  // as the list showed it
    const auto known = std::find_if(entries.begin(), entries.end(),
                                    [&](const UaServerEntry& e) { return SameUaEndpoint(e.Url, url); });
    if (known != entries.end() && known->Choice.Security == choice.Security &&
        known->Choice.User == choice.User)
      return;
    if (known != entries.end()) known->Choice = choice;
    else entries.push_back({url, choice});
    std::vector<std::string> lines;
    for (const UaServerEntry& e : entries)
      lines.push_back(e.Choice.Security == "auto" && e.Choice.User.empty()
                          ? e.Url
                          : e.Url + "\t" + e.Choice.Security + "\t" + e.Choice.User);
    try {
      std::filesystem::create_directories(FolderOf(listFile_));
      WriteTextLines(listFile_, lines);
    } catch (const std::exception&) {
      // The connection stands; the list is remembered the next time it can be written.
    }
  }

  // The list is filled at start-up: a discovery server that does not answer must not hold
  // the program long.
  static constexpr int DiscoveryTimeoutMs = 1000;

  std::unique_ptr<OpcClient> local_, ua_;
  std::string listFile_, discoveryUrl_;
  // Cleared on the sampler's thread when the UA link is lost under it.
  std::atomic<OpcClient*> active_ = nullptr;
  std::atomic<OpcClient*> connecting_ = nullptr;  // the target of a connect under way
  std::map<std::string, std::unique_ptr<PlantGroup>> groups_;
  std::function<void()> handler_;
  std::shared_ptr<UaConnectOptions> options_;
};

}  // namespace

std::vector<UaServerEntry> ReadUaServerEntries(const std::string& path) {
  std::vector<UaServerEntry> list;
  try {
    if (!path.empty() && std::filesystem::exists(path))
      for (const std::string& line : ReadTextLines(path)) {
        UaServerEntry e;
        const std::size_t tab = line.find('\t');
        e.Url = line.substr(0, tab);
        if (tab != std::string::npos) {
          const std::size_t tab2 = line.find('\t', tab + 1);
          const std::string security = line.substr(tab + 1, tab2 == std::string::npos ? std::string::npos : tab2 - tab - 1);
          try {
            e.Choice.Security = FormatUaSecurityChoice(ParseUaSecurityChoice(security));
          } catch (const std::invalid_argument&) {
            // an unknown choice reads as automatic
          }
          if (tab2 != std::string::npos) e.Choice.User = line.substr(tab2 + 1);
        }
        if (IsUaEndpointUrl(e.Url) &&
            std::none_of(list.begin(), list.end(), [&](const UaServerEntry& k) { return SameUaEndpoint(k.Url, e.Url); }))
          list.push_back(e);
      }
  } catch (const std::exception&) {
    list.clear();
  }
  return list;
}

std::vector<std::string> ReadUaServerList(const std::string& path) {
  std::vector<std::string> list;
  for (const UaServerEntry& e : ReadUaServerEntries(path)) list.push_back(e.Url);
  if (list.empty()) list.push_back(DefaultUaEndpointUrl);
  return list;
}

std::unique_ptr<OpcClient> CreatePlantOpcClient(const Clock& clock, std::string serverListFile,
                                                std::string discoveryUrl) {
  return std::make_unique<PlantOpcClient>(clock, std::move(serverListFile),
                                          std::move(discoveryUrl));
}
