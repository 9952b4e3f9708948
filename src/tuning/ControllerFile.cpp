// The controller settings file (".vtc"): 38 lines, a header and caption/value pairs.
#include <cmath>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "model/IntegratingModel.h"
#include "tuning/TRegulator.h"

namespace {

constexpr int ControllerFileLines = 38;
// The six first-order rules, the empty entry and the two rules for integrating processes.
constexpr int MethodCount = 9;
constexpr int FormCount = 4;  // parallel Kp Ki Kd, Kp Ti Td, Kp 1/Ti Td, series
constexpr int IntegratingFileLines = 58;  // with the kinds and the integrating models

// Lines 39..58: for the inner, then the outer process, the kind and four values.
struct KindLines {
  const char* KindCaption;
  const char* Captions[4];
};
constexpr KindLines InnerKindLines{
    "Vrsta notranjega procesa:",
    {"Naklon integrirnega notranjega procesa:",
     "Casovna konstanta integrirnega notranjega procesa:",
     "Zakasnitev integrirnega notranjega procesa:",
     "Relativna standardna deviacija integrirnega notranjega procesa:"}};
constexpr KindLines OuterKindLines{
    "Vrsta zunanjega procesa:",
    {"Naklon integrirnega zunanjega procesa:", "Casovna konstanta integrirnega zunanjega procesa:",
     "Zakasnitev integrirnega zunanjega procesa:",
     "Relativna standardna deviacija integrirnega zunanjega procesa:"}};
double IntegratingModel::*const KindValues[4] = {&IntegratingModel::Slope, &IntegratingModel::Lag,
                                                 &IntegratingModel::DeadTime,
                                                 &IntegratingModel::RelativeError};

// A kind in use is integrating: the inner one, or the outer one of a cascade (without a
// cascade the outer process is not tuned, and its kind does not lengthen the file).
bool AnyIntegrating(const ControllerSettings& s) {
  return s.InnerKind == ProcessKind::Integrating ||
         (s.Cascade && s.OuterKind == ProcessKind::Integrating);
}

// Real numbers: general format, at most 14 significant digits, scientific below 1E-5.
std::string FormatReal(double v, char separator) { return FormatGeneral(v, 14, separator, 1e-5); }

// A number written with the system's separator; a file written under the other
// decimal separator reads back too.
double ReadReal(const std::string& text, char separator) {
  if (auto v = TryParseFloat(text, separator)) return *v;
  if (auto v = TryParseNumber(text)) return *v;
  return ParseFloat(text, separator);  // throws the conversion error
}

}  // namespace

std::vector<std::string> TRegulator::ControllerSettingsLines(const ControllerSettings& s,
                                                             char separator) {
  auto real = [separator](double v) { return FormatReal(v, separator); };
  std::vector<std::string> lines{"VORTuner Controller",
                                 "V1.0",
                                 "Ojacenje notranjega procesa:",
                                 real(s.InnerGain),
                                 "Casovna konstanta notranjega procesa:",
                                 real(s.InnerTimeConstant),
                                 "Zakasnitev notranjega procesa:",
                                 real(s.InnerDeadTime),
                                 "Relativna standardna deviacija meritev-model notranjega procesa:",
                                 real(s.InnerRelativeError),
                                 "Ojacenje zunanjega procesa:",
                                 real(s.OuterGain),
                                 "Casovna konstanta zunanjega procesa:",
                                 real(s.OuterTimeConstant),
                                 "Zakasnitev zunanjega procesa:",
                                 real(s.OuterDeadTime),
                                 "Relativna standardna deviacija meritev-model zunanjega procesa:",
                                 real(s.OuterRelativeError),
                                 "Cas vzorcenja:",
                                 s.SamplingTimeText,
                                 "Metoda nastavljanja:",
                                 std::to_string(s.Method),
                                 "Prikazan odziv (referenca - motnja):",
                                 std::to_string(s.ResponseKind),
                                 "Splosna izbira regulatorja (paralelni, serijski, itd.):",
                                 std::to_string(s.Form),
                                 "Tip regulatorja (P, I, PI, PID):",
                                 std::to_string(s.Type),
                                 "Faktor robustnosti (polozaj drsnika):",
                                 std::to_string(s.Slider),
                                 "Dodatno skaliranje P clena:",
                                 s.ScaleP,
                                 "Dodatno skaliranje I clena:",
                                 s.ScaleI,
                                 "Dodatno skaliranje D clena:",
                                 s.ScaleD,
                                 "Kaskadna regulacija:",
                                 s.Cascade ? "1" : "0"};
  if (AnyIntegrating(s)) {
    for (const auto& [kl, kind, model] :
         {std::tuple{&InnerKindLines, s.InnerKind, &s.InnerIntegrating},
          std::tuple{&OuterKindLines, s.OuterKind, &s.OuterIntegrating}}) {
      lines.emplace_back(kl->KindCaption);
      lines.emplace_back(ProcessKindKey(kind));
      for (int i = 0; i < 4; ++i) {
        lines.emplace_back(kl->Captions[i]);
        lines.push_back(real((*model).*KindValues[i]));
      }
    }
  }
  return lines;
}

ControllerSettings TRegulator::ControllerSettingsFromLines(const std::vector<std::string>& lines,
                                                           char separator) {
  ControllerSettings s;
  double* const model[] = {&s.InnerGain,         &s.InnerTimeConstant, &s.InnerDeadTime,
                           &s.InnerRelativeError, &s.OuterGain,        &s.OuterTimeConstant,
                           &s.OuterDeadTime,      &s.OuterRelativeError};
  int line = 4;
  for (double* v : model) {
    *v = ReadReal(FileLine(lines, line), separator);
    line += 2;
  }
  s.SamplingTimeText = FileLine(lines, 20);
  // The choices are indices into the tab's lists; one past them would leave the panel
  // empty and a load would write nothing meaningful. -1 ("none chosen") is what the
  // program itself writes for an empty method or form list.
  const auto index = [&](int number, int lowest, int highest, const char* what) {
    const int v = ParseInt(FileLine(lines, number));
    if (v < lowest || v > highest)
      throw FileLineError(std::string(what) + " " + std::to_string(v) + " je zunaj obsega " +
                              std::to_string(lowest) + "–" + std::to_string(highest),
                          "", number);
    return v;
  };
  s.Method = index(22, -1, MethodCount - 1, "Metoda nastavljanja");
  s.ResponseKind = index(24, 0, 1, "Prikazan odziv");
  s.Form = index(26, -1, FormCount - 1, "Oblika regulatorja");
  s.Type = index(28, 0, 3, "Tip regulatorja");
  s.Slider = index(30, 0, 20, "Položaj drsnika robustnosti");
  s.ScaleP = FileLine(lines, 32);
  s.ScaleI = FileLine(lines, 34);
  s.ScaleD = FileLine(lines, 36);
  s.Cascade = FileLine(lines, ControllerFileLines) != "0";
  // Lines 39.. only when they are the kinds' (anything else after line 38 is ignored, as
  // it always was).
  if (lines.size() > static_cast<size_t>(ControllerFileLines) &&
      FileLine(lines, ControllerFileLines + 1) == InnerKindLines.KindCaption) {
    int at = ControllerFileLines + 2;
    for (const auto& [kind, model] : {std::pair{&s.InnerKind, &s.InnerIntegrating},
                                      std::pair{&s.OuterKind, &s.OuterIntegrating}}) {
      *kind = ParseProcessKind(FileLine(lines, at));
      for (int i = 0; i < 4; ++i)
        (*model).*KindValues[i] = ReadReal(FileLine(lines, at + 2 + 2 * i), separator);
      at += 10;
    }
  }
  return s;
}

void TRegulator::SaveControllerSettings(const std::string& fileName, const ControllerSettings& s,
                                        char separator) {
  for (double v :
       {s.InnerGain, s.InnerTimeConstant, s.InnerDeadTime, s.InnerRelativeError, s.OuterGain,
        s.OuterTimeConstant, s.OuterDeadTime, s.OuterRelativeError, s.InnerIntegrating.Slope,
        s.InnerIntegrating.Lag, s.InnerIntegrating.DeadTime, s.InnerIntegrating.RelativeError,
        s.OuterIntegrating.Slope, s.OuterIntegrating.Lag, s.OuterIntegrating.DeadTime,
        s.OuterIntegrating.RelativeError}) {
    if (!std::isfinite(v))
      throw std::runtime_error(
          "Model procesa ni podan s končnimi števili; datoteka regulatorja ni shranjena.");
  }
  WriteTextLines(fileName, ControllerSettingsLines(s, separator));
}

ControllerSettings TRegulator::LoadControllerSettings(const std::string& fileName,
                                                      char separator) {
  ReadLimit limit;
  limit.MaxLines = IntegratingFileLines;
  const std::vector<std::string> lines = ReadTextLines(fileName, limit);
  try {
    return ControllerSettingsFromLines(lines, separator);
  } catch (const FileLineError& e) {
    // The window shows what() alone: it names the file and the line.
    const FileLineError named("", fileName, e.Line());
    throw FileLineError(named.Where() + ": " + e.what() + ".", fileName, e.Line());
  }
}
