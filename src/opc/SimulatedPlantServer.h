// The built-in simulated plant server: the simulated plant and its controller behind
// items, advancing at the plant's own step on the given clock. It advances lazily, to
// the clock's present time, whenever an item is read or written, so the plant's course
// depends only on the clock and the writes, never on who reads how often.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "data/Clock.h"
#include "opc/LocalOpcServer.h"
#include "opc/SimulatedPlant.h"

// The identifier under which the local client lists this server.
inline constexpr const char* SimulatedPlantServerName = "VorTuner.SimulatedPlant.1";

// Its items.
namespace SimulatedPlantItems {
inline constexpr const char* MV = "Plant.MV";  // manual output (valve position), read/write
inline constexpr const char* U = "Plant.U";    // actuator position, read only
inline constexpr const char* Y1 = "Plant.Y1";  // inner measurement, read only
inline constexpr const char* Y2 = "Plant.Y2";  // outer measurement, read only
inline constexpr const char* SP = "Controller.SP";
inline constexpr const char* P = "Controller.P";
inline constexpr const char* I = "Controller.I";
inline constexpr const char* D = "Controller.D";
inline constexpr const char* RA = "Controller.RA";          // 0 manual, 1 automatic
inline constexpr const char* Manual = "Controller.Manual";  // writing 1 switches to manual
inline constexpr const char* Auto = "Controller.Auto";      // writing 1 switches to automatic
// The tank-level loop (TankLevelParameters): an integrating process to try.
inline constexpr const char* TankMV = "Tank.MV";        // inflow valve, manual output
inline constexpr const char* TankU = "Tank.U";          // inflow valve position, read only
inline constexpr const char* TankLevel = "Tank.Level";  // level Y1 [%], read only
inline constexpr const char* TankY2 = "Tank.Y2";        // downstream measurement, read only
inline constexpr const char* TankSP = "LevelController.SP";
inline constexpr const char* TankP = "LevelController.P";
inline constexpr const char* TankI = "LevelController.I";
inline constexpr const char* TankD = "LevelController.D";
inline constexpr const char* TankRA = "LevelController.RA";
inline constexpr const char* TankManual = "LevelController.Manual";
inline constexpr const char* TankAuto = "LevelController.Auto";
}  // namespace SimulatedPlantItems

class SimulatedPlantServer final : public LocalOpcServer {
 public:
  // A gap longer than this (the program asleep, a clock jump) is skipped, not simulated:
  // the plant is long settled by then.
  static constexpr std::int64_t MaxCatchUpMs = 3'600'000;

  SimulatedPlantServer(const Clock& clock, const SimulatedPlantParameters& parameters = {});

  OpcServerState State() const override { return OpcServerState::Running; }
  std::vector<std::string> ItemIds() const override;
  std::optional<LocalOpcItemInfo> Find(const std::string& itemId) const override;
  double Read(const std::string& itemId) override;
  bool Write(const std::string& itemId, double value) override;

  // Makes a known item read-only or writable, as a plant's configuration would; a test's
  // way to meet a write-protected item. False for an ID the server does not know.
  bool SetWritable(const std::string& itemId, bool writable);

  // Runs the plant's steps up to the clock's present time.
  void AdvanceToNow();
  const SimulatedPlant& Plant() const { return plant_; }
  const SimulatedPlant& Tank() const { return tank_; }

 private:
  struct Item {
    LocalOpcItemInfo Info;
    std::function<double(const SimulatedPlant&)> Get;
    std::function<void(SimulatedPlant&, double)> Set;  // empty: read only
    bool OfTank = false;                               // an item of the tank-level loop
  };

  const Clock& clock_;
  SimulatedPlant plant_;
  SimulatedPlant tank_;
  std::int64_t stepMs_;
  std::int64_t plantTimeMs_;  // clock time of the plant's last step
  std::map<std::string, Item> items_;
};
