// UI services for widget tests: records every box shown and answers file dialogs from
// a script, so no test ever blocks on a modal window.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <utility>
#include <functional>

#include "forms/UiServices.h"

class FakeUiServices final : public UiServices {
 public:
  FakeUiServices();
  ~FakeUiServices() override;  // restores the real services

  void ShowMessage(const QString& text) override {
    const OpenDialogScope open;
    Messages << text;
    if (WhileOpen) WhileOpen();
  }
  // A notice holds nothing: it is only recorded.
  void ShowNotice(const QString& text) override { Notices << text; }
  void ShowError(const QString& text) override {
    Errors << text;
    if (WhileErrorShown) WhileErrorShown();
  }
  bool AskYesNo(const QString& text) override {
    Questions << text;
    return YesNoAnswer;
  }
  // Records the question and its answers; answers ChoiceAnswer, or the default while it
  // is negative.
  int AskChoice(const QString& text, const QStringList& choices, int defaultChoice) override {
    Questions << text;
    Choices << choices;
    return ChoiceAnswer < 0 ? defaultChoice : ChoiceAnswer;
  }
  bool ExecuteOpenDialog(QWidget* parent, FileDialog& dialog) override;
  bool ExecuteSaveDialog(QWidget* parent, FileDialog& dialog) override;
  bool OpenDocument(const QString& path) override {
    OpenedDocuments << path;
    return OpensDocuments;
  }
  int AskTrustCertificate(const QString& text) override {
    TrustQuestions << text;
    return TrustAnswer;
  }
  bool AskLogin(const QString& text, QString& user, QString& password) override {
    LoginQuestions << text;
    if (LoginUser.isEmpty()) return false;
    user = LoginUser;
    password = LoginPassword;
    return true;
  }

  // The next dialog returns this path (confirmed); an empty path cancels it. A filter
  // index of 0 or more is the filter the user chose.
  void QueueFileAnswer(const QString& path, int filterIndex = -1) {
    answers_.push_back({path, filterIndex});
  }

  QStringList Messages;
  QStringList Notices;
  QStringList Errors;
  QStringList Questions;
  QStringList OpenedDocuments;
  bool YesNoAnswer = true;
  bool OpensDocuments = true;  // whether a viewer opens a document
  int ChoiceAnswer = -1;
  QList<QStringList> Choices;
  // Runs while a file dialog or a message box stands open (as the event loop of a real
  // one would run timers meanwhile).
  std::function<void()> WhileOpen;
  // Runs while an error box stands (as a real box's own event loop would).
  std::function<void()> WhileErrorShown;
  QStringList TrustQuestions, LoginQuestions;
  int TrustAnswer = 2;               // "Zavrni"
  QString LoginUser, LoginPassword;  // an empty user cancels the login
  // Copies of the dialogs as they were shown.
  std::deque<FileDialog> ShownDialogs;

 private:
  bool Answer(FileDialog& dialog);
  std::deque<std::pair<QString, int>> answers_;
};
