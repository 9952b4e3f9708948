// A group of a server that offers no subscriptions, over a real one: the experiment's
// sampler then reads at its deadlines (tests and benchmarks of the fallback).
#pragma once

#include "opc/OpcClient.h"

class NoSubscriptionGroup final : public OpcGroup {
 public:
  explicit NoSubscriptionGroup(OpcGroup& group) : group_(group) {}
  const std::string& Name() const override { return group_.Name(); }
  void SetDeadBand(double percent) override { group_.SetDeadBand(percent); }
  void SetUpdateRateMs(int ms) override { group_.SetUpdateRateMs(ms); }
  OpcItemPtr AddItem(const std::string& itemId) override { return group_.AddItem(itemId); }
  void RemoveAllItems() override { group_.RemoveAllItems(); }
  void ReadNow() override { group_.ReadNow(); }

 private:
  OpcGroup& group_;
};
