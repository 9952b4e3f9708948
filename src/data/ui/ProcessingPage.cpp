#include "data/ui/ProcessingPage.h"

#include "app/TForm1.h"

ProcessingPage::ProcessingPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Obdelava"));
}

void ProcessingPage::ConditionAfterExperiment() {}

void ProcessingPage::SetAnalysisWindowStart(int) {}

