// The window against a hostile OPC UA server: it stays responsive (each action ends within
// a second or two) and says what it cut or could not tell.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest/QTest>
#include <chrono>
#include <csignal>

#include "app/TerminationSignals.h"
#include "cli/CliRunner.h"
#include "opc/HostileUaServer.h"
#include "opc/ItemBrowserAnswer.h"
#include "opc/PlantOpcClient.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"

namespace {

class HostileServerTab : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreatePlantOpcClient(clock, "");
    windows = CreateApplicationWindows(*opc, clock);
  }
  OpcPage& Page() { return Form().OpcTab(); }
  // The address typed, "Poveži" clicked; the seconds the click took.
  double ConnectTo(const std::string& url) {
    Page().ComboBox2->setCurrentText(QString::fromStdString(url));
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(Page().PoveziOPCStreznik, Qt::LeftButton);
    Settle(Form());  // the connect is a job: its end comes back to the window
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

TEST_F(HostileServerTab, EndlessContinuationPointsGiveACutListAtOnce) {
  const HostileUaServer server("endless_browse");
  EXPECT_LT(ConnectTo(server.Url()), 2);
  ASSERT_TRUE(opc->IsConnected()) << ui.Errors.join("; ").toStdString();
  Page().OPCTabela->setCurrentCell(0, 0);
  QStringList shown;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WithItemBrowser([&] { QTest::mouseClick(Page().IzberiAjtemKnof, Qt::LeftButton); },
                              [&](SelectOpcItemDialog& dialog) {
                                for (int i = 0; i < dialog.ItemTree->topLevelItemCount(); ++i)
                                  shown << dialog.ItemTree->topLevelItem(i)->text(0);
                              }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_EQ(shown.size(), 101);
  EXPECT_EQ(shown.back(), "… prikazanih je le prvih 100 elementov (strežnik jih ponuja več)");
}

TEST_F(HostileServerTab, AServerStateOfNoKnownValueIsShownAsNone) {
  const HostileUaServer server("state_huge");  // a Double of 1e300
  EXPECT_LT(ConnectTo(server.Url()), 2);
  EXPECT_TRUE(opc->IsConnected());
  EXPECT_EQ(Page().Label54->text(), "");
}

// The client's error paths as the window meets them: a server that is not there, a name
// no server has, a link dropped while the item browser reads. Every box, message, status
// and the browser's own line speak Slovenian.
TEST_F(HostileServerTab, NoEnglishReachesABoxOrAStatusOnTheClientsErrorPaths) {
  QStringList seen;
  const auto look = [&] { seen << Form().StatusText() << Page().Label54->text(); };
  ConnectTo("opc.tcp://127.0.0.1:1");
  look();
  ConnectTo("Missing.Server.1");
  look();
  const HostileUaServer server("drop_read");  // drops the link on a read of its item
  ConnectTo(server.Url());
  ASSERT_TRUE(opc->IsConnected()) << ui.Errors.join("; ").toStdString();
  Page().OPCTabela->setCurrentCell(0, 0);
  ASSERT_TRUE(WithItemBrowser([&] { QTest::mouseClick(Page().IzberiAjtemKnof, Qt::LeftButton); },
                              [&](SelectOpcItemDialog& d) { seen << d.StanjeBrskanja->text(); }));
  QCoreApplication::processEvents();  // the lost link's message
  QCoreApplication::processEvents();
  look();
  EXPECT_FALSE(opc->IsConnected());
  seen << ui.Errors << ui.Messages << ui.Notices;
  EXPECT_GE(ui.Errors.size(), 2);
  EXPECT_GE(ui.Notices.size(), 1);  // the lost link
  const QRegularExpression english(
      QStringLiteral("\\b(the|server|connection|answer|not|found|cannot|lost|read|write)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpression named(QString::fromUtf8("»[^«]*«"));  // a name the engineer typed
  for (QString text : seen)
    EXPECT_FALSE(english.match(text.remove(named)).hasMatch()) << text.toStdString();
  EXPECT_TRUE(seen.contains(QString::fromUtf8("Branje ni uspelo: Strežnik je prekinil povezavo.")))
      << seen.join("\n").toStdString();
}

// A link lost while the connect reads the facts of the items the program writes: the loss
// is told once, and the tab says it as the message does ("Poveži znova", stopped).
TEST_F(HostileServerTab, ALinkLostDuringTheConnectLeavesTheTabAsTheMessageSaysIt) {
  const HostileUaServer server("drop_read");  // drops the link on a read of its item
  Page().OPCTabela->item(0, 0)->setText(QStringLiteral("ns=1;s=Value"));  // MV, written
  ConnectTo(server.Url());
  QCoreApplication::processEvents();
  EXPECT_FALSE(opc->IsConnected());
  ASSERT_FALSE(ui.Notices.isEmpty());
  EXPECT_TRUE(ui.Notices.back().contains(QString::fromUtf8("»Poveži znova«")));
  EXPECT_EQ(Page().PoveziOPCStreznik->text(), QString::fromUtf8("Poveži znova"));
  EXPECT_EQ(Page().Label54->text(), QString::fromUtf8("ustavljen"));
  EXPECT_TRUE(Page().PoveziOPCStreznik->isEnabled());
}

// SIGTERM from the system and SIGINT from a terminal end the program as closing its
// window does: the session goes from the server at once, not after the server's time-out.
class TerminatedWindow : public HostileServerTab, public ::testing::WithParamInterface<int> {};

TEST_P(TerminatedWindow, ClosesItsSessionAsClosingTheWindowDoes) {
  const HostileUaServer server("normal");
  const auto sessions = [&] {  // the command line reading them holds one of its own
    const CliRun r = RunCli("opc", server.Url() + " read 'ns=1;s=Sessions'");
    return r.Out.substr(0, r.Out.find(", \"dataType\""));
  };
  const std::string count = "{\"node\": \"ns=1;s=Sessions\", \"value\": ";
  ConnectTo(server.Url());
  ASSERT_TRUE(opc->IsConnected()) << ui.Errors.join("; ").toStdString();
  EXPECT_EQ(sessions(), count + "2");
  Form().show();
  CloseOnTerminationSignals(Form());
  ::raise(GetParam());
  QTRY_VERIFY_WITH_TIMEOUT(!Form().isVisible(), 2000);
  EXPECT_FALSE(opc->IsConnected());
  // The session is closed on a thread of its own, at once.
  std::string now;
  for (int i = 0; i < 20 && (now = sessions()) != count + "1"; ++i) QTest::qWait(100);
  EXPECT_EQ(now, count + "1");
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminatedWindow, ::testing::Values(SIGTERM, SIGINT));

}  // namespace
