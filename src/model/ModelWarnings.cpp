#include "model/ModelWarnings.h"

#include "model/IdentifyModel.h"
#include "model/IntegratingModel.h"

WarningScope ModelWarningScope(const MeasurementStore& s, int start, int end, bool outer,
                               bool judgeModels, char separator) {
  WarningScope scope;
  scope.Start = start;
  scope.End = end;
  scope.Outer = outer;
  scope.Separator = separator;
  scope.InnerIntegrating = KindOf(s, false) == ProcessKind::Integrating;
  scope.OuterIntegrating = KindOf(s, true) == ProcessKind::Integrating;
  if (!judgeModels) return scope;
  const auto figures = [](const char* name, double relativeError, double timeConstant) {
    const ModelQuality q = QualityOf(relativeError);
    const bool poor = q == ModelQuality::Poor || q == ModelQuality::Bad;
    return ModelWarningFigures{name, poor ? QualityText(q) : "", timeConstant};
  };
  scope.Models.push_back(figures("notranjega", s.InnerRelativeError, s.InnerTimeConstant));
  if (outer)
    scope.Models.push_back(figures("zunanjega", s.OuterRelativeError, s.OuterTimeConstant));
  if (SamplingTooSparse(s)) scope.SparseSampling = SamplingWarningText;
  return scope;
}
