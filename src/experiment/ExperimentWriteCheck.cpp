#include "experiment/ExperimentWriteCheck.h"

#include <cmath>

namespace {
bool Assigned(const OpcItemPtr& item) { return item && !item->ItemId().empty(); }
}  // namespace

std::vector<PlantWrite> ExperimentWrites(const ExperimentSetup& s) {
  std::vector<PlantWrite> writes;
  if (s.NoOpcWrite) return writes;
  if (s.SingleRASwitch) {
    if (Assigned(s.ItemRA)) {
      const double manual = s.ManualValue, automatic = std::abs(s.ManualValue - 1);
      writes.push_back({s.ItemRA, manual, "R/A ročno", true});
      writes.push_back({s.ItemRA, automatic, "R/A avtomatsko", true});
    }
  } else {
    if (Assigned(s.ItemManual)) writes.push_back({s.ItemManual, 1, "preklop v ročno", true});
    if (Assigned(s.ItemAuto)) writes.push_back({s.ItemAuto, 1, "preklop v avtomatsko", true});
  }
  if (s.ItemMV) {
    // The starting MV: the one typed, or the plant's own (which it holds already).
    const double mv = s.KeepInitialInput ? s.ItemMV->Value() : s.InitialInput;
    writes.push_back({s.ItemMV, std::isfinite(mv) ? mv : s.InitialInput, "MV", false});
  }
  return writes;
}

std::string CheckExperimentWrites(const ExperimentSetup& setup, const PlantWriteContext& context,
                                  char separator) {
  const std::string why = CheckPlantWrites(ExperimentWrites(setup), context, separator);
  if (why.empty()) return why;
  return "Eksperiment ni začet: " + why + " V obrat ni bilo nič zapisano.";
}

std::string MvUnreachableMessage(const OpcItem* mv, bool connected) {
  if (!connected || !mv) return NoConnectionMessage;
  if (mv->ItemId().empty())
    return "Točka MV ni vpisana v tabelo OPC. Aktivirana je simulacija procesa; v obrat se nič "
           "ne piše.";
  std::string why = PlantWriteProblem(*mv, 0, '.');
  if (why.empty() || why == "ni povezana s strežnikom") why = "ni dosegla dobre kakovosti";
  return "Točka MV »" + mv->ItemId() + "« " + why +
         ". Aktivirana je simulacija procesa; v obrat se nič ne piše.";
}
