// The OPC UA client on loopback against the node-opcua test plant (installed into the
// build folder by the tests; VORTUNER_BINARY_DIR names it): the round trip of one Read,
// of an experiment tick's group read, and a connect. Each reports its median (p50_us).
// The two ways of keeping a group's values current are measured side by side: a Read of
// the group at each tick, and a subscription whose changes arrive in Publish answers;
// for each, what a tick costs and how long a written value takes to be seen.
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

namespace {

const std::vector<std::string> TickNodes{"ns=2;s=MV", "ns=2;s=U", "ns=2;s=Y1", "ns=2;s=Y2"};

// A session that monitors the tick's nodes, handles 0..3, sampled and published as fast
// as the server allows; the plant's MV is the value last written.
struct SubscribedTick {
  explicit SubscribedTick(const std::string& url) {
    client.Connect(url);
    const UaSubscription sub = client.CreateSubscription(10, 100);
    std::vector<UaMonitoredItemRequest> items;
    for (std::uint32_t i = 0; i < TickNodes.size(); ++i)
      items.push_back({ParseNodeId(TickNodes[i]), i, 10, 0});
    client.CreateMonitoredItems(sub.Id, items);
    PublishingIntervalMs = sub.PublishingIntervalMs;
  }
  void Take(int waitMs) {
    for (const UaDataChange& c : client.Publish(waitMs)) values[c.ClientHandle] = c.Value.Value.ToDouble();
  }
  UaClient client;
  double values[4] = {};
  double PublishingIntervalMs = 0;
};

void WriteMv(UaClient& client, double value) {
  client.Write({{ParseNodeId("ns=2;s=MV"), UaVariant::Scalar(UaType::Double, value)}});
}

}  // namespace

// A tick with the values kept by a subscription: MV written, the changes that arrived taken.
static void BM_UaExperimentTickBySubscription(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  SubscribedTick tick(BenchPeer::Url());
  double value = 0;
  Timed(state, [&] {
    WriteMv(tick.client, value = value == 10 ? 20 : 10);
    tick.Take(0);
    benchmark::DoNotOptimize(tick.values[1] + tick.values[2] + tick.values[3]);
  });
  state.counters["publishing_ms"] = tick.PublishingIntervalMs;
}
BENCHMARK(BM_UaExperimentTickBySubscription)->Iterations(1000)->Unit(benchmark::kMicrosecond);

// From writing MV until the group shows the written value: by a Read ...
static void BM_UaWrittenValueSeenByRead(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  UaClient client;
  client.Connect(BenchPeer::Url());
  std::vector<UaReadValueId> nodes;
  for (const std::string& n : TickNodes) nodes.push_back({ParseNodeId(n)});
  double value = 0;
  Timed(state, [&] {
    WriteMv(client, value = value == 10 ? 20 : 10);
    while (client.Read(nodes)[0].Value.ToDouble() != value) {
    }
  });
}
BENCHMARK(BM_UaWrittenValueSeenByRead)->Iterations(200)->Unit(benchmark::kMicrosecond);

// ... and by the subscription.
static void BM_UaWrittenValueSeenBySubscription(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  SubscribedTick tick(BenchPeer::Url());
  double value = 0;
  Timed(state, [&] {
    WriteMv(tick.client, value = value == 10 ? 20 : 10);
    while (tick.values[0] != value) tick.Take(1000);
  });
}
BENCHMARK(BM_UaWrittenValueSeenBySubscription)->Iterations(200)->Unit(benchmark::kMicrosecond);

static void BM_UaConnect(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  Timed(state, [&] {
    UaClient client;
    client.Connect(BenchPeer::Url());
  });
}
BENCHMARK(BM_UaConnect)->Iterations(50)->Unit(benchmark::kMillisecond);
