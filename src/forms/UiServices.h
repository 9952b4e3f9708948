// Message boxes and file dialogs go through this one interface, so that tests replace
// it: no test blocks on a modal box and every test can read the exact message shown.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The state of one of the program's file dialogs, kept between uses like a dialog
// component of a form: its filter in the program's "description|patterns|..." form,
// the selected filter, the default extension, the initial folder and the file name
// (the proposal before showing, the chosen full path after a confirmation).
struct FileDialog {
  QString Title;
  QString Filter;
  int FilterIndex = 0;  // the filter shown first; after a confirmed dialog, the one chosen
  QString DefaultExtension;
  QString InitialDir;
  QString FileName;
  bool OverwritePrompt = false;
};

// Where the user keeps files: the documents folder when there is one, else the home
// folder. The file dialogs start there, never in the folder the program was started from
// (which may be the program's own source checkout).
QString UserFilesFolder();

// "Measured Data (*.vtd)|*.vtd|All files|*.*" -> "Measured Data (*.vtd);;All files (*)".
QString QtFilterFromProgramFilter(const QString& filter);

class UiServices {
 public:
  virtual ~UiServices() = default;
  // An information box with an OK button.
  virtual void ShowMessage(const QString& text) = 0;
  // The standard error box; every error that escapes a handler ends here.
  virtual void ShowError(const QString& text) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool AskYesNo(const QString& text) = 0;
  // The same where "Da" leads to a write the engineer should think twice about: "Ne" is
  // the default button, so Enter (or closing the box) answers No.
  virtual bool AskYesNoDefaultNo(const QString& text) { return AskYesNo(text); }
  // A question with its own answers (button texts, in order); returns the index of the
  // answer chosen. Closing the box without a choice answers `defaultChoice`.
  virtual int AskChoice(const QString& text, const QStringList& choices, int defaultChoice) = 0;
  // Show an open or save dialog; true when the user confirmed, and then
  // dialog.FileName holds the chosen full path.
  virtual bool ExecuteOpenDialog(QWidget* parent, FileDialog& dialog) = 0;
  virtual bool ExecuteSaveDialog(QWidget* parent, FileDialog& dialog) = 0;
  // Opens a document in the desktop's default application for its type, where there is
  // one; false when none opened it.
  virtual bool OpenDocument(const QString& path) = 0;
  // The question about a server's unknown certificate, with the buttons "Zaupaj trajno"
  // (0), "Samo tokrat" (1) and "Zavrni" (2); the answer's number.
  virtual int AskTrustCertificate(const QString& text) {
    (void)text;
    return 2;
  }
  // The login question: a user name (shown as given) and a password; false when cancelled.
  virtual bool AskLogin(const QString& text, QString& user, QString& password) {
    (void)text, (void)user, (void)password;
    return false;
  }

  // What the plant did (a link lost, a write refused, the simulation taking over): told
  // without holding anything, as a box that does not stop the program and of which one
  // stands per text. A test's services record it as a message.
  virtual void ShowNotice(const QString& text) { ShowMessage(text); }
  // The two questions of a connect, asked without a nested event loop: the answer comes
  // to `answered` on the window's thread once the engineer has given it. By default the
  // question above is asked and answered at once (a test's services).
  virtual void AskTrustCertificateLater(const QString& text, std::function<void(int)> answered) {
    answered(AskTrustCertificate(text));
  }
  virtual void AskLoginLater(
      const QString& text, const QString& user,
      std::function<void(bool given, QString user, QString password)> answered) {
    QString u = user, p;
    const bool given = AskLogin(text, u, p);
    answered(given, u, p);
  }
};

// While one of these lives, one of the program's boxes or file dialogs stands open. The
// services hold one around every box and dialog they show, so the scheduler can leave
// the engineer's work alone (a test's services do the same).
class OpenDialogScope {
 public:
  OpenDialogScope();
  ~OpenDialogScope();
  OpenDialogScope(const OpenDialogScope&) = delete;
  OpenDialogScope& operator=(const OpenDialogScope&) = delete;
};
// A box, a file dialog or another modal window of the program is open.
bool ProgramDialogOpen();

// The services in use: the real boxes and dialogs unless a test installed its own.
UiServices& Ui();
void SetUiServices(UiServices* services);  // nullptr restores the real ones

class QtUiServices final : public UiServices {
 public:
  void ShowMessage(const QString& text) override;
  void ShowError(const QString& text) override;
  bool AskYesNo(const QString& text) override;
  bool AskYesNoDefaultNo(const QString& text) override;
  int AskChoice(const QString& text, const QStringList& choices, int defaultChoice) override;
  bool ExecuteOpenDialog(QWidget* parent, FileDialog& dialog) override;
  bool ExecuteSaveDialog(QWidget* parent, FileDialog& dialog) override;
  bool OpenDocument(const QString& path) override;
  void ShowNotice(const QString& text) override;
  void AskTrustCertificateLater(const QString& text, std::function<void(int)> answered) override;
  void AskLoginLater(const QString& text, const QString& user,
                     std::function<void(bool, QString, QString)> answered) override;
};
