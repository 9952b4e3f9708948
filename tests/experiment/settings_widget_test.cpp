#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <fstream>

#include "data/TextFile.h"
#include "experiment/SettingsFile.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "data/ui/ProcessingPage.h"
#include "model/ui/ModelPage.h"
#include "tuning/ui/RegulatorPage.h"
#include "opc/ui/OpcPage.h"
#include "opc/ui/RadioGroup.h"
#include "support/AppFixture.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string ReadBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every stored value different from the form's defaults; `v` varies the texts and flips
// the booleans, so two records differ in every line but the fixed server list's.
ExperimentSettings Distinct(const std::string& v, bool flip) {
  ExperimentSettings s;
  s.ServerName = flip ? "Drugi.Streznik.1" : "Vor.Sim.1";
  for (int row : StoredOpcRows) {
    s.ItemIds[row] = v + "id" + std::to_string(row);
    s.Descriptions[row] = v + "opis č " + std::to_string(row);
  }
  s.RaSwitchInner = flip ? 1 : 0;
  s.ManualValueInner = flip ? 0 : 1;
  s.RaSwitchOuter = flip ? 1 : 0;
  s.ManualValueOuter = flip ? 0 : 1;
  int n = 0;
  for (std::string* text : {&s.SampleTime,
                            &s.InitialInput,
                            &s.WaitTime,
                            &s.StepSize,
                            &s.StepDuration,
                            &s.NumberOfSteps,
                            &s.MvMax,
                            &s.MvMin,
                            &s.MvStep,
                            &s.FilterTime,
                            &s.ActuatorMaximum,
                            &s.ActuatorMinimum,
                            &s.ActuatorVelocity,
                            &s.ClosedLoopSampleTime,
                            &s.ScaleP,
                            &s.ScaleI,
                            &s.ScaleD,
                            &s.ReportTemplate,
                            &s.Y1Min,
                            &s.Y1Max,
                            &s.Y2Min,
                            &s.Y2Max,
                            &s.MaxDuration})
    *text = v + std::to_string(++n) + ",5";
  s.StartTime = flip ? "07:08:09" : "23:59:58";
  bool on = flip;
  for (bool* box : {&s.KeepInitialInput, &s.BothDirections, &s.ClosedLoopDuring, &s.NoOpcWrite,
                    &s.ManualMode, &s.Cascade, &s.LoadIntoController, &s.ReportProcessing,
                    &s.ReportModel, &s.ReportController, &s.ClosedLoopAfter, &s.SequencerPresent,
                    &s.EndStepWhenSettled})
    *box = (on = !on);
  s.TuningMethod = flip ? 5 : 2;
  s.Robustness = flip ? 0 : 20;
  s.ResponseView = flip ? 0 : 1;
  s.ControllerForm = flip ? 1 : 3;
  s.ControllerType = flip ? 0 : 3;
  for (int r = 0; r < SequencerRows; ++r) {
    s.Sequencer[r][0] = v + "vhod" + std::to_string(r);
    s.Sequencer[r][1] = v + "izhod" + std::to_string(r);
  }
  return s;
}

class SettingsFileWidget : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));  // decimal comma
    ASSERT_TRUE(dir.isValid());
    Opc().ComboBox2->clear();
    Opc().ComboBox2->addItems({"Vor.Sim.1", "Drugi.Streznik.1"});
    Opc().ComboBox2->setCurrentIndex(0);
  }
  void TearDown() override {
    WaitForJobs();
    QLocale::setDefault(systemLocale);
  }

  OpcPage& Opc() { return Form().OpcTab(); }
  ExperimentPage& Exp() { return Form().ExperimentTab(); }
  TForm_SamodNastav& Dlg() { return Form().SamodNastav(); }
  QString Path(const QString& name) const { return dir.filePath(name); }

  // Sets the controls by hand, as a user would, independently of the program's mapping.
  void SetControls(const ExperimentSettings& s) {
    Opc().ComboBox2->setCurrentIndex(Opc().ComboBox2->findText(Q(s.ServerName)));
    for (int row : StoredOpcRows) {
      Opc().OPCTabela->setItem(row, 0, new QTableWidgetItem(Q(s.ItemIds[row])));
      Opc().OPCTabela->setItem(row, 1, new QTableWidgetItem(Q(s.Descriptions[row])));
    }
    Opc().RadioGroup4->SetItemIndex(s.RaSwitchInner);
    Opc().ComboBox3->setCurrentIndex(s.ManualValueInner);
    Opc().RadioGroup5->SetItemIndex(s.RaSwitchOuter);
    Opc().ComboBox4->setCurrentIndex(s.ManualValueOuter);
    const std::pair<QLineEdit*, const std::string*> edits[] = {
        {Exp().CasVzorcenjaEdit, &s.SampleTime},
        {Exp().ZacetniVhodEdit, &s.InitialInput},
        {Exp().CasCakanjaEdit, &s.WaitTime},
        {Exp().VelikostStopniceEdit, &s.StepSize},
        {Exp().CasStopniceEdit, &s.StepDuration},
        {Exp().SteviloStopnicEdit, &s.NumberOfSteps},
        {Exp().Edit_MVMax, &s.MvMax},
        {Exp().Edit_MVMin, &s.MvMin},
        {Exp().Edit_MVStep, &s.MvStep},
        {Dlg().Edit_Sam_Filt, &s.FilterTime},
        {Dlg().Edit_Sam_Max, &s.ActuatorMaximum},
        {Dlg().Edit_Sam_Min, &s.ActuatorMinimum},
        {Dlg().Edit_Sam_Velocity, &s.ActuatorVelocity},
        {Dlg().Edit_Sam_Ts, &s.ClosedLoopSampleTime},
        {Dlg().Edit_Sam_SkalP, &s.ScaleP},
        {Dlg().Edit_Sam_SkalI, &s.ScaleI},
        {Dlg().Edit_Sam_SkalD, &s.ScaleD},
        {Exp().CajtZacetka, &s.StartTime},
        {Exp().Edit_Y1Min, &s.Y1Min},
        {Exp().Edit_Y1Max, &s.Y1Max},
        {Exp().Edit_Y2Min, &s.Y2Min},
        {Exp().Edit_Y2Max, &s.Y2Max},
        {Exp().Edit_NajdaljsiCas, &s.MaxDuration}};
    for (auto [edit, text] : edits) edit->setText(Q(*text));
    const std::pair<QCheckBox*, bool> boxes[] = {
        {Exp().OhraniZacetniVhod, s.KeepInitialInput}, {Exp().CheckBox_ObeSmeri, s.BothDirections},
        {Exp().CheckBox_Zaprtozancni, s.ClosedLoopDuring}, {Exp().CheckBox_NePisi, s.NoOpcWrite},
        {Dlg().CheckBox_Sam_Cascade, s.Cascade}, {Dlg().CheckBox_Sam_Nalozi, s.LoadIntoController},
        {Dlg().CheckBox_Sam_PorocObd, s.ReportProcessing}, {Dlg().CheckBox_Sam_PorocMod, s.ReportModel},
        {Dlg().CheckBox_Sam_PorocReg, s.ReportController},
        {Exp().CheckBox_ZZPoPoizkusu, s.ClosedLoopAfter}, {Exp().CheckBox_Sekvencer, s.SequencerPresent},
        {Exp().CheckBox_KoncajObUmiritvi, s.EndStepWhenSettled}};
    for (auto [box, on] : boxes) box->setChecked(on);
    (s.ManualMode ? Exp().RadioRocno : Exp().RadioAvtomatsko)->setChecked(true);
    Dlg().ComboBox_Sam_IzbMetode->setCurrentIndex(s.TuningMethod);
    Dlg().ScrollBar_Sam_Robust->setValue(s.Robustness);
    Dlg().RadioGroup_Sam_Prikaz->SetItemIndex(s.ResponseView);
    Dlg().ComboBox_Sam_TipReg->setCurrentIndex(s.ControllerForm);
    Dlg().RadioGroup_Sam_PID->SetItemIndex(s.ControllerType);
    Dlg().Label13->setText(Q(s.ReportTemplate));
    for (int r = 0; r < SequencerRows; ++r)
      for (int c = 0; c < 2; ++c)
        Exp().StringGrid_Sekvencer->setItem(r, c, new QTableWidgetItem(Q(s.Sequencer[r][c])));
  }

  void Save(const QString& path) {
    ui.QueueFileAnswer(path);
    Exp().ShraniNastavitveClick();
  }
  // Loads through the button, so an error reaches the standard error box.
  void LoadByClick(const QString& path) {
    ui.QueueFileAnswer(path);
    QMetaObject::invokeMethod(Exp().NaloziNastavitve, "click", Qt::QueuedConnection);
    QCoreApplication::processEvents();
  }
  void WriteLines(const QString& path, const std::vector<std::string>& lines) {
    WriteTextLines(path.toStdString(), lines);
  }

  QTemporaryDir dir;
  QLocale systemLocale;
};

}  // namespace

TEST_F(SettingsFileWidget, SavedFileHoldsEveryControlAtItsLineIn103CrLfLines) {
  const ExperimentSettings s = Distinct("a", false);
  SetControls(s);
  Save(Path("a.vtx"));
  const std::string bytes = ReadBytes(Path("a.vtx"));
  size_t crlf = 0;
  for (size_t i = bytes.find("\r\n"); i != std::string::npos; i = bytes.find("\r\n", i + 2)) ++crlf;
  // The older format's 98, the safety envelope's 5, the reconnect time, the settled step.
  EXPECT_EQ(crlf, 105u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);
  // Every character fits the Windows-1250 code page: "č" is the one byte 0xE8.
  EXPECT_NE(bytes.find("aopis \xE8 0\r\n"), std::string::npos);
  EXPECT_EQ(ReadTextLines(Path("a.vtx").toStdString()), SettingsLines(s));
}

TEST_F(SettingsFileWidget, LoadingReproducesEveryStoredControl) {
  SetControls(Distinct("a", false));
  const ExperimentSettings b = Distinct("b", true);
  WriteLines(Path("b.vtx"), SettingsLines(b));
  const QDate startDate = Exp().DateTimePicker1->date().addDays(3);
  Exp().DateTimePicker1->setDate(startDate);
  LoadByClick(Path("b.vtx"));
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("\n").toStdString();
  EXPECT_EQ(Exp().DateTimePicker1->date(), startDate);  // not in the file

  // Saved again, the controls give back the loaded lines.
  Save(Path("c.vtx"));
  EXPECT_EQ(ReadTextLines(Path("c.vtx").toStdString()), SettingsLines(b));
}

TEST_F(SettingsFileWidget, SaveUsesItsDialogAndSetsTheFoldersOfTheFileDialogs) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // short date M/d/yy
  Exp().DateTimePicker1->setDate(QDate(2026, 12, 6));
  Exp().CajtZacetka->setText("12:00:00");
  Save(Path("izbrana.vtx"));
  ASSERT_EQ(ui.ShownDialogs.size(), 1u);
  const FileDialog& shown = ui.ShownDialogs.front();
  EXPECT_EQ(shown.Filter, "Vor Tuner Experiment (*.vtx)|*.vtx|All files|*.*");
  EXPECT_EQ(shown.FilterIndex, 0);
  EXPECT_EQ(shown.DefaultExtension, "vtx");
  EXPECT_TRUE(shown.OverwritePrompt);
  EXPECT_EQ(shown.FileName, "12_00_00__12_6_26.vtx");
  EXPECT_TRUE(shown.InitialDir.isEmpty());

  EXPECT_EQ(Form().SaveDialog1.FileName, Path("izbrana.vtx"));
  EXPECT_EQ(Form().LastDirectory, dir.path());
  for (const FileDialog* d : {&Form().SaveDialog2, &Form().SaveDialog_Model,
                              &Form().SaveDialog_Controller, &Form().OpenDialog1,
                              &Form().OpenDialog_Model, &Form().OpenDialog_Controller})
    EXPECT_EQ(d->InitialDir, dir.path());
}

TEST_F(SettingsFileWidget, TheDataModelAndControllerDialogsOpenInTheFolderOfTheLastSavedSettings) {
  // Each page's save and open buttons, cancelled: what matters is the folder shown.
  const auto shownFolders = [&] {
    QStringList folders;
    for (auto click : {+[](TForm1& f) { f.ProcessingTab().NaloziIzDatotekeClick(); },
                       +[](TForm1& f) { f.ModelTab().Button_Shrani_ModelClick(); },
                       +[](TForm1& f) { f.ModelTab().Button_Nalozi_ModelClick(); },
                       +[](TForm1& f) { f.RegulatorTab().Button9Click(); },
                       +[](TForm1& f) { f.RegulatorTab().Button8Click(); }}) {
      ui.ShownDialogs.clear();
      ui.QueueFileAnswer("");
      click(Form());
      folders << (ui.ShownDialogs.empty() ? "(not shown)" : ui.ShownDialogs.front().InitialDir);
    }
    return folders;
  };
  const QString start = Form().LastDirectory;
  EXPECT_EQ(shownFolders(), QStringList(5, start));

  Save(Path("a.vtx"));
  EXPECT_EQ(shownFolders(), QStringList(5, dir.path()));
}

TEST_F(SettingsFileWidget, CancelledSaveWritesNothingAndKeepsLastDirectory) {
  Exp().DateTimePicker1->setDate(QDate(2026, 12, 6));
  Exp().CajtZacetka->setText("08:30:00");
  const QString before = Form().LastDirectory;
  ui.QueueFileAnswer("");  // cancel
  Exp().ShraniNastavitveClick();
  EXPECT_EQ(Form().LastDirectory, before);
  EXPECT_EQ(Form().SaveDialog1.FileName,
            Q(ProposedSettingsFileName("08:30:00", QLocale().toString(QDate(2026, 12, 6),
                                                                      QLocale::ShortFormat)
                                                          .toStdString())));
  EXPECT_FALSE(Form().SaveDialog1.FileName.contains('/'));
  EXPECT_EQ(Form().OpenDialog_Model.InitialDir, before);
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SettingsFileWidget, AFailedWriteKeepsLastDirectoryAndTheDialogFolders) {
  const QString before = Form().LastDirectory;
  Form().OpenDialog_Model.InitialDir = "earlier";
  ui.QueueFileAnswer(Path("no such folder/a.vtx"));
  EXPECT_THROW(Exp().ShraniNastavitveClick(), FileError);
  EXPECT_EQ(Form().LastDirectory, before);
  EXPECT_EQ(Form().OpenDialog_Model.InitialDir, "earlier");
}

TEST_F(SettingsFileWidget, LoadUsesTheSharedOpenDialogAndKeepsLastDirectory) {
  WriteLines(Path("x.vtx"), SettingsLines(ExperimentSettings{}));
  const QString before = Form().LastDirectory;
  LoadByClick(Path("x.vtx"));
  ASSERT_EQ(ui.ShownDialogs.size(), 1u);
  EXPECT_EQ(ui.ShownDialogs.front().Filter, "Experiment (*.vtx)|*.vtx|All files|*.*");
  EXPECT_EQ(ui.ShownDialogs.front().DefaultExtension, "vtx");
  EXPECT_EQ(Form().LastDirectory, before);

  // A cancelled open dialog changes nothing.
  Exp().CasVzorcenjaEdit->setText("7");
  LoadByClick("");
  EXPECT_EQ(Exp().CasVzorcenjaEdit->text(), "7");
}

TEST_F(SettingsFileWidget, LoadingSetsTheDependentStatesAsTheSameClicksWould) {
  auto lines = SettingsLines(ExperimentSettings{});
  lines[SettingsLine::ManualMode] = "True";
  lines[SettingsLine::NoOpcWrite] = "1";
  lines[SettingsLine::RaSwitchInner] = "0";
  lines[SettingsLine::Robustness] = "20";
  WriteLines(Path("r.vtx"), lines);
  LoadByClick(Path("r.vtx"));
  EXPECT_TRUE(Exp().RadioRocno->isChecked());
  EXPECT_FALSE(Exp().CasCakanjaEdit->isEnabled());         // manual
  EXPECT_FALSE(Exp().Button10->isEnabled());
  EXPECT_FALSE(Exp().CheckBox_Zaprtozancni->isEnabled());  // "Ne piši v OPC"
  EXPECT_FALSE(Exp().ZacetniVhodEdit->isEnabled());
  EXPECT_EQ(Dlg().Label_Sam_Robust->text(), "2,646");  // the dialog's own reaction
  EXPECT_TRUE(Opc().ComboBox3->isEnabled());                // R/A through one item
  EXPECT_FALSE(Opc().RadioButton11->isEnabled());
  EXPECT_TRUE(Opc().RadioButton10->isEnabled());

  // "true" is not a mode line's "True": automatic, and every rule undone.
  lines[SettingsLine::ManualMode] = "true";
  lines[SettingsLine::NoOpcWrite] = "true";
  lines[SettingsLine::RaSwitchInner] = "1";
  lines[SettingsLine::Robustness] = "10";
  WriteLines(Path("r.vtx"), lines);
  LoadByClick(Path("r.vtx"));
  EXPECT_TRUE(Exp().RadioAvtomatsko->isChecked());
  EXPECT_FALSE(Exp().CheckBox_NePisi->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{
           Exp().CasCakanjaEdit, Exp().Button10, Exp().CheckBox_Zaprtozancni,
           Exp().ZacetniVhodEdit, Exp().SteviloStopnicEdit, Exp().CajtZacetka})
    EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_EQ(Dlg().Label_Sam_Robust->text(), "1,000");
  EXPECT_FALSE(Opc().ComboBox3->isEnabled());
  EXPECT_TRUE(Opc().RadioButton11->isEnabled());
}

TEST_F(SettingsFileWidget, ServerLineSelectsIgnoringCaseOrClearsTheSelection) {
  auto lines = SettingsLines(ExperimentSettings{});
  const auto loadServer = [&](const char* name) {
    lines[SettingsLine::ServerName] = name;
    Exp().LoadSettingsFromList(lines);
    return Opc().ComboBox2->currentIndex();
  };
  EXPECT_EQ(loadServer("drugi.STREZNIK.1"), 1);
  EXPECT_EQ(loadServer("Vor.Sim.1"), 0);
  EXPECT_EQ(loadServer("Ni.Tak.1"), -1);
  EXPECT_EQ(loadServer("Vor.Sim.1"), 0);
  EXPECT_EQ(loadServer(""), -1);
}

TEST_F(SettingsFileWidget, ListLinesAndTheRepeatedActuatorMaximum) {
  Dlg().ComboBox_Sam_IzbMetode->setCurrentIndex(3);
  Opc().ComboBox3->setCurrentIndex(1);
  auto lines = SettingsLines(ExperimentSettings{});
  lines[SettingsLine::TuningMethod] = "-1";
  lines[SettingsLine::ManualValueInner] = "-1";
  lines[SettingsLine::ActuatorMaximum] = "80";
  lines[SettingsLine::ActuatorMaximumAgain] = "70";
  lines.push_back("ignored");
  Exp().LoadSettingsFromList(lines);
  EXPECT_EQ(Dlg().ComboBox_Sam_IzbMetode->currentIndex(), -1);
  EXPECT_EQ(Opc().ComboBox3->currentIndex(), -1);
  EXPECT_EQ(Dlg().Edit_Sam_Max->text(), "70");
}

TEST_F(SettingsFileWidget, AFiftyLineFileSetsIndices0To49AndReportsIndex50) {
  const ExperimentSettings s = Distinct("k", false);  // line 49 on, line 50 off
  auto lines = SettingsLines(s);
  lines[SettingsLine::NoOpcWrite] = "True";
  lines.resize(50);
  WriteLines(Path("k.vtx"), lines);
  LoadByClick(Path("k.vtx"));
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors.first(), "List index out of bounds (50)");
  EXPECT_EQ(Opc().OPCTabela->item(19, 1)->text(), "kopis č 19");
  EXPECT_EQ(Opc().RadioGroup4->ItemIndex(), 0);
  EXPECT_EQ(Exp().SteviloStopnicEdit->text(), Q(s.NumberOfSteps));
  EXPECT_TRUE(Exp().CheckBox_Zaprtozancni->isChecked());  // index 49
  EXPECT_FALSE(Exp().CheckBox_NePisi->isChecked());       // index 50 not reached
  EXPECT_EQ(Exp().Edit_MVMax->text(), "100");
}

TEST_F(SettingsFileWidget, ANonIntegerListLineStopsLoadingWithItsText) {
  auto lines = SettingsLines(Distinct("n", false));
  lines[SettingsLine::ControllerForm] = "Serijski";
  WriteLines(Path("n.vtx"), lines);
  LoadByClick(Path("n.vtx"));
  ASSERT_EQ(ui.Errors.size(), 1);
  EXPECT_EQ(ui.Errors.first(), "»Serijski« ni veljavno celo število.");
  EXPECT_EQ(Dlg().RadioGroup_Sam_Prikaz->ItemIndex(), 1);  // index 65, before
  EXPECT_EQ(Dlg().Edit_Sam_SkalP->text(), "1");             // index 67, after
}

TEST_F(SettingsFileWidget, AManualActivationSavesTheCorrectedSettingsAndTakesTheLabelFromTheFile) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));  // decimal point
  Exp().RadioRocno->setChecked(true);
  Exp().CasVzorcenjaEdit->setText("0.01");
  Exp().CasCakanjaEdit->setText("0");
  ui.QueueFileAnswer(Path("Kotel 3.vtx"));
  // The quality wait runs on the program's clock; the window is ended once it is shown.
  QTimer driver;
  QString label;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    clock.AdvanceMs(500);
    if (!windows.Eksperiment->isVisible()) return;
    driver.stop();
    label = Q(windows.Eksperiment->Run().Setup.ExperimentLabel);
    QTest::mouseClick(windows.Eksperiment->KonecEksperimenta, Qt::LeftButton);
  });
  driver.start(0);
  QTest::mouseClick(Exp().AktivirajEksperiment, Qt::LeftButton);
  Settle(Form());
  EXPECT_EQ(label, "Kotel 3");
  EXPECT_EQ(Form().LastDirectory, dir.path());
  const auto lines = ReadTextLines(Path("Kotel 3.vtx").toStdString());
  ASSERT_EQ(lines.size(), std::size_t(SettingsLine::CountWithAdded));
  EXPECT_EQ(lines[SettingsLine::SampleTime], "0.05");
  EXPECT_EQ(lines[SettingsLine::WaitTime], "0.1");
  EXPECT_EQ(lines[SettingsLine::ManualMode], "True");
}

TEST_F(SettingsFileWidget, AnAutomaticActivationSavesOnlyForAStartStillToCome) {
  const QDateTime now(QDate(2026, 12, 7), QTime(10, 0, 0));
  clock.SetNow(std::chrono::system_clock::time_point(std::chrono::milliseconds(now.toMSecsSinceEpoch())));
  Exp().DateTimePicker1->setDate(now.date());
  Exp().CajtZacetka->setText("10:00:00");  // the present second: too early
  QTest::mouseClick(Exp().AktivirajEksperiment, Qt::LeftButton);
  EXPECT_EQ(ui.Messages, QStringList{"Naveden čas začetka eksperimenta je bolj zgoden od trenutnega"});
  EXPECT_TRUE(ui.ShownDialogs.empty());

  Exp().CajtZacetka->setText("09:00:00");  // earlier today, but on a later day it is fine
  Exp().DateTimePicker1->setDate(now.date().addDays(1));
  ui.QueueFileAnswer(Path("Jutri.vtx"));
  QTest::mouseClick(Exp().AktivirajEksperiment, Qt::LeftButton);
  EXPECT_EQ(ui.Messages.size(), 1);
  EXPECT_EQ(ReadTextLines(Path("Jutri.vtx").toStdString())[SettingsLine::StartTime], "09:00:00");
  EXPECT_EQ(Form().LastDirectory, dir.path());
}
