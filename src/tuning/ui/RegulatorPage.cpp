#include "tuning/ui/RegulatorPage.h"

#include "app/TForm1.h"

RegulatorPage::RegulatorPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Regulator"));
}

void RegulatorPage::Button_PIDClick() {}

