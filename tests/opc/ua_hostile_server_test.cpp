// The client against a scripted server that breaks the protocol on purpose: each case
// ends within its bound and a memory bound, with exit code 1 and a clear message, and
// leaves no session behind at a server it can still reach.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <regex>
#include <tuple>

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

// The text of a connect to the server that failed (with a request time-out of 1 s).
std::string ConnectFailure(const HostileUaServer& server) {
  UaChannelLimits limits;
  limits.TimeoutMs = 1000;
  UaClient client(limits);
  try {
    client.Connect(server.Url());
  } catch (const UaLinkError& e) {
    return e.what();
  }
  return "connected";
}

TEST(UaHostileServer, AConnectToASlowServerEndsWithinItsBoundAndSaysWhichRanOut) {
  // Every answer comes within the request's time-out of 1 s, but the connect's bound of
  // two of them runs out at the fourth (its last answer came after about 1.4 s).
  const HostileUaServer slow("late:0.7");
  const auto start = Clock::now();
  const std::string text = ConnectFailure(slow);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2600));
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(The server did not answer in time \(the )"
                                                R"(connect's bound of 2 s ran out; the server had )"
                                                R"(been answering for 1\.[3-6] s\))")))
      << text;
  // An answer later than the request's time-out.
  const HostileUaServer late("late:1.5");
  EXPECT_EQ(ConnectFailure(late),
            "The server did not answer in time (a request's time-out of 1 s ran out)");
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

TEST(UaHostileServer, ContinuationPointsInACircleEndTheBrowseAtTheFirstRepeat) {
  // Every answer is the same reference with the same continuation point: listed once.
  const HostileUaServer server("cycling_browse");
  const TimedRun r = Opc(server, "browse 'ns=1;s=Folder'");
  EXPECT_EQ(r.Run.ExitCode, 0) << r.Run.Err;
  EXPECT_EQ(r.Run.Out,
            "{\"node\": \"ns=1;s=Value\", \"name\": \"child\", \"class\": \"Variable\"}\n"
            "{\"cut\": true, \"shown\": 1, \"reason\": \"the server's continuation points go "
            "round in a circle\"}\n");
  EXPECT_TRUE(Has(Opc(server, "read 'ns=1;s=Released'").Run.Out, "\"value\": 1,"));

  // A server that keeps one continuation point for a whole browse is followed to its end.
  const HostileUaServer kept("kept_point");
  const TimedRun all = Opc(kept, "browse 'ns=1;s=Folder'");
  EXPECT_EQ(all.Run.ExitCode, 0) << all.Run.Err;
  EXPECT_EQ(all.Run.Out,
            "{\"node\": \"ns=1;s=Value0\", \"name\": \"Value0\", \"class\": \"Variable\"}\n"
            "{\"node\": \"ns=1;s=Value1\", \"name\": \"Value1\", \"class\": \"Variable\"}\n"
            "{\"node\": \"ns=1;s=Value2\", \"name\": \"Value2\", \"class\": \"Variable\"}\n");
}

TEST(UaHostileServer, ABrowseCutByItsBoundKeepsWhatItReadAndSaysSo) {
  // A new continuation point every 0.3 s without end; with a request time-out of 1 s the
  // browse's bound is 4 s: about 13 answers come in it (fewer when the machine is busy and
  // the server slow to answer, never more).
  const HostileUaServer server("slow_browse:0.3");
  UaChannelLimits limits;
  limits.TimeoutMs = 1000;
  UaClient client(limits);
  client.Connect(server.Url());
  const auto start = Clock::now();
  const UaBrowseAnswer answer = client.Browse(ParseNodeId("ns=1;s=Folder"));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(5500));
  EXPECT_TRUE(answer.Cut);
  EXPECT_EQ(answer.Why, UaBrowseCut::Time);
  EXPECT_GE(answer.References.size(), 4u);
  EXPECT_LE(answer.References.size(), 14u);
  EXPECT_TRUE(std::regex_match(answer.TimeoutText,
                               std::regex(R"(The server did not answer in time \(the browse's )"
                                          R"(bound of 4 s ran out; the server had been )"
                                          R"(answering for [1-3]\.\d s\))")))
      << answer.TimeoutText;
  EXPECT_FALSE(client.IsConnected());  // the answer in flight is lost with the link

  // The window's item browser shows the rows, then why the list ends; the link is lost.
  const SystemClock clock;
  auto opc = CreateUaOpcClient(clock, limits);
  bool lost = false;
  opc->SetDisconnectHandler([&] { lost = true; });
  opc->Connect(server.Url(), "");
  const std::vector<OpcBrowseNode> children = opc->BrowseChildren("ns=1;s=Folder");
  ASSERT_GE(children.size(), 5u);
  EXPECT_EQ(children.front().Id, "ns=1;s=Value");
  EXPECT_EQ(children.back().Name,
            "… prikazanih je le prvih " + std::to_string(children.size() - 1) +
                " elementov (brskanje ni končalo v 4 s; povezava je prekinjena)");
  EXPECT_TRUE(lost);
  EXPECT_FALSE(opc->IsConnected());
}

TEST(UaHostileServer, AnAnswerWithAnotherRequestsHandleEndsTheLink) {
  const HostileUaServer server("wrong_handle");
  const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
  EXPECT_EQ(r.Run.ExitCode, 1);
  EXPECT_TRUE(std::regex_search(
      r.Run.Err, std::regex(R"(: The server answered request ([0-9]+) with the request handle )"
                            R"([0-9]+ of another request\n$)")))
      << r.Run.Err;
  EXPECT_EQ(r.Run.Out, "");
  EXPECT_TRUE(Has(SessionsLine(server), OneSession));  // closed over a new channel
}

TEST(UaHostileServer, AStatusCodeIsSaidWithItsNameAndASentenceNeverAsBareHex) {
  for (const auto& [code, text] :
       {std::pair{"0xBB000000", "Bad 0xBB000000 (a failure whose code this program does not know)"},
        {"0x80340000", "BadNodeIdUnknown (the server does not know the node)"}}) {
    const HostileUaServer server(std::string("fault:") + code);
    const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
    EXPECT_EQ(r.Run.ExitCode, 1);
    EXPECT_EQ(r.Run.Err, "vortuner-cli opc: " + server.Url() + ": " + text + "\n");
  }
}

TEST(UaHostileServer, NumbersThatAreNoNumbersAreRefusedWhereTheyEnter) {
  const SystemClock clock;
  for (const std::string odd : {"nan", "inf"}) {
    const std::string shown = odd == "nan" ? "NaN" : "+inf";
    {  // The session time-out (which keeps the session alive): no connect.
      const HostileUaServer server(odd + ":session");
      const TimedRun r = Opc(server, "watch 'ns=1;s=Value' --count 2 --rate 50");
      EXPECT_EQ(r.Run.ExitCode, 1);
      EXPECT_EQ(r.Run.Err, "vortuner-cli opc: " + server.Url() +
                               ": The server's answer to CreateSession is malformed: its revised "
                               "session time-out is not a finite number (" +
                               shown + ")\n");
    }
    {  // The intervals of a subscription and its items.
      const HostileUaServer publishing(odd + ":publishing");
      UaClient client;
      client.Connect(publishing.Url());
      try {
        client.CreateSubscription(100, 10);
        ADD_FAILURE() << "subscribed";
      } catch (const UaLinkError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The server's answer to CreateSubscription is malformed: its revised publishing "
                  "interval is not a finite number (" +
                      shown + ")");
      }
      const HostileUaServer sampling(odd + ":sampling");
      client.Connect(sampling.Url());
      const UaSubscription s = client.CreateSubscription(100, 10);
      EXPECT_EQ(s.PublishingIntervalMs, 100);
      try {
        client.CreateMonitoredItems(s.Id, {{ParseNodeId("ns=1;s=Value"), 1, 100, 0}});
        ADD_FAILURE() << "monitored";
      } catch (const UaLinkError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The server's answer to CreateMonitoredItems is malformed: its revised "
                  "sampling interval is not a finite number (" +
                      shown + ")");
      }
    }
    {  // Access levels that are no byte: the access is not known, and nothing is guessed.
      const HostileUaServer server(odd + ":access");
      auto opc = CreateUaOpcClient(clock);
      opc->Connect(server.Url(), "");
      EXPECT_EQ(opc->AddGroup("G").AddItem("ns=1;s=Value")->Access(), OpcAccess::Unknown) << odd;
      EXPECT_EQ(opc->DescribeItems({"ns=1;s=Value"})[0].Access, OpcAccess::Unknown) << odd;
    }
    {  // The server state.
      const HostileUaServer server(odd + ":state");
      auto opc = CreateUaOpcClient(clock);
      opc->Connect(server.Url(), "");
      EXPECT_EQ(opc->ServerState(), OpcServerState::Unknown) << odd;
      EXPECT_TRUE(opc->IsConnected());
    }
  }
}

TEST(UaHostileServer, TokenLifetimesAtTheEndsOfTheirRangeKeepTheLinkWorking) {
  // A lifetime of 0 is renewed every 0.75 s (never before each request); one of 49 days
  // never within a command. The reading command line opens one channel of its own.
  for (const auto& [mode, fewest, most] :
       {std::tuple{"lifetime:0", 3, 4}, {"lifetime:max", 2, 2}}) {
    const HostileUaServer server(mode);
    const TimedRun r = Opc(server, "watch 'ns=1;s=Value' --count 4 --rate 400");
    EXPECT_EQ(r.Run.ExitCode, 0) << r.Run.Err;
    EXPECT_EQ(std::count(r.Run.Out.begin(), r.Run.Out.end(), '\n'), 4);
    const std::string opened = Opc(server, "read 'ns=1;s=Opened'").Run.Out;
    const int n = std::atoi(opened.c_str() + opened.find("\"value\": ") + 9);
    EXPECT_GE(n, fewest) << mode << opened;
    EXPECT_LE(n, most) << mode << opened;
  }
}

TEST(UaHostileServer, EndpointsNoneOfWhichCanBeUsedAreListedWithWhy) {
  const HostileUaServer server("odd_policies");
  const TimedRun r = Opc(server, "read 'ns=1;s=Value'");
  EXPECT_EQ(r.Run.ExitCode, 1);
  EXPECT_EQ(r.Run.Err,
            "vortuner-cli opc: " + server.Url() +
                ": The server offers no endpoint with any security that the program can use; it "
                "offers http://example.com/UA/SecurityPolicy#Rot13 encrypt (a policy the program "
                "does not know), Basic256Sha256 mode 7 (no such security mode), None sign (the "
                "mode does not fit the policy); BadSecurityPolicyRejected\n");
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

  // A reason of 64 KB is quoted up to its bound, and says it was cut.
  const HostileUaServer big("err_reason:big");
  const TimedRun cut = Opc(big, "read 'ns=1;s=Value'");
  EXPECT_EQ(cut.Run.ExitCode, 1);
  EXPECT_EQ(cut.Run.Err, "vortuner-cli opc: " + big.Url() +
                             ": The server ended the connection: BadInternalError: " +
                             std::string(UaMaxServerText, 'x') +
                             "… (cut at 300 characters of 65000 bytes)\n");
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
