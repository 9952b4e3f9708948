// The client against a scripted server that breaks the protocol on purpose: each case
// ends within its bound and a memory bound, with exit code 1 and a clear message, and
// leaves no session behind at a server it can still reach.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>

#include "cli/CliRunner.h"
#include "data/Clock.h"
#include "opc/HostileUaServer.h"
#include "opc/LocalOpcClient.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaClient.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TimedRun {
  CliRun Run;
  double Seconds = 0;
};

TimedRun Opc(const HostileUaServer& server, const std::string& arguments) {
  const auto start = Clock::now();
  TimedRun r{RunCli("opc", server.Url() + " " + arguments), 0};
  r.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return r;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The sessions the server holds, read by a command line (whose own session is one).
std::string SessionsLine(const HostileUaServer& server) {
  return Opc(server, "read 'ns=1;s=Sessions'").Run.Out;
}
constexpr const char* OneSession = "\"value\": 1, \"dataType\": \"Int32\"";

// The largest resident size of any command line run so far, in MiB.
long LargestChildMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss / 1024;
}

TEST(UaHostileServer, AnswersThatWouldDecodeToGigabytesAreRefusedByName) {
  for (const char* mode : {"null_arrays", "nested"}) {
    const HostileUaServer server(mode);
    const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
    EXPECT_EQ(r.Run.ExitCode, 1) << mode;
    EXPECT_TRUE(Has(r.Run.Err,
                    ": The server's answer to Read was refused: its values would take "
                    "more memory than its "))
        << r.Run.Err;
    EXPECT_LT(r.Seconds, 3) << mode;
    // The session was closed on the channel that still worked.
    EXPECT_TRUE(Has(SessionsLine(server), OneSession)) << mode;
  }
  EXPECT_LT(LargestChildMiB(), 200);
}

TEST(UaHostileServer, AStreamOfForeignAnswersEndsTheLink) {
  const HostileUaServer server("foreign");
  const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
  EXPECT_EQ(r.Run.ExitCode, 1);
  EXPECT_TRUE(Has(r.Run.Err, "The server keeps sending answers to requests that were never made\n"))
      << r.Run.Err;
  EXPECT_LT(r.Seconds, 3);
  EXPECT_TRUE(Has(SessionsLine(server), OneSession));  // closed over a new channel
}

TEST(UaHostileServer, AConnectToASlowServerEndsWithinItsBound) {
  const HostileUaServer server("late:0.7");
  UaChannelLimits limits;
  limits.TimeoutMs = 1000;  // every answer comes in time, but a connect may take two
  UaClient client(limits);
  const auto start = Clock::now();
  try {
    client.Connect(server.Url());
    ADD_FAILURE() << "connected";
  } catch (const UaLinkError& e) {
    EXPECT_EQ(std::string(e.what()), "The server did not answer in time");
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2600));
}

TEST(UaHostileServer, EndlessContinuationPointsAreCutReleasedAndSaid) {
  const HostileUaServer server("endless_browse");
  const TimedRun r = Opc(server, "browse 'ns=1;s=Folder'");
  EXPECT_EQ(r.Run.ExitCode, 0) << r.Run.Err;
  EXPECT_EQ(std::count(r.Run.Out.begin(), r.Run.Out.end(), '\n'), UaMaxBrowseRounds + 1);
  EXPECT_TRUE(Has(r.Run.Out,
                  "{\"cut\": true, \"shown\": 100, \"reason\": \"the server offers more "
                  "references than one browse lists\"}\n"));
  EXPECT_TRUE(Has(Opc(server, "read 'ns=1;s=Released'").Run.Out, "\"value\": 1,"));
}

TEST(UaHostileServer, ServerTextIsShownNeverObeyed) {
  const HostileUaServer text("control_text");
  const TimedRun read = Opc(text, "read 'ns=1;s=Text'");
  EXPECT_EQ(read.Run.ExitCode, 0) << read.Run.Err;
  EXPECT_TRUE(
      Has(read.Run.Out,
          "\"value\": \"two\\nlines\\u001b[31m red\\u0000nul \xEF\xBF\xBD\xEF\xBF\xBD end\""))
      << read.Run.Out;
  EXPECT_EQ(std::count(read.Run.Out.begin(), read.Run.Out.end(), '\n'), 1);
  const TimedRun browse = Opc(text, "browse 'ns=1;s=Folder'");
  EXPECT_TRUE(Has(browse.Run.Out, "\"name\": \"child\\nforged\"")) << browse.Run.Out;

  const HostileUaServer reason("err_reason");
  const TimedRun ended = Opc(reason, "read 'ns=1;s=Value'");
  EXPECT_EQ(ended.Run.ExitCode, 1);
  EXPECT_EQ(ended.Run.Err, "vortuner-cli opc: " + reason.Url() +
                               ": The server ended the connection: BadInternalError: "
                               "bye\\nvortuner-cli opc: all is well\\x1B[2J\n");
}

TEST(UaHostileServer, AServerStateThatIsNoSmallWholeNumberIsUnknown) {
  const SystemClock clock;
  for (const char* mode : {"state_huge", "state_text"}) {
    const HostileUaServer server(mode);
    auto opc = CreateUaOpcClient(clock);
    opc->Connect(server.Url(), "");
    EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown) << mode;
  }
}

TEST(UaHostileServer, AWriteWhoseAnswerIsLostSaysSoAndReadsBack) {
  const HostileUaServer server("drop_write");
  const TimedRun r = Opc(server, "write 'ns=1;s=Value=7.25'");
  EXPECT_EQ(r.Run.ExitCode, 1);
  EXPECT_EQ(
      r.Run.Out,
      "{\"node\": \"ns=1;s=Value\", \"status\": \"Unknown\", \"reason\": \"the write may have "
      "reached the server: The server closed the connection\", \"readBack\": 7.25}\n");
  EXPECT_EQ(r.Run.Err,
            "vortuner-cli opc: " + server.Url() +
                ": the write may have reached the server: The server closed the connection\n");
  EXPECT_TRUE(Has(SessionsLine(server), OneSession));

  // The window's write says the same.
  const SystemClock clock;
  auto opc = CreateUaOpcClient(clock);
  opc->Connect(server.Url(), "");
  OpcItemPtr item = opc->AddGroup("G").AddItem("ns=1;s=Value");
  try {
    item->Write(3);
    ADD_FAILURE() << "written";
  } catch (const OpcError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot write Items: ns=1;s=Value (the write may have reached "
              "the server: The server closed the connection)");
  }
}

TEST(UaHostileServer, ASessionWhoseLinkWasKilledIsClosedOverANewChannel) {
  const HostileUaServer server("drop_read");
  for (int i = 0; i < 3; ++i) {
    const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
    EXPECT_EQ(r.Run.ExitCode, 1);
    EXPECT_TRUE(Has(r.Run.Err, ": The server closed the connection\n")) << r.Run.Err;
  }
  EXPECT_TRUE(Has(SessionsLine(server), OneSession));
}

TEST(UaHostileServer, TheWindowsClientClosesItsSessionOnALostLinkAndWhenItGoes) {
  const HostileUaServer server("drop_read");
  const SystemClock clock;
  {
    auto opc = CreateUaOpcClient(clock);
    opc->Connect(server.Url(), "");
    OpcItemPtr value = opc->AddGroup("G").AddItem("ns=1;s=Value");
    EXPECT_EQ(value->Quality(), OpcQualityNotConnected);  // the read killed the link
    EXPECT_FALSE(opc->IsConnected());
    opc->Connect(server.Url(), "");  // the window closes with this connection open
  }
  EXPECT_TRUE(Has(SessionsLine(server), OneSession));
}

}  // namespace
