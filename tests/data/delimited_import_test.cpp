// Delimited exports of historians and loggers: hand-made files read, counted, resampled
// and refused as an engineer would meet them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "data/DelimitedImport.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "model/IdentifyModel.h"
#include "model/ModelTestData.h"

namespace {

std::vector<std::string> Lines(const std::string& text) { return SplitLines(text); }

struct Imported {
  DelimitedTable Table;
  ImportedRecord Record;
};

Imported Import(const std::string& text, const ResampleOptions& options = {}) {
  Imported r;
  r.Table = ReadDelimitedTable(Lines(text));
  r.Record = ResampleTable(r.Table, options);
  return r;
}

class TempFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("delimited_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir / name).string();
    WriteFileBytes(path, bytes);
    return path;
  }
  std::filesystem::path dir;
};

using DelimitedImportFile = TempFolder;

}  // namespace

TEST(DelimitedImport, SemicolonsDecimalCommaIsoWithASpaceAMissingValueAndARepeatedStamp) {
  const std::string text =
      "Čas;MV;U;Y1;Y2\n"
      "2026-12-08 10:00:00;20,5;20,5;50,0;30\n"
      "2026-12-08 10:00:01;20,5;20,5;50,1;30\n"
      "2026-12-08 10:00:02;20,5;;50,2;30\n"  // U missing: 20,5 held
      "2026-12-08 10:00:03;40,5;40,5;50,3;30\n"
      "2026-12-08 10:00:03;41,5;41,5;50,4;30\n"  // repeated: replaces the row before
      "2026-12-08 10:00:04;41,5;41,5;Bad;31\n"   // not a number: 50,4 held
      "2026-12-08 10:00:05;41,5;41,5;51;31\n"
      "2026-12-08 10:00:06;41,5;41,5;52;31\n"
      "2026-12-08 10:00:07;41,5;41,5;53;31\n"
      "2026-12-08 10:00:08;41,5;41,5;54;31\n"
      "2026-12-08 10:00:09;41,5;41,5;55;31\n"
      "\n";
  const Imported r = Import(text);
  const DelimitedTable& t = r.Table;
  EXPECT_EQ(t.Format.Delimiter, ';');
  EXPECT_EQ(t.Format.DecimalMark, ',');
  EXPECT_EQ(t.Format.TimeFormat, ImportTimeFormat::DateTime);
  EXPECT_EQ(t.Format.TimeColumn, 1);
  EXPECT_EQ(t.HeaderLine, 1);
  EXPECT_EQ(t.Names, (std::vector<std::string>{"MV", "U", "Y1", "Y2"}));
  EXPECT_EQ(t.Counts.DataRows, 10);
  EXPECT_EQ(t.Counts.RowsRepeated, 1);
  EXPECT_EQ(t.Counts.MissingValues, 1);
  EXPECT_EQ(t.Counts.NonNumericValues, 1);
  EXPECT_EQ(t.Counts.EmptyLines, 1);  // skipped

  const ImportedRecord& rec = r.Record;
  EXPECT_EQ(rec.SampleTime, 1);
  ASSERT_EQ(rec.MV.size(), 10u);
  EXPECT_EQ(rec.U[2], 20.5);
  EXPECT_EQ(rec.MV[3], 41.5);
  EXPECT_EQ(rec.Y1[3], 50.4);
  EXPECT_EQ(rec.Y1[4], 50.4);
  EXPECT_EQ(rec.Y2[9], 31);
  EXPECT_TRUE(rec.StepFound);
  EXPECT_EQ(rec.StepTime, 3);
  EXPECT_EQ(rec.Texts.Date, "2026-12-08");
  EXPECT_EQ(rec.Texts.Time, "10:00:00");
  const auto summary = ImportSummary(t, rec);
  EXPECT_EQ(summary,
            (std::vector<std::string>{"Vrstice s ponovljenim časom: 1 (veljajo vrednosti zadnje).",
                                      "Prazne celice v stolpcu U: 1 (zadržana prejšnja vrednost).",
                                      "Celice, ki niso števila, v stolpcu Y1: 1 (zadržana prejšnja "
                                      "vrednost).",
                                      "Vrzeli v signalu U (U): 1, najdaljša 2 s pri 1 s (zadržana "
                                      "zadnja vrednost; meja 5 s).",
                                      "Vrzeli v signalu Y1 (Y1): 1, najdaljša 2 s pri 3 s "
                                      "(zadržana zadnja vrednost; meja 5 s)."}));

  auto store = std::make_unique<MeasurementStore>();
  CommitImport(rec, *store);
  EXPECT_EQ(store->SampleCount, 10);
  EXPECT_EQ(store->ColumnCount, 6);
  EXPECT_EQ(store->TimeColumn[10], 9);
  EXPECT_EQ(store->DataColumns[2][4], 41.5);  // MV twice, U twice, Y1, Y2
  EXPECT_EQ(store->DataColumns[4][3], 20.5);
  EXPECT_EQ(store->ColumnNames[5], "Y1");
}

TEST(DelimitedImport, CommasIsoWithTFractionsAndOffsetsATimeGoingBackAndNamedColumns) {
  // Time-zone offsets: 10:00:04+01:00 is 09:00:04Z, so the rows stay in order.
  std::string text = "time,flow,valve,level\n";
  for (int k = 0; k < 12; ++k) {
    const std::string stamp = k < 4 ? "2026-12-08T09:00:0" + std::to_string(k) + ".500Z"
                                    : "2026-12-08T10:00:" + std::string(k < 10 ? "0" : "") +
                                          std::to_string(k) + ".5+01:00";
    text += stamp + "," + std::to_string(k) + "," + std::to_string(k < 6 ? 10 : 60) + ",7.25\n";
    if (k == 6) text += "2026-12-08T09:00:02.5Z,99,99,99\n";  // backwards: dropped
  }
  ResampleOptions o;
  o.Columns = {"Valve", "valve", "flow", ""};  // a name matches regardless of case
  const Imported r = Import(text, o);
  EXPECT_EQ(r.Table.Format.Delimiter, ',');
  EXPECT_EQ(r.Table.Format.DecimalMark, '.');
  EXPECT_EQ(r.Table.Counts.RowsBackwards, 1);
  EXPECT_EQ(r.Table.Counts.DataRows, 12);
  EXPECT_EQ(r.Record.Columns[0], 2);
  EXPECT_EQ(r.Record.Columns[2], 1);
  EXPECT_EQ(r.Record.Columns[3], 0);  // none by default with three columns
  EXPECT_EQ(r.Record.MV[6], 60);
  EXPECT_EQ(r.Record.Y1[11], 11);
  // The first row's own clock, its zone named (10:00:04+01:00 is 09:00:04 UTC).
  EXPECT_EQ(r.Record.Texts.Time, "09:00:00 (UTC)");

  o.Columns.MV = "pressure";
  EXPECT_THROW(
      try { Import(text, o); } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "MV: stolpca 'pressure' ni med naslovi stolpcev (flow, valve, level).");
        throw;
      },
      std::runtime_error);
}

TEST(DelimitedImport, AGapOfThirtySecondsInOneSecondDataIsHeldAndReported) {
  std::string text = "t\tmv\ty\n";
  for (int s = 0; s < 100; ++s) {
    if (s > 40 && s < 71) continue;  // 40 -> 71: a 31 s interval
    text += std::to_string(s) + "\t" + (s < 20 ? "1" : "2") + "\t" + std::to_string(s) + "\n";
  }
  const Imported r = Import(text);
  EXPECT_EQ(r.Table.Format.Delimiter, '\t');
  EXPECT_EQ(r.Table.Format.TimeFormat, ImportTimeFormat::Seconds);
  EXPECT_EQ(r.Record.SampleTime, 1);
  EXPECT_EQ(r.Record.Columns[1], 1);  // two columns: MV = U, Y1, no Y2
  EXPECT_EQ(r.Record.Columns[3], 0);
  ASSERT_EQ(r.Record.Y1.size(), 100u);
  EXPECT_EQ(r.Record.Y1[55], 40);  // held, not interpolated
  EXPECT_EQ(r.Record.Y1[71], 71);
  ASSERT_EQ(r.Record.Gaps.size(), 1u);
  EXPECT_EQ(r.Record.Gaps[0].Start, 40);
  EXPECT_EQ(r.Record.Gaps[0].Length, 31);
  EXPECT_EQ(ImportSummary(r.Table, r.Record).back(),
            "Vrzeli v signalu Y1 (y): 1, najdaljša 31 s pri 40 s (zadržana zadnja vrednost; meja "
            "5 s).");
  auto store = std::make_unique<MeasurementStore>();
  CommitImport(r.Record, *store);
  EXPECT_EQ(store->ColumnCount, 5);
}

TEST(DelimitedImport, ALongFileIsCutAroundTheLargestMvStepAndSaysWhatItLeftOut) {
  // A day's morning at 1 s: a small step at 2000 s, the large one at 12000 s.
  std::string text = "08:00:00;10;0\n";
  for (int s = 1; s < 20000; ++s) {
    const int h = 8 + s / 3600, m = s / 60 % 60, sec = s % 60;
    const double mv = s < 2000 ? 10 : s < 12000 ? 12 : 50;
    char line[64];
    std::snprintf(line, sizeof line, "%02d:%02d:%02d;%g;%d\n", h, m, sec, mv, s);
    text += line;
  }
  const Imported r = Import(text);
  EXPECT_EQ(r.Table.HeaderLine, 0);
  EXPECT_EQ(r.Table.Names[0], "Stolpec 2");
  EXPECT_EQ(r.Table.Format.TimeFormat, ImportTimeFormat::TimeOfDay);
  EXPECT_EQ(r.Record.TotalSamples, 20000);
  ASSERT_EQ(r.Record.MV.size(), static_cast<size_t>(MaxSamples));
  EXPECT_EQ(r.Record.FirstSample, 11501);  // a tenth of the record before the step
  EXPECT_EQ(r.Record.Y1[0], 11500);
  EXPECT_EQ(r.Record.Texts.Time, "11:11:40");
  EXPECT_EQ(ImportSummary(r.Table, r.Record).back(),
            "Vzetih je 5000 od 20000 vzorcev (11500 s do 16499 s od začetka); izpuščeni vzorci: "
            "11500 pred in 3500 za obsegom.");
  // A range of the engineer's own, in seconds from the first row.
  ResampleOptions o;
  o.From = 100;
  o.To = 199.5;
  o.SampleTime = 2;
  const ImportedRecord own = ResampleTable(r.Table, o);
  EXPECT_EQ(own.MV.size(), 50u);
  EXPECT_EQ(own.Y1[1], 102);
}

TEST(DelimitedImport, RefusedWithTheLineAndTheReason) {
  auto refused = [](const std::string& text) -> std::string {
    try {
      ReadDelimitedTable(Lines(text));
    } catch (const ImportError& e) {
      return e.what();
    }
    return "accepted";
  };
  EXPECT_EQ(refused(""), "datoteka je prazna.");
  EXPECT_EQ(refused("Dear operator,\nplease find the data attached\nRegards\n"),
            "vrstica 1: datoteka ni tabela: vrstice nimajo skupnega ločila (podpičje, tabulator "
            "ali vejica).");
  EXPECT_EQ(refused("Time;TI101\n2026-12-08 10:00;1\n2026-12-08 10:01;2\n"),
            "vrstica 3: vrstic s podatki je le 2; potrebnih je vsaj 10.");
  EXPECT_EQ(refused("Time;TI101\nyesterday;1\ntoday;2\n"),
            "vrstica 2: ni uporabnega časovnega stolpca: 'yesterday' ni datum in čas, čas dneva "
            "ali število sekund, ali pa mu ne sledi vrstica z enakim časom.");
}

TEST(DelimitedImport, TheLoggerLayoutStaysTheLoggerReadersAndAnExportWithClockTimesDoesNot) {
  const std::string logger =
      "07.12.2026;example\nplant\nMV;U;\n-;-;\n\n10:00:00;1,5;2,5;\n10:00:01;1,5;2,5;\n";
  EXPECT_EQ(ClassifyDataFile(Lines(logger)), DataFileKind::Logger);
  std::string exported = "Time;MV;U\n";
  for (int s = 0; s < 10; ++s) exported += "10:00:0" + std::to_string(s) + ";1,5;2,5\n";
  EXPECT_EQ(ClassifyDataFile(Lines(exported)), DataFileKind::Delimited);
  EXPECT_EQ(ClassifyDataFile({std::string(DataFileBanner), "V1.0"}), DataFileKind::Banner);
}

TEST_F(DelimitedImportFile, Windows1250WithCInAHeaderAndARefusalLeavesTheStoreAsItWas) {
  // "Temperatura peči" in Windows-1250 (č = 0xE8), chosen by its name.
  std::string bytes = "Datum;Ventil;Temperatura pe\xE8i\r\n";
  for (int s = 0; s < 12; ++s)
    bytes += "8.12.2026 10:00:" + std::string(s < 10 ? "0" : "") + std::to_string(s) + ";" +
             (s < 3 ? "5" : "15") + ";" + std::to_string(100 + s) + ",5\r\n";
  const std::string path = Write("peč.csv", bytes);
  ResampleOptions o;
  o.Columns = {"Ventil", "", "Temperatura peči", ""};
  auto store = std::make_unique<MeasurementStore>();
  const DelimitedImport r = ImportDelimitedFile(path, {}, o, *store);
  EXPECT_EQ(store->ColumnNames[5], "Temperatura peči");
  EXPECT_EQ(store->DataColumns[5][12], 111.5);
  EXPECT_EQ(r.Record.Texts.Date, "2026-12-08");
  EXPECT_EQ(r.Record.Texts.FullStrokeTime, "0");  // no actuator model unless one is given

  // UTF-8 with a byte-order mark: the first name carries no trace of it.
  std::string utf8 = std::string(Utf8Bom) + "Čas;Ventil;Temperatura peči\n";
  for (int s = 0; s < 12; ++s) utf8 += std::to_string(s) + ";1;2\n";
  auto other = std::make_unique<MeasurementStore>();
  const DelimitedImport withBom = ImportDelimitedFile(Write("bom.csv", utf8), {}, {}, *other);
  EXPECT_EQ(withBom.Table.Preview[0][0], "Čas");
  EXPECT_EQ(other->ColumnNames[5], "Temperatura peči");

  const std::string bad = Write("bad.csv", "Time;TI101\nyesterday;1\ntoday;2\n");
  try {
    ImportDelimitedFile(bad, {}, {}, *store);
    FAIL() << "accepted";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Napaka v vrstici 2 datoteke '" + bad +
                  "': ni uporabnega časovnega stolpca: 'yesterday' ni datum in čas, čas dneva ali "
                  "število sekund, ali pa mu ne sledi vrstica z enakim časom.");
  }
  EXPECT_EQ(store->SampleCount, 12);
  EXPECT_EQ(store->ColumnNames[5], "Temperatura peči");
}

TEST_F(DelimitedImportFile, TheSameStepAsVtdAndAsAnExportGivesTheSameModel) {
  modeltest::Record rec;
  rec.HasOuter = true;
  rec.Noise = 0.01;
  auto original = modeltest::MakeStore(rec);
  DataFileHeader h;
  h.SampleTime = 1;
  h.SampleCount = rec.Samples;
  h.WindowStart = 1;
  h.WindowEnd = rec.Samples;
  h.Parameters.FullStrokeTime = 0;
  const std::string vtd = (dir / "step.vtd").string();
  TObdelava::WriteDataFile(vtd, *original, h, '.');
  // The same samples as a historian writes them: ISO stamps, decimal commas.
  std::string text = "Time;MV;U;Y1;Y2\r\n";
  for (int k = 1; k <= rec.Samples; ++k) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-08T10:%02d:%02d", (k - 1) / 60, (k - 1) % 60);
    text += stamp;
    for (int c : {1, 3, 5, 6})
      text +=
          ";" + FormatGeneral(original->DataColumns[static_cast<size_t>(c)][static_cast<size_t>(k)],
                              12, ',');
    text += "\r\n";
  }
  const std::string csv = Write("step.csv", text);

  auto fromVtd = std::make_unique<MeasurementStore>();
  auto fromCsv = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(vtd, *fromVtd, '.');
  ResampleOptions o;
  o.FullStrokeTime = 0;
  const DelimitedImport r = ImportDelimitedFile(csv, {}, o, *fromCsv);
  ASSERT_EQ(fromCsv->SampleCount, fromVtd->SampleCount);
  EXPECT_TRUE(r.Record.Texts.Warnings.empty());
  for (MeasurementStore* s : {fromVtd.get(), fromCsv.get()}) {
    TObdelava::ConditionSignals(*s, SignalColumns{}, Conditioning{0, 100, 0, 0});
    IdentifyModel(*s, 1, s->SampleCount);
  }
  EXPECT_NEAR(fromCsv->InnerGain, fromVtd->InnerGain, 1e-9);
  EXPECT_NEAR(fromCsv->InnerTimeConstant, fromVtd->InnerTimeConstant, 1e-9);
  EXPECT_NEAR(fromCsv->InnerDeadTime, fromVtd->InnerDeadTime, 1e-9);
  EXPECT_NEAR(fromCsv->OuterGain, fromVtd->OuterGain, 1e-9);
  EXPECT_NEAR(fromCsv->OuterTimeConstant, fromVtd->OuterTimeConstant, 1e-9);
  EXPECT_NEAR(fromCsv->OuterDeadTime, fromVtd->OuterDeadTime, 1e-9);
  EXPECT_GT(fromCsv->InnerGain, 1.5);
}
