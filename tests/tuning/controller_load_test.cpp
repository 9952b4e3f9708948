// Loading P, I and D into the simulated plant's controller through the core: what is
// refused before the first write.
#include <gtest/gtest.h>

#include <limits>

#include "data/Clock.h"
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
  request.ItemIds = {"Controller.Q", id::I, id::D};  // no such item: never Good
  r = load(request);
  EXPECT_EQ(r.Text,
            "Element P člena regulatorja (\"Controller.Q\") v 10 s ni dosegel dobre kakovosti. "
            "Parametri niso bili zapisani v regulator.");
  EXPECT_EQ(p->Value(), 2);  // the plant's own P, untouched

  // A P controller without an I item: P written, I left out, D receives 0.
  request.ItemIds = {id::P, "", id::D};
  request.Values = {1.25, std::nullopt, std::nullopt};
  r = load(request);
  EXPECT_EQ(r.Outcome, ControllerLoadOutcome::Confirmed);
  EXPECT_EQ(r.Text, "Regulator ima zdaj P = 1,25, D = 0.");
}
