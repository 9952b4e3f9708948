// The OPC UA client on loopback against the node-opcua test plant (installed into the
// build folder by the tests; VORTUNER_BINARY_DIR names it): the round trip of one Read,
// of an experiment tick's group read, and a connect. Each reports its median (p50_us).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "data/Clock.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaClient.h"

namespace {

// One test plant for the whole benchmark run; empty URL when it is not installed.
class BenchPeer {
 public:
  static const std::string& Url() {
    static BenchPeer peer;
    return peer.url_;
  }
  ~BenchPeer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(folder_);
  }

 private:
  BenchPeer() {
    const char* build = std::getenv("VORTUNER_BINARY_DIR");
    const std::string dir = std::string(build ? build : "build") + "/ua-peer";
    if (!std::filesystem::exists(dir + "/node_modules")) return;
    folder_ = dir + "/bench-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder_);
    const std::string portFile = folder_ + "/port", script = dir + "/plant_server.js";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execlp("node", "node", script.c_str(), portFile.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 600 && !std::filesystem::exists(portFile); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::ifstream in(portFile);
    std::string port;
    if (in >> port) url_ = "opc.tcp://127.0.0.1:" + port;
  }
  std::string folder_, url_;
  pid_t pid_ = -1;
};

// Times each iteration and reports the median in microseconds.
template <typename F>
void Timed(benchmark::State& state, F&& once) {
  std::vector<double> us;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    once();
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
  state.counters["p50_us"] = us.empty() ? 0 : us[us.size() / 2];
}

}  // namespace

static void BM_UaReadRoundTrip(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  UaClient client;
  client.Connect(BenchPeer::Url());
  const std::vector<UaReadValueId> nodes{{ParseNodeId("ns=2;s=Y1")}};
  Timed(state, [&] { benchmark::DoNotOptimize(client.Read(nodes)); });
}
BENCHMARK(BM_UaReadRoundTrip)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// What an experiment tick costs on the plant: MV written, then U, Y1, Y2 read in one
// request of the group.
static void BM_UaExperimentTick(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  ManualClock clock;
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(BenchPeer::Url(), "");
  OpcGroup& group = opc->AddGroup("Skupina1");
  group.SetUpdateRateMs(10);
  auto mv = group.AddItem("ns=2;s=MV"), u = group.AddItem("ns=2;s=U"),
       y1 = group.AddItem("ns=2;s=Y1"), y2 = group.AddItem("ns=2;s=Y2");
  double value = 0;
  Timed(state, [&] {
    clock.AdvanceMs(50);
    mv->Write(value = value == 10 ? 20 : 10);
    benchmark::DoNotOptimize(u->Value() + y1->Value() + y2->Value());
  });
}
BENCHMARK(BM_UaExperimentTick)->Iterations(1000)->Unit(benchmark::kMicrosecond);

static void BM_UaConnect(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  Timed(state, [&] {
    UaClient client;
    client.Connect(BenchPeer::Url());
  });
}
BENCHMARK(BM_UaConnect)->Iterations(50)->Unit(benchmark::kMillisecond);
