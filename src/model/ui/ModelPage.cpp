#include "model/ui/ModelPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>
#include <QScrollBar>
#include <QTabWidget>
#include <algorithm>
#include <tuple>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "data/NumericHelpers.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"
#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"
#include "model/ModelTexts.h"
#include "model/ModelWarnings.h"
#include "model/TModel.h"
#include "model/ui/ModelChart.h"

namespace {

// A small lamp of the class colour: a shaded disc with a dark rim.
QPixmap QualityLamp(const QColor& color) {
  const int size = 22;
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient shade(QPointF(size * 0.38, size * 0.35), size * 0.6);
  shade.setColorAt(0, color.lighter(170));
  shade.setColorAt(1, color);
  p.setBrush(shade);
  p.setPen(QPen(color.darker(160), 1.5));
  p.drawEllipse(QRectF(1.5, 1.5, size - 3, size - 3));
  return pixmap;
}

QLabel* Caption(QWidget* parent, const char* text, int x, int y, int width = 206) {
  return ::Caption(parent, QString::fromUtf8(text), x, y, width, 22);
}

constexpr const char* SaveFilter = "Vor Tuner Model (*.vtm)|*.vtm|All files (*.*)|*.*";
constexpr const char* OpenFilter = "Vor Tuner Models (*.vtm)|*.vtm|All files|*.*";

}  // namespace

ModelPage::ModelPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Model"));

  auto* group = Named(new QGroupBox(QStringLiteral("Parametri modela"), this), "GroupBox_Model");
  group->setGeometry(8, 8, 346, 226);
  const int editX = 218, rowH = 30, top = 26;
  auto edit = [&](const char* name, int row) {
    auto* e = Named(new QLineEdit(group), name);
    e->setGeometry(editX, top + row * rowH, 58, 22);
    return e;
  };
  auto value = [&](const char* name, int x, int row, int width) {
    auto* l = Named(new QLabel(group), name);
    l->setGeometry(x, top + row * rowH, width, 22);
    return l;
  };
  gainCaption_ = Caption(group, "Ocenjeno ojačenje: ", 10, top);
  Edit_Gain = edit("Edit_Gain", 0);
  Caption(group, "+-", 280, top, 14);
  Label_DGain = value("Label_DGain", 296, 0, 46);
  Caption(group, "Ocenjena časovna konstanta [s]: ", 10, top + rowH);
  Edit_Time = edit("Edit_Time", 1);
  Caption(group, "+-", 280, top + rowH, 14);
  Label_DTime = value("Label_DTime", 296, 1, 46);
  Caption(group, "Ocenjen mrtvi čas [s]: ", 10, top + 2 * rowH);
  Edit_Delay = edit("Edit_Delay", 2);
  Caption(group, "Standardna deviacija:", 10, top + 3 * rowH);
  Label_STD = value("Label_STD", editX, 3, 120);
  Caption(group, "Relativni pogrešek modela:", 10, top + 4 * rowH);
  Label_Rel_Pogresek = value("Label_Rel_Pogresek", editX, 4, 120);
  Caption(group, "Kvaliteta modela:", 10, top + 5 * rowH + 6);
  Label_Kvaliteta = value("Label_Kvaliteta", editX, 5, 90);
  Label_Kvaliteta->move(editX, top + 5 * rowH + 6);
  QFont bold = Label_Kvaliteta->font();
  bold.setBold(true);
  Label_Kvaliteta->setFont(bold);
  auto lamp = [&](const char* name, const QColor& color) {
    auto* l = Named(new QLabel(group), name);
    l->setGeometry(312, top + 5 * rowH + 6, 22, 22);
    l->setPixmap(QualityLamp(color));
    return l;
  };
  Image_Quality_Green = lamp("Image_Quality_Green", QColor(0, 170, 0));
  Image_Quality_Yellow = lamp("Image_Quality_Yellow", QColor(235, 200, 0));
  Image_Quality_Orange = lamp("Image_Quality_Orange", QColor(255, 128, 0));
  Image_Quality_Red = lamp("Image_Quality_Red", QColor(220, 0, 0));

  CheckBox_Model_Outer =
      Named(new QCheckBox(QStringLiteral("Zunanji proces"), this), "CheckBox_Model_Outer");
  CheckBox_Model_Outer->setGeometry(16, 244, 200, 22);
  connect(CheckBox_Model_Outer, &QCheckBox::toggled, this, [this] { CheckBox_Model_OuterClick(); });
  Caption(this, "Vrsta procesa:", 128, 244, 96);
  ComboBox_VrstaProcesa = Named(new QComboBox(this), "ComboBox_VrstaProcesa");
  ComboBox_VrstaProcesa->addItems({QStringLiteral("samoizravnalni"), QStringLiteral("integrirni")});
  ComboBox_VrstaProcesa->setGeometry(226, 243, 128, 24);
  ComboBox_VrstaProcesa->setToolTip(QString::fromUtf8(
      "Samoizravnalni proces se po skoku umiri (K, T, L); integrirni (nivo, tlak v zaprti\n"
      "posodi, pozicija) narašča s hitrostjo k' \xC2\xB7 u (naklon, zakasnitev T, mrtvi čas L).\n"
      "Program izbere vrsto sam; tu jo lahko spremenite."));
  connect(ComboBox_VrstaProcesa, &QComboBox::activated, this,
          [this] { ComboBox_VrstaProcesaChange(); });
  Label_VrstaRazlog = Named(new QLabel(this), "Label_VrstaRazlog");
  Label_VrstaRazlog->setGeometry(8, 414, 346, 64);
  Label_VrstaRazlog->setWordWrap(true);
  Label_VrstaRazlog->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto button = [&](const char* text, const char* name, int x, int y, int width) {
    auto* b = Named(new QPushButton(QString::fromUtf8(text), this), name);
    b->setGeometry(x, y, width, 28);
    return b;
  };
  Button_Uporabi_Model = button("Uporabi model", "Button_Uporabi_Model", 8, 276, 346);
  Button_Shrani_Model = button("Shrani model", "Button_Shrani_Model", 8, 312, 169);
  Button_Nalozi_Model = button("Naloži model", "Button_Nalozi_Model", 185, 312, 169);
  Button_PID = button("Izračun PID parametrov", "Button_PID", 8, 372, 346);
  Button_PID->setFixedHeight(36);
  connect(Button_Uporabi_Model, &QPushButton::clicked, this, [this] { ApplyModel(); });
  connect(Button_Shrani_Model, &QPushButton::clicked, this, [this] { Button_Shrani_ModelClick(); });
  connect(Button_Nalozi_Model, &QPushButton::clicked, this, [this] { Button_Nalozi_ModelClick(); });
  connect(Button_PID, &QPushButton::clicked, this, [this] { form_.ComputePidParameters(); });

  Chart_Model = CreateModelChart(this);
  Chart_Model->setGeometry(360, 4, 528, 526);
}

void ModelPage::HideQualityImages() {
  Image_Quality_Red->setVisible(false);
  Image_Quality_Orange->setVisible(false);
  Image_Quality_Yellow->setVisible(false);
  Image_Quality_Green->setVisible(false);
}

void ModelPage::IzracunModelaClick() {
  MeasurementStore& store = form_.Store();
  const auto [start, end] = form_.ChosenAnalysisWindow();
  IdentifyModel(store, start, end);
  HideQualityImages();
  PlotChosenModel();
  ShowModel(CheckBox_Model_Outer->isChecked(), 5);
  form_.PageControl1->setCurrentIndex(TabModel);
}

void ModelPage::PlotModel(const SampleArray& time, const SampleArray& measured,
                          const SampleArray& model, int n, int first) {
  PlotModelChart(*Chart_Model, time, measured, model, n, first);
}

void ModelPage::PlotChosenModel() {
  PlotStoreModel(*Chart_Model, form_.Store(), CheckBox_Model_Outer->isChecked());
}

void ModelPage::ShowModel(bool outer, int errorDecimals) {
  const ModelTexts t =
      ShownModelTexts(form_.Store(), outer, errorDecimals, DecimalSeparator());
  Edit_Gain->setText(QString::fromStdString(t.Gain));
  Edit_Time->setText(QString::fromStdString(t.TimeConstant));
  Edit_Delay->setText(QString::fromStdString(t.DeadTime));
  Label_STD->setText(QString::fromStdString(t.StdDev));
  Label_DGain->setText(QString::fromStdString(t.GainBound));
  Label_DTime->setText(QString::fromStdString(t.TimeBound));
  Label_Rel_Pogresek->setText(QString::fromStdString(t.RelativeError));
  ShowQuality(ShownRelativeError(form_.Store(), outer));
  ShowKind(outer);
  SamplingCheck();
}

void ModelPage::ShowKind(bool outer) {
  const MeasurementStore& s = form_.Store();
  const ProcessKind kind = KindOf(s, outer);
  ComboBox_VrstaProcesa->setCurrentIndex(kind == ProcessKind::Integrating ? 1 : 0);
  gainCaption_->setText(kind == ProcessKind::Integrating
                            ? QString::fromUtf8("Ocenjen naklon k' [1/s]: ")
                            : QString::fromUtf8("Ocenjeno ojačenje: "));
  const KindChoice choice = ChooseProcessKind(s, outer, DecimalSeparator());
  QString text = QString::fromUtf8("Izbira programa: ") +
                 QString::fromUtf8(ProcessKindText(choice.Kind)) + ". " +
                 QString::fromStdString(choice.Reason);
  if (choice.Kind != kind) text += QString::fromUtf8(" Vrsto je spremenil uporabnik.");
  Label_VrstaRazlog->setText(s.ModelWindowSamples > 0 ? text : QString());
}

void ModelPage::ComboBox_VrstaProcesaChange() {
  const bool outer = CheckBox_Model_Outer->isChecked();
  SetProcessKind(form_.Store(), outer,
                 ComboBox_VrstaProcesa->currentIndex() == 1 ? ProcessKind::Integrating
                                                            : ProcessKind::SelfRegulating);
  HideQualityImages();
  ShowModel(outer, 5);
  PlotChosenModel();
}

void ModelPage::ShowQuality(double relativeError) {
  HideQualityImages();
  const ModelQuality quality = QualityOf(relativeError);
  Label_Kvaliteta->setText(QString::fromUtf8(QualityText(quality)));
  switch (quality) {
    case ModelQuality::VeryGood: Image_Quality_Green->setVisible(true); break;
    case ModelQuality::Good: Image_Quality_Yellow->setVisible(true); break;
    case ModelQuality::Poor: Image_Quality_Orange->setVisible(true); break;
    case ModelQuality::Bad: Image_Quality_Red->setVisible(true); break;
  }
}

void ModelPage::SamplingCheck() {
  // The warnings of the record and its model (the sampling check among them), as the
  // report's box and the command line name them.
  const auto [start, end] = form_.ChosenAnalysisWindow();
  const WarningScope scope = ModelWarningScope(
      form_.Store(), start, end, CheckBox_Model_Outer->isChecked(), true, DecimalSeparator());
  form_.SetStatusText(QString::fromStdString(WarningsLine(CollectWarnings(form_.Store(), scope))));
}

void ModelPage::CheckBox_Model_OuterClick() {
  HideQualityImages();
  if (form_.Store().TuningEventsSuppressed) return;
  const bool outer = CheckBox_Model_Outer->isChecked();
  ShowModel(outer, outer ? 5 : 4);
  PlotChosenModel();
}

void ModelPage::ApplyModel() {
  HideQualityImages();
  const bool outer = CheckBox_Model_Outer->isChecked();
  const double gain = TypedNumber(Edit_Gain);
  const double timeConstant = TypedNumber(Edit_Time);
  const double deadTime = TypedNumber(Edit_Delay);
  MeasurementStore& s = form_.Store();
  const bool integrating = KindOf(s, outer) == ProcessKind::Integrating;
  if (integrating)
    ApplyIntegratingParameters(s, outer, gain, timeConstant, deadTime);
  else
    ApplyModelParameters(s, outer, gain, timeConstant, deadTime);
  // A model typed over is no longer only what its source gave.
  const std::string typed = " (popravljen na zavihku \"Model\")";
  if (s.ModelSource.empty())
    s.ModelSource = "model, vnesen na zavihku \"Model\"";
  else if (!s.ModelSource.ends_with(typed) &&
           s.ModelSource.find("vnesen na zavihku") == std::string::npos)
    s.ModelSource += typed;
  PlotChosenModel();
  const IntegratingModel& m = outer ? s.OuterIntegrating : s.InnerIntegrating;
  Label_STD->setText(ShownFixed(integrating ? m.StdDev : outer ? s.OuterStdDev : s.InnerStdDev, 4));
  const double r = ShownRelativeError(s, outer);
  Label_Rel_Pogresek->setText(ShownFixed(r, 4));
  ShowQuality(r);
}

void ModelPage::Button_Shrani_ModelClick() {
  FileDialog& dialog = form_.SaveDialog_Model;
  dialog.Filter = QString::fromLatin1(SaveFilter);
  dialog.DefaultExtension = QStringLiteral("vtm");
  dialog.OverwritePrompt = true;
  if (!Ui().ExecuteSaveDialog(this, dialog)) return;
  TModel::SaveModelFile(dialog.FileName.toStdString(), form_.Store(), DecimalSeparator());
}

void ModelPage::Button_Nalozi_ModelClick() {
  FileDialog& dialog = form_.OpenDialog_Model;
  dialog.Filter = QString::fromLatin1(OpenFilter);
  dialog.DefaultExtension = QStringLiteral("vtm");
  if (!Ui().ExecuteOpenDialog(this, dialog)) return;
  TModel::LoadModelFile(dialog.FileName.toStdString(), form_.Store(), DecimalSeparator());
  HideQualityImages();
  PlotChosenModel();
  ShowModel(CheckBox_Model_Outer->isChecked(), 5);
}
