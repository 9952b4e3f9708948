#include "experiment/ui/TForm_SamodNastav.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>

#include "data/NumberFormat.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"
#include "opc/ui/RadioGroup.h"
#include "tuning/Recomputation.h"

namespace {

QLineEdit* LabelledEdit(QWidget* parent, const QString& caption, const char* name, const QString& text,
                        int y, int captionWidth = 120, int editWidth = 80) {
  auto* label = new QLabel(caption, parent);
  label->setGeometry(10, y, captionWidth, 22);
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setGeometry(10 + captionWidth, y, editWidth, 22);
  return edit;
}

QComboBox* NoSelectionList(QWidget* parent, const char* name, const QStringList& items) {
  auto* list = Named(new QComboBox(parent), name);
  list->addItems(items);
  // No item selected at first; the field shows the first item's text.
  list->setPlaceholderText(items.first());
  list->setCurrentIndex(-1);
  // Shown like a selected item's text, not greyed as if disabled.
  QPalette palette = list->palette();
  palette.setColor(QPalette::PlaceholderText, palette.color(QPalette::ButtonText));
  list->setPalette(palette);
  return list;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, bool on, int x, int y, int w = 200) {
  auto* box = Named(new QCheckBox(text, parent), name);
  box->setChecked(on);
  box->setGeometry(x, y, w, 22);
  return box;
}

}  // namespace

TForm_SamodNastav::TForm_SamodNastav(Workspace& form) : QDialog(nullptr), form_(form) {
  setObjectName(QStringLiteral("Form_SamodNastav"));
  setWindowTitle(QStringLiteral("Dodatne nastavitve samodejnega poizkusa"));
  setFixedSize(560, 430);
  BuildLeftColumn();
  BuildRightColumn();
  ScrollBar_Sam_RobustChange();
}

void TForm_SamodNastav::BuildLeftColumn() {
  QGroupBox* filter = Group(this, QStringLiteral("Filtriranje signalov"), 8, 6, 264, 54);
  Edit_Sam_Filt = LabelledEdit(filter, QStringLiteral("Čas:"), "Edit_Sam_Filt", QStringLiteral("0"), 22);

  QGroupBox* limits = Group(this, QStringLiteral("Omejitve izvršnih členov"), 8, 66, 264, 110);
  Edit_Sam_Max = LabelledEdit(limits, QStringLiteral("Maksimum:"), "Edit_Sam_Max", QStringLiteral("100"), 22);
  Edit_Sam_Min = LabelledEdit(limits, QStringLiteral("Minimum:"), "Edit_Sam_Min", QStringLiteral("0"), 50);
  Edit_Sam_Velocity =
      LabelledEdit(limits, QStringLiteral("Čas odpiranja [s]:"), "Edit_Sam_Velocity", QStringLiteral("1"), 78);

  QGroupBox* method = Group(this, QStringLiteral("Izbira metode nastavljanja"), 8, 182, 264, 56);
  ComboBox_Sam_IzbMetode = NoSelectionList(
      method, "ComboBox_Sam_IzbMetode",
      {QStringLiteral("Metoda provršin - sledenje"), QStringLiteral("Metoda provršin - motnja"),
       QStringLiteral("Chien-Hrones-Reswick - sledenje"), QStringLiteral("Chien-Hrones-Reswick - motnja"),
       QStringLiteral("Metoda uravnoteženja"), QStringLiteral("Ziegler-Nichols - motnja")});
  ComboBox_Sam_IzbMetode->setGeometry(10, 22, 244, 24);

  QGroupBox* sampling = Group(this, QStringLiteral("Vzorčenje zaprte zanke"), 8, 244, 264, 54);
  Edit_Sam_Ts = LabelledEdit(sampling, QStringLiteral("Čas vzorčenja:"), "Edit_Sam_Ts", QStringLiteral("1"), 22);

  QGroupBox* robust = Group(this, QStringLiteral("Izbira robustnost - hitrost:"), 8, 304, 264, 76);
  auto* robustLeft = new QLabel(QStringLiteral("Robustno"), robust);
  robustLeft->setGeometry(10, 48, 80, 20);
  auto* robustRight = new QLabel(QStringLiteral("Hitro"), robust);
  robustRight->setAlignment(Qt::AlignRight);
  robustRight->setGeometry(110, 48, 80, 20);
  ScrollBar_Sam_Robust = Named(new QScrollBar(Qt::Horizontal, robust), "ScrollBar_Sam_Robust");
  ScrollBar_Sam_Robust->setRange(0, 20);
  ScrollBar_Sam_Robust->setPageStep(5);
  ScrollBar_Sam_Robust->setValue(10);
  ScrollBar_Sam_Robust->setGeometry(10, 24, 180, 20);
  Label_Sam_Robust = Named(new QLabel(QStringLiteral("1"), robust), "Label_Sam_Robust");
  Label_Sam_Robust->setAlignment(Qt::AlignCenter);
  Label_Sam_Robust->setFrameShape(QFrame::Panel);
  Label_Sam_Robust->setFrameShadow(QFrame::Sunken);
  Label_Sam_Robust->setGeometry(198, 22, 56, 24);
  connect(ScrollBar_Sam_Robust, &QScrollBar::valueChanged, this, [this] { ScrollBar_Sam_RobustChange(); });
}

void TForm_SamodNastav::BuildRightColumn() {
  RadioGroup_Sam_Prikaz = new RadioGroup(
      QStringLiteral("Prikaz odzivov"), {QStringLiteral("Odziv na referenco"), QStringLiteral("Odziv na motnjo")},
      this);
  RadioGroup_Sam_Prikaz->setObjectName(QStringLiteral("RadioGroup_Sam_Prikaz"));
  RadioGroup_Sam_Prikaz->setGeometry(282, 6, 270, 70);
  RadioGroup_Sam_Prikaz->SetItemIndex(0);

  QGroupBox* form = Group(this, QStringLiteral("Izbira tipa regulatorja"), 282, 82, 270, 56);
  ComboBox_Sam_TipReg = NoSelectionList(
      form, "ComboBox_Sam_TipReg",
      {QStringLiteral("Splošni paralelni (Kp, Ki, Kd)"), QStringLiteral("Paralelni (Kp, Ti, Td)"),
       QStringLiteral("Paralelni (Kp, 1/Ti, Td)"), QStringLiteral("Serijski (Kp, Ti, Td)")});
  ComboBox_Sam_TipReg->setGeometry(10, 22, 250, 24);

  QGroupBox* scale = Group(this, QStringLiteral("Dodatno skaliranje:"), 282, 144, 270, 54);
  const char* scaleNames[] = {"Edit_Sam_SkalP", "Edit_Sam_SkalI", "Edit_Sam_SkalD"};
  const char* scaleCaptions[] = {"P:", "I:", "D:"};
  QLineEdit** scaleEdits[] = {&Edit_Sam_SkalP, &Edit_Sam_SkalI, &Edit_Sam_SkalD};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromLatin1(scaleCaptions[i]), scale);
    label->setGeometry(10 + 86 * i, 22, 18, 22);
    *scaleEdits[i] = Named(new QLineEdit(QStringLiteral("1"), scale), scaleNames[i]);
    (*scaleEdits[i])->setGeometry(28 + 86 * i, 22, 60, 22);
  }

  RadioGroup_Sam_PID = new RadioGroup(QStringLiteral("Izbira regulatorja"),
                                      {QStringLiteral("P"), QStringLiteral("I"), QStringLiteral("PI"),
                                       QStringLiteral("PID")},
                                      this);
  RadioGroup_Sam_PID->setObjectName(QStringLiteral("RadioGroup_Sam_PID"));
  RadioGroup_Sam_PID->setGeometry(282, 204, 110, 112);
  RadioGroup_Sam_PID->SetItemIndex(2);

  CheckBox_Sam_Cascade =
      Check(this, "CheckBox_Sam_Cascade", QStringLiteral("Kaskadni regulator"), false, 402, 214, 150);
  CheckBox_Sam_Nalozi =
      Check(this, "CheckBox_Sam_Nalozi", QStringLiteral("Naloži parametre v regulator"), false, 402, 240, 150);
  CheckBox_Sam_Nalozi->setVisible(false);
  CheckBox_Sam_Nalozi->setEnabled(false);

  QGroupBox* report = Group(this, QStringLiteral("Vsebina poročila"), 282, 322, 270, 100);
  CheckBox_Sam_PorocObd = Check(report, "CheckBox_Sam_PorocObd", QStringLiteral("Obdelava"), true, 10, 20, 84);
  CheckBox_Sam_PorocMod = Check(report, "CheckBox_Sam_PorocMod", QStringLiteral("Model"), true, 94, 20, 74);
  CheckBox_Sam_PorocReg = Check(report, "CheckBox_Sam_PorocReg", QStringLiteral("Regulator"), true, 168, 20, 96);
  auto* templateCaption = new QLabel(QStringLiteral("Predloga:"), report);
  templateCaption->setGeometry(10, 46, 60, 20);
  Label13 = Named(new QLabel(QStringLiteral("normal.dot"), report), "Label13");
  Label13->setGeometry(72, 46, 190, 20);
  Button_Sam_IzberiPredlogo =
      Named(new QPushButton(QStringLiteral("Izberi predlogo"), report), "Button_Sam_IzberiPredlogo");
  Button_Sam_IzberiPredlogo->setGeometry(10, 68, 120, 26);
  connect(Button_Sam_IzberiPredlogo, &QPushButton::clicked, this, [this] { Button_Sam_IzberiPredlogoClick(); });

  Button_Sam_OK = Named(new QPushButton(QStringLiteral("OK"), this), "Button_Sam_OK");
  Button_Sam_OK->setGeometry(8, 392, 264, 30);
  connect(Button_Sam_OK, &QPushButton::clicked, this, [this] { Button_Sam_OKClick(); });
}

void TForm_SamodNastav::ScrollBar_Sam_RobustChange() {
  Label_Sam_Robust->setText(ShownFixed(RobustnessFactor(ScrollBar_Sam_Robust->value()), 3));
}

void TForm_SamodNastav::Button_Sam_IzberiPredlogoClick() {
  if (Ui().ExecuteOpenDialog(this, OpenDialog_Sam_Predloga)) Label13->setText(OpenDialog_Sam_Predloga.FileName);
}

void TForm_SamodNastav::Button_Sam_OKClick() { hide(); }
