// The client used when no server is installed: nothing to list, nothing to connect to.
#include <map>

#include "opc/OpcClient.h"

namespace {

class DetachedItem final : public OpcItem {
 public:
  explicit DetachedItem(std::string id) : id_(std::move(id)) {}
  const std::string& ItemId() const override { return id_; }
  double Value() const override { return 0; }
  int Quality() const override { return OpcQualityBad; }
  void Write(double) override {}
  void WriteInteger(int) override {}

 private:
  std::string id_;
};

class NoServerGroup final : public OpcGroup {
 public:
  explicit NoServerGroup(std::string name) : name_(std::move(name)) {}
  const std::string& Name() const override { return name_; }
  void SetDeadBand(double) override {}
  void SetUpdateRateMs(int) override {}
  OpcItemPtr AddItem(const std::string& itemId) override {
    return std::make_shared<DetachedItem>(itemId);
  }
  void RemoveAllItems() override {}

 private:
  std::string name_;
};

class NoServerOpcClient final : public OpcClient {
 public:
  std::vector<std::string> ListServers() override { return {}; }
  void Connect(const std::string& serverName, const std::string&) override {
    throw OpcError("Server \"" + serverName + "\" not found");
  }
  void Disconnect() override {
    if (handler_) handler_();
  }
  bool IsConnected() const override { return false; }
  OpcServerState ServerState() const override { return OpcServerState::Unknown; }
  OpcGroup& AddGroup(const std::string& name) override {
    auto [it, inserted] = groups_.try_emplace(name, name);
    if (!inserted) throw OpcError("Group \"" + name + "\" already exists");
    return it->second;
  }
  std::vector<std::string> BrowseItemIds() override { return {}; }
  void SetDisconnectHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

 private:
  std::map<std::string, NoServerGroup> groups_;
  std::function<void()> handler_;
};

}  // namespace

std::unique_ptr<OpcClient> CreateNoServerOpcClient() { return std::make_unique<NoServerOpcClient>(); }
