#include "data/ui/ProcessingPage.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <system_error>

#include "charts/VorChart.h"
#include "data/DelimitedImport.h"
#include "data/Histogram.h"
#include "data/NumberFormat.h"
#include "data/TObdelava.h"
#include "data/TextFile.h"
#include "data/ui/ImportDialog.h"
#include "data/ui/ShownNumbers.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "forms/FormHelpers.h"
#include "forms/UiServices.h"
#include "forms/Workspace.h"

namespace {

const QString DataFileFilter = QStringLiteral(
    "Measured Data (*.vtd)|*.vtd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*");
// Loading also offers the exports of historians and loggers.
const QString LoadFileFilter = QStringLiteral(
    "Measured Data (*.vtd)|*.vtd|Data files (*.txt, *.dat)|*.txt; *.dat|"
    "Exported data (*.csv, *.txt, *.dat)|*.csv; *.txt; *.dat|All files|*.*");

QString Text(const std::string& s) { return QString::fromStdString(s); }
std::string Std(const QString& s) { return s.toStdString(); }

}  // namespace

ProcessingPage::ProcessingPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Obdelava"));
  QFont pageFont = font();
  pageFont.setPointSize(8);
  setFont(pageFont);
  BuildCharts();
  BuildColumnChoice();
  BuildWindowAndData();
  BuildConditioning();
  ApplyWindow(TObdelava::FitAnalysisWindow(0, 0, 1, 2));

  connect(ScrollBar_MV, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar_MVChange);
  connect(ScrollBar1, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar1Change);
  connect(ScrollBar2, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar2Change);
  connect(ScrollBar5, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar5Change);
  connect(ScrollBar3, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar3Change);
  connect(ScrollBar4, &QScrollBar::valueChanged, this, &ProcessingPage::ScrollBar4Change);
  const std::pair<QScrollBar*, QLineEdit*> columnEdits[] = {{ScrollBar_MV, Edit_Stolpec_MV},
                                                            {ScrollBar1, Edit_Stolpec_U},
                                                            {ScrollBar2, Edit_Stolpec_Y},
                                                            {ScrollBar5, Edit_Stolpec_Y1}};
  for (const auto& [bar, edit] : columnEdits)
    connect(edit, &QLineEdit::editingFinished, this,
            [this, bar = bar, edit = edit] { ColumnEditFinished(bar, edit); });

  connect(Chart_MV, &VorChart::RightClicked, this, &ProcessingPage::Chart_MVContextPopup);
  connect(Chart_U, &VorChart::RightClicked, this, &ProcessingPage::Chart_UContextPopup);
  connect(Chart_Y, &VorChart::RightClicked, this, &ProcessingPage::Chart_YContextPopup);
  connect(Chart2, &VorChart::RightClicked, this, &ProcessingPage::Chart2ContextPopup);
  connect(Chart_MV, &VorChart::DoubleClicked, this, &ProcessingPage::Chart_MVDblClick);
  connect(Chart_U, &VorChart::DoubleClicked, this, &ProcessingPage::Chart_UDblClick);
  connect(Chart_Y, &VorChart::DoubleClicked, this, &ProcessingPage::Chart_YDblClick);
  connect(Chart2, &VorChart::DoubleClicked, this, &ProcessingPage::Chart2DblClick);

  connect(Button_UporabiFilter, &QPushButton::clicked, this, &ProcessingPage::UporabiFilterClick);
  connect(Button_NaloziIzDatoteke, &QPushButton::clicked, this,
          &ProcessingPage::NaloziIzDatotekeClick);
  connect(Button_ShraniVDatoteko, &QPushButton::clicked, this,
          &ProcessingPage::ShraniVDatotekoClick);
  connect(Button_IzracunModela, &QPushButton::clicked, this, &ProcessingPage::IzracunModelaClick);
}

// --- Conditioning ---

Conditioning ProcessingPage::ReadConditioning() const {
  return TObdelava::ParseConditioning(Std(Edit8->text()), Std(Edit_Actuator_Maximum->text()),
                                      Std(Edit_Actuator_Minimum->text()),
                                      Std(Edit_Actuator_Velocity->text()),
                                      DecimalSeparator());
}

SignalColumns ProcessingPage::SelectedColumns() const {
  return SignalColumns{ScrollBar_MV->value(), ScrollBar1->value(), ScrollBar2->value(),
                       ScrollBar5->value()};
}

void ProcessingPage::ShowColumn(QScrollBar* selector, QLineEdit* edit, QLabel* description) {
  const int column = selector->value();
  edit->setText(QString::number(column));
  description->setText(Text(form_.Store().ColumnNames[static_cast<size_t>(column)]));
}

void ProcessingPage::SetColumnSelectors(int columnCount, const SignalColumns& columns) {
  const int top = std::clamp(columnCount, 1, MaxColumns);
  const std::pair<QScrollBar*, int> selectors[] = {
      {ScrollBar_MV, columns.MV}, {ScrollBar1, columns.U}, {ScrollBar2, columns.Y1},
      {ScrollBar5, columns.Y2}};
  for (const auto& [bar, position] : selectors) {
    const QSignalBlocker block(bar);
    bar->setRange(1, top);
    bar->setValue(std::clamp(position, 1, top));
  }
  ShowColumn(ScrollBar_MV, Edit_Stolpec_MV, Label_MVDescription);
  ShowColumn(ScrollBar1, Edit_Stolpec_U, Label22);
  ShowColumn(ScrollBar2, Edit_Stolpec_Y, Label20);
  ShowColumn(ScrollBar5, Edit_Stolpec_Y1, Label68);
}

void ProcessingPage::UporabiFilterClick() {
  const Conditioning p = ReadConditioning();
  TObdelava::ConditionSignals(form_.Store(), SelectedColumns(), p);
  RedrawSignals();
  ShowColumn(ScrollBar_MV, Edit_Stolpec_MV, Label_MVDescription);
  ShowColumn(ScrollBar1, Edit_Stolpec_U, Label22);
  ShowColumn(ScrollBar2, Edit_Stolpec_Y, Label20);
  ShowColumn(ScrollBar5, Edit_Stolpec_Y1, Label68);
}

void ProcessingPage::ScrollBar_MVChange() {
  TObdelava::ConditionMV(form_.Store(), ScrollBar_MV->value());
  PlotMV(ScrollBar3->value(), ScrollBar4->value());
  ShowColumn(ScrollBar_MV, Edit_Stolpec_MV, Label_MVDescription);
}

void ProcessingPage::ScrollBar1Change() {
  TObdelava::ConditionU(form_.Store(), ScrollBar1->value(), ReadConditioning());
  PlotU(ScrollBar3->value(), ScrollBar4->value());
  ShowColumn(ScrollBar1, Edit_Stolpec_U, Label22);
}

void ProcessingPage::ScrollBar2Change() {
  TObdelava::ConditionY1(form_.Store(), ScrollBar2->value(), ReadConditioning().FilterTime);
  PlotY1(ScrollBar3->value(), ScrollBar4->value());
  ShowColumn(ScrollBar2, Edit_Stolpec_Y, Label20);
}

void ProcessingPage::ScrollBar5Change() {
  TObdelava::ConditionY2(form_.Store(), ScrollBar5->value(), ReadConditioning().FilterTime);
  PlotY2(ScrollBar3->value(), ScrollBar4->value());
  ShowColumn(ScrollBar5, Edit_Stolpec_Y1, Label68);
}

void ProcessingPage::ColumnEditFinished(QScrollBar* selector, QLineEdit* edit) {
  // A typed column number moves its selector; anything else shows the selector again.
  const auto column = TryParseInt(Std(edit->text()));
  if (column && *column >= selector->minimum() && *column <= selector->maximum())
    selector->setValue(*column);
  edit->setText(QString::number(selector->value()));
}

void ProcessingPage::ConditionAfterExperiment() {
  MeasurementStore& store = form_.Store();
  const Conditioning p = ReadConditioning();
  SetColumnSelectors(store.ColumnCount, SignalColumns{});
  ApplyWindow(TObdelava::ConditionAfterExperiment(store, p));
  // The record's own description: when it ended, its sampling, no file yet.
  const char sep = DecimalSeparator();
  const QDateTime now = LocalNow(form_.SystemClock());
  Label_Datum->setText(DateText(now.date()));
  Label_Ura->setText(LongTimeText(now.time()));
  Label_Ts->setText(Text(FormatShortest(store.SampleTime, sep)));
  Label_Ns->setText(QString::number(store.SampleCount));
  Label_Ime->clear();
  Label_Ime->setToolTip(QString());
  Chart2->setVisible(store.ColumnCount >= 6);
  RedrawSignals();
}

// --- Analysis window ---

void ProcessingPage::ApplyWindow(const AnalysisWindow& w) {
  {
    const QSignalBlocker block3(ScrollBar3), block4(ScrollBar4);
    // Widen first so that no position is clamped on the way.
    ScrollBar3->setRange(std::min(w.StartMin, ScrollBar3->minimum()),
                         std::max(w.StartMax, ScrollBar3->maximum()));
    ScrollBar4->setRange(std::min(w.EndMin, ScrollBar4->minimum()),
                         std::max(w.EndMax, ScrollBar4->maximum()));
    ScrollBar3->setValue(w.Start);
    ScrollBar4->setValue(w.End);
    ScrollBar3->setRange(w.StartMin, w.StartMax);
    ScrollBar4->setRange(w.EndMin, w.EndMax);
    // A click beside the handle moves by a fiftieth of the record.
    for (QScrollBar* bar : {ScrollBar3, ScrollBar4}) bar->setPageStep(std::max(1, w.EndMax / 50));
  }
  const MeasurementStore& store = form_.Store();
  auto describe = [&](int k) {
    if (k > store.SampleCount) return QString();
    return QString::number(k) + QStringLiteral(" (") +
           ShownGeneral(store.TimeColumn[static_cast<size_t>(k)], 6) + QStringLiteral(" s)");
  };
  Label_Zacetek->setText(describe(w.Start));
  Label_Konec->setText(describe(w.End));
}

void ProcessingPage::WindowChanged() {
  const MeasurementStore& store = form_.Store();
  ApplyWindow(TObdelava::FitAnalysisWindow(store.SampleCount, store.MinWindowSamples,
                                           ScrollBar3->value(), ScrollBar4->value()));
  const int from = ScrollBar3->value(), to = ScrollBar4->value();
  PlotMV(from, to);
  PlotU(from, to);
  PlotY1(from, to);
  if (store.ColumnCount < 3)
    Chart2->hide();
  else
    PlotY2(from, to);
}

void ProcessingPage::ScrollBar3Change() { WindowChanged(); }
void ProcessingPage::ScrollBar4Change() { WindowChanged(); }

void ProcessingPage::SetAnalysisWindowStart(int sample) {
  const MeasurementStore& store = form_.Store();
  ApplyWindow(TObdelava::FitAnalysisWindow(store.SampleCount, store.MinWindowSamples, sample,
                                           ScrollBar4->value()));
  WindowChanged();
}

// --- Plots ---

void ProcessingPage::PlotSignal(VorChart* chart, ChartSeries* series, const SampleArray& signal,
                                QLabel* maxLabel, QLabel* minLabel, QLabel* stdLabel, int from,
                                int to) {
  const MeasurementStore& store = form_.Store();
  from = std::max(from, 1);
  to = std::min(to, MaxSamples);
  series->Replace(std::span<const double>(store.TimeColumn), std::span<const double>(signal), from,
                  to);
  const WindowStats s = TObdelava::WindowStatistics(signal, from, to);
  maxLabel->setText(ShownGeneral(s.Maximum, 8));
  minLabel->setText(ShownGeneral(s.Minimum, 8));
  stdLabel->setText(ShownGeneral(s.StdDev, 8));
  chart->SetLeftAxisAround(s.Minimum, s.Maximum);
}

void ProcessingPage::PlotMV(int from, int to) {
  PlotSignal(Chart_MV, LineSeries6, form_.Store().MVConditioned, Label_MaksMV1, Label_MinMV1,
             Label_STDMV1, from, to);
}

void ProcessingPage::PlotU(int from, int to) {
  PlotSignal(Chart_U, Series1, form_.Store().UConditioned, Label_MaksU1, Label_MinU1, Label_STDU1,
             from, to);
}

void ProcessingPage::PlotY1(int from, int to) {
  PlotSignal(Chart_Y, Series2, form_.Store().Y1Conditioned, Label_MaksY1, Label_MinY1,
             Label_STDY1, from, to);
}

void ProcessingPage::PlotY2(int from, int to) {
  PlotSignal(Chart2, LineSeries5, form_.Store().Y2Conditioned, Label_MaksY2, Label_MinY2,
             Label_STDY2, from, to);
}

void ProcessingPage::RedrawSignals() {
  const int from = ScrollBar3->value(), to = ScrollBar4->value();
  PlotMV(from, to);
  PlotU(from, to);
  PlotY1(from, to);
  PlotY2(from, to);
}

// --- Histogram and large view ---

void ProcessingPage::ShowHistogram(const SampleArray& signal, const QString& title) {
  MeasurementStore& store = form_.Store();
  const HistogramRange r =
      ComputeHistogram(store, signal, ScrollBar3->value(), ScrollBar4->value());
  TForm_Histogram& window = form_.Histogram();
  window.PlotHistogram(store.HistogramLowerEdges, store.HistogramCounts, 1, title, r.Maximum,
                       r.Minimum, 20);
  window.show();
  window.raise();
  window.activateWindow();
}

void ProcessingPage::ShowLarge(const SampleArray& signal, const QString& title) {
  TForm_Obdelava_Large& window = form_.ObdelavaLarge();
  window.PlotSignalLarge(form_.Store().TimeColumn, signal, ScrollBar3->value(), title,
                         ScrollBar4->value());
  window.show();
  window.raise();
  window.activateWindow();
}

void ProcessingPage::Chart_MVContextPopup() {
  ShowHistogram(form_.Store().MVConditioned, QStringLiteral("Histogram manipulativnega signala"));
}
void ProcessingPage::Chart_UContextPopup() {
  ShowHistogram(form_.Store().UConditioned, QStringLiteral("Histogram izhoda regulatorja"));
}
void ProcessingPage::Chart_YContextPopup() {
  ShowHistogram(form_.Store().Y1Conditioned, QStringLiteral("Histogram meritve 1"));
}
void ProcessingPage::Chart2ContextPopup() {
  ShowHistogram(form_.Store().Y2Conditioned, QStringLiteral("Histogram meritve 2"));
}
void ProcessingPage::Chart_MVDblClick() {
  ShowLarge(form_.Store().MVConditioned, QStringLiteral("Manipulativni signal"));
}
void ProcessingPage::Chart_UDblClick() {
  ShowLarge(form_.Store().UConditioned, QStringLiteral("Izhod regulatorja"));
}
void ProcessingPage::Chart_YDblClick() {
  ShowLarge(form_.Store().Y1Conditioned, QStringLiteral("Meritev 1"));
}
void ProcessingPage::Chart2DblClick() {
  ShowLarge(form_.Store().Y2Conditioned, QStringLiteral("Meritev 2"));
}

void ProcessingPage::IzracunModelaClick() { form_.ComputeModel(); }

// --- Data files ---

void ProcessingPage::NaloziIzDatotekeClick() {
  FileDialog& dialog = form_.OpenDialog1;
  dialog.Filter = LoadFileFilter;
  dialog.FilterIndex = 0;
  dialog.DefaultExtension = QStringLiteral("vtd");
  if (!Ui().ExecuteOpenDialog(this, dialog)) return;

  MeasurementStore& store = form_.Store();
  const char sep = DecimalSeparator();
  const std::string path = Std(dialog.FileName);
  if (ClassifyDataFile(ReadTextLines(path, ReadLimit{7, ReadLimit{}.MaxBytes})) ==
      DataFileKind::Delimited) {
    // An export: read, shown and resampled in the import dialog; the store's record is
    // replaced only when the engineer accepts what it counted. A month at 1 s is larger
    // than the program's own files may be; one past the reader's bound is said here in
    // the window's words (the command line keeps the reader's).
    std::error_code error;
    if (const auto size = std::filesystem::file_size(path, error);
        !error && size > ExportReadLimit.MaxBytes)
      throw std::runtime_error("Datoteke \"" + path + "\" ni mogoče prebrati: večja je od " +
                               std::to_string(ExportReadLimit.MaxBytes >> 20) + " MB.");
    ImportDialog import(this, ReadTextLines(path, ExportReadLimit), dialog.FileName);
    if (import.exec() != QDialog::Accepted || !import.Result()) return;
    CommitImport(import.Result()->Record, store);
    ShowLoadedRecord(import.Result()->Record.Texts, dialog.FileName);
    return;
  }
  // The reader checks the whole file before it replaces the store's record.
  const DataFileTexts texts = TObdelava::ReadDataFile(path, store, sep);
  ShowLoadedRecord(texts, dialog.FileName);
  if (!texts.Warnings.empty()) {
    QStringList messages;
    for (const std::string& w : texts.Warnings) messages << Text(w);
    Ui().ShowMessage(messages.join(QLatin1Char('\n')));
  }
}

void ProcessingPage::ShowLoadedRecord(const DataFileTexts& texts, const QString& fileName) {
  MeasurementStore& store = form_.Store();
  const char sep = DecimalSeparator();
  Label_Ts->setText(Text(FormatShortest(store.SampleTime, sep)));
  Label_Ns->setText(QString::number(store.SampleCount));
  SetColumnSelectors(store.ColumnCount, SignalColumns{});
  const int start = TryParseInt(texts.WindowStart).value_or(1);
  const int end = TryParseInt(texts.WindowEnd).value_or(store.SampleCount);
  ApplyWindow(TObdelava::FitAnalysisWindow(store.SampleCount, store.MinWindowSamples, start, end));
  for (ChartSeries* s : {LineSeries6, Series1, Series2, LineSeries5}) s->Clear();
  if (store.ColumnCount < 6) Label68->clear();

  Label_Datum->setText(Text(texts.Date));
  Label_Ura->setText(Text(texts.Time));
  Label_Ime->setText(fileName);
  Label_Ime->setToolTip(fileName);
  Edit8->setText(Text(texts.FilterTime));
  Edit_Actuator_Maximum->setText(Text(texts.ActuatorMaximum));
  Edit_Actuator_Minimum->setText(Text(texts.ActuatorMinimum));
  Edit_Actuator_Velocity->setText(Text(texts.FullStrokeTime));

  TObdelava::ConditionSignals(store, SelectedColumns(), ReadConditioning());
  const int from = ScrollBar3->value(), to = ScrollBar4->value();
  PlotMV(from, to);
  PlotU(from, to);
  PlotY1(from, to);
  if (store.ColumnCount < 6) {
    Chart2->hide();
    for (QLabel* l : {Label_MaksY2, Label_MinY2, Label_STDY2}) l->clear();
  } else {
    Chart2->show();
    PlotY2(from, to);
  }
}

void ProcessingPage::ShraniVDatotekoClick() {
  if (form_.Store().SampleCount < 1) {
    Ui().ShowMessage(QStringLiteral("Ni podatkov za shranjevanje."));
    return;
  }
  FileDialog& dialog = form_.SaveDialog2;
  dialog.Filter = DataFileFilter;
  dialog.FilterIndex = 0;
  dialog.DefaultExtension = QStringLiteral("vtd");
  dialog.OverwritePrompt = true;
  if (!Ui().ExecuteSaveDialog(this, dialog)) return;
  SaveDataFile(dialog.FileName);
}

void ProcessingPage::SaveDataFile(const QString& fileName) {
  const MeasurementStore& store = form_.Store();
  const Conditioning parameters = ReadConditioning();
  const QDateTime now = LocalNow(form_.SystemClock());
  const DataFileHeader h =
      TObdelava::SaveHeader(store, SelectedColumns(), ScrollBar3->value(), ScrollBar4->value(),
                            parameters, Std(DateText(now.date())), Std(LongTimeText(now.time())));
  TObdelava::WriteDataFile(Std(fileName), store, h, DecimalSeparator());
}
