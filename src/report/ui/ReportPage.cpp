#include "report/ui/ReportPage.h"

#include "app/TForm1.h"

ReportPage::ReportPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Porocilo"));
}

