// Runs the built vortuner-cli report on a data file written by the program's own writer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "cli/CliRunner.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "model/ModelTestData.h"
#include "report/ReportImages.h"
#include "report/ZipPackage.h"

namespace {
class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("report_cli_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    modeltest::Record record;
    record.HasOuter = true;
    record.Noise = 0.01;
    auto store = modeltest::MakeStore(record);
    DataFileHeader h;
    for (int c = 0; c < 6; ++c) h.Descriptions[c] = "Signal " + std::to_string(c + 1);
    h.Date = "7.12.2026";
    h.Time = "20:00:00";
    h.SampleTime = 1;
    h.SampleCount = 200;
    h.WindowStart = 1;
    h.WindowEnd = 200;
    data = Path("step.vtd");
    TObdelava::WriteDataFile(data, *store, h, '.');
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }

  // Every file of the folder except the data file.
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.path().filename() != "step.vtd") names.push_back(e.path().filename().string());
    return names;
  }

  std::filesystem::path dir;
  std::string data;
};
}  // namespace

TEST_F(ReportCommand, WritesTheFullReportAndNoImageStays) {
  const CliRun r = RunCli("report", data + " --out " + Path("batch"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, Path("batch.docx") + "\n");
  EXPECT_EQ(Written(), std::vector<std::string>{"batch.docx"});
  int pictures = 0;
  std::string body;
  for (const ZipPart& part : ReadZipParts(Path("batch.docx"))) {
    if (part.Name.rfind("word/media/", 0) == 0) ++pictures;
    if (part.Name == "word/document.xml") body = part.Bytes;
  }
  EXPECT_EQ(pictures, 10);
  // The identified model and the tuning as the tabs show them.
  EXPECT_NE(body.find("Ocenjeno ojačenje: 1,996"), std::string::npos);  // Slovenian text
  EXPECT_NE(body.find("Časovni potek izhoda procesa (Signal 5)"), std::string::npos);
  EXPECT_NE(body.find("Kvaliteta modela: "), std::string::npos);
  EXPECT_NE(body.find("Robustnost regulatorjev"), std::string::npos);
  EXPECT_NE(body.find("Amplitudni razloček"), std::string::npos);
  // The figures are for discrete controllers at the data's sample time.
  EXPECT_NE(body.find("Robustnost velja za diskretne regulatorje s časom vzorčenja 1 s."),
            std::string::npos);
  // What it is about, and no server for a record read from a file.
  EXPECT_NE(body.find("Datoteka: step.vtd"), std::string::npos);
  EXPECT_NE(body.find("Datum zapisa: 7.12.2026 20:00:00"), std::string::npos);
  EXPECT_EQ(body.find("OPC Strežnik"), std::string::npos);
  EXPECT_NE(body.find("Metoda nastavljanja: Metoda provršin - sledenje"), std::string::npos);
  EXPECT_NE(body.find("Ki [1/s]"), std::string::npos);  // the parallel form's units
  EXPECT_NE(body.find("Kd [s]"), std::string::npos);
  // Standard error holds this command's warnings and nothing of the toolkit's.
  std::stringstream err(r.Err);
  for (std::string line; std::getline(err, line);)
    EXPECT_EQ(line.rfind("vortuner-cli report: warning: Opozorilo: ", 0), 0u) << line;
}

// A record whose Y1 drifts while MV waits: the identify JSON, the report's standard error and
// the box on its first page all name the drift.
TEST_F(ReportCommand, ADriftingBaselineIsNamedOnTheFirstPageAndInTheJson) {
  // Column 5 (Y1) gets a ramp until the step (sample 20).
  auto store = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(data, *store, '.');
  for (int k = 1; k <= 200; ++k) store->DataColumns[5][k] += 0.03 * std::min(k, 19);
  DataFileHeader h;
  for (int c = 0; c < 6; ++c) h.Descriptions[c] = "Signal " + std::to_string(c + 1);
  h.Date = "7.12.2026";
  h.Time = "20:00:00";
  h.SampleTime = 1;
  h.SampleCount = 200;
  h.WindowStart = 1;
  h.WindowEnd = 200;
  const std::string drift = Path("drift.vtd");
  TObdelava::WriteDataFile(drift, *store, h, '.');
  const std::string said = "Opozorilo: Y1 se je pred skokom MV spreminjal (";

  const CliRun id = RunCli("identify", drift);
  ASSERT_EQ(id.ExitCode, 0) << id.Err;
  EXPECT_NE(id.Out.find("\"Warnings\": [\"" + said), std::string::npos) << id.Out;

  const CliRun r = RunCli("report", drift + " --out " + Path("drift.docx"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("vortuner-cli report: warning: " + said), std::string::npos) << r.Err;
  std::string body;
  for (const ZipPart& part : ReadZipParts(Path("drift.docx")))
    if (part.Name == "word/document.xml") body = part.Bytes;
  const size_t box = body.find("Opozorila");
  ASSERT_NE(box, std::string::npos);
  EXPECT_LT(body.find(said), body.find("OPC Nastavitve"));
  EXPECT_LT(body.find("OPC Nastavitve"), body.find("w:type=\"page\""));  // first page
}

TEST_F(ReportCommand, WritesAPdfWithChosenSections) {
  const CliRun r = RunCli("report", data + " --sections model --out " + Path("r.pdf"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(Written(), std::vector<std::string>{"r.pdf"});
  EXPECT_EQ(ReadFileBytes(Path("r.pdf")).substr(0, 5), "%PDF-");
}

TEST_F(ReportCommand, AMissingTemplateOrAWrongSectionWritesNothing) {
  CliRun r = RunCli("report", data + " --template " + Path("none.dotx") + " --out " + Path("x"));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Predloga \"" + Path("none.dotx") + "\" ne obstaja."), std::string::npos)
      << r.Err;
  r = RunCli("report", data + " --sections modell --out " + Path("x"));
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("unknown section 'modell'"), std::string::npos);
  EXPECT_TRUE(Written().empty());
}

TEST_F(ReportCommand, TakesTheActuatorAsIdentifyDoes) {
  const CliRun r = RunCli("report", data + " --actuator 100,0,0 --sections '' --out " + Path("a"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, Path("a.docx") + "\n");
  const CliRun bad = RunCli("report", data + " --actuator 100,0 --out " + Path("b"));
  EXPECT_EQ(bad.ExitCode, 2);
  EXPECT_NE(bad.Err.find("--actuator needs the maximum, the minimum and a full-stroke time >= 0"),
            std::string::npos)
      << bad.Err;
}

// An export in the plant's local time with its offset: the report dates the record in that
// clock and names the offset, as the record's own stamps read.
TEST_F(ReportCommand, AnExportsRecordIsDatedInItsOwnClockWithTheOffsetNamed) {
  modeltest::Record record;
  record.Noise = 0.01;
  auto store = modeltest::MakeStore(record);
  std::string text = "Timestamp;OUT;PV\n";
  for (int k = 1; k <= record.Samples; ++k) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "2026-10-05T00:%02d:%02d+02:00", (k - 1) / 60, (k - 1) % 60);
    text += std::string(stamp) + ";" + std::to_string(store->DataColumns[1][k]) + ";" +
            std::to_string(store->DataColumns[5][k]) + "\n";
  }
  WriteFileBytes(Path("plant.csv"), text);
  const CliRun r = RunCli("report", Path("plant.csv") + " --out " + Path("plant.docx"));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::string body;
  for (const ZipPart& part : ReadZipParts(Path("plant.docx")))
    if (part.Name == "word/document.xml") body = part.Bytes;
  EXPECT_NE(body.find("Datum zapisa: 2026-10-05 00:00:00 (UTC+02:00)"), std::string::npos);
  const size_t gain = body.find("Ocenjeno ojačenje: ");
  ASSERT_NE(gain, std::string::npos);
  EXPECT_EQ(body.substr(gain + 20, 4), "1,99") << body.substr(gain, 40);
}
