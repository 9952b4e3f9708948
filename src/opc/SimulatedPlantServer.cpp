#include "opc/SimulatedPlantServer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "data/NumericHelpers.h"

SimulatedPlantServer::SimulatedPlantServer(const Clock& clock,
                                           const SimulatedPlantParameters& parameters)
    : clock_(clock),
      plant_(parameters),
      tank_(TankLevelParameters()),
      stepMs_(std::max<std::int64_t>(1, RoundToInt(parameters.StepSeconds * 1000))),
      plantTimeMs_(clock.TickCountMs()) {
  namespace id = SimulatedPlantItems;
  const LocalOpcItemInfo signal{false, parameters.OutputMinimum, parameters.OutputMaximum};
  const LocalOpcItemInfo writableSignal{true, parameters.OutputMinimum, parameters.OutputMaximum};
  const LocalOpcItemInfo parameter{true, 0, 0};
  items_[id::MV] = {writableSignal, [](const SimulatedPlant& p) { return p.ManualOutput(); },
                    [](SimulatedPlant& p, double v) { p.SetManualOutput(v); }};
  items_[id::U] = {signal, [](const SimulatedPlant& p) { return p.U(); }, nullptr};
  items_[id::Y1] = {signal, [](const SimulatedPlant& p) { return p.Y1(); }, nullptr};
  items_[id::Y2] = {signal, [](const SimulatedPlant& p) { return p.Y2(); }, nullptr};
  items_[id::SP] = {writableSignal, [](const SimulatedPlant& p) { return p.SetPoint(); },
                    [](SimulatedPlant& p, double v) { p.SetSetPoint(v); }};
  items_[id::P] = {parameter, [](const SimulatedPlant& p) { return p.P(); },
                   [](SimulatedPlant& p, double v) { p.SetP(v); }};
  items_[id::I] = {parameter, [](const SimulatedPlant& p) { return p.I(); },
                   [](SimulatedPlant& p, double v) { p.SetI(v); }};
  items_[id::D] = {parameter, [](const SimulatedPlant& p) { return p.D(); },
                   [](SimulatedPlant& p, double v) { p.SetD(v); }};
  // The switches hold what a controller's switches hold: R/A an integer, manual and
  // automatic a Boolean.
  LocalOpcItemInfo integerSwitch = parameter, booleanSwitch = parameter;
  integerSwitch.Type = OpcDataType::Int32;
  booleanSwitch.Type = OpcDataType::Boolean;
  items_[id::RA] = {integerSwitch,
                    [](const SimulatedPlant& p) { return p.Automatic() ? 1.0 : 0.0; },
                    [](SimulatedPlant& p, double v) { p.SetAutomatic(v != 0); }};
  items_[id::Manual] = {booleanSwitch,
                        [](const SimulatedPlant& p) { return p.Automatic() ? 0.0 : 1.0; },
                        [](SimulatedPlant& p, double v) {
                          if (v != 0) p.SetAutomatic(false);
                        }};
  items_[id::Auto] = {booleanSwitch,
                      [](const SimulatedPlant& p) { return p.Automatic() ? 1.0 : 0.0; },
                      [](SimulatedPlant& p, double v) {
                        if (v != 0) p.SetAutomatic(true);
                      }};
  // The tank's items work as the plant's of the same role, on the tank.
  const std::pair<const char*, const char*> tankItems[] = {
      {id::TankMV, id::MV},         {id::TankU, id::U},      {id::TankLevel, id::Y1},
      {id::TankY2, id::Y2},         {id::TankSP, id::SP},    {id::TankP, id::P},
      {id::TankI, id::I},           {id::TankD, id::D},      {id::TankRA, id::RA},
      {id::TankManual, id::Manual}, {id::TankAuto, id::Auto}};
  for (const auto& [tankId, plantId] : tankItems) {
    Item item = items_.at(plantId);
    item.OfTank = true;
    items_[tankId] = item;
  }
}

std::vector<std::string> SimulatedPlantServer::ItemIds() const {
  std::vector<std::string> ids;
  ids.reserve(items_.size());
  for (const auto& [itemId, item] : items_) ids.push_back(itemId);
  return ids;
}

std::optional<LocalOpcItemInfo> SimulatedPlantServer::Find(const std::string& itemId) const {
  const auto it = items_.find(itemId);
  if (it == items_.end()) return std::nullopt;
  return it->second.Info;
}

void SimulatedPlantServer::AdvanceToNow() {
  const std::int64_t now = clock_.TickCountMs();
  if (now - plantTimeMs_ > MaxCatchUpMs) plantTimeMs_ = now - MaxCatchUpMs;
  while (now - plantTimeMs_ >= stepMs_) {
    plant_.Step();
    tank_.Step();
    plantTimeMs_ += stepMs_;
  }
}

double SimulatedPlantServer::Read(const std::string& itemId) {
  AdvanceToNow();
  const auto it = items_.find(itemId);
  if (it == items_.end()) return 0.0;
  return it->second.Get(it->second.OfTank ? tank_ : plant_);
}

bool SimulatedPlantServer::Write(const std::string& itemId, double value) {
  const auto it = items_.find(itemId);
  if (it == items_.end() || !it->second.Set || !it->second.Info.Writable ||
      FitOfValue(it->second.Info.Type, value) != OpcValueFit::Fits)
    return false;
  AdvanceToNow();
  it->second.Set(it->second.OfTank ? tank_ : plant_, value);
  return true;
}

bool SimulatedPlantServer::SetWritable(const std::string& itemId, bool writable) {
  const auto it = items_.find(itemId);
  if (it == items_.end()) return false;
  it->second.Info.Writable = writable && it->second.Set != nullptr;
  return true;
}
