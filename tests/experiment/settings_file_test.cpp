#include <gtest/gtest.h>

#include "data/NumberFormat.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/SettingsFile.h"

namespace {

// A record in which every text value names its own field, so that a line in the wrong
// place shows at once.
ExperimentSettings DistinctSettings() {
  ExperimentSettings s;
  s.ServerName = "Vor.Sim.1";
  for (int row : StoredOpcRows) {
    s.ItemIds[row] = "id" + std::to_string(row);
    s.Descriptions[row] = "opis " + std::to_string(row);
  }
  s.RaSwitchInner = 0;
  s.ManualValueInner = 1;
  s.RaSwitchOuter = 0;
  s.ManualValueOuter = 1;
  s.SampleTime = "0,5";
  s.KeepInitialInput = true;
  s.InitialInput = "12";
  s.WaitTime = "30";
  s.StepSize = "5";
  s.StepDuration = "60";
  s.NumberOfSteps = "3";
  s.BothDirections = true;
  s.ClosedLoopDuring = true;
  s.NoOpcWrite = true;
  s.ManualMode = true;
  s.MvMax = "90";
  s.MvMin = "10";
  s.MvStep = "0,5";
  s.FilterTime = "2";
  s.ActuatorMaximum = "95";
  s.ActuatorMinimum = "5";
  s.ActuatorVelocity = "20";
  s.TuningMethod = 4;
  s.ClosedLoopSampleTime = "0,2";
  s.Robustness = 17;
  s.Cascade = true;
  s.LoadIntoController = true;
  s.ResponseView = 1;
  s.ControllerForm = 3;
  s.ScaleP = "1,1";
  s.ScaleI = "1,2";
  s.ScaleD = "1,3";
  s.ControllerType = 3;
  s.ReportProcessing = false;
  s.ReportModel = false;
  s.ReportController = false;
  s.ReportTemplate = "C:\\Predloge\\poročilo.dot";
  s.StartTime = "23:59:58";
  s.ClosedLoopAfter = false;
  s.SequencerPresent = true;
  for (int r = 0; r < SequencerRows; ++r) {
    s.Sequencer[r][0] = "v" + std::to_string(r);
    s.Sequencer[r][1] = "i" + std::to_string(r);
  }
  s.Y1Min = "10";
  s.Y1Max = "85,5";
  s.Y2Min = "";
  s.Y2Max = "70";
  s.MaxDuration = "600";
  return s;
}

std::vector<std::string> DefaultLines() { return SettingsLines(ExperimentSettings{}); }

}  // namespace

TEST(SettingsFile, EveryValueHasItsFixedLine) {
  std::vector<std::string> expected = {"Vor.Sim.1"};
  for (int row : StoredOpcRows) expected.push_back("id" + std::to_string(row));
  for (int row : StoredOpcRows) expected.push_back("opis " + std::to_string(row));
  for (const char* line :
       {"0", "1", "0", "1", "0,5", "True", "12", "30", "5", "60", "3", "True", "True", "True",
        "True", "90", "10", "0,5", "2", "95", "5", "20", "4", "0,2", "17", "95", "True", "True",
        "1", "3", "1,1", "1,2", "1,3", "3", "False", "False", "False",
        "C:\\Predloge\\poročilo.dot", "23:59:58", "False", "True"})
    expected.push_back(line);
  for (int r = 0; r < SequencerRows; ++r) {
    expected.push_back("v" + std::to_string(r));
    expected.push_back("i" + std::to_string(r));
  }
  ASSERT_EQ(expected.size(), 98u);
  for (const char* line : {"10", "85,5", "", "70", "600"}) expected.push_back(line);
  expected.push_back("30");     // the reconnect time
  expected.push_back("False");  // no step ends when settled
  EXPECT_EQ(SettingsLines(DistinctSettings()), expected);
}

TEST(SettingsFile, TheFormsDefaultsGiveTheirLines) {
  const auto lines = DefaultLines();
  ASSERT_EQ(lines.size(), 105u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[37], "1");
  EXPECT_EQ(lines[38], "0");
  EXPECT_EQ(lines[41], "1");
  EXPECT_EQ(lines[42], "False");
  EXPECT_EQ(lines[51], "False");
  EXPECT_EQ(lines[56], "100");
  EXPECT_EQ(lines[62], "100");
  EXPECT_EQ(lines[59], "-1");
  EXPECT_EQ(lines[61], "10");
  EXPECT_EQ(lines[66], "-1");
  EXPECT_EQ(lines[70], "2");
  EXPECT_EQ(lines[71], "True");
  EXPECT_EQ(lines[74], "normal.dot");
  EXPECT_EQ(lines[75], "12:00:00");
  EXPECT_EQ(lines[76], "True");
  EXPECT_EQ(lines[97], "");
  for (int i = 98; i < 103; ++i) EXPECT_EQ(lines[i], "") << "no envelope by default, line " << i;
  EXPECT_EQ(lines[104], "False");
}

// A file from before the envelope's lines loads with no envelope, whatever the form
// held; the lines after the envelope's are ignored as lines after 97 were.
TEST(SettingsFile, AFileOfTheOlder98LinesLoadsWithNoEnvelope) {
  auto lines = SettingsLines(DistinctSettings());
  lines.resize(98);
  ExperimentSettings loaded = DistinctSettings();
  ApplySettingsLines(lines, loaded);
  EXPECT_EQ(loaded.Y1Min + loaded.Y1Max + loaded.Y2Min + loaded.Y2Max + loaded.MaxDuration, "");
  ExperimentSettings expected = DistinctSettings();
  expected.Y1Min = expected.Y1Max = expected.Y2Max = expected.MaxDuration = "";
  EXPECT_EQ(loaded, expected);
  // Two of the five lines: the rest empty.
  lines = SettingsLines(DistinctSettings());
  lines.resize(100);
  ApplySettingsLines(lines, loaded);
  EXPECT_EQ(loaded.Y1Min, "10");
  EXPECT_EQ(loaded.Y1Max, "85,5");
  EXPECT_EQ(loaded.Y2Max, "");
  EXPECT_EQ(loaded.MaxDuration, "");
}

TEST(SettingsFile, LinesApplyBackToTheSameRecordAndLaterLinesAreIgnored) {
  const ExperimentSettings original = DistinctSettings();
  auto lines = SettingsLines(original);
  lines.push_back("a line after the last index");
  lines.push_back("42");
  ExperimentSettings loaded;
  ApplySettingsLines(lines, loaded);
  EXPECT_EQ(loaded, original);
}

TEST(SettingsFile, Line62ReplacesWhatLine56Set) {
  auto lines = DefaultLines();
  lines[SettingsLine::ActuatorMaximum] = "80";
  lines[SettingsLine::ActuatorMaximumAgain] = "70";
  ExperimentSettings s;
  ApplySettingsLines(lines, s);
  EXPECT_EQ(s.ActuatorMaximum, "70");
}

TEST(SettingsFile, EachBooleanLineGroupHasItsOwnReadRule) {
  // "1"/"True" lines, "True"/"true"/"1" lines and "True"-only lines.
  const auto check = [](const char* text, bool oneOrTrue, bool anyCase, bool trueOnly) {
    auto lines = DefaultLines();
    for (int i : {42, 48, 49, 50, 51, 63, 64, 71, 72, 73, 76, 77}) lines[i] = text;
    ExperimentSettings s;
    ApplySettingsLines(lines, s);
    SCOPED_TRACE(text);
    for (bool v : {s.KeepInitialInput, s.BothDirections, s.ClosedLoopDuring, s.NoOpcWrite,
                   s.ManualMode})
      EXPECT_EQ(v, oneOrTrue);
    for (bool v : {s.Cascade, s.LoadIntoController, s.ReportProcessing, s.ReportModel,
                   s.ReportController})
      EXPECT_EQ(v, anyCase);
    for (bool v : {s.ClosedLoopAfter, s.SequencerPresent}) EXPECT_EQ(v, trueOnly);
  };
  check("True", true, true, true);
  check("true", false, true, false);
  check("1", true, true, false);
  check("-1", false, false, false);
  check("TRUE", false, false, false);
  check(" True", false, false, false);
  check("", false, false, false);
}

TEST(SettingsFile, IntegerLinesTakeListPositionsIncludingNoSelection) {
  auto lines = DefaultLines();
  lines[SettingsLine::TuningMethod] = "5";
  lines[SettingsLine::ControllerForm] = "-1";
  lines[SettingsLine::ManualValueInner] = "-1";
  lines[SettingsLine::Robustness] = "0";
  ExperimentSettings s = DistinctSettings();
  ApplySettingsLines(lines, s);
  EXPECT_EQ(s.TuningMethod, 5);
  EXPECT_EQ(s.ControllerForm, -1);
  EXPECT_EQ(s.ManualValueInner, -1);
  EXPECT_EQ(s.Robustness, 0);
}

TEST(SettingsFile, AShortFileStopsAtTheFirstMissingIndexKeepingWhatWasApplied) {
  auto lines = SettingsLines(DistinctSettings());
  lines.resize(50);
  ExperimentSettings s;
  try {
    ApplySettingsLines(lines, s);
    FAIL() << "no error";
  } catch (const ListIndexError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (50)");
    EXPECT_EQ(e.Index(), 50);
  }
  const ExperimentSettings d = DistinctSettings();
  const ExperimentSettings defaults;
  EXPECT_EQ(s.ServerName, d.ServerName);
  EXPECT_EQ(s.Descriptions, d.Descriptions);
  EXPECT_EQ(s.ClosedLoopDuring, d.ClosedLoopDuring);  // index 49
  EXPECT_EQ(s.NoOpcWrite, defaults.NoOpcWrite);       // index 50
  EXPECT_EQ(s.ManualMode, defaults.ManualMode);
  EXPECT_EQ(s.Sequencer, defaults.Sequencer);

  ExperimentSettings empty;
  EXPECT_THROW(
      {
        try {
          ApplySettingsLines({}, empty);
        } catch (const ListIndexError& e) {
          EXPECT_STREQ(e.what(), "List index out of bounds (0)");
          throw;
        }
      },
      ListIndexError);
  EXPECT_EQ(empty, defaults);
}

TEST(SettingsFile, ANonIntegerInAnIntegerLineStopsThere) {
  auto lines = SettingsLines(DistinctSettings());
  lines[SettingsLine::TuningMethod] = "Metoda";
  ExperimentSettings s;
  try {
    ApplySettingsLines(lines, s);
    FAIL() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'Metoda' is not a valid integer value");
  }
  EXPECT_EQ(s.ActuatorVelocity, "20");               // index 58, before
  EXPECT_EQ(s.TuningMethod, -1);                     // index 59 itself
  EXPECT_EQ(s.ClosedLoopSampleTime, "1");            // index 60, after
  EXPECT_EQ(s.ActuatorMaximum, "95");                // index 56 applied; 62 not reached
}

TEST(SettingsFile, ServerNamesMatchIgnoringLetterCase) {
  const std::vector<std::string> servers = {"Vor.Sim.1", "Kepware.KEPServerEX.V6",
                                            "Črpališče.OPC.1", "kepware.kepserverex.v6"};
  EXPECT_EQ(FindServerIgnoringCase(servers, "KEPWARE.kepserverex.V6"), 1);
  EXPECT_EQ(FindServerIgnoringCase(servers, "vor.sim.1"), 0);
  EXPECT_EQ(FindServerIgnoringCase(servers, "črpališČe.opc.1"), 2);
  EXPECT_EQ(FindServerIgnoringCase(servers, "Vor.Sim"), -1);
  EXPECT_EQ(FindServerIgnoringCase(servers, "Vor.Sim.1 "), -1);
  EXPECT_EQ(FindServerIgnoringCase(servers, ""), -1);
  EXPECT_EQ(FindServerIgnoringCase({}, "Vor.Sim.1"), -1);
}

TEST(SettingsFile, ProposedNameIsABareNameFromStartTimeAndDate) {
  EXPECT_EQ(ProposedSettingsFileName("12:00:00", "6.12.2026"), "12_00_00__6_12_2026.vtx");
  EXPECT_EQ(ProposedSettingsFileName("08:30:05", "12/6/2026"), "08_30_05__12_6_2026.vtx");
  EXPECT_EQ(ProposedSettingsFileName("08:30:05", "2026-12-06"), "08_30_05__2026-12-06.vtx");
  EXPECT_EQ(ProposedSettingsFileName("08:30:05", "6. 12. 26"), "08_30_05__6_ 12_ 26.vtx");
}

TEST(SettingsFile, LastDirectoryIsTheFolderWithoutItsSeparatorExceptARoot) {
  EXPECT_EQ(SettingsFolderOf("C:\\Meritve\\Kotel\\a.vtx"), "C:\\Meritve\\Kotel");
  EXPECT_EQ(SettingsFolderOf("C:\\a.vtx"), "C:\\");
  EXPECT_EQ(SettingsFolderOf("/home/ana/meritve/a.vtx"), "/home/ana/meritve");
  EXPECT_EQ(SettingsFolderOf("/a.vtx"), "/");
}

TEST(SettingsFile, TheReconnectTimeFollowsTheEnvelopeAndAnOlderFileKeepsItsDefault) {
  ExperimentSettings s = DistinctSettings();
  s.ReconnectTime = "12,5";
  const std::vector<std::string> lines = SettingsLines(s);
  ASSERT_EQ(lines.size(), 105u);
  EXPECT_EQ(lines[103], "12,5");
  ExperimentSettings back;
  ApplySettingsLines(lines, back);
  EXPECT_EQ(back, s);
  // A file of the first layout: its 98 lines read, the reconnect time stays the default.
  ExperimentSettings older;
  ApplySettingsLines(std::vector<std::string>(lines.begin(), lines.begin() + 98), older);
  EXPECT_EQ(older.SampleTime, s.SampleTime);
  EXPECT_EQ(older.ReconnectTime, "30");
  // A file with the envelope but before the reconnect time: the same default.
  ExperimentSettings enveloped;
  ApplySettingsLines(std::vector<std::string>(lines.begin(), lines.begin() + 103), enveloped);
  EXPECT_EQ(enveloped.Y1Max, s.Y1Max);
  EXPECT_EQ(enveloped.ReconnectTime, "30");
  EXPECT_EQ(ReconnectMsOf(older.ReconnectTime, ','), 30'000);
  EXPECT_EQ(ReconnectMsOf("12,5", ','), 12'500);
  EXPECT_EQ(ReconnectMsOf("0", '.'), 0);
  EXPECT_EQ(ReconnectMsOf("", '.'), DefaultReconnectMs);
  try {
    ReconnectMsOf("-1", '.');
    ADD_FAILURE() << "a negative reconnect time was taken";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "Čas ponovnega povezovanja mora biti med 0 in 86400 s ('-1').");
  }
  EXPECT_THROW(ReconnectMsOf("pol minute", '.'), ConversionError);
}

// Line 104 after the reconnect time: the option that ends a settled step. A file without
// it reads with the option off, whatever the form held.
TEST(SettingsFile, TheSettledStepOptionIsLine104AndOffInAnOlderFile) {
  ExperimentSettings s = DistinctSettings();
  s.EndStepWhenSettled = true;
  const std::vector<std::string> lines = SettingsLines(s);
  ASSERT_EQ(lines.size(), std::size_t(SettingsLine::CountWithAdded));
  EXPECT_EQ(SettingsLine::EndStepWhenSettled, 104);
  EXPECT_EQ(lines[104], "True");
  ExperimentSettings back;
  ApplySettingsLines(lines, back);
  EXPECT_EQ(back, s);
  for (std::size_t size : {98u, 103u, 104u}) {
    ExperimentSettings older;
    older.EndStepWhenSettled = true;
    ApplySettingsLines(std::vector<std::string>(lines.begin(), lines.begin() + size), older);
    EXPECT_FALSE(older.EndStepWhenSettled) << size << " lines";
  }
  // An automatic run takes it; a run that writes nothing steps nothing to end.
  back.NoOpcWrite = false;
  EXPECT_TRUE(ReadExperimentSetup(back, ExperimentKind::Automatic, ',').EndStepWhenSettled);
  EXPECT_FALSE(ReadExperimentSetup(back, ExperimentKind::Manual, ',').EndStepWhenSettled);
  back.NoOpcWrite = true;
  EXPECT_FALSE(ReadExperimentSetup(back, ExperimentKind::Automatic, ',').EndStepWhenSettled);
}
