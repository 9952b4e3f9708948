// Historian exports of the shapes plants give, generated from a known plant (first order,
// K 1.5, T 45 s, L 8 s, a step of the controller output 40 -> 50 % at 100 s, 1 s
// samples): read as the command line reads them, they give that plant, or a refusal that
// names its cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "data/DelimitedImport.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "model/IdentifyModel.h"

namespace {

constexpr int Samples = 600;
constexpr double Gain = 1.5, TimeConstant = 45, DeadTime = 8;

// The plant's samples: u steps 40 -> 50 at 100 s; y[k] = a*y[k-1] + (1-a)*K*u[k-8], so
// the step shows 8 s later (the dead time the identification reports for it).
struct Plant {
  std::vector<double> U, Y;
};
Plant MakePlant() {
  Plant p;
  const double a = std::exp(-1.0 / TimeConstant);
  double y = Gain * 40;
  for (int k = 0; k < Samples; ++k) {
    const double u = k >= 100 ? 50 : 40;
    const int late = k - static_cast<int>(DeadTime);
    const double uLate = late >= 100 ? 50 : 40;
    if (k > 0) y = a * y + (1 - a) * Gain * uLate;
    p.U.push_back(u);
    p.Y.push_back(y);
  }
  return p;
}

std::string Iso(int second) {
  char s[32];
  std::snprintf(s, sizeof s, "2026-10-05T10:%02d:%02d", second / 60 % 60, second % 60);
  return s;
}

std::string Number(double v) { return FormatGeneral(v, 10, '.'); }

struct Outcome {
  DelimitedTable Table;
  ImportedRecord Record;
  std::unique_ptr<MeasurementStore> Store = std::make_unique<MeasurementStore>();
};

// Read, resampled, committed and conditioned with the record's own texts, as the command
// line and the processing page do it; then identified over the whole record.
Outcome Identify(const std::string& text, const ResampleOptions& options = {}) {
  Outcome o;
  o.Table = ReadDelimitedTable(SplitLines(text));
  o.Record = ResampleTable(o.Table, options);
  CommitImport(o.Record, *o.Store);
  const DataFileTexts& t = o.Record.Texts;
  TObdelava::ConditionSignals(
      *o.Store, SignalColumns{},
      TObdelava::ParseConditioning(t.FilterTime, t.ActuatorMaximum, t.ActuatorMinimum,
                                   t.FullStrokeTime, '.'));
  IdentifyModel(*o.Store, 1, o.Store->SampleCount);
  return o;
}

void ExpectThePlant(const MeasurementStore& s) {
  EXPECT_NEAR(s.InnerGain, Gain, 0.01);
  EXPECT_NEAR(s.InnerTimeConstant, TimeConstant, 1.5);
  EXPECT_NEAR(s.InnerDeadTime, DeadTime, 1);
}

std::string Refusal(const std::string& text, const ResampleOptions& options = {}) {
  try {
    ResampleTable(ReadDelimitedTable(SplitLines(text)), options);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "accepted";
}

}  // namespace

TEST(ExportLayouts, AnExportHasNoActuatorModelUnlessOneIsGiven) {
  const Plant p = MakePlant();
  std::string text = "Time;MV;U;Y1\n";
  for (int k = 0; k < Samples; ++k)
    text += Iso(k) + ";" + Number(p.U[k]) + ";" + Number(p.U[k]) + ";" + Number(p.Y[k]) + "\n";
  const Outcome o = Identify(text);
  EXPECT_EQ(o.Record.Texts.FullStrokeTime, "0");
  EXPECT_EQ(o.Record.Texts.ActuatorMaximum, "100");
  EXPECT_EQ(o.Record.Texts.ActuatorMinimum, "0");
  ExpectThePlant(*o.Store);
  EXPECT_EQ(o.Store->UConditioned[102], 50);  // the step of U stays a step

  // A range beyond 0..100 is kept whole; a given actuator is the engineer's.
  ResampleOptions given;
  given.ActuatorMaximum = 100;
  given.ActuatorMinimum = 0;
  given.FullStrokeTime = 100;
  const Outcome slow = Identify(text, given);
  EXPECT_EQ(slow.Record.Texts.FullStrokeTime, "100");
  EXPECT_EQ(slow.Store->UConditioned[102], 41);  // 1 % per second
}

TEST(ExportLayouts, TheTimeColumnIsFoundByNameOrContentWhereverItStands) {
  const Plant p = MakePlant();
  // Seconds in the last column, named.
  std::string last = "MV,U,Y1,Time\n";
  // ISO stamps in the middle, no header.
  std::string middle;
  // Rising seconds in the third column under a heading that is no time word.
  std::string unnamed = "MV;U;Elapsed;Y1\n";
  for (int k = 0; k < Samples; ++k) {
    last += Number(p.U[k]) + "," + Number(p.U[k]) + "," + Number(p.Y[k]) + "," +
            std::to_string(1000 + k) + "\n";
    middle += Number(p.U[k]) + ";" + Iso(k) + ";" + Number(p.U[k]) + ";" + Number(p.Y[k]) + "\n";
    unnamed += Number(p.U[k]) + ";" + Number(p.U[k]) + ";" + std::to_string(k) + ".0;" +
               Number(p.Y[k]) + "\n";
  }
  for (const std::string* text : {&last, &middle, &unnamed}) {
    const Outcome o = Identify(*text);
    EXPECT_EQ(o.Table.Counts.RowsBackwards, 0);
    EXPECT_EQ(o.Table.Counts.DataRows, Samples);
    ExpectThePlant(*o.Store);
  }
  EXPECT_EQ(Identify(last).Table.Format.TimeColumn, 4);
  EXPECT_EQ(Identify(last).Table.TimeName, "Time");
  EXPECT_EQ(Identify(middle).Table.Format.TimeColumn, 2);
  EXPECT_EQ(Identify(unnamed).Table.Format.TimeColumn, 3);
  // Named as a signal, the time column is said to be the time.
  ResampleOptions o;
  o.Columns = {"MV", "U", "Time", ""};
  EXPECT_EQ(Refusal(last, o), "Y1: 'Time' je stolpec časa, ne signal.");

  // No column can be the time: numbers that do not rise, no time heading.
  std::string none = "A;B;C\n";
  for (int k = 0; k < 20; ++k) none += std::to_string(k % 3) + ";5;" + std::to_string(k % 2) + "\n";
  EXPECT_EQ(Refusal(none),
            "vrstica 2: noben stolpec ne more biti čas: nobeden nima naslova časa (Time, Čas, "
            "Timestamp, Datum …), datuma in časa, časa dneva ali naraščajočih sekund; stolpec "
            "časa izberite sami.");
}

TEST(ExportLayouts, ALongExportIsPivotedToAColumnPerTagAndItsQualityHonoured) {
  const Plant p = MakePlant();
  // Sorted by tag, then time, as many historians write it; a quality per value. Two
  // samples of the measurement are "Bad" zeros.
  std::string text = "Tag,Timestamp,Value,Quality\n";
  for (const char* tag : {"FIC101.OUT", "TI101.PV", "FIC101.SP"})
    for (int k = 0; k < Samples; ++k) {
      const std::string t(tag);
      const bool bad = t == "TI101.PV" && (k == 300 || k == 301);
      const double v = t == "TI101.PV" ? (bad ? 0 : p.Y[k]) : t == "FIC101.SP" ? 7 : p.U[k];
      text += t + "," + Iso(k) + "," + Number(v) + "," + (bad ? "Bad" : "Good") + "\n";
    }
  ResampleOptions o;
  o.Columns = {"FIC101.OUT", "", "TI101.PV", ""};
  const Outcome r = Identify(text, o);
  EXPECT_TRUE(r.Table.Long);
  EXPECT_EQ(r.Table.Names, (std::vector<std::string>{"FIC101.OUT", "TI101.PV", "FIC101.SP"}));
  EXPECT_EQ(r.Table.Counts.DataRows, Samples);
  EXPECT_EQ(r.Table.Counts.BadQualityValues, 2);
  EXPECT_EQ(r.Store->ColumnCount, 5);                                      // MV = U, no Y2
  EXPECT_EQ(r.Store->DataColumns[5][302], ParseNumber(Number(p.Y[299])));  // the bad ones held
  ExpectThePlant(*r.Store);
  const auto summary = ImportSummary(r.Table, r.Record);
  EXPECT_EQ(summary,
            (std::vector<std::string>{
                "Vrednosti s kakovostjo, ki ni dobra, v stolpcu TI101.PV: 2 (zadržana prejšnja "
                "vrednost).",
                "Vrzeli v signalu Y1 (TI101.PV): 1, najdaljša 3 s pri 299 s (zadržana zadnja "
                "vrednost; meja 5 s)."}));

  // The same rows without the header cannot be told apart: refused, never merged.
  const std::string headless = text.substr(text.find('\n') + 1);
  std::string byTime;  // and sorted by time, where rows of one time would merge
  for (int k = 0; k < 20; ++k)
    for (const char* tag : {"FIC101.OUT", "TI101.PV"})
      byTime += std::string(tag) + ";" + Iso(k) + ";" + Number(p.Y[k]) + "\n";
  for (const std::string* t : {&headless, static_cast<const std::string*>(&byTime)})
    EXPECT_NE(Refusal(*t).find("to je dolga oblika izvoza (oznaka, čas, vrednost); program jo "
                               "bere, ko glava poimenuje stolpce (na primer Tag;Timestamp;Value)."),
              std::string::npos)
        << Refusal(*t);
}

TEST(ExportLayouts, QualityColumnsAndTextInValueCellsAreGapsOfTheirSignal) {
  const Plant p = MakePlant();
  // Each value with its quality; OPC DA codes (192 good, 0 bad); a "Bad" zero, a text cell.
  std::string text = "Timestamp;MV;MV Quality;Y1;Y1 Quality;Notes\n";
  for (int k = 0; k < Samples; ++k) {
    const bool bad = k >= 400 && k < 410;
    const std::string y = k == 450 ? "I/O Timeout" : Number(bad ? 0 : p.Y[k]);
    text += Iso(k) + ";" + Number(p.U[k]) + ";192;" + y + ";" + (bad ? "0" : "192") + ";" +
            (k == 3 ? "shift change" : "x") + "\n";
  }
  const Outcome o = Identify(text);
  EXPECT_EQ(o.Table.Names, (std::vector<std::string>{"MV", "Y1", "Notes"}));
  EXPECT_EQ(o.Table.Counts.QualityColumns, 2);
  EXPECT_EQ(o.Table.Counts.BadQualityValues, 10);
  EXPECT_EQ(o.Record.Columns[1], 1);  // two numeric columns: MV = U, Y1
  EXPECT_EQ(o.Store->DataColumns[5][410], ParseNumber(Number(p.Y[399])));
  ExpectThePlant(*o.Store);
  // Counted per column of the record; the notes column is not used and not counted.
  EXPECT_EQ(ImportSummary(o.Table, o.Record),
            (std::vector<std::string>{
                "Celice, ki niso števila, v stolpcu Y1: 1 (zadržana prejšnja vrednost).",
                "Vrednosti s kakovostjo, ki ni dobra, v stolpcu Y1: 10 (zadržana prejšnja "
                "vrednost).",
                "Vrzeli v signalu Y1 (Y1): 2, najdaljša 11 s pri 399 s (zadržana zadnja vrednost; "
                "meja 5 s)."}));
}

TEST(ExportLayouts, TwoOrThreeSignalsMakeARecordWithoutY2) {
  const Plant p = MakePlant();
  std::string text = "Time;OUT;PV;SP;Other\n";
  for (int k = 0; k < Samples; ++k)
    text += std::to_string(k) + ";" + Number(p.U[k]) + ";" + Number(p.Y[k]) + ";5;6\n";
  ResampleOptions two;
  two.Columns = {"OUT", "", "PV", ""};
  const Outcome o = Identify(text, two);
  EXPECT_EQ(o.Record.Columns[1], 1);  // U = MV
  EXPECT_EQ(o.Record.Columns[3], 0);  // no Y2 although four columns hold numbers
  EXPECT_EQ(o.Store->ColumnCount, 5);
  ExpectThePlant(*o.Store);
  EXPECT_FALSE(SamplingTooSparse(*o.Store));  // no outer model to judge

  ResampleOptions wrong;
  wrong.Columns = {"1", "2", "7", ""};
  EXPECT_EQ(Refusal(text, wrong), "Y1: stolpca 7 ni; v datoteki so poleg časa le 4 stolpci.");
}

TEST(ExportLayouts, GapsOfAChangeOnlyExportAreOneLinePerSignal) {
  // Rows only when a value changed: every other interval 30 s, 29 of them.
  std::string text = "Time;MV;Y1\n";
  double t = 0;
  for (int k = 0; k < 60; ++k) {
    text += Number(t) + ";" + (k < 30 ? "1" : "2") + ";" + std::to_string(k) + "\n";
    t += k % 2 ? 30 : 1;
  }
  ResampleOptions o;
  o.SampleTime = 1;
  const DelimitedTable table = ReadDelimitedTable(SplitLines(text));
  const ImportedRecord r = ResampleTable(table, o);
  EXPECT_EQ(r.Gaps.size(), 29u);
  EXPECT_EQ(ImportSummary(table, r),
            (std::vector<std::string>{"Vrzeli v signalu MV, U (MV): 29, najdaljša 30 s pri 1 s "
                                      "(zadržana zadnja vrednost; meja 5 s).",
                                      "Vrzeli v signalu Y1 (Y1): 29, najdaljša 30 s pri 1 s "
                                      "(zadržana zadnja vrednost; meja 5 s)."}));
}

TEST(ExportLayouts, SlovenianCountsAgreeWithTheirNumber) {
  const char* forms[] = {"stolpec", "stolpca", "stolpci", "stolpcev"};
  auto text = [&](long long n) { return CountText(n, forms[0], forms[1], forms[2], forms[3]); };
  EXPECT_EQ(text(1), "1 stolpec");
  EXPECT_EQ(text(2), "2 stolpca");
  EXPECT_EQ(text(3), "3 stolpci");
  EXPECT_EQ(text(4), "4 stolpci");
  EXPECT_EQ(text(5), "5 stolpcev");
  EXPECT_EQ(text(0), "0 stolpcev");
  EXPECT_EQ(text(11), "11 stolpcev");
  EXPECT_EQ(text(12), "12 stolpcev");
  EXPECT_EQ(text(101), "101 stolpec");
  EXPECT_EQ(text(102), "102 stolpca");
  EXPECT_EQ(text(204), "204 stolpci");
}

TEST(ExportLayouts, ADaylightSavingChangeKeepsTheRowsInFileOrderAndIsSaid) {
  const Plant p = MakePlant();
  // Local time without a zone, 1 s rows: in autumn the step lies in the repeated hour
  // (the second 02:00..03:00); in spring the hour 02:00..03:00 does not exist.
  auto local = [](int day, int second) {
    char s[40];
    std::snprintf(s, sizeof s, "%d.10.2026 %02d:%02d:%02d", day, second / 3600, second / 60 % 60,
                  second % 60);
    return std::string(s);
  };
  std::string autumn = "Datum;MV;Y1\n", spring = "Datum;MV;Y1\n";
  // Autumn: 01:50:00 .. 02:59:59, then 02:00:00 .. 02:20:00 again; the step at 02:05 of
  // the second pass, 600 samples of the plant from 02:03:20 on.
  int k = 0;
  auto row = [&](std::string& text, const std::string& stamp, int sample) {
    const int i = std::clamp(sample, 0, Samples - 1);
    text += stamp + ";" + Number(sample < 0 ? 40 : p.U[i]) + ";" +
            Number(sample < 0 ? p.Y[0] : p.Y[i]) + "\n";
  };
  for (int s = 6600; s < 10800; ++s) row(autumn, local(25, s), -1);
  for (int s = 7200; s <= 8400; ++s, ++k) row(autumn, local(25, s), s - 7400);
  // Spring: 01:40:00 .. 01:59:59, then 03:00:00 on; the plant from 01:58:20.
  for (int s = 6000; s < 7200; ++s) row(spring, local(29, s), s - 7100);
  for (int s = 10800; s < 11500; ++s) row(spring, local(29, s), s - 3600 - 7100);

  const Outcome fall = Identify(autumn);
  EXPECT_EQ(fall.Table.Counts.RowsBackwards, 0);
  ASSERT_EQ(fall.Table.ClockChanges.size(), 1u);
  ExpectThePlant(*fall.Store);
  const auto said = ImportSummary(fall.Table, fall.Record);
  EXPECT_EQ(said.front(),
            "Sprememba ure pri 4200 s: ura se je premaknila ob 3:00; zapis je urejen po vrstnem "
            "redu vrstic.");
  const Outcome ahead = Identify(spring);
  EXPECT_TRUE(ahead.Record.Gaps.empty());
  EXPECT_EQ(ahead.Record.TotalSamples, 1900);
  EXPECT_EQ(ImportSummary(ahead.Table, ahead.Record).front(),
            "Sprememba ure pri 1200 s: ura se je premaknila ob 2:00; zapis je urejen po vrstnem "
            "redu vrstic.");
  ExpectThePlant(*ahead.Store);

  // The autumn record as a long export sorted by tag: each tag's repeated hour is kept in
  // its own order, never interleaved with the first pass.
  std::string narrow = "Tag;Time;Value\n";
  for (const char* tag : {"MV", "Y1"}) {
    const bool mv = tag[0] == 'M';
    for (const std::string& line : SplitLines(autumn)) {
      const size_t a = line.find(';'), b = line.find(';', a + 1);
      if (a == std::string::npos || line.rfind("Datum", 0) == 0) continue;
      narrow += std::string(tag) + ";" + line.substr(0, a) + ";" +
                (mv ? line.substr(a + 1, b - a - 1) : line.substr(b + 1)) + "\n";
    }
  }
  ResampleOptions tags;
  tags.Columns = {"MV", "", "Y1", ""};
  const Outcome longFall = Identify(narrow, tags);
  EXPECT_TRUE(longFall.Table.Long);
  EXPECT_EQ(longFall.Table.ClockChanges.size(), 1u);
  EXPECT_EQ(longFall.Table.Counts.RowsRepeated, 0);
  ExpectThePlant(*longFall.Store);
}

TEST(ExportLayouts, AStatusOfZerosAndOnesIsASignalAndTextBesideRepeatedTimesIsNoLongExport) {
  // A pump's status (0/1) is a signal; a note in every row beside stamps of whole
  // seconds at 0.5 s (every other time repeated) is no tag.
  std::string text = "Time;Flow;Status;Note\n";
  for (int k = 0; k < 40; ++k)
    text += std::to_string(k / 2) + ";" + std::to_string(10 + k) + ";" + (k < 20 ? "0" : "1") +
            ";running\n";
  const DelimitedTable t = ReadDelimitedTable(SplitLines(text));
  EXPECT_EQ(t.Names, (std::vector<std::string>{"Flow", "Status", "Note"}));
  EXPECT_EQ(t.Counts.QualityColumns, 0);
  EXPECT_EQ(t.Counts.RowsRepeated, 20);
  EXPECT_EQ(t.Values[1].back(), 1);
}

TEST(ExportLayouts, TheRecordsStartIsShownInItsOwnClockWithTheZoneNamed) {
  // 00:30 at +02:00 is 22:30 UTC of the day before: shown as the plant's clock read it.
  std::string text = "Timestamp;MV;Y1\n";
  for (int k = 0; k < 20; ++k)
    text += "2026-10-05T00:30:" + std::string(k < 10 ? "0" : "") + std::to_string(k) + "+02:00;1;" +
            std::to_string(k) + "\n";
  const DelimitedTable t = ReadDelimitedTable(SplitLines(text));
  const ImportedRecord r = ResampleTable(t, {});
  EXPECT_EQ(r.Texts.Date, "2026-10-05");
  EXPECT_EQ(r.Texts.Time, "00:30:00 (UTC+02:00)");
}
