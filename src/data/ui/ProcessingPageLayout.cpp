// The controls of the "Obdelava" tab and where they sit.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "forms/FormHelpers.h"
#include "charts/VorChart.h"
#include "data/ui/ProcessingPage.h"

namespace {

// A caption, or with a name a value label.
QLabel* NewLabel(QWidget* parent, const char* name, const QString& text, int x, int y, int w,
                 int h = 16) {
  QLabel* l = Caption(parent, text, x, y, w, h);
  return name ? Named(l, name) : l;
}

QLineEdit* NewEdit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* e = Named(new QLineEdit(text, parent), name);
  e->setGeometry(x, y, w, 20);
  return e;
}

QScrollBar* NewScrollBar(QWidget* parent, const char* name, int x, int y, int w) {
  auto* s = Named(new QScrollBar(Qt::Horizontal, parent), name);
  s->setGeometry(x, y, w, 17);
  s->setPageStep(1);
  return s;
}

VorChart* NewChart(QWidget* parent, const char* name, const QString& title, int y) {
  auto* c = Named(new VorChart(parent), name);
  c->setGeometry(4, y, 566, 99);
  c->SetTitle(title);
  c->SetLegendVisible(false);
  c->SetCompact();
  c->setToolTip(QStringLiteral("Desni klik: histogram, dvojni klik: povečan prikaz"));
  return c;
}

}  // namespace

void ProcessingPage::BuildCharts() {
  Chart_MV = NewChart(this, "Chart_MV", QStringLiteral("Manipulativni signal"), 2);
  Chart_U = NewChart(this, "Chart_U", QStringLiteral("Izhod regulatorja"), 102);
  Chart_Y = NewChart(this, "Chart_Y", QStringLiteral("Meritev 1 (notranji odziv)"), 202);
  Chart2 = NewChart(this, "Chart2", QStringLiteral("Meritev 2 (zunanji odziv)"), 302);
  LineSeries6 =
      &Chart_MV->AddLineSeries(QStringLiteral("LineSeries6"), QColor(255, 0, 0), LineKind::Stairs);
  Series1 = &Chart_U->AddLineSeries(QStringLiteral("Series1"), QColor(128, 0, 0), LineKind::Stairs);
  Series2 = &Chart_Y->AddLineSeries(QStringLiteral("Series2"), QColor(0, 0, 255));
  LineSeries5 = &Chart2->AddLineSeries(QStringLiteral("LineSeries5"), QColor(0, 128, 0));
}

void ProcessingPage::BuildColumnChoice() {
  GroupBox_Stolpci =
      Named(Group(this, QStringLiteral("Naloži/shrani v datoteko"), 574, 0, 316, 402),
            "GroupBox_Stolpci");
  QWidget* g = GroupBox_Stolpci;

  struct Row {
    const char *caption, *bar, *edit, *description, *maks, *min, *std;
    QScrollBar** barMember;
    QLineEdit** editMember;
    QLabel **descriptionMember, **maksMember, **minMember, **stdMember;
    int position;
  };
  const Row rows[4] = {
      {"Stolpec MV:", "ScrollBar_MV", "Edit_Stolpec_MV", "Label_MVDescription", "Label_MaksMV1",
       "Label_MinMV1", "Label_STDMV1", &ScrollBar_MV, &Edit_Stolpec_MV, &Label_MVDescription,
       &Label_MaksMV1, &Label_MinMV1, &Label_STDMV1, 1},
      {"Stolpec U:", "ScrollBar1", "Edit_Stolpec_U", "Label22", "Label_MaksU1", "Label_MinU1",
       "Label_STDU1", &ScrollBar1, &Edit_Stolpec_U, &Label22, &Label_MaksU1, &Label_MinU1,
       &Label_STDU1, 3},
      {"Stolpec Y1:", "ScrollBar2", "Edit_Stolpec_Y", "Label20", "Label_MaksY1", "Label_MinY1",
       "Label_STDY1", &ScrollBar2, &Edit_Stolpec_Y, &Label20, &Label_MaksY1, &Label_MinY1,
       &Label_STDY1, 5},
      {"Stolpec Y2:", "ScrollBar5", "Edit_Stolpec_Y1", "Label68", "Label_MaksY2", "Label_MinY2",
       "Label_STDY2", &ScrollBar5, &Edit_Stolpec_Y1, &Label68, &Label_MaksY2, &Label_MinY2,
       &Label_STDY2, 6},
  };
  for (int i = 0; i < 4; ++i) {
    const Row& r = rows[i];
    const int y = 20 + i * 100;
    NewLabel(g, nullptr, QString::fromUtf8(r.caption), 8, y + 1, 70);
    *r.barMember = NewScrollBar(g, r.bar, 80, y + 1, 180);
    (*r.barMember)->setRange(1, 6);
    (*r.barMember)->setValue(r.position);
    *r.editMember = NewEdit(g, r.edit, QString::number(r.position), 268, y - 1, 38);
    (*r.editMember)->setAlignment(Qt::AlignRight);
    *r.descriptionMember = NewLabel(g, r.description, QString(), 8, y + 22, 298);
    (*r.descriptionMember)->setStyleSheet(QStringLiteral("color: #404080;"));
    NewLabel(g, nullptr, QStringLiteral("Maks:"), 8, y + 42, 34);
    *r.maksMember = NewLabel(g, r.maks, QString(), 42, y + 42, 112);
    NewLabel(g, nullptr, QStringLiteral("Min:"), 160, y + 42, 28);
    *r.minMember = NewLabel(g, r.min, QString(), 188, y + 42, 118);
    NewLabel(g, nullptr, QStringLiteral("STD:"), 8, y + 60, 34);
    *r.stdMember = NewLabel(g, r.std, QString(), 42, y + 60, 112);
  }
}

void ProcessingPage::BuildWindowAndData() {
  NewLabel(this, nullptr, QStringLiteral("Začetek poizkusa"), 8, 409, 100);
  ScrollBar3 = NewScrollBar(this, "ScrollBar3", 108, 408, 350);
  Label_Zacetek = NewLabel(this, "Label_Zacetek", QString(), 464, 409, 106);
  NewLabel(this, nullptr, QStringLiteral("Konec poizkusa"), 8, 431, 100);
  ScrollBar4 = NewScrollBar(this, "ScrollBar4", 108, 430, 350);
  Label_Konec = NewLabel(this, "Label_Konec", QString(), 464, 431, 106);

  GroupBox_Podatki = Named(Group(this, QStringLiteral("Podatki o eksperimentu"), 4, 452, 566, 74),
                           "GroupBox_Podatki");
  QWidget* g = GroupBox_Podatki;
  NewLabel(g, nullptr, QStringLiteral("Datum:"), 8, 22, 40);
  Label_Datum = NewLabel(g, "Label_Datum", QString(), 52, 22, 84);
  NewLabel(g, nullptr, QStringLiteral("Ura:"), 140, 22, 26);
  Label_Ura = NewLabel(g, "Label_Ura", QString(), 166, 22, 80);
  NewLabel(g, nullptr, QStringLiteral("Čas vzorčenja [s]: "), 252, 22, 104);
  Label_Ts = NewLabel(g, "Label_Ts", QString(), 356, 22, 64);
  NewLabel(g, nullptr, QStringLiteral("Število vzorcev: "), 424, 22, 92);
  Label_Ns = NewLabel(g, "Label_Ns", QString(), 516, 22, 46);
  NewLabel(g, nullptr, QStringLiteral("Ime datoteke: "), 8, 46, 84);
  Label_Ime = NewLabel(g, "Label_Ime", QString(), 92, 46, 468);
}

void ProcessingPage::BuildConditioning() {
  GroupBox_Filter = Named(Group(this, QStringLiteral("Filtriranje signalov"), 574, 404, 100, 66),
                          "GroupBox_Filter");
  NewLabel(GroupBox_Filter, nullptr, QStringLiteral("Čas [s]"), 8, 20, 44);
  Edit8 = NewEdit(GroupBox_Filter, "Edit8", QStringLiteral("0"), 8, 38, 60);

  GroupBox_Omejitve =
      Named(Group(this, QStringLiteral("Omejitve izvršnih členov"), 678, 404, 212, 66),
            "GroupBox_Omejitve");
  QWidget* g = GroupBox_Omejitve;
  NewLabel(g, nullptr, QStringLiteral("Maksimum:"), 4, 20, 68);
  Edit_Actuator_Maximum = NewEdit(g, "Edit_Actuator_Maximum", QStringLiteral("100"), 6, 38, 60);
  NewLabel(g, nullptr, QStringLiteral("Minimum:"), 74, 20, 66);
  Edit_Actuator_Minimum = NewEdit(g, "Edit_Actuator_Minimum", QStringLiteral("0"), 74, 38, 60);
  NewLabel(g, nullptr, QStringLiteral("Čas odp. [s]:"), 140, 20, 70);
  Edit_Actuator_Velocity = NewEdit(g, "Edit_Actuator_Velocity", QStringLiteral("1"), 142, 38, 60);

  auto button = [this](const char* name, const QString& text, int x, int y, int w) {
    auto* b = Named(new QPushButton(text, this), name);
    b->setGeometry(x, y, w, 24);
    return b;
  };
  Button_UporabiFilter =
      button("Button_UporabiFilter", QStringLiteral("Uporabi filter in omejitve"), 574, 474, 174);
  Button_IzracunModela =
      button("Button_IzracunModela", QStringLiteral("Izračun modela"), 752, 474, 138);
  Button_NaloziIzDatoteke =
      button("Button_NaloziIzDatoteke", QStringLiteral("Naloži iz datoteke"), 574, 501, 157);
  Button_ShraniVDatoteko =
      button("Button_ShraniVDatoteko", QStringLiteral("Shrani v datoteko"), 733, 501, 157);
}
