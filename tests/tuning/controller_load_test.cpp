// Loading P, I and D into the simulated plant's controller through the core: what is
// refused before the first write.
#include <gtest/gtest.h>

#include <limits>

#include "data/Clock.h"
#include "experiment/FakePlant.h"
#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"
#include "tuning/ControllerLoad.h"

namespace id = SimulatedPlantItems;

TEST(LoadIntoController, RefusesBeforeTheFirstWriteAndOtherwiseConfirmsWhatTheControllerHolds) {
  ManualClock clock;
  auto opc = CreateLocalOpcClient(clock);
  opc->Connect(SimulatedPlantServerName, "");
  OpcGroup& group = opc->AddGroup("SkupReg");
  OpcItemPtr p = opc->AddGroup("Check").AddItem(id::P);
  const auto load = [&](ControllerLoad request) {
    return LoadIntoController(
        group, request, clock,
        [&] {
          clock.AdvanceMs(100);
          return true;
        },
        ',');
  };

  ControllerLoad request;
  request.ItemIds = {id::P, id::I, ""};
  request.Values = {std::numeric_limits<double>::infinity(), 0.05, std::nullopt};
  ControllerLoadResult r = load(request);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::NotWritten);
  EXPECT_EQ(r.Text,
            "Vrednost P člena ni končno število. Parametri niso bili zapisani v regulator.");
  request.Values = {1.25, 0.05, 0.5};  // a D term without an item
  r = load(request);
  EXPECT_EQ(r.Text,
            "V tabeli OPC ni točke za D člen regulatorja (vrstica 9). Parametri niso bili "
            "zapisani v regulator.");
  request.ItemIds = {"Controller.Q", id::I, id::D};  // no such item: said at once
  const std::int64_t started = clock.TickCountMs();
  r = load(request);
  EXPECT_EQ(r.Text,
            "Točka »Controller.Q« na strežniku ne obstaja. Parametri niso bili zapisani v "
            "regulator.");
  EXPECT_LT(clock.TickCountMs() - started, 1000);
  EXPECT_EQ(p->Value(), 2);  // the plant's own P, untouched

  // A P controller without an I item: P written, I left out, D receives 0.
  request.ItemIds = {id::P, "", id::D};
  request.Values = {1.25, std::nullopt, std::nullopt};
  r = load(request);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(r.Text, "Regulator ima zdaj P = 1,25, D = 0.");
}

namespace {

// The simulated plant server behind the local client, with items the test can lock.
struct LockablePlant {
  ManualClock clock;
  SimulatedPlantServer* server = nullptr;
  std::unique_ptr<OpcClient> opc =
      CreateLocalOpcClient(clock, {{SimulatedPlantServerName, [this] {
                                      auto s = std::make_unique<SimulatedPlantServer>(clock);
                                      server = s.get();
                                      return s;
                                    }}});
  OpcGroup& check = opc->AddGroup("Check");
  int groups = 0;
  LockablePlant() { opc->Connect(SimulatedPlantServerName, ""); }
  double Value(const char* itemId) { return check.AddItem(itemId)->Value(); }
  ControllerLoadResult Load(const ControllerLoad& request) {
    return LoadIntoController(
        opc->AddGroup("SkupReg" + std::to_string(++groups)), request, clock,
        [&] {
          clock.AdvanceMs(100);
          return true;
        },
        ',', {PlantWriteSource::ControllerLoad, SimulatedPlantServerName, nullptr, opc.get()});
  }
};

ControllerLoad Pid(double p, double i, double d) {
  ControllerLoad load;
  load.ItemIds = {id::P, id::I, id::D};
  load.Values = {p, i, d};
  return load;
}

}  // namespace

TEST(LoadIntoController, AReadOnlyItemLeavesTheWholeControllerAsItWas) {
  LockablePlant plant;
  const double p = plant.Value(id::P), i = plant.Value(id::I), d = plant.Value(id::D);
  plant.server->SetWritable(id::I, false);
  const ControllerLoadResult r = plant.Load(Pid(0.00264, 40, 1));
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::NotWritten);
  EXPECT_EQ(r.Text,
            "Točka »Controller.I« (I člen regulatorja) je samo za branje. Parametri niso "
            "bili zapisani v regulator.");
  EXPECT_FALSE(r.Before.has_value());
  EXPECT_EQ(plant.Value(id::P), p);
  EXPECT_EQ(plant.Value(id::I), i);
  EXPECT_EQ(plant.Value(id::D), d);
}

TEST(LoadIntoController, WritesTheValuesExactlyAndItsBeforeRestoresThem) {
  LockablePlant plant;
  const double p = plant.Value(id::P), i = plant.Value(id::I);
  ControllerLoadResult r = plant.Load(Pid(0.00264, 40, 0));
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(plant.Value(id::P), 0.00264);  // never rounded to a shown text's decimals
  ASSERT_TRUE(r.Before.has_value());
  EXPECT_EQ(r.Before->Values[0], p);
  r = plant.Load(*r.Before);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(plant.Value(id::P), p);
  EXPECT_EQ(plant.Value(id::I), i);
}

TEST(LoadIntoController, AnUndoWritesNothingOverValuesChangedSinceTheLoad) {
  LockablePlant plant;
  ControllerLoadResult r = plant.Load(Pid(3.833, 40, 0));
  ASSERT_TRUE(r.Before.has_value());
  ControllerLoad undo = *r.Before;
  undo.Expected = {3.833, 40.0, 0.0};
  plant.Load(Pid(9.99, 40, 0));  // an operator's change on the plant
  r = plant.Load(undo);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Changed);
  EXPECT_EQ(r.Text,
            "Točke regulatorja ne hranijo več vrednosti, ki jih je zapisalo nalaganje. Parametri "
            "niso bili zapisani v regulator.");
  ASSERT_TRUE(r.Now.has_value());
  EXPECT_EQ(r.Now->Values[0], 9.99);
  EXPECT_EQ(plant.Value(id::P), 9.99);
  // Asked again over what the items hold now, it writes.
  undo.Expected = r.Now->Values;
  EXPECT_EQ(plant.Load(undo).Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(plant.Value(id::P), undo.Values[0]);
}

TEST(LoadIntoController, ACascadeSetsTheInnerPControllerAndTheOuterTogetherOrNeither) {
  LockablePlant plant;
  std::string byHand;
  EXPECT_FALSE(InnerPController(1, 2.5, {"a", "b", "c"}, ',', byHand).has_value());
  EXPECT_EQ(byHand,
            "Notranji regulator nastavite ročno kot regulator P: P = 2,5, integralni člen "
            "izklopljen (Ti = ∞), D = 0. Ta oblika regulatorja izklopa integralnega "
            "člena ne more zapisati s številom.");
  ControllerLoad load;
  load.Outer = true;
  load.ItemIds = {id::SP, "", id::D};  // the simulated plant's items stand in for the outer's
  load.Values = {4.5, std::nullopt, 0.5};
  load.Inner = InnerPController(0, 2.5, {id::P, id::I, id::MV}, ',', byHand);
  ASSERT_TRUE(load.Inner.has_value());
  EXPECT_EQ(byHand, "");
  const double p = plant.Value(id::P), sp = plant.Value(id::SP);
  plant.server->SetWritable(id::D, false);
  ControllerLoadResult r = plant.Load(load);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::NotWritten);
  EXPECT_EQ(plant.Value(id::P), p);
  EXPECT_EQ(plant.Value(id::SP), sp);
  plant.server->SetWritable(id::D, true);
  r = plant.Load(load);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(r.Text,
            "Notranji regulator ima zdaj P = 2,5, I = 0, D = 0; zunanji regulator ima "
            "zdaj P = 4,5, D = 0,5.");
  ASSERT_TRUE(r.Before.has_value() && r.Before->Inner.has_value());
  EXPECT_EQ(r.Before->Inner->Values[0], p);
}

TEST(LoadIntoController, WithoutALinkOrWithItLostDuringTheWaitItSaysSoAtOnce) {
  LockablePlant plant;
  plant.opc->Disconnect();
  const std::int64_t start = plant.clock.TickCountMs();
  ControllerLoadResult r = plant.Load(Pid(1, 2, 3));
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::NotWritten);
  EXPECT_EQ(r.Text,
            "Povezava s strežnikom ni vzpostavljena: v obrat se nič ne piše. Parametri niso bili "
            "zapisani v regulator.");
  EXPECT_EQ(plant.clock.TickCountMs(), start);  // no wait at all

  // Items that never turn Good, and the link lost 0,3 s into the wait of 10 s.
  FakePlant fake;
  fake.connected = true;
  fake.newItemQuality = OpcQualityBad;
  int calls = 0;
  r = LoadIntoController(fake.AddGroup("Lost"), Pid(1, 2, 3), plant.clock,
                         [&] {
                           plant.clock.AdvanceMs(100);
                           if (++calls == 3) fake.Disconnect();
                           return true;
                         },
                         ',', {PlantWriteSource::ControllerLoad, "Fake.Plant", nullptr, &fake});
  EXPECT_EQ(r.Text,
            "Povezava s strežnikom je bila prekinjena med čakanjem na dobro kakovost točk: v obrat "
            "se nič ne piše. Parametri niso bili zapisani v regulator.");
  EXPECT_LE(calls, 4);
}

// A cancel that comes during the writes gives up the waits before them only: the set
// written is read back for the whole wait, so a server that shows the values a few reads
// later is not reported as differing. Without a read-back wait of its own the cancel
// cuts the read-back to one look.
TEST(LoadIntoController, ACancelDuringTheWritesStillReadsBackForTheWholeWait) {
  FakePlant plant;
  plant.connected = true;
  plant.readBackLag = 3;
  ManualClock clock;
  ControllerLoad load;
  load.ItemIds = {"P", "I", "D"};
  load.Values = {1.25, 0.5, 0.125};
  const auto cancelledOnceWriting = [&] {
    clock.AdvanceMs(100);
    return plant.writes.empty();
  };
  const auto readingBack = [&] {
    clock.AdvanceMs(100);
    return true;
  };
  ControllerLoadResult r = LoadIntoController(plant.AddGroup("SkupReg"), load, clock,
                                              cancelledOnceWriting, ',', {}, readingBack);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(r.Text, "Regulator ima zdaj P = 1,25, I = 0,5, D = 0,125.");
  plant.writes.clear();
  r = LoadIntoController(plant.AddGroup("SkupReg2"), load, clock, cancelledOnceWriting, ',');
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Differs);
}
