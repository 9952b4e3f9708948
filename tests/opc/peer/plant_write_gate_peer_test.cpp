// The plant write gate on the node-opcua test plant: the item's access and type read
// from the server, a write-protected item that stops a set before its first write, a
// refusal midway rolled back, and the controller load through the gate.
#include <gtest/gtest.h>

#include "data/Clock.h"
#include "opc/PlantOpcClient.h"
#include "opc/PlantWriteGate.h"
#include "opc/peer/UaPeer.h"
#include "tuning/ControllerLoad.h"

namespace {

class GateOnUa : public ::testing::Test {
 protected:
  void SetUp() override {
    opc = CreatePlantOpcClient(clock, "", "");
    opc->Connect(UaPeerUrl(), "");
    group = &opc->AddGroup("G");
    group->SetUpdateRateMs(10);
  }
  OpcItemPtr Item(const std::string& id) { return group->AddItem(id); }
  double Fresh(const std::string& id) {
    clock.AdvanceMs(1000);
    return Item(id)->Value();
  }
  ControllerLoadResult Load(const std::array<std::string, 3>& ids,
                            const std::array<std::optional<double>, 3>& values) {
    ControllerLoad load;
    load.ItemIds = ids;
    load.Values = values;
    return LoadIntoController(opc->AddGroup("SkupReg" + std::to_string(++loads)), load, clock,
                              [&] {
                                clock.AdvanceMs(20);
                                return true;
                              },
                              ',',
                              {PlantWriteSource::ControllerLoad, UaPeerUrl(), nullptr, opc.get()});
  }

  ManualClock clock;
  std::unique_ptr<OpcClient> opc;
  OpcGroup* group = nullptr;
  int loads = 0;
};

}  // namespace

TEST_F(GateOnUa, TheServerSaysWhichItemsThisUserMayWriteAndTheirTypes) {
  EXPECT_EQ(Item("ns=2;s=MV")->Access(), OpcAccess::ReadWrite);
  EXPECT_EQ(Item("ns=2;s=U")->Access(), OpcAccess::ReadOnly);
  EXPECT_EQ(Item("ns=2;i=1001")->Access(), OpcAccess::ReadOnly);
  EXPECT_EQ(Item("ns=2;s=MV")->DataType(), OpcDataType::Double);
  EXPECT_EQ(Item("ns=2;s=RA")->DataType(), OpcDataType::Int32);
  EXPECT_EQ(Item("ns=2;s=Types.Boolean")->DataType(), OpcDataType::Boolean);
  EXPECT_EQ(Item("ns=2;s=Types.Text")->DataType(), OpcDataType::NotNumeric);
  EXPECT_EQ(Item("ns=2;s=Valve")->Access(), OpcAccess::Unknown);
}

TEST_F(GateOnUa, AReadOnlyMvStopsTheSwitchToManualToo) {
  const OpcItemPtr ra = Item("ns=2;s=RA"), mv = Item("ns=2;s=U");
  clock.AdvanceMs(1000);
  const double raBefore = ra->Value();
  const PlantWriteResult r =
      WritePlantSet({{ra, 1 - raBefore, "R/A"}, {mv, 40, "MV"}},
                    {PlantWriteSource::Experiment, UaPeerUrl(), nullptr, opc.get()}, ',');
  EXPECT_EQ(r.Outcome, PlantWriteOutcome::NotWritten);
  EXPECT_EQ(r.Text, "Točka »ns=2;s=U« (MV) je samo za branje.");
  EXPECT_EQ(Fresh("ns=2;s=RA"), raBefore);
  EXPECT_EQ(CheckPlantWrites({{Item("ns=2;s=Types.Int32"), 2.5, "R/A"}}, {}, ','),
            "Točka »ns=2;s=Types.Int32« (R/A) je tipa Int32 in ne more hraniti vrednosti 2,5 (ni "
            "celo število).");
}

TEST_F(GateOnUa, AControllerLoadIsWholeOrNotAtAll) {
  Item("ns=2;s=P")->Write(1.5);
  Item("ns=2;s=I")->Write(12);
  Item("ns=2;s=D")->Write(0.25);
  // A read-only I item: nothing written.
  ControllerLoadResult r = Load({"ns=2;s=P", "ns=2;i=1001", "ns=2;s=D"}, {3, 4, 5});
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::NotWritten);
  EXPECT_EQ(r.Text,
            "Točka »ns=2;i=1001« (I člen regulatorja) je samo za branje. Parametri niso "
            "bili zapisani v regulator.");
  // An I item the server refuses although it says it may be written: P back to its value.
  r = Load({"ns=2;s=P", "ns=2;s=Types.Refusing", "ns=2;s=D"}, {3, 4, 5});
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::RolledBack);
  EXPECT_EQ(r.Text,
            "Točka »ns=2;s=Types.Refusing« (I člen regulatorja) je zapis zavrnila (Cannot "
            "write Items: ns=2;s=Types.Refusing (BadUserAccessDenied)). Že zapisane točke "
            "imajo spet prejšnje vrednosti. Zdaj: »ns=2;s=P« = 1,5, »ns=2;s=Types.Refusing« "
            "= 5, »ns=2;s=D« = 0,25. Parametri niso bili zapisani v regulator.");
  EXPECT_EQ(Fresh("ns=2;s=P"), 1.5);
  EXPECT_EQ(Fresh("ns=2;s=I"), 12);
  EXPECT_EQ(Fresh("ns=2;s=D"), 0.25);
  // A fraction for an Int32 item: refused, never rounded.
  r = Load({"ns=2;s=P", "ns=2;s=Types.Int32", ""}, {3, 2.5, std::nullopt});
  EXPECT_EQ(r.Text,
            "Točka »ns=2;s=Types.Int32« (I člen regulatorja) je tipa Int32 in ne more "
            "hraniti vrednosti 2,5 (ni celo število). Parametri niso bili zapisani v "
            "regulator.");
  // A whole load, and its undo.
  r = Load({"ns=2;s=P", "ns=2;s=I", "ns=2;s=D"}, {0.00264, 40, 0});
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(Fresh("ns=2;s=P"), 0.00264);
  ASSERT_TRUE(r.Before.has_value());
  ControllerLoad undo = *r.Before;
  r = LoadIntoController(
      opc->AddGroup("Undo"), undo, clock,
      [&] {
        clock.AdvanceMs(20);
        return true;
      },
      ',');
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(Fresh("ns=2;s=P"), 1.5);
  EXPECT_EQ(Fresh("ns=2;s=I"), 12);
}
