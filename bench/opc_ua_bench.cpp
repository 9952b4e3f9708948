// The OPC UA client on loopback against the node-opcua test plant (installed into the
// build folder by the tests; VORTUNER_BINARY_DIR names it): the round trip of one Read,
// of an experiment tick's group read, and a connect. Each reports its median (p50_us).
// The two ways of keeping a group's values current are measured side by side: a Read of
// the group at each tick, and a subscription whose changes arrive in Publish answers;
// for each, what a tick costs and how long a written value takes to be seen.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QEventLoop>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "app/TForm1.h"
#include "data/Clock.h"
#include "experiment/ExperimentRun.h"
#include "experiment/ui/ExperimentPage.h"
#include "experiment/ui/TEksperiment.h"
#include "opc/PlantOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaClient.h"
#include "support/LatencyProxy.h"
#include "support/NoSubscriptionGroup.h"

namespace {

// One test plant for the whole benchmark run (and one secured plant); empty URL when it
// is not installed.
class BenchPeer {
 public:
  static const std::string& Url() {
    static BenchPeer peer(false);
    return peer.url_;
  }
  static const std::string& SecureUrl() {
    static BenchPeer peer(true);
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
  explicit BenchPeer(bool secure) {
    const char* build = std::getenv("VORTUNER_BINARY_DIR");
    const std::string dir = std::string(build ? build : "build") + "/ua-peer";
    if (!std::filesystem::exists(dir + "/node_modules")) return;
    folder_ = dir + (secure ? "/bench-secure-" : "/bench-") + std::to_string(::getpid());
    std::filesystem::create_directories(folder_);
    const std::string portFile = folder_ + "/port", script = dir + "/plant_server.js";
    pid_ = ::fork();
    if (pid_ == 0) {
      if (secure)
        ::execlp("node", "node", script.c_str(), portFile.c_str(), "secure",
                 static_cast<char*>(nullptr));
      else
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

// The same Read on a channel signed and encrypted with Basic256Sha256, as a user.
static void BM_UaReadRoundTripSignAndEncrypt(benchmark::State& state) {
  if (BenchPeer::SecureUrl().empty()) return state.SkipWithError("the test plant is not installed");
  const std::string pki =
      std::filesystem::temp_directory_path() / ("vortuner-bench-pki-" + std::to_string(::getpid()));
  UaConnectOptions options;
  options.Security = UaSecurityChoice::Encrypt;
  options.Policy = "Basic256Sha256";
  options.User = "inzenir";
  options.Password = "Geslo-Zanka-7";
  options.PkiFolder = pki;
  options.AskTrust = [](const UaCertificateSummary&) { return UaTrustAnswer::Once; };
  UaClient client;
  client.Connect(BenchPeer::SecureUrl(), options);
  const std::vector<UaReadValueId> nodes{
      {client.Resolve(ParseNodeId("nsu=urn:vortuner:plant;s=Y1"))}};
  Timed(state, [&] { benchmark::DoNotOptimize(client.Read(nodes)); });
  client.Close();
  std::filesystem::remove_all(pki);
}
BENCHMARK(BM_UaReadRoundTripSignAndEncrypt)->Iterations(2000)->Unit(benchmark::kMicrosecond);

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

// A manual experiment of one minute at 50 ms sampling on the test plant, in real time, as
// the experiment window runs it: its own timer, charts and labels, MV stepped from 10 to
// 20 after 10 s. Reports the samples recorded against the 50 ms periods of the run
// (ticks_of_the_run), the intervals between the timer's ticks (missed: one longer than
// one and a half periods; doubled: one shorter than half), what a tick took, and samples
// whose Y1 repeats the one before while the plant moves (a stale read), and the window
// thread's longest busy stretch (busy_max_ms, the window shown and painted).
static void BM_UaManualExperimentMinute(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  constexpr int PeriodMs = 50;
  const int runMs = static_cast<int>(state.range(0));
  SystemClock clock;
  auto opc = CreatePlantOpcClient(clock, "", "");
  ApplicationWindows windows = CreateApplicationWindows(*opc, clock);
  TForm1& form = *windows.Form1;
  TEksperiment& window = *windows.Eksperiment;
  opc->Connect(BenchPeer::Url(), "");
  OpcGroup& group = window.ExperimentGroup();  // the group the sampler reads in one request
  ExperimentSetup& setup = window.Run().Setup;
  setup.SamplePeriodMs = PeriodMs;
  setup.InitialInput = 10;
  setup.ItemMV = group.AddItem("ns=2;s=MV");
  setup.ItemU = group.AddItem("ns=2;s=U");
  setup.ItemY1 = group.AddItem("ns=2;s=Y1");
  setup.ItemY2 = group.AddItem("ns=2;s=Y2");
  setup.SingleRASwitch = true;
  setup.ItemRA = group.AddItem("ns=2;s=RA");
  form.ExperimentTab().RadioRocno->setChecked(true);
  // The plant at rest in manual at MV 10 (Y1 = 2 * MV).
  setup.ItemRA->WriteInteger(0);
  setup.ItemMV->Write(10);
  for (int i = 0; i < 400 && std::abs(setup.ItemY1->Value() - 20) > 0.01; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

  // The window's tick, timed: when the timer fired and how long the sample took.
  std::vector<std::chrono::steady_clock::time_point> ticks;
  std::vector<double> tickMs;
  QObject::disconnect(window.Timer1, &QTimer::timeout, &window, nullptr);
  QObject::connect(window.Timer1, &QTimer::timeout, &window, [&] {
    ticks.push_back(std::chrono::steady_clock::now());
    window.Timer1Timer();
    tickMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ticks.back())
            .count());
  });
  // The window's thread as a whole (ticks, relayouts, painting of the shown window): a
  // heartbeat every 2 ms, and between two beats the real time (which a loaded machine's
  // other work inflates) and the thread's own CPU time (which it does not); the first
  // second, with the window's first layout and painting, apart.
  struct Busy {
    std::chrono::steady_clock::time_point runStart, lastBeat;
    double lastCpu = 0, maxMs = 0, maxCpuMs = 0, startCpuMs = 0, maxCpuAtS = 0;
    std::vector<double> cpuMs;  // each stretch past the first second
  } busy;
  const auto cpuMs = [] {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
  };
  QTimer heartbeat;
  heartbeat.setTimerType(Qt::PreciseTimer);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const auto now = std::chrono::steady_clock::now();
    const double cpu = cpuMs();
    if (now - busy.runStart < std::chrono::seconds(1)) {
      busy.startCpuMs = std::max(busy.startCpuMs, cpu - busy.lastCpu);
    } else {
      busy.maxMs = std::max(
          busy.maxMs, std::chrono::duration<double, std::milli>(now - busy.lastBeat).count() - 2);
      if (cpu - busy.lastCpu > busy.maxCpuMs)
        busy.maxCpuAtS = std::chrono::duration<double>(now - busy.runStart).count();
      busy.maxCpuMs = std::max(busy.maxCpuMs, cpu - busy.lastCpu);
      busy.cpuMs.push_back(cpu - busy.lastCpu);
    }
    busy.lastBeat = now;
    busy.lastCpu = cpu;
  });
  std::chrono::steady_clock::time_point end;
  for (auto _ : state) {
    QEventLoop loop;
    QTimer::singleShot(10'000, [&] {
      window.VrednostVhodaEdit->setText(QStringLiteral("20"));
      window.VrednostVhodaEditKeyPress();
    });
    QTimer::singleShot(runMs, &loop, &QEventLoop::quit);
    const auto start = std::chrono::steady_clock::now();
    ticks.push_back(start);
    busy.runStart = busy.lastBeat = std::chrono::steady_clock::now();
    busy.lastCpu = cpuMs();
    heartbeat.start(2);
    window.show();  // the first sample at once, then one each period
    loop.exec();
    heartbeat.stop();
    window.Timer1->stop();
    window.hide();
    end = std::chrono::steady_clock::now();
  }
  const MeasurementStore& store = form.Store();
  const int samples = store.SampleCount - 1;
  const double elapsedMs = std::chrono::duration<double, std::milli>(end - ticks.front()).count();
  std::vector<double> intervals;
  for (std::size_t i = 1; i < ticks.size(); ++i)
    intervals.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
  const auto count = [&](auto pred) {
    return std::count_if(intervals.begin(), intervals.end(), pred);
  };
  int stale = 0;
  for (int k = 202; k <= samples; ++k)  // the plant moving after the step at 10 s
    stale += store.DataColumns[5][k] == store.DataColumns[5][k - 1];
  state.counters["slowest_tick_at"] = static_cast<double>(
      std::max_element(intervals.begin(), intervals.end()) - intervals.begin() + 1);
  std::sort(intervals.begin(), intervals.end());
  std::sort(tickMs.begin(), tickMs.end());
  state.counters["tick_p50_ms"] = tickMs[tickMs.size() / 2];
  state.counters["tick_max_ms"] = tickMs.back();
  state.counters["busy_max_ms"] = busy.maxMs;
  state.counters["busy_cpu_max_ms"] = busy.maxCpuMs;
  state.counters["busy_cpu_max_at_s"] = busy.maxCpuAtS;
  std::sort(busy.cpuMs.begin(), busy.cpuMs.end());
  if (!busy.cpuMs.empty())
    state.counters["busy_cpu_p999_ms"] = busy.cpuMs[busy.cpuMs.size() * 999 / 1000];
  state.counters["busy_cpu_first_second_ms"] = busy.startCpuMs;
  state.counters["samples"] = samples;
  state.counters["ticks_of_the_run"] = std::floor(elapsedMs / PeriodMs) + 1;
  state.counters["missed"] =
      static_cast<double>(count([](double ms) { return ms > 1.5 * PeriodMs; }));
  state.counters["doubled"] =
      static_cast<double>(count([](double ms) { return ms < 0.5 * PeriodMs; }));
  state.counters["interval_min_ms"] = intervals.front();
  state.counters["interval_p50_ms"] = intervals[intervals.size() / 2];
  state.counters["interval_max_ms"] = intervals.back();
  state.counters["stale_y1"] = stale;
  state.counters["simulated"] = window.Run().Findings.SimulatedSamples;
  state.counters["errors"] = window.Run().Findings.Errors + window.Run().Findings.InvalidValues;
}
BENCHMARK(BM_UaManualExperimentMinute)->Arg(60'000)->Iterations(1)->Unit(benchmark::kSecond);

// The sampler on its own clock at 50 ms against the test plant, directly on loopback
// (Arg 0) and through a relay adding 40 ms ± 10 ms of round trip (Arg 40): the time from
// each period's deadline to the plant's answer (p50, p99, max), and the periods held or
// answered late, over runs of 30 s.
static void BM_SamplerJitter(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  const int latencyMs = static_cast<int>(state.range(0));
  const std::string url = BenchPeer::Url();
  LatencyProxy proxy(std::stoi(url.substr(url.rfind(':') + 1)));
  proxy.SetLatency(latencyMs, latencyMs > 0 ? 10 : 0);
  SystemClock clock;
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(latencyMs > 0 ? proxy.Url() : url, "");
  OpcGroup& group = opc->AddGroup("Skupina1");
  group.SetUpdateRateMs(10);
  auto store = std::make_unique<MeasurementStore>();
  ExperimentRun run(*store, *opc);
  run.SetReadGroup(&group);
  run.Setup.SamplePeriodMs = 50;
  run.Setup.InitialInput = 10;
  run.Setup.ItemMV = group.AddItem("ns=2;s=MV");
  run.Setup.ItemU = group.AddItem("ns=2;s=U");
  run.Setup.ItemY1 = group.AddItem("ns=2;s=Y1");
  run.Setup.ItemY2 = group.AddItem("ns=2;s=Y2");
  std::vector<double> delays;
  for (auto _ : state) {
    run.Create();
    run.Begin();
    run.StartSampling();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (const ExperimentSample& s : run.TakeArrived(false))
        if (s.ReadDelayMs >= 0) delays.push_back(s.ReadDelayMs);
    }
    run.Finish();
  }
  std::sort(delays.begin(), delays.end());
  const auto at = [&](double q) {
    return delays.empty() ? 0 : delays[static_cast<std::size_t>(q * (delays.size() - 1))];
  };
  state.counters["read_p50_ms"] = at(0.5);
  state.counters["read_p99_ms"] = at(0.99);
  state.counters["read_max_ms"] = delays.empty() ? 0 : delays.back();
  state.counters["samples"] = store->SampleCount;
  state.counters["held"] = run.Findings.HeldSamples;
  state.counters["late"] = run.Findings.LateSamples;
}
BENCHMARK(BM_SamplerJitter)->Arg(0)->Arg(40)->Iterations(1)->Unit(benchmark::kSecond);

// Every period its own sample? The sampler at 0,05 s against the test plant through a relay
// of 40 or 90 ms ± 10 ms round trip, by subscription (Arg 1) or by reads at the deadlines
// (Arg 0, a server without subscriptions), over runs of 30 s: the share of periods with a
// sample of their own (not held), and the source-time jitter, |Δ source time − 50 ms| of
// consecutive own samples (p50, p99).
static void BM_SamplerOwnSamples(benchmark::State& state) {
  if (BenchPeer::Url().empty()) return state.SkipWithError("the test plant is not installed");
  const int latencyMs = static_cast<int>(state.range(0));
  const bool bySubscription = state.range(1) != 0;
  const std::string url = BenchPeer::Url();
  LatencyProxy proxy(std::stoi(url.substr(url.rfind(':') + 1)));
  proxy.SetLatency(latencyMs, 10);
  SystemClock clock;
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(proxy.Url(), "");
  OpcGroup* group = &opc->AddGroup("Skupina1");
  NoSubscriptionGroup reads(*group);
  if (!bySubscription) group = &reads;
  group->SetUpdateRateMs(10);
  auto store = std::make_unique<MeasurementStore>();
  ExperimentRun run(*store, *opc);
  run.SetReadGroup(group);
  run.Setup.SamplePeriodMs = 50;
  run.Setup.InitialInput = 10;
  run.Setup.ItemMV = group->AddItem("ns=2;s=MV");
  run.Setup.ItemU = group->AddItem("ns=2;s=U");
  run.Setup.ItemY1 = group->AddItem("ns=2;s=Y1");
  run.Setup.ItemY2 = group->AddItem("ns=2;s=Y2");
  std::vector<PlantSample> samples;
  for (auto _ : state) {
    run.Create();
    run.Begin();
    run.StartSampling();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      for (PlantSample& s : run.Sampler().TakeSamples()) samples.push_back(std::move(s));
    }
    run.Sampler().Stop();
    for (PlantSample& s : run.Sampler().TakeSamples()) samples.push_back(std::move(s));
    run.Finish();
  }
  std::vector<double> jitter;
  int own = 0;
  std::int64_t lastSourceMs = 0;
  for (const PlantSample& s : samples) {
    if (s.Held || s.Simulated) {
      lastSourceMs = 0;
      continue;
    }
    ++own;
    const std::int64_t source = s.Reading.SourceTimeMs;
    if (lastSourceMs > 0 && source > 0)
      jitter.push_back(std::abs(double(source - lastSourceMs) - 50));
    lastSourceMs = source;
  }
  std::sort(jitter.begin(), jitter.end());
  const auto at = [&](double q) {
    return jitter.empty() ? 0 : jitter[static_cast<std::size_t>(q * (jitter.size() - 1))];
  };
  state.counters["periods"] = static_cast<double>(samples.size());
  state.counters["own_pct"] = samples.empty() ? 0 : 100.0 * own / samples.size();
  state.counters["jitter_p50_ms"] = at(0.5);
  state.counters["jitter_p99_ms"] = at(0.99);
  state.counters["round_trip_ms"] = run.Findings.RoundTripMs;
}
BENCHMARK(BM_SamplerOwnSamples)
    ->Args({40, 1})
    ->Args({90, 1})
    ->Args({40, 0})
    ->Args({90, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
