#include "tuning/ControllerLoad.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/NumberFormat.h"
#include "opc/QualityWait.h"

namespace {

constexpr const char* TermNames[] = {"P", "I", "D"};
constexpr const char* NothingWritten = " Parametri niso bili zapisani v regulator.";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// "regulatorja" or "zunanjega regulatorja": whose term a text speaks of.
std::string OfController(bool outer) { return outer ? "zunanjega regulatorja" : "regulatorja"; }

std::string RowText(int row) { return std::to_string(row); }

// A read-back equal to the written value: a controller may keep its parameters in
// single precision, which changes the seventh significant digit at most.
bool SameValue(double readBack, double written) {
  return std::abs(readBack - written) <= 1e-6 * std::max(1.0, std::abs(written));
}

// One term that is written: its index (0 P, 1 I, 2 D), its item and the value written.
struct Term {
  int Index;
  OpcItemPtr Item;
  double Value;
  bool Integer;  // the integer 0 of an unused term
};

}  // namespace

std::array<int, 3> ControllerItemRows(bool outer) {
  return outer ? std::array<int, 3>{14, 15, 16} : std::array<int, 3>{7, 8, 9};
}

ControllerLoadResult LoadIntoController(OpcGroup& group, const ControllerLoad& load,
                                        const Clock& clock,
                                        const std::function<bool()>& keepWaiting, char separator) {
  ControllerLoadResult result;
  const std::array<int, 3> rows = ControllerItemRows(load.Outer);
  const auto refuse = [&](const std::string& why) {
    result.Outcome = ControllerLoadOutcome::NotWritten;
    result.Text = why + NothingWritten;
    return result;
  };

  // Everything is checked before the first write, so the controller never receives half
  // a parameter set.
  if (std::all_of(load.ItemIds.begin(), load.ItemIds.end(),
                  [](const std::string& id) { return id.empty(); }))
    return refuse("V tabeli OPC ni točk za P, I in D člen " + OfController(load.Outer) +
                  " (vrstice " + RowText(rows[0]) + "–" + RowText(rows[2]) + ", »" +
                  (load.Outer ? "Parametri zunanjega reg." : "Parametri regulatorja") + "«).");
  for (int k = 0; k < 3; ++k) {
    const std::optional<double>& value = load.Values[static_cast<size_t>(k)];
    if (value && !std::isfinite(*value))
      return refuse(std::string("Vrednost ") + TermNames[k] + " člena ni končno število.");
    if (value && load.ItemIds[static_cast<size_t>(k)].empty())
      return refuse(std::string("V tabeli OPC ni točke za ") + TermNames[k] + " člen " +
                    OfController(load.Outer) + " (vrstica " +
                    RowText(rows[static_cast<size_t>(k)]) + ").");
  }

  group.RemoveAllItems();
  std::vector<Term> terms;
  for (int k = 0; k < 3; ++k) {
    const std::string& id = load.ItemIds[static_cast<size_t>(k)];
    if (id.empty()) continue;  // an unused term the plant's controller has no item for
    const std::optional<double>& value = load.Values[static_cast<size_t>(k)];
    terms.push_back({k, group.AddItem(id), value.value_or(0), !value.has_value()});
  }

  for (const Term& t : terms) {
    if (!WaitForGoodQuality(t.Item.get(), clock, keepWaiting, ControllerQualityWaitMs))
      return refuse(std::string("Element ") + TermNames[t.Index] + " člena " +
                    OfController(load.Outer) + " (" + Quoted(t.Item->ItemId()) + ") v " +
                    std::to_string(ControllerQualityWaitMs / 1000) +
                    " s ni dosegel dobre kakovosti.");
  }

  for (const Term& t : terms) {
    if (t.Integer)
      t.Item->WriteInteger(0);
    else
      t.Item->Write(t.Value);
  }

  // The read-back: the items report what the controller took with their next update.
  const auto holds = [](const Term& t) {
    return IsGoodQuality(t.Item->Quality()) && SameValue(t.Item->Value(), t.Value);
  };
  WaitUntil([&] { return std::all_of(terms.begin(), terms.end(), holds); }, clock, keepWaiting,
            ControllerReadBackWaitMs);

  std::string held, differing;
  for (const Term& t : terms) {
    const bool readable = IsGoodQuality(t.Item->Quality());
    const double value = t.Item->Value();
    if (!held.empty()) held += ", ";
    held += std::string(TermNames[t.Index]) + " = " + FormatGeneral(value, 10, separator);
    if (readable && SameValue(value, t.Value)) continue;
    if (!differing.empty()) differing += "; ";
    differing += "točka " + Quoted(t.Item->ItemId()) + " (" + TermNames[t.Index] + " člen) ";
    differing += readable ? "ima " + FormatGeneral(value, 10, separator) + " namesto " +
                                FormatGeneral(t.Value, 10, separator)
                          : "se ne da prebrati";
  }
  if (differing.empty()) {
    result.Outcome = ControllerLoadOutcome::Confirmed;
    result.Text =
        std::string(load.Outer ? "Zunanji regulator" : "Regulator") + " ima zdaj " + held + ".";
  } else {
    result.Outcome = ControllerLoadOutcome::Differs;
    result.Text = std::string(load.Outer ? "Zunanji regulator" : "Regulator") +
                  " po nalaganju ne vrača zapisanih vrednosti: " + differing + ".";
  }
  return result;
}
