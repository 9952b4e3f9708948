// vortuner-cli report: the report of the "Poročilo" tab from a data file, without a
// window: the model identified from the data (or read from a model file), the
// controllers tuned with a controller file's settings (or the tab's defaults), the
// charts drawn offscreen and the texts filled as the tabs show them.
#include <QApplication>
#include <QLocale>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/DataWindow.h"
#include "data/NumberFormat.h"
#include "data/ProgramCaption.h"
#include "data/TextFile.h"
#include "model/IdentifyModel.h"
#include "model/TModel.h"
#include "report/ReportImages.h"
#include "report/ReportTexts.h"
#include "report/TPorocilo.h"
#include "report/ui/ChartReportImages.h"
#include "report/ui/PdfReportWriter.h"
#include "tuning/Recomputation.h"
#include "tuning/TRegulator.h"

namespace {

// The toolkit's own messages (the runtime folder, the offscreen platform's hints) are no
// concern of someone writing a report: only its errors reach standard error.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::cerr << "vortuner-cli report: " << message.toStdString() << "\n";
}

const char* const ReportUsage =
    "Usage: vortuner-cli report DATA [OPTIONS] --out REPORT\n"
    "  DATA              a measured data file (.vtd), a data logger's file (.txt, .dat) or a\n"
    "                    historian's delimited export (.csv, .txt)\n"
    "  --out REPORT      the report: REPORT.docx, or REPORT.pdf for a PDF (a name without\n"
    "                    an extension gets .docx, .doc becomes .docx)\n"
    "  --vtm MODEL       take the models from a model file instead of identifying them\n"
    "  --vtc CONTROLLER  tune with a controller file's settings (method, slider, response,\n"
    "                    sampling time, form, type, scaling, cascade); its models are not\n"
    "                    used. Default: the tab's defaults and the data's sample time\n"
    "  --start S --end E the analysis window (default: the file's own)\n"
    "  --sections LIST   obdelava,model,regulator (default: all; \"\" for none)\n"
    "  --template T      a .dotx or .docx whose styles, page setup, headers and footers\n"
    "                    the report takes (default: normal.dot, the built-in look)\n"
    "  --columns MV,U,Y1,Y2  the data's columns of the four signals (default 1,3,5,6;\n"
    "                    MV,U,Y1 or MV,Y1 for fewer signals)\n"
    "  --actuator MAX,MIN,T  the actuator's maximum, minimum and full-stroke time [s]\n"
    "                    instead of the file's (T 0: no rate limit; an export has none)\n"
    "%IMPORT%"
    "The texts are those the tabs would show, with a decimal comma; the charts are drawn\n"
    "offscreen (no display needed) and their image files are deleted afterwards.\n"
    "The report's first page names the warnings (a simulated record, drift before the\n"
    "step, no step of MV, a poor model, a zero time constant, too slow a sampling, an\n"
    "unstable or fragile proposal); each is also written to standard error.\n"
    "Prints the report's path. Errors go to standard error with exit code 1 (2 for a\n"
    "wrong command line).\n";

std::string Usage() {
  std::string text = ReportUsage;
  text.replace(text.find("%IMPORT%"), 8, ImportOptionsUsage);
  return text;
}

struct ReportOptions {
  std::string File, Out, ModelFile, ControllerFile, Template = "normal.dot";
  ImportRequest Import;
  SignalColumns Columns;
  std::optional<int> Start, End;
  std::vector<double> Actuator;  // maximum, minimum, full-stroke time; empty: the file's
  bool Obdelava = true, Model = true, Regulator = true;
  bool Help = false;
};

void ParseSections(const std::string& list, ReportOptions& o) {
  o.Obdelava = o.Model = o.Regulator = false;
  std::stringstream in(list);
  std::string name;
  while (std::getline(in, name, ',')) {
    if (name == "obdelava")
      o.Obdelava = true;
    else if (name == "model")
      o.Model = true;
    else if (name == "regulator")
      o.Regulator = true;
    else if (!name.empty())
      throw UsageError("unknown section '" + name + "'");
  }
}

ReportOptions ParseOptions(const std::vector<std::string>& args) {
  ReportOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
      continue;
    }
    if (a == "--decimal-comma") {
      o.Import.Format.DecimalMark = ',';
      if (o.Import.Given.empty()) o.Import.Given = a;
      continue;
    }
    if (ParseImportOption(args, i, o.Import)) continue;
    if (a.rfind("--", 0) == 0) {
      if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
      const std::string& v = args[++i];
      if (a == "--out")
        o.Out = v;
      else if (a == "--vtm")
        o.ModelFile = v;
      else if (a == "--vtc")
        o.ControllerFile = v;
      else if (a == "--template")
        o.Template = v;
      else if (a == "--actuator")
        o.Actuator = ParseActuator(v);
      else if (a == "--start")
        o.Start = ParseInt(v);
      else if (a == "--end")
        o.End = ParseInt(v);
      else if (a == "--sections")
        ParseSections(v, o);
      else
        throw UsageError("unknown option '" + a + "'");
    } else if (o.File.empty()) {
      o.File = a;
    } else {
      throw UsageError("unexpected argument '" + a + "'");
    }
  }
  if (o.Help) return o;
  if (o.File.empty()) throw UsageError("the data file is missing");
  if (const auto numbered = NumberedColumns(o.Import)) o.Columns = *numbered;
  if (o.Out.empty()) throw UsageError("the report's name is missing (--out REPORT)");
  return o;
}

// The tab's controls at start-up, with the data's sample time as "Izračun PID
// parametrov" writes it.
ControllerSettings DefaultSettings(double sampleTime, char separator) {
  ControllerSettings s;
  s.SamplingTimeText = FormatGeneral(sampleTime, 12, separator);
  s.Method = 0;
  s.Slider = 10;
  s.ResponseKind = 0;
  s.Form = 0;
  s.Type = 2;
  s.ScaleP = s.ScaleI = s.ScaleD = "1";
  return s;
}

}  // namespace

int RunReport(const std::vector<std::string>& args) {
  ReportOptions o;
  try {
    o = ParseOptions(args);
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli report: " << e.what() << "\n" << Usage();
    return 2;
  }
  if (o.Help) {
    std::cout << Usage();
    return 0;
  }

  // Files are read with a decimal point (and the readers take either); the document is
  // Slovenian text, its numbers have a decimal comma.
  constexpr char Point = '.';
  constexpr char Comma = ',';
  ReportInputs in;
  in.ReportPath = ReportPathFor(o.Out);
  in.Template = o.Template;
  LoadReportTemplate(in.Template);  // a template that cannot be used: nothing written

  const ConditionedData data =
      ReadConditionedData(o.File, o.Start, o.End, "report", o.Columns, o.Actuator, o.Import);
  MeasurementStore& store = *data.Store;
  if (!o.ModelFile.empty())
    TModel::LoadModelFile(o.ModelFile, store, Point);
  else
    IdentifyModel(store, data.Start, data.End);
  ControllerSettings settings = o.ControllerFile.empty()
                                    ? DefaultSettings(store.SampleTime, Point)
                                    : TRegulator::LoadControllerSettings(o.ControllerFile, Point);
  // The tab's default rule is for self-regulating processes: an integrating one gets SIMC.
  if (o.ControllerFile.empty())
    settings.Method = MethodForKind(store, settings.Method, settings.Cascade);

  ApplyTuning(store, settings.Method, settings.Slider, settings.Cascade);
  PanelInput panelIn;
  panelIn.Form = settings.Form;
  panelIn.Type = settings.Type;
  panelIn.Cascade = settings.Cascade;
  const UsedScales used = ScalesUsedBy(settings.Type);
  panelIn.ScaleP = used.P ? ParseFloat(settings.ScaleP, Point) : 1;
  panelIn.ScaleI = used.I ? ParseFloat(settings.ScaleI, Point) : 1;
  panelIn.ScaleD = used.D ? ParseFloat(settings.ScaleD, Point) : 1;
  const double h = ResolveSampleTime(settings.SamplingTimeText, Point, store.ClosedLoopSampleTime);
  const SimulationOutcome sim =
      SimulateResponses(store, h, settings.ResponseKind, settings.Cascade);
  if (!sim.Curves) std::cerr << "vortuner-cli report: warning: " << sim.Reason << "\n";

  in.TitleLine = MainCaption;
  const std::string fileName = std::filesystem::path(o.File).filename().string();
  in.AboutLines = RecordAboutLines("", fileName, data.Texts.Date, data.Texts.Time);
  in.SectionObdelava = o.Obdelava;
  in.SectionModel = o.Model;
  in.SectionRegulator = o.Regulator;
  // No plant: the descriptions are the data file's column names of the four signals.
  const int columns[] = {data.Columns.MV, data.Columns.U, data.Columns.Y1, data.Columns.Y2};
  const int rows[] = {0, 2, 4, 5};
  for (int i = 0; i < 4; ++i)
    in.OpcDescriptions[static_cast<size_t>(rows[i])] =
        store.ColumnNames[static_cast<size_t>(columns[i])];
  in.Statistics = ShownStatistics(store, data.Start, data.End, Comma);
  SetModelTexts(in, ShownModelTexts(store, false, 5, Comma));
  const ControllerPanel panel = ComputeControllerPanel(store.Tuning, panelIn, Comma);
  const TuningSummary summary = SummaryTexts(store, settings.Cascade, Comma);
  SetControllerTexts(in, summary, panel);
  SetTuningTexts(in, settings.Method, settings.ResponseKind, settings.Cascade, store,
                 summary.KpCascade, Comma);
  const RobustnessSet robustness =
      ComputeRobustness(SampledProcessOfStore(store, h, settings.Cascade),
                        ProposedLoopControllers(store.Tuning, settings.Cascade), panel.Controller);
  SetRobustnessTexts(in, robustness, Comma);
  // The box on the first page; the same warnings on standard error.
  const std::vector<Warning> warnings =
      ReportWarnings(store, data.Start, data.End, in.SectionModel, in.SectionRegulator,
                     settings.Cascade, &robustness, Comma);
  SetWarningTexts(in, warnings);
  for (const Warning& w : warnings) std::cerr << "vortuner-cli report: warning: " << w.Text << "\n";

  int argc = 1;
  char name[] = "vortuner-cli";
  char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed
  qInstallMessageHandler(QuietQtMessages);
  QApplication app(argc, argv);
  // The charts' numbers with the document's decimal comma.
  QLocale::setDefault(QLocale(QLocale::Slovenian, QLocale::Slovenia));
  OffscreenReportImages images;
  ReportImageRequest request;
  request.Start = data.Start;
  request.End = data.End;
  request.Curves = sim.Curves ? &*sim.Curves : nullptr;
  const PdfReportWriter pdf;
  TPorocilo(&pdf).CreateReport(in, images, store, request);
  std::cout << in.ReportPath << "\n";
  return 0;
}
