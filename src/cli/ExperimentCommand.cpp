// vortuner-cli experiment: an automatic experiment from its settings file, without a
// window (a plant's engineering station or a server runs it from a timer). One JSON
// object a line for each event, the outcome last.
#include <signal.h>
#include <time.h>

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/UaOptions.h"
#include "data/Clock.h"
#include "data/ProgramCaption.h"
#include "data/TextFile.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/UnattendedExperiment.h"
#include "forms/FormHelpers.h"
#include "opc/LocalOpcClient.h"
#include "opc/PlantWriteLog.h"
#include "opc/UaOpcClient.h"
#include "report/ui/ChartReportImages.h"

namespace {

const char* const ExperimentUsageHead =
    "Usage: vortuner-cli experiment SETTINGS.vtx [OPTION...]\n"
    "Runs the automatic experiment of a settings file without a window, at the file's start\n"
    "time (the next such time of day) or at once, and writes its files beside it: L.vtd,\n"
    "L.vtm, L.vtc, L.docx and L-opozorila.txt (L the settings file's name).\n"
    "  --now                    start at once\n"
    "  --server URL             the plant's server instead of the file's (opc.tcp://host:port)\n";
const char* const ExperimentUsageTail =
    "  --y1-limits LO,HI        the safety envelope's limits of Y1 (either may be left\n"
    "  --y2-limits LO,HI        empty: \"LO,\" or \",HI\"), and of Y2, with a decimal point\n"
    "  --max-duration S         the longest run time, s (these three replace the file's)\n"
    "  --reconnect-time S       how long a link lost during the run is made again before the\n"
    "                           run gives the plant up, s (0 to 86400; the file's, else 30)\n"
    "  --simulate               run on the built-in simulated process: nothing is written\n"
    "Prints one JSON object a line: {\"event\": \"phase\" | \"step\" | \"trip\" | \"link lost\" |\n"
    "\"late\" | \"forecast\" | \"early end\" | \"period too short\" | \"file\", ...}, and last\n"
    "the outcome {\"outcome\": \"processed\" | \"stopped\", ...}.\n"
    "Ctrl-C or SIGTERM ends the run as \"Konec eksperimenta\" does, the record saved and\n"
    "marked; MV goes back to its value at the start and the controller to its earlier mode\n"
    "(read back), as after a trip.\n"
    "Exit code 0 processed, 3 stopped by the safety envelope or by the engineer, 1 the plant\n"
    "could not be reached or the link was lost (the record saved and marked), 2 a wrong\n"
    "command line or settings file.\n";

std::atomic<bool> stopRequested{false};

void OnStop(int) { stopRequested = true; }

void CatchStops() {
  struct sigaction a {};
  a.sa_handler = OnStop;
  a.sa_flags = SA_RESETHAND;  // a second signal ends the program at once
  sigemptyset(&a.sa_mask);
  sigaction(SIGINT, &a, nullptr);
  sigaction(SIGTERM, &a, nullptr);
}

void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::cerr << "vortuner-cli experiment: " << message.toStdString() << "\n";
}

// "LO,HI" with either side empty; a decimal point.
void ParseLimits(const std::string& option, const std::string& text, std::optional<double>& low,
                 std::optional<double>& high) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos)
    throw UsageError(option + " needs LO,HI (either may be empty)");
  const auto side = [&](const std::string& s) -> std::optional<double> {
    if (s.empty()) return std::nullopt;
    const std::optional<double> v = TryParseFloat(s, '.');
    if (!v || !std::isfinite(*v)) throw UsageError("'" + s + "' is not a number (" + option + ")");
    return v;
  };
  low = side(text.substr(0, comma));
  high = side(text.substr(comma + 1));
  if (low && high && *low > *high) throw UsageError(option + ": LO is above HI");
}

void PrintLine(const std::string& json) { std::cout << json << std::endl; }

// Times and values of the record with ten significant digits: 0.5, not 0.50000000000000011.
std::string Figure(double v) { return std::isfinite(v) ? FormatGeneral(v, 10, '.') : "null"; }

std::string EventLine(const UnattendedEvent& e) {
  std::string line = "{\"event\": " + JsonString(e.Kind);
  if (e.Kind == "phase") line += ", \"phase\": " + JsonString(e.Text);
  if (e.Kind == "step")
    line += ", \"step\": " + std::to_string(e.Number) + ", \"time\": " + Figure(e.Time) +
            ", \"mv\": " + Figure(e.Value);
  if (e.Kind == "trip")
    line += ", \"reason\": " + JsonString(e.Text) + ", \"time\": " + Figure(e.Time);
  if (e.Kind == "link lost")
    line += ", \"sample\": " + std::to_string(e.Number) + ", \"time\": " + Figure(e.Time);
  if (e.Kind == "late")
    line += ", \"sample\": " + std::to_string(e.Number) + ", \"time\": " + Figure(e.Time) +
            ", \"held\": " + (e.Text == "held" ? "true" : "false");
  if (e.Kind == "file") line += ", \"path\": " + JsonString(e.Text);
  if (e.Kind == "forecast")
    line += ", \"step\": " + std::to_string(e.Number) + ", \"time\": " + Figure(e.Time) +
            ", \"in\": " + Figure(e.Value) + ", \"text\": " + JsonString(e.Text);
  if (e.Kind == "early end")
    line += ", \"step\": " + std::to_string(e.Number) + ", \"time\": " + Figure(e.Time) +
            ", \"lasted\": " + Figure(e.Value) + ", \"text\": " + JsonString(e.Text);
  if (e.Kind == "period too short") line += ", \"text\": " + JsonString(e.Text);
  return line + "}";
}

std::string FilesJson(const std::vector<std::string>& files) {
  std::string out = "[";
  for (std::size_t i = 0; i < files.size(); ++i) out += (i ? ", " : "") + JsonString(files[i]);
  return out + "]";
}

// The outcome, one line.
std::string OutcomeLine(const UnattendedOutcome& o) {
  const RunFindings& f = o.Findings;
  std::string line =
      std::string("{\"outcome\": ") +
      (o.End == UnattendedEnd::Processed ? "\"processed\"" : "\"stopped\"") +
      ", \"reason\": " + (o.Reason.empty() ? "null" : JsonString(o.Reason)) +
      ", \"files\": " + FilesJson(o.Files) + ", \"samples\": " + std::to_string(o.Samples) +
      ", \"heldSamples\": " + std::to_string(f.HeldSamples) +
      ", \"lateSamples\": " + std::to_string(f.LateSamples) + ", \"simulatedFrom\": ";
  if (f.FirstSimulatedSample > 0)
    line += "{\"sample\": " + std::to_string(f.FirstSimulatedSample) +
            ", \"time\": " + Figure(f.FirstSimulatedTime) + "}";
  else
    line += "null";
  line += ", \"started\": " + (o.StartTime.empty() ? std::string("null") : JsonString(o.StartTime));
  line += ", \"waited\": " + Figure(o.Waited);
  return line + "}";
}

int ExitCode(UnattendedEnd end) {
  switch (end) {
    case UnattendedEnd::Processed:
      return 0;
    case UnattendedEnd::Stopped:
      return 3;
    case UnattendedEnd::PlantFailed:
    case UnattendedEnd::ChainFailed:
      break;
  }
  return 1;
}

// Milliseconds from now to the next local time of day "H:MM:SS" (today if it is still to
// come, else tomorrow), as the scheduler starts an entry.
std::int64_t MsUntilNext(const std::string& timeOfDay) {
  const QTime at =
      QTime::fromString(QString::fromStdString(timeOfDay).trimmed(), QStringLiteral("H:mm:ss"));
  if (!at.isValid())
    throw UsageError("the start time '" + timeOfDay + "' of the file is not a time (use --now)");
  const QDateTime now = QDateTime::currentDateTime();
  QDateTime next(now.date(), at);
  if (next <= now) next = next.addDays(1);
  return now.msecsTo(next);
}

}  // namespace

int RunExperiment(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << ExperimentUsageHead << UaOptionsHelp << ExperimentUsageTail;
      return 0;
    }
  std::string settingsPath, server;
  std::optional<double> reconnectTime;
  bool now = false, simulate = false;
  UaCommandOptions ua;
  SafetyEnvelope envelope;
  UnattendedJob job;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (TakeUaOption(args, i, ua)) continue;
      if (a == "--now") {
        now = true;
      } else if (a == "--simulate") {
        simulate = true;
      } else if (a == "--server" || a == "--y1-limits" || a == "--y2-limits" ||
                 a == "--max-duration" || a == "--reconnect-time") {
        if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
        const std::string& v = args[++i];
        if (a == "--server") {
          server = v;
        } else if (a == "--y1-limits") {
          ParseLimits(a, v, envelope.Y1Min, envelope.Y1Max);
        } else if (a == "--y2-limits") {
          ParseLimits(a, v, envelope.Y2Min, envelope.Y2Max);
        } else if (a == "--reconnect-time") {
          reconnectTime = TryParseFloat(v, '.');
          if (!reconnectTime || !(*reconnectTime >= 0 && *reconnectTime <= 86'400))
            throw UsageError("--reconnect-time needs a number of seconds from 0 to 86400");
        } else {
          const std::optional<double> s = TryParseFloat(v, '.');
          if (!s || !(*s > 0) || !std::isfinite(*s))
            throw UsageError("--max-duration needs a number of seconds above 0");
          envelope.MaxDuration = s;
        }
      } else if (a.rfind("--", 0) == 0) {
        throw UsageError("unknown option '" + a + "'");
      } else if (settingsPath.empty()) {
        settingsPath = a;
      } else {
        throw UsageError("one settings file, not '" + a + "' as well");
      }
    }
    if (settingsPath.empty()) throw UsageError("the settings file (.vtx) is needed");
    if (!server.empty() && !IsUaEndpointUrl(server))
      throw UsageError("'" + server + "' is not an opc.tcp:// address");
    CompleteUaOptions(ua, "experiment");
    // The file, read and checked before anything else happens.
    ApplySettingsLines(ReadTextLines(settingsPath), job.Settings);
    if (job.Settings.ManualMode) throw UsageError(ManualExperimentRefusal);
    job.Separator = SettingsSeparator(job.Settings);
    if (reconnectTime) job.Settings.ReconnectTime = FormatShortest(*reconnectTime, job.Separator);
    ReadExperimentSetup(job.Settings, ExperimentKind::Automatic, job.Separator);
    if (TunesOnHeldModel(job.Settings)) throw UsageError(NoHeldModelMessage);
    if (!now) MsUntilNext(job.Settings.StartTime);
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli experiment: " << VisibleText(e.what()) << "\n"
              << ExperimentUsageHead << UaOptionsHelp << ExperimentUsageTail;
    return 2;
  }
  const std::filesystem::path path(settingsPath);
  job.Folder = path.parent_path().empty() ? "." : path.parent_path().string();
  job.Label = path.stem().string();
  job.Envelope = envelope;
  job.Simulate = simulate;
  job.TitleLine = MainCaption;

  int argc = 1;
  char name[] = "vortuner-cli";
  char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");  // no display needed
  qInstallMessageHandler(QuietQtMessages);
  QApplication app(argc, argv);
  job.Now = [] {
    const QDateTime t = QDateTime::currentDateTime();
    return std::pair{QLocale().toString(t.date(), QLocale::ShortFormat).toStdString(),
                     LongTimeText(t.time()).toStdString()};
  };
  CatchStops();
  SystemClock clock;

  // The start time: the next such time of day, waited for here.
  if (!now) {
    const std::int64_t waitMs = MsUntilNext(job.Settings.StartTime);
    const std::int64_t due = clock.TickCountMs() + waitMs;
    PrintLine("{\"event\": \"wait\", \"until\": " + JsonString(job.Settings.StartTime) +
              ", \"seconds\": " + JsonNumber(waitMs / 1000.0) + "}");
    while (!stopRequested && clock.TickCountMs() < due)
      std::this_thread::sleep_for(
          std::chrono::milliseconds(std::min<std::int64_t>(200, due - clock.TickCountMs())));
    if (stopRequested) {
      UnattendedOutcome o;
      o.End = UnattendedEnd::Stopped;
      o.Reason = "Konec eksperimenta pred začetkom; v obrat ni bilo nič zapisano.";
      PrintLine(OutcomeLine(o));
      return 3;
    }
    job.DueTickMs = due;
  } else {
    job.DueTickMs = clock.TickCountMs();
  }

  // The plant: the file's server or --server, over OPC UA or the built-in simulated plant.
  const std::string serverName = server.empty() ? job.Settings.ServerName : server;
  std::unique_ptr<OpcClient> opc;
  if (simulate || serverName.empty()) {
    opc = CreateNoServerOpcClient();
  } else if (IsUaEndpointUrl(serverName)) {
    opc = CreateUaOpcClient(clock);
    opc->SetUaConnectOptions(ua.Options);
    job.SampleOnOwnThreads = true;
  } else {
    opc = CreateLocalOpcClient(clock);
  }
  job.ServerName = ServerNameForLog(serverName);
  const PlantWriteLog log(DefaultPlantWriteLogPath());
  job.Log = &log;
  if (!simulate && !serverName.empty()) {
    try {
      opc->Connect(serverName, "");
    } catch (const std::exception& e) {
      UnattendedOutcome o;
      o.End = UnattendedEnd::PlantFailed;
      o.Reason = serverName + ": " + VisibleText(e.what());
      PrintLine(OutcomeLine(o));
      return 1;
    }
  }
  // The settings file names the server the run is for; --server only says where it is.
  if (!server.empty()) job.Settings.ServerName = server;

  auto store = std::make_unique<MeasurementStore>();
  OffscreenReportImages images;
  DocxReportDocument report;
  UnattendedOutcome outcome;
  try {
    outcome = RunUnattendedExperiment(job, *store, *opc, clock, images, report, stopRequested,
                                      [](const UnattendedEvent& e) { PrintLine(EventLine(e)); });
  } catch (const std::exception& e) {
    outcome.End = UnattendedEnd::PlantFailed;
    outcome.Reason = VisibleText(e.what());
  }
  if (opc->IsConnected()) opc->Disconnect();
  PrintLine(OutcomeLine(outcome));
  return ExitCode(outcome.End);
}
