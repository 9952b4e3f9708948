#include "experiment/UnattendedExperiment.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "data/Clock.h"
#include "data/TObdelava.h"
#include "experiment/ExperimentSetupBuilder.h"
#include "experiment/ExperimentWriteCheck.h"
#include "opc/QualityWait.h"

char SettingsSeparator(const ExperimentSettings& s) {
  for (const std::string* text :
       {&s.SampleTime, &s.InitialInput, &s.WaitTime, &s.StepSize, &s.StepDuration, &s.MvMax,
        &s.MvMin, &s.MvStep, &s.Y1Min, &s.Y1Max, &s.Y2Min, &s.Y2Max, &s.MaxDuration})
    if (text->find(',') != std::string::npos) return ',';
  return '.';
}

namespace {

using namespace std::chrono;

// What the run's samples say, told once each: a new step, a trip, the link lost, a
// held or late sample.
class SampleEvents {
 public:
  SampleEvents(const ExperimentRun& run, const MeasurementStore& store,
               const std::function<void(const UnattendedEvent&)>& tell)
      : run_(run), store_(store), tell_(tell) {}

  void Take(const ExperimentSample& s) {
    if (s.Held || s.Late) tell_({"late", s.Held ? "held" : "late", s.Time, store_.SampleCount - 1});
    // A step takes effect with the next sample; the sequence's end is no step.
    if (store_.StepCounter != step_ && !s.EndRequested) {
      step_ = store_.StepCounter;
      UnattendedEvent e{"step", "", s.Time + run_.Setup.SamplePeriodMs / 1000.0, step_};
      e.Value = run_.MV;
      tell_(e);
    }
    // The forecast against the envelope, once a step for each limit.
    const std::optional<LimitForecast>& forecast = run_.Forecast();
    if (forecast && !forecastTold_[forecast->High ? 1 : 0].contains(store_.StepCounter)) {
      forecastTold_[forecast->High ? 1 : 0].insert(store_.StepCounter);
      UnattendedEvent e{"forecast", LimitForecastText(*forecast, run_.Setup.Separator), s.Time,
                        store_.StepCounter};
      e.Value = forecast->In;
      tell_(e);
    }
    const std::vector<EarlyStepEnd>& early = run_.Findings.EarlyEnds;
    for (; earlyTold_ < early.size(); ++earlyTold_) {
      const EarlyStepEnd& end = early[earlyTold_];
      UnattendedEvent e{"early end", EarlyStepEndText(end, run_.Setup.Separator), end.Time,
                        end.Step};
      e.Value = end.Lasted;
      tell_(e);
    }
    if (run_.Findings.Trip && !tripTold_) {
      tripTold_ = true;
      tell_({"trip", EnvelopeTripText(*run_.Findings.Trip, run_.Setup.Separator),
             run_.Findings.Trip->Time});
    }
    if (run_.Findings.LinkLost() && !lostTold_) {
      lostTold_ = true;
      tell_(
          {"link lost", "", run_.Findings.FirstSimulatedTime, run_.Findings.FirstSimulatedSample});
    }
  }
  // The link is gone: nothing more reaches the plant, so the run ends here.
  bool LinkLost() const { return lostTold_; }

 private:
  const ExperimentRun& run_;
  const MeasurementStore& store_;
  const std::function<void(const UnattendedEvent&)>& tell_;
  int step_ = 0;
  bool tripTold_ = false, lostTold_ = false;
  std::set<int> forecastTold_[2];  // the steps whose low (0) or high (1) crossing was told
  std::size_t earlyTold_ = 0;
};

// The files the chain wrote since `since`, in its order (its error does not list them).
std::vector<std::string> FilesWritten(const UnattendedJob& job,
                                      std::filesystem::file_time_type since) {
  std::vector<std::string> files;
  for (const char* extension : {".vtd", ".vtm", ".vtc", ".docx", "-opozorila.txt"}) {
    const std::string path = ChainFilePath(job.Folder, job.Label, extension);
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (!error && written >= since) files.push_back(path);
  }
  return files;
}

void Sleep(int ms) { std::this_thread::sleep_for(milliseconds(ms)); }

}  // namespace

UnattendedOutcome RunUnattendedExperiment(const UnattendedJob& job, MeasurementStore& store,
                                          OpcClient& opc, const Clock& clock,
                                          ReportImagePort& images, ReportDocumentPort& report,
                                          const std::atomic<bool>& stop,
                                          const std::function<void(const UnattendedEvent&)>& tell) {
  const ExperimentSettings& settings = job.Settings;
  const char sep = job.Separator;
  ExperimentSetup setup = ReadExperimentSetup(settings, ExperimentKind::Automatic, sep);
  for (auto [limit, given] : {std::pair{&setup.Envelope.Y1Min, job.Envelope.Y1Min},
                              {&setup.Envelope.Y1Max, job.Envelope.Y1Max},
                              {&setup.Envelope.Y2Min, job.Envelope.Y2Min},
                              {&setup.Envelope.Y2Max, job.Envelope.Y2Max},
                              {&setup.Envelope.MaxDuration, job.Envelope.MaxDuration}})
    if (given) *limit = given;
  setup.ExperimentLabel = job.Label;
  if (job.Simulate) setup.PlantConfigured = false;
  UnattendedOutcome out;

  const std::array<std::string, 6> names = ExperimentColumnNames(settings);
  for (int column = 1; column <= 6; ++column) store.ColumnNames[column] = names[column - 1];
  OpcGroup& group = opc.AddGroup("Skupina1");
  group.SetDeadBand(0);
  group.SetUpdateRateMs(10);
  AddExperimentItems(setup, settings, group);

  ExperimentRun run(store, opc);
  run.Setup = setup;
  run.SetReadGroup(&group);
  run.Writes.Server = job.ServerName;
  run.Writes.Log = job.Log;
  run.Writes.Client = &opc;
  run.Writes.Simulated = job.Simulate;
  run.Create();
  run.Sim.Seed(std::random_device{}());
  // No window fits the live model here: the run fits it between samples, where it decides
  // a step's end or forecasts a limit.
  run.FitLiveModelHere = setup.EndStepWhenSettled || setup.Envelope.Y1Min.has_value() ||
                         setup.Envelope.Y1Max.has_value();

  tell({"phase", "priprava"});
  const bool onPlant = !job.Simulate && opc.IsConnected();
  if (setup.PlantConfigured && !onPlant) {
    out.End = UnattendedEnd::PlantFailed;
    out.Reason = "povezava s strežnikom ni vzpostavljena; v obrat ni bilo nič zapisano.";
    return out;
  }
  if (onPlant) {
    const bool good = WaitForGoodQuality(
        setup.ItemMV.get(), clock,
        [&] {
          Sleep(2);
          return !stop.load();
        },
        QualityWaitMs);
    if (!good) {
      out.End = stop ? UnattendedEnd::Stopped : UnattendedEnd::PlantFailed;
      out.Reason = stop ? "Konec eksperimenta pred začetkom; v obrat ni bilo nič zapisano."
                        : MvUnreachableMessage(setup.ItemMV.get(), opc.IsConnected());
      return out;
    }
  }
  const ExperimentRun::Preparation prepared =
      run.PrepareOnPlant(onPlant, onPlant && setup.KeepInitialInput);
  if (!prepared.Why.empty()) {
    out.End = prepared.Envelope ? UnattendedEnd::Stopped : UnattendedEnd::PlantFailed;
    out.Reason = prepared.Why;
    return out;
  }
  if (!prepared.PeriodTooShort.empty()) tell({"period too short", prepared.PeriodTooShort});

  run.PrepareAutomaticPhases();
  const auto [startDate, startTime] = job.Now();
  out.StartTime = startTime;
  if (job.DueTickMs)
    out.Waited = std::max<std::int64_t>(0, clock.TickCountMs() - *job.DueTickMs) / 1000.0;
  run.Begin();
  tell({"phase", "poizkus"});
  SampleEvents events(run, store, tell);
  const auto take = [&](const ExperimentSample& s) {
    events.Take(s);
    return s.EndRequested || events.LinkLost();
  };
  bool ended = false;
  if (onPlant && job.SampleOnOwnThreads) {
    run.StartSampling();
    while (!ended) {
      Sleep(std::min(20, setup.SamplePeriodMs));
      if (stop) run.Interrupt();
      for (const ExperimentSample& s : run.TakeArrived(true)) ended = take(s) || ended;
      if (run.Findings.Interrupted) ended = true;
    }
  } else {
    // Period by period at absolute deadlines on the monotonic clock.
    const auto t0 = steady_clock::now();
    for (int k = 0; !ended; ++k) {
      std::this_thread::sleep_until(t0 + milliseconds(std::int64_t(k) * setup.SamplePeriodMs));
      if (stop) {
        run.Interrupt();
        break;
      }
      ended = take(run.Tick(true));
    }
  }
  run.Finish(true);
  out.Samples = store.SampleCount;

  tell({"phase", "povrnitev"});
  // Stopped by the engineer (Ctrl-C, SIGTERM) mid-run: nobody is at the plant to take it
  // over, so it goes back as after a trip, MV to its value at the start and the controller
  // to its earlier mode (read back), never left on a step or switched for after a run.
  if (stop && run.Findings.Interrupted && !run.Findings.Trip)
    run.RestoreAfterTrip();
  else
    run.RestorePlantAfterRun(true);
  out.Findings = run.Findings;

  // The record as the window's end hands it over: conditioned with the run's options and
  // the analysis window from about 90 % of the waiting time to the end.
  const Conditioning conditioning =
      TObdelava::ParseConditioning(settings.FilterTime, settings.ActuatorMaximum,
                                   settings.ActuatorMinimum, settings.ActuatorVelocity, sep);
  const AnalysisWindow whole = TObdelava::ConditionAfterExperiment(store, conditioning);
  const AnalysisWindow window = TObdelava::FitAnalysisWindow(
      store.SampleCount, store.MinWindowSamples,
      AnalysisWindowStart(setup.WaitTime, store.SampleTime), whole.End);

  PostProcessingJob chain;
  chain.Folder = job.Folder;
  chain.Label = job.Label;
  chain.Settings = settings;
  chain.WindowStart = window.Start;
  chain.WindowEnd = window.End;
  std::tie(chain.Date, chain.Time) = job.Now();
  chain.StartTime = startTime;
  chain.TitleLine = job.TitleLine;
  chain.Separator = sep;
  chain.Findings = run.Findings;
  chain.PlantConfigured = setup.PlantConfigured;
  chain.MvItemId = settings.ItemIds[0];
  chain.StartDate = startDate;
  chain.Waited = out.Waited;

  tell({"phase", "obdelava"});
  const auto since = std::filesystem::file_time_type::clock::now() - seconds(1);
  try {
    out.Files = RunPostProcessingChain(chain, store, images, report).Files;
  } catch (const ChainStepError& e) {
    out.Files = FilesWritten(job, since);
    out.Reason = e.Reason();
    out.End = run.Findings.Trip || run.Findings.Interrupted ? UnattendedEnd::Stopped
              : run.Findings.LinkLost()                     ? UnattendedEnd::PlantFailed
                                                            : UnattendedEnd::ChainFailed;
  }
  for (const std::string& file : out.Files) tell({"file", file});
  return out;
}
