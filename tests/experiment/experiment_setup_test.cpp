#include <gtest/gtest.h>

#include <filesystem>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "experiment/ExperimentSetupBuilder.h"

namespace {

ExperimentSettings Sample(char sep) {
  const std::string comma(1, sep);
  ExperimentSettings s;
  for (int row : StoredOpcRows) {
    s.ItemIds[row] = "Plant.Item" + std::to_string(row);
    s.Descriptions[row] = "opis " + std::to_string(row);
  }
  s.RaSwitchInner = 0;
  s.ManualValueInner = 1;
  s.SampleTime = "0" + comma + "5";
  s.InitialInput = "12" + comma + "5";
  s.WaitTime = "30";
  s.StepSize = "2" + comma + "5";
  s.StepDuration = "60";
  s.NumberOfSteps = "3";
  s.BothDirections = true;
  s.ClosedLoopDuring = true;
  s.MvMax = "90";
  s.MvMin = "10";
  s.MvStep = "0" + comma + "5";
  s.ClosedLoopAfter = false;
  s.SequencerPresent = true;  // the line after "Zaprta zanka po poizkusu"
  return s;
}

void ExpectSameSetup(const ExperimentSetup& a, const ExperimentSetup& b) {
  EXPECT_EQ(a.SamplePeriodMs, b.SamplePeriodMs);
  EXPECT_EQ(a.WaitTime, b.WaitTime);
  EXPECT_EQ(a.StepSize, b.StepSize);
  EXPECT_EQ(a.StepDuration, b.StepDuration);
  EXPECT_EQ(a.NumberOfSteps, b.NumberOfSteps);
  EXPECT_EQ(a.BothDirections, b.BothDirections);
  EXPECT_EQ(a.ClosedLoopDuring, b.ClosedLoopDuring);
  EXPECT_EQ(a.ClosedLoopAfter, b.ClosedLoopAfter);
  EXPECT_EQ(a.KeepInitialInput, b.KeepInitialInput);
  EXPECT_EQ(a.InitialInput, b.InitialInput);
  EXPECT_EQ(a.NoOpcWrite, b.NoOpcWrite);
  EXPECT_EQ(a.MvMax, b.MvMax);
  EXPECT_EQ(a.MvMin, b.MvMin);
  EXPECT_EQ(a.MvStep, b.MvStep);
  EXPECT_EQ(a.SingleRASwitch, b.SingleRASwitch);
  EXPECT_EQ(a.ManualValue, b.ManualValue);
  const auto id = [](const OpcItemPtr& item) { return item ? item->ItemId() : std::string("-"); };
  for (auto item : {&ExperimentSetup::ItemMV, &ExperimentSetup::ItemU, &ExperimentSetup::ItemY1,
                    &ExperimentSetup::ItemY2, &ExperimentSetup::ItemRA,
                    &ExperimentSetup::ItemManual, &ExperimentSetup::ItemAuto})
    EXPECT_EQ(id(a.*item), id(b.*item));
}

}  // namespace

TEST(ExperimentSetupBuilder, TheActivationCorrectsTooShortSamplingAndWaitingTimes) {
  ExperimentSettings s;
  s.SampleTime = "0,01";
  s.WaitTime = "0";
  CorrectSampleAndWaitTimes(s, ',');
  EXPECT_EQ(s.SampleTime, "0,05");
  EXPECT_EQ(s.WaitTime, "0,1");
  s.SampleTime = "1";
  s.WaitTime = "0";
  CorrectSampleAndWaitTimes(s, '.');
  EXPECT_EQ(s.SampleTime, "1");
  EXPECT_EQ(s.WaitTime, "2");
  s.WaitTime = "2.5";  // long enough: the text stays as typed
  CorrectSampleAndWaitTimes(s, '.');
  EXPECT_EQ(s.WaitTime, "2.5");
  s.WaitTime = "abc";
  EXPECT_THROW(CorrectSampleAndWaitTimes(s, '.'), ConversionError);
  EXPECT_EQ(s.SampleTime, "1");
}

TEST(ExperimentSetupBuilder, ASavedFileGivesTheSetupTheControlsGive) {
  auto client = CreateNoServerOpcClient();
  OpcGroup& fromControls = client->AddGroup("Skupina1");
  OpcGroup& fromFile = client->AddGroup("Skupina2");
  const auto path = std::filesystem::temp_directory_path() / "vortuner_setup_test.vtx";
  for (char sep : {'.', ','}) {
    const ExperimentSettings s = Sample(sep);
    WriteTextLines(path.string(), SettingsLines(s));
    ExperimentSettings read;
    ApplySettingsLines(ReadTextLines(path.string()), read);

    ExperimentSetup a = ReadExperimentSetup(s, ExperimentKind::Automatic, sep);
    AddExperimentItems(a, s, fromControls);
    ExperimentSetup b = ReadExperimentSetup(read, ExperimentKind::Automatic, sep);
    AddExperimentItems(b, read, fromFile);
    ExpectSameSetup(a, b);
    EXPECT_EQ(ExperimentColumnNames(read), ExperimentColumnNames(s));

    EXPECT_EQ(b.SamplePeriodMs, 500);
    EXPECT_EQ(b.InitialInput, 12.5);
    EXPECT_EQ(b.StepSize, 2.5);
    EXPECT_EQ(b.NumberOfSteps, 3);
    EXPECT_EQ(b.MvStep, 0.5);
    // "Zaprta zanka po poizkusu" is its own line, not the sequencer's after it.
    EXPECT_FALSE(b.ClosedLoopAfter);
    EXPECT_TRUE(b.SingleRASwitch);
    EXPECT_EQ(b.ManualValue, 1);
    EXPECT_EQ(b.ItemRA->ItemId(), "Plant.Item10");
    EXPECT_EQ(b.ItemMV->ItemId(), "Plant.Item0");
    EXPECT_EQ(b.ItemY2->ItemId(), "Plant.Item5");
  }
  std::filesystem::remove(path);
}

TEST(ExperimentSetupBuilder, EveryNumberIsCheckedBeforeTheGroupChanges) {
  ExperimentSettings s = Sample('.');
  s.MvStep = "korak";
  try {
    ReadExperimentSetup(s, ExperimentKind::Manual, '.');
    FAIL() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'korak' is not a valid floating point value");
  }
  s.MvStep = "1";
  s.NumberOfSteps = "2.5";
  // A manual run takes no steps; an automatic one needs a whole number of them.
  EXPECT_NO_THROW(ReadExperimentSetup(s, ExperimentKind::Manual, '.'));
  try {
    ReadExperimentSetup(s, ExperimentKind::Automatic, '.');
    FAIL() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'2.5' is not a valid integer value");
  }
}

TEST(ExperimentSetupBuilder, TwoSwitchItemsWhenTheControllerHasManualAndAutomaticItems) {
  auto client = CreateNoServerOpcClient();
  OpcGroup& group = client->AddGroup("Skupina1");
  ExperimentSettings s = Sample('.');
  s.RaSwitchInner = 1;
  ExperimentSetup setup = ReadExperimentSetup(s, ExperimentKind::Automatic, '.');
  AddExperimentItems(setup, s, group);
  EXPECT_FALSE(setup.SingleRASwitch);
  EXPECT_EQ(setup.ItemRA, nullptr);
  EXPECT_EQ(setup.ItemManual->ItemId(), "Plant.Item11");
  EXPECT_EQ(setup.ItemAuto->ItemId(), "Plant.Item12");
}

// The program always lists a server (the built-in plant's first): a run is meant for a
// plant only once the OPC table assigns one of its signals, and then a record the
// simulation made is marked where it took over; a deliberate simulation is not.
TEST(ExperimentSetupBuilder, ARunIsMeantForAPlantWhenAServerAndOneOfItsSignalsAreSet) {
  ExperimentSettings s;
  s.ServerName = "VorTuner.SimulatedPlant.1";
  EXPECT_FALSE(RunMeantForPlant(s));
  s.ItemIds[4] = "Plant.Y1";  // Y1 only, as a record-only run reads it
  EXPECT_TRUE(RunMeantForPlant(s));
  EXPECT_TRUE(ReadExperimentSetup(s, ExperimentKind::Manual, '.').PlantConfigured);
  s.ServerName.clear();
  EXPECT_FALSE(RunMeantForPlant(s));

  RunFindings whole;
  whole.SimulatedSamples = 30;
  whole.FirstSimulatedSample = 1;
  EXPECT_EQ(SimulationTakeOverTime(whole, true), 0.0);
  EXPECT_EQ(SimulationTakeOverTime(whole, false), std::nullopt);
  RunFindings lost = whole;
  lost.FirstSimulatedSample = 40;
  lost.FirstSimulatedTime = 19.5;
  EXPECT_EQ(SimulationTakeOverTime(lost, false), 19.5);
  EXPECT_EQ(SimulationTakeOverTime(RunFindings{}, true), std::nullopt);
}
