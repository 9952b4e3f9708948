// "Naloži iz datoteke" with a historian's export: the import dialog shows what it detected
// and counted, and only its "Naloži" replaces the record.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>

#include "charts/VorChart.h"
#include "data/TextFile.h"
#include "data/ui/ImportDialog.h"
#include "data/ui/ProcessingPage.h"
#include "support/AppFixture.h"

namespace {

class ImportDialogTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
    dir =
        std::filesystem::temp_directory_path() / ("vortuner_import_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // A record to keep or replace: 100 samples.
    MeasurementStore& s = Form().Store();
    s.SampleCount = 100;
    s.SampleTime = 0.5;
    s.ColumnCount = 6;
    for (int k = 1; k <= 100; ++k) s.TimeColumn[k] = (k - 1) * 0.5;
    Page().ConditionAfterExperiment();
  }
  void TearDown() override {
    QLocale::setDefault(QLocale::c());
    std::filesystem::remove_all(dir);
  }
  ProcessingPage& Page() { return Form().ProcessingTab(); }
  QString Write(const char* name, const std::string& text) {
    const std::string path = (dir / name).string();
    WriteFileBytes(path, text);
    return QString::fromStdString(path);
  }
  // Clicks "Naloži iz datoteke" on the file; `inDialog` runs while the dialog is open.
  void Load(const QString& path, const std::function<void(ImportDialog&)>& inDialog) {
    ui.QueueFileAnswer(path);
    bool shown = false;
    QTimer::singleShot(0, [&] {
      auto* d = qobject_cast<ImportDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(d, nullptr);
      shown = true;
      inDialog(*d);
      if (d->isVisible()) d->reject();
    });
    QTest::mouseClick(Page().Button_NaloziIzDatoteke, Qt::LeftButton);
    EXPECT_TRUE(shown);
  }
  std::filesystem::path dir;
};

}  // namespace

TEST_F(ImportDialogTest, AnExportWithAHeaderIsShownCountedAndLoadedByColumnNames) {
  std::string text = "Čas;Ventil;Izhod;Temperatura;Tlak;\r\n";
  for (int s = 0; s < 120; ++s) {
    if (s == 60) continue;  // a missing row
    char line[96];
    std::snprintf(line, sizeof line, "2026-12-08 10:%02d:%02d;%s;%s;%d,5;;\r\n", s / 60, s % 60,
                  s < 30 ? "20" : "60", s < 30 ? "20" : "60", 40 + s);
    text += line;
  }
  const QString path = Write("export.csv", text);
  Load(path, [](ImportDialog& d) {
    EXPECT_EQ(d.Label_Zaznano->text(),
              "Uporabljeno: ločilo podpičje, decimalni znak vejica, čas: datum in čas v stolpcu 1, "
              "glava v vrstici 1; prva vrstica s podatki 2.");
    EXPECT_EQ(d.Table_Predogled->horizontalHeaderItem(3)->text(), "Temperatura");
    EXPECT_EQ(d.Table_Predogled->item(0, 3)->text(), "40,5");
    EXPECT_EQ(d.Combo_Y1->currentText(), "Temperatura");
    EXPECT_EQ(d.Combo_Y2->currentText(), "(brez)");  // Tlak holds no number
    EXPECT_EQ(d.Combo_U->currentText(), "Izhod");
    const QString counts = d.Text_Stetje->toPlainText();
    EXPECT_TRUE(
        counts.contains("Zapis: 120 vzorcev po 1 s, od 0 s do 119 s od začetka "
                        "(2026-12-08 10:00:00)."))
        << counts.toStdString();
    // Tlak's empty cells are no signal's: not counted against the record.
    EXPECT_TRUE(counts.contains("Prazne celice: 0 (zadržana prejšnja vrednost)."));
    EXPECT_TRUE(counts.contains("Vrstice s časom pred prejšnjo vrstico: 0 (izpuščene)."));
    // Tlak is empty throughout: as Y2 it cannot make a record, so "Naloži" is off.
    d.Combo_Y2->setCurrentText("Tlak");
    EXPECT_FALSE(d.Button_Nalozi->isEnabled());
    EXPECT_TRUE(
        d.Text_Stetje->toPlainText().contains("Y2: stolpec 'Tlak' nima nobene številske "
                                              "vrednosti."));
    d.Combo_Y2->setCurrentText("(brez)");
    d.Edit_CasVzorcenja->setText("2");
    emit d.Edit_CasVzorcenja->editingFinished();
    ASSERT_TRUE(d.Button_Nalozi->isEnabled());
    QTest::mouseClick(d.Button_Nalozi, Qt::LeftButton);
  });
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  ProcessingPage& p = Page();
  const MeasurementStore& s = Form().Store();
  EXPECT_EQ(s.SampleCount, 60);
  EXPECT_EQ(s.SampleTime, 2);
  EXPECT_EQ(s.ColumnCount, 5);
  EXPECT_EQ(s.DataColumns[5][31], 99.5);  // 60 s, the missing row: 59 s held
  EXPECT_EQ(p.Label_Ns->text(), "60");
  EXPECT_EQ(p.Label_Ts->text(), "2");
  EXPECT_EQ(p.Label_Ime->text(), path);
  EXPECT_EQ(p.Label_Datum->text(), "2026-12-08");
  EXPECT_EQ(p.Label20->text(), "Temperatura");
  EXPECT_FALSE(p.Chart2->isVisibleTo(&p));
  EXPECT_EQ(p.Series2->Count(), 60);
}

TEST_F(ImportDialogTest, AFileThatIsNoTableIsRefusedInTheDialogAndTheRecordStays) {
  const QString path = Write("letter.txt", "Dear operator\nplease find the data\nRegards\n");
  Load(path, [](ImportDialog& d) {
    EXPECT_FALSE(d.Button_Nalozi->isEnabled());
    EXPECT_EQ(d.Text_Stetje->toPlainText(),
              "Datoteka ni sprejeta: vrstica 1: datoteka ni tabela: vrstice nimajo skupnega ločila "
              "(podpičje, tabulator ali vejica).");
    EXPECT_EQ(d.Table_Predogled->item(0, 0)->text(), "Dear operator");
  });
  EXPECT_EQ(Form().Store().SampleCount, 100);
  EXPECT_EQ(Page().Label_Ns->text(), "100");
}

TEST_F(ImportDialogTest, ALongExportWithTheTimeInTheMiddleAndQualityIsPivotedAndLoaded) {
  // Sorted by tag; the time between the tag and the value; OPC DA qualities, one bad.
  std::string text = "TagName;Timestamp;Value;Quality\r\n";
  for (const char* tag : {"FIC7.OUT", "TI7.PV"})
    for (int s = 0; s < 60; ++s) {
      char line[96];
      std::snprintf(line, sizeof line, "%s;2026-10-05 10:00:%02d;%s;%d\r\n", tag, s,
                    tag[0] == 'F' ? (s < 20 ? "40" : "50") : std::to_string(60 + s).c_str(),
                    tag[0] == 'T' && s == 30 ? 0 : 192);
      text += line;
    }
  Load(Write("long.csv", text), [](ImportDialog& d) {
    EXPECT_EQ(d.Label_Zaznano->text(),
              "Uporabljeno: ločilo podpičje, decimalni znak pika, čas: datum in čas v stolpcu 2, "
              "glava v vrstici 1; prva vrstica s podatki 2. Dolga oblika (oznaka, čas, vrednost): "
              "stolpec za vsako oznako (2). Stolpci kakovosti: 1; vrednost, ki ni dobra, je "
              "vrzel.");
    EXPECT_EQ(d.Combo_MV->currentText(), "FIC7.OUT");
    EXPECT_EQ(d.Combo_Y1->currentText(), "TI7.PV");
    const QString counts = d.Text_Stetje->toPlainText();
    EXPECT_TRUE(counts.contains("Zapis: 60 vzorcev po 1 s")) << counts.toStdString();
    EXPECT_TRUE(
        counts.contains("Vrednosti s kakovostjo, ki ni dobra, v stolpcu TI7.PV: 1 "
                        "(zadržana prejšnja vrednost)."))
        << counts.toStdString();
    ASSERT_TRUE(d.Button_Nalozi->isEnabled());
    QTest::mouseClick(d.Button_Nalozi, Qt::LeftButton);
  });
  ASSERT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join(' ').toStdString();
  const MeasurementStore& s = Form().Store();
  EXPECT_EQ(s.SampleCount, 60);
  EXPECT_EQ(s.ColumnCount, 5);
  EXPECT_EQ(s.DataColumns[1][22], 50);
  EXPECT_EQ(s.DataColumns[5][31], 89);  // 30 s was bad: 29 s held
  // No actuator model was asked for: no rate limit on the page.
  EXPECT_EQ(Page().Edit_Actuator_Velocity->text(), "0");
  EXPECT_EQ(Page().Edit_Actuator_Maximum->text(), "100");
}

TEST_F(ImportDialogTest, AnActuatorGivenInTheDialogIsTheRecordsConditioning) {
  std::string text = "Time;OUT;PV\n";
  for (int s = 0; s < 60; ++s)
    text += std::to_string(s) + ";" + (s < 20 ? "40" : "50") + ";" + std::to_string(s) + "\n";
  Load(Write("valve.csv", text), [](ImportDialog& d) {
    EXPECT_EQ(d.Edit_Aktuator_Cas->placeholderText(), "brez omejitve hitrosti");
    d.Edit_Aktuator_Cas->setText("-1");
    emit d.Edit_Aktuator_Cas->editingFinished();
    EXPECT_FALSE(d.Button_Nalozi->isEnabled());
    EXPECT_TRUE(
        d.Text_Stetje->toPlainText().contains("Čas odziva aktuatorja ne sme biti "
                                              "negativen."));
    d.Edit_Aktuator_Cas->setText("20");
    emit d.Edit_Aktuator_Cas->editingFinished();
    ASSERT_TRUE(d.Button_Nalozi->isEnabled());
    QTest::mouseClick(d.Button_Nalozi, Qt::LeftButton);
  });
  EXPECT_EQ(Page().Edit_Actuator_Velocity->text(), "20");
  // A full stroke in 20 s: 5 % a second, so the step of U takes two samples.
  const MeasurementStore& s = Form().Store();
  EXPECT_EQ(s.UConditioned[21], 40);
  EXPECT_EQ(s.UConditioned[22], 45);
}

TEST_F(ImportDialogTest, AnExportWhoseNumbersCannotBeTheTimeIsRefusedSayingSo) {
  std::string text = "A;B;C\n";
  for (int k = 0; k < 20; ++k) text += std::to_string(k % 3) + ";5;" + std::to_string(k % 2) + "\n";
  Load(Write("notime.csv", text), [](ImportDialog& d) {
    EXPECT_FALSE(d.Button_Nalozi->isEnabled());
    EXPECT_TRUE(d.Text_Stetje->toPlainText().startsWith(
        "Datoteka ni sprejeta: vrstica 2: noben stolpec ne more biti čas"))
        << d.Text_Stetje->toPlainText().toStdString();
    // The engineer's own choice of the time column is taken.
    d.SpinBox_StolpecCasa->setValue(1);
    EXPECT_FALSE(d.Text_Stetje->toPlainText().contains("noben stolpec"));
  });
  EXPECT_EQ(Form().Store().SampleCount, 100);
}

// An export past the reader's bound (2 GB) is refused before it is read, in the window's
// Slovenian; the record stays.
TEST_F(ImportDialogTest, AnExportLargerThanTheReadersBoundIsRefusedInTheWindowsWords) {
  std::string text = "Time;MV;Y1\n";
  for (int k = 0; k < 20; ++k) text += std::to_string(k) + ";1;2\n";
  const QString path = Write("huge.csv", text);
  std::filesystem::resize_file(path.toStdString(), (std::uintmax_t{2} << 30) + 1);  // sparse
  ui.QueueFileAnswer(path);
  QTest::mouseClick(Page().Button_NaloziIzDatoteke, Qt::LeftButton);
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors.front(),
            QStringLiteral("Datoteke \"%1\" ni mogoče prebrati: večja je od 2048 MB.").arg(path));
  EXPECT_EQ(Form().Store().SampleCount, 100);
}
