#include "support/FakeUiServices.h"

FakeUiServices::FakeUiServices() { SetUiServices(this); }
FakeUiServices::~FakeUiServices() { SetUiServices(nullptr); }

bool FakeUiServices::Answer(FileDialog& dialog) {
  ShownDialogs.push_back(dialog);
  if (answers_.empty()) return false;
  const auto [path, filterIndex] = answers_.front();
  answers_.pop_front();
  if (path.isEmpty()) return false;
  dialog.FileName = path;
  if (filterIndex >= 0) dialog.FilterIndex = filterIndex;
  return true;
}

bool FakeUiServices::ExecuteOpenDialog(QWidget*, FileDialog& dialog) { return Answer(dialog); }
bool FakeUiServices::ExecuteSaveDialog(QWidget*, FileDialog& dialog) { return Answer(dialog); }
