// vortuner-cli opc on the node-opcua test plant: JSON lines and exit codes.
#include <gtest/gtest.h>

#include "cli/CliRunner.h"
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

TEST(OpcCommand, TheServersRefusalIsExitCodeOne) {
  const CliRun refused = Opc("write 'ns=2;s=U=1' 'ns=2;s=P=2'");
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

}  // namespace
