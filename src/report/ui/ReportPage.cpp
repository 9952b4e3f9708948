#include "report/ui/ReportPage.h"

#include "forms/Workspace.h"

ReportPage::ReportPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Porocilo"));
}

