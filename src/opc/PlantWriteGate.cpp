#include "opc/PlantWriteGate.h"

#include <cmath>
#include <limits>
#include <optional>

#include "data/NumberFormat.h"
#include "opc/LocalOpcClient.h"

namespace {

constexpr const char* SimulatedRefusal = "Simulacija v teku: v obrat se nič ne piše.";
constexpr const char* LinkRefusal =
    "Povezava s strežnikom ni vzpostavljena: v obrat se nič ne piše.";

std::string Number(double v, char separator) { return FormatGeneral(v, 15, separator); }

std::string Named(const PlantWrite& w) {
  std::string text = "Točka »" + w.Item->ItemId() + "«";
  if (!w.Label.empty()) text += " (" + w.Label + ")";
  return text;
}

bool LinkUp(const PlantWriteContext& c) { return !c.Client || c.Client->IsConnected(); }

// Appends a line to the log; false when the log could not be written (the writes go on:
// a full disk must not leave a plant with half a set).
bool Log(const PlantWriteContext& c, const OpcItem& item, double previous, double value,
         const std::string& outcome) {
  if (!c.Log) return true;
  PlantWriteLogEntry e;
  e.Server = c.Server;
  e.Item = item.ItemId();
  // As the item's type holds them: a Float's value is what the plant keeps.
  const OpcDataType type = item.DataType();
  e.Previous = std::isfinite(previous) ? ValueForLog(previous, type) : std::string();
  e.Value = ValueForLog(value, type);
  e.Source = c.Source;
  e.Outcome = outcome;
  try {
    c.Log->Append(e);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The value an item holds now; NaN when it cannot be read.
double Present(const OpcItem& item) {
  const double v = item.Value();
  return IsGoodQuality(item.Quality()) ? v : std::numeric_limits<double>::quiet_NaN();
}

// Writes one item and logs what came of it (logged turns false when the log could not be
// written). The server's refusal; none when the value was written.
std::optional<std::string> WriteAndLog(const PlantWrite& w, const PlantWriteContext& c, double previous,
                        bool& logged) {
  try {
    if (w.Integer)
      w.Item->WriteInteger(static_cast<int>(w.Value));
    else
      w.Item->Write(w.Value);
  } catch (const OpcError& e) {
    logged &= Log(
        c, *w.Item, previous, w.Value,
        std::string(LinkUp(c) ? "zavrnjeno: " : "izid ni znan (povezava izgubljena): ") + e.what());
    return e.what();
  }
  logged &= Log(c, *w.Item, previous, w.Value, "zapisano");
  return std::nullopt;
}

}  // namespace

std::string PlantWriteProblem(const OpcItem& item, double value, char separator) {
  const int quality = item.Quality();
  if (quality == OpcQualityNotConnected) return "ni povezana s strežnikom";
  if (quality == OpcQualityConfigError) return "ne obstaja na strežniku";
  if (!IsGoodQuality(quality)) return "nima dobre kakovosti";
  if (item.Access() == OpcAccess::ReadOnly) return "je samo za branje";
  const OpcDataType type = item.DataType();
  const std::string typed = std::string("je tipa ") + OpcDataTypeName(type);
  switch (FitOfValue(type, value)) {
    case OpcValueFit::Fits:
      return {};
    case OpcValueFit::NotFinite:
      return "ne more sprejeti vrednosti, ki ni končno število";
    case OpcValueFit::Fraction:
      return typed + " in ne more hraniti vrednosti " + Number(value, separator) +
             " (ni celo število)";
    case OpcValueFit::OutOfRange:
      return typed + " in ne more hraniti vrednosti " + Number(value, separator) +
             " (zunaj obsega tipa)";
    case OpcValueFit::NotBoolean:
      return typed + " in sprejme le 0 ali 1, ne " + Number(value, separator);
    case OpcValueFit::NotNumeric:
      return "ne hrani števila";
  }
  return {};
}

namespace {

// The check's refusal and the write it names (none: the whole set, for a simulated run or
// a link that is down).
struct Refusal {
  std::string Text, Why;
  std::optional<std::size_t> Write;
};

Refusal CheckSet(const std::vector<PlantWrite>& writes, const PlantWriteContext& c,
                 char separator) {
  if (c.Simulated) return {SimulatedRefusal, "simulacija v teku", std::nullopt};
  if (!LinkUp(c)) return {LinkRefusal, "povezava ni vzpostavljena", std::nullopt};
  for (std::size_t k = 0; k < writes.size(); ++k) {
    const PlantWrite& w = writes[k];
    if (!w.Item) return {"Točka " + w.Label + " ni določena.", "", std::nullopt};
    const std::string problem = PlantWriteProblem(*w.Item, w.Value, separator);
    if (!problem.empty()) return {Named(w) + " " + problem + ".", problem, k};
  }
  return {};
}

}  // namespace

std::string CheckPlantWrites(const std::vector<PlantWrite>& writes, const PlantWriteContext& c,
                             char separator) {
  return CheckSet(writes, c, separator).Text;
}

std::string PlantWriteFatesText(const std::vector<PlantWrite>& writes,
                                const std::vector<PlantWriteFate>& fates) {
  const std::pair<PlantWriteFate, const char*> groups[] = {
      {PlantWriteFate::Written, "Zapisano: "},
      {PlantWriteFate::RolledBack, "Zapisano in povrnjeno: "},
      {PlantWriteFate::NotWritten, "Ni zapisano: "},
      {PlantWriteFate::Unknown, "Ni znano, ali je zapisano: "}};
  std::string text;
  for (const auto& [fate, caption] : groups) {
    std::string items;
    for (std::size_t k = 0; k < writes.size() && k < fates.size(); ++k) {
      if (fates[k] != fate) continue;
      if (!items.empty()) items += ", ";
      items += "»" + writes[k].Item->ItemId() + "«";
      if (!writes[k].Label.empty()) items += " (" + writes[k].Label + ")";
    }
    if (items.empty()) continue;
    if (!text.empty()) text += " ";
    text += caption + items + ".";
  }
  return text;
}

PlantWriteResult WritePlantSet(const std::vector<PlantWrite>& writes, const PlantWriteContext& c,
                               char separator) {
  PlantWriteResult r;
  r.Fates.assign(writes.size(), PlantWriteFate::NotWritten);
  const Refusal refused = CheckSet(writes, c, separator);
  r.Text = refused.Text;
  if (!r.Text.empty()) {
    // The plant's record holds the refusal too: the item and value refused and why, or
    // every write of a set refused whole.
    bool logged = true;
    for (std::size_t k = 0; k < writes.size(); ++k) {
      if (!writes[k].Item || (refused.Write && *refused.Write != k)) continue;
      logged &= Log(c, *writes[k].Item, std::numeric_limits<double>::quiet_NaN(), writes[k].Value,
                    "zavrnjeno pred zapisom: " + refused.Why);
    }
    r.LogFailed = !logged;
    return r;
  }

  for (const PlantWrite& w : writes) r.Previous.push_back(Present(*w.Item));
  std::size_t done = 0;
  std::string refusal;
  bool logged = true;
  for (; done < writes.size(); ++done) {
    if (auto refused = WriteAndLog(writes[done], c, r.Previous[done], logged)) {
      refusal = *refused;
      break;
    }
    r.Fates[done] = PlantWriteFate::Written;
  }

  if (done < writes.size() && !LinkUp(c)) {
    // The link went during the write: the server may have taken it or not, and nothing
    // can be restored. Said as it stands; the items are read again once the link is back.
    r.Fates[done] = PlantWriteFate::Unknown;
    r.Outcome = PlantWriteOutcome::Unknown;
    r.ReadBack.assign(writes.size(), std::numeric_limits<double>::quiet_NaN());
    r.LogFailed = !logged;
    r.Text = "Povezava s strežnikom je bila prekinjena med zapisom v točko »" +
             writes[done].Item->ItemId() + "« (" + refusal + "). " +
             PlantWriteFatesText(writes, r.Fates) +
             " Kaj točke hranijo, bo prebrano ob ponovni povezavi s strežnikom.";
    return r;
  }

  bool restored = true;
  if (done < writes.size()) {
    // The items written before the refusal get their old values back, last first.
    for (std::size_t k = done; k-- > 0;) {
      const PlantWrite& w = writes[k];
      const double old = r.Previous[k];
      try {
        if (!std::isfinite(old) || !LinkUp(c)) throw OpcError("ni prejšnje vrednosti ali povezave");
        w.Item->Write(old);
        r.Fates[k] = PlantWriteFate::RolledBack;
        logged &= Log(c, *w.Item, w.Value, old, "povrnjeno po zavrnitvi");
      } catch (const OpcError& e) {
        restored = false;
        logged &= Log(c, *w.Item, w.Value, old, std::string("ni povrnjeno: ") + e.what());
      }
    }
  }

  std::string held;
  for (std::size_t k = 0; k < writes.size(); ++k) {
    r.ReadBack.push_back(Present(*writes[k].Item));
    if (!held.empty()) held += ", ";
    held += "»" + writes[k].Item->ItemId() +
            "« = " + (std::isfinite(r.ReadBack[k]) ? Number(r.ReadBack[k], separator) : "?");
  }
  r.LogFailed = !logged;
  if (done == writes.size()) {
    r.Outcome = PlantWriteOutcome::Written;
    return r;
  }
  // A restored item reads back its old value; anything else is reported as it stands.
  for (std::size_t k = 0; k < done; ++k)
    if (!(r.ReadBack[k] == r.Previous[k])) restored = false;
  r.Outcome = restored ? PlantWriteOutcome::RolledBack : PlantWriteOutcome::Incomplete;
  r.Text = Named(writes[done]) + " je zapis zavrnila (" + refusal + "). " +
           (done == 0  ? std::string("Nič ni bilo zapisano.")
            : restored ? std::string("Že zapisane točke imajo spet prejšnje vrednosti.")
                       : std::string("Prejšnjih vrednosti ni bilo mogoče povrniti v vse točke!")) +
           " Zdaj: " + held + ".";
  return r;
}

void WritePlantValue(const PlantWrite& w, const PlantWriteContext& c) {
  const auto refuse = [&](const std::string& why) {
    Log(c, *w.Item, std::numeric_limits<double>::quiet_NaN(), w.Value, "zavrnjeno: " + why);
    throw OpcError("Cannot write Items: " + w.Item->ItemId() + " (" + why + ")");
  };
  if (c.Simulated || !LinkUp(c)) return;  // nothing goes to a plant that is not there
  if (FitOfValue(w.Item->DataType(), w.Value) != OpcValueFit::Fits)
    refuse(PlantWriteProblem(*w.Item, w.Value, '.'));
  const double previous = std::isnan(w.Before) ? w.Item->Value() : w.Before;
  bool logged = true;  // a sample's write goes on whatever the log does
  if (auto refused = WriteAndLog(w, c, previous, logged)) throw OpcError(*refused);
}
