#include "experiment/ui/LiveModelPanel.h"

#include <QLabel>
#include <QList>
#include <QPointF>
#include <QVBoxLayout>

#include "charts/VorChart.h"
#include "data/NumberFormat.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "model/IntegratingModel.h"

namespace {

constexpr unsigned ColourModel = 0x00A000;  // green-yellow over the blue Y1 (0x00BBGGRR)

QString Number(double value, int decimals) {
  return QString::fromStdString(FormatFixed(value, decimals, DecimalSeparator()));
}

QLabel* AddLabel(QVBoxLayout* layout, QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  layout->addWidget(label);
  return label;
}

}  // namespace

LiveModelPanel::LiveModelPanel(QWidget* parent, VorChart& chart, ExperimentRun& run)
    : QGroupBox(QStringLiteral("Model med stopnico"), parent), run_(run), chart_(chart) {
  setObjectName(QStringLiteral("LiveModelPanel"));
  auto* layout = new QVBoxLayout(this);
  Label_Live_Kind = AddLabel(layout, this, "Label_Live_Kind");
  Label_Live_Gain = AddLabel(layout, this, "Label_Live_Gain");
  Label_Live_Time = AddLabel(layout, this, "Label_Live_Time");
  Label_Live_Delay = AddLabel(layout, this, "Label_Live_Delay");
  Label_Live_Quality = AddLabel(layout, this, "Label_Live_Quality");
  layout->addSpacing(8);
  Label_Live_State = AddLabel(layout, this, "Label_Live_State");
  QFont bold = Label_Live_State->font();
  bold.setBold(true);
  Label_Live_State->setFont(bold);
  layout->addSpacing(8);
  Label_Live_Forecast = AddLabel(layout, this, "Label_Live_Forecast");
  Label_Live_Forecast->setFont(bold);
  Label_Live_Forecast->setStyleSheet(QStringLiteral("color: #c00000;"));
  Label_Live_Step = AddLabel(layout, this, "Label_Live_Step");
  layout->addStretch();
  ModelSeries = &chart_.AddLineSeries(QStringLiteral("Model"), ColorFromBgr(ColourModel),
                                      LineKind::Straight, Qt::DashLine, 2);
  Show();
}

LiveModelPanel::~LiveModelPanel() = default;

void LiveModelPanel::Begin() {
  ++generation_;
  fitting_ = false;
  ModelSeries->Replace(QList<QPointF>{});
  Show();
  ShowRun();
}

void LiveModelPanel::End() {
  ++generation_;
  fitting_ = false;
}

void LiveModelPanel::SamplesDrawn(double chartFrom) {
  chartFrom_ = chartFrom;
  if (!fitting_ && run_.Running() && run_.Live().FitDue()) StartFit();
  ShowRun();
  DrawCurve();
}

void LiveModelPanel::StartFit() {
  fitting_ = true;
  auto record = std::make_shared<LiveModelRecord>(run_.Live().TakeRecord());
  auto fit = std::make_shared<LiveModelFit>();
  const int generation = generation_;
  Jobs().Start(
      this, [record, fit] { *fit = LiveModel::Fit(*record); },
      [this, fit, generation](std::exception_ptr error) {
        if (generation != generation_) return;
        fitting_ = false;
        if (error) return;  // the next due fit tries again
        run_.AcceptLiveFit(*fit);
        Show();
        ShowRun();
        DrawCurve();
      });
}

void LiveModelPanel::ShowRun() {
  const std::optional<LimitForecast>& forecast = run_.Forecast();
  Label_Live_Forecast->setText(
      forecast ? QString::fromStdString(LimitForecastText(*forecast, DecimalSeparator()))
               : QString());
  const std::vector<EarlyStepEnd>& early = run_.Findings.EarlyEnds;
  Label_Live_Step->setText(
      early.empty() ? QString()
                    : QString::fromStdString(EarlyStepEndText(early.back(), DecimalSeparator())));
}

void LiveModelPanel::Show() {
  const LiveModelFit& f = run_.Live().Latest();
  if (!f.Valid) {
    Label_Live_Kind->setText(QStringLiteral("Vrsta: —"));
    Label_Live_Gain->setText(QStringLiteral("K: —"));
    Label_Live_Time->setText(QStringLiteral("T: —"));
    Label_Live_Delay->setText(QStringLiteral("L: —"));
    Label_Live_Quality->setText(QStringLiteral("Kakovost: —"));
    Label_Live_State->setText(QStringLiteral("Čakam na stopnico in odziv nanjo."));
    return;
  }
  const bool integrating = f.Kind == ProcessKind::Integrating;
  const QString pm = QStringLiteral(" ± ");
  Label_Live_Kind->setText(QStringLiteral("Vrsta: ") + QString::fromUtf8(ProcessKindText(f.Kind)));
  Label_Live_Gain->setText(
      (integrating ? QStringLiteral("Naklon: ") : QStringLiteral("K: ")) +
      QString::fromStdString(FormatGeneral(f.Gain, 4, DecimalSeparator())) + pm +
      QString::fromStdString(FormatGeneral(f.GainBound, 2, DecimalSeparator())) +
      (integrating ? QStringLiteral(" /s") : QString()));
  Label_Live_Time->setText(QStringLiteral("T: ") + Number(f.TimeConstant, 2) + pm +
                           Number(f.TimeBound, 2) + QStringLiteral(" s"));
  Label_Live_Delay->setText(QStringLiteral("L: ") + Number(f.DeadTime, 1) + QStringLiteral(" s"));
  Label_Live_Quality->setText(
      QStringLiteral("Kakovost: ") + QString::fromUtf8(QualityText(QualityOf(f.RelativeError))) +
      QStringLiteral(" (") + Number(f.RelativeError, 3) + QStringLiteral(")"));
  if (run_.Live().Settled())
    Label_Live_State->setText(QString::fromUtf8(LiveModelSettledText) +
                              QStringLiteral(" (od t = ") + Number(run_.Live().SettledAt(), 1) +
                              QStringLiteral(" s)"));
  else if (f.NoResponse)
    Label_Live_State->setText(QStringLiteral("Meritev se na stopnico še ne odziva."));
  else
    Label_Live_State->setText(QStringLiteral("Model se še spreminja."));
}

void LiveModelPanel::DrawCurve() {
  const LiveModelFit& f = run_.Live().Latest();
  QList<QPointF> points;
  if (f.Valid)
    for (size_t k = 0; k < f.Times.size(); ++k)
      if (f.Times[k] >= chartFrom_) points.append(QPointF(f.Times[k], f.Response[k]));
  ModelSeries->Replace(points);
}
