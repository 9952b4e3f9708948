#include "report/ui/ReportPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <tuple>

#include "data/TextFile.h"
#include "data/ui/ProcessingPage.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"
#include "model/ui/ModelPage.h"
#include "opc/OpcClient.h"
#include "opc/ui/OpcPage.h"
#include "opc/ui/RadioGroup.h"
#include "report/ReportImages.h"
#include "report/ReportTexts.h"
#include "report/ui/ChartReportImages.h"
#include "report/ui/PdfReportWriter.h"
#include "tuning/ui/RegulatorPage.h"

namespace {
// When the record in the store began: the processing tab's time after a run is its end.
QString RunStartText(const QString& endText, const MeasurementStore& store) {
  const QTime end = QTime::fromString(endText, QStringLiteral("HH:mm:ss"));
  if (!end.isValid() || store.SampleCount < 1) return endText;
  const double duration = store.TimeColumn[static_cast<size_t>(store.SampleCount)] -
                          store.TimeColumn[1] + store.SampleTime;
  return LongTimeText(end.addMSecs(-static_cast<int>(duration * 1000)));
}
}  // namespace

ReportPage::ReportPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Porocilo"));
  GroupBox_Vsebina = Named(Group(this, QString::fromUtf8("Vsebina poročila"), 16, 16, 360, 170),
                           "GroupBox_Vsebina");
  auto check = [this](const char* name, const char* text, int y) {
    auto* box = Named(new QCheckBox(QString::fromUtf8(text), GroupBox_Vsebina), name);
    box->setGeometry(16, y, 150, 22);
    box->setChecked(true);
    return box;
  };
  CheckBox1 = check("CheckBox1", "Obdelava", 28);
  CheckBox2 = check("CheckBox2", "Model", 54);
  CheckBox3 = check("CheckBox3", "Regulator", 80);
  Caption(GroupBox_Vsebina, QStringLiteral("Predloga:"), 16, 112, 70, 20);
  Label63 = Named(new QLabel(QStringLiteral("normal.dot"), GroupBox_Vsebina), "Label63");
  Label63->setGeometry(86, 112, 264, 20);
  Label63->setTextInteractionFlags(Qt::TextSelectableByMouse);
  KnofIzborPredloge = Named(new QPushButton(QStringLiteral("Izberi predlogo"), GroupBox_Vsebina),
                            "KnofIzborPredloge");
  KnofIzborPredloge->setGeometry(16, 136, 130, 26);
  Button_Naredi_porocilo =
      Named(new QPushButton(QString::fromUtf8("Izdelaj poročilo"), this), "Button_Naredi_porocilo");
  Button_Naredi_porocilo->setGeometry(16, 200, 160, 32);
  connect(KnofIzborPredloge, &QPushButton::clicked, this, [this] { KnofIzborPredlogeClick(); });
  connect(Button_Naredi_porocilo, &QPushButton::clicked, this,
          [this] { Button_Naredi_porociloClick(); });
}

void ReportPage::KnofIzborPredlogeClick() {
  FileDialog& dialog = form_.OpenDialog2;
  dialog.Filter.clear();
  if (!Ui().ExecuteOpenDialog(this, dialog)) return;
  Label63->setText(dialog.FileName);
  Label63->setToolTip(dialog.FileName);
}

ReportInputs ReportPage::InputsFromTabs() const {
  auto s = [](const QString& text) { return text.toStdString(); };
  ReportInputs in;
  in.TitleLine = s(form_.Caption());
  const ModelPage& m = form_.ModelTab();
  in.ModelGain = s(m.Edit_Gain->text());
  in.ModelTimeConstant = s(m.Edit_Time->text());
  in.ModelDeadTime = s(m.Edit_Delay->text());
  in.ModelStdDev = s(m.Label_STD->text());
  in.ModelRelativeError = s(m.Label_Rel_Pogresek->text());
  in.ModelQuality = s(m.Label_Kvaliteta->text());
  if (m.ComboBox_VrstaProcesa->currentIndex() == 1)
    in.ModelKind = s(m.ComboBox_VrstaProcesa->currentText());
  const RegulatorPage& r = form_.RegulatorTab();
  in.IKi = s(r.Label_Ki->text());
  in.PKp = s(r.Label_Kp_P->text());
  in.PIKp = s(r.Label_PI_Kp->text());
  in.PIKi = s(r.Label_PI_Ti->text());
  in.PIDKp = s(r.Label_PID_Kp->text());
  in.PIDKi = s(r.Label_PID_Ti->text());
  in.PIDKd = s(r.Label_PID_Td->text());
  in.ScaledKp = s(r.Edit_Reg_Kp->text());
  in.ScaledKi = s(r.Edit_Reg_Ki->text());
  in.ScaledKd = s(r.Edit_Reg_Kd->text());
  in.Robustness = r.RobustnessRows();
  in.SectionObdelava = CheckBox1->isChecked();
  in.SectionModel = CheckBox2->isChecked();
  in.SectionRegulator = CheckBox3->isChecked();
  const MeasurementStore& store = form_.Store();
  const char sep = DecimalSeparator();
  const bool cascade = r.CheckBox_CascadeReg->isChecked();
  SetTuningTexts(in, r.ComboBox1->currentIndex(), r.RadioGroup_Motnja->ItemIndex(), cascade, store,
                 s(r.Label_Kp_Cascade->text()), sep);
  // The report names what it is about: a loaded file, or the run's date and start.
  const ProcessingPage& pp = form_.ProcessingTab();
  const QString file = pp.Label_Ime->text();
  in.AboutLines = RecordAboutLines(
      "", s(QFileInfo(file).fileName()), s(pp.Label_Datum->text()),
      s(file.isEmpty() ? RunStartText(pp.Label_Ura->text(), store) : pp.Label_Ura->text()));
  const auto [start, end] = form_.ChosenAnalysisWindow();
  const std::optional<RobustnessSet>& figures = r.Robustness();
  SetWarningTexts(in, ReportWarnings(store, start, end, in.SectionModel, in.SectionRegulator,
                                     cascade, figures ? &*figures : nullptr, sep));
  in.Template = s(Label63->text());
  const OpcPage& o = form_.OpcTab();
  // The server only for a record made on it: not loaded from a file, not simulated.
  if (file.isEmpty() && !RecordIsSimulated(store) && form_.Opc().IsConnected())
    in.OpcServer = s(o.ComboBox2->currentText());
  for (int row = 0; row < 20; ++row) {
    in.OpcItemIds[static_cast<size_t>(row)] = s(o.ItemId(row));
    in.OpcDescriptions[static_cast<size_t>(row)] = s(o.Description(row));
  }
  const ProcessingPage& p = form_.ProcessingTab();
  const QLabel* labels[4][3] = {{p.Label_MaksMV1, p.Label_MinMV1, p.Label_STDMV1},
                                {p.Label_MaksU1, p.Label_MinU1, p.Label_STDU1},
                                {p.Label_MaksY1, p.Label_MinY1, p.Label_STDY1},
                                {p.Label_MaksY2, p.Label_MinY2, p.Label_STDY2}};
  for (size_t i = 0; i < 4; ++i)
    in.Statistics[i] = {s(labels[i][0]->text()), s(labels[i][1]->text()), s(labels[i][2]->text())};
  in.CloseAfterSaving = false;
  return in;
}

void ReportPage::Button_Naredi_porociloClick() {
  FileDialog& dialog = form_.SaveDialog_Porocilo;
  dialog.Filter = QString::fromUtf8("Poročilo (*.docx)|*.docx|PDF (*.pdf)|*.pdf");
  dialog.DefaultExtension.clear();
  dialog.OverwritePrompt = false;
  // The dialog starts in the record's folder: the loaded file's, else the experiments'.
  const QString file = form_.ProcessingTab().Label_Ime->text();
  const QString folder = file.isEmpty() ? form_.LastDirectory : QFileInfo(file).absolutePath();
  if (!folder.isEmpty()) {
    dialog.InitialDir = folder;
    dialog.FileName = QFileInfo(dialog.FileName).fileName();
  }
  if (!Ui().ExecuteSaveDialog(this, dialog)) return;

  ReportInputs in = InputsFromTabs();
  // A name without an extension takes the chosen filter's (1: PDF).
  in.ReportPath = ReportPathFor(dialog.FileName.toStdString(), dialog.FilterIndex == 1);
  ReportImageRequest request;
  std::tie(request.Start, request.End) = form_.ChosenAnalysisWindow();
  request.OuterModel = form_.ModelTab().CheckBox_Model_Outer->isChecked();
  ChartReportImages images(form_.ObdelavaLarge(), form_.Histogram(), *form_.ModelTab().Chart_Model,
                           *form_.RegulatorTab().Chart1);
  const PdfReportWriter pdf;
  TPorocilo(&pdf).CreateReport(in, images, form_.Store(), request);
  const QString path = QDir::toNativeSeparators(QString::fromStdString(in.ReportPath));
  const bool opened = Ui().OpenDocument(QString::fromStdString(in.ReportPath));
  form_.SetStatusText(opened ? QString::fromUtf8("Poročilo je zapisano: %1").arg(path)
                             : QString::fromUtf8("Poročilo je zapisano: %1 (pregledovalnik se ni "
                                                 "odprl).")
                                   .arg(path));
}
