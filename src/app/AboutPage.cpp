#include "app/AboutPage.h"

#include <QLabel>
#include <QPixmap>

static void InitResources() { Q_INIT_RESOURCE(resources); }  // resources of the static gui library

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
  InitResources();
  setObjectName(QStringLiteral("TabSheet_About"));
  Image_About = new QLabel(this);
  Image_About->setObjectName(QStringLiteral("Image_About"));
  Image_About->setGeometry(0, 0, 891, 532);
  Image_About->setScaledContents(true);
  Image_About->setPixmap(QPixmap(QStringLiteral(":/about.jpg")));

  QFont font(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
  Label_Version = new QLabel(QStringLiteral("Verzija:"), this);
  Label_Version->setObjectName(QStringLiteral("Label_Version"));
  Label_Version->setFont(font);
  Label_Version->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  Label_Version->setGeometry(40, 440, 400, 30);
  Label_Date = new QLabel(QStringLiteral("23. november 2004"), this);
  Label_Date->setObjectName(QStringLiteral("Label_Date"));
  font.setPointSize(11);
  font.setBold(false);
  Label_Date->setFont(font);
  Label_Date->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  Label_Date->setGeometry(40, 472, 400, 24);
}

void AboutPage::SetVersionText(const QString& text) { Label_Version->setText(text); }
