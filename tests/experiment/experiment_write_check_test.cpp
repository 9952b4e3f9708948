// The check before an experiment's first write, on the simulated plant server: an MV the
// run cannot write stops it before the controller is switched to manual.
#include <gtest/gtest.h>

#include "data/Clock.h"
#include "experiment/ExperimentWriteCheck.h"
#include "opc/LocalOpcClient.h"
#include "opc/SimulatedPlantServer.h"

namespace id = SimulatedPlantItems;

TEST(ExperimentWriteCheck, AReadOnlyMvStopsTheRunBeforeTheSwitchToManual) {
  ManualClock clock;
  SimulatedPlantServer* server = nullptr;
  auto opc = CreateLocalOpcClient(clock, {{SimulatedPlantServerName, [&] {
                                             auto s = std::make_unique<SimulatedPlantServer>(clock);
                                             server = s.get();
                                             return s;
                                           }}});
  opc->Connect(SimulatedPlantServerName, "");
  OpcGroup& group = opc->AddGroup("Skupina1");
  ExperimentSetup setup;
  setup.ItemMV = group.AddItem(id::MV);
  setup.ItemRA = group.AddItem(id::RA);
  setup.SingleRASwitch = true;
  setup.InitialInput = 30;
  PlantWriteContext context{PlantWriteSource::Experiment, SimulatedPlantServerName, nullptr,
                            opc.get()};
  EXPECT_EQ(CheckExperimentWrites(setup, context, ','), "");

  server->SetWritable(id::MV, false);
  const double ra = setup.ItemRA->Value();
  EXPECT_EQ(CheckExperimentWrites(setup, context, ','),
            "Eksperiment ni začet: Točka »Plant.MV« (MV) je samo za branje. V obrat ni bilo nič "
            "zapisano.");
  server->SetWritable(id::MV, true);
  setup.ManualValue = 2;  // an R/A value the Int32 holds, but 1 - 2 = -1 for automatic too
  EXPECT_EQ(CheckExperimentWrites(setup, context, ','), "");
  setup.ItemRA = group.AddItem(id::Manual);  // a Boolean switch takes 0 or 1 only
  EXPECT_EQ(
      CheckExperimentWrites(setup, context, ','),
      "Eksperiment ni začet: Točka »Controller.Manual« (R/A ročno) je tipa Boolean in sprejme "
      "le 0 ali 1, ne 2. V obrat ni bilo nič zapisano.");
  setup.NoOpcWrite = true;  // recording only: nothing to write, nothing to check
  EXPECT_EQ(CheckExperimentWrites(setup, context, ','), "");
  clock.AdvanceMs(2000);
  EXPECT_EQ(group.AddItem(id::RA)->Value(), ra);  // read back through the server
}
