// The report as the program writes it: the ".docx" package, LibreOffice reading it, the
// PDF with the same text, a template's parts, and the "Izdelaj poročilo" button.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest/QTest>
#include <filesystem>

#include "data/TextFile.h"
#include "model/IdentifyModel.h"
#include "model/ModelTestData.h"
#include "report/DocxCheck.h"
#include "report/ReportImages.h"
#include "report/ReportTexts.h"
#include "report/TPorocilo.h"
#include "report/ZipPackage.h"
#include "report/ui/ChartReportImages.h"
#include "report/ui/PdfReportWriter.h"
#include "report/ui/ReportPage.h"
#include "support/AppFixture.h"
#include "tuning/Recomputation.h"

namespace {

bool NoImageIn(const QString& folder) {
  for (int i = 0; i < ReportImageCount; ++i)
    if (QFileInfo::exists(QString::fromStdString(
            ReportImagePath(folder.toStdString(), static_cast<ReportImage>(i)))))
      return false;
  return true;
}

// A step response identified and tuned, its ten images drawn offscreen, and the
// record filled as the tabs would show it.
class ReportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    modeltest::Record record;
    record.HasOuter = true;
    record.Noise = 0.01;
    store = modeltest::MakeStore(record);
    IdentifyModel(*store, 1, 200);
    ApplyTuning(*store, 0, 10, false);
    double last = 0;
    const SimulationOutcome sim =
        SimulateResponses(*store, ResolveSampleTime("1", '.', last), 0, false);
    OffscreenReportImages images;
    ReportImageRequest request;
    request.Start = 1;
    request.End = 200;
    request.Curves = &*sim.Curves;
    ExportReportImages(images, Folder(), *store, request);

    in.TitleLine = " Vor Tuner 1.0.7";
    in.OpcServer = "VorTuner.SimulatedPlant";
    const char* ids[] = {"Plant.MV", "", "Plant.U", "", "Plant.Y1", "Plant.Y2"};
    const char* descriptions[] = {"Ventil", "", "Regulator", "", "Pretok", "Nivo"};
    for (size_t i = 0; i < 6; ++i) {
      in.OpcItemIds[i] = ids[i];
      in.OpcDescriptions[i] = descriptions[i];
    }
    for (size_t r = 7; r <= 12; ++r) in.OpcItemIds[r] = "PID1.Item" + std::to_string(r);
    in.Statistics = ShownStatistics(*store, 1, 200, '.');
    SetModelTexts(in, ShownModelTexts(*store, false, 5, '.'));
    PanelInput panel;
    SetControllerTexts(in, SummaryTexts(*store, false, '.'),
                       ComputeControllerPanel(store->Tuning, panel, '.'));
  }
  std::string Folder() const { return dir.path().toStdString(); }
  std::string Path(const char* name) const { return Folder() + "/" + name; }

  // Every caption, cell and statistic of a full report, in document order.
  QStringList Expected() const {
    QStringList e{QString::fromUtf8("Poročilo o eksperimentu"),
                  "Vor Tuner 1.0.7",
                  "OPC Nastavitve",
                  QString::fromUtf8("OPC Strežnik: VorTuner.SimulatedPlant"),
                  "Procesni signali",
                  "Opis",
                  "Manipulativni signal 1",
                  "Ventil",
                  "Plant.MV",
                  "Meritev 2",
                  "Nivo",
                  "Plant.Y2",
                  "Parametri regulatorja",
                  "PID1.Item7",
                  "Avtomatsko",
                  "PID1.Item12",
                  "Parametri zunanjega regulatorja",
                  "Obdelava"};
    const char* captions[] = {"Časovni potek manipulativnega signala (Ventil)",
                              "Časovni potek izhoda regulatorja (Regulator)",
                              "Časovni potek izhoda procesa (Pretok)",
                              "Časovni potek dodatnega izhoda procesa (Nivo)"};
    for (size_t i = 0; i < 4; ++i) {
      const SignalStatisticsTexts& s = in.Statistics[i];
      e << QString::fromUtf8(captions[i]) << QString::fromStdString("Maksimum: " + s.Maximum)
        << QString::fromStdString("Minumum: " + s.Minimum)
        << QString::fromStdString("STD: " + s.StdDev);
    }
    e << "Model" << QString::fromStdString("Ocenjeno ojačenje: " + in.ModelGain)
      << QString::fromStdString("Kvaliteta modela: " + in.ModelQuality) << "Regulator"
      << "Tip regulatorja"
      << "I regulator" << QString::fromStdString(in.IKi) << "PID regulator"
      << QString::fromStdString(in.PIDKd)
      << QString::fromStdString(std::string("Skaliran P člen: ") + in.ScaledKp);
    return e;
  }

  QTemporaryDir dir;
  std::unique_ptr<MeasurementStore> store;
  ReportInputs in;
};

}  // namespace

TEST_F(ReportFiles, TheDocxIsASoundPackageThatLibreOfficeReadsInOrder) {
  in.ReportPath = Path("full.docx");
  TPorocilo().CreateReport(in);
  EXPECT_EQ(docxcheck::PackageProblems(in.ReportPath), std::vector<std::string>{});
  int pictures = 0;
  for (const ZipPart& p : ReadZipParts(in.ReportPath))
    pictures += p.Name.rfind("word/media/", 0) == 0 ? 1 : 0;
  EXPECT_EQ(pictures, 10);

  if (!docxcheck::HaveTool("soffice") || !docxcheck::HaveTool("pdftotext"))
    GTEST_SKIP() << "LibreOffice (soffice) or pdftotext is not installed: the report is not "
                    "converted and read back (scripts/test installs both)";
  const QString pdf =
      docxcheck::ConvertWithLibreOffice(QString::fromStdString(in.ReportPath), dir.path());
  ASSERT_FALSE(pdf.isEmpty());
  QString missing;
  EXPECT_GE(docxcheck::FindInOrder(docxcheck::PdfText(pdf), Expected(), &missing), 0)
      << "not found in order: " << missing.toStdString();
}

TEST_F(ReportFiles, ThePdfHasTheDocumentsTextInOrderOnItsPages) {
  if (!docxcheck::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext is not installed";
  in.ReportPath = Path("full.pdf");
  const PdfReportWriter pdf;
  TPorocilo(&pdf).CreateReport(in);
  const QString text = docxcheck::PdfText(QString::fromStdString(in.ReportPath));
  const std::string plain = TPorocilo::BuildReport(in, Folder()).PlainText();
  EXPECT_EQ(docxcheck::Words(text), docxcheck::Words(QString::fromStdString(plain)));
  // A page per section and per signal: the title page, four signals, model, regulator.
  EXPECT_EQ(text.count(QChar('\f')), 7);
}

TEST_F(ReportFiles, ATemplateLendsItsPartsPageHeaderAndFooterButNotItsBody) {
  const std::string main =
      R"(<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><w:body><w:p><w:r><w:t>Besedilo predloge</w:t></w:r></w:p>)"
      R"(<w:sectPr><w:headerReference w:type="default" r:id="rId7"/><w:footerReference w:type="default" r:id="rId8"/><w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1000" w:right="1000" w:bottom="1000" w:left="1000"/></w:sectPr></w:body></w:document>)";
  const std::vector<ZipPart> parts = {
      {"[Content_Types].xml",
       R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>)"
       R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"/><Override PartName="/word/header1.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml"/></Types>)"},
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
      {"word/document.xml", main},
      {"word/_rels/document.xml.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/header" Target="header1.xml"/>)"
       R"(<Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer" Target="footer1.xml"/></Relationships>)"},
      {"word/header1.xml",
       R"(<?xml version="1.0" encoding="UTF-8"?><w:hdr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:p><w:r><w:t>Glava podjetja</w:t></w:r></w:p></w:hdr>)"},
      // "Stran N od M": N a simple field, M a complex one whose saved result is stale.
      {"word/footer1.xml",
       R"(<?xml version="1.0" encoding="UTF-8"?><w:ftr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:p><w:r><w:t xml:space="preserve">Stran </w:t></w:r>)"
       R"(<w:fldSimple w:instr=" PAGE "><w:r><w:t>9</w:t></w:r></w:fldSimple><w:r><w:t xml:space="preserve"> od </w:t></w:r>)"
       R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText> NUMPAGES \* MERGEFORMAT </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r>)"
       R"(<w:r><w:t>9</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r><w:r><w:t xml:space="preserve"> &amp; konec</w:t></w:r></w:p><w:p/></w:ftr>)"}};
  in.Template = Path("predloga.dotx");
  WriteFileBytes(in.Template, ZipBytes(parts));
  in.ReportPath = Path("t.docx");
  TPorocilo().CreateReport(in);
  EXPECT_EQ(docxcheck::PackageProblems(in.ReportPath), std::vector<std::string>{});
  std::string body, types;
  for (const ZipPart& p : ReadZipParts(in.ReportPath)) {
    if (p.Name == "word/document.xml") body = p.Bytes;
    if (p.Name == "[Content_Types].xml") types = p.Bytes;
  }
  EXPECT_EQ(body.find("Besedilo predloge"), std::string::npos);
  EXPECT_NE(body.find(R"(<w:footerReference w:type="default" r:id="rId8"/><w:pgSz w:w="12240")"),
            std::string::npos);
  EXPECT_NE(types.find("wordprocessingml.document.main+xml"), std::string::npos);
  EXPECT_EQ(types.find("template.main"), std::string::npos);
  if (docxcheck::HaveTool("soffice") && docxcheck::HaveTool("pdftotext")) {
    const QString pdf =
        docxcheck::ConvertWithLibreOffice(QString::fromStdString(in.ReportPath), dir.path());
    EXPECT_TRUE(docxcheck::PdfText(pdf).contains("Glava podjetja"));
  }
  // The program's own PDF puts them on every page, with the page fields filled in.
  if (!docxcheck::HaveTool("pdftotext")) return;
  in.ReportPath = Path("t.pdf");
  const PdfReportWriter writer;
  TPorocilo(&writer).CreateReport(in);
  const QStringList pages = docxcheck::PdfText(QString::fromStdString(in.ReportPath))
                                .split(QChar('\f'), Qt::SkipEmptyParts);
  ASSERT_GE(pages.size(), 2);
  for (qsizetype i = 0; i < pages.size(); ++i) {
    EXPECT_TRUE(pages[i].contains("Glava podjetja")) << i;
    EXPECT_TRUE(
        pages[i].contains(QStringLiteral("Stran %1 od %2 & konec").arg(i + 1).arg(pages.size())))
        << pages[i].toStdString();
  }
}

// An earlier report as the template: its look, not its charts and text; the new report has
// exactly its own ten pictures (none without sections) and a sound package.
TEST_F(ReportFiles, AnEarlierReportWorksAsTheTemplate) {
  auto media = [](const std::string& path) {
    int n = 0;
    for (const ZipPart& p : ReadZipParts(path)) n += p.Name.rfind("word/media/", 0) == 0;
    return n;
  };
  in.ReportPath = Path("prvo.docx");
  TPorocilo().CreateReport(in);
  ASSERT_EQ(media(in.ReportPath), 10);
  in.Template = in.ReportPath;
  in.ReportPath = Path("drugo.docx");
  TPorocilo().CreateReport(in);
  EXPECT_EQ(media(in.ReportPath), 10);
  EXPECT_EQ(docxcheck::PackageProblems(in.ReportPath), std::vector<std::string>{});
  in.SectionObdelava = in.SectionModel = in.SectionRegulator = false;
  in.ReportPath = Path("tretje.docx");
  TPorocilo().CreateReport(in);
  EXPECT_EQ(media(in.ReportPath), 0);
  EXPECT_EQ(docxcheck::PackageProblems(in.ReportPath), std::vector<std::string>{});
}

using ReportButton = AppFixture;

TEST_F(ReportButton, WritesTheReportDeletesTheImagesAndOpensIt) {
  QTemporaryDir dir;
  ReportPage& page = Form().ReportTab();
  ui.QueueFileAnswer(dir.path() + "/porocilo");
  QTest::mouseClick(Find<QPushButton>("Button_Naredi_porocilo"), Qt::LeftButton);
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join('\n').toStdString();
  EXPECT_EQ(ui.OpenedDocuments, QStringList{dir.path() + "/porocilo.docx"});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"porocilo.docx"});
  EXPECT_EQ(Form().SaveDialog_Porocilo.Filter,
            QString::fromUtf8("Poročilo (*.docx)|*.docx|PDF (*.pdf)|*.pdf"));

  // A template that does not exist: one error box, no report, no image.
  page.Label63->setText(dir.path() + "/none.dotx");
  page.CheckBox1->setChecked(false);
  ui.QueueFileAnswer(dir.path() + "/drugo.pdf");
  QTest::mouseClick(page.Button_Naredi_porocilo, Qt::LeftButton);
  EXPECT_EQ(ui.Errors, QStringList{"Predloga \"" + dir.path() + "/none.dotx\" ne obstaja."});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"porocilo.docx"});
  EXPECT_TRUE(NoImageIn(dir.path()));
}

TEST_F(ReportButton, ChoosingATemplateShowsItsPath) {
  if (const char* shot = std::getenv("VORTUNER_SCREENSHOT")) {  // to look at the tab
    Form().PageControl1->setCurrentIndex(TabPorocilo);
    Form().show();
    QTest::qWait(200);
    Form().grab().save(QString::fromLocal8Bit(shot));
  }
  ui.QueueFileAnswer("/predloge/firma.dotx");
  QLabel* label = Find<QLabel>("Label63");
  EXPECT_EQ(label->text(), "normal.dot");
  QTest::mouseClick(Find<QPushButton>("KnofIzborPredloge"), Qt::LeftButton);
  EXPECT_EQ(label->text(), "/predloge/firma.dotx");
  ui.QueueFileAnswer("");  // cancelled: unchanged
  QTest::mouseClick(Find<QPushButton>("KnofIzborPredloge"), Qt::LeftButton);
  EXPECT_EQ(label->text(), "/predloge/firma.dotx");
}

TEST_F(ReportButton, TheFilterDecidesTheExtensionAndTheStatusBarSaysWhereItWent) {
  QTemporaryDir dir;
  Form().LastDirectory = dir.path();  // the experiments' folder: the dialog starts there
  ui.OpensDocuments = false;          // no viewer on this desktop
  ui.QueueFileAnswer(dir.path() + "/porocilo", 1);  // "PDF (*.pdf)", a name without extension
  QTest::mouseClick(Find<QPushButton>("Button_Naredi_porocilo"), Qt::LeftButton);
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join('\n').toStdString();
  ASSERT_FALSE(ui.ShownDialogs.empty());
  EXPECT_EQ(ui.ShownDialogs.back().InitialDir, dir.path());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"porocilo.pdf"});
  EXPECT_EQ(Form().StatusText(),
            QString::fromUtf8("Poročilo je zapisano: %1 (pregledovalnik se ni odprl).")
                .arg(QDir::toNativeSeparators(dir.path() + "/porocilo.pdf")));
}
