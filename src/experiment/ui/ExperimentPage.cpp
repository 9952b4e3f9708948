#include "experiment/ui/ExperimentPage.h"

#include "app/TForm1.h"

ExperimentPage::ExperimentPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Eksperiment"));
}

void ExperimentPage::SetStartDateToday() {}
