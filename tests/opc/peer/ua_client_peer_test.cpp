// The protocol client against the independent node-opcua test plant: discovery, server
// state, browse with continuation points, reads and writes with the server's verdicts,
// namespace URIs, and a token renewed in mid-session.
#include <gtest/gtest.h>

#include "opc/peer/UaPeer.h"
#include "opc/ua/UaClient.h"

namespace {

class UaClientPeer : public ::testing::Test {
 protected:
  void SetUp() override { client.Connect(UaPeerUrl()); }
  UaDataValue ReadOne(const std::string& node) { return client.Read({{ParseNodeId(node)}})[0]; }
  UaClient client;
};

TEST_F(UaClientPeer, DiscoveryOffersAnAnonymousEndpointWithoutSecurity) {
  const auto endpoints = client.GetEndpoints();
  bool anonymous = false;
  for (const auto& e : endpoints)
    for (const auto& t : e.UserTokens)
      anonymous |= e.SecurityPolicyUri == UaSecurityPolicyNone && t.TokenType == 0;
  EXPECT_TRUE(anonymous);
  const auto servers = client.FindServers();
  ASSERT_FALSE(servers.empty());
  EXPECT_EQ(servers[0].Uri, "urn:vortuner:test-plant");
}

TEST_F(UaClientPeer, ServerStateIsRunning) {
  const UaDataValue state = ReadOne("i=2259");
  EXPECT_TRUE(UaIsGood(state.Status));
  EXPECT_EQ(state.Value.ToDouble(), 0);  // ServerState Running
}

TEST_F(UaClientPeer, BrowseFollowsContinuationPoints) {
  bool plant = false;
  for (const auto& r : client.Browse(UaNodeId::Num(85)).References)
    plant |= r.BrowseName.Name == "Plant";
  EXPECT_TRUE(plant);
  const UaBrowseAnswer many = client.Browse(ParseNodeId("ns=2;s=Many"));
  EXPECT_EQ(many.References.size(), 1500u);  // more than the 1000 one answer carries
  EXPECT_FALSE(many.Cut);
  EXPECT_EQ(FormatNodeId(many.References.back().Target.Id), "ns=2;s=Many.1499");
}

TEST_F(UaClientPeer, WritesAreAnsweredWithTheServersVerdict) {
  const auto results = client.Write({
      {ParseNodeId("ns=2;s=SP"), UaVariant::Scalar(UaType::Double, 12.5)},
      {ParseNodeId("ns=2;s=Y1"), UaVariant::Scalar(UaType::Double, 1.0)},
      {ParseNodeId("ns=2;s=Types.Int32"), UaVariant::Scalar(UaType::Double, 1.0)},
      {ParseNodeId("ns=2;s=Nowhere"), UaVariant::Scalar(UaType::Double, 1.0)},
      {ParseNodeId("ns=2;s=Types.UInt16"), NumericVariant(UaType::UInt16, 9)},
  });
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(UaStatusName(results[0]), "Good");
  EXPECT_EQ(UaStatusName(results[1]), "BadNotWritable");
  EXPECT_EQ(UaStatusName(results[2]), "BadTypeMismatch");
  EXPECT_EQ(UaStatusName(results[3]), "BadNodeIdUnknown");
  EXPECT_EQ(UaStatusName(results[4]), "Good");
  EXPECT_EQ(ReadOne("ns=2;s=SP").Value.ToDouble(), 12.5);
  const UaDataValue u16 = ReadOne("ns=2;s=Types.UInt16");
  EXPECT_EQ(u16.Value.Type, UaType::UInt16);
  EXPECT_EQ(u16.Value.ToDouble(), 9);
  EXPECT_EQ(UaStatusName(ReadOne("ns=2;s=Nowhere").Status), "BadNodeIdUnknown");
}

TEST_F(UaClientPeer, NamespaceUrisResolveThroughTheServersTable) {
  const UaNodeId mv = client.Resolve(ParseNodeId("nsu=urn:vortuner:plant;s=MV"));
  EXPECT_EQ(FormatNodeId(mv), "ns=2;s=MV");
  EXPECT_EQ(ReadOne("ns=2;i=1001").Value.ToDouble(), 42.5);
  EXPECT_THROW(client.Resolve(ParseNodeId("nsu=urn:elsewhere;s=MV")), std::invalid_argument);
}

TEST_F(UaClientPeer, ARenewedTokenKeepsTheSessionAndTheSequenceNumbers) {
  const std::uint32_t token = client.Channel().TokenId();
  const std::uint32_t sequence = client.Channel().NextSequenceNumber();
  client.Channel().RenewBeforeNextRequest();
  EXPECT_TRUE(UaIsGood(ReadOne("i=2259").Status));
  EXPECT_NE(client.Channel().TokenId(), token);
  EXPECT_EQ(client.Channel().NextSequenceNumber(), sequence + 2);  // renewal, then the read
}

TEST_F(UaClientPeer, ASubscriptionReportsAChangeWithTwoPublishRequestsOutstanding) {
  const UaSubscription sub = client.CreateSubscription(20, 10);
  ASSERT_GT(sub.Id, 0u);
  const auto items = client.CreateMonitoredItems(
      sub.Id, {{ParseNodeId("ns=2;s=SP"), 7, 10, 0}, {ParseNodeId("ns=2;s=Nowhere"), 8, 10, 0}});
  EXPECT_TRUE(UaIsGood(items[0].Status));
  EXPECT_EQ(UaStatusName(items[1].Status), "BadNodeIdUnknown");
  const auto valueSeen = [&](double wanted) {
    for (int round = 0; round < 100; ++round) {
      const auto changes = client.Publish(100);
      EXPECT_EQ(client.Channel().PostedCount(), 2u);
      for (const UaDataChange& c : changes)
        if (c.ClientHandle == 7 && c.Value.Value.ToDouble() == wanted) return true;
    }
    return false;
  };
  ASSERT_TRUE(client.Write({{ParseNodeId("ns=2;s=SP"), UaVariant::Scalar(UaType::Double, 3.25)}})[0] == UaGood);
  EXPECT_TRUE(valueSeen(3.25));
  // A read meanwhile is answered while the Publish requests wait at the server.
  EXPECT_EQ(ReadOne("ns=2;s=SP").Value.ToDouble(), 3.25);
  client.Write({{ParseNodeId("ns=2;s=SP"), UaVariant::Scalar(UaType::Double, -1.5)}});
  EXPECT_TRUE(valueSeen(-1.5));
  client.DeleteSubscriptions({sub.Id});
}

TEST(UaClientPeerFaults, AKilledServerEndsTheSessionWithAClearMessage) {
  PrivateUaPeer peer;
  UaClient client;
  client.Connect(peer.Url());
  peer.Kill();
  try {
    client.Read({{UaNodeId::Num(2259)}});
    FAIL();
  } catch (const UaLinkError& e) {
    const std::string why = e.what();
    EXPECT_TRUE(why == "The server closed the connection" ||
                why == "The connection to the server was lost: Connection reset by peer")
        << why;
  }
  EXPECT_FALSE(client.IsConnected());
  EXPECT_THROW(client.Read({{UaNodeId::Num(2259)}}), UaLinkError);
}

}  // namespace
