// vortuner-cli tune: the tuning of the "Regulator" tab from a model given on the command
// line, printed as one JSON object; optionally the simulated responses as CSV.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "data/NumberFormat.h"
#include "data/TextFile.h"
#include "data/Warnings.h"
#include "model/IntegratingModel.h"
#include "model/TModel.h"
#include "tuning/Recomputation.h"
#include "tuning/RobustProposal.h"
#include "tuning/Robustness.h"

namespace {

const char* const TuneUsage =
    "Usage: vortuner-cli tune (--vtm FILE | --inner K,T,L [--outer K,T,L]) [OPTIONS]\n"
    "       vortuner-cli tune --inner-integrating SLOPE,L[,LAG] [OPTIONS]\n"
    "  --vtm FILE       the inner and outer models of a model file\n"
    "  --inner K,T,L    inner process model: gain, time constant [s], dead time [s]\n"
    "  --outer K,T,L    outer process model (cascade)\n"
    "  --inner-integrating SLOPE,L[,LAG]  an integrating inner process instead: slope k'\n"
    "                   (output units per second per input unit), dead time and lag [s]\n"
    "  --outer-integrating SLOPE,L[,LAG]  an integrating outer process (cascade)\n"
    "  --method M       tuning method 0..8, as listed on the Regulator tab (default 0, or\n"
    "                   7 when the tuned loop's process is integrating):\n"
    "                     0 Metoda provršin - sledenje (area method, set-point response)\n"
    "                     1 Metoda provršin - motnja (area method, disturbance response)\n"
    "                     2 Chien-Hrones-Reswick - sledenje (set-point response)\n"
    "                     3 Chien-Hrones-Reswick - motnja (disturbance response)\n"
    "                     4 Metoda uravnoteženja (balanced method)\n"
    "                     5 Ziegler-Nichols - motnja (disturbance response)\n"
    "                     6 no method (the list's empty entry: all gains 0)\n"
    "                     7 SIMC - integrirni proces (integrating process, SIMC)\n"
    "                     8 Lambda - integrirni proces (integrating, arrest time)\n"
    "                   0..5 give zeros on an integrating process, 7 and 8 on a\n"
    "                   self-regulating one. For 7 and 8 the slider sets the closed-loop\n"
    "                   time constant 2^((10-S)/5) * (L + LAG/2) (three times that for 8)\n"
    "                   and RobustnessFactor is 1.\n"
    "  --slider S       robustness-speed slider 0..20 (default 10)\n"
    "  --response R     0 set-point response (default), 1 disturbance response\n"
    "  --ts H           closed-loop sampling time [s] (default: the model file's\n"
    "                   sample time, else 1)\n"
    "  --cascade        tune the outer controller of a cascade (needs --outer)\n"
    "  --form F         0 general parallel, 1 parallel Ti Td, 2 parallel 1/Ti Td, 3 series\n"
    "  --type T         0 P, 1 I, 2 PI (default), 3 PID\n"
    "  --scale P,I,D    extra scaling of the three terms (default 1,1,1)\n"
    "  --curves OUT.csv write t, OL, YI, YP, YPI, YPID of the simulated responses\n"
    "  --max-ms X       also find, for each controller type, the fastest slider position\n"
    "                   at which the scaled controller (--form, --scale) is stable with\n"
    "                   Ms <= X (1.2..2.0), as \"Robustni predlog\" on the Regulator tab\n"
    "Printed is one JSON object: the tuning record (KiI, KpP, KpPI, KiPI, KpPID, KiPID,\n"
    "KdPID, the same seven with Casc..., InnerLoopGain, RobustnessFactor), \"labels\" and\n"
    "\"panel\" (the texts of the Regulator tab's summary labels and scaled-parameters\n"
    "panel), \"controllers\" (P, I, PI and PID with their Kp, Ki, Kd as the summary labels\n"
    "show them, unrounded), \"scaled\" (the panel's numbers for --form and --type: Kp, then\n"
    "Ki, Ti or 1/Ti as \"Ki\", Kd or Td as \"Kd\"; a term the type lacks is left out), and\n"
    "SampleTime and Samples of the simulation or SimulationNote saying why there is none,\n"
    "\"robustness\" (Ms, margins and stability of each proposal and of the scaled\n"
    "controller), InnerKind, OuterKind and ClosedLoopTimeConstant (0 for the first-order\n"
    "rules), and Warnings: the proposals that make the loop unstable or have Ms above\n"
    "2, in the window's Slovenian words (also written to standard error).\n"
    "With --max-ms, \"robustProposal\" holds the limit and for P, I, PI and PID the\n"
    "Slider chosen (null when none meets the limit), its RobustnessFactor, the scaled\n"
    "parameters and the figures there, and Text saying where or why not (Slovenian, as\n"
    "the tab shows it), with SampleTimeThatWould where a shorter sampling time would do.\n"
    "Numbers use a decimal point; a model file may use either separator.\n";

std::vector<double> NumberList(const std::string& option, const std::string& text, size_t count) {
  std::vector<double> values;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) values.push_back(ParseFloat(part, '.'));
  if (values.size() != count || (!text.empty() && text.back() == ','))
    throw UsageError(option + " needs " + std::to_string(count) + " numbers separated by commas");
  return values;
}

// A process model K,T,L: a gain other than 0, a time constant and a dead time not below 0.
std::vector<double> ModelOption(const std::string& option, const std::string& text) {
  std::vector<double> m = NumberList(option, text, 3);
  if (m[0] == 0 || m[1] < 0 || m[2] < 0)
    throw UsageError(option +
                     " needs a gain other than 0 and a time constant and a dead time "
                     "of 0 or more");
  return m;
}

// An integrating model SLOPE,L[,LAG]: a slope other than 0, a dead time and lag not below 0.
IntegratingModel IntegratingOption(const std::string& option, const std::string& text) {
  const size_t commas = static_cast<size_t>(std::count(text.begin(), text.end(), ','));
  std::vector<double> m = NumberList(option, text, commas == 2 ? 3 : 2);
  if (m.size() == 2) m.push_back(0);
  if (m[0] == 0 || m[1] < 0 || m[2] < 0)
    throw UsageError(option + " needs a slope other than 0 and a dead time and a lag of 0 or more");
  IntegratingModel r;
  r.Slope = m[0];
  r.DeadTime = m[1];
  r.Lag = m[2];
  return r;
}

// A closed-loop sampling time: a number above 0.
std::string SamplingTimeOption(const std::string& option, const std::string& text) {
  if (!(ParseFloat(text, '.') > 0)) throw UsageError(option + " must be above 0");
  return text;
}

std::string FileOption(const std::string& option, const std::string& text) {
  if (text.empty()) throw UsageError(option + " needs a file name");
  return text;
}

int IntegerIn(const std::string& option, const std::string& text, int lo, int hi) {
  const int v = ParseInt(text);
  if (v < lo || v > hi)
    throw UsageError(option + " must be " + std::to_string(lo) + ".." + std::to_string(hi));
  return v;
}

struct TuneOptions {
  std::optional<std::vector<double>> Inner, Outer;
  std::optional<IntegratingModel> InnerIntegrating, OuterIntegrating;
  std::optional<int> MethodGiven;
  int Method = 0, Slider = 10, Response = 0, Form = 0, Type = 2;
  std::optional<std::string> SamplingTime;
  std::string ModelFile;
  bool Cascade = false;
  std::vector<double> Scale{1, 1, 1};
  std::string CurvesFile;
  std::optional<double> MaxMs;
  bool Help = false;
};

TuneOptions ParseOptions(const std::vector<std::string>& args) {
  TuneOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.Help = true;
      continue;
    }
    if (a == "--cascade") {
      o.Cascade = true;
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
    const std::string& v = args[++i];
    if (a == "--vtm")
      o.ModelFile = FileOption(a, v);
    else if (a == "--inner")
      o.Inner = ModelOption(a, v);
    else if (a == "--outer")
      o.Outer = ModelOption(a, v);
    else if (a == "--inner-integrating")
      o.InnerIntegrating = IntegratingOption(a, v);
    else if (a == "--outer-integrating")
      o.OuterIntegrating = IntegratingOption(a, v);
    else if (a == "--method")
      o.MethodGiven = o.Method = IntegerIn(a, v, 0, IntegratingLambda);
    else if (a == "--slider") o.Slider = IntegerIn(a, v, 0, 20);
    else if (a == "--response") o.Response = IntegerIn(a, v, 0, 1);
    else if (a == "--ts")
      o.SamplingTime = SamplingTimeOption(a, v);
    else if (a == "--form") o.Form = IntegerIn(a, v, 0, 3);
    else if (a == "--type") o.Type = IntegerIn(a, v, 0, 3);
    else if (a == "--scale") o.Scale = NumberList(a, v, 3);
    else if (a == "--curves")
      o.CurvesFile = FileOption(a, v);
    else if (a == "--max-ms") {
      const double x = ParseFloat(v, '.');
      if (!(x >= LowestMaxMs && x <= HighestMaxMs)) throw UsageError(a + " must be 1.2..2.0");
      o.MaxMs = x;
    }
    else throw UsageError("unknown option '" + a + "'");
  }
  if (o.Help) return o;
  if (!o.ModelFile.empty() && (o.Inner || o.Outer || o.InnerIntegrating || o.OuterIntegrating))
    throw UsageError("give the model either as --vtm FILE or as --inner/--outer, not both");
  if ((o.Inner && o.InnerIntegrating) || (o.Outer && o.OuterIntegrating))
    throw UsageError("give each process either as K,T,L or as an integrating model, not both");
  if (o.ModelFile.empty() && !o.Inner && !o.InnerIntegrating)
    throw UsageError("the model is missing (--vtm FILE, --inner K,T,L or --inner-integrating)");
  if (o.Cascade && o.ModelFile.empty() && !o.Outer && !o.OuterIntegrating)
    throw UsageError("--cascade needs the outer model (--outer K,T,L or --outer-integrating)");
  return o;
}

void WriteCurves(const std::string& path, const ResponseCurves& c) {
  std::vector<std::string> lines{"t,OL,YI,YP,YPI,YPID"};
  for (int k = 0; k < c.N; ++k) {
    std::string line;
    for (const std::vector<double>* v : {&c.Time, &c.OpenLoop, &c.YI, &c.YP, &c.YPI, &c.YPID}) {
      if (!line.empty()) line += ',';
      if (std::isfinite((*v)[k])) line += FormatGeneral((*v)[k], 17, '.');
    }
    lines.push_back(line);
  }
  WriteTextLines(path, lines);
}

// "robustness": the figures of the four proposals and of the scaled controller; null
// where a figure does not exist (no crossover, an unstable loop, no loop to judge).
std::string RobustnessJson(const RobustnessSet& set) {
  JsonObject all;
  all.SetIndent("  ");
  auto one = [&](const char* key, const RobustnessFigures* f) {
    JsonObject o;
    o.SetIndent("    ");
    const RobustnessFigures none;
    if (!f) f = &none;
    o.Number("Ms", f->Ms);
    o.Number("GainMargin", f->GainMargin);
    o.Number("GainMarginDb", f->GainMarginDb);
    o.Number("PhaseMargin", f->PhaseMargin);
    if (set.Reason.empty()) o.Boolean("Stable", f->Stable);
    else o.Raw("Stable", "null");
    all.Raw(key, o.Str("    "));
  };
  const bool judged = set.Reason.empty();
  one("I", judged ? &set.I : nullptr);
  one("P", judged ? &set.P : nullptr);
  one("PI", judged ? &set.PI : nullptr);
  one("PID", judged ? &set.PID : nullptr);
  one("scaled", judged && set.Scaled ? &*set.Scaled : nullptr);
  if (!judged) all.Text("Note", set.Reason);
  return all.Str("  ");
}

// "robustProposal": for each controller type the fastest slider position that meets the
// limit on Ms, with the scaled parameters and the figures there.
std::string RobustProposalJson(const MeasurementStore& store, const TuneOptions& o,
                               const PanelInput& panel, double h) {
  JsonObject all;
  all.SetIndent("  ");
  all.Number("MaxMs", *o.MaxMs);
  for (const auto& [name, type] : {std::pair{"P", 0}, {"I", 1}, {"PI", 2}, {"PID", 3}}) {
    RobustProposalRequest r;
    r.Method = o.Method;
    r.Cascade = o.Cascade;
    r.SampleTime = h;
    r.MaxMs = *o.MaxMs;
    r.Panel = panel;
    r.Panel.Type = type;
    const RobustProposal p = FindRobustPosition(store, r, '.');
    JsonObject one;
    one.SetIndent("    ");
    if (p.Position) {
      one.Number("Slider", *p.Position);
      one.Number("RobustnessFactor", p.Factor);
      const ScaledParameters s = ScaledControllerParameters(
          TunedRecord(store, o.Method, *p.Position, o.Cascade), r.Panel);
      for (const auto& [key, value] : {std::pair{"Kp", s.Kp}, {"Ki", s.Ki}, {"Kd", s.Kd}})
        if (value) one.Number(key, *value);
      one.Number("Ms", p.Figures.Ms);
      one.Number("GainMargin", p.Figures.GainMargin);
      one.Number("PhaseMargin", p.Figures.PhaseMargin);
      one.Boolean("Stable", p.Figures.Stable);
    } else {
      one.Raw("Slider", "null");
      if (p.SampleTimeThatWould) one.Number("SampleTimeThatWould", *p.SampleTimeThatWould);
    }
    one.Text("Text", p.Text);
    all.Raw(name, one.Str("    "));
  }
  return all.Str("  ");
}

}  // namespace

int RunTune(const std::vector<std::string>& args) {
  TuneOptions o;
  try {
    o = ParseOptions(args);
  } catch (const std::exception& e) {  // a UsageError, or an option's number that is none
    std::cerr << "vortuner-cli tune: " << e.what() << "\n" << TuneUsage;
    return 2;
  }
  if (o.Help) {
    std::cout << TuneUsage;
    return 0;
  }

  constexpr char Point = '.';
  auto storePtr = std::make_unique<MeasurementStore>();  // large: not on the stack
  MeasurementStore& store = *storePtr;
  std::string samplingTime = o.SamplingTime.value_or("1");
  if (!o.ModelFile.empty()) {
    try {
      TModel::LoadModelFile(o.ModelFile, store, Point);
    } catch (const FileLineError& e) {
      throw std::runtime_error(e.Where() + ": " + e.what());
    }
    // As "Izračun PID parametrov" does: the model's sample time unless one is given.
    if (!o.SamplingTime) samplingTime = FormatGeneral(store.SampleTime, 12, Point);
  } else if (o.Inner) {
    store.InnerGain = (*o.Inner)[0];
    store.InnerTimeConstant = (*o.Inner)[1];
    store.InnerDeadTime = (*o.Inner)[2];
  }
  if (o.Outer) {
    store.OuterGain = (*o.Outer)[0];
    store.OuterTimeConstant = (*o.Outer)[1];
    store.OuterDeadTime = (*o.Outer)[2];
  }
  if (o.InnerIntegrating) {
    store.InnerKind = ProcessKind::Integrating;
    store.InnerIntegrating = *o.InnerIntegrating;
  }
  if (o.OuterIntegrating) {
    store.OuterKind = ProcessKind::Integrating;
    store.OuterIntegrating = *o.OuterIntegrating;
  }
  // The rules that fit the tuned loop's process, unless a method is given.
  if (!o.MethodGiven && UsesIntegratingRules(store, o.Cascade)) o.Method = IntegratingSimc;
  ApplyTuning(store, o.Method, o.Slider, o.Cascade);
  const TuningSummary summary = SummaryTexts(store, o.Cascade, Point);
  PanelInput panelIn;
  panelIn.Form = o.Form;
  panelIn.Type = o.Type;
  panelIn.Cascade = o.Cascade;
  panelIn.ScaleP = o.Scale[0];
  panelIn.ScaleI = o.Scale[1];
  panelIn.ScaleD = o.Scale[2];
  const ControllerPanel panel = ComputeControllerPanel(store.Tuning, panelIn, Point);

  const double h = ResolveSampleTime(samplingTime, Point, store.ClosedLoopSampleTime);
  const SimulationOutcome sim = SimulateResponses(store, h, o.Response, o.Cascade);
  if (!o.CurvesFile.empty()) {
    if (!sim.Curves) throw std::runtime_error(sim.Reason);
    WriteCurves(o.CurvesFile, *sim.Curves);
  }

  const TuningResult& t = store.Tuning;
  JsonObject json;
  const std::pair<const char*, double> record[] = {
      {"KiI", t.KiI},           {"KpP", t.KpP},           {"KpPI", t.KpPI},
      {"KiPI", t.KiPI},         {"KpPID", t.KpPID},       {"KiPID", t.KiPID},
      {"KdPID", t.KdPID},       {"CascKiI", t.CascKiI},   {"CascKpP", t.CascKpP},
      {"CascKpPI", t.CascKpPI}, {"CascKiPI", t.CascKiPI}, {"CascKpPID", t.CascKpPID},
      {"CascKiPID", t.CascKiPID}, {"CascKdPID", t.CascKdPID},
      {"InnerLoopGain", t.InnerLoopGain}, {"RobustnessFactor", t.RobustnessFactor}};
  for (const auto& [key, value] : record) json.Number(key, value);

  JsonObject labels;
  labels.SetIndent("  ");
  labels.Text("Label_Kp_Cascade", summary.KpCascade);
  labels.Text("Label_Ki", summary.Ki);
  labels.Text("Label_Kp_P", summary.KpP);
  labels.Text("Label_PI_Kp", summary.PIKp);
  labels.Text("Label_PI_Ti", summary.PIKi);
  labels.Text("Label_PID_Kp", summary.PIDKp);
  labels.Text("Label_PID_Ti", summary.PIDKi);
  labels.Text("Label_PID_Td", summary.PIDKd);
  labels.Text("Label_Priporocljiv", summary.Recommended);
  json.Raw("labels", labels.Str("  "));

  JsonObject edits;
  edits.SetIndent("  ");
  edits.Text("Label_Reg_Name_Kp", panel.NameKp);
  edits.Text("Edit_Reg_Kp", panel.Kp);
  edits.Text("Label_Reg_Name_Ki", panel.NameKi);
  edits.Text("Edit_Reg_Ki", panel.Ki);
  edits.Text("Label_Reg_Name_Kd", panel.NameKd);
  edits.Text("Edit_Reg_Kd", panel.Kd);
  edits.Text("Label_LabOjacSekv", panel.SequencerCaption);
  edits.Text("Label_OjacSekv", panel.SequencerValue);
  json.Raw("panel", edits.Str("  "));

  // The same numbers as plain ones: the gains of the four controllers, as the summary
  // labels show them, and the scaled parameters of the chosen form.
  const ControllerSet shown = ShownGains(t, o.Cascade);
  const std::pair<const char*, std::vector<std::pair<const char*, double>>> controllers[] = {
      {"P", {{"Kp", shown.KpP}}},
      {"I", {{"Ki", shown.KiI}}},
      {"PI", {{"Kp", shown.KpPI}, {"Ki", shown.KiPI}}},
      {"PID", {{"Kp", shown.KpPID}, {"Ki", shown.KiPID}, {"Kd", shown.KdPID}}}};
  JsonObject gains;
  gains.SetIndent("  ");
  for (const auto& [name, terms] : controllers) {
    JsonObject controller;
    controller.SetIndent("    ");
    for (const auto& [key, value] : terms) controller.Number(key, value);
    gains.Raw(name, controller.Str("    "));
  }
  json.Raw("controllers", gains.Str("  "));
  const ScaledParameters scaled = ScaledControllerParameters(t, panelIn);
  JsonObject scaledJson;
  scaledJson.SetIndent("  ");
  for (const auto& [key, value] :
       {std::pair{"Kp", scaled.Kp}, {"Ki", scaled.Ki}, {"Kd", scaled.Kd}})
    if (value) scaledJson.Number(key, *value);
  json.Raw("scaled", scaledJson.Str("  "));

  if (sim.Curves) {
    json.Number("SampleTime", sim.Curves->SampleTime);
    json.Number("Samples", sim.Curves->N);
  } else {
    json.Text("SimulationNote", sim.Reason);
  }
  const RobustnessSet robustness =
      ComputeRobustness(SampledProcessOfStore(store, h, o.Cascade),
                        ProposedLoopControllers(store.Tuning, o.Cascade), panel.Controller);
  json.Raw("robustness", RobustnessJson(robustness));
  json.Text("InnerKind", ProcessKindKey(store.InnerKind));
  json.Text("OuterKind", ProcessKindKey(store.OuterKind));
  json.Number("ClosedLoopTimeConstant", t.ClosedLoopTimeConstant);
  if (o.MaxMs) json.Raw("robustProposal", RobustProposalJson(store, o, panelIn, h));
  // The proposals' warnings as the tab's status bar and the report's box say them.
  WarningScope scope;
  scope.Record = false;
  scope.Proposals = WarningFiguresOf(robustness);
  scope.Separator = Point;
  std::string list;
  for (const Warning& w : CollectWarnings(store, scope)) {
    list += (list.empty() ? "" : ", ") + JsonString(w.Text);
    std::cerr << "vortuner-cli tune: warning: " << w.Text << "\n";
  }
  json.Raw("Warnings", "[" + list + "]");
  std::cout << json.Str() << "\n";
  return 0;
}
