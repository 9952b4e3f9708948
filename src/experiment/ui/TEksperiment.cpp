#include "experiment/ui/TEksperiment.h"

#include "app/TForm1.h"

TEksperiment::TEksperiment(TForm1& form) : QDialog(nullptr), form_(form) {
  setObjectName(QStringLiteral("Eksperiment"));
  setWindowTitle(QStringLiteral(""));
}
