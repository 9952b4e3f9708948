#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>
#include <stdexcept>

#include "app/AboutPage.h"
#include "data/ui/TForm_Histogram.h"
#include "data/ui/TForm_Obdelava_Large.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "experiment/ui/TForm_SamodNastav.h"
#include "opc/LocalOpcClient.h"
#include "opc/ui/OpcPage.h"
#include "support/AppFixture.h"

using MainWindow = AppFixture;

TEST_F(MainWindow, HasTheCaptionTabsAndFixedClientArea) {
  EXPECT_EQ(Form().windowTitle(), QString::fromUtf8(" Vor Tuner 1.0.7"));
  EXPECT_EQ(QApplication::applicationName(), "Vor Tuner");
  EXPECT_EQ(Form().size(), QSize(897, 580));
  EXPECT_EQ(Form().minimumSize(), Form().maximumSize());
  QTabWidget* tabs = Find<QTabWidget>("PageControl1");
  const QStringList captions{"OPC",       "Eksperiment", "Obdelava",  "Model",
                             "Regulator", "Poročilo",    "O programu"};
  ASSERT_EQ(tabs->count(), captions.size());
  for (int i = 0; i < tabs->count(); ++i) EXPECT_EQ(tabs->tabText(i), captions[i]);
  EXPECT_EQ(Form().statusBar()->height(), 19);
}

TEST_F(MainWindow, CreatesTheOtherFourWindowsWithTheirCaptions) {
  EXPECT_EQ(windows.SamodNastav->windowTitle(), "Dodatne nastavitve samodejnega poizkusa");
  EXPECT_EQ(windows.Histogram->windowTitle(), "Histogram");
  EXPECT_EQ(windows.ObdelavaLarge->windowTitle(), "Prikaz signala");
  EXPECT_EQ(&Form().Eksperiment(), windows.Eksperiment.get());
  EXPECT_FALSE(windows.Eksperiment->isVisible());
}

TEST_F(MainWindow, ShowsEksperimentFirstThenOpcOnceAfterFiveSeconds) {
  QTabWidget* tabs = Find<QTabWidget>("PageControl1");
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_TRUE(Form().Timer_FirstScreen->isActive());
  EXPECT_EQ(Form().Timer_FirstScreen->interval(), 5000);
  tabs->setCurrentIndex(3);  // whatever the user opened in between
  Form().Timer_FirstScreenTimer();
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_FALSE(Form().Timer_FirstScreen->isActive());
  EXPECT_FALSE(Form().Timer_ExperimentScheduler->isActive());
  EXPECT_EQ(Form().Timer_ExperimentScheduler->interval(), 500);
}

TEST_F(MainWindow, AboutTabShowsPictureVersionAndDate) {
  auto* image = Find<QLabel>("Image_About");
  ASSERT_NE(image->pixmap().isNull(), true);
  EXPECT_EQ(Find<QLabel>("Label_Version")->text(), " Vor Tuner 1.0.7");
  EXPECT_EQ(Find<QLabel>("Label_Date")->text(), "23. november 2004");
}

// Qt's own dialogs speak Slovenian: the file dialog's texts and the standard buttons,
// which Qt 6 looks up under a context of its own.
TEST_F(MainWindow, QtsOwnDialogsAndButtonsAreSlovenian) {
  QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
  EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), "Prekliči");
  EXPECT_EQ(box.button(QDialogButtonBox::Yes)->text().remove('&'), "Da");
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), "Išči v:");
}

TEST_F(MainWindow, StartUpFieldsHoldTheirStartValues) {
  // The user's documents or home folder, not the folder the program was started from.
  EXPECT_EQ(Form().LastDirectory, QDir::toNativeSeparators(UserFilesFolder()));
  EXPECT_TRUE(UserFilesFolder().startsWith(QDir::homePath()));
  EXPECT_EQ(Form().OpenDialog1.InitialDir, Form().LastDirectory);
  EXPECT_TRUE(Form().ExperimentTab().Queue().Empty());
  EXPECT_FALSE(Form().Store().TuningEventsSuppressed);
  EXPECT_EQ(Form().ControllerGroup().Name(), "SkupReg");
  EXPECT_EQ(Form().Store().SampleCount, 0);
  EXPECT_EQ(Form().Store().DataColumns[40][5000], 0.0);
}

namespace {
class Thrower : public QObject {
 protected:
  void timerEvent(QTimerEvent*) override {
    throw std::runtime_error("»x« ni veljavno celo število.");
  }
};
}  // namespace

TEST_F(MainWindow, AnErrorEscapingAHandlerShowsOneErrorBoxAndTheProgramCarriesOn) {
  Thrower thrower;
  const int id = thrower.startTimer(0);
  QTest::qWait(20);
  thrower.killTimer(id);
  ASSERT_FALSE(ui.Errors.isEmpty());
  EXPECT_EQ(ui.Errors.first(), "»x« ni veljavno celo število.");
  Form().SetStatusText("still here");
  EXPECT_EQ(Form().StatusText(), "still here");
}

namespace {
class MainWindowOnPlant : public AppFixture {
 protected:
  void SetUp() override {
    opc = CreateLocalOpcClient(clock);
    windows = CreateApplicationWindows(*opc, clock);
  }
};
}  // namespace

TEST_F(MainWindowOnPlant, ClosingTheMainWindowEndsTheProgramWithItsWindowsAndConnection) {
  QTest::mouseClick(Form().OpcTab().PoveziOPCStreznik, Qt::LeftButton);
  ASSERT_TRUE(opc->IsConnected());
  Form().show();
  windows.Histogram->show();
  windows.ObdelavaLarge->show();
  windows.SamodNastav->show();
  QTimer::singleShot(0, [this] { Form().close(); });
  QTimer::singleShot(2000, [] { QCoreApplication::exit(99); });  // the program did not end
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(windows.Histogram->isVisible());
  EXPECT_FALSE(windows.ObdelavaLarge->isVisible());
  EXPECT_FALSE(windows.SamodNastav->isVisible());
  EXPECT_FALSE(opc->IsConnected());
  EXPECT_EQ(Form().OpcTab().Label54->text(), "ustavljen");
}

TEST(ProgramFilter, BecomesAQtFilterWithPatternsFromThePatternPart) {
  EXPECT_EQ(QtFilterFromProgramFilter(
                "Measured Data (*.vtd)|*.vtd|Data files (*.txt, *.dat)|*.txt; *.dat|All files|*.*"),
            "Measured Data (*.vtd);;Data files (*.txt *.dat);;All files (*)");
}
