// The controls of the "Regulator" tab, their captions, defaults and places.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include "charts/VorChart.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"
#include "opc/ui/RadioGroup.h"
#include "tuning/RobustProposal.h"
#include "tuning/ui/RegulatorPage.h"
#include "tuning/ui/ResponseChart.h"

namespace {

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = 120) {
  return ::Caption(parent, text, x, y, w, 20);
}

QLabel* Value(QWidget* parent, const char* name, int x, int y, int w = 90) {
  auto* l = Named(new QLabel(QStringLiteral("0"), parent), name);
  l->setGeometry(x, y, w, 20);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* e = Named(new QLineEdit(text, parent), name);
  e->setGeometry(x, y, w, 22);
  return e;
}

}  // namespace

void RegulatorPage::BuildControls() {
  // Left column: method, slider, cascade, summary with the robustness of each proposal,
  // sampling, response kind, file.
  QGroupBox* method = Group(this, QStringLiteral("Izbira metode nastavljanja"), 6, 2, 292, 48);
  ComboBox1 = Named(new QComboBox(method), "ComboBox1");
  ComboBox1->addItems(
      {QStringLiteral("Metoda provršin - sledenje"), QStringLiteral("Metoda provršin - motnja"),
       QStringLiteral("Chien-Hrones-Reswick - sledenje"),
       QStringLiteral("Chien-Hrones-Reswick - motnja"), QStringLiteral("Metoda uravnoteženja"),
       QStringLiteral("Ziegler-Nichols - motnja"), QStringLiteral(" "),
       QStringLiteral("SIMC - integrirni proces"), QStringLiteral("Lambda - integrirni proces")});
  ComboBox1->setGeometry(10, 18, 272, 24);

  QGroupBox* robust = Group(this, QStringLiteral("Izbira robustnost- hitrost"), 6, 52, 292, 52);
  ScrollBar_Robust = Named(new QScrollBar(Qt::Horizontal, robust), "ScrollBar_Robust");
  ScrollBar_Robust->setRange(0, 20);
  ScrollBar_Robust->setPageStep(5);
  ScrollBar_Robust->setValue(10);
  ScrollBar_Robust->setGeometry(10, 18, 272, 16);
  Caption(robust, QStringLiteral("Robustno"), 10, 32, 80);
  QLabel* fast = Caption(robust, QStringLiteral("Hitro"), 202, 32, 80);
  fast->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  QGroupBox* cascade = Group(this, QStringLiteral("Kaskadna regulacija"), 6, 106, 292, 44);
  CheckBox_CascadeReg = Named(new QCheckBox(QStringLiteral("Kaskada"), cascade), "CheckBox_CascadeReg");
  CheckBox_CascadeReg->setGeometry(10, 18, 80, 22);
  Caption(cascade, QStringLiteral("Ojačenje notranje zanke: "), 90, 19, 160);
  Label_Kp_Cascade = Value(cascade, "Label_Kp_Cascade", 244, 19, 46);

  // Each proposal's robustness on a line below its parameters.
  auto figures = [](QWidget* group, const char* name, int y) {
    QLabel* l = Value(group, name, 4, y, group->width() - 6);
    l->setText(QString());
    QFont small = l->font();
    small.setPointSizeF(small.pointSizeF() - 1);
    l->setFont(small);
    return l;
  };
  QGroupBox* p = Group(this, QStringLiteral("P regulator"), 6, 152, 144, 60);
  Caption(p, QStringLiteral("Kp:"), 10, 18, 30);
  Label_Kp_P = Value(p, "Label_Kp_P", 40, 18);
  Label_Robust_P = figures(p, "Label_Robust_P", 38);
  QGroupBox* i = Group(this, QStringLiteral("I regulator"), 154, 152, 144, 60);
  Caption(i, QStringLiteral("Ki:"), 10, 18, 30);
  Label_Ki = Value(i, "Label_Ki", 40, 18);
  Label_Robust_I = figures(i, "Label_Robust_I", 38);
  QGroupBox* pi = Group(this, QStringLiteral("PI regulator"), 6, 214, 292, 60);
  Caption(pi, QStringLiteral("Kp:"), 10, 18, 30);
  Label_PI_Kp = Value(pi, "Label_PI_Kp", 40, 18);
  Caption(pi, QStringLiteral("Ki:"), 150, 18, 30);
  Label_PI_Ti = Value(pi, "Label_PI_Ti", 180, 18);
  Label_Robust_PI = figures(pi, "Label_Robust_PI", 38);
  QGroupBox* pid = Group(this, QStringLiteral("PID regulator"), 6, 276, 292, 80);
  Caption(pid, QStringLiteral("Kp:"), 10, 18, 30);
  Label_PID_Kp = Value(pid, "Label_PID_Kp", 40, 18);
  Caption(pid, QStringLiteral("Ki:"), 150, 18, 30);
  Label_PID_Ti = Value(pid, "Label_PID_Ti", 180, 18);
  Caption(pid, QStringLiteral("Kd:"), 10, 38, 30);
  Label_PID_Td = Value(pid, "Label_PID_Td", 40, 38);
  Label_Robust_PID = figures(pid, "Label_Robust_PID", 58);

  QGroupBox* sampling = Group(this, QStringLiteral("Vzorčenje zaprte zanke"), 6, 358, 292, 64);
  Caption(sampling, QStringLiteral("Čas vzorčenja [s]: "), 10, 18, 130);
  Edit_Vzorcenje = Edit(sampling, "Edit_Vzorcenje", QStringLiteral("1"), 180, 17, 100);
  Caption(sampling, QStringLiteral("Priporočljiv čas vz. [PI]  <="), 10, 40, 170);
  Label_Priporocljiv = Value(sampling, "Label_Priporocljiv", 180, 40, 100);

  RadioGroup_Motnja = Named(
      new RadioGroup(QStringLiteral("Prikaz odzivov"),
                        {QStringLiteral("Odziv na referenco"), QStringLiteral("Odziv na motnjo")},
                        this),
      "RadioGroup_Motnja");
  // The two kinds side by side.
  delete RadioGroup_Motnja->layout();
  auto* kinds = new QHBoxLayout(RadioGroup_Motnja);
  kinds->setContentsMargins(8, 2, 8, 2);
  for (int k = 0; k < RadioGroup_Motnja->Count(); ++k) kinds->addWidget(RadioGroup_Motnja->Item(k));
  RadioGroup_Motnja->setGeometry(6, 424, 292, 46);
  RadioGroup_Motnja->SetItemIndex(0);

  Button9 = Named(new QPushButton(QStringLiteral("Shrani v datoteko"), this), "Button9");
  Button9->setGeometry(6, 476, 143, 28);
  Button8 = Named(new QPushButton(QStringLiteral("Naloži iz datoteke"), this), "Button8");
  Button8->setGeometry(155, 476, 143, 28);

  // Right: the responses and the scaled parameters.
  const ResponseChart responses = CreateResponseChart(this);
  Chart1 = responses.Chart;
  Chart1->setGeometry(306, 4, 582, 316);
  LineSeries3 = responses.YI;
  LineSeries4 = responses.OpenLoop;
  Series3 = responses.YPI;
  Series4 = responses.YPID;
  Series5 = responses.YP;

  QGroupBox* scaled = Group(this, QStringLiteral("Izračun skaliranih parametrov"), 306, 324, 582, 190);
  ComboBox_Regulator = Named(new QComboBox(scaled), "ComboBox_Regulator");
  ComboBox_Regulator->addItems({QStringLiteral("Splošni paralelni (Kp, Ki, Kd)"),
                                QStringLiteral("Paralelni (Kp, Ti, Td)"),
                                QStringLiteral("Paralelni (Kp, 1/Ti, Td)"),
                                QStringLiteral("Serijski (Kp, Ti, Td)")});
  ComboBox_Regulator->setGeometry(10, 22, 220, 24);
  RadioGroup_IzbiraTipaReg = Named(
      new RadioGroup(QStringLiteral("Izbira regulatorja"),
                        {QStringLiteral("P"), QStringLiteral("I"), QStringLiteral("PI"),
                         QStringLiteral("PID")},
                        scaled),
      "RadioGroup_IzbiraTipaReg");
  // The four types side by side.
  delete RadioGroup_IzbiraTipaReg->layout();
  auto* row = new QHBoxLayout(RadioGroup_IzbiraTipaReg);
  row->setContentsMargins(8, 4, 8, 4);
  for (int k = 0; k < RadioGroup_IzbiraTipaReg->Count(); ++k) row->addWidget(RadioGroup_IzbiraTipaReg->Item(k));
  RadioGroup_IzbiraTipaReg->setGeometry(10, 52, 220, 46);
  RadioGroup_IzbiraTipaReg->SetItemIndex(2);
  Caption(scaled, QStringLiteral("Dodatno skaliranje:"), 10, 106, 120);
  Caption(scaled, QStringLiteral("P:"), 10, 130, 16);
  Edit_Reg_ScaleP = Edit(scaled, "Edit_Reg_ScaleP", QStringLiteral("1"), 26, 129, 44);
  Caption(scaled, QStringLiteral("I:"), 80, 130, 16);
  Edit_Reg_ScaleI = Edit(scaled, "Edit_Reg_ScaleI", QStringLiteral("1"), 96, 129, 44);
  Caption(scaled, QStringLiteral("D:"), 150, 130, 16);
  Edit_Reg_ScaleD = Edit(scaled, "Edit_Reg_ScaleD", QStringLiteral("1"), 166, 129, 44);

  auto nameLabel = [scaled](const char* name, const QString& text, int y) {
    QLabel* l = Caption(scaled, text, 260, y, 44);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  Label_Reg_Name_Kp = nameLabel("Label_Reg_Name_Kp", QStringLiteral("Kp:"), 24);
  Edit_Reg_Kp = Edit(scaled, "Edit_Reg_Kp", QStringLiteral("0"), 306, 23, 120);
  Label_Reg_Name_Ki = nameLabel("Label_Reg_Name_Ki", QStringLiteral("Ki:"), 54);
  Edit_Reg_Ki = Edit(scaled, "Edit_Reg_Ki", QStringLiteral("0"), 306, 53, 120);
  Label_Reg_Name_Kd = nameLabel("Label_Reg_Name_Kd", QStringLiteral("Kd:"), 84);
  Edit_Reg_Kd = Edit(scaled, "Edit_Reg_Kd", QStringLiteral("0"), 306, 83, 120);
  Label_LabOjacSekv = Named(Caption(scaled, QStringLiteral(" "), 260, 114, 110), "Label_LabOjacSekv");
  Label_OjacSekv = Named(Caption(scaled, QStringLiteral(" "), 372, 114, 60), "Label_OjacSekv");
  Caption(scaled, QStringLiteral("Robustnost:"), 260, 144, 80);
  Label_Robust_Reg = Value(scaled, "Label_Robust_Reg", 340, 144, 236);
  Label_Robust_Reg->setText(QString());
  // The limit on Ms and the search for the fastest slider position that keeps it; below
  // the figures, the note on a closed-loop sampling time longer than the recommended one.
  Caption(scaled, QStringLiteral("Največji Ms:"), 10, 152, 76);
  Edit_MaxMs = Edit(scaled, "Edit_MaxMs", ShownGeneral(DefaultMaxMs, 3), 90, 151, 36);
  Edit_MaxMs->setToolTip(QStringLiteral("Meja največje občutljivosti Ms (od %1 do %2)")
                              .arg(ShownGeneral(LowestMaxMs, 3), ShownGeneral(HighestMaxMs, 3)));
  Button_RobustniPredlog =
      Named(new QPushButton(QStringLiteral("Robustni predlog"), scaled), "Button_RobustniPredlog");
  Button_RobustniPredlog->setGeometry(130, 149, 112, 24);
  Button_RobustniPredlog->setToolTip(
      QStringLiteral("Premakne drsnik na najhitrejši položaj, pri katerem je izbrani regulator "
                     "stabilen in Ms ne presega meje"));
  Label_Vzorcenje_Opozorilo = Named(Caption(scaled, QString(), 260, 162, 316), "Label_Vzorcenje_Opozorilo");
  Label_Vzorcenje_Opozorilo->setFixedHeight(14);
  QFont noteFont = Label_Vzorcenje_Opozorilo->font();
  noteFont.setPointSizeF(noteFont.pointSizeF() - 1);
  Label_Vzorcenje_Opozorilo->setFont(noteFont);
  Label_Vzorcenje_Opozorilo->setStyleSheet(QStringLiteral("color: #c00000;"));
  Button16 = Named(new QPushButton(QStringLiteral("Naloži v regulator"), scaled), "Button16");
  Button16->setGeometry(440, 22, 130, 56);
  Button_PovrniPrejsnje =
      Named(new QPushButton(QStringLiteral("Povrni prejšnje"), scaled), "Button_PovrniPrejsnje");
  Button_PovrniPrejsnje->setGeometry(440, 82, 130, 26);
  Button_PovrniPrejsnje->setToolTip(
      QStringLiteral("Zapiše v regulator vrednosti, ki jih je imel pred zadnjim nalaganjem, na "
                     "istem strežniku in v iste točke, po vprašanju. Ostane ob ponovni povezavi "
                     "z istim strežnikom; s koncem programa se izgubi."));
  Button_PovrniPrejsnje->setEnabled(false);
  Button_PrekliciNalaganje =
      Named(new QPushButton(QString::fromUtf8("Prekliči"), scaled), "Button_PrekliciNalaganje");
  Button_PrekliciNalaganje->setGeometry(440, 82, 130, 26);
  Button_PrekliciNalaganje->setToolTip(QString::fromUtf8(
      "Neha čakati na strežnik. Zapis, ki je že na poti, se izteče cel ali se povrne."));
  Button_PrekliciNalaganje->hide();
  Label_DrugModel = Named(Caption(scaled, QString(), 10, 174, 248), "Label_DrugModel");
  Label_DrugModel->setFixedHeight(14);
  Label_DrugModel->setStyleSheet(QStringLiteral("#Label_DrugModel { color: #c00000; }"));
}
