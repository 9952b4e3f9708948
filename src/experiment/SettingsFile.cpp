#include "experiment/SettingsFile.h"

#include <algorithm>

#include "data/NumberFormat.h"
#include "data/TextFile.h"

namespace {

enum class BoolRule { OneOrTrue, TrueAnyCaseOrOne, TrueOnly };

// Visits every line's value in file order: f(text&), f(integer&) or f(boolean&, rule).
// S is ExperimentSettings or const ExperimentSettings, so writing and reading share the
// one table of the file's layout.
template <class S, class F>
void ForEachLine(S& s, F&& f) {
  f(s.ServerName);
  for (int row : StoredOpcRows) f(s.ItemIds[row]);
  for (int row : StoredOpcRows) f(s.Descriptions[row]);
  f(s.RaSwitchInner);
  f(s.ManualValueInner);
  f(s.RaSwitchOuter);
  f(s.ManualValueOuter);
  f(s.SampleTime);
  f(s.KeepInitialInput, BoolRule::OneOrTrue);
  f(s.InitialInput);
  f(s.WaitTime);
  f(s.StepSize);
  f(s.StepDuration);
  f(s.NumberOfSteps);
  f(s.BothDirections, BoolRule::OneOrTrue);
  f(s.ClosedLoopDuring, BoolRule::OneOrTrue);
  f(s.NoOpcWrite, BoolRule::OneOrTrue);
  f(s.ManualMode, BoolRule::OneOrTrue);
  f(s.MvMax);
  f(s.MvMin);
  f(s.MvStep);
  f(s.FilterTime);
  f(s.ActuatorMaximum);
  f(s.ActuatorMinimum);
  f(s.ActuatorVelocity);
  f(s.TuningMethod);
  f(s.ClosedLoopSampleTime);
  f(s.Robustness);
  f(s.ActuatorMaximum);  // the same control once more
  f(s.Cascade, BoolRule::TrueAnyCaseOrOne);
  f(s.LoadIntoController, BoolRule::TrueAnyCaseOrOne);
  f(s.ResponseView);
  f(s.ControllerForm);
  f(s.ScaleP);
  f(s.ScaleI);
  f(s.ScaleD);
  f(s.ControllerType);
  f(s.ReportProcessing, BoolRule::TrueAnyCaseOrOne);
  f(s.ReportModel, BoolRule::TrueAnyCaseOrOne);
  f(s.ReportController, BoolRule::TrueAnyCaseOrOne);
  f(s.ReportTemplate);
  f(s.StartTime);
  f(s.ClosedLoopAfter, BoolRule::TrueOnly);
  f(s.SequencerPresent, BoolRule::TrueOnly);
  for (auto& row : s.Sequencer) {
    f(row[0]);
    f(row[1]);
  }
}

struct LineWriter {
  std::vector<std::string>& out;
  void operator()(const std::string& text) { out.push_back(text); }
  void operator()(int position) { out.push_back(std::to_string(position)); }
  void operator()(bool on, BoolRule) { out.push_back(on ? "True" : "False"); }
};

struct LineApplier {
  const std::vector<std::string>& lines;
  int index = 0;

  const std::string& Next() { return FileLine(lines, ++index); }
  void operator()(std::string& text) { text = Next(); }
  void operator()(int& position) { position = ParseInt(Next()); }
  void operator()(bool& on, BoolRule rule) {
    const std::string& line = Next();
    switch (rule) {
      case BoolRule::OneOrTrue: on = IsOneOrTrue(line); break;
      case BoolRule::TrueAnyCaseOrOne: on = IsTrueAnyCaseOrOne(line); break;
      case BoolRule::TrueOnly: on = IsTrueOnly(line); break;
    }
  }
};

// Decodes one UTF-8 code point at s[i] and advances i; an invalid byte stands for itself.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  const int length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (length <= 1 || i + static_cast<size_t>(length) > s.size()) {
    ++i;
    return b;
  }
  char32_t cp = b & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(i + static_cast<size_t>(k)) & 0xC0) != 0x80) {
      ++i;
      return b;
    }
    cp = (cp << 6) | (byte(i + static_cast<size_t>(k)) & 0x3F);
  }
  i += static_cast<size_t>(length);
  return cp;
}

// Lower case of the Latin letters a server name may hold: ASCII, Latin-1 and Latin
// Extended-A (which has the Central European letters č, š, ž, ć, đ).
char32_t FoldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x178) return 0xFF;  // the capital of ÿ
  if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
    // Pairs start on an even code point below U+0138 and from U+014A to U+0177, on an odd
    // one from U+0139 to U+0148 and from U+0179 on.
    const bool oddPairs = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    const bool upper = oddPairs ? (c % 2 == 1) : (c % 2 == 0);
    return upper ? c + 1 : c;
  }
  return c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size())
    if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
  return i == a.size() && j == b.size();
}

}  // namespace

namespace {

// The envelope's texts in their line order (98..102).
template <class S>
auto EnvelopeTexts(S& s) {
  return std::array{&s.Y1Min, &s.Y1Max, &s.Y2Min, &s.Y2Max, &s.MaxDuration};
}

}  // namespace

std::vector<std::string> SettingsLines(const ExperimentSettings& settings) {
  std::vector<std::string> lines;
  lines.reserve(SettingsLine::CountWithAdded);
  ForEachLine(settings, LineWriter{lines});
  for (const std::string* text : EnvelopeTexts(settings)) lines.push_back(*text);
  lines.push_back(settings.ReconnectTime);
  lines.push_back(settings.EndStepWhenSettled ? "True" : "False");
  return lines;
}

void ApplySettingsLines(const std::vector<std::string>& lines, ExperimentSettings& settings) {
  ForEachLine(settings, LineApplier{lines});
  std::size_t index = SettingsLine::EnvelopeFirst;
  for (std::string* text : EnvelopeTexts(settings)) {
    *text = index < lines.size() ? lines[index] : std::string();
    ++index;
  }
  if (lines.size() > SettingsLine::ReconnectTime)
    settings.ReconnectTime = lines[SettingsLine::ReconnectTime];
  settings.EndStepWhenSettled = lines.size() > SettingsLine::EndStepWhenSettled &&
                                IsTrueAnyCaseOrOne(lines[SettingsLine::EndStepWhenSettled]);
}

bool IsOneOrTrue(std::string_view line) { return line == "1" || line == "True"; }
bool IsTrueAnyCaseOrOne(std::string_view line) {
  return line == "True" || line == "true" || line == "1";
}
bool IsTrueOnly(std::string_view line) { return line == "True"; }

int FindServerIgnoringCase(const std::vector<std::string>& servers, std::string_view name) {
  if (name.empty()) return -1;
  for (size_t i = 0; i < servers.size(); ++i)
    if (EqualIgnoringCase(servers[i], name)) return static_cast<int>(i);
  return -1;
}

std::string ProposedSettingsFileName(std::string_view startTime, std::string_view shortDate) {
  std::string time(startTime), date(shortDate);
  std::replace(time.begin(), time.end(), ':', '_');
  std::replace(date.begin(), date.end(), '.', '_');
  std::string name = time + "__" + date + ".vtx";
  std::replace(name.begin(), name.end(), '/', '_');
  std::replace(name.begin(), name.end(), '\\', '_');
  return name;
}

std::string SettingsFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  // "C:" alone would name the drive's current folder, not its root.
  if (folder.size() == 2 && folder[1] == ':') folder += path[2];
  return folder;
}
