// The "O programu" tab: a picture over the whole tab, the version and its date.
#pragma once

#include <QWidget>

class QLabel;

class AboutPage : public QWidget {
  Q_OBJECT
 public:
  explicit AboutPage(QWidget* parent = nullptr);
  void SetVersionText(const QString& text);

  QLabel* Image_About = nullptr;
  QLabel* Label_Version = nullptr;
  QLabel* Label_Date = nullptr;
};
