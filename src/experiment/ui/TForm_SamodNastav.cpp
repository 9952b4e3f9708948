#include "experiment/ui/TForm_SamodNastav.h"

#include "app/TForm1.h"

TForm_SamodNastav::TForm_SamodNastav(TForm1& form) : QDialog(nullptr), form_(form) {
  setObjectName(QStringLiteral("Form_SamodNastav"));
  setWindowTitle(QStringLiteral("Dodatne nastavitve samodejnega poizkusa"));
}
