// The local OPC client over the built-in simulated plant server: listing, connecting,
// groups, item qualities, update rate and dead band, rejected writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "data/Clock.h"
#include "opc/LocalOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/SimulatedPlantServer.h"

namespace {

namespace id = SimulatedPlantItems;

class LocalClient : public ::testing::Test {
 protected:
  void SetUp() override {
    opc = CreateLocalOpcClient(clock);
    opc->SetDisconnectHandler([this] { ++disconnects; });
  }
  void Connect() { opc->Connect(SimulatedPlantServerName, ""); }
  std::string WriteError(OpcItem& item, double value) {
    try {
      item.Write(value);
    } catch (const OpcError& e) {
      return e.what();
    }
    return "";
  }

  ManualClock clock;
  std::unique_ptr<OpcClient> opc;
  int disconnects = 0;
};

TEST_F(LocalClient, ListsTheSimulatedPlantServerAndConnectsToIt) {
  EXPECT_THAT(opc->ListServers(), ::testing::Contains(std::string("VorTuner.SimulatedPlant.1")));
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown);
  EXPECT_TRUE(opc->BrowseItemIds().empty());
  Connect();
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Running);
  EXPECT_THAT(opc->BrowseItemIds(),
              ::testing::IsSupersetOf({"Plant.MV", "Plant.U", "Plant.Y1", "Plant.Y2", "Controller.P",
                                       "Controller.I", "Controller.D", "Controller.SP",
                                       "Controller.RA", "Controller.Manual", "Controller.Auto"}));
  EXPECT_EQ(disconnects, 0);
}

TEST_F(LocalClient, ConnectDropsTheEarlierConnectionAndDisconnectFiresTheHandler) {
  Connect();
  Connect();
  EXPECT_EQ(disconnects, 1);
  EXPECT_TRUE(opc->IsConnected());
  opc->Disconnect();
  EXPECT_EQ(disconnects, 2);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown);
}

TEST_F(LocalClient, AnUnknownServerOrARemoteComputerRaisesAndLeavesItDisconnected) {
  EXPECT_THROW(
      {
        try {
          opc->Connect("Other.Server.1", "");
        } catch (const OpcError& e) {
          EXPECT_STREQ(e.what(), "Server \"Other.Server.1\" not found");
          throw;
        }
      },
      OpcError);
  EXPECT_THROW(opc->Connect(SimulatedPlantServerName, "plant-pc"), OpcError);
  EXPECT_FALSE(opc->IsConnected());
}

TEST_F(LocalClient, GroupNamesAreUnique) {
  OpcGroup& group = opc->AddGroup("Skupina1");
  EXPECT_EQ(group.Name(), "Skupina1");
  EXPECT_THROW(opc->AddGroup("Skupina1"), OpcError);
  EXPECT_NO_THROW(opc->AddGroup("SkupReg"));
}

TEST_F(LocalClient, QualityIsGoodOnlyForAKnownItemOfAnActiveConnection) {
  OpcGroup& group = opc->AddGroup("Skupina1");
  OpcItemPtr y1 = group.AddItem(id::Y1);  // added before connecting, like the program does
  OpcItemPtr wrong = group.AddItem("Plant.Nothing");
  EXPECT_FALSE(IsGoodQuality(y1->Quality()));
  Connect();
  EXPECT_TRUE(IsGoodQuality(y1->Quality()));
  EXPECT_NEAR(y1->Value(), 28, 1);  // steady state at the start output 10
  EXPECT_FALSE(IsGoodQuality(wrong->Quality()));
  EXPECT_EQ(wrong->Value(), 0);
  opc->Disconnect();
  EXPECT_FALSE(IsGoodQuality(y1->Quality()));
  Connect();
  EXPECT_TRUE(IsGoodQuality(y1->Quality()));
  group.RemoveAllItems();
  EXPECT_FALSE(IsGoodQuality(y1->Quality()));
}

TEST_F(LocalClient, RejectedWritesNameTheItemAndInactiveWritesDoNothing) {
  OpcGroup& group = opc->AddGroup("Skupina1");
  OpcItemPtr mv = group.AddItem(id::MV);
  OpcItemPtr y1 = group.AddItem(id::Y1);
  OpcItemPtr wrong = group.AddItem("Plant.Nothing");
  EXPECT_EQ(WriteError(*mv, 55), "");  // not connected: nothing happens
  Connect();
  EXPECT_EQ(mv->Value(), 10);
  EXPECT_EQ(WriteError(*wrong, 1), "Cannot write Items: Plant.Nothing");
  EXPECT_EQ(WriteError(*y1, 1), "Cannot write Items: Plant.Y1");
  EXPECT_EQ(WriteError(*mv, std::numeric_limits<double>::quiet_NaN()), "Cannot write Items: Plant.MV");
  EXPECT_EQ(WriteError(*mv, 42.5), "");
  EXPECT_EQ(mv->Value(), 42.5);
  group.RemoveAllItems();
  EXPECT_EQ(WriteError(*mv, 60), "");  // a detached item ignores writes
  OpcItemPtr fresh = group.AddItem(id::MV);
  EXPECT_EQ(fresh->Value(), 42.5);
}

TEST_F(LocalClient, ValuesFollowTheServerAtTheGroupsUpdateRate) {
  OpcGroup& group = opc->AddGroup("Skupina1");
  group.SetUpdateRateMs(1000);
  Connect();
  OpcItemPtr y1 = group.AddItem(id::Y1);
  const double first = y1->Value();
  clock.AdvanceMs(500);
  EXPECT_EQ(y1->Value(), first);  // the noise moved the plant, the cache waits
  clock.AdvanceMs(500);
  EXPECT_NE(y1->Value(), first);
}

TEST_F(LocalClient, TheDeadBandHoldsBackSmallChanges) {
  OpcGroup& group = opc->AddGroup("Skupina1");
  group.SetUpdateRateMs(10);
  group.SetDeadBand(5);  // 5 % of the 0..100 range
  Connect();
  OpcItemPtr y1 = group.AddItem(id::Y1);
  OpcItemPtr mv = group.AddItem(id::MV);
  const double first = y1->Value();
  for (int i = 0; i < 20; ++i) {
    clock.AdvanceMs(100);
    EXPECT_EQ(y1->Value(), first);  // noise of 0.1 stays inside the band of 5
  }
  mv->Write(50);  // Y1 heads from 28 to 60
  clock.AdvanceMs(60'000);
  EXPECT_GT(y1->Value(), first + 5);
}

}  // namespace

TEST(UaEndpointKey, OneSpellingOfTheLocalHostAndTheDefaultPortAndNoOther) {
  EXPECT_TRUE(SameUaEndpoint("opc.tcp://localhost:4840", "opc.tcp://127.0.0.1:4840/"));
  EXPECT_TRUE(SameUaEndpoint("OPC.TCP://LocalHost", "opc.tcp://[::1]:4840"));
  EXPECT_FALSE(SameUaEndpoint("opc.tcp://127.0.0.1:4840", "opc.tcp://127.0.0.1:48400"));
  EXPECT_FALSE(SameUaEndpoint("opc.tcp://plant:4840/A", "opc.tcp://plant:4840/B"));
  EXPECT_FALSE(SameUaEndpoint("opc.tcp://plant-1:4840", "opc.tcp://plant-2:4840"));
}
