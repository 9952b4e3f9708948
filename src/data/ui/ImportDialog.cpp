#include "data/ui/ImportDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/NumberFormat.h"
#include "data/ui/ShownNumbers.h"
#include "forms/FormHelpers.h"

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

QString DelimiterName(char d) {
  switch (d) {
    case ';':
      return QStringLiteral("podpičje");
    case ',':
      return QStringLiteral("vejica");
    case '\t':
      return QStringLiteral("tabulator");
  }
  return QString();
}

// An optional number typed in an edit: empty is "not given"; a text that is not a number
// throws ConversionError.
std::optional<double> Typed(const QLineEdit* edit) {
  if (edit->text().trimmed().isEmpty()) return std::nullopt;
  return TypedNumber(edit);
}

}  // namespace

ImportDialog::ImportDialog(QWidget* parent, std::vector<std::string> lines, const QString& fileName)
    : QDialog(parent), lines_(std::move(lines)) {
  setObjectName(QStringLiteral("ImportDialog"));
  setWindowTitle(QStringLiteral("Naloži podatke"));
  BuildControls();
  Label_Datoteka->setText(fileName);
  ReadTable();
}

void ImportDialog::BuildControls() {
  auto* top = new QVBoxLayout(this);
  Label_Datoteka = Named(new QLabel(this), "Label_Datoteka");
  top->addWidget(Label_Datoteka);

  // The format: detected, each setting overridable.
  auto* format = Named(new QGroupBox(QStringLiteral("Oblika datoteke"), this), "GroupBox_Oblika");
  auto* formatGrid = new QGridLayout(format);
  Combo_Locilo = Named(new QComboBox(format), "Combo_Locilo");
  Combo_Locilo->addItem(QStringLiteral("Samodejno"), 0);
  Combo_Locilo->addItem(QStringLiteral("Podpičje ;"), int(';'));
  Combo_Locilo->addItem(QStringLiteral("Vejica ,"), int(','));
  Combo_Locilo->addItem(QStringLiteral("Tabulator"), int('\t'));
  Combo_DecimalniZnak = Named(new QComboBox(format), "Combo_DecimalniZnak");
  Combo_DecimalniZnak->addItem(QStringLiteral("Samodejno"), 0);
  Combo_DecimalniZnak->addItem(QStringLiteral("Pika ."), int('.'));
  Combo_DecimalniZnak->addItem(QStringLiteral("Vejica ,"), int(','));
  Combo_OblikaCasa = Named(new QComboBox(format), "Combo_OblikaCasa");
  for (ImportTimeFormat f : {ImportTimeFormat::Detect, ImportTimeFormat::DateTime,
                             ImportTimeFormat::TimeOfDay, ImportTimeFormat::Seconds}) {
    QString name = Text(TimeFormatText(f));
    name[0] = name[0].toUpper();
    Combo_OblikaCasa->addItem(name, static_cast<int>(f));
  }
  SpinBox_StolpecCasa = Named(new QSpinBox(format), "SpinBox_StolpecCasa");
  SpinBox_StolpecCasa->setRange(0, MaxImportColumns + 1);
  SpinBox_StolpecCasa->setSpecialValueText(QStringLiteral("Samodejno"));
  formatGrid->addWidget(new QLabel(QStringLiteral("Ločilo:"), format), 0, 0);
  formatGrid->addWidget(Combo_Locilo, 0, 1);
  formatGrid->addWidget(new QLabel(QStringLiteral("Decimalni znak:"), format), 0, 2);
  formatGrid->addWidget(Combo_DecimalniZnak, 0, 3);
  formatGrid->addWidget(new QLabel(QStringLiteral("Čas:"), format), 0, 4);
  formatGrid->addWidget(Combo_OblikaCasa, 0, 5);
  formatGrid->addWidget(new QLabel(QStringLiteral("Stolpec časa:"), format), 0, 6);
  formatGrid->addWidget(SpinBox_StolpecCasa, 0, 7);
  Label_Zaznano = Named(new QLabel(format), "Label_Zaznano");
  Label_Zaznano->setWordWrap(true);
  formatGrid->addWidget(Label_Zaznano, 1, 0, 1, 9);
  formatGrid->setColumnStretch(8, 1);  // the settings side by side, the room to the right
  top->addWidget(format);

  Table_Predogled = Named(new QTableWidget(this), "Table_Predogled");
  Table_Predogled->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table_Predogled->verticalHeader()->setVisible(false);
  Table_Predogled->setMinimumHeight(170);
  top->addWidget(Table_Predogled, 1);

  // The record: columns by name, sample time, range.
  auto* record = Named(new QGroupBox(QStringLiteral("Zapis"), this), "GroupBox_Zapis");
  auto* recordGrid = new QGridLayout(record);
  const std::pair<QComboBox**, const char*> combos[] = {{&Combo_MV, "Combo_MV"},
                                                        {&Combo_U, "Combo_U"},
                                                        {&Combo_Y1, "Combo_Y1"},
                                                        {&Combo_Y2, "Combo_Y2"}};
  const char* captions[] = {"MV:", "U:", "Y1:", "Y2:"};
  for (int i = 0; i < 4; ++i) {
    *combos[i].first = Named(new QComboBox(record), combos[i].second);
    (*combos[i].first)->setMinimumContentsLength(14);
    recordGrid->addWidget(new QLabel(QString::fromLatin1(captions[i]), record), i / 2, (i % 2) * 2);
    recordGrid->addWidget(*combos[i].first, i / 2, (i % 2) * 2 + 1);
  }
  Edit_CasVzorcenja = Named(new QLineEdit(record), "Edit_CasVzorcenja");
  Edit_Zacetek = Named(new QLineEdit(record), "Edit_Zacetek");
  Edit_MejaVrzeli = Named(new QLineEdit(record), "Edit_MejaVrzeli");
  Edit_Konec = Named(new QLineEdit(record), "Edit_Konec");
  recordGrid->addWidget(new QLabel(QStringLiteral("Čas vzorčenja [s]:"), record), 0, 4);
  recordGrid->addWidget(Edit_CasVzorcenja, 0, 5);
  recordGrid->addWidget(new QLabel(QStringLiteral("Začetek [s]:"), record), 1, 4);
  recordGrid->addWidget(Edit_Zacetek, 1, 5);
  recordGrid->addWidget(new QLabel(QStringLiteral("Konec [s]:"), record), 2, 4);
  recordGrid->addWidget(Edit_Konec, 2, 5);
  recordGrid->addWidget(new QLabel(QStringLiteral("Meja vrzeli [s]:"), record), 3, 4);
  recordGrid->addWidget(Edit_MejaVrzeli, 3, 5);
  // The actuator: none unless the engineer gives one (an export holds no actuator).
  Edit_Aktuator_Maksimum = Named(new QLineEdit(record), "Edit_Aktuator_Maksimum");
  Edit_Aktuator_Minimum = Named(new QLineEdit(record), "Edit_Aktuator_Minimum");
  Edit_Aktuator_Cas = Named(new QLineEdit(record), "Edit_Aktuator_Cas");
  Edit_Aktuator_Cas->setPlaceholderText(QStringLiteral("brez omejitve hitrosti"));
  recordGrid->addWidget(new QLabel(QStringLiteral("Aktuator, maksimum:"), record), 0, 6);
  recordGrid->addWidget(Edit_Aktuator_Maksimum, 0, 7);
  recordGrid->addWidget(new QLabel(QStringLiteral("Minimum:"), record), 1, 6);
  recordGrid->addWidget(Edit_Aktuator_Minimum, 1, 7);
  recordGrid->addWidget(new QLabel(QStringLiteral("Čas odp. [s]:"), record), 2, 6);
  recordGrid->addWidget(Edit_Aktuator_Cas, 2, 7);
  top->addWidget(record);

  Text_Stetje = Named(new QPlainTextEdit(this), "Text_Stetje");
  Text_Stetje->setReadOnly(true);
  Text_Stetje->setMinimumHeight(120);
  top->addWidget(Text_Stetje);

  auto* buttons = new QDialogButtonBox(this);
  Button_Nalozi = Named(buttons->addButton(QStringLiteral("Naloži"), QDialogButtonBox::AcceptRole),
                        "Button_Nalozi");
  Button_Preklici =
      Named(buttons->addButton(QStringLiteral("Prekliči"), QDialogButtonBox::RejectRole),
            "Button_Preklici");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  top->addWidget(buttons);
  resize(860, 680);

  for (QComboBox* c : {Combo_Locilo, Combo_DecimalniZnak, Combo_OblikaCasa})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { ReadTable(); });
  connect(SpinBox_StolpecCasa, &QSpinBox::valueChanged, this, [this] { ReadTable(); });
  for (QComboBox* c : {Combo_MV, Combo_U, Combo_Y1, Combo_Y2})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { Resample(); });
  for (QLineEdit* e : {Edit_CasVzorcenja, Edit_Zacetek, Edit_Konec, Edit_MejaVrzeli,
                       Edit_Aktuator_Maksimum, Edit_Aktuator_Minimum, Edit_Aktuator_Cas})
    connect(e, &QLineEdit::editingFinished, this, [this] { Resample(); });
}

void ImportDialog::ShowError(const QString& text) {
  result_.reset();
  Button_Nalozi->setEnabled(false);
  Text_Stetje->setPlainText(text);
}

void ImportDialog::ReadTable() {
  if (filling_) return;
  ImportFormat format;
  format.Delimiter = static_cast<char>(Combo_Locilo->currentData().toInt());
  format.DecimalMark = static_cast<char>(Combo_DecimalniZnak->currentData().toInt());
  format.TimeFormat = static_cast<ImportTimeFormat>(Combo_OblikaCasa->currentData().toInt());
  format.TimeColumn = SpinBox_StolpecCasa->value();
  try {
    table_ = ReadDelimitedTable(lines_, format);
  } catch (const ImportError& e) {
    table_.reset();
    ShowPreview();
    Label_Zaznano->setText(QStringLiteral("Datoteke ni mogoče brati kot tabele."));
    ShowError(QStringLiteral("Datoteka ni sprejeta: ") + Text(e.what()));
    return;
  }
  const ImportFormat& used = table_->Format;
  Label_Zaznano->setText(
      QStringLiteral("Uporabljeno: ločilo %1, decimalni znak %2, čas: %3 v stolpcu %4, %5; "
                     "prva vrstica s podatki %6.")
          .arg(DelimiterName(used.Delimiter),
               used.DecimalMark == ',' ? QStringLiteral("vejica") : QStringLiteral("pika"),
               Text(TimeFormatText(used.TimeFormat)), QString::number(used.TimeColumn),
               table_->HeaderLine ? QStringLiteral("glava v vrstici %1").arg(table_->HeaderLine)
                                  : QStringLiteral("brez glave"),
               QString::number(table_->FirstDataLine)));
  // What the columns are beyond plain values: tags of a long export, quality columns.
  QString more;
  if (table_->Long)
    more += QStringLiteral(" Dolga oblika (oznaka, čas, vrednost): stolpec za vsako oznako (%1).")
                .arg(table_->Names.size());
  if (table_->Counts.QualityColumns > 0)
    more += QStringLiteral(" Stolpci kakovosti: %1; vrednost, ki ni dobra, je vrzel.")
                .arg(table_->Counts.QualityColumns);
  if (!more.isEmpty()) Label_Zaznano->setText(Label_Zaznano->text() + more);
  ShowPreview();
  FillColumnChoice();
  Resample();
}

void ImportDialog::ShowPreview() {
  Table_Predogled->clear();
  if (!table_) {
    // The raw lines, so the engineer sees what the file is.
    const int rows = static_cast<int>(std::min<size_t>(lines_.size(), 8));
    Table_Predogled->setColumnCount(1);
    Table_Predogled->setRowCount(rows);
    Table_Predogled->setHorizontalHeaderLabels({QStringLiteral("Vrstica")});
    for (int r = 0; r < rows; ++r)
      Table_Predogled->setItem(r, 0, new QTableWidgetItem(Text(lines_[static_cast<size_t>(r)])));
    Table_Predogled->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    return;
  }
  const auto& preview = table_->Preview;
  int columns = 0;
  for (const auto& row : preview) columns = std::max(columns, static_cast<int>(row.size()));
  columns = std::min(columns, MaxImportColumns + 1);
  const bool header = table_->HeaderLine > 0 && !preview.empty();
  Table_Predogled->setColumnCount(columns);
  Table_Predogled->setRowCount(static_cast<int>(preview.size()) - (header ? 1 : 0));
  QStringList labels;
  for (int c = 0; c < columns; ++c) {
    const auto cu = static_cast<size_t>(c);
    labels << (header && cu < preview[0].size() && !preview[0][cu].empty()
                   ? Text(preview[0][cu])
                   : QStringLiteral("Stolpec %1").arg(c + 1));
  }
  Table_Predogled->setHorizontalHeaderLabels(labels);
  for (size_t r = header ? 1 : 0; r < preview.size(); ++r)
    for (size_t c = 0; c < preview[r].size() && c < static_cast<size_t>(columns); ++c)
      Table_Predogled->setItem(static_cast<int>(r) - (header ? 1 : 0), static_cast<int>(c),
                               new QTableWidgetItem(Text(preview[r][c])));
  Table_Predogled->resizeColumnsToContents();
}

void ImportDialog::FillColumnChoice() {
  // The core's defaults, or the choice before where its name is found again.
  const std::array<int, 4> defaults = DefaultImportColumns(*table_);
  filling_ = true;
  QComboBox* combos[] = {Combo_MV, Combo_U, Combo_Y1, Combo_Y2};
  for (int i = 0; i < 4; ++i) {
    QComboBox* combo = combos[i];
    const QString before = combo->currentText();
    combo->clear();
    if (i == 3) combo->addItem(QStringLiteral("(brez)"), 0);
    for (size_t c = 0; c < table_->Names.size(); ++c)
      combo->addItem(Text(table_->Names[c]), static_cast<int>(c) + 1);
    int index = combo->findData(defaults[static_cast<size_t>(i)]);
    if (const int kept = combo->findText(before); !before.isEmpty() && kept >= 0) index = kept;
    combo->setCurrentIndex(std::max(index, 0));
  }
  filling_ = false;
}

void ImportDialog::Resample() {
  if (filling_ || !table_) return;
  ResampleOptions o;
  QComboBox* combos[] = {Combo_MV, Combo_U, Combo_Y1, Combo_Y2};
  std::string* roles[] = {&o.Columns.MV, &o.Columns.U, &o.Columns.Y1, &o.Columns.Y2};
  for (int i = 0; i < 4; ++i) {
    const int column = combos[i]->currentData().toInt();
    if (column > 0) *roles[i] = std::to_string(column);
  }
  const bool noY2 = Combo_Y2->currentData().toInt() == 0;
  try {
    o.SampleTime = Typed(Edit_CasVzorcenja).value_or(0);
    o.From = Typed(Edit_Zacetek);
    o.To = Typed(Edit_Konec);
    o.GapLimit = Typed(Edit_MejaVrzeli).value_or(0);
    o.ActuatorMaximum = Typed(Edit_Aktuator_Maksimum);
    o.ActuatorMinimum = Typed(Edit_Aktuator_Minimum);
    o.FullStrokeTime = Typed(Edit_Aktuator_Cas);
    if (o.FullStrokeTime && *o.FullStrokeTime < 0)
      throw std::runtime_error("Čas odziva aktuatorja ne sme biti negativen.");
    DelimitedImport r{*table_, ResampleTable(*table_, o, DecimalSeparator())};
    if (noY2) {
      r.Record.Columns[3] = 0;
      r.Record.Y2.clear();
      r.Record.Names[3].clear();
    }
    r.Record.Texts.Warnings = ImportSummary(r.Table, r.Record);
    const ImportedRecord& rec = r.Record;
    const int n = static_cast<int>(rec.MV.size());
    // The defaults the record used, shown in the empty edits.
    Edit_CasVzorcenja->setPlaceholderText(QStringLiteral("mediana: ") +
                                          ShownGeneral(rec.SampleTime, 10));
    Edit_Zacetek->setPlaceholderText((rec.TotalSamples > MaxSamples
                                          ? QStringLiteral("ob stopnici MV: ")
                                          : QStringLiteral("vse: ")) +
                                     ShownGeneral(rec.From, 10));
    Edit_MejaVrzeli->setPlaceholderText(ShownGeneral(rec.GapLimit, 10));
    // The range the record takes when none is given: one that holds every value of U.
    Edit_Aktuator_Maksimum->setPlaceholderText(Text(rec.Texts.ActuatorMaximum));
    Edit_Aktuator_Minimum->setPlaceholderText(Text(rec.Texts.ActuatorMinimum));
    Edit_Konec->setPlaceholderText(ShownGeneral(rec.From + (n - 1) * rec.SampleTime, 10));
    QStringList lines;
    lines << QStringLiteral("Vrstice s podatki: %1 od %2 vrstic datoteke.")
                 .arg(r.Table.Counts.DataRows)
                 .arg(r.Table.Counts.Lines);
    lines << QStringLiteral("Zapis: %1 vzorcev po %2 s, od %3 s do %4 s od začetka%5.")
                 .arg(n)
                 .arg(ShownGeneral(rec.SampleTime, 10), ShownGeneral(rec.From, 10),
                      ShownGeneral(rec.From + (n - 1) * rec.SampleTime, 10),
                      rec.Texts.Date.empty() && rec.Texts.Time.empty()
                          ? QString()
                          : QStringLiteral(" (%1 %2)")
                                .arg(Text(rec.Texts.Date), Text(rec.Texts.Time))
                                .replace(QStringLiteral("( "), QStringLiteral("(")));
    if (rec.StepFound)
      lines << QStringLiteral("Največja stopnica MV: %1 pri %2 s.")
                   .arg(ShownGeneral(rec.StepSize, 8), ShownGeneral(rec.StepTime, 10));
    for (const std::string& line : ImportSummary(r.Table, r.Record, true)) lines << Text(line);
    lines << QStringLiteral("Pritisk na \"Naloži\" nadomesti sedanji zapis.");
    Text_Stetje->setPlainText(lines.join(QLatin1Char('\n')));
    result_ = std::move(r);
    Button_Nalozi->setEnabled(true);
  } catch (const std::exception& e) {
    ShowError(QStringLiteral("Zapisa ni mogoče sestaviti: ") + Text(e.what()));
  }
}
