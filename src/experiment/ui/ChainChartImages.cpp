#include "experiment/ui/ChainChartImages.h"

#include <QCheckBox>

#include "forms/Workspace.h"
#include "model/ui/ModelPage.h"
#include "tuning/ui/RegulatorPage.h"

ChainChartImages::ChainChartImages(Workspace& form)
    : form_(form),
      charts_(form.ObdelavaLarge(), form.Histogram(), *form.ModelTab().Chart_Model,
              *form.RegulatorTab().Chart1) {}

void ChainChartImages::ExportSignalImages(const std::string& folder, MeasurementStore& store,
                                          int start, int end) {
  charts_.ExportSignalImages(folder, store, start, end);
}

void ChainChartImages::ExportModelImage(const std::string& folder, const MeasurementStore& store,
                                        bool outer) {
  // The model tab as "Izračun modela" leaves it.
  ModelPage& page = form_.ModelTab();
  page.CheckBox_Model_Outer->setChecked(outer);
  page.HideQualityImages();
  page.PlotChosenModel();
  page.ShowModel(outer, 5);
  charts_.ExportModelImage(folder, store, outer);
}

void ChainChartImages::ExportResponseImage(const std::string& folder,
                                           const ResponseCurves* curves) {
  // The tab's controls hold the dialog's choices, copied before the run: it recomputes
  // from the same models what the chain computed, and draws it.
  RegulatorPage& page = form_.RegulatorTab();
  page.RecomputeTuningFromControls();
  page.ShowControllerParametersFromControls();
  charts_.ExportResponseImage(folder, curves);
}
