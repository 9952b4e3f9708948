// The queue of automatic experiments on the "Eksperiment" tab: queuing an activation by
// its start time, the scheduler's tick that runs the due experiment, and deleting an
// entry. The list itself is the core's ExperimentQueue; the two lists show it.
#include <QDateEdit>
#include <QDateTime>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <stdexcept>

#include "app/FormHelpers.h"
#include "app/TForm1.h"
#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"

namespace {

// The start time as typed in the masked edit ("9:05:00" or "09:05:00").
QTime StartTimeOfDay(const QString& text) {
  const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
  if (!time.isValid()) throw ConversionError("'" + text.toStdString() + "' is not a valid time");
  return time;
}

LocalDateTime Local(const QDate& date, const QTime& time) {
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

QString Joined(const std::vector<std::string>& lines) {
  QStringList list;
  for (const std::string& line : lines) list << QString::fromStdString(line);
  return list.join(QLatin1Char('\n'));
}

}  // namespace

void ExperimentPage::QueueAutomaticExperiment(const ExperimentSettings& settings) {
  // A start is accepted on a later day at any time, or today at a later time of day.
  const QTime startTime = StartTimeOfDay(CajtZacetka->text());
  const QDate startDate = DateTimePicker1->date();
  const QDateTime now = LocalNow(form_.SystemClock());
  if (!StartIsAccepted(Local(startDate, startTime), Local(now.date(), now.time()))) {
    Ui().ShowMessage(QStringLiteral("Naveden čas začetka eksperimenta je bolj zgoden od trenutnega"));
    return;
  }
  // An entry whose numbers cannot be read would only fail at its start time and hold up
  // every later one: it is refused now, before the file dialog.
  ReadExperimentSetup(settings, ExperimentKind::Automatic, TForm1::DecimalSeparator());
  // Without its settings file an entry could never start: a cancelled save queues nothing.
  if (!ShraniNastavitveClick()) {
    form_.SetStatusText(QStringLiteral("Eksperiment ni aktiviran: nastavitve niso bile shranjene."));
    return;
  }
  QueuedExperiment entry;
  entry.Start = Local(startDate, startTime);
  entry.StartText = (QLocale().toString(startDate, QLocale::ShortFormat) + QLatin1Char(' ') +
                     CajtZacetka->text())
                        .toStdString();
  entry.Label = BaseNameOf(form_.SaveDialog1.FileName.toStdString());
  entry.Folder = form_.LastDirectory.toStdString();
  queue_.Insert(std::move(entry));
  // A new activation sets a stopped queue going again: its head is tried once more.
  if (queue_.Stalled() != nullptr) form_.SetStatusText(QString());
  queue_.ClearStall();
  ShowQueue();
  form_.Timer_ExperimentScheduler->start();
}

void ExperimentPage::Timer_ExperimentSchedulerTimer() {
  // An experiment in the window (a manual one, or an activation waiting for the plant)
  // is never interrupted: the due entry starts at the first tick after it.
  if (activating_ || form_.Eksperiment().isVisible()) return;
  const QDateTime now = LocalNow(form_.SystemClock());
  if (!queue_.HeadDue(Local(now.date(), now.time()))) return;
  form_.Timer_ExperimentScheduler->stop();
  const QueuedExperiment entry = queue_.Head();
  // The waits of the run process events: no activation or deletion changes the list
  // until the entry is done.
  activating_ = true;
  struct Release {
    bool& flag;
    ~Release() { flag = false; }
  } release{activating_};
  try {
    RunQueuedExperiment(entry);
  } catch (const std::exception& e) {
    // The entry stays at the head and the scheduler off until the engineer deletes or
    // activates again; the error box shows the failure.
    StallQueue(e.what());
    throw;
  }
  queue_.Remove(0);
  ShowQueue();
  if (!queue_.Empty()) form_.Timer_ExperimentScheduler->start();
}

void ExperimentPage::RunQueuedExperiment(const QueuedExperiment& entry) {
  form_.LastDirectory = QString::fromStdString(entry.Folder);
  // The file is read and every number checked before any control, item or window changes.
  const std::vector<std::string> lines = ReadTextLines(queue_.SettingsPath(0));
  ExperimentSettings settings = SettingsFromControls();
  ApplySettingsLines(lines, settings);
  ExperimentSetup setup = ReadExperimentSetup(settings, ExperimentKind::Automatic, TForm1::DecimalSeparator());
  setup.ExperimentLabel = entry.Label;

  LoadSettingsFromList(lines);
  MeasurementStore& store = form_.Store();
  const std::array<std::string, 6> names = ExperimentColumnNames(settings);
  for (int column = 1; column <= 6; ++column) store.ColumnNames[column] = names[column - 1];

  TEksperiment& window = form_.Eksperiment();
  AddExperimentItems(setup, settings, window.ExperimentGroup());
  window.Run().Setup = setup;
  window.ScrollBar1->setEnabled(false);
  window.VrednostVhodaEdit->setEnabled(false);
  window.PrepareAutomaticRun();
  form_.ApplyAutomaticOptions(AutomaticOptionsOf(settings));
  window.RocniAvtomatski->setVisible(true);
  window.exec();

  // A record the simulation made while a plant was connected is not the plant's: it is
  // not post-processed, and the queue stops here.
  if (window.Run().MvItemUnreachable && form_.Opc().IsConnected())
    throw std::runtime_error("element MV (\"" + setup.ItemMV->ItemId() +
                             "\") ni dosegel dobre kakovosti, zato je bil posnetek simuliran in ni obdelan.");
  RunPostProcessingChain(QString::fromStdString(entry.Folder), QString::fromStdString(entry.Label));
}

void ExperimentPage::RunPostProcessingChain(const QString& folder, const QString& label) {
  // The automatic post-processing (data, model, controller and report files in `folder`,
  // named after `label`) plugs in here.
  Q_UNUSED(folder);
  Q_UNUSED(label);
}

void ExperimentPage::StallQueue(const std::string& reason) {
  queue_.MarkHeadStalled(reason);
  ShowQueue();
  if (const QueuedExperiment* stalled = queue_.Stalled())
    form_.SetStatusText(QString::fromStdString(StalledQueueText(*stalled)));
}

void ExperimentPage::SeznamCakajocihEkspCasKeyDown(int key) {
  if (key != Qt::Key_Delete || activating_) return;
  const int line = SeznamCakajocihEkspCas->textCursor().blockNumber();
  if (line < 0 || static_cast<std::size_t>(line) >= queue_.Size()) return;
  const bool wasStalled = !queue_.Entries()[static_cast<std::size_t>(line)].Stall.empty();
  queue_.Remove(static_cast<std::size_t>(line));
  if (wasStalled) form_.SetStatusText(QString());
  ShowQueue();
  if (queue_.Empty()) form_.Timer_ExperimentScheduler->stop();
}

void ExperimentPage::ShowQueue() {
  SeznamCakajocihEkspCas->setPlainText(Joined(queue_.StartTexts()));
  SeznamCakajocihEkspOznaka->setPlainText(Joined(queue_.LabelTexts()));
  const QueuedExperiment* stalled = queue_.Stalled();
  const QString why = stalled ? QString::fromStdString(StalledQueueText(*stalled)) : QString();
  SeznamCakajocihEkspCas->setToolTip(why);
  SeznamCakajocihEkspOznaka->setToolTip(why);
}

bool ExperimentPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress &&
      (watched == SeznamCakajocihEkspCas || watched == SeznamCakajocihEkspCas->viewport())) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Delete) {
      SeznamCakajocihEkspCasKeyDown(key);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
