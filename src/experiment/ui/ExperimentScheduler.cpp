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
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "data/ui/ShownNumbers.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/PostProcessingChain.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "forms/FormHelpers.h"
#include "forms/UiServices.h"
#include "forms/Workspace.h"
#include "tuning/Recomputation.h"

namespace {

// The start time as typed in the masked edit ("9:05:00" or "09:05:00").
QTime StartTimeOfDay(const QString& text) {
  const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
  if (!time.isValid())
    throw ConversionError("'" + text.toStdString() + "' is not a valid time",
                          "»" + text.toStdString() + "« ni veljaven čas.");
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

// The settings file of an entry could not be read or holds what the run cannot use.
std::string SettingsFileProblem(const std::string& path, const std::exception& e) {
  if (!std::filesystem::exists(path)) return "datoteka nastavitev \"" + path + "\" ne obstaja.";
  if (dynamic_cast<const FileError*>(&e) != nullptr) return QueueErrorText(e.what());
  if (dynamic_cast<const ListIndexError*>(&e) != nullptr)
    return "datoteka nastavitev \"" + path + "\" je nepopolna.";
  return "datoteka nastavitev \"" + path + "\" ima neveljavno vrednost: " + std::string(e.what());
}

}  // namespace

void ExperimentPage::QueueAutomaticExperiment(const ExperimentSettings& settings) {
  // A start is accepted on a later day at any time, or today at a later time of day.
  const QTime startTime = StartTimeOfDay(CajtZacetka->text());
  const QDate startDate = DateTimePicker1->date();
  const QDateTime now = LocalNow(form_.SystemClock());
  if (!StartIsAccepted(Local(startDate, startTime), Local(now.date(), now.time()))) {
    Ui().ShowMessage(
        QStringLiteral("Naveden čas začetka eksperimenta je bolj zgoden od trenutnega"));
    return;
  }
  // An entry whose numbers cannot be read would only fail at its start time and hold up
  // every later one: it is refused now, before the file dialog.
  ReadExperimentSetup(settings, ExperimentKind::Automatic, DecimalSeparator());
  // A controller tuned without an identification of its own is tuned on the model the
  // program holds now, and only on a model whose source is known.
  std::optional<HeldModel> model;
  if (TunesOnHeldModel(settings)) {
    const MeasurementStore& store = form_.Store();
    if (store.ModelSource.empty()) {
      Ui().ShowMessage(QString::fromUtf8(NoHeldModelMessage));
      return;
    }
    model = HeldModel{ControllerSettingsWithModels({}, store), store.ModelSource};
  }
  // Without its settings file an entry could never start: a cancelled save queues nothing.
  if (!ShraniNastavitveClick()) {
    form_.SetStatusText(
        QStringLiteral("Eksperiment ni aktiviran: nastavitve niso bile shranjene."));
    return;
  }
  QueuedExperiment entry;
  entry.Start = Local(startDate, startTime);
  entry.StartText = (DateText(startDate) + QLatin1Char(' ') + CajtZacetka->text()).toStdString();
  entry.Label = BaseNameOf(form_.SaveDialog1.FileName.toStdString());
  entry.Folder = form_.LastDirectory.toStdString();
  entry.Model = model;
  // A file saved under another extension is still the one the scheduler reads back.
  const std::string saved = form_.SaveDialog1.FileName.toStdString();
  if (!QString::fromStdString(saved).endsWith(QStringLiteral(".vtx"), Qt::CaseInsensitive))
    entry.SavedPath = saved;

  // A stopped entry runs again only when the engineer says so: by default it stays
  // stopped, set aside, and the queue goes on with the others.
  QString status;
  if (const QueuedExperiment* stalled = queue_.Stalled()) {
    QStringList choices;
    for (const std::string& choice : StalledEntryChoices())
      choices << QString::fromStdString(choice);
    const int leave = static_cast<int>(StalledEntryChoice::LeaveStopped);
    const int answer =
        Ui().AskChoice(QString::fromStdString(StalledEntryQuestion(*stalled)), choices, leave);
    const std::size_t index = queue_.StalledIndex();
    if (answer == static_cast<int>(StalledEntryChoice::RunAgain)) {
      queue_.ClearStall(index);
    } else if (answer == static_cast<int>(StalledEntryChoice::Remove)) {
      queue_.Remove(index);
    } else {
      queue_.SetStalledAside();
    }
    form_.SetStatusText(QString());
  }
  queue_.Insert(std::move(entry));
  ShowQueue();
  if (model)
    form_.SetStatusText(
        QStringLiteral("Eksperiment \"%1\" bo regulator nastavil na modelu: %2.")
            .arg(QString::fromStdString(BaseNameOf(saved)), QString::fromStdString(model->Source)));
  form_.Timer_ExperimentScheduler->start();
}

void ExperimentPage::Timer_ExperimentSchedulerTimer() {
  // An experiment in the window (a manual one, or a run being prepared or ending) is
  // never interrupted: the due entry starts at the first tick after it.
  if (activating_ || form_.RunInFlight()) return;
  const QDateTime now = LocalNow(form_.SystemClock());
  const std::optional<std::size_t> due = queue_.DueEntry(Local(now.date(), now.time()));
  if (!due) return;
  const QueuedExperiment entry = queue_.Entries()[*due];
  // Never under the engineer's hands: while a box or a dialog of the program is open (a
  // record being saved, a question), the due entry waits for it to close.
  if (ProgramDialogOpen()) {
    const QString waiting =
        QStringLiteral("Eksperiment \"%1\" čaka, da se zapre odprto okno programa.")
            .arg(QString::fromStdString(entry.Label));
    if (form_.StatusText() != waiting) form_.SetStatusText(waiting);
    return;
  }
  form_.Timer_ExperimentScheduler->stop();

  // An entry that cannot even be read never touched the plant: it is set aside and the
  // queue goes on with the next.
  std::optional<QueuedRun> run;
  try {
    run = ReadQueuedEntry(*due);
  } catch (const std::exception& e) {
    queue_.MarkStalled(*due, SettingsFileProblem(queue_.SettingsPath(*due), e), true);
    ShowQueue();
    form_.SetStatusText(QString::fromStdString(SetAsideText(queue_.Entries()[*due])));
    if (queue_.HasWaiting()) form_.Timer_ExperimentScheduler->start();
    return;
  }
  // No activation or deletion changes the list until the entry is done.
  SetRunUnderWay(true);
  RunQueuedExperiment(*due, entry, *run);
}

void ExperimentPage::QueuedEntryFailed(std::size_t index, const std::string& reason,
                                       const std::string& told) {
  // After the plant was touched the queue stops: the entry stays, the scheduler off,
  // until the engineer deletes it or says at a new activation what to do with it. Told
  // by the status and a notice: nothing waits for a click.
  SetRunUnderWay(false);
  StallQueue(index, QueueErrorText(reason));
  Ui().ShowNotice(QString::fromStdString(QueueErrorText(told.empty() ? reason : told)));
}

void ExperimentPage::QueuedEntryDone(std::size_t index) {
  SetRunUnderWay(false);
  queue_.Remove(index);
  ShowQueue();
  if (queue_.HasWaiting()) form_.Timer_ExperimentScheduler->start();
}

ExperimentPage::QueuedRun ExperimentPage::ReadQueuedEntry(std::size_t index) {
  // The file is read and every number checked before any control, item or window changes.
  QueuedRun run;
  run.Lines = ReadTextLines(queue_.SettingsPath(index));
  run.Settings = SettingsFromControls();
  ApplySettingsLines(run.Lines, run.Settings);
  run.Setup = ReadExperimentSetup(run.Settings, ExperimentKind::Automatic, DecimalSeparator());
  run.Setup.ExperimentLabel = queue_.Entries()[index].Label;
  return run;
}

void ExperimentPage::RunQueuedExperiment(std::size_t index, const QueuedExperiment& entry,
                                         QueuedRun& run) {
  form_.LastDirectory = QString::fromStdString(entry.Folder);
  const ExperimentSettings settings = run.Settings;
  try {
    LoadSettingsFromList(run.Lines);
  } catch (const std::exception& e) {
    QueuedEntryFailed(index, e.what());
    return;
  }
  TEksperiment& window = HandOverToExperimentWindow(std::move(run.Setup), settings);
  window.ScrollBar1->setEnabled(false);
  window.VrednostVhodaEdit->setEnabled(false);
  window.PrepareRun(false, [this, &window, index, entry, settings](const std::string& why) {
    if (!why.empty()) {
      QueuedEntryFailed(index, why);
      return;
    }
    form_.ApplyAutomaticOptions(AutomaticOptionsOf(settings));
    window.RocniAvtomatski->setVisible(true);
    // A record the simulation made on a run meant for a plant is not the plant's: the
    // chain keeps its data file and images and stops the queue before the model.
    afterRun_ = [this, index, entry, settings] {
      try {
        RunPostProcessingChain(entry, settings);
      } catch (const ChainStepError& e) {
        // The status bar names the step of the post-processing that failed.
        QueuedEntryFailed(index, e.Reason(), e.what());
        return;
      } catch (const std::exception& e) {
        QueuedEntryFailed(index, e.what());
        return;
      }
      QueuedEntryDone(index);
    };
    window.show();
  });
}

void ExperimentPage::StallQueue(std::size_t index, const std::string& reason) {
  queue_.MarkStalled(index, reason, false);
  ShowQueue();
  if (const QueuedExperiment* stalled = queue_.Stalled())
    form_.SetStatusText(QString::fromStdString(StalledQueueText(*stalled)));
}

void ExperimentPage::SeznamCakajocihEkspCasKeyDown(int key) {
  if (key != Qt::Key_Delete || activating_ || form_.RunInFlight()) return;
  const int line = SeznamCakajocihEkspCas->textCursor().blockNumber();
  if (line < 0 || static_cast<std::size_t>(line) >= queue_.Size()) return;
  const bool wasStalled = !queue_.Entries()[static_cast<std::size_t>(line)].Stall.empty();
  queue_.Remove(static_cast<std::size_t>(line));
  ShowQueue();
  if (!queue_.HasWaiting()) {
    form_.Timer_ExperimentScheduler->stop();
  } else if (wasStalled) {
    // The entry that held the queue is gone: the ones after it run at their times.
    form_.Timer_ExperimentScheduler->start();
  }
  if (wasStalled) form_.SetStatusText(QString());
}

void ExperimentPage::ShowQueue() {
  SeznamCakajocihEkspCas->setPlainText(Joined(queue_.StartTexts()));
  SeznamCakajocihEkspOznaka->setPlainText(Joined(queue_.LabelTexts()));
  // The tool tip says why the queue stopped, or why entries were set aside.
  QStringList reasons;
  for (const QueuedExperiment& e : queue_.Entries())
    if (!e.Stall.empty())
      reasons << QString::fromStdString(e.SetAside ? SetAsideText(e) : StalledQueueText(e));
  const QString why = reasons.join(QLatin1Char('\n'));
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
