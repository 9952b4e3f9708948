// The "OPC" tab over the built-in simulated plant server: connecting, the state texts,
// the signal buttons beside the table, the item browser and the R/A configuration.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "opc/ItemBrowserAnswer.h"
#include "opc/LocalOpcClient.h"
#include "opc/PlantWriteLog.h"
#include "opc/SimulatedPlantServer.h"
#include "opc/ui/OpcPage.h"
#include "opc/ui/RadioGroup.h"
#include "opc/ui/SelectOpcItemDialog.h"
#include "support/AppFixture.h"

namespace {

class OpcTab : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreateLocalOpcClient(clock);
    windows = CreateApplicationWindows(*opc, clock);
  }
  OpcPage& Page() { return Form().OpcTab(); }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void Connect() { Click(Page().PoveziOPCStreznik); }
  void SelectCell(int row, int column = 0) { Page().OPCTabela->setCurrentCell(row, column); }

  void WithBrowser(const std::function<void()>& action,
                   const std::function<void(SelectOpcItemDialog&)>& answer) {
    browserShown = WithItemBrowser(action, answer);
  }
  static void Pick(SelectOpcItemDialog& dialog, const QString& id) { PickItem(dialog, id); }

  bool browserShown = false;
};

TEST_F(OpcTab, StartsWithTheServerListedAndNothingConnected) {
  EXPECT_EQ(Page().ComboBox2->count(), 1);
  EXPECT_EQ(Page().ComboBox2->currentIndex(), 0);
  EXPECT_EQ(Page().ComboBox2->currentText(), "VorTuner.SimulatedPlant.1");
  EXPECT_EQ(Page().Label54->text(), "");
  EXPECT_TRUE(Page().PoveziOPCStreznik->isEnabled());
  EXPECT_EQ(Page().ComboBox3->currentText(), "0");
  EXPECT_EQ(Page().ComboBox4->currentText(), "0");
  EXPECT_EQ(Page().RaSwitchIndex(), 1);
  EXPECT_EQ(Page().RadioGroup5->ItemIndex(), 1);
  EXPECT_EQ(Find<QLabel>("Label54"), Page().Label54);
  EXPECT_EQ(Find<QRadioButton>("RadioButton18"), Page().RadioButton18);
}

TEST_F(OpcTab, ConnectShowsRunningAndDisconnectShowsStopped) {
  Connect();
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(Page().Label54->text(), "teče");
  EXPECT_FALSE(Page().PoveziOPCStreznik->isEnabled());
  Click(Page().PrekiniOPCStreznik);
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(Page().Label54->text(), "ustavljen");
  EXPECT_TRUE(Page().PoveziOPCStreznik->isEnabled());
  EXPECT_TRUE(ui.Errors.isEmpty());
}

TEST_F(OpcTab, ALostLinkIsSaidAtOnceAndPoveziOffersTheReconnect) {
  Connect();
  opc->Disconnect();  // as the client does when the server goes away
  EXPECT_EQ(Page().Label54->text(), "ustavljen");
  const QString lost = QString::fromUtf8(
      "Povezava s strežnikom VorTuner.SimulatedPlant.1 je prekinjena. Za ponovno povezavo "
      "pritisnite »Poveži znova«.");
  EXPECT_EQ(Form().StatusText(), lost);
  EXPECT_EQ(ui.Notices, QStringList{lost});
  EXPECT_EQ(Page().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži znova"));
  Connect();  // the reconnect clears the loss
  EXPECT_EQ(Page().Label54->text(), "teče");
  EXPECT_EQ(Form().StatusText(), "");
  EXPECT_EQ(Page().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži"));
  Click(Page().PrekiniOPCStreznik);  // an end the engineer chose is not a loss
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.Notices.size(), 1);
}

TEST_F(OpcTab, TheServerFieldKeepsWhatIsTypedAndDeleteEmptiesCells) {
  QComboBox* servers = Page().ComboBox2;
  servers->addItem("opc.tcp://127.0.0.1:48400");
  servers->setFocus();
  servers->lineEdit()->clear();
  QTest::keyClicks(servers->lineEdit(), "opc.tcp://127.0.0.1:4840");
  EXPECT_EQ(servers->currentText(), "opc.tcp://127.0.0.1:4840");

  QTableWidget* table = Page().OPCTabela;
  table->item(0, 0)->setText("ns=2;s=MV");
  table->item(0, 1)->setText("Ventil");
  table->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table->setRangeSelected(QTableWidgetSelectionRange(0, 0, 0, 1), true);
  QTest::keyClick(table, Qt::Key_Delete);
  EXPECT_EQ(table->item(0, 0)->text(), "");
  EXPECT_EQ(table->item(0, 1)->text(), "");
}

TEST_F(OpcTab, AServerThatCannotBeReachedShowsTheErrorAndKeepsTheStatus) {
  Connect();
  Click(Page().PrekiniOPCStreznik);
  Page().ComboBox2->addItem("Missing.Server.1");
  Page().ComboBox2->setCurrentIndex(1);
  Click(Page().PoveziOPCStreznik);
  EXPECT_EQ(ui.Errors, QStringList{QString::fromUtf8("Strežnik »Missing.Server.1« ne obstaja.")});
  EXPECT_EQ(Page().Label54->text(), "ustavljen");
  EXPECT_TRUE(Page().PoveziOPCStreznik->isEnabled());
}

TEST_F(OpcTab, WithoutAViewerTheWriteLogOpensReadOnlyInTheProgramNewestLast) {
  const QString path = QString::fromStdString(::testing::TempDir()) + "vortuner-log-view.log";
  QFile::remove(path);
  Page().SetWriteLogPath(path);
  Click(Page().Button_DnevnikZapisov);
  ASSERT_EQ(ui.Messages.size(), 1);  // no log yet: said so
  PlantWriteLog log(path.toStdString());
  for (const char* value : {"1.5", "2.5"}) {
    PlantWriteLogEntry e;
    e.Item = "Controller.P";
    e.Value = value;
    e.Outcome = "zapisano";
    log.Append(e);
  }
  ui.OpensDocuments = false;
  Click(Page().Button_DnevnikZapisov);
  EXPECT_EQ(ui.OpenedDocuments, QStringList{path});
  auto* view = Form().findChild<QPlainTextEdit*>("DnevnikZapisovText");
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->window()->isVisible());
  EXPECT_TRUE(view->isReadOnly());
  const QStringList lines = view->toPlainText().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8("Čas\tStrežnik")));
  EXPECT_TRUE(lines[2].contains("\tController.P\t\t2.5\t")) << lines[2].toStdString();
  EXPECT_EQ(view->textCursor().blockNumber(), view->document()->blockCount() - 1);  // at the end
  QFile::remove(path);
}

TEST_F(OpcTab, TheTableHasTwentyRowsOfTwoEditableColumns) {
  QTableWidget* table = Page().OPCTabela;
  ASSERT_EQ(table->rowCount(), 20);
  ASSERT_EQ(table->columnCount(), 2);
  EXPECT_EQ(table->horizontalHeaderItem(0)->text(), "Oznaka OPC točke");
  EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Opis");
  EXPECT_EQ(table->columnWidth(0), 250);
  EXPECT_EQ(table->columnWidth(1), 250);
  Form().show();
  Form().PageControl1->setCurrentIndex(TabOpc);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form()));
  SelectCell(4, 1);
  table->editItem(table->item(4, 1));
  auto* editor = table->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "Temperatura");
  SelectCell(5, 1);  // leaving the cell commits the edit
  EXPECT_EQ(Page().Description(4), "Temperatura");
  EXPECT_EQ(Page().ItemId(4), "");
}

TEST_F(OpcTab, SelectingACellChecksTheButtonOfItsRow) {
  const int rows[] = {0, 2, 4, 5, 7, 8, 9, 11, 12, 14, 15, 16, 18, 19};
  for (int row : rows) {
    SelectCell(row, row % 2);
    const int n = OpcPage::RadioButtonOfRow(row);
    EXPECT_TRUE(Page().RadioButton(n)->isChecked()) << row;
    EXPECT_EQ(OpcPage::RowOfRadioButton(n), row);
  }
}

TEST_F(OpcTab, APickLandsOnlyInTheRowTheEngineerChoseLast) {
  Connect();
  // Row 3 cannot take an item: nothing is written, not even into row 4 chosen before,
  // and the status bar says why.
  SelectCell(4);
  SelectCell(3);
  EXPECT_FALSE(Page().RadioButton5->isChecked());
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Plant.Y1"); });
  EXPECT_FALSE(browserShown);
  EXPECT_TRUE(Form().StatusText().contains(QString::fromUtf8("Izhod reg. 2")))
      << Form().StatusText().toStdString();
  // A double click on a heading row, after row 4 was chosen: nothing written either.
  SelectCell(4);
  const QRect heading = Page().OPCTabela->visualRect(Page().OPCTabela->model()->index(6, 0));
  WithBrowser([&] {
        QTest::mouseDClick(Page().OPCTabela->viewport(), Qt::LeftButton, {}, heading.center());
      },
              [](SelectOpcItemDialog& d) { Pick(d, "Plant.Y1"); });
  EXPECT_FALSE(browserShown);
  for (int row = 0; row < 20; ++row) EXPECT_EQ(Page().ItemId(row), "") << row;
  // A signal clicked after a cell was selected is the target.
  SelectCell(4);
  Page().RadioButton7->click();
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Controller.P"); });
  EXPECT_EQ(Page().ItemId(7), "Controller.P");
  EXPECT_EQ(Page().ItemId(4), "");
}

TEST_F(OpcTab, TheBrowserShowsTheItemsAsATreeAndReturnsTheFirstChosen) {
  Connect();
  SelectCell(0);
  QStringList topLevel;
  QString title;
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [&](SelectOpcItemDialog& d) {
                title = d.windowTitle();
                for (int i = 0; i < d.ItemTree->topLevelItemCount(); ++i)
                  topLevel << d.ItemTree->topLevelItem(i)->text(0);
                Pick(d, "Plant.MV");
              });
  EXPECT_EQ(title, "Izbira točke OPC");
  EXPECT_EQ(topLevel,
            (QStringList{"Controller", "LevelController", "Plant", "Tank"}));  // two loops
  EXPECT_EQ(Page().ItemId(0), "Plant.MV");
}

TEST_F(OpcTab, TheBrowserShowsEachItemsFactsAndMarksAReadOnlyItemTheProgramWouldWrite) {
  Connect();
  SelectCell(0);  // MV: the program writes it
  QStringList mv, y1;
  QString y1Tip, note;
  bool y1Red = false, mvRed = true;
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [&](SelectOpcItemDialog& d) {
                QTreeWidgetItem* writable = TreeEntry(d, "Plant.MV");
                QTreeWidgetItem* readOnly = TreeEntry(d, "Plant.Y1");
                ASSERT_TRUE(writable && readOnly);
                for (int c = 0; c < 5; ++c) mv << writable->text(c), y1 << readOnly->text(c);
                y1Tip = readOnly->toolTip(0);
                y1Red = readOnly->foreground(0).color() == QColor(0xC0, 0, 0);
                mvRed = writable->foreground(0).color() == QColor(0xC0, 0, 0);
                readOnly->setSelected(true);
                note = d.OpombaZapisljivosti->isVisible() ? d.OpombaZapisljivosti->text() : "";
                d.accept();
              });
  EXPECT_EQ(mv.mid(0, 4), (QStringList{"MV", "Plant.MV", "Double", "branje in pisanje"}));
  EXPECT_FALSE(mv[4].isEmpty());  // the present value
  EXPECT_EQ(y1.mid(0, 4), (QStringList{"Y1", "Plant.Y1", "Double", "branje"}));
  const QString why = QString::fromUtf8("Element ni zapisljiv: program vanj piše »MV«.");
  EXPECT_TRUE(y1Red);
  EXPECT_FALSE(mvRed);
  EXPECT_EQ(y1Tip, why);
  EXPECT_EQ(note, why);
  // Picked all the same: the table shows the mark, until another ID replaces it.
  EXPECT_EQ(Page().ItemId(0), "Plant.Y1");
  const QString marked =
      QString::fromUtf8("Element »Plant.Y1« ni zapisljiv: program vanj piše »MV«.");
  EXPECT_EQ(Page().OPCTabela->item(0, 0)->toolTip(), marked);
  EXPECT_EQ(Form().StatusText(), marked);
  Page().OPCTabela->item(0, 0)->setText("Plant.MV");
  EXPECT_EQ(Page().OPCTabela->item(0, 0)->toolTip(), "");
  // A signal the program only reads marks nothing; the browser opens on the item chosen last.
  SelectCell(4);
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [&](SelectOpcItemDialog& d) {
                ASSERT_TRUE(d.ItemTree->currentItem());
                EXPECT_EQ(d.ItemTree->currentItem()->text(SelectOpcItemDialog::IdColumn),
                          "Plant.Y1");
                EXPECT_EQ(TreeEntry(d, "Plant.Y1")->toolTip(0), "");
                d.accept();
              });
  EXPECT_EQ(Page().ItemId(4), "Plant.Y1");
}

TEST_F(OpcTab, AReadOnlyItemTypedForASignalTheProgramWritesIsMarkedOnConnecting) {
  const std::pair<int, const char*> rows[] = {
      {0, "Plant.Y1"}, {4, "Plant.Y1"}, {7, "Controller.P"}, {8, "Plant.U"}};
  for (const auto& [row, id] : rows) Page().OPCTabela->item(row, 0)->setText(id);
  Connect();
  const auto mark = [&](int row) { return Page().OPCTabela->item(row, 0)->toolTip(); };
  EXPECT_EQ(mark(0), QString::fromUtf8("Element »Plant.Y1« ni zapisljiv: program vanj piše »MV«."));
  EXPECT_EQ(mark(8),
            QString::fromUtf8("Element »Plant.U« ni zapisljiv: program vanj piše »I člen«."));
  EXPECT_EQ(mark(4), "");  // read only, as Y1 is
  EXPECT_EQ(mark(7), "");
}

TEST_F(OpcTab, ADoubleClickInTheTableAlsoPicksAndCancelWritesNothing) {
  Connect();
  SelectCell(7);
  WithBrowser([&] { Page().OPCTabelaDblClick(7, 0); },
              [](SelectOpcItemDialog& d) { Pick(d, "Controller.P"); });
  EXPECT_EQ(Page().ItemId(7), "Controller.P");
  WithBrowser([&] { Page().OPCTabelaDblClick(7, 1); }, [](SelectOpcItemDialog& d) { d.reject(); });
  EXPECT_TRUE(browserShown);
  EXPECT_EQ(Page().ItemId(7), "Controller.P");
}

TEST_F(OpcTab, IzberiWithoutAConnectionOrWithoutAChosenRowWritesNothing) {
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Plant.MV"); });
  EXPECT_FALSE(browserShown);
  Connect();
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Plant.MV"); });
  EXPECT_FALSE(browserShown);
  EXPECT_FALSE(Form().StatusText().isEmpty());
  for (int row = 0; row < 20; ++row) EXPECT_EQ(Page().ItemId(row), "") << row;
}

TEST_F(OpcTab, TheRaConfigurationEnablesItsControls) {
  OpcPage& p = Page();
  // Default "Ročno + Avtomatsko": two items.
  EXPECT_FALSE(p.RadioButton10->isEnabled());
  EXPECT_TRUE(p.RadioButton11->isEnabled());
  EXPECT_TRUE(p.RadioButton12->isEnabled());
  EXPECT_FALSE(p.Label14->isEnabled());
  EXPECT_FALSE(p.ComboBox3->isEnabled());
  p.RadioGroup4->Item(0)->click();
  EXPECT_EQ(p.RaSwitchIndex(), 0);
  EXPECT_TRUE(p.RadioButton10->isEnabled());
  EXPECT_FALSE(p.RadioButton11->isEnabled());
  EXPECT_FALSE(p.RadioButton12->isEnabled());
  EXPECT_TRUE(p.Label14->isEnabled());
  EXPECT_TRUE(p.ComboBox3->isEnabled());
  p.ComboBox3->setCurrentIndex(1);
  EXPECT_EQ(p.ManualValue(), 1);
  // The outer controller's group is independent, and setting it from code reacts the same.
  EXPECT_FALSE(p.RadioButton16->isEnabled());
  p.RadioGroup5->SetItemIndex(0);
  EXPECT_TRUE(p.RadioButton16->isEnabled());
  EXPECT_FALSE(p.RadioButton17->isEnabled());
  EXPECT_FALSE(p.RadioButton18->isEnabled());
  EXPECT_TRUE(p.Label15->isEnabled());
  EXPECT_TRUE(p.ComboBox4->isEnabled());
  p.RadioGroup4->SetItemIndex(1);
  EXPECT_FALSE(p.RadioButton10->isEnabled());
  EXPECT_TRUE(p.RadioButton11->isEnabled());
  EXPECT_TRUE(p.RadioButton16->isEnabled());
}

TEST_F(OpcTab, WithOneItemSwitchTheTwoItemRowsCannotBecomeTargets) {
  Connect();
  Page().RadioGroup4->SetItemIndex(0);
  SelectCell(10);
  EXPECT_TRUE(Page().RadioButton10->isChecked());
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Controller.RA"); });
  EXPECT_EQ(Page().ItemId(10), "Controller.RA");
  SelectCell(11);
  EXPECT_FALSE(Page().RadioButton10->isChecked());
  WithBrowser([&] { Click(Page().IzberiAjtemKnof); },
              [](SelectOpcItemDialog& d) { Pick(d, "Controller.Manual"); });
  EXPECT_FALSE(browserShown);
  EXPECT_TRUE(Form().StatusText().contains(QString::fromUtf8("R/A preklop")));
  EXPECT_EQ(Page().ItemId(10), "Controller.RA");
  EXPECT_EQ(Page().ItemId(11), "");
  EXPECT_EQ(Page().ItemId(12), "");
}

// A client that lists the given item IDs and nothing else.
class ListingClient final : public OpcClient {
 public:
  explicit ListingClient(std::vector<std::string> ids) : ids_(std::move(ids)) {}
  std::vector<std::string> ListServers() override { return {}; }
  void Connect(const std::string&, const std::string&) override {}
  void Disconnect() override {}
  bool IsConnected() const override { return true; }
  OpcServerState ServerState() const override { return OpcServerState::Running; }
  OpcGroup& AddGroup(const std::string&) override { throw OpcError("no groups"); }
  std::vector<std::string> BrowseItemIds() override { return ids_; }
  void SetDisconnectHandler(std::function<void()>) override {}

 private:
  std::vector<std::string> ids_;
};

TEST(SelectOpcItem, BuildsTheTreeFromDottedIdsAndReturnsOnlyLeaves) {
  ListingClient client({"A.B.C", "A.B.D", "E", "A.F"});
  SelectOpcItemDialog dialog(client, nullptr);
  QTreeWidget* tree = dialog.ItemTree;
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  QTreeWidgetItem* a = tree->topLevelItem(0);
  EXPECT_EQ(a->text(0), "A");
  ASSERT_EQ(a->childCount(), 2);
  EXPECT_EQ(a->child(0)->childCount(), 2);
  a->setSelected(true);  // a branch is not an item
  a->child(0)->child(1)->setSelected(true);
  tree->topLevelItem(1)->setSelected(true);
  EXPECT_EQ(dialog.SelectedItemIds(), (QStringList{"A.B.D", "E"}));
}

// A server over the network whose browse answers only when the test lets it.
class StalledClient final : public OpcClient {
 public:
  std::vector<std::string> ListServers() override { return {}; }
  void Connect(const std::string&, const std::string&) override {}
  void Disconnect() override {}
  bool IsConnected() const override { return true; }
  OpcServerState ServerState() const override { return OpcServerState::Running; }
  OpcGroup& AddGroup(const std::string&) override { throw OpcError("no groups"); }
  std::vector<std::string> BrowseItemIds() override { return {}; }
  std::vector<OpcBrowseNode> BrowseChildren(const std::string&) override {
    while (!Released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Answered = true;
    return {{"Late", "ns=1;s=Late", true, false}};
  }
  bool ReachedOverNetwork() const override { return true; }
  void SetDisconnectHandler(std::function<void()>) override {}
  std::atomic<bool> Released = false, Answered = false;
};

TEST(SelectOpcItem, AServerThatDoesNotAnswerLeavesTheWindowGoingAndPrekliciGivesUp) {
  StalledClient client;
  SelectOpcItemDialog dialog(client, nullptr);
  QString during;
  bool cancelShown = false;
  QTimer::singleShot(100, [&] {  // the window answers while the server does not
    during = dialog.StanjeBrskanja->text();
    cancelShown = dialog.PrekliciBrskanje->isVisible();
    QTest::mouseClick(dialog.PrekliciBrskanje, Qt::LeftButton);
  });
  dialog.show();
  for (int i = 0; i < 400 && (dialog.Busy() || during.isEmpty()); ++i) QTest::qWait(5);
  EXPECT_EQ(during, QString::fromUtf8("Branje s strežnika …"));
  EXPECT_TRUE(cancelShown);
  EXPECT_FALSE(dialog.Busy());
  EXPECT_EQ(dialog.StanjeBrskanja->text(), QString::fromUtf8("Branje je preklicano."));
  EXPECT_FALSE(dialog.PrekliciBrskanje->isVisible());
  EXPECT_EQ(dialog.ItemTree->topLevelItemCount(), 0);
  client.Released = true;  // the reading thread ends; what it read is let go
  for (int i = 0; i < 400 && !client.Answered; ++i) QTest::qWait(5);
  QTest::qWait(20);
  EXPECT_EQ(dialog.ItemTree->topLevelItemCount(), 0);
}

}  // namespace
