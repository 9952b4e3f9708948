// The automatic post-processing chain on a recorded step response, with fake chart and
// report ports: which files it writes, that they agree with each other, and how a failing
// step ends it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "experiment/PostProcessingChain.h"
#include "model/IdentifyModel.h"
#include "model/ModelTestData.h"
#include "model/TModel.h"
#include "report/ReportTexts.h"
#include "tuning/TRegulator.h"

namespace fs = std::filesystem;

namespace {

// Writes a small file under every image name it is asked for, and records the calls.
class FakeImages : public ReportImagePort {
 public:
  std::vector<std::string> Calls;
  void ExportSignalImages(const std::string& folder, MeasurementStore&, int start,
                          int end) override {
    Calls.push_back("signals " + std::to_string(start) + ".." + std::to_string(end));
    for (int i = 0; i < 8; ++i) Touch(folder, static_cast<ReportImage>(i));
  }
  void ExportModelImage(const std::string& folder, const MeasurementStore&, bool outer) override {
    Calls.push_back(outer ? "model outer" : "model inner");
    Touch(folder, ReportImage::Model);
  }
  void ExportResponseImage(const std::string& folder, const ResponseCurves* curves) override {
    Calls.push_back(curves ? "responses" : "no responses");
    Touch(folder, ReportImage::Responses);
  }

 private:
  static void Touch(const std::string& folder, ReportImage image) {
    std::ofstream(ReportImagePath(folder, image)) << "png";
  }
};

class FakeReport : public ReportDocumentPort {
 public:
  std::vector<ReportInputs> Made;
  bool Fail = false;
  void CreateReport(const ReportInputs& in) override {
    if (Fail) throw std::runtime_error("Predloga 'x.dotx' ne obstaja.");
    Made.push_back(in);
    std::ofstream(in.ReportPath) << "docx";
  }
};

class PostProcessingChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("vortuner_chain_" + std::string(::testing::UnitTest::GetInstance()
                                                   ->current_test_info()
                                                   ->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    modeltest::Record r;
    r.Inner.Gain = 0.8;
    r.Noise = 0.002;
    store_ = modeltest::MakeStore(r);
    for (int c = 1; c <= 6; ++c) store_->ColumnNames[c] = "opis " + std::to_string(c);
    // The run's hand-over: columns 1, 3, 5, 6 conditioned with the dialog's numbers.
    TObdelava::ConditionAfterExperiment(*store_, Conditioning{0, 100, 0, 0});
    job_.Folder = folder_.string();
    job_.Label = "poizkus";
    job_.WindowStart = 10;
    job_.WindowEnd = 200;
    job_.Date = "7. 12. 2026";
    job_.Time = "23:10:05";
    job_.TitleLine = " Vor Tuner 1.0.7";
    job_.Settings.ServerName = "Sim.Server";
    job_.Settings.ItemIds[0] = "Plant.MV";
    job_.Settings.Descriptions[0] = "ventil";
    job_.Settings.FilterTime = "0";
    job_.Settings.ActuatorVelocity = "0";
    job_.Settings.TuningMethod = 1;
    job_.Settings.Robustness = 8;
    job_.Settings.ClosedLoopSampleTime = "1";
    job_.Settings.ControllerForm = 0;
    job_.Settings.ControllerType = 2;  // PI
    job_.Settings.ScaleP = "2";
    job_.Settings.ReportTemplate = "/predloge/porocilo.dotx";
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string File(const char* extension) const {
    return ChainFilePath(job_.Folder, job_.Label, extension);
  }
  std::vector<std::string> Images() const {
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder_))
      if (entry.path().filename().string().rfind("kavrin", 0) == 0)
        left.push_back(entry.path().filename().string());
    return left;
  }
  PostProcessingResult Run() { return RunPostProcessingChain(job_, *store_, images_, report_); }

  fs::path folder_;
  std::unique_ptr<MeasurementStore> store_;
  PostProcessingJob job_;
  FakeImages images_;
  FakeReport report_;
};

TEST_F(PostProcessingChainTest, WritesDataModelControllerAndReportThatAgree) {
  const PostProcessingResult result = Run();
  EXPECT_EQ(result.Files, (std::vector<std::string>{File(".vtd"), File(".vtm"), File(".vtc"),
                                                    File(".docx"), File("-opozorila.txt")}));
  EXPECT_EQ(images_.Calls,
            (std::vector<std::string>{"signals 10..200", "model inner", "responses"}));
  EXPECT_TRUE(Images().empty());

  // The data file carries the save handler's header: date, time, window, conditioning.
  const std::vector<std::string> vtd = ReadTextLines(File(".vtd"));
  EXPECT_EQ(vtd[2], "7. 12. 2026");
  EXPECT_EQ(vtd[3], "23:10:05");
  EXPECT_EQ(vtd[6], "10");
  EXPECT_EQ(vtd[7], "200");
  EXPECT_EQ(vtd[12], "opis 1");
  EXPECT_EQ(vtd[14], "opis 3");

  // The model file is what identifying the data file over its own window gives.
  auto fresh = std::make_unique<MeasurementStore>();
  const DataFileTexts texts = TObdelava::ReadDataFile(File(".vtd"), *fresh, '.');
  TObdelava::ConditionSignals(*fresh, SignalColumns{},
                              TObdelava::ParseConditioning(texts.FilterTime, texts.ActuatorMaximum,
                                                           texts.ActuatorMinimum,
                                                           texts.FullStrokeTime, '.'));
  IdentifyModel(*fresh, std::stoi(texts.WindowStart), std::stoi(texts.WindowEnd));
  const std::string again = (folder_ / "again.vtm").string();
  TModel::SaveModelFile(again, *fresh, '.');
  EXPECT_EQ(ReadTextLines(again), ReadTextLines(File(".vtm")));
  EXPECT_NEAR(store_->InnerGain, 0.8, 0.08);

  // The controller file holds the dialog's choices and the same model.
  const ControllerSettings vtc = TRegulator::LoadControllerSettings(File(".vtc"), '.');
  EXPECT_EQ(vtc.Method, 1);
  EXPECT_EQ(vtc.Slider, 8);
  EXPECT_EQ(vtc.Type, 2);
  EXPECT_EQ(vtc.ScaleP, "2");
  EXPECT_NEAR(vtc.InnerGain, store_->InnerGain, 1e-13);

  // The report record: all sections, the tab texts, the dialog's template.
  ASSERT_EQ(report_.Made.size(), 1u);
  const ReportInputs& in = report_.Made[0];
  EXPECT_TRUE(in.SectionObdelava && in.SectionModel && in.SectionRegulator);
  EXPECT_EQ(in.ReportPath, File(".docx"));
  EXPECT_EQ(in.Template, "/predloge/porocilo.dotx");
  EXPECT_EQ(in.TitleLine, " Vor Tuner 1.0.7");
  EXPECT_EQ(in.OpcServer, "Sim.Server");
  EXPECT_EQ(in.OpcItemIds[0], "Plant.MV");
  EXPECT_EQ(in.ModelGain.size(), 5u);  // "0.8xx": three decimals
  EXPECT_EQ(in.ScaledKp, result.Panel.Kp);
  EXPECT_FALSE(in.PIKp.empty());
  EXPECT_TRUE(in.ScaledKd.empty());  // a PI has no D term
  EXPECT_EQ(in.Statistics[0].Maximum, "1");
  EXPECT_EQ(in.Statistics[0].Minimum, "0");
  // As the tab's report: what it is about, the method, the robustness table (a header
  // and the four proposals) and the warnings box from the same figures.
  EXPECT_EQ(in.AboutLines, (std::vector<std::string>{"Eksperiment: poizkus", "Datum: 7. 12. 2026",
                                                     "Začetek: 23:10:05"}));
  EXPECT_EQ(in.TuningMethod, "Metoda provršin - motnja");
  ASSERT_TRUE(result.Robustness);
  EXPECT_EQ(in.Robustness, RobustnessTableRows(*result.Robustness, '.'));
  EXPECT_EQ(in.Robustness.size(), 5u);
  const std::vector<Warning> expected =
      ReportWarnings(*store_, 10, 200, true, true, false, &*result.Robustness, '.');
  ASSERT_EQ(in.Warnings.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(in.Warnings[i], expected[i].Text);
}

TEST_F(PostProcessingChainTest, ADriftBeforeTheStepAndASimulatedRecordReachTheReportsBox) {
  // Y1 creeps up while MV waits for its step (sample 21 of the model test record).
  for (int k = 1; k <= store_->SampleCount; ++k)
    store_->DataColumns[5][k] += 0.03 * std::min(k, 19);
  store_->ColumnNames[1] = "opis 1 (simulacija)";
  TObdelava::ConditionAfterExperiment(*store_, Conditioning{0, 100, 0, 0});
  job_.WindowStart = 1;
  const PostProcessingResult result = Run();
  ASSERT_EQ(report_.Made.size(), 1u);
  const ReportInputs& in = report_.Made[0];
  ASSERT_GE(in.Warnings.size(), 2u);
  EXPECT_EQ(result.Warnings[0].Kind, WarningKind::SimulatedRecord);
  EXPECT_EQ(result.Warnings[1].Kind, WarningKind::Drift);
  EXPECT_EQ(in.Warnings[1].rfind("Opozorilo: Y1 se je pred skokom MV spreminjal", 0), 0u);
  // A simulated record names no server.
  EXPECT_TRUE(in.OpcServer.empty());
}

TEST_F(PostProcessingChainTest, RecordOnlyWritesDataImagesAndAProcessingReport) {
  job_.Settings.NoOpcWrite = true;
  job_.Separator = ',';
  const PostProcessingResult result = Run();
  EXPECT_EQ(result.Files,
            (std::vector<std::string>{File(".vtd"), File(".docx"), File("-opozorila.txt")}));
  EXPECT_EQ(images_.Calls, (std::vector<std::string>{"signals 10..200"}));
  // A processed run keeps its warnings beside its files too, as its report does.
  EXPECT_EQ(ReadTextLines(File("-opozorila.txt")),
            (std::vector<std::string>{"Opozorila samodejnega poizkusa \"poizkus\"",
                                      "Eksperiment: poizkus", "Datum: 7. 12. 2026",
                                      "Začetek: 23:10:05", "Poizkus je obdelan.", "Opozoril ni."}));
  EXPECT_FALSE(fs::exists(File(".vtm")));
  EXPECT_FALSE(fs::exists(File(".vtc")));
  ASSERT_EQ(report_.Made.size(), 1u);
  EXPECT_TRUE(report_.Made[0].SectionObdelava);
  EXPECT_FALSE(report_.Made[0].SectionModel);
  EXPECT_FALSE(report_.Made[0].SectionRegulator);
  EXPECT_TRUE(Images().empty());
}

TEST_F(PostProcessingChainTest, ModelAndControllerOffStillDeleteAllTenImageNames) {
  job_.Settings.ReportModel = false;
  job_.Settings.ReportController = false;
  job_.Settings.ReportProcessing = false;
  // Images left by an earlier report in the same folder.
  std::ofstream(ReportImagePath(job_.Folder, ReportImage::Model)) << "old";
  std::ofstream(ReportImagePath(job_.Folder, ReportImage::Responses)) << "old";
  Run();
  EXPECT_FALSE(fs::exists(File(".vtm")));
  EXPECT_FALSE(fs::exists(File(".vtc")));
  EXPECT_EQ(images_.Calls, (std::vector<std::string>{"signals 10..200"}));
  const ReportInputs& in = report_.Made.at(0);
  EXPECT_FALSE(in.SectionObdelava || in.SectionModel || in.SectionRegulator);
  EXPECT_TRUE(Images().empty());
}

TEST_F(PostProcessingChainTest, AFailingStepNamesItselfAndLeavesTheImagesWritten) {
  // The report cannot be made: the images exported before stay for the engineer to see.
  report_.Fail = true;
  try {
    Run();
    FAIL() << "the chain went on past a failing report";
  } catch (const ChainStepError& e) {
    EXPECT_EQ(e.Step(), ChainStep::Report);
    EXPECT_STREQ(e.what(), "Predloga 'x.dotx' ne obstaja.");
    EXPECT_EQ(e.Reason(), "korak \"poročilo\" (" + File(".docx") +
                              "): Predloga 'x.dotx' ne obstaja.");
  }
  EXPECT_EQ(Images().size(), 10u);

  // The folder is gone: the data file is the first step and nothing else is tried.
  fs::remove_all(folder_);
  images_.Calls.clear();
  try {
    Run();
    FAIL() << "the chain wrote into a folder that does not exist";
  } catch (const ChainStepError& e) {
    EXPECT_EQ(e.Step(), ChainStep::DataFile);
    EXPECT_EQ(e.File(), File(".vtd"));
    EXPECT_NE(std::string(e.what()).find("poizkus.vtd"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(images_.Calls.empty());
}

// A stopped entry writes no report: why it stopped and what the run met stay beside the
// data file.
TEST_F(PostProcessingChainTest, ASimulatedPlantRecordStopsWithItsWarningsKeptBesideTheDataFile) {
  job_.PlantConfigured = true;
  job_.Separator = ',';
  job_.Findings.SimulatedSamples = 180;
  job_.Findings.FirstSimulatedSample = 40;
  job_.Findings.FirstSimulatedTime = 19;
  job_.Findings.Errors = 2;
  job_.Findings.ControllerLeft = "Regulator je ostal v ročnem načinu.";
  store_->ColumnNames[1] = "ventil (simulacija od 19,0 s)";
  std::string reason;
  try {
    Run();
    FAIL() << "a simulated record of a plant run was processed";
  } catch (const ChainStepError& e) {
    EXPECT_EQ(e.Step(), ChainStep::RecordOrigin);
    reason = e.Reason();
  }
  EXPECT_TRUE(fs::exists(File(".vtd")));
  EXPECT_FALSE(fs::exists(File(".docx")));
  EXPECT_EQ(ReadTextLines(File("-opozorila.txt")),
            (std::vector<std::string>{
                "Opozorila samodejnega poizkusa \"poizkus\"", "Eksperiment: poizkus",
                "Datum: 7. 12. 2026", "Začetek: 23:10:05", "Poizkus je ustavljen: " + reason,
                "Opozorilo: zapis je simuliran od 19,0 s (vzorec 40) naprej (povezava s "
                "strežnikom je bila izgubljena; v obrat ni bilo nič več zapisano).",
                "Regulator je ostal v ročnem načinu.", "Napak med eksperimentom: 2."}));
}

TEST_F(PostProcessingChainTest, AScaleThatIsNotANumberStopsTheControllerStep) {
  job_.Settings.ScaleP = "abc";
  try {
    Run();
    FAIL();
  } catch (const ChainStepError& e) {
    EXPECT_EQ(e.Step(), ChainStep::Controller);
    EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
  }
  EXPECT_TRUE(fs::exists(File(".vtm")));
  EXPECT_FALSE(fs::exists(File(".vtc")));
  EXPECT_TRUE(report_.Made.empty());
}

}  // namespace

// A run the safety envelope stopped: its data file and images stay, nothing is identified,
// tuned or reported, and the warnings file says where and why.
TEST_F(PostProcessingChainTest, ARecordTheEnvelopeStoppedIsKeptButNeverIdentified) {
  job_.PlantConfigured = true;
  job_.Separator = ',';
  job_.Findings.Trip = EnvelopeTrip{EnvelopeTrip::Cause::Y1High, 85, 85.4, 312};
  job_.Findings.TripRestored = true;
  store_->ColumnNames[1] = "ventil (ustavljeno: Y1 nad 85,0 pri 312,0 s)";
  try {
    Run();
    FAIL() << "a record the envelope stopped was processed";
  } catch (const ChainStepError& e) {
    EXPECT_EQ(e.Step(), ChainStep::SafetyEnvelope);
    EXPECT_EQ(std::string(e.what()),
              "poizkus je ustavila varnostna meja (Y1 nad 85,0 pri 312,0 s); zapis ni obdelan "
              "kot odziv obrata, model in regulator nista izračunana.");
  }
  EXPECT_TRUE(fs::exists(File(".vtd")));
  for (const char* made : {".vtm", ".vtc", ".docx"}) EXPECT_FALSE(fs::exists(File(made))) << made;
  const std::vector<std::string> warnings = ReadTextLines(File("-opozorila.txt"));
  ASSERT_GE(warnings.size(), 6u);
  EXPECT_EQ(warnings[4].rfind("Poizkus je ustavljen: korak \"varnostne meje\"", 0), 0u)
      << warnings[4];
  EXPECT_EQ(warnings[5],
            "Varnostna meja je ustavila poizkus: Y1 nad 85,0 pri 312,0 s. Zapis ni obdelan kot "
            "odziv obrata.");
}
