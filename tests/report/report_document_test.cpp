// The report's document as typed from its record: sections, table numbers, the lines
// left out, the report's file name and the pictures' size on paper.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "data/TextFile.h"
#include "report/ReportImages.h"
#include "report/TPorocilo.h"
#include "report/ZipPackage.h"

namespace {

// The chunks a PNG file starts with (enough for the document model): w x h pixels at
// 192 dots per inch.
std::string PngHeader(int w, int h) {
  auto be32 = [](std::uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  std::string png("\x89PNG\r\n\x1a\n", 8);
  png += be32(13) + "IHDR" + be32(w) + be32(h) + std::string("\x08\x06\x00\x00\x00", 5) + be32(0);
  png += be32(9) + "pHYs" + be32(7559) + be32(7559) + std::string(1, '\x01') + be32(0);
  png += be32(0) + "IEND" + be32(0);
  return png;
}

class ReportDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("report_doc_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (int i = 0; i < ReportImageCount; ++i)
      WriteFileBytes(ReportImagePath(dir.string(), static_cast<ReportImage>(i)),
                     PngHeader(1154, 818));
    in.TitleLine = " Vor Tuner 1.0.7";
    in.OpcServer = "Sim.Server";
    in.OpcDescriptions[0] = "Ventil";
    in.IKi = "0.00839";
    in.PIDKd = "2.072";
    in.ScaledKp = "0.698";
    in.ScaledKi = "";
    in.ScaledKd = "0";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  ReportDocument Build() { return TPorocilo::BuildReport(in, dir.string()); }

  std::filesystem::path dir;
  ReportInputs in;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ReportDocumentTest, WithAllSectionsOffOnlyTheTitleOpcSettingsAndTablesOneToThreeRemain) {
  in.SectionObdelava = in.SectionModel = in.SectionRegulator = false;
  const ReportDocument d = Build();
  EXPECT_EQ(d.TableCount(), 3);
  const std::string text = d.PlainText();
  const std::string start = "\nPoročilo o eksperimentu\n Vor Tuner 1.0.7\n\nOPC Nastavitve\n";
  EXPECT_EQ(text.substr(0, start.size()), start);
  EXPECT_TRUE(Has(text, "OPC Strežnik: Sim.Server\n"));
  EXPECT_TRUE(Has(text, "Parametri zunanjega regulatorja\nOPC točke\nP člen\n"));
  EXPECT_FALSE(Has(text, "Obdelava"));
  EXPECT_FALSE(Has(text, "Skaliran"));
  // The title line stands right-aligned in italics.
  const auto& title = std::get<Paragraph>(d.Blocks()[2]);
  EXPECT_EQ(title.Align, Alignment::Right);
  EXPECT_TRUE(std::get<TextRun>(title.Items[0]).Format.Italic);
}

TEST_F(ReportDocumentTest, TheControllerTableIsTableFourWhicheverSectionsAreOn) {
  for (bool obdelava : {false, true}) {
    in.SectionObdelava = obdelava;
    in.SectionModel = !obdelava;
    ReportDocument d = Build();
    ASSERT_EQ(d.TableCount(), 4);
    const Table& t = d.TableAt(4);
    EXPECT_EQ(t.Rows, 5);
    EXPECT_EQ(t.RowsAlign, Alignment::Center);
    const auto& name = std::get<TextRun>(t.Cell(5, 1).Content.Items[0]);
    EXPECT_EQ(name.Text, "PID regulator");
    EXPECT_TRUE(name.Format.Bold);
    EXPECT_EQ(std::get<TextRun>(t.Cell(2, 3).Content.Items[0]).Text, "0.00839");
    EXPECT_TRUE(t.Cell(2, 2).Content.Items.empty());  // no Kp for the I controller
  }
}

TEST_F(ReportDocumentTest, SectionsCarryCaptionsStatisticsAndPictures) {
  in.Statistics[0] = {"1", "0", "0.30075282"};
  const ReportDocument d = Build();
  const std::string text = d.PlainText();
  EXPECT_TRUE(Has(text, "Časovni potek manipulativnega signala (Ventil)\n"));
  EXPECT_TRUE(Has(text, "Maksimum: 1\nMinumum: 0\nSTD: 0.30075282\n"));
  // An empty description prints the caption alone, never "()".
  EXPECT_TRUE(Has(text, "Histogram dodatnega izhoda procesa\n"));
  EXPECT_FALSE(Has(text, "()"));
  EXPECT_TRUE(Has(text, "Kvaliteta modela: \n"));
  // An empty scaled text leaves its line out; a "0" is printed.
  EXPECT_TRUE(Has(text, "Skaliran P člen: 0.698\nSkaliran D člen: 0\n"));
  int pictures = 0;
  for (const Block& b : d.Blocks())
    if (const auto* p = std::get_if<Paragraph>(&b))
      for (const Inline& item : p->Items)
        if (const auto* pic = std::get_if<Picture>(&item)) {
          ++pictures;
          EXPECT_NEAR(pic->WidthPt, 1154 * 72.0 / 192, 0.1);  // the chart's size on screen
        }
  EXPECT_EQ(pictures, 10);
}

TEST_F(ReportDocumentTest, AMissingPictureIsAnErrorNamingTheFile) {
  std::filesystem::remove(ReportImagePath(dir.string(), ReportImage::Model));
  EXPECT_THROW(
      {
        try {
          Build();
        } catch (const FileError& e) {
          EXPECT_TRUE(Has(e.what(), "kavrin3.png")) << e.what();
          throw;
        }
      },
      FileError);
}

TEST(ReportPath, TheChosenNameGetsTheDocumentsExtension) {
  EXPECT_EQ(ReportPathFor("/a/r"), "/a/r.docx");
  EXPECT_EQ(ReportPathFor("/a/r.doc"), "/a/r.docx");
  EXPECT_EQ(ReportPathFor("/a/R.DOCX"), "/a/R.DOCX");
  EXPECT_EQ(ReportPathFor("/a/r.pdf"), "/a/r.pdf");
  EXPECT_EQ(ReportPathFor("/a.b/r"), "/a.b/r.docx");
  EXPECT_EQ(ReportPathFor("/a/r.v2"), "/a/r.v2.docx");
  // The filter chosen in the dialog decides the extension of a name without one.
  EXPECT_EQ(ReportPathFor("/a/r", true), "/a/r.pdf");
  EXPECT_EQ(ReportPathFor("/a/r.docx", true), "/a/r.docx");
  EXPECT_TRUE(IsPdfPath("x.PDF"));
}

TEST_F(ReportDocumentTest, AMissingOrUnreadableTemplateIsAnErrorAndNothingIsWritten) {
  in.ReportPath = (dir / "r.docx").string();
  in.Template = (dir / "none.dotx").string();
  EXPECT_THROW(
      {
        try {
          TPorocilo().CreateReport(in);
        } catch (const std::runtime_error& e) {
          EXPECT_EQ(std::string(e.what()), "Predloga \"" + in.Template + "\" ne obstaja.");
          throw;
        }
      },
      std::runtime_error);
  in.Template = ReportImagePath(dir.string(), ReportImage::Model);  // not a package
  EXPECT_THROW(TPorocilo().CreateReport(in), std::runtime_error);
  // A package whose main part's root element is not "w:document".
  in.Template = (dir / "broken.dotx").string();
  WriteFileBytes(
      in.Template,
      ZipBytes(
          {{"[Content_Types].xml",
            R"(<Types><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
           {"_rels/.rels",
            R"(<Relationships><Relationship Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
           {"word/document.xml", "<w:documentX><w:body></w:body></w:documentX>"}}));
  try {
    TPorocilo().CreateReport(in);
    ADD_FAILURE() << "a broken template was used";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Predloga \"" + in.Template +
                  "\" ni dokument, ki ga program zna uporabiti (.dotx ali .docx).");
  }
  EXPECT_FALSE(std::filesystem::exists(in.ReportPath));
  // A package is never unpacked past its limit, whatever sizes it claims.
  WriteFileBytes(in.Template, ZipBytes({{"a.xml", std::string(3 << 20, 'a')},
                                        {"b.xml", std::string(2 << 20, 'b')}}));
  EXPECT_EQ(ReadZipParts(in.Template, 5 << 20).size(), 2u);
  try {
    ReadZipParts(in.Template, 4 << 20);
    ADD_FAILURE() << "unpacked past the limit";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot read package \"" + in.Template + "\": it unpacks to more than 4 MiB");
  }
}

TEST_F(ReportDocumentTest, TheRobustnessTableFollowsTheControllerTableAsTableFive) {
  in.Robustness = {{"Tip regulatorja", "Ms", "Amplitudni razloček", "Fazni razloček"},
                   {"I regulator", "1.31", "11.15 (20.9 dB)", "67.0°"},
                   {"P regulator", "1.38", "4.04 (12.1 dB)", "112.8°"},
                   {"PI regulator", "nestabilno", "nestabilno", "nestabilno"},
                   {"PID regulator", "1.86", "∞", "–"}};
  ReportDocument d = Build();
  ASSERT_EQ(d.TableCount(), 5);
  EXPECT_EQ(d.TableAt(4).Rows, 5);  // the controller table keeps its number and layout
  EXPECT_EQ(std::get<TextRun>(d.TableAt(4).Cell(2, 3).Content.Items[0]).Text, "0.00839");
  const Table& t = d.TableAt(5);
  EXPECT_EQ(t.Rows, 5);
  EXPECT_EQ(t.RowsAlign, Alignment::Center);
  EXPECT_EQ(std::get<TextRun>(t.Cell(1, 3).Content.Items[0]).Text, "Amplitudni razloček");
  const auto& name = std::get<TextRun>(t.Cell(4, 1).Content.Items[0]);
  EXPECT_EQ(name.Text, "PI regulator");
  EXPECT_TRUE(name.Format.Bold);
  EXPECT_EQ(std::get<TextRun>(t.Cell(5, 3).Content.Items[0]).Text, "∞");
  const std::string text = d.PlainText();
  EXPECT_LT(text.find("Skaliran D člen: 0\n"), text.find("Robustnost regulatorjev\n"));
  // Without the section the table is left out with the controller table.
  in.SectionRegulator = false;
  EXPECT_EQ(Build().TableCount(), 3);
}

TEST_F(ReportDocumentTest, TheFirstPageSaysWhatTheReportIsAboutAndBoxesItsWarnings) {
  in.AboutLines = {"Eksperiment: poizkus", "Datum: 8. 12. 2026", "Začetek: 10:02:03"};
  in.Warnings = {
      "Opozorilo: Y1 se je pred skokom MV spreminjal (19,8 → 29,0); ojačenje in "
      "časovna konstanta modela sta lahko napačna.",
      "Opozorilo: Vzorčenje je preredko"};
  in.OpcServer.clear();  // a record not made on a server names none
  in.TuningMethod = "Metoda provršin - motnja";
  in.ResponseKind = "Odziv na motnjo";
  in.Cascade = true;
  in.InnerModel.Gain = "1.995";
  in.OuterModel.Gain = "0.750";
  in.InnerLoopGain = "2.1234";
  ReportDocument d = Build();
  const std::string text = d.PlainText();
  // Title, what it is about, then the box, all before the first page break.
  const size_t box = text.find("Opozorila\nOpozorilo: Y1 se je pred skokom MV spreminjal");
  ASSERT_NE(box, std::string::npos) << text;
  EXPECT_LT(text.find("Eksperiment: poizkus\nDatum: 8. 12. 2026\nZačetek: 10:02:03\n"), box);
  EXPECT_EQ(d.TableAt(1).Rows, 3);
  EXPECT_EQ(d.TableAt(1).Columns, 1);
  EXPECT_FALSE(Has(text, "OPC Strežnik"));
  // The model section shows both models; the regulator section the method and the
  // inner loop's gain.
  EXPECT_TRUE(Has(text, "Notranji proces (U → Y1)\nOcenjeno ojačenje: 1.995\n"));
  EXPECT_TRUE(Has(text, "Zunanji proces (Y1 → Y2)\nOcenjeno ojačenje: 0.750\n"));
  EXPECT_TRUE(Has(text, "Metoda nastavljanja: Metoda provršin - motnja\n"));
  EXPECT_TRUE(Has(text, "Ojačenje notranje zanke: 2.1234\n"));
  EXPECT_TRUE(Has(text, "Odprtozančni in zaprtozančni odzivi (Odziv na motnjo)\n"));
  // The controller table keeps its place after the three OPC tables.
  EXPECT_EQ(d.TableAt(5).Rows, 5);
  EXPECT_EQ(d.TableAt(5).Columns, 4);
}
