// The regulator tab's load into the plant's controller: the questions before a write,
// the load as a job, its outcome told as it is, and "Povrni prejšnje" bound to the server
// and the items the values were read from.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>

#include "data/NumberFormat.h"
#include "forms/FormHelpers.h"
#include "forms/JobRunner.h"
#include "forms/Workspace.h"
#include "opc/OpcClient.h"
#include "tuning/ControllerLoad.h"
#include "tuning/Recomputation.h"
#include "tuning/Robustness.h"
#include "tuning/ui/RegulatorPage.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

void RegulatorPage::Button16Click() {
  if (loadingController_) return;  // a load is already waiting for the controller
  // No question about a write while other plant work (a connect) is under way.
  if (Jobs().Running() > 0) {
    form_.SetStatusText(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }
  const char sep = DecimalSeparator();
  // In cascade the panel shows the outer controller, whose items are rows 14-16.
  ControllerLoad load;
  load.Outer = CheckBox_CascadeReg->isChecked();
  const std::array<int, 3> rows = ControllerItemRows(load.Outer);
  // A text that is not a number stops here, before anything is written; the load writes
  // exactly the numbers the panel shows (or the engineer typed).
  const ScaledParameters values = PanelValues();
  load.Values = {values.Kp, values.Ki, values.Kd};
  for (size_t k = 0; k < 3; ++k) load.ItemIds[k] = S(form_.PlantItemId(rows[k]));

  // In cascade the inner controller becomes the P controller the outer one was tuned
  // around, in the same transaction.
  const std::array<int, 3> innerRows = ControllerItemRows(false);
  if (load.Outer) {
    std::array<std::string, 3> innerIds;
    for (size_t k = 0; k < 3; ++k) innerIds[k] = S(form_.PlantItemId(innerRows[k]));
    std::string byHand;
    load.Inner = InnerPController(ComboBox_Regulator->currentIndex(),
                                  form_.Store().Tuning.InnerLoopGain, innerIds, sep, byHand);
    if (!load.Inner) {
      Ui().ShowMessage(Q(byHand + " Parametri niso bili zapisani v regulator."));
      return;
    }
  }

  // Questions before anything is written.
  if (ModelChangedSinceTuning() &&
      !Ui().AskYesNo(QStringLiteral("Parametri pripadajo drugemu modelu: model procesa se je "
                                    "spremenil, odkar so bili parametri izračunani. Jih vseeno "
                                    "naložim v regulator?")))
    return;
  QString note;
  if (tunedProcess_ && RobustnessRefusal(*tunedProcess_).empty()) {
    try {
      const RobustnessFigures f = LoopRobustness(
          *tunedProcess_, ControllerOfPanelValues(PanelInputFromControls(note), values));
      const RobustnessTexts t = FormatRobustness(f, sep);
      if (!f.Stable && !Ui().AskYesNoDefaultNo(
                           QStringLiteral("Zaprta zanka s tem regulatorjem je na modelu nestabilna "
                                          "(%1). Ga vseeno naložim v regulator?")
                               .arg(Q(t.Line))))
        return;
      if (f.Stable && f.Ms > FragileMs &&
          !Ui().AskYesNoDefaultNo(
              QStringLiteral("Regulator je na modelu krhek: %1 (Ms nad %2). Ga vseeno "
                             "naložim v regulator?")
                  .arg(Q(t.Line), Q(FormatGeneral(FragileMs, 4, sep)))))
        return;
    } catch (const std::invalid_argument&) {
      // A controller that cannot be judged is judged by the engineer.
    }
  }
  if (load.Inner) {
    QString list;
    const char* const terms[] = {"P", "I", "D"};
    const ControllerTerms* const parts[] = {&*load.Inner, &load};
    for (const ControllerTerms* part : parts) {
      const std::array<int, 3> partRows = ControllerItemRows(part->Outer);
      for (size_t k = 0; k < 3; ++k) {
        if (part->ItemIds[k].empty()) continue;
        list += QStringLiteral("\nvrstica %1, »%2« (%3 %4) = %5")
                    .arg(partRows[k])
                    .arg(Q(part->ItemIds[k]), QString::fromLatin1(terms[k]),
                         part->Outer ? QStringLiteral("zunanjega regulatorja")
                                     : QStringLiteral("notranjega regulatorja"),
                         Q(FormatGeneral(part->Values[k].value_or(0), 12, sep)));
      }
    }
    if (!Ui().AskYesNoDefaultNo(
            QStringLiteral("Kaskada: notranji regulator postane regulator P z "
                           "ojačenjem %1, zunanji dobi parametre s plošče. V obrat "
                           "bo zapisano:%2\nNaložim?")
                .arg(Label_Kp_Cascade->text(), list)))
      return;
  }

  RunLoad(load, PlantWriteSource::ControllerLoad);
}

namespace {

constexpr const char* TermNames[] = {"P", "I", "D"};

// Each part of a load (the inner controller first), for lists of its items.
std::vector<const ControllerTerms*> Parts(const ControllerLoad& load) {
  std::vector<const ControllerTerms*> parts;
  if (load.Inner) parts.push_back(&*load.Inner);
  parts.push_back(&load);
  return parts;
}

QString Shown(const std::optional<double>& v, char sep) {
  return v ? Q(FormatGeneral(*v, 10, sep)) : QStringLiteral("?");
}

}  // namespace

void RegulatorPage::Button_PovrniPrejsnjeClick() {
  if (loadingController_ || !undo_) return;
  if (Jobs().Running() > 0) {
    form_.SetStatusText(QString::fromUtf8(JobRunner::BusyText()));
    return;
  }
  // The undo belongs to the server and the items it was read from.
  const OpcServerIdentity now = form_.Opc().ServerIdentity();
  if (!(now == undo_->Server)) {
    Ui().ShowMessage(
        QStringLiteral("»Povrni prejšnje« velja za strežnik %1, povezan pa je %2. Prejšnje "
                       "vrednosti niso bile zapisane.")
            .arg(Q(undo_->Server.Endpoint),
                 now.Known() ? Q(now.Endpoint) : QStringLiteral("nobeden")));
    return;
  }
  for (const ControllerTerms* part : Parts(undo_->Restore)) {
    const std::array<int, 3> rows = ControllerItemRows(part->Outer);
    for (size_t k = 0; k < 3; ++k)
      if (!part->ItemIds[k].empty() && S(form_.PlantItemId(rows[k])) != part->ItemIds[k]) {
        Ui().ShowMessage(
            QStringLiteral("»Povrni prejšnje« velja za točke, v katere je bilo nalaganje "
                           "zapisano; v tabeli OPC so zdaj druge (vrstica %1). Prejšnje "
                           "vrednosti niso bile zapisane.")
                .arg(rows[k]));
        return;
      }
  }
  const char sep = DecimalSeparator();
  QString list;
  for (const ControllerTerms* part : Parts(undo_->Restore))
    for (size_t k = 0; k < 3; ++k)
      if (!part->ItemIds[k].empty())
        list += QStringLiteral("\n»%1«: %2 → %3")
                    .arg(Q(part->ItemIds[k]), Shown(part->Expected[k], sep),
                         Shown(part->Values[k], sep));
  if (!Ui().AskYesNoDefaultNo(
          QStringLiteral("Povrnem regulator na vrednosti pred zadnjim nalaganjem?%1").arg(list)))
    return;
  RunLoad(undo_->Restore, PlantWriteSource::Undo);
}

void RegulatorPage::AskUndoOverChange(const ControllerLoadResult& result) {
  if (!undo_ || !result.Now) return;
  const char sep = DecimalSeparator();
  QString table = QStringLiteral("Točka\tpred nalaganjem\tzapisalo nalaganje\tzdaj");
  const std::vector<const ControllerTerms*> held = Parts(undo_->Restore), now = Parts(*result.Now);
  for (size_t p = 0; p < held.size() && p < now.size(); ++p)
    for (size_t k = 0; k < 3; ++k)
      if (!held[p]->ItemIds[k].empty())
        table += QStringLiteral("\n»%1« (%2)\t%3\t%4\t%5")
                     .arg(Q(held[p]->ItemIds[k]), QString::fromLatin1(TermNames[k]),
                          Shown(held[p]->Values[k], sep), Shown(held[p]->Expected[k], sep),
                          Shown(now[p]->Values[k], sep));
  if (!Ui().AskYesNoDefaultNo(
          QStringLiteral("Točke regulatorja ne hranijo več vrednosti, ki jih je zapisalo "
                         "nalaganje (spremenil jih je operater ali obrat).\n\n%1\n\nJih vseeno "
                         "povrnem na vrednosti pred nalaganjem?")
              .arg(table)))
    return;
  // Written over what the items hold now, and only while they still hold it.
  ControllerLoad restore = undo_->Restore;
  std::vector<ControllerTerms*> into;
  if (restore.Inner) into.push_back(&*restore.Inner);
  into.push_back(&restore);
  for (size_t p = 0; p < into.size() && p < now.size(); ++p) into[p]->Expected = now[p]->Values;
  RunLoad(restore, PlantWriteSource::Undo);
}

void RegulatorPage::ServerConnected() {
  const OpcServerIdentity now = form_.Opc().ServerIdentity();
  // The status bar tells only what the plant connected holds.
  if (!ownStatus_.isEmpty() && !(now == statusServer_)) ClearOwnStatus();
  if (unsure_ && now == unsure_->Server && !loadingController_) ReadBackUnsureSet();
}

void RegulatorPage::ReadBackUnsureSet() {
  struct Shared {
    std::vector<std::optional<double>> Values;
  };
  auto shared = std::make_shared<Shared>();
  const std::vector<std::string> ids = unsure_->ItemIds;
  OpcGroup* group = &form_.ControllerGroup();
  loadingController_ = true;
  Button16->setEnabled(false);
  Button_PovrniPrejsnje->setEnabled(false);
  const auto work = [shared, ids, group] {
    group->RemoveAllItems();
    std::vector<OpcItemPtr> items;
    for (const std::string& id : ids) items.push_back(group->AddItem(id));
    QElapsedTimer waited;
    waited.start();
    const auto good = [&] {
      return std::all_of(items.begin(), items.end(),
                         [](const OpcItemPtr& i) { return IsGoodQuality(i->Quality()); });
    };
    while (!good() && waited.elapsed() < ControllerReadBackWaitMs) {
      group->ReadNow();
      QThread::msleep(20);
    }
    for (const OpcItemPtr& i : items)
      shared->Values.push_back(IsGoodQuality(i->Quality()) ? std::optional<double>(i->Value())
                                                           : std::nullopt);
  };
  const auto ended = [this, shared, ids](std::exception_ptr error) {
    loadingController_ = false;
    Button16->setEnabled(true);
    Button_PovrniPrejsnje->setEnabled(undo_.has_value());
    if (error || !unsure_) return;
    const char sep = DecimalSeparator();
    QString held;
    for (size_t i = 0; i < ids.size() && i < shared->Values.size(); ++i)
      held += QStringLiteral("%1»%2« = %3")
                  .arg(held.isEmpty() ? QString() : QStringLiteral(", "), Q(ids[i]),
                       Shown(shared->Values[i], sep));
    form_.SetStatusAlarm(unsure_->Text +
                         QStringLiteral(" Po ponovni povezavi točke hranijo: %1.").arg(held));
    unsure_.reset();
  };
  Jobs().Start(this, work, ended);
}

void RegulatorPage::SetLoading(bool loading, bool offThread) {
  loadingController_ = loading;
  Button16->setEnabled(!loading);
  Button16->setText(loading && offThread ? QString::fromUtf8("nalaganje …")
                                         : QString::fromUtf8("Naloži v regulator"));
  if (loading) undoWasOn_ = Button_PovrniPrejsnje->isEnabled();
  Button_PovrniPrejsnje->setEnabled(!loading && undoWasOn_);
  Button_PovrniPrejsnje->setVisible(!(loading && offThread));
  Button_PrekliciNalaganje->setVisible(loading && offThread);
}

void RegulatorPage::RunLoad(const ControllerLoad& load, PlantWriteSource source) {
  // The load is a job: a plant may take up to the link's time-out to answer each request
  // (an in-process plant answers at once, but its items may still be on their way to
  // Good quality). The window says it is under way and "Prekliči" gives up waiting. A
  // cancel never cuts a set in half: the waits end at once, but a write in flight
  // finishes (or is rolled back) on the load's thread, and its outcome is told when it
  // has ended. Bounded by the program's clock; a second bound on real time keeps a clock
  // that does not move (a hand-driven one) from holding the load.
  constexpr qint64 BoundMs = ControllerQualityWaitMs + ControllerReadBackWaitMs;
  struct Shared {
    std::atomic<bool> cancelled = false;
    std::atomic<bool> closing = false;
    ControllerLoadResult result;
  };
  auto shared = std::make_shared<Shared>();
  const PlantWriteContext context = form_.PlantWrites(source);
  loadServer_ = form_.Opc().ServerIdentity();
  // The engineer acts on the plant again: what an earlier half set said has been seen.
  form_.SetStatusAlarm(QString());
  unsure_.reset();
  OpcGroup* group = &form_.ControllerGroup();
  const Clock* clock = &form_.SystemClock();
  const char separator = DecimalSeparator();
  SetLoading(true, true);
  // The program's end stops the waits too.
  auto* closingWatch = new QTimer(this);
  connect(closingWatch, &QTimer::timeout, this, [this, shared] {
    if (form_.Closing()) shared->cancelled = shared->closing = true;
  });
  closingWatch->start(20);
  cancelLoad_ = [shared] { shared->cancelled = true; };
  const auto work = [shared, group, clock, load, separator, context] {
    QElapsedTimer elapsed;
    elapsed.start();
    QElapsedTimer readingBack;
    shared->result = LoadIntoController(
        *group, load, *clock,
        [&] {
          QThread::msleep(2);
          return !shared->cancelled && elapsed.elapsed() < BoundMs;
        },
        separator, context,
        // The set written, its read-back waits its whole time also after a cancel that
        // came during the writes: the outcome told is what the controller holds.
        [&] {
          if (!readingBack.isValid()) readingBack.start();
          QThread::msleep(2);
          return !shared->closing && readingBack.elapsed() < ControllerReadBackWaitMs;
        });
  };
  const auto ended = [this, shared, load, source, closingWatch](std::exception_ptr error) {
    closingWatch->deleteLater();
    const bool cancelled = shared->cancelled && !shared->closing;
    cancelLoad_ = nullptr;
    SetLoading(false, true);
    if (error) std::rethrow_exception(error);
    if (!shared->closing) LoadEnded(load, shared->result, source, cancelled);
  };
  // A cancel is told with the outcome, when the load has ended: the job is not given up.
  Jobs().Start(this, work, ended);
}

void RegulatorPage::PrekliciNalaganjeClick() {
  if (!cancelLoad_) return;
  cancelLoad_();
  // The buttons come back once the load given up has ended.
  Button16->setText(QString::fromUtf8("preklicano …"));
}

void RegulatorPage::LoadEnded(const ControllerLoad& load, const ControllerLoadResult& result,
                              PlantWriteSource source, bool cancelled) {
  if (form_.Closing()) return;  // the program is ending: no box over it
  const bool written = result.Outcome == ControllerLoadOutcome::Confirmed ||
                       result.Outcome == ControllerLoadOutcome::Differs;
  if (cancelled && result.Outcome == ControllerLoadOutcome::NotWritten) {
    form_.SetStatusText(
        QString::fromUtf8("Nalaganje preklicano: parametri niso bili zapisani v regulator."));
    return;
  }
  if (result.Outcome == ControllerLoadOutcome::Changed) {
    AskUndoOverChange(result);
    return;
  }
  if (result.Outcome == ControllerLoadOutcome::Unknown) {
    // Half a set may stand on the plant: said in red until the engineer acts, and read
    // back once the server is there again.
    unsure_ = UnsureSet{loadServer_, {}, Q(result.Text)};
    for (const ControllerTerms* part : Parts(load))
      for (const std::string& id : part->ItemIds)
        if (!id.empty()) unsure_->ItemIds.push_back(id);
    ClearOwnStatus();
    form_.SetStatusAlarm(Q(result.Text));
    Ui().ShowNotice(Q(result.Text));
    if (form_.Opc().IsConnected() && form_.Opc().ServerIdentity() == loadServer_)
      ReadBackUnsureSet();
    return;
  }
  QString prefix;
  if (cancelled && written)
    prefix = QString::fromUtf8("Preklic je prišel med zapisovanjem, ki se je izteklo: ");
  statusServer_ = loadServer_;
  if (result.Outcome == ControllerLoadOutcome::NotWritten ||
      result.Outcome == ControllerLoadOutcome::RolledBack)
    Ui().ShowMessage(Q(result.Text));
  else
    SetOwnStatus(prefix + Q(result.Text));
  if (source == PlantWriteSource::Undo) {
    if (result.Outcome == ControllerLoadOutcome::Confirmed) {
      undo_.reset();
      undoWasOn_ = false;
      Button_PovrniPrejsnje->setEnabled(false);
      SetOwnStatus(prefix + QStringLiteral("Povrnjeno: ") + Q(result.Text));
    }
  } else if (result.Before) {
    // The values written are what the items must still hold when the undo comes.
    Undo undo{loadServer_, *result.Before};
    const std::vector<const ControllerTerms*> wrote = Parts(load);
    std::vector<ControllerTerms*> into;
    if (undo.Restore.Inner) into.push_back(&*undo.Restore.Inner);
    into.push_back(&undo.Restore);
    for (size_t p = 0; p < into.size() && p < wrote.size(); ++p)
      for (size_t k = 0; k < 3; ++k)
        if (!into[p]->ItemIds[k].empty()) into[p]->Expected[k] = wrote[p]->Values[k].value_or(0);
    undo_ = undo;
    undoWasOn_ = true;
    Button_PovrniPrejsnje->setEnabled(true);
  }
}
