#include "tuning/ControllerLoad.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/NumberFormat.h"
#include "opc/LocalOpcClient.h"
#include "opc/QualityWait.h"

namespace {

constexpr const char* TermNames[] = {"P", "I", "D"};
constexpr const char* NothingWritten = " Parametri niso bili zapisani v regulator.";
constexpr const char* NoLinkRefusal =
    "Povezava s strežnikom ni vzpostavljena: v obrat se nič ne piše.";
constexpr const char* LinkLostRefusal =
    "Povezava s strežnikom je bila prekinjena med čakanjem na dobro kakovost točk: v obrat se "
    "nič ne piše.";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// "regulatorja" or "zunanjega regulatorja": whose term a text speaks of.
std::string OfController(bool outer) { return outer ? "zunanjega regulatorja" : "regulatorja"; }

std::string RowText(int row) { return std::to_string(row); }

// A read-back equal to the written value: a controller may keep its parameters in
// single precision, which changes the seventh significant digit at most.
bool SameValue(double readBack, double written) {
  return std::abs(readBack - written) <= 1e-6 * std::max(1.0, std::abs(written));
}

// One term that is written: its controller, its index (0 P, 1 I, 2 D), its item and the
// value written.
struct Term {
  bool Outer;
  int Index;
  OpcItemPtr Item;
  double Value;
};

std::string TermLabel(const Term& t) {
  return std::string(TermNames[t.Index]) + " člen " + OfController(t.Outer);
}

// Why a controller's terms cannot be loaded; "" when they can.
std::string TermsRefusal(const ControllerTerms& c) {
  const std::array<int, 3> rows = ControllerItemRows(c.Outer);
  if (std::all_of(c.ItemIds.begin(), c.ItemIds.end(),
                  [](const std::string& id) { return id.empty(); }))
    return "V tabeli OPC ni točk za P, I in D člen " + OfController(c.Outer) + " (vrstice " +
           RowText(rows[0]) + "–" + RowText(rows[2]) + ", »" +
           (c.Outer ? "Parametri zunanjega reg." : "Parametri regulatorja") + "«).";
  for (int k = 0; k < 3; ++k) {
    const std::optional<double>& value = c.Values[static_cast<size_t>(k)];
    if (value && !std::isfinite(*value))
      return std::string("Vrednost ") + TermNames[k] + " člena ni končno število.";
    if (value && c.ItemIds[static_cast<size_t>(k)].empty())
      return std::string("V tabeli OPC ni točke za ") + TermNames[k] + " člen " +
             OfController(c.Outer) + " (vrstica " + RowText(rows[static_cast<size_t>(k)]) + ").";
  }
  return {};
}

// "P = 1,25, D = 0" of the terms of one controller.
std::string HeldText(const std::vector<Term>& terms, bool outer, char separator) {
  std::string held;
  for (const Term& t : terms) {
    if (t.Outer != outer) continue;
    if (!held.empty()) held += ", ";
    held += std::string(TermNames[t.Index]) + " = " + FormatGeneral(t.Item->Value(), 10, separator);
  }
  return held;
}

}  // namespace

std::array<int, 3> ControllerItemRows(bool outer) {
  return outer ? std::array<int, 3>{14, 15, 16} : std::array<int, 3>{7, 8, 9};
}

std::optional<ControllerTerms> InnerPController(int form, double gain,
                                                const std::array<std::string, 3>& itemIds,
                                                char separator, std::string& byHand) {
  byHand.clear();
  if (form == 1 || form == 3) {
    byHand = "Notranji regulator nastavite ročno kot regulator P: P = " +
             FormatGeneral(gain, 10, separator) +
             ", integralni člen izklopljen (Ti = ∞), D = 0. Ta oblika regulatorja izklopa "
             "integralnega člena ne more zapisati s številom.";
    return std::nullopt;
  }
  ControllerTerms t;
  t.Outer = false;
  t.ItemIds = itemIds;
  t.Values = {gain, 0.0, 0.0};
  return t;
}

ControllerLoadResult LoadIntoController(OpcGroup& group, const ControllerLoad& load,
                                        const Clock& clock,
                                        const std::function<bool()>& keepWaiting, char separator,
                                        const PlantWriteContext& context,
                                        const std::function<bool()>& keepReadingBack) {
  ControllerLoadResult result;
  const auto refuse = [&](const std::string& why) {
    result.Outcome = ControllerLoadOutcome::NotWritten;
    result.Text = why + NothingWritten;
    return result;
  };

  // Everything is checked before the first write, so the controller never receives half
  // a parameter set.
  std::vector<const ControllerTerms*> parts;
  if (load.Inner) parts.push_back(&*load.Inner);
  parts.push_back(&load);
  for (const ControllerTerms* part : parts)
    if (const std::string why = TermsRefusal(*part); !why.empty()) return refuse(why);
  // A controller without one value (a type the panel does not know) is no controller.
  if (std::none_of(load.Values.begin(), load.Values.end(),
                   [](const std::optional<double>& v) { return v.has_value(); }))
    return refuse("Ni nobenega parametra " + OfController(load.Outer) + " za nalaganje.");

  // Without a link the items can never turn Good: said at once, not after the wait.
  const auto linkDown = [&] { return context.Client && !context.Client->IsConnected(); };
  if (linkDown()) return refuse(NoLinkRefusal);

  group.RemoveAllItems();
  std::vector<Term> terms;
  for (const ControllerTerms* part : parts) {
    for (int k = 0; k < 3; ++k) {
      const std::string& id = part->ItemIds[static_cast<size_t>(k)];
      if (id.empty()) continue;  // an unused term the plant's controller has no item for
      // An unused term receives 0.
      terms.push_back(
          {part->Outer, k, group.AddItem(id), part->Values[static_cast<size_t>(k)].value_or(0)});
    }
  }

  const auto missing = [](const Term& t) { return t.Item->Quality() == OpcQualityConfigError; };
  for (const Term& t : terms) {
    const bool good =
        WaitUntil([&] { return linkDown() || missing(t) || IsGoodQuality(t.Item->Quality()); },
                  clock, keepWaiting, ControllerQualityWaitMs);
    if (linkDown()) return refuse(LinkLostRefusal);
    if (missing(t)) return refuse("Točka »" + t.Item->ItemId() + "« na strežniku ne obstaja.");
    if (!good)
      return refuse(std::string("Element ") + TermNames[t.Index] + " člena " +
                    OfController(t.Outer) + " (" + Quoted(t.Item->ItemId()) + ") v " +
                    std::to_string(ControllerQualityWaitMs / 1000) +
                    " s ni dosegel dobre kakovosti.");
  }

  // Given up (or the program ending) while the items were awaited: nothing is written.
  if (keepWaiting && !keepWaiting()) return refuse("Nalaganje je bilo prekinjeno pred zapisom.");

  // An undo writes only over the values its load left: a change made since (by an
  // operator, by the plant) is shown to the engineer before anything is written.
  bool changed = false;
  ControllerLoad now;
  now.Outer = load.Outer;
  for (const Term& t : terms) {
    const ControllerTerms& part =
        t.Outer == load.Outer ? static_cast<const ControllerTerms&>(load) : *load.Inner;
    if (t.Outer != load.Outer && !now.Inner) now.Inner = ControllerTerms{};
    ControllerTerms& into = t.Outer == load.Outer ? now : *now.Inner;
    const auto k = static_cast<size_t>(t.Index);
    into.ItemIds[k] = t.Item->ItemId();
    into.Values[k] = t.Item->Value();
    const std::optional<double>& expected = part.Expected[k];
    if (expected && !SameValue(t.Item->Value(), *expected)) changed = true;
  }
  if (changed) {
    result.Outcome = ControllerLoadOutcome::Changed;
    result.Text = "Točke regulatorja ne hranijo več vrednosti, ki jih je zapisalo nalaganje." +
                  std::string(NothingWritten);
    result.Now = now;
    return result;
  }

  std::vector<PlantWrite> writes;
  for (const Term& t : terms) writes.push_back({t.Item, t.Value, TermLabel(t)});
  const PlantWriteResult written = WritePlantSet(writes, context, separator);
  if (written.Outcome == PlantWriteOutcome::NotWritten) return refuse(written.Text);
  if (written.Outcome == PlantWriteOutcome::Unknown) {
    result.Outcome = ControllerLoadOutcome::Unknown;
    result.Text = written.Text;
    return result;
  }
  if (written.Outcome != PlantWriteOutcome::Written) {
    result.Outcome = ControllerLoadOutcome::RolledBack;
    result.Text = written.Text + NothingWritten;
    return result;
  }

  // What the controller held before, as a load that gives it back.
  if (std::all_of(written.Previous.begin(), written.Previous.end(),
                  [](double v) { return std::isfinite(v); })) {
    ControllerLoad before;
    before.Outer = load.Outer;
    for (std::size_t i = 0; i < terms.size(); ++i) {
      if (terms[i].Outer != load.Outer && !before.Inner) before.Inner = ControllerTerms{};
      ControllerTerms& part = terms[i].Outer == load.Outer ? before : *before.Inner;
      part.ItemIds[static_cast<size_t>(terms[i].Index)] = terms[i].Item->ItemId();
      part.Values[static_cast<size_t>(terms[i].Index)] = written.Previous[i];
    }
    result.Before = before;
  }

  // The read-back: the items report what the controller took with their next update.
  const auto holds = [](const Term& t) {
    return IsGoodQuality(t.Item->Quality()) && SameValue(t.Item->Value(), t.Value);
  };
  WaitUntil([&] { return std::all_of(terms.begin(), terms.end(), holds); }, clock,
            keepReadingBack ? keepReadingBack : keepWaiting, ControllerReadBackWaitMs);

  std::string differing;
  for (const Term& t : terms) {
    const bool readable = IsGoodQuality(t.Item->Quality());
    const double value = t.Item->Value();
    if (readable && SameValue(value, t.Value)) continue;
    if (!differing.empty()) differing += "; ";
    differing += "točka " + Quoted(t.Item->ItemId()) + " (" + TermLabel(t) + ") ";
    differing += readable ? "ima " + FormatGeneral(value, 10, separator) + " namesto " +
                                FormatGeneral(t.Value, 10, separator)
                          : "se ne da prebrati";
  }
  const std::string whose = load.Outer ? "Zunanji regulator" : "Regulator";
  if (differing.empty()) {
    result.Outcome = ControllerLoadOutcome::Confirmed;
    result.Text = load.Inner ? "Notranji regulator ima zdaj " + HeldText(terms, false, separator) +
                                   "; zunanji regulator ima zdaj " +
                                   HeldText(terms, load.Outer, separator) + "."
                             : whose + " ima zdaj " + HeldText(terms, load.Outer, separator) + ".";
  } else {
    result.Outcome = ControllerLoadOutcome::Differs;
    result.Text = (load.Inner ? std::string("Regulatorja po nalaganju ne vračata")
                              : whose + " po nalaganju ne vrača") +
                  " zapisanih vrednosti: " + differing + ".";
  }
  return result;
}
