#include "experiment/ui/ExperimentPage.h"

#include <QCheckBox>
#include <QDate>
#include <QDateEdit>
#include <QDateTime>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextBlock>
#include <initializer_list>

#include "data/ui/ShownNumbers.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "forms/FormHelpers.h"
#include "forms/Workspace.h"

namespace {

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = 170) {
  return ::Caption(parent, text, x, y, w, 22);
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w = 96) {
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setGeometry(x, y, w, 22);
  return edit;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, bool on, int x, int y) {
  auto* box = Named(new QCheckBox(text, parent), name);
  box->setChecked(on);
  box->setGeometry(x, y, 276, 22);
  return box;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                    int h = 28) {
  auto* button = Named(new QPushButton(text, parent), name);
  button->setGeometry(x, y, w, h);
  return button;
}

void SetEnabled(std::initializer_list<QWidget*> widgets, bool enabled) {
  for (QWidget* w : widgets) w->setEnabled(enabled);
}

}  // namespace

ExperimentPage::ExperimentPage(Workspace& form) : QWidget(nullptr), form_(form) {
  setObjectName(QStringLiteral("TabSheet_Eksperiment"));
  BuildModeGroup();
  BuildParameterGroup();
  BuildSliderAndSequencerGroups();
  BuildActionsAndQueue();
  BuildEnvelopeGroup();

  connect(RadioRocno, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RadioRocnoClick();
  });
  connect(RadioAvtomatsko, &QRadioButton::toggled, this, [this](bool on) {
    if (on) RadioAvtomatskoClick();
  });
  connect(CheckBox_NePisi, &QCheckBox::toggled, this, [this] { CheckBox_NePisiClick(); });
  connect(OhraniZacetniVhod, &QCheckBox::toggled, this, [this] { OhraniZacetniVhodClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
  connect(AktivirajEksperiment, &QPushButton::clicked, this, [this] { AktivirajEksperimentClick(); });
  connect(ShraniNastavitve, &QPushButton::clicked, this, [this] { ShraniNastavitveClick(); });
  connect(NaloziNastavitve, &QPushButton::clicked, this, [this] { NaloziNastavitveClick(); });
  // The start-time list: the caret picks the entry that Delete removes.
  SeznamCakajocihEkspCas->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  SeznamCakajocihEkspCas->installEventFilter(this);
  // The label list follows the start-time list's caret line, so the engineer sees which
  // experiment Delete would remove.
  connect(SeznamCakajocihEkspCas, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    const int lineNumber = SeznamCakajocihEkspCas->textCursor().blockNumber();
    const QTextBlock line = SeznamCakajocihEkspOznaka->document()->findBlockByNumber(lineNumber);
    if (!line.isValid()) return;
    QTextCursor caret(line);
    caret.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    SeznamCakajocihEkspOznaka->setTextCursor(caret);
  });
}

void ExperimentPage::BuildModeGroup() {
  GroupBox_Nacin = Named(new QGroupBox(QStringLiteral("Način eksperimenta"), this), "GroupBox_Nacin");
  GroupBox_Nacin->setGeometry(8, 6, 300, 70);
  RadioRocno = Named(new QRadioButton(QStringLiteral("Ročno voden poizkus"), GroupBox_Nacin), "RadioRocno");
  RadioRocno->setGeometry(12, 20, 276, 22);
  RadioAvtomatsko =
      Named(new QRadioButton(QStringLiteral("Samodejni poizkus"), GroupBox_Nacin), "RadioAvtomatsko");
  RadioAvtomatsko->setGeometry(12, 42, 276, 22);
  RadioAvtomatsko->setChecked(true);
}

void ExperimentPage::BuildParameterGroup() {
  QWidget* g = GroupBox_Parametri =
      Named(new QGroupBox(QStringLiteral("Parametri eksperimenta"), this), "GroupBox_Parametri");
  GroupBox_Parametri->setGeometry(8, 82, 300, 440);
  constexpr int editX = 190;
  Caption(g, QStringLiteral("Čas vzorčenja: [s]"), 12, 22);
  CasVzorcenjaEdit = Edit(g, "CasVzorcenjaEdit", QStringLiteral("1"), editX, 22);
  CheckBox_NePisi = Check(g, "CheckBox_NePisi", QStringLiteral("Ne piši v OPC"), false, 12, 52);
  CheckBox_Zaprtozancni =
      Check(g, "CheckBox_Zaprtozancni", QStringLiteral("Zaprta zanka med poizkusom"), false, 12, 76);
  CheckBox_ZZPoPoizkusu =
      Check(g, "CheckBox_ZZPoPoizkusu", QStringLiteral("Zaprta zanka po poizkusu"), true, 12, 100);
  OhraniZacetniVhod = Check(g, "OhraniZacetniVhod", QStringLiteral("Ohrani začetni vhod"), false, 12, 124);
  Label4 = Named(Caption(g, QStringLiteral("Začetni vhod: "), 12, 154), "Label4");
  ZacetniVhodEdit = Edit(g, "ZacetniVhodEdit", QStringLiteral("0"), editX, 154);
  Label5 = Named(Caption(g, QStringLiteral("Čas čakanja: [s]"), 12, 184), "Label5");
  CasCakanjaEdit = Edit(g, "CasCakanjaEdit", QStringLiteral("0"), editX, 184);
  Label6 = Named(Caption(g, QStringLiteral("Velikost stopnice:"), 12, 214), "Label6");
  VelikostStopniceEdit = Edit(g, "VelikostStopniceEdit", QStringLiteral("0"), editX, 214);
  Label7 = Named(Caption(g, QStringLiteral("Čas ene stopnice: [s]"), 12, 244), "Label7");
  CasStopniceEdit = Edit(g, "CasStopniceEdit", QStringLiteral("0"), editX, 244);
  Label8 = Named(Caption(g, QStringLiteral("Število stopnic:"), 12, 274), "Label8");
  SteviloStopnicEdit = Edit(g, "SteviloStopnicEdit", QStringLiteral("1"), editX, 274);
  CheckBox_ObeSmeri = Check(g, "CheckBox_ObeSmeri", QStringLiteral("Stopnice v obe smeri"), false, 12, 302);
  CheckBox_KoncajObUmiritvi =
      Check(g, "CheckBox_KoncajObUmiritvi", QStringLiteral("Končaj stopnico, ko se odziv umiri"),
            false, 12, 324);
  CheckBox_KoncajObUmiritvi->setToolTip(QStringLiteral(
      "Stopnica se konča, ko model med stopnico pove, da se je odziv umiril, vendar ne pred "
      "četrtino časa ene stopnice. Zaporedje se konča, preden bi Y1 po napovedi dosegel "
      "varnostno mejo; MV se vrne na začetno vrednost."));

  Label3 = Named(Caption(g, QStringLiteral("Začetek eksperimenta:"), 12, 348), "Label3");
  DateTimePicker1 = Named(new QDateEdit(g), "DateTimePicker1");
  DateTimePicker1->setCalendarPopup(true);
  DateTimePicker1->setDisplayFormat(QString::fromLatin1(DateFormat));
  DateTimePicker1->setGeometry(12, 372, 150, 24);
  CajtZacetka = Edit(g, "CajtZacetka", QString(), 190, 372);
  CajtZacetka->setInputMask(QStringLiteral("09:99:99;_"));
  CajtZacetka->setMaxLength(8);
  CajtZacetka->setText(QStringLiteral("12:00:00"));
  Button1 = Button(g, "Button1", QStringLiteral("Nastavi sedanji čas"), 12, 404, 276);
}

void ExperimentPage::BuildSliderAndSequencerGroups() {
  GroupBox_DrsnikMV =
      Named(new QGroupBox(QStringLiteral("Parametri drsnika MV"), this), "GroupBox_DrsnikMV");
  GroupBox_DrsnikMV->setGeometry(318, 6, 264, 112);
  Caption(GroupBox_DrsnikMV, QStringLiteral("Maksimum"), 12, 22, 120);
  Edit_MVMax = Edit(GroupBox_DrsnikMV, "Edit_MVMax", QStringLiteral("100"), 150, 22);
  Caption(GroupBox_DrsnikMV, QStringLiteral("Minimum"), 12, 52, 120);
  Edit_MVMin = Edit(GroupBox_DrsnikMV, "Edit_MVMin", QStringLiteral("0"), 150, 52);
  Caption(GroupBox_DrsnikMV, QStringLiteral("Korak"), 12, 82, 120);
  Edit_MVStep = Edit(GroupBox_DrsnikMV, "Edit_MVStep", QStringLiteral("1"), 150, 82);

  GroupBox_Sekvencer = Named(new QGroupBox(QStringLiteral("Sekvencer"), this), "GroupBox_Sekvencer");
  GroupBox_Sekvencer->setGeometry(318, 124, 264, 398);
  CheckBox_Sekvencer =
      Check(GroupBox_Sekvencer, "CheckBox_Sekvencer", QStringLiteral("Sekvencer prisoten"), false, 12, 22);
  StringGrid_Sekvencer = Named(new QTableWidget(10, 2, GroupBox_Sekvencer), "StringGrid_Sekvencer");
  StringGrid_Sekvencer->setHorizontalHeaderLabels({QStringLiteral("Vhod"), QStringLiteral("Izhod")});
  StringGrid_Sekvencer->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  StringGrid_Sekvencer->verticalHeader()->setDefaultSectionSize(26);
  StringGrid_Sekvencer->setTabKeyNavigation(true);
  StringGrid_Sekvencer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid_Sekvencer->setGeometry(12, 52, 240, 286);
  for (int r = 0; r < StringGrid_Sekvencer->rowCount(); ++r)
    for (int c = 0; c < 2; ++c) StringGrid_Sekvencer->setItem(r, c, new QTableWidgetItem());
}

void ExperimentPage::BuildActionsAndQueue() {
  Button10 = Button(this, "Button10", QStringLiteral("Ostale nastavitve samodejnega poizkusa"), 594, 12, 291, 30);
  AktivirajEksperiment =
      Button(this, "AktivirajEksperiment", QStringLiteral("Aktiviraj eksperiment"), 594, 52, 291, 44);
  QFont bold = AktivirajEksperiment->font();
  bold.setBold(true);
  AktivirajEksperiment->setFont(bold);

  auto* queueBox = Named(new QGroupBox(QStringLiteral("Aktivirani eksperimenti:"), this), "GroupBox_Aktivirani");
  queueBox->setGeometry(594, 106, 291, 236);
  Caption(queueBox, QStringLiteral("Čas eksperimenta"), 10, 20, 136);
  Caption(queueBox, QStringLiteral("Oznaka eksperimenta"), 150, 20, 136);
  SeznamCakajocihEkspCas = Named(new QPlainTextEdit(queueBox), "SeznamCakajocihEkspCas");
  SeznamCakajocihEkspCas->setReadOnly(true);
  SeznamCakajocihEkspCas->setLineWrapMode(QPlainTextEdit::NoWrap);
  SeznamCakajocihEkspCas->setGeometry(10, 44, 136, 182);
  SeznamCakajocihEkspOznaka = Named(new QPlainTextEdit(queueBox), "SeznamCakajocihEkspOznaka");
  SeznamCakajocihEkspOznaka->setReadOnly(true);
  SeznamCakajocihEkspOznaka->setLineWrapMode(QPlainTextEdit::NoWrap);
  SeznamCakajocihEkspOznaka->setGeometry(150, 44, 131, 182);

  NaloziNastavitve = Button(this, "NaloziNastavitve", QStringLiteral("Naloži nastavitve"), 594, 486, 143, 32);
  ShraniNastavitve = Button(this, "ShraniNastavitve", QStringLiteral("Shrani nastavitve"), 742, 486, 143, 32);
}

void ExperimentPage::BuildEnvelopeGroup() {
  QWidget* g = GroupBox_VarnostneMeje =
      Named(new QGroupBox(QStringLiteral("Varnostne meje"), this), "GroupBox_VarnostneMeje");
  GroupBox_VarnostneMeje->setGeometry(594, 348, 291, 130);
  Caption(g, QStringLiteral("Y1 min"), 10, 22, 50);
  Edit_Y1Min = Edit(g, "Edit_Y1Min", QString(), 62, 22, 76);
  Caption(g, QStringLiteral("Y1 max"), 150, 22, 50);
  Edit_Y1Max = Edit(g, "Edit_Y1Max", QString(), 204, 22, 76);
  Caption(g, QStringLiteral("Y2 min"), 10, 52, 50);
  Edit_Y2Min = Edit(g, "Edit_Y2Min", QString(), 62, 52, 76);
  Caption(g, QStringLiteral("Y2 max"), 150, 52, 50);
  Edit_Y2Max = Edit(g, "Edit_Y2Max", QString(), 204, 52, 76);
  Caption(g, QStringLiteral("Najdaljši čas poizkusa [s]"), 10, 90, 190);
  Edit_NajdaljsiCas = Edit(g, "Edit_NajdaljsiCas", QString(), 204, 90, 76);
  const QString empty = QStringLiteral("Prazno: brez meje.");
  for (QLineEdit* edit : {Edit_Y1Min, Edit_Y1Max, Edit_Y2Min, Edit_Y2Max, Edit_NajdaljsiCas})
    edit->setToolTip(empty);
}

void ExperimentPage::SetStartDateToday() { DateTimePicker1->setDate(QDate::currentDate()); }

void ExperimentPage::ApplyModeRules(bool manual) {
  SetEnabled({CheckBox_Zaprtozancni, CheckBox_ZZPoPoizkusu, OhraniZacetniVhod, Label4, ZacetniVhodEdit},
             true);
  SetEnabled({Label5, CasCakanjaEdit, Label6, VelikostStopniceEdit, Label7, CasStopniceEdit, Label8,
              SteviloStopnicEdit, CheckBox_ObeSmeri, CheckBox_KoncajObUmiritvi, Label3, CajtZacetka,
              DateTimePicker1, Button10},
             !manual);
  if (CheckBox_NePisi->isChecked()) ApplyNoWriteRule();
}

void ExperimentPage::ApplyNoWriteRule() {
  // Recording only: nothing is written, so neither the controller's state nor MV can be
  // chosen; the waiting time and one step's duration still set the record's length.
  SetEnabled({CheckBox_Zaprtozancni, CheckBox_ZZPoPoizkusu, OhraniZacetniVhod, Label4,
              ZacetniVhodEdit, Label6, VelikostStopniceEdit, Label8, SteviloStopnicEdit,
              CheckBox_ObeSmeri, CheckBox_KoncajObUmiritvi},
             false);
}

void ExperimentPage::RadioRocnoClick() { ApplyModeRules(true); }

void ExperimentPage::RadioAvtomatskoClick() { ApplyModeRules(false); }

void ExperimentPage::CheckBox_NePisiClick() {
  if (RadioRocno->isChecked())
    RadioRocnoClick();
  else
    RadioAvtomatskoClick();
  if (CheckBox_NePisi->isChecked()) ApplyNoWriteRule();
}

void ExperimentPage::OhraniZacetniVhodClick() {
  const bool free = !OhraniZacetniVhod->isChecked();
  SetEnabled({Label4, ZacetniVhodEdit}, free);
}

void ExperimentPage::Button10Click() {
  TForm_SamodNastav& dialog = form_.SamodNastav();
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
}

void ExperimentPage::Button1Click() {
  const QDateTime start = LocalNow(form_.SystemClock()).addMSecs(8640);
  CajtZacetka->setText(start.time().toString(QStringLiteral("HH:mm:ss")));
}
