#include "model/ui/ModelPage.h"

#include "app/TForm1.h"

ModelPage::ModelPage(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Model"));
}

void ModelPage::HideQualityImages() {}

void ModelPage::IzracunModelaClick() {}
