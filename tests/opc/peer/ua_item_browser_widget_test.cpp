// The item browser on the node-opcua test plant as the engineer uses it: the columns of
// a level, a read-only item marked when picked for MV, and the browser opening again
// where it was left.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest/QTest>

#include "opc/ItemBrowserAnswer.h"
#include "opc/PlantOpcClient.h"
#include "opc/peer/UaPeer.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"

namespace {

class UaItemBrowser : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreatePlantOpcClient(clock, "");
    windows = CreateApplicationWindows(*opc, clock);
    Opc().ComboBox2->setCurrentText(QString::fromStdString(UaPeerUrl()));
    QTest::mouseClick(Opc().PoveziOPCStreznik, Qt::LeftButton);
    Settle(Form());
    ASSERT_TRUE(opc->IsConnected()) << ui.Errors.join("; ").toStdString();
  }
  OpcPage& Opc() { return Form().OpcTab(); }
  // Opens a branch as the engineer does, and lets the window go on until the browser
  // has read it.
  static QTreeWidgetItem* Open(SelectOpcItemDialog& d, const QString& id) {
    QTreeWidgetItem* branch = TreeEntry(d, id);
    if (branch) branch->setExpanded(true);
    QElapsedTimer waited;
    waited.start();
    while (d.Busy() && waited.elapsed() < 10000) Pass();
    return branch;
  }
  static QStringList Row(QTreeWidgetItem* item) {
    QStringList texts;
    for (int c = 0; c < 5 && item; ++c) texts << item->text(c);
    return texts;
  }
};

TEST_F(UaItemBrowser, ShowsTheColumnsMarksAReadOnlyItemForMvAndOpensWhereItWasLeft) {
  Opc().OPCTabela->setCurrentCell(0, 0);  // MV
  QStringList mv, u, text;
  QString uTip, note, header;
  ASSERT_TRUE(WithItemBrowser([&] { QTest::mouseClick(Opc().IzberiAjtemKnof, Qt::LeftButton); },
                              [&](SelectOpcItemDialog& d) {
                                for (int c = 0; c < 5; ++c)
                                  header += d.ItemTree->headerItem()->text(c) + "|";
                                ASSERT_TRUE(Open(d, "ns=2;s=Plant"));
                                ASSERT_TRUE(Open(d, "ns=2;s=Loop1"));
                                ASSERT_TRUE(Open(d, "ns=2;s=Types"));
                                mv = Row(TreeEntry(d, "ns=2;s=MV"));
                                u = Row(TreeEntry(d, "ns=2;s=U"));
                                text = Row(TreeEntry(d, "ns=2;s=Types.Text"));
                                uTip = TreeEntry(d, "ns=2;s=U")->toolTip(0);
                                TreeEntry(d, "ns=2;s=U")->setSelected(true);
                                note = d.OpombaZapisljivosti->text();
                                d.accept();
                              }));
  EXPECT_EQ(header, QString::fromUtf8("Ime|Oznaka točke|Podatkovni tip|Dostop|Vrednost|"));
  EXPECT_EQ(mv.mid(0, 4), (QStringList{"MV", "ns=2;s=MV", "Double", "branje in pisanje"}));
  EXPECT_FALSE(mv[4].isEmpty());
  EXPECT_EQ(u.mid(0, 4), (QStringList{"U", "ns=2;s=U", "Double", "branje"}));
  EXPECT_EQ(text, (QStringList{"Text", "ns=2;s=Types.Text", "String", "branje in pisanje", "abc"}));
  const QString why = QString::fromUtf8("Element ni zapisljiv: program vanj piše »MV«.");
  EXPECT_EQ(uTip, why);
  EXPECT_EQ(note, why);
  EXPECT_EQ(Opc().ItemId(0), "ns=2;s=U");
  EXPECT_FALSE(Opc().OPCTabela->item(0, 0)->toolTip().isEmpty());
  // Opened again (for Y1, which the program only reads): the branches open as they were
  // and the item chosen last current; nothing marked.
  Opc().OPCTabela->setCurrentCell(4, 0);
  bool loopOpen = false, typesOpen = false;
  QString current, tip = "?";
  ASSERT_TRUE(WithItemBrowser([&] { QTest::mouseClick(Opc().IzberiAjtemKnof, Qt::LeftButton); },
                              [&](SelectOpcItemDialog& d) {
                                QTreeWidgetItem* loop = TreeEntry(d, "ns=2;s=Loop1");
                                QTreeWidgetItem* types = TreeEntry(d, "ns=2;s=Types");
                                loopOpen = loop && loop->isExpanded();
                                typesOpen = types && types->isExpanded();
                                if (d.ItemTree->currentItem())
                                  current = d.ItemTree->currentItem()->text(
                                      SelectOpcItemDialog::IdColumn);
                                if (QTreeWidgetItem* y1 = TreeEntry(d, "ns=2;s=U"))
                                  tip = y1->toolTip(0);
                                d.reject();
                              }));
  EXPECT_TRUE(loopOpen);
  EXPECT_TRUE(typesOpen);
  EXPECT_EQ(current, "ns=2;s=U");
  EXPECT_EQ(tip, "");
  EXPECT_TRUE(ui.Errors.isEmpty()) << ui.Errors.join("; ").toStdString();
}

}  // namespace
