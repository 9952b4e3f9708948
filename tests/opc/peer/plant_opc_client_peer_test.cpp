// The program's OPC client on the node-opcua test plant: the server list remembered,
// state, items by node id with their quality, writes in the node's own type and the
// server's refusals, the browse tree, and a server that dies while connected.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "data/Clock.h"
#include "data/TextFile.h"
#include "opc/LocalOpcClient.h"
#include "opc/OpcBrowseTree.h"
#include "opc/PlantOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/UaOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "opc/ua/UaSessionSecurity.h"

namespace {

class PlantClientOnUa : public ::testing::Test {
 protected:
  void SetUp() override {
    listFile = std::filesystem::temp_directory_path() /
               ("vortuner_servers_" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(listFile);
    opc = CreatePlantOpcClient(clock, listFile.string(), "");
    opc->SetDisconnectHandler([this] { ++disconnects; });
    opc->Connect(UaPeerUrl(), "");
    group = &opc->AddGroup("Skupina1");
    group->SetUpdateRateMs(10);
  }
  void TearDown() override { std::filesystem::remove(listFile); }
  OpcItemPtr Item(const std::string& id) { return group->AddItem(id); }
  double Fresh(const std::string& id) {
    clock.AdvanceMs(1000);
    return Item(id)->Value();
  }

  std::filesystem::path listFile;
  ManualClock clock;
  std::unique_ptr<OpcClient> opc;
  OpcGroup* group = nullptr;
  int disconnects = 0;
};

TEST_F(PlantClientOnUa, TheServerIsListedRememberedAndRunning) {
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(opc->ServerState(), OpcServerState::Running);
  const auto names = opc->ListServers();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], SimulatedPlantServerName);
  EXPECT_EQ(names[1], DefaultUaEndpointUrl);
  EXPECT_EQ(names[2], UaPeerUrl());
  // A program started later lists it too.
  EXPECT_EQ(CreatePlantOpcClient(clock, listFile.string(), "")->ListServers(), names);
  opc->Disconnect();
  EXPECT_EQ(disconnects, 1);
  EXPECT_FALSE(opc->IsConnected());
}

TEST_F(PlantClientOnUa, TheDiscoveryServerAddsTheServersItKnows) {
  const std::vector<std::string> builtIn = {SimulatedPlantServerName, DefaultUaEndpointUrl};
  auto withPeer = builtIn;
  withPeer.push_back(UaPeerUrl());  // the test plant answers FindServers with itself
  EXPECT_EQ(CreatePlantOpcClient(clock, "", UaPeerUrl())->ListServers(), withPeer);
  // No discovery server there: the list goes on without.
  EXPECT_EQ(CreatePlantOpcClient(clock, "", "opc.tcp://127.0.0.1:1")->ListServers(), builtIn);
}

TEST_F(PlantClientOnUa, ItemsByNodeIdCarryValueAndQuality) {
  const auto mv = Item("ns=2;s=MV");
  mv->Write(30);
  clock.AdvanceMs(1000);
  EXPECT_EQ(mv->Value(), 30);
  EXPECT_TRUE(IsGoodQuality(mv->Quality()));
  EXPECT_EQ(Fresh("nsu=urn:vortuner:plant;s=MV"), 30);
  EXPECT_EQ(Fresh("ns=2;i=1001"), 42.5);
  const auto unknown = Item("ns=2;s=Valve");
  const auto foreign = Item("nsu=urn:elsewhere;s=MV");
  const auto typo = Item("Plant.MV");
  clock.AdvanceMs(1000);
  for (const auto& item : {unknown, foreign, typo}) {
    EXPECT_FALSE(IsGoodQuality(item->Quality())) << item->ItemId();
    EXPECT_EQ(item->Quality(), OpcQualityConfigError) << item->ItemId();
  }
  EXPECT_TRUE(IsGoodQuality(mv->Quality()));  // one bad item spoils no other
}

TEST_F(PlantClientOnUa, WritesGoInTheNodesOwnTypeAndRefusalsNameItemAndStatus) {
  Item("ns=2;s=Types.Int32")->Write(42);
  EXPECT_EQ(Fresh("ns=2;s=Types.Int32"), 42);
  Item("ns=2;s=Types.Float")->Write(0.25);
  EXPECT_EQ(Fresh("ns=2;s=Types.Float"), 0.25);
  Item("ns=2;s=Types.UInt16")->WriteInteger(65535);
  EXPECT_EQ(Fresh("ns=2;s=Types.UInt16"), 65535);
  Item("ns=2;s=Types.Boolean")->WriteInteger(1);
  EXPECT_EQ(Fresh("ns=2;s=Types.Boolean"), 1);

  const auto refused = [&](const std::string& id, double value) {
    try {
      Item(id)->Write(value);
      return std::string("written");
    } catch (const OpcError& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(refused("ns=2;s=U", 5), "Cannot write Items: ns=2;s=U (BadNotWritable)");
  EXPECT_EQ(refused("ns=2;s=Valve", 5),
            "Cannot write Items: ns=2;s=Valve (BadNodeIdUnknown)");
  EXPECT_EQ(refused("ns=2;s=Types.UInt16", -1),
            "Cannot write Items: ns=2;s=Types.UInt16 (The value -1 does not fit in UInt16)");
  EXPECT_EQ(refused("ns=2;s=Types.Int32", 2.5),
            "Cannot write Items: ns=2;s=Types.Int32 (The value 2.5 is not a whole number, as "
            "Int32 requires)");
  EXPECT_EQ(Fresh("ns=2;s=Types.Int32"), 42);  // nothing stored
  EXPECT_EQ(refused("ns=2;s=MV", NAN),
            "Cannot write Items: ns=2;s=MV (The value is not a finite number)");
  EXPECT_EQ(refused("Plant.MV", 5), "Cannot write Items: Plant.MV (not a node of this server)");
  EXPECT_TRUE(opc->IsConnected());
}

TEST_F(PlantClientOnUa, TheBrowseTreeOpensBranchByBranch) {
  const auto find = [](const std::vector<OpcBrowseNode>& nodes, const std::string& name) {
    for (const auto& n : nodes)
      if (n.Name == name) return n;
    return OpcBrowseNode{};
  };
  const OpcBrowseNode plant = find(opc->BrowseChildren(""), "Plant");
  EXPECT_EQ(plant.Id, "ns=2;s=Plant");
  EXPECT_TRUE(plant.HasChildren);
  EXPECT_FALSE(plant.IsItem);
  const OpcBrowseNode loop = find(opc->BrowseChildren(plant.Id), "Loop1");
  const OpcBrowseNode mv = find(opc->BrowseChildren(loop.Id), "MV");
  EXPECT_EQ(mv.Id, "ns=2;s=MV");
  EXPECT_TRUE(mv.IsItem);
  EXPECT_EQ(opc->BrowseChildren("ns=2;s=Many").size(), 1500u);
}

TEST_F(PlantClientOnUa, TheBrowserReadsALevelWithItsItemsFactsAndTheBranchesLeftOpen) {
  const OpcBrowseLevel plant =
      ReadBrowseLevel(*opc, "ns=2;s=Plant", {"ns=2;s=Loop1", "ns=2;s=Types", "ns=2;s=Many"});
  const auto below = [&](const std::string& id) {
    for (const OpcBrowseLevel& level : plant.Below)
      if (level.BranchId == id) return level;
    return OpcBrowseLevel{};
  };
  const auto facts = [](const OpcBrowseLevel& level, const std::string& name) {
    for (std::size_t i = 0; i < level.Nodes.size(); ++i)
      if (level.Nodes[i].Name == name) return level.Facts[i];
    return OpcItemFacts{};
  };
  ASSERT_EQ(plant.Below.size(), 3u);  // Area, Tank and Deep's branches stay unread
  const OpcBrowseLevel loop = below("ns=2;s=Loop1"), types = below("ns=2;s=Types");
  EXPECT_EQ(facts(loop, "MV").Access, OpcAccess::ReadWrite);
  EXPECT_EQ(facts(loop, "U").Access, OpcAccess::ReadOnly);
  EXPECT_EQ(facts(loop, "U").TypeName, "Double");
  EXPECT_TRUE(facts(loop, "U").HasValue);
  const OpcItemFacts fixed = facts(types, "Fixed"), text = facts(types, "Text");
  EXPECT_EQ(fixed.DataType, OpcDataType::Double);
  EXPECT_EQ(fixed.Access, OpcAccess::ReadOnly);
  EXPECT_EQ(fixed.Value, 42.5);
  EXPECT_EQ(text.TypeName, "String");
  EXPECT_EQ(text.DataType, OpcDataType::NotNumeric);
  EXPECT_EQ(text.ValueText, "abc");
  EXPECT_FALSE(text.IsNumber);
  EXPECT_TRUE(fixed.IsNumber);
  EXPECT_EQ(facts(types, "Boolean").TypeName, "Boolean");
  // A level of 1500 items is read in a few requests, every item's facts in order.
  const OpcBrowseLevel many = below("ns=2;s=Many");
  ASSERT_EQ(many.Facts.size(), 1500u);
  for (std::size_t i = 0; i < many.Nodes.size(); ++i)
    ASSERT_EQ(many.Facts[i].Value, std::stod(many.Nodes[i].Name.substr(1))) << i;
  // IDs the server does not know say why.
  const auto unknown = opc->DescribeItems({"ns=2;s=Nowhere", "Plant.MV"});
  EXPECT_EQ(unknown[0].Status, "BadNodeIdUnknown");
  EXPECT_EQ(unknown[1].Status, "BadNodeIdInvalid");
  EXPECT_EQ(unknown[1].Access, OpcAccess::Unknown);
}

TEST(PlantClientOnUaFaults, AServerThatDiesMakesTheLinkInactiveAndNothingIsWrittenAfter) {
  PrivateUaPeer peer;
  ManualClock clock;
  auto opc = CreatePlantOpcClient(clock, "");
  int disconnects = 0;
  opc->SetDisconnectHandler([&] { ++disconnects; });
  opc->Connect(peer.Url(), "");
  OpcGroup& group = opc->AddGroup("Skupina1");
  const auto mv = group.AddItem("ns=2;s=MV");
  const auto y1 = group.AddItem("ns=2;s=Y1");
  mv->Write(12);
  clock.AdvanceMs(1000);
  EXPECT_EQ(mv->Value(), 12);
  const double before = y1->Value();
  peer.Kill();
  clock.AdvanceMs(1000);
  EXPECT_EQ(y1->Value(), before);  // the last value stays; no exception
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(disconnects, 1);
  EXPECT_EQ(y1->Quality(), OpcQualityNotConnected);
  mv->Write(50);  // does nothing: the link is gone
  EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown);
  EXPECT_EQ(disconnects, 1);
}

TEST(PlantClientOnUaFaults, AServerThatCannotBeReachedIsAConnectionError) {
  ManualClock clock;
  auto opc = CreatePlantOpcClient(clock, "");
  try {
    opc->Connect("opc.tcp://127.0.0.1:1", "");
    FAIL();
  } catch (const OpcError& e) {
    EXPECT_STREQ(e.what(), "opc.tcp://127.0.0.1:1: Cannot connect to 127.0.0.1:1: Connection refused");
  }
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_THROW(opc->Connect("opc.tcp://", ""), OpcError);
}

}  // namespace

namespace {

TEST(PlantClientOnUaUpkeep, KeepAliveKeepsAQuietLinkConnectedPastItsTokensLifetime) {
  ManualClock clock;
  UaChannelLimits limits;
  limits.RequestedLifetimeMs = 2500;  // the server's shortest: renewal due after 1.9 s
  auto opc = CreateUaOpcClient(clock, limits);
  opc->Connect(UaPeerUrl(), "");
  OpcGroup& group = opc->AddGroup("Skupina1");
  const auto state = group.AddItem("i=2259");
  for (int i = 0; i < 10; ++i) {  // 5 s, twice the lifetime
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    opc->KeepAlive();
  }
  clock.AdvanceMs(1000);
  EXPECT_TRUE(IsGoodQuality(state->Quality()));
  EXPECT_TRUE(opc->IsConnected());
}

}  // namespace

TEST(PlantClientOnSecuredUa, TheServerListRemembersTheSecurityAndUserButNeverThePassword) {
  const auto folder = std::filesystem::temp_directory_path() / ("vortuner_secured_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  const std::string listFile = (folder / "servers.txt").string();
  ManualClock clock;
  auto opc = CreatePlantOpcClient(clock, listFile, "");
  UaConnectOptions options;
  options.Security = UaSecurityChoice::Sign;
  options.PkiFolder = (folder / "pki").string();
  options.AskTrust = [](const UaCertificateSummary&) { return UaTrustAnswer::Once; };
  int asked = 0;
  options.AskLogin = [&](std::string& user, std::string& password) {
    ++asked;
    EXPECT_EQ(user, asked == 1 ? "" : UaSecurePeerUser);  // the name offered again
    user = UaSecurePeerUser;
    password = UaSecurePeerPassword;
    return true;
  };
  opc->SetUaConnectOptions(options);
  opc->Connect(UaSecurePeerUrl(), "");
  ASSERT_TRUE(opc->IsConnected());
  opc->Disconnect();
  const auto lines = ReadTextLines(listFile);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], DefaultUaEndpointUrl);  // a plain line, as before
  EXPECT_EQ(lines[1], UaSecurePeerUrl() + "\tsign\t" + UaSecurePeerUser);
  auto later = CreatePlantOpcClient(clock, listFile, "");
  EXPECT_EQ(later->ListServers().back(), UaSecurePeerUrl());
  EXPECT_EQ(later->RememberedChoice(UaSecurePeerUrl()).Security, "sign");
  EXPECT_EQ(later->RememberedChoice(UaSecurePeerUrl()).User, UaSecurePeerUser);
  EXPECT_EQ(later->RememberedChoice(DefaultUaEndpointUrl).Security, "auto");
  opc->Connect(UaSecurePeerUrl(), "");
  EXPECT_EQ(asked, 2);
  opc->Disconnect();
  std::filesystem::remove_all(folder);
}
