#include "app/VorApplication.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "data/NumberFormat.h"
#include "forms/UiServices.h"
#include "opc/OpcClient.h"
#include "opc/OpcMessages.h"

VorApplication::VorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The name only: a display name would be appended by the platform to every window
  // title (" Vor Tuner 1.0.7 — Vor Tuner"), and the titles are given exactly.
  setApplicationName(QStringLiteral("Vor Tuner"));
  setDesktopFileName(QStringLiteral("vortuner"));
  setWindowIcon(QIcon(QStringLiteral(":/vortuner.svg")));
  LoadQtTranslation(*this);
}

namespace {
// Qt 6 takes the texts of the standard buttons (OK, Cancel, Yes, ...) from the context
// "QPlatformTheme", which the Slovenian catalogue does not have yet; it has the same
// texts under "QDialogButtonBox", where earlier Qt versions looked them up.
class StandardButtonTranslator final : public QTranslator {
 public:
  StandardButtonTranslator(const QTranslator& qt, QObject* parent) : QTranslator(parent), qt_(qt) {}
  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override {
    if (qstrcmp(context, "QPlatformTheme") != 0) return {};
    return qt_.translate("QDialogButtonBox", sourceText, disambiguation, n);
  }
  bool isEmpty() const override { return false; }

 private:
  const QTranslator& qt_;
};
}  // namespace

bool VorApplication::LoadQtTranslation(QCoreApplication& app) {
  // The user interface is Slovenian, so are Qt's own dialogs and buttons.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Slovenian), QStringLiteral("qt"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  QCoreApplication::installTranslator(new StandardButtonTranslator(*translator, &app));
  return true;
}

bool VorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const OpcError& e) {
    // The plant connection's own texts are English (the command line prints them).
    Ui().ShowError(QString::fromStdString(OpcWindowText(e.what())));
  } catch (const ConversionError& e) {
    Ui().ShowError(QString::fromStdString(e.Slovenian()));
  } catch (const std::exception& e) {
    Ui().ShowError(QString::fromStdString(ConversionError::InSlovenian(e.what())));
  } catch (...) {
    Ui().ShowError(QStringLiteral("Neznana napaka."));
  }
  return false;
}
