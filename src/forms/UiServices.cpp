#include "forms/UiServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

namespace {
UiServices* current = nullptr;

bool Execute(QWidget* parent, FileDialog& d, QFileDialog::AcceptMode mode) {
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

UiServices& Ui() {
  static QtUiServices real;
  return current ? *current : real;
}

void SetUiServices(UiServices* services) { current = services; }

void QtUiServices::ShowMessage(const QString& text) {
  QMessageBox::information(QApplication::activeWindow(), QApplication::applicationName(), text);
}

void QtUiServices::ShowError(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}

bool QtUiServices::AskYesNo(const QString& text) {
  return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
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
