#include "report/ui/TForm_Histogram.h"

#include "app/TForm1.h"

TForm_Histogram::TForm_Histogram(TForm1& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("Form_Histogram"));
  setWindowTitle(QStringLiteral("Histogram"));
}
