// vortuner-cli opc on the node-opcua test plant: JSON lines and exit codes.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "cli/CliRunner.h"
#include "opc/HostileUaServer.h"
#include "opc/PlantWriteLog.h"
#include "opc/peer/UaPeer.h"

namespace {

CliRun Opc(const std::string& arguments) { return RunCli("opc", UaPeerUrl() + " " + arguments); }

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(OpcCommand, BrowsesReadsAndWritesTheServer) {
  const CliRun top = Opc("browse");
  ASSERT_EQ(top.ExitCode, 0) << top.Err;
  EXPECT_TRUE(Has(top.Out, "{\"node\": \"ns=2;s=Plant\", \"name\": \"Plant\", \"class\": \"Object\"}\n"));

  const CliRun written = Opc("write 'ns=2;s=SP=7.5' 'ns=2;s=Types.Int32=12'");
  ASSERT_EQ(written.ExitCode, 0) << written.Err;
  EXPECT_EQ(written.Out,
            "{\"node\": \"ns=2;s=SP\", \"status\": \"Good\"}\n"
            "{\"node\": \"ns=2;s=Types.Int32\", \"status\": \"Good\"}\n");

  const CliRun read = Opc("read 'ns=2;s=SP' 'ns=2;s=Types.Int32' i=2259");
  ASSERT_EQ(read.ExitCode, 0) << read.Err;
  EXPECT_TRUE(Has(read.Out, "{\"node\": \"ns=2;s=SP\", \"value\": 7.5, \"dataType\": \"Double\", "
                            "\"status\": \"Good\", \"sourceTime\": \"20"));
  EXPECT_TRUE(Has(read.Out, "{\"node\": \"ns=2;s=Types.Int32\", \"value\": 12, \"dataType\": \"Int32\""));
  EXPECT_TRUE(Has(read.Out, "{\"node\": \"i=2259\", \"value\": 0,"));
}

TEST(OpcCommand, ASetWithAReadOnlyNodeWritesNothingAndEachWritesOneByOne) {
  ASSERT_EQ(Opc("write 'ns=2;s=P=1.25'").ExitCode, 0);
  const std::string log = (std::filesystem::temp_directory_path() /
                           ("vortuner_cli_set_" + std::to_string(::getpid()) + ".log"))
                              .string();
  std::filesystem::remove(log);
  const CliRun set = Opc("write 'ns=2;s=P=2' 'ns=2;s=U=1' --write-log " + log);
  EXPECT_EQ(set.ExitCode, 1);
  EXPECT_EQ(set.Out,
            "{\"node\": \"ns=2;s=P\", \"status\": \"NotWritten\", \"reason\": \"another node "
            "of the set was refused: nothing was written\"}\n"
            "{\"node\": \"ns=2;s=U\", \"status\": \"BadNotWritable\", \"reason\": \"the node "
            "is read-only for this user\"}\n");
  EXPECT_TRUE(Has(Opc("read 'ns=2;s=P'").Out, "\"value\": 1.25,"));
  const std::vector<std::string> lines = PlantWriteLog(log).Lines();
  std::filesystem::remove(log);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(Has(lines[0],
                  "\tns=2;s=P\t1.25\t2\tukazna vrstica\tni zapisano: set zavrnjen pred "
                  "zapisom"))
      << lines[0];
  EXPECT_TRUE(Has(lines[1], "\tns=2;s=U\t") &&
              Has(lines[1], "\t1\tukazna vrstica\tzavrnjeno pred zapisom: samo za branje"))
      << lines[1];
  // --each: every node on its own, as for diagnosis.
  const CliRun refused = Opc("write --each 'ns=2;s=U=1' 'ns=2;s=P=2'");
  EXPECT_EQ(refused.ExitCode, 1);
  EXPECT_EQ(refused.Out,
            "{\"node\": \"ns=2;s=U\", \"status\": \"BadNotWritable\"}\n"
            "{\"node\": \"ns=2;s=P\", \"status\": \"Good\"}\n");
  // A value the node's type cannot hold exactly is refused, never rounded.
  Opc("write 'ns=2;s=Types.Int32=12'");
  const CliRun fraction = Opc("write 'ns=2;s=Types.Int32=2.5' 'ns=2;s=Types.Boolean=2'");
  EXPECT_EQ(fraction.ExitCode, 1);
  EXPECT_EQ(fraction.Out,
            "{\"node\": \"ns=2;s=Types.Int32\", \"status\": \"BadOutOfRange\", \"reason\": "
            "\"The value 2.5 is not a whole number, as Int32 requires\"}\n"
            "{\"node\": \"ns=2;s=Types.Boolean\", \"status\": \"BadOutOfRange\", \"reason\": "
            "\"The value 2 is not a Boolean (0 or 1)\"}\n");
  EXPECT_TRUE(Has(Opc("read 'ns=2;s=Types.Int32'").Out, "\"value\": 12,"));
  const CliRun unknown = Opc("read 'ns=2;s=Nope'");
  EXPECT_EQ(unknown.ExitCode, 1);
  EXPECT_TRUE(Has(unknown.Out, "\"value\": null, \"dataType\": \"Null\", \"status\": \"BadNodeIdUnknown\""));
  const CliRun gone = RunCli("opc", "opc.tcp://127.0.0.1:1 read i=2259");
  EXPECT_EQ(gone.ExitCode, 1);
  EXPECT_EQ(gone.Err, "vortuner-cli opc: opc.tcp://127.0.0.1:1: Cannot connect to 127.0.0.1:1: "
                      "Connection refused\n");
}

TEST(OpcCommand, EveryWriteAndRefusalGoesIntoThePlantWriteLog) {
  const std::string log = (std::filesystem::temp_directory_path() /
                           ("vortuner_cli_writes_" + std::to_string(::getpid()) + ".log"))
                              .string();
  std::filesystem::remove(log);
  ASSERT_EQ(Opc("write 'ns=2;s=P=2' --write-log " + log).ExitCode, 0);
  EXPECT_EQ(Opc("write --each 'ns=2;s=U=1' 'ns=2;s=P=3' 'ns=2;s=Types.Int32=2.5' 'ns=2;s=Nope=1' "
                "--write-log " +
                log)
                .ExitCode,
            1);
  const std::vector<std::string> lines = PlantWriteLog(log).Lines();
  std::filesystem::remove(log);
  ASSERT_EQ(lines.size(), 5u);
  const std::string server = "\t" + UaPeerUrl() + "\t";
  for (const std::string& line : lines) EXPECT_TRUE(Has(line, server)) << line;
  EXPECT_TRUE(Has(lines[0], "\tns=2;s=P\t") && Has(lines[0], "\t2\tukazna vrstica\tzapisano"));
  EXPECT_TRUE(Has(lines[1], "\tns=2;s=U\t") &&
              Has(lines[1], "\t1\tukazna vrstica\tzavrnjeno: BadNotWritable"));
  EXPECT_TRUE(Has(lines[2], "\tns=2;s=P\t2\t3\tukazna vrstica\tzapisano")) << lines[2];
  EXPECT_TRUE(
      Has(lines[3], "\t2.5\tukazna vrstica\tzavrnjeno: The value 2.5 is not a whole number"));
  EXPECT_TRUE(Has(lines[4], "\tns=2;s=Nope\t\t1\tukazna vrstica\tzavrnjeno: BadNodeIdUnknown"));
}

TEST(OpcCommand, WatchPrintsEveryRoundAndAWrongCommandLineIsExitCodeTwo) {
  const CliRun watch = Opc("watch 'ns=2;s=Y1' 'ns=2;s=U' --rate 20 --count 3");
  ASSERT_EQ(watch.ExitCode, 0) << watch.Err;
  EXPECT_EQ(std::count(watch.Out.begin(), watch.Out.end(), '\n'), 6);
  for (const char* wrong : {"read", "write 'ns=2;s=MV'", "watch 'ns=2;s=MV' --rate 0", "fly",
                            "read Plant.MV"}) {
    const CliRun r = Opc(wrong);
    EXPECT_EQ(r.ExitCode, 2) << wrong;
    EXPECT_TRUE(Has(r.Err, "Usage: vortuner-cli opc URL COMMAND")) << wrong;
  }
}

TEST(OpcCommand, WatchReadsAtFixedTimesWithoutDrift) {
  const CliRun watch = Opc("watch 'ns=2;s=Y1' --rate 100 --count 50");
  ASSERT_EQ(watch.ExitCode, 0) << watch.Err;
  // The client's time of each read: "readAt": "2026-12-08T08:50:06.183Z".
  const std::regex readAt(
      "\"readAt\": \"[0-9-]+T([0-9]+):([0-9]+):([0-9.]+)Z\", \"late\": (true|false)");
  std::vector<double> times;
  for (std::sregex_iterator m(watch.Out.begin(), watch.Out.end(), readAt), end; m != end; ++m)
    times.push_back(std::stod((*m)[1]) * 3600 + std::stod((*m)[2]) * 60 + std::stod((*m)[3]));
  ASSERT_EQ(times.size(), 50u) << watch.Out;
  // Each read's lateness against its deadline, first + k·0.1 s: a busy machine makes one
  // read late now and then, a watch that sleeps a period after each read falls behind by
  // its reads' time at every one. The medians of the first and last ten must agree.
  std::vector<double> lateness;
  for (size_t k = 0; k < times.size(); ++k) {
    double t = times[k];
    if (t < times.front()) t += 86400;  // past midnight
    lateness.push_back((t - times.front() - 0.1 * static_cast<double>(k)) * 1000);
  }
  const auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + 5, v.end());
    return v[5];
  };
  EXPECT_NEAR(median({lateness.end() - 10, lateness.end()}),
              median({lateness.begin(), lateness.begin() + 10}), 5);
}

TEST(OpcCommand, OptionsStandAnywhereAndErrorsNameTheirNode) {
  const CliRun before = Opc("--count 2 watch --rate 20 'ns=2;s=Y1'");
  EXPECT_EQ(before.ExitCode, 0) << before.Err;
  EXPECT_EQ(std::count(before.Out.begin(), before.Out.end(), '\n'), 2);
  const CliRun read = Opc("read 'ns=2;s=Y1' --rate 5");
  EXPECT_EQ(read.ExitCode, 2);
  EXPECT_TRUE(Has(read.Err, "vortuner-cli opc: option '--rate' is for watch, not read\n"))
      << read.Err;
  const CliRun browse = Opc("browse 'ns=2;s=Nope'");
  EXPECT_EQ(browse.ExitCode, 1);
  EXPECT_EQ(browse.Err, "vortuner-cli opc: " + UaPeerUrl() +
                            ": ns=2;s=Nope: BadNodeIdUnknown (the server does not "
                            "know the node)\n");
}

// The sessions the test plant holds (the reading command line's own is one of them).
std::string SessionCount() {
  const CliRun r = Opc("read i=2277");
  return r.Out.substr(0, r.Out.find(", \"dataType\""));
}

// A watch without a count, ended by SIGINT once it has printed a line; its exit code.
int InterruptedWatch() {
  const char* build = std::getenv("VORTUNER_BINARY_DIR");
  const std::string binary = std::string(build ? build : "build") + "/src/vortuner-cli";
  const std::string url = UaPeerUrl();
  int out[2];
  if (::pipe(out) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(binary.c_str(), binary.c_str(), "opc", url.c_str(), "watch", "ns=2;s=Y1", "--rate",
            "20", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') {
  }
  ::kill(pid, SIGINT);
  char rest[4096];
  while (::read(out[0], rest, sizeof rest) > 0) {
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(OpcCommand, NoSessionIsLeftBehindByInterruptedWatchesOrKilledLinks) {
  const std::string before = SessionCount();
  ASSERT_TRUE(Has(before, "\"value\": ")) << before;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(InterruptedWatch(), 0);
  EXPECT_EQ(SessionCount(), before);

  // A link killed between client and server after a few reads of a watch.
  const HostileUaServer proxy("proxy:" + UaPeerUrl().substr(UaPeerUrl().rfind(':') + 1) + ":9");
  for (int i = 0; i < 10; ++i) {
    const CliRun killed = RunCli("opc", proxy.Url() + " watch 'ns=2;s=Y1' --rate 20");
    EXPECT_EQ(killed.ExitCode, 1);
    EXPECT_TRUE(Has(killed.Err, ": The server closed the connection\n")) << killed.Err;
  }
  EXPECT_EQ(SessionCount(), before);
}

}  // namespace
