#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"

namespace {

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vortuner_data_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }

  // A record of n samples in six columns with values that need all 12 digits.
  void FillStore(int n) {
    store.SampleCount = n;
    store.SampleTime = 0.1;
    store.ColumnCount = 6;
    for (int k = 1; k <= n; ++k) {
      store.TimeColumn[k] = (k - 1) * 0.1;
      for (int c = 1; c <= 6; ++c) store.DataColumns[c][k] = c * 10.0 + std::sin(k * 0.37 + c) / 3;
    }
    for (int c = 1; c <= 6; ++c) store.ColumnNames[c] = "Signal " + std::to_string(c) + " č";
  }
  DataFileHeader Header() const {
    DataFileHeader h;
    h.Date = "7.12.2026";
    h.Time = "20:15:00";
    h.SampleTime = store.SampleTime;
    h.SampleCount = store.SampleCount;
    h.WindowStart = 12;
    h.WindowEnd = 80;
    h.Parameters = Conditioning{2.5, 95, 5, 12.25};
    for (int i = 0; i < 6; ++i) h.Descriptions[i] = store.ColumnNames[h.Columns[i]];
    return h;
  }

  std::filesystem::path dir;
  MeasurementStore store;
};

// The plain logger file: 5 lines of header, then data lines "hh:mm:ss;v1;v2;...;".
std::vector<std::string> LoggerLines(int dataLines, const std::string& first = "07.12.2026;x;") {
  std::vector<std::string> lines{first, "ignored", "Cas;Temp;Tlak;Ventil;", "", ""};
  for (int i = 0; i < dataLines; ++i) {
    const int sec = i * 2;
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", 10 + sec / 3600, (sec / 60) % 60, sec % 60);
    lines.push_back(std::string(stamp) + ";" + std::to_string(i) + ",5;" + std::to_string(100 + i) +
                    ";" + std::to_string(-i) + ".25;");
  }
  return lines;
}

}  // namespace

TEST_F(DataFileTest, SaveThenLoadReproducesEverythingToTwelveDigits) {
  FillStore(100);
  const std::string path = Path("run.vtd");
  for (char sep : {'.', ','}) {
    TObdelava::WriteDataFile(path, store, Header(), sep);
    auto loaded = std::make_unique<MeasurementStore>();
    const DataFileTexts t = TObdelava::ReadDataFile(path, *loaded, sep);
    EXPECT_EQ(t.Date, "7.12.2026");
    EXPECT_EQ(t.Time, "20:15:00");
    EXPECT_EQ(t.WindowStart, "12");
    EXPECT_EQ(t.WindowEnd, "80");
    EXPECT_EQ(t.FilterTime, sep == ',' ? "2,5" : "2.5");
    EXPECT_EQ(t.ActuatorMaximum, "95");
    EXPECT_EQ(t.ActuatorMinimum, "5");
    EXPECT_EQ(t.FullStrokeTime, sep == ',' ? "12,25" : "12.25");
    EXPECT_TRUE(t.Warnings.empty());
    EXPECT_EQ(loaded->SampleCount, 100);
    EXPECT_EQ(loaded->ColumnCount, 6);
    EXPECT_DOUBLE_EQ(loaded->SampleTime, 0.1);
    EXPECT_EQ(loaded->MinWindowSamples, 10);
    // The default choice MV 1, U 3, Y1 5, Y2 6 is written as columns 1, 1, 3, 3, 5, 6.
    const int source[7] = {0, 1, 1, 3, 3, 5, 6};
    for (int c = 1; c <= 6; ++c) EXPECT_EQ(loaded->ColumnNames[c], store.ColumnNames[source[c]]);
    for (int k = 1; k <= 100; ++k) {
      EXPECT_NEAR(loaded->TimeColumn[k], store.TimeColumn[k], 1e-11) << k;
      for (int c = 1; c <= 6; ++c) {
        const double v = store.DataColumns[source[c]][k];
        EXPECT_NEAR(loaded->DataColumns[c][k], v, std::fabs(v) * 1e-11) << k << " " << c;
        EXPECT_EQ(FormatGeneral(loaded->DataColumns[c][k], 12), FormatGeneral(v, 12));
      }
    }
  }
}

TEST_F(DataFileTest, TheFileHasTheBannerLayoutWithChosenColumnsWrittenTwice) {
  FillStore(3);
  for (int k = 1; k <= 3; ++k)
    for (int c = 1; c <= 6; ++c) store.DataColumns[c][k] = c * 1000 + k;
  DataFileHeader h = Header();
  // MV = 2, U = 4, Y1 = 5, Y2 = 6.
  const int chosen[6] = {2, 2, 4, 4, 5, 6};
  std::copy(chosen, chosen + 6, h.Columns);
  for (int i = 0; i < 6; ++i) h.Descriptions[i] = store.ColumnNames[chosen[i]];
  TObdelava::WriteDataFile(Path("c.vtd"), store, h, ',');
  const std::vector<std::string> lines = ReadTextLines(Path("c.vtd"));
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[0], "VORTuner Mesurements");
  EXPECT_EQ(lines[1], "V1.0");
  EXPECT_EQ(lines[4], "0,1");
  EXPECT_EQ(lines[5], "3");
  EXPECT_EQ(lines[6], "12");
  EXPECT_EQ(lines[7], "80");
  EXPECT_EQ(lines[8], "2,5");
  EXPECT_EQ(lines[11], "12,25");
  EXPECT_EQ(lines[12], "Signal 2 č");
  EXPECT_EQ(lines[13], "Signal 2 č");
  EXPECT_EQ(lines[14], "Signal 4 č");
  EXPECT_EQ(lines[17], "Signal 6 č");
  EXPECT_EQ(lines[18], "0\t2001\t2001\t4001\t4001\t5001\t6001");
  EXPECT_EQ(lines[20], "0,2\t2003\t2003\t4003\t4003\t5003\t6003");
}

TEST_F(DataFileTest, ADecimalCommaFileLoadsOnADecimalPointSystem) {
  FillStore(20);
  store.SampleTime = 0.25;
  TObdelava::WriteDataFile(Path("comma.vtd"), store, Header(), ',');
  auto loaded = std::make_unique<MeasurementStore>();
  const DataFileTexts t = TObdelava::ReadDataFile(Path("comma.vtd"), *loaded, '.');
  EXPECT_DOUBLE_EQ(loaded->SampleTime, 0.25);
  EXPECT_EQ(t.FilterTime, "2.5");  // ready for a decimal-point edit
  EXPECT_NEAR(loaded->DataColumns[5][7], store.DataColumns[5][7], 1e-9);
  EXPECT_NEAR(loaded->TimeColumn[20], 1.9, 1e-12);
}

TEST_F(DataFileTest, ABannerFileAnnouncingMoreThanTheStoreHoldsIsCut) {
  std::vector<std::string> lines{"VORTuner Mesurements", "V1.0", "d", "t", "1", "6000", "1",
                                 "6000", "0", "100", "0", "1", "a", "a", "b", "b", "c", "d"};
  for (int k = 1; k <= 6000; ++k)
    lines.push_back(std::to_string(k - 1) + "\t1\t1\t2\t2\t3\t" + std::to_string(k));
  WriteTextLines(Path("big.vtd"), lines);
  auto loaded = std::make_unique<MeasurementStore>();
  const DataFileTexts t = TObdelava::ReadDataFile(Path("big.vtd"), *loaded, '.');
  EXPECT_EQ(loaded->SampleCount, MaxSamples);
  EXPECT_EQ(loaded->DataColumns[6][MaxSamples], 5000);
  ASSERT_EQ(t.Warnings.size(), 1u);
  EXPECT_EQ(t.Warnings[0], "Datoteka napoveduje 6000 vzorcev; naloženih je prvih 5000.");
}

TEST_F(DataFileTest, ABannerFileWithFewerDataLinesThanAnnouncedLoadsWhatItHas) {
  std::vector<std::string> lines{"VORTuner Mesurements", "V1.0", "d", "t", "1", "50", "1",
                                 "50", "0", "100", "0", "1", "a", "a", "b", "b", "c", "d"};
  for (int k = 1; k <= 30; ++k) lines.push_back(std::to_string(k - 1) + "\t1\t1\t2\t2\t3\t4");
  WriteTextLines(Path("short.vtd"), lines);
  auto loaded = std::make_unique<MeasurementStore>();
  const DataFileTexts t = TObdelava::ReadDataFile(Path("short.vtd"), *loaded, '.');
  EXPECT_EQ(loaded->SampleCount, 30);
  ASSERT_EQ(t.Warnings.size(), 1u);
  EXPECT_EQ(t.Warnings[0],
            "Datoteka napoveduje 50 vzorcev, vsebuje pa le 30 vrstic s podatki; naloženih je 30 "
            "vzorcev.");
}

TEST_F(DataFileTest, ABadBannerFileIsRefusedAndTheStoreKeepsItsRecord) {
  std::vector<std::string> lines{"VORTuner Mesurements", "V1.0", "d", "t", "1", "3", "1",
                                 "3", "0", "100", "0", "1", "a", "a", "b", "b", "c", "d",
                                 "0\t1\t1\t2\t2\t3\t4", "\t1\t1\t2\t2\t3\t4", "2\t1\t1\t2\t2\t3\t4"};
  WriteTextLines(Path("bad.vtd"), lines);
  FillStore(40);
  const double before = store.DataColumns[5][2];
  try {
    TObdelava::ReadDataFile(Path("bad.vtd"), store, '.');
    FAIL() << "an empty first field must be refused";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Napaka v vrstici 20 datoteke '" + Path("bad.vtd") +
                                         "': '' is not a valid floating point value");
  }
  EXPECT_EQ(store.SampleCount, 40);
  EXPECT_EQ(store.DataColumns[5][2], before);

  lines[19] = "1\t1\t1\t2";  // too few fields
  WriteTextLines(Path("bad.vtd"), lines);
  EXPECT_THROW(TObdelava::ReadDataFile(Path("bad.vtd"), store, '.'), FileError);
  lines.resize(12);  // header cut short
  WriteTextLines(Path("bad.vtd"), lines);
  EXPECT_THROW(TObdelava::ReadDataFile(Path("bad.vtd"), store, '.'), FileError);
  EXPECT_THROW(TObdelava::ReadDataFile(Path("missing.vtd"), store, '.'), FileError);
  EXPECT_EQ(store.SampleCount, 40);
}

// A sample time of 0 or below would make every time axis and filter meaningless.
TEST_F(DataFileTest, ASampleTimeOfZeroOrBelowIsRefusedWithTheFileAndLine) {
  FillStore(20);
  TObdelava::WriteDataFile(Path("a.vtd"), store, Header(), '.');
  std::vector<std::string> lines = ReadTextLines(Path("a.vtd"));
  auto expectRefused = [&](const std::string& name, const std::string& text) {
    try {
      TObdelava::ReadDataFile(Path(name.c_str()), store, '.');
      ADD_FAILURE() << name;
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()), "Napaka v vrstici " + text);
    }
    EXPECT_EQ(store.SampleCount, 20);
  };
  for (const char* ts : {"0", "-1"}) {
    lines[4] = ts;
    WriteTextLines(Path("a.vtd"), lines);
    expectRefused("a.vtd",
                  "5 datoteke '" + Path("a.vtd") + "': čas vzorčenja mora biti večji od 0.");
  }
  // Logger stamps that are no time of day: 24:00:00 then 00:00:00 would give 0 s,
  // 48:00:00 after 00:00:00 -86400 s.
  const std::pair<const char*, const char*> stamps[] = {{"24:00:00", "00:00:00"},
                                                        {"00:00:00", "48:00:00"},
                                                        {"10:60:00", "10:00:01"},
                                                        {"10:00:00", "10:00:60"}};
  for (const auto& [first, second] : stamps) {
    WriteTextLines(Path("log.txt"),
                   {"d;", "", "a;b;", "", "", std::string(first) + ";1.5;2.5;",
                    std::string(second) + ";1.5;2.5;", "10:00:02;1.5;2.5;", "end"});
    const bool firstBad = std::string(first) != "00:00:00" && std::string(first) != "10:00:00";
    expectRefused("log.txt", std::string(firstBad ? "6" : "7") + " datoteke '" + Path("log.txt") +
                                 "': čas '" + (firstBad ? first : second) +
                                 "' ni čas dneva (ure 0..23, minute in sekunde 0..59).");
  }
}

// A device or a huge file is read only as far as the store can hold, not swallowed.
TEST_F(DataFileTest, AFolderOrAnEndlessFileIsRefusedQuickly) {
  FillStore(20);
  try {
    TObdelava::ReadDataFile(dir.string(), store, '.');
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos) << e.what();
  }
  EXPECT_THROW(TObdelava::ReadDataFile("/dev/zero", store, '.'), FileError);
  EXPECT_EQ(store.SampleCount, 20);
}

TEST_F(DataFileTest, APlainFileTakesItsSampleTimeFromTheFirstTwoStamps) {
  std::vector<std::string> lines = LoggerLines(12);
  auto loaded = std::make_unique<MeasurementStore>();
  WriteTextLines(Path("log.txt"), lines);
  const DataFileTexts r = TObdelava::ReadDataFile(Path("log.txt"), *loaded, ',');
  EXPECT_EQ(r.Date, "07.12.2026");
  EXPECT_EQ(r.Time, "10:00:00");
  EXPECT_EQ(r.WindowStart, "1");
  EXPECT_EQ(r.WindowEnd, "11");
  EXPECT_EQ(r.FilterTime, "0");
  EXPECT_EQ(r.ActuatorMaximum, "100");
  EXPECT_EQ(r.ActuatorMinimum, "0");
  EXPECT_EQ(r.FullStrokeTime, "100");
  EXPECT_EQ(loaded->SampleTime, 2);
  EXPECT_EQ(loaded->SampleCount, 11);  // the last line is never read
  EXPECT_EQ(loaded->ColumnCount, 3);
  EXPECT_EQ(loaded->ColumnNames[1], "Cas");
  EXPECT_EQ(loaded->ColumnNames[4], "Ventil");
  EXPECT_EQ(loaded->ColumnNames[5], "");
  EXPECT_DOUBLE_EQ(loaded->DataColumns[1][11], 10.5);
  EXPECT_DOUBLE_EQ(loaded->DataColumns[3][11], -10.25);
  EXPECT_DOUBLE_EQ(loaded->TimeColumn[11], 20);
}

TEST_F(DataFileTest, StampsAcrossMidnightGiveTenSeconds) {
  std::vector<std::string> lines{"d,", "", "a,b,", "", "", "23:59:50,1.5,2.5,", "00:00:00,1.5,2.5,",
                                 "00:00:10,1.5,2.5,", "end"};
  WriteTextLines(Path("midnight.dat"), lines);
  auto loaded = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(Path("midnight.dat"), *loaded, '.');
  EXPECT_EQ(loaded->SampleTime, 10);
  EXPECT_EQ(loaded->SampleCount, 3);
  EXPECT_EQ(loaded->TimeColumn[3], 20);
}

TEST_F(DataFileTest, SevenThousandDataLinesGiveTheCapacityLessOne) {
  WriteTextLines(Path("long.txt"), LoggerLines(7000));
  auto loaded = std::make_unique<MeasurementStore>();
  TObdelava::ReadDataFile(Path("long.txt"), *loaded, '.');
  EXPECT_EQ(loaded->SampleCount, 4999);
  EXPECT_DOUBLE_EQ(loaded->DataColumns[2][4999], 100 + 4998);
}

TEST_F(DataFileTest, APlainFileWithoutValuesOrWithTooFewLinesIsRefused) {
  auto loaded = std::make_unique<MeasurementStore>();
  loaded->SampleCount = 77;
  WriteTextLines(Path("few.txt"), {"a;", "", "h;", "", "", "10:00:00;1;2;"});
  EXPECT_THROW(TObdelava::ReadDataFile(Path("few.txt"), *loaded, '.'), FileError);
  WriteTextLines(Path("none.txt"), {"a;", "", "h;", "", "", "10:00:00;", "10:00:01;", "x"});
  EXPECT_THROW(TObdelava::ReadDataFile(Path("none.txt"), *loaded, '.'), FileError);
  EXPECT_EQ(loaded->SampleCount, 77);
}

TEST_F(DataFileTest, HeadingsStopAtTheLineEndAndAtTheStoreColumns) {
  std::string headings;
  for (int c = 1; c <= 45; ++c) headings += "H" + std::to_string(c) + ";";
  headings += "Last";  // no separator after it
  WriteTextLines(Path("wide.txt"),
                 {"d;", "", headings, "", "", "10:00:00;12;", "10:00:01;12;", "x"});
  auto loaded = std::make_unique<MeasurementStore>();
  const DataFileTexts t = TObdelava::ReadDataFile(Path("wide.txt"), *loaded, '.');
  EXPECT_EQ(loaded->ColumnNames[40], "H40");
  ASSERT_EQ(t.Warnings.size(), 1u);
  EXPECT_EQ(t.Warnings[0], "Datoteka ima več kot 40 naslovov stolpcev; upoštevanih je prvih 40.");
  WriteTextLines(Path("two.txt"), {"d;", "", "A;Bee", "", "", "10:00:00;12;", "10:00:01;12;", "x"});
  TObdelava::ReadDataFile(Path("two.txt"), *loaded, '.');
  EXPECT_EQ(loaded->ColumnNames[1], "A");
  EXPECT_EQ(loaded->ColumnNames[2], "Bee");
}

TEST(SplitNumbers, ReadsFieldsFollowedByTheSeparatorAndSkipsOneCharacterFields) {
  using V = std::vector<double>;
  EXPECT_EQ(TObdelava::SplitNumbers("1.5;2,25;30;", ';'), (V{1.5, 2.25, 30}));
  // A single character takes no value position: the next values move left.
  EXPECT_EQ(TObdelava::SplitNumbers("10;5;20;", ';'), (V{10, 20}));
  // The text after the last separator is not read.
  EXPECT_EQ(TObdelava::SplitNumbers("10;20;30", ';'), (V{10, 20}));
  // Two separators in a row or a field that is not a number end the scan.
  EXPECT_EQ(TObdelava::SplitNumbers("10;;20;", ';'), (V{10}));
  EXPECT_EQ(TObdelava::SplitNumbers("10;ab;20;", ';'), (V{10}));
  std::string many;
  for (int i = 0; i < 50; ++i) many += "12,";
  EXPECT_EQ(TObdelava::SplitNumbers(many, ',').size(), 39u);
}

TEST(ParseClockTime, ReadsTheLeadingDigitsOfEachPart) {
  const ClockTime t = TObdelava::ParseClockTime("23:59:50.250");
  EXPECT_EQ(t.Hours, 23);
  EXPECT_EQ(t.Minutes, 59);
  EXPECT_EQ(t.Seconds, 50);
  const ClockTime h = TObdelava::ParseClockTime("7h:15");
  EXPECT_EQ(h.Hours, 7);
  EXPECT_EQ(h.Minutes, 0);  // without a second ':' only the hours count
  EXPECT_EQ(TObdelava::ParseClockTime("x:1:2").Hours, 0);
  EXPECT_EQ(TObdelava::ParseClockTime("99999999999999:1:2").Minutes, 1);
}

TEST(WriteDataFile, RefusesAnEmptyRecordOrAValueThatIsNotANumberAndLeavesNoFile) {
  MeasurementStore s;
  DataFileHeader h;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("vortuner_empty_" + std::to_string(::getpid()))).string();
  EXPECT_THROW(TObdelava::WriteDataFile(path, s, h, '.'), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(path));
  h.SampleCount = 3;
  s.DataColumns[h.Columns[2]][2] = std::numeric_limits<double>::infinity();
  try {
    TObdelava::WriteDataFile(path, s, h, '.');
    ADD_FAILURE() << "written";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Vzorec 2 ni število; podatki niso bili shranjeni.");
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}
