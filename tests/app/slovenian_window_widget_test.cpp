// The window speaks Slovenian: every text of every tab and window the program opens, and
// the messages a bad number and a run on the simulated process give, hold no English
// word, also in a session without a locale, where numbers take the decimal comma.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest/QTest>

#include "data/ui/ProcessingPage.h"
#include "data/ui/ShownNumbers.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "forms/FormHelpers.h"
#include "model/ui/ModelPage.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"
#include "tuning/ui/RegulatorPage.h"

namespace {

// Every text a user can read on a window: captions, labels, buttons, group titles, tabs,
// table headings, list entries, tooltips.
QStringList TextsOf(QWidget& window) {
  QStringList out{window.windowTitle()};
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets << &window;
  for (QWidget* w : widgets) {
    out << w->toolTip();
    if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) out << g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->text() << e->placeholderText();
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    if (auto* t = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) out << t->tabText(i);
    if (auto* t = qobject_cast<QTableWidget*>(w)) {
      for (int i = 0; i < t->columnCount(); ++i)
        if (t->horizontalHeaderItem(i)) out << t->horizontalHeaderItem(i)->text();
      for (int r = 0; r < t->rowCount(); ++r)
        if (t->verticalHeaderItem(r)) out << t->verticalHeaderItem(r)->text();
    }
  }
  out.removeAll(QString());
  return out;
}

// English words a Slovenian text does not hold (none of them is also a Slovenian word).
const QRegularExpression English(
    QStringLiteral("\\b(the|and|of|to|is|not|with|for|from|file|files|open|save|cancel|error|"
                   "warning|status|running|stopped|about|select|item|items|value|valid|cannot|"
                   "server|connection|unknown|failed|none|close|help|apply|browse|name|type|"
                   "time|date|load|read|write|settings|measured|quality|good|bad|experiment|"
                   "simulation|controller|parameters|process|report|window|sample|sampling|"
                   "step|gain|output|input|manual|please|dec|jan|feb|mar|apr|jun|jul|aug|sep|"
                   "oct|nov|am|pm)\\b"),
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);

// The texts with English words in them; names in »…« (typed by the engineer) are not the
// window's words.
QStringList EnglishIn(const QStringList& texts) {
  const QRegularExpression named(QString::fromUtf8("»[^«]*«"));
  QStringList found;
  for (QString text : texts)
    if (English.match(text.remove(named)).hasMatch()) found << text;
  return found;
}

class SlovenianWindow : public AppFixture {
 protected:
  // Every window the program opens, each tab shown in turn, and the message of a bad
  // number typed into a field.
  QStringList WalkEverything() {
    QStringList texts;
    QTabWidget* tabs = Form().PageControl1;
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      texts << TextsOf(Form());
    }
    texts << TextsOf(*windows.Eksperiment) << TextsOf(*windows.SamodNastav)
          << TextsOf(*windows.Histogram) << TextsOf(*windows.ObdelavaLarge);
    Form().ModelTab().Edit_Gain->setText(QStringLiteral("abc"));
    QTest::mouseClick(Form().ModelTab().Button_Uporabi_Model, Qt::LeftButton);
    texts << TextsOf(Form()) << Form().StatusText();
    texts << ui.Errors << ui.Messages << ui.Notices;
    return texts;
  }
};

TEST_F(SlovenianWindow, NoEnglishWordOnAnyTabOrWindowNorInItsMessages) {
  const QStringList english = EnglishIn(WalkEverything());
  EXPECT_TRUE(english.isEmpty()) << english.join("\n").toStdString();
  ASSERT_FALSE(ui.Errors.isEmpty());
  EXPECT_EQ(ui.Errors.back(), QString::fromUtf8("»abc« ni veljavno število."));
}

TEST_F(SlovenianWindow, ASessionWithoutALocaleGetsSlovenianDatesAndTheDecimalComma) {
  QLocale::setDefault(ProgramLocale(QLocale::c()));
  const QStringList english = EnglishIn(WalkEverything());
  EXPECT_TRUE(english.isEmpty()) << english.join("\n").toStdString();
  EXPECT_EQ(ShownFixed(2.5, 2), "2,50");
  QLocale::setDefault(QLocale::c());
}

}  // namespace
