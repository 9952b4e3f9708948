#include "report/ui/TForm_Obdelava_Large.h"

#include "app/TForm1.h"

TForm_Obdelava_Large::TForm_Obdelava_Large(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("Form_Obdelava_Large"));
  setWindowTitle(QStringLiteral("Prikaz signala"));
}
