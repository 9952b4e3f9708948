#include "forms/UiServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include "forms/JobRunner.h"

namespace {
UiServices* current = nullptr;
int openDialogs = 0;

bool Execute(QWidget* parent, FileDialog& d, QFileDialog::AcceptMode mode) {
  const OpenDialogScope open;
  QFileDialog dialog(parent, d.Title);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  const QStringList filters = QtFilterFromProgramFilter(d.Filter).split(";;");
  dialog.setNameFilters(filters);
  if (d.FilterIndex >= 0 && d.FilterIndex < filters.size())
    dialog.selectNameFilter(filters[d.FilterIndex]);
  dialog.setDefaultSuffix(d.DefaultExtension);
  dialog.setDirectory(d.InitialDir.isEmpty() ? UserFilesFolder() : d.InitialDir);
  if (!d.FileName.isEmpty()) dialog.selectFile(d.FileName);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !d.OverwritePrompt);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  d.FileName = QDir::toNativeSeparators(dialog.selectedFiles().first());
  const int chosen = filters.indexOf(dialog.selectedNameFilter());
  if (chosen >= 0) d.FilterIndex = chosen;
  return true;
}
}  // namespace

QString UserFilesFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

QString QtFilterFromProgramFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    // Qt reads the patterns from the parentheses, so they are rebuilt from the pattern part.
    QString description = parts[i];
    const int paren = description.indexOf('(');
    if (paren >= 0) description = description.left(paren).trimmed();
    QStringList patterns;
    for (QString p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      p = p.trimmed();
      patterns << (p == "*.*" ? QStringLiteral("*") : p);
    }
    out << QStringLiteral("%1 (%2)").arg(description, patterns.join(' '));
  }
  return out.join(";;");
}

OpenDialogScope::OpenDialogScope() { ++openDialogs; }
OpenDialogScope::~OpenDialogScope() { --openDialogs; }

bool ProgramDialogOpen() { return openDialogs > 0 || QApplication::activeModalWidget() != nullptr; }

UiServices& Ui() {
  static QtUiServices real;
  return current ? *current : real;
}

void SetUiServices(UiServices* services) { current = services; }

void QtUiServices::ShowMessage(const QString& text) {
  // While plant work is under way no box opens a loop of its own: it is told as a notice.
  if (Jobs().PlantBusy()) return ShowNotice(text);
  const OpenDialogScope open;
  QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
}

void QtUiServices::ShowError(const QString& text) {
  if (Jobs().PlantBusy()) return ShowNotice(text);
  const OpenDialogScope open;
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}

bool QtUiServices::AskYesNo(const QString& text) {
  const OpenDialogScope open;
  return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool QtUiServices::AskYesNoDefaultNo(const QString& text) {
  const OpenDialogScope open;
  return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

int QtUiServices::AskChoice(const QString& text, const QStringList& choices, int defaultChoice) {
  const OpenDialogScope open;
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                  QMessageBox::NoButton, QApplication::activeWindow());
  QList<QAbstractButton*> buttons;
  for (const QString& choice : choices) buttons << box.addButton(choice, QMessageBox::AcceptRole);
  if (defaultChoice >= 0 && defaultChoice < buttons.size()) {
    box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultChoice]));
    box.setEscapeButton(buttons[defaultChoice]);
  }
  box.exec();
  const int chosen = static_cast<int>(buttons.indexOf(box.clickedButton()));
  return chosen < 0 ? defaultChoice : chosen;
}

namespace {

// The question about a server's certificate; its buttons in the order of the answers.
QMessageBox* TrustBox(const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), text,
                              QMessageBox::NoButton, QApplication::activeWindow());
  box->setObjectName(QStringLiteral("ZaupanjeStreznikuDialog"));
  box->addButton(QStringLiteral("Zaupaj trajno"), QMessageBox::AcceptRole);
  box->addButton(QStringLiteral("Samo tokrat"), QMessageBox::AcceptRole);
  QPushButton* reject = box->addButton(QStringLiteral("Zavrni"), QMessageBox::RejectRole);
  box->setDefaultButton(reject);
  box->setEscapeButton(reject);
  return box;
}

int TrustAnswer(QMessageBox& box) {
  const int index = static_cast<int>(box.buttons().indexOf(box.clickedButton()));
  return index == 0 || index == 1 ? index : 2;
}

// The login dialog; its edits are found by name.
QDialog* LoginDialog(const QString& text, const QString& user) {
  auto* dialog = new QDialog(QApplication::activeWindow());
  dialog->setObjectName(QStringLiteral("PrijavaDialog"));
  dialog->setWindowTitle(QStringLiteral("Prijava na strežnik"));
  auto* form = new QFormLayout(dialog);
  form->addRow(new QLabel(text));
  auto* userEdit = new QLineEdit(user);
  userEdit->setObjectName(QStringLiteral("UporabnikEdit"));
  auto* passwordEdit = new QLineEdit;
  passwordEdit->setObjectName(QStringLiteral("GesloEdit"));
  passwordEdit->setEchoMode(QLineEdit::Password);
  form->addRow(QString::fromUtf8("Uporabniško ime:"), userEdit);
  form->addRow(QStringLiteral("Geslo:"), passwordEdit);
  auto* buttons = new QDialogButtonBox;
  buttons->addButton(QStringLiteral("Prijava"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8("Prekliči"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  form->addRow(buttons);
  (user.isEmpty() ? userEdit : passwordEdit)->setFocus();
  return dialog;
}

QString EditText(const QDialog& dialog, const char* name) {
  const auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
  return edit ? edit->text() : QString();
}

}  // namespace

void QtUiServices::AskTrustCertificateLater(const QString& text,
                                            std::function<void(int)> answered) {
  // Window-modal, shown and left: the window's thread goes on, the answer comes back.
  QMessageBox* box = TrustBox(text);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QDialog::finished, box,
                   [box, answered = std::move(answered)] { answered(TrustAnswer(*box)); });
  box->open();
}

void QtUiServices::AskLoginLater(const QString& text, const QString& user,
                                 std::function<void(bool, QString, QString)> answered) {
  QDialog* dialog = LoginDialog(text, user);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(dialog, &QDialog::finished, dialog,
                   [dialog, answered = std::move(answered)](int result) {
                     answered(result == QDialog::Accepted, EditText(*dialog, "UporabnikEdit"),
                              EditText(*dialog, "GesloEdit"));
                   });
  dialog->open();
}

void QtUiServices::ShowNotice(const QString& text) {
  // One box per text while it stands: the same event told twice is told once.
  static QList<QPointer<QMessageBox>> standing;
  standing.removeAll(nullptr);
  for (const QPointer<QMessageBox>& box : standing)
    if (box->text() == text) {
      box->raise();
      return;
    }
  auto* box =
      new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), text, QMessageBox::Ok);
  box->setObjectName(QStringLiteral("Obvestilo"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  standing << box;
  box->show();
}

bool QtUiServices::ExecuteOpenDialog(QWidget* parent, FileDialog& dialog) {
  return Execute(parent, dialog, QFileDialog::AcceptOpen);
}

bool QtUiServices::ExecuteSaveDialog(QWidget* parent, FileDialog& dialog) {
  return Execute(parent, dialog, QFileDialog::AcceptSave);
}

bool QtUiServices::OpenDocument(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
