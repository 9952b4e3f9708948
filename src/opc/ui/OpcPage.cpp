#include "opc/ui/OpcPage.h"

#include "app/TForm1.h"

OpcPage::OpcPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_OPC"));
}

void OpcPage::FillServerList() {}

void OpcPage::SelectManualValuesZero() {}

QString OpcPage::ItemId(int) const { return {}; }

QString OpcPage::Description(int) const { return {}; }
