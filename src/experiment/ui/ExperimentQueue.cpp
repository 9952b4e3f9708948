// The queue of automatic experiments on the "Eksperiment" tab.
#include <QDateEdit>
#include <QDateTime>
#include <QLineEdit>

#include "app/FormHelpers.h"
#include "app/TForm1.h"
#include "data/NumberFormat.h"
#include "experiment/ui/ExperimentPage.h"

namespace {

// The start time as typed in the masked edit ("9:05:00" or "09:05:00").
QTime StartTimeOfDay(const QString& text) {
  const QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
  if (!time.isValid()) throw ConversionError("'" + text.toStdString() + "' is not a valid time");
  return time;
}

}  // namespace

void ExperimentPage::QueueAutomaticExperiment() {
  // A start is accepted on a later day at any time, or today at a later time of day.
  const QTime start = StartTimeOfDay(CajtZacetka->text());
  const QDate startDate = DateTimePicker1->date();
  const QDateTime now = LocalNow(form_.SystemClock());
  if ((now.time() >= start && now.date() >= startDate) || now.date() > startDate) {
    Ui().ShowMessage(QStringLiteral("Naveden čas začetka eksperimenta je bolj zgoden od trenutnega"));
    return;
  }
  ShraniNastavitveClick();
  // Still to come with the scheduler: the waiting-list entry (start, label = base name of
  // SaveDialog1's file name, folder = LastDirectory) and enabling the scheduler.
}
