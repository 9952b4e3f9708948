// A recording OPC client for the experiment's tests: items whose value and quality the
// test sets, every write kept in order, a connection switched by hand.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "opc/OpcClient.h"

struct RecordedWrite {
  std::string ItemId;
  double Value;
  bool Integer;
  bool operator==(const RecordedWrite&) const = default;
};

class FakePlant final : public OpcClient {
 public:
  class Item final : public OpcItem {
   public:
    Item(FakePlant& plant, std::string id) : plant_(plant), id_(std::move(id)) {}
    const std::string& ItemId() const override { return id_; }
    double Value() const override {
      if (lagging > 0) return --lagging, before;
      return value;
    }
    int Quality() const override { return plant_.connected ? quality : OpcQualityBad; }
    void Write(double v) override { Record(v, false); }
    void WriteInteger(int v) override { Record(v, true); }
    OpcAccess Access() const override { return access; }
    OpcDataType DataType() const override { return type; }
    double value = 0;
    double before = 0;        // the value before the last write, while it still shows
    mutable int lagging = 0;  // reads that still show it
    int quality = OpcQualityGood;
    bool reject = false;
    bool losesLink = false;
    OpcAccess access = OpcAccess::Unknown;
    OpcDataType type = OpcDataType::Unknown;

   private:
    void Record(double v, bool integer) {
      if (!plant_.connected) return;
      if (reject) throw OpcError("Cannot write Items: " + id_);
      if (losesLink) {  // no answer in time: the link is lost, the write may have arrived
        plant_.connected = false;
        throw OpcError("Cannot write Items: " + id_ + " (the write may have reached the server)");
      }
      plant_.writes.push_back({id_, v, integer});
      before = value;
      value = v;
      lagging = plant_.readBackLag;
    }
    FakePlant& plant_;
    std::string id_;
  };

  class Group final : public OpcGroup {
   public:
    Group(FakePlant& plant, std::string name) : plant_(plant), name_(std::move(name)) {}
    const std::string& Name() const override { return name_; }
    void SetDeadBand(double percent) override { deadBand = percent; }
    void SetUpdateRateMs(int ms) override { updateRate = ms; }
    OpcItemPtr AddItem(const std::string& id) override {
      auto item = std::make_shared<Item>(plant_, id);
      item->quality = plant_.newItemQuality;
      plant_.items[id] = item;
      added.push_back(id);
      return item;
    }
    void RemoveAllItems() override { added.clear(); ++removals; }
    void ReadNow() override {
      if (onRead) onRead();
    }
    double Subscribe(int, int) override { return ++subscriptions, granted; }
    void Unsubscribe() override { ++unsubscribed; }
    std::function<void()> onRead;  // a read's round trip, e.g. a clock advanced
    double granted = 0;            // the sampling interval a subscription gets; 0 none
    int subscriptions = 0, unsubscribed = 0;
    double deadBand = -1;
    int updateRate = -1;
    std::vector<std::string> added;
    int removals = 0;

   private:
    FakePlant& plant_;
    std::string name_;
  };

  std::vector<std::string> ListServers() override { return {"Fake.Plant"}; }
  void Connect(const std::string&, const std::string&) override { connected = true; }
  void Disconnect() override { connected = false; }
  bool IsConnected() const override { return connected; }
  OpcServerState ServerState() const override {
    return connected ? OpcServerState::Running : OpcServerState::Unknown;
  }
  OpcGroup& AddGroup(const std::string& name) override {
    auto [it, inserted] = groups.try_emplace(name, nullptr);
    if (!inserted) throw OpcError("Group \"" + name + "\" already exists");
    it->second = std::make_unique<Group>(*this, name);
    return *it->second;
  }
  std::vector<std::string> BrowseItemIds() override { return {}; }
  void SetDisconnectHandler(std::function<void()>) override {}

  std::shared_ptr<Item> NewItem(const std::string& id) {
    auto item = std::make_shared<Item>(*this, id);
    items[id] = item;
    return item;
  }

  bool connected = false;
  int newItemQuality = OpcQualityGood;  // of the items a group adds
  // After a write an item shows its old value for this many more reads (a server that
  // reports a written value with a later update).
  int readBackLag = 0;
  std::vector<RecordedWrite> writes;
  std::map<std::string, std::shared_ptr<Item>> items;
  std::map<std::string, std::unique_ptr<Group>> groups;
};
