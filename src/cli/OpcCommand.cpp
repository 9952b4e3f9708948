// vortuner-cli opc: an OPC UA server by hand on site: browse, read, write and watch
// nodes, one JSON object a line.
#include <signal.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/UaOptions.h"
#include "opc/PlantWriteLog.h"
#include "opc/UaOpcClient.h"
#include "opc/ua/UaClient.h"

namespace {

const char* const OpcUsageHead =
    "Usage: vortuner-cli opc URL COMMAND ...\n"
    "       vortuner-cli opc URL [OPTION...] COMMAND ...\n"
    "  URL                      opc.tcp://host:port of the server\n";
const char* const OpcUsageTail =
    "  --write-log FILE         the log of writes to the plant that write adds to\n"
    "                           (default: the program's in the user's data folder)\n"
    "  browse [NODE]            the children of NODE (default: the Objects folder)\n"
    "  read NODE...             value, data type, status and source time of each node\n"
    "  write NODE=VALUE... [--each]\n"
    "                           writes the values in the nodes' own data types as one\n"
    "                           set: every node is checked (known, writable by this user,\n"
    "                           the value held exactly by its type) before the first\n"
    "                           write, and a write the server refuses midway gives the\n"
    "                           nodes already written their values back; --each writes\n"
    "                           every node on its own, whatever became of the others\n"
    "  watch NODE... [--rate MS] [--count N]\n"
    "                           reads the nodes every MS milliseconds (default 1000) at\n"
    "                           fixed times, N times (default: until Ctrl-C); a read that\n"
    "                           starts after its time says \"late\": true\n"
    "Nodes are node ids: ns=2;s=MV, ns=1;i=1001, i=2259, nsu=URI;s=MV.\n"
    "A command ends within 30 s (a connect within 10 s, a browse within 20 s, each request\n"
    "within 5 s); a browse cut short lists what it read and says why in its last line; watch\n"
    "runs until its count or Ctrl-C, and closes its session either way.\n"
    "Exit code 0 success, 1 a failure reported by the server or the link, 2 a wrong command "
    "line.\n";

// The bound on a whole command but watch, connect included.
constexpr auto CommandBound = std::chrono::seconds(30);

// Set by SIGINT or SIGTERM: the command ends at the next point it can, closing its
// session. A second signal ends the program at once (the handler is reset).
volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

void CatchInterrupts() {
  struct sigaction a {};
  a.sa_handler = OnInterrupt;
  a.sa_flags = SA_RESETHAND;  // no SA_RESTART: a wait ends at once
  sigemptyset(&a.sa_mask);
  sigaction(SIGINT, &a, nullptr);
  sigaction(SIGTERM, &a, nullptr);
}

// The error of a node: "ns=2;s=Nope: BadNodeIdUnknown".
class NodeError : public std::runtime_error {
 public:
  NodeError(const std::string& node, const std::string& what)
      : std::runtime_error(node + ": " + what) {}
};

const char* NodeClassName(std::uint32_t nodeClass) {
  switch (nodeClass) {
    case 1: return "Object";
    case 2: return "Variable";
    case 4: return "Method";
    case 8: return "ObjectType";
    case 16: return "VariableType";
    case 32: return "ReferenceType";
    case 64: return "DataType";
    case 128: return "View";
    default: return "Unspecified";
  }
}

std::string JsonScalar(UaType type, const UaScalar& s) {
  if (auto* b = std::get_if<bool>(&s)) return *b ? "true" : "false";
  if (type == UaType::DateTime)
    if (auto* t = std::get_if<std::int64_t>(&s)) return JsonString(FormatUaDateTime(*t));
  if (type == UaType::StatusCode)
    if (auto* c = std::get_if<std::uint64_t>(&s))
      return JsonString(UaStatusName(static_cast<UaStatusCode>(*c)));
  if (auto* i = std::get_if<std::int64_t>(&s)) return std::to_string(*i);
  if (auto* u = std::get_if<std::uint64_t>(&s)) return std::to_string(*u);
  if (auto* d = std::get_if<double>(&s)) return JsonNumber(*d);
  if (auto* text = std::get_if<std::string>(&s)) return JsonString(*text);
  if (auto* id = std::get_if<UaNodeId>(&s)) return JsonString(FormatNodeId(*id));
  if (auto* q = std::get_if<UaQualifiedName>(&s)) return JsonString(q->Name);
  if (auto* l = std::get_if<UaLocalizedText>(&s)) return JsonString(l->Text);
  return "null";
}

std::string JsonValue(const UaVariant& v) {
  if (v.IsEmpty() && !v.IsArray) return "null";
  if (!v.IsArray) return JsonScalar(v.Type, v.Values.front());
  std::string out = "[";
  for (std::size_t i = 0; i < v.Values.size(); ++i)
    out += (i ? ", " : "") + JsonScalar(v.Type, v.Values[i]);
  return out + "]";
}

// One line: {"node": ..., "value": ..., "dataType": ..., "status": ..., "sourceTime": ...}.
std::string ValueLine(const std::string& node, const UaDataValue& v) {
  return "{\"node\": " + JsonString(node) + ", \"value\": " + JsonValue(v.Value) +
         ", \"dataType\": " + JsonString(UaTypeName(v.Value.Type)) +
         ", \"status\": " + JsonString(UaStatusName(v.Status)) +
         ", \"sourceTime\": " + (v.HasSourceTime ? JsonString(FormatUaDateTime(v.SourceTime)) : "null") +
         "}";
}

// The node a command line names, resolved on the server; errors name the node.
UaNodeId NodeOf(const UaClient& client, const std::string& text) {
  try {
    return client.Resolve(ParseNodeId(text));
  } catch (const std::invalid_argument& e) {
    throw NodeError(text, e.what());
  }
}

std::vector<UaReadValueId> Nodes(const UaClient& client, const std::vector<std::string>& texts) {
  std::vector<UaReadValueId> nodes;
  for (const std::string& t : texts) nodes.push_back({NodeOf(client, t)});
  return nodes;
}

// Prints the values, each line ending with `extra` members; true when every status is good.
bool PrintValues(UaClient& client, const std::vector<std::string>& texts,
                 const std::string& extra = "") {
  const auto values = client.Read(Nodes(client, texts));
  bool good = true;
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::string line = ValueLine(texts[i], values[i]);
    line.insert(line.size() - 1, extra);
    std::cout << line << "\n";
    good &= UaIsGood(values[i].Status);
  }
  std::cout.flush();
  return good;
}

// The value to write into a node of the given type, from its command-line text.
UaVariant WriteValue(UaType type, const std::string& text, const std::string& node) {
  if (type == UaType::String) return UaVariant::Scalar(type, text);
  if (type == UaType::Boolean && (text == "true" || text == "false"))
    return UaVariant::Scalar(type, text == "true");
  char* end = nullptr;
  const double x = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0')
    throw UsageError("'" + text + "' is not a number (the value for " + node + ")");
  return NumericVariant(type, x);
}

struct Assignment {
  std::string Node, Value;
};

// After a write whose answer was lost: what the server holds now, read over a new
// connection where it can be reached; null where not.
std::vector<std::string> ReadBack(const std::string& url,
                                  const std::vector<Assignment>& assignments,
                                  const std::optional<UaOperationBound>& bound) {
  std::vector<std::string> values(assignments.size(), "null");
  try {
    UaClient client;
    client.Channel().SetOperationBound(bound);  // the command's
    client.Connect(url);
    std::vector<UaReadValueId> nodes;
    for (const auto& a : assignments) nodes.push_back({NodeOf(client, a.Node)});
    const auto read = client.Read(nodes);
    for (std::size_t i = 0; i < read.size(); ++i)
      if (UaIsGood(read[i].Status)) values[i] = JsonValue(read[i].Value);
    client.Close();
  } catch (const std::exception&) {
    // The server cannot be reached: what it holds is not known.
  }
  return values;
}

// One line in the plant-write log for each item the command wrote or tried to write, in
// the command line's order. A log that cannot be written does not undo what reached the
// plant: the command says so.
void LogWrites(const std::string& path, const std::string& url,
               const std::vector<Assignment>& assignments, const std::vector<std::string>& previous,
               const std::vector<std::string>& outcomes) {
  const PlantWriteLog log(path);
  try {
    for (std::size_t i = 0; i < assignments.size(); ++i) {
      if (outcomes[i].empty()) continue;
      PlantWriteLogEntry e;
      e.Server = ServerNameForLog(url);
      e.Item = assignments[i].Node;
      e.Previous = previous[i];
      e.Value = assignments[i].Value;
      e.Source = PlantWriteSource::CommandLine;
      e.Outcome = outcomes[i];
      log.Append(e);
    }
  } catch (const std::exception& x) {
    std::cerr << "vortuner-cli opc: warning: the write is not logged: " << VisibleText(x.what())
              << "\n";
  }
}

// One line of the write's output: the node, its status, and why where there is more to say.
std::string WriteLine(const std::string& node, const std::string& status,
                      const std::string& reason = "") {
  return "{\"node\": " + JsonString(node) + ", \"status\": " + JsonString(status) +
         (reason.empty() ? std::string() : ", \"reason\": " + JsonString(reason)) + "}";
}

constexpr std::uint32_t AccessLevelAttribute = 17, UserAccessLevelAttribute = 18;

// The set through the plant's gate: every node checked before the first write, the
// writes made one by one in the command line's order, and on a refusal the nodes already
// written given their values back, last first. A link lost during a write leaves the set
// as it stands: that node's outcome is unknown (read back over a new link), the ones after
// it were not written.
int WriteSet(UaClient& client, const std::string& url, const std::vector<Assignment>& assignments,
             const std::string& logPath) {
  const std::size_t n = assignments.size();
  std::vector<UaReadValueId> asked;
  for (const auto& a : assignments) {
    const UaNodeId node = NodeOf(client, a.Node);
    for (std::uint32_t attribute : {UaAttribute::DataType, UaAttribute::Value, AccessLevelAttribute,
                                    UserAccessLevelAttribute})
      asked.push_back({node, attribute});
  }
  const auto known = client.Read(asked);
  std::vector<std::string> lines(n), previous(n), outcomes(n);
  std::vector<UaWriteValue> writes(n);
  for (std::size_t i = 0; i < n; ++i)
    if (UaIsGood(known[4 * i + 1].Status)) previous[i] = JsonValue(known[4 * i + 1].Value);

  bool refused = false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& node = assignments[i].Node;
    const UaDataValue& dataType = known[4 * i];
    if (!UaIsGood(dataType.Status)) {
      lines[i] = WriteLine(node, UaStatusName(dataType.Status));
      outcomes[i] = std::string("zavrnjeno pred zapisom: ") + UaStatusName(dataType.Status);
      refused = true;
      continue;
    }
    if (AccessOfUaLevels(known[4 * i + 2], known[4 * i + 3]) == OpcAccess::ReadOnly) {
      lines[i] = WriteLine(node, "BadNotWritable", "the node is read-only for this user");
      outcomes[i] = "zavrnjeno pred zapisom: samo za branje";
      refused = true;
      continue;
    }
    UaType type = BuiltInDataType(dataType.Value);
    if (type == UaType::Null) type = known[4 * i + 1].Value.Type;  // an abstract type
    try {
      writes[i] = {asked[4 * i].Node, WriteValue(type, assignments[i].Value, node)};
    } catch (const std::range_error& e) {
      lines[i] = WriteLine(node, "BadOutOfRange", e.what());
      outcomes[i] = std::string("zavrnjeno pred zapisom: ") + e.what();
      refused = true;
    }
  }
  const auto finish = [&](int code) {
    LogWrites(logPath, url, assignments, previous, outcomes);
    for (const std::string& line : lines) std::cout << line << "\n";
    return code;
  };
  if (refused) {
    for (std::size_t i = 0; i < n; ++i)
      if (lines[i].empty()) {
        lines[i] = WriteLine(assignments[i].Node, "NotWritten",
                             "another node of the set was refused: nothing was written");
        outcomes[i] = "ni zapisano: set zavrnjen pred zapisom";
      }
    return finish(1);
  }
  // Nothing goes to the plant once the engineer has asked the command to stop.
  if (interrupted) throw UaLinkError("interrupted before anything was written");

  std::size_t done = 0;
  std::optional<UaStatusCode> refusal;
  for (; done < n; ++done) {
    std::vector<UaStatusCode> result;
    try {
      result = client.Write({writes[done]});
    } catch (const UaLinkError& e) {
      const std::string why = std::string("the write may have reached the server: ") + e.what();
      const std::vector<std::string> now =
          ReadBack(url, {assignments[done]}, client.Channel().Operation());
      for (std::size_t k = 0; k < n; ++k) {
        if (k < done) continue;  // written, as said below
        lines[k] = k == done
                       ? "{\"node\": " + JsonString(assignments[k].Node) +
                             ", \"status\": \"Unknown\", \"reason\": " + JsonString(why) +
                             ", \"readBack\": " + now[0] + "}"
                       : WriteLine(assignments[k].Node, "NotWritten", "the link was lost before");
        outcomes[k] = k == done
                          ? "neznano: " + std::string(e.what()) + "; prebrano po tem: " + now[0]
                          : "ni zapisano: povezava izgubljena";
      }
      finish(1);
      throw UaLinkError(why);
    }
    const UaStatusCode status = result.empty() ? UaStatusCode{} : result[0];
    if (result.empty() || !UaIsGood(status)) {
      refusal = status;
      break;
    }
    lines[done] = WriteLine(assignments[done].Node, "Good");
    outcomes[done] = "zapisano";
  }
  if (!refusal) return finish(0);

  lines[done] = WriteLine(assignments[done].Node, UaStatusName(*refusal));
  outcomes[done] = std::string("zavrnjeno: ") + UaStatusName(*refusal);
  for (std::size_t k = done + 1; k < n; ++k) {
    lines[k] = WriteLine(assignments[k].Node, "NotWritten", "a node before it was refused");
    outcomes[k] = "ni zapisano: prejšnja točka zavrnjena";
  }
  // The nodes already written get their values back, last first.
  for (std::size_t k = done; k-- > 0;) {
    std::string status = "Bad";
    try {
      const auto back = client.Write({{asked[4 * k].Node, known[4 * k + 1].Value}});
      if (!back.empty()) status = UaStatusName(back[0]);
    } catch (const UaLinkError& e) {
      status = e.what();
    }
    const bool restored = status == "Good";
    lines[k] = WriteLine(
        assignments[k].Node, restored ? "RolledBack" : "NotRolledBack",
        restored ? "written, then given its value " + previous[k] + " back"
                 : "written; its value " + previous[k] + " could not be given back: " + status);
    outcomes[k] =
        restored ? "zapisano, povrnjeno po zavrnitvi" : "zapisano, ni povrnjeno: " + status;
  }
  return finish(1);
}

int Write(UaClient& client, const std::string& url, const std::vector<Assignment>& assignments,
          const std::string& logPath) {
  std::vector<UaWriteValue> writes;
  std::vector<UaReadValueId> types;
  for (const auto& a : assignments) {
    const UaNodeId node = NodeOf(client, a.Node);
    types.push_back({node, UaAttribute::DataType});
    types.push_back({node, UaAttribute::Value});
  }
  const auto known = client.Read(types);
  bool good = true;
  std::vector<std::string> lines(assignments.size());  // printed in the command line's order
  std::vector<std::size_t> sent;
  // What each item held before and what became of its write, for the log.
  std::vector<std::string> previous(assignments.size()), outcomes(assignments.size());
  for (std::size_t i = 0; i < assignments.size(); ++i)
    if (UaIsGood(known[2 * i + 1].Status)) previous[i] = JsonValue(known[2 * i + 1].Value);
  for (std::size_t i = 0; i < assignments.size(); ++i) {
    const UaDataValue& dataType = known[2 * i];
    if (!UaIsGood(dataType.Status)) {  // an unknown node: nothing to write into
      lines[i] = "{\"node\": " + JsonString(assignments[i].Node) +
                 ", \"status\": " + JsonString(UaStatusName(dataType.Status)) + "}";
      outcomes[i] = std::string("zavrnjeno: ") + UaStatusName(dataType.Status);
      good = false;
      continue;
    }
    UaType type = BuiltInDataType(dataType.Value);
    if (type == UaType::Null) type = known[2 * i + 1].Value.Type;  // an abstract type
    try {
      writes.push_back({types[2 * i].Node, WriteValue(type, assignments[i].Value, assignments[i].Node)});
      sent.push_back(i);
    } catch (const std::range_error& e) {
      lines[i] = "{\"node\": " + JsonString(assignments[i].Node) +
                 ", \"status\": \"BadOutOfRange\", \"reason\": " + JsonString(e.what()) + "}";
      outcomes[i] = std::string("zavrnjeno: ") + e.what();
      good = false;
    }
  }
  // Nothing goes to the plant once the engineer has asked the command to stop.
  if (interrupted) throw UaLinkError("interrupted before anything was written");
  if (!writes.empty()) {
    std::vector<UaStatusCode> results;
    try {
      results = client.Write(writes);
    } catch (const UaLinkError& e) {
      // The request may have reached the server before the link failed.
      std::vector<Assignment> lost;
      for (std::size_t k : sent) lost.push_back(assignments[k]);
      const std::vector<std::string> now = ReadBack(url, lost, client.Channel().Operation());
      for (std::size_t k = 0; k < sent.size(); ++k) {
        outcomes[sent[k]] = "neznano: " + std::string(e.what()) + "; prebrano po tem: " + now[k];
        lines[sent[k]] =
            "{\"node\": " + JsonString(assignments[sent[k]].Node) +
            ", \"status\": \"Unknown\", \"reason\": " +
            JsonString(std::string("the write may have reached the server: ") + e.what()) +
            ", \"readBack\": " + now[k] + "}";
      }
      LogWrites(logPath, url, assignments, previous, outcomes);
      for (const std::string& line : lines) std::cout << line << "\n";
      throw UaLinkError(std::string("the write may have reached the server: ") + e.what());
    }
    for (std::size_t k = 0; k < results.size(); ++k) {
      lines[sent[k]] = "{\"node\": " + JsonString(assignments[sent[k]].Node) +
                       ", \"status\": " + JsonString(UaStatusName(results[k])) + "}";
      outcomes[sent[k]] = UaIsGood(results[k])
                              ? std::string("zapisano")
                              : std::string("zavrnjeno: ") + UaStatusName(results[k]);
      good &= UaIsGood(results[k]);
    }
  }
  LogWrites(logPath, url, assignments, previous, outcomes);
  for (const std::string& line : lines) std::cout << line << "\n";
  return good ? 0 : 1;
}

int Browse(UaClient& client, const std::string& nodeText) {
  const UaNodeId node = nodeText.empty() ? UaNodeId::Num(85) : NodeOf(client, nodeText);
  UaBrowseAnswer answer;
  try {
    answer = client.Browse(node);
  } catch (const UaServiceError& e) {
    throw NodeError(nodeText.empty() ? "i=85" : nodeText, e.what());
  }
  for (const UaReference& r : answer.References)
    std::cout << "{\"node\": " << JsonString(FormatNodeId(r.Target.Id))
              << ", \"name\": " << JsonString(r.DisplayName.Text.empty() ? r.BrowseName.Name
                                                                        : r.DisplayName.Text)
              << ", \"class\": " << JsonString(NodeClassName(r.NodeClass)) << "}\n";
  if (!answer.Cut) return 0;
  const char* reason =
      answer.Why == UaBrowseCut::Repeat ? "the server's continuation points go round in a circle"
      : answer.Why == UaBrowseCut::Time ? "the browse did not end within its bound"
                                        : "the server offers more references than one browse lists";
  std::cout << "{\"cut\": true, \"shown\": " << answer.References.size()
            << ", \"reason\": " << JsonString(reason) << "}\n";
  std::cout.flush();
  // Cut by time the link is lost with it: what was read is shown, and the failure said.
  if (answer.Why == UaBrowseCut::Time) throw UaLinkError(answer.TimeoutText);
  return 0;
}

// Waits until the deadline on the monotonic clock, keeping the session alive; false when
// interrupted.
bool WaitUntil(UaClient& client, std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  while (!interrupted) {
    const auto now = steady_clock::now();
    if (now >= deadline) return true;
    if (client.KeepAliveDue()) {
      client.KeepAlive();
      continue;
    }
    // At most a second at a time, so that the session's upkeep is not missed.
    const auto until = std::min(deadline, now + seconds(1));
    const auto ns = duration_cast<nanoseconds>(until.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);  // steady_clock's clock
  }
  return false;
}

// Reads at absolute times, one period apart from the first: the period does not drift
// with the time a read takes. A read that starts past its time (the one before took
// longer than a period) says so; the rounds it missed are skipped, not bunched.
int Watch(UaClient& client, const std::vector<std::string>& nodes, int rateMs, int count) {
  using namespace std::chrono;
  const auto period = milliseconds(rateMs);
  const auto start = steady_clock::now();
  auto due = start;
  int result = 0;
  for (int round = 0; (count < 0 || round < count) && !interrupted; ++round) {
    if (round > 0 && !WaitUntil(client, due)) break;
    const auto late = duration_cast<microseconds>(steady_clock::now() - due);
    // A read within a tenth of the period (and 5 ms) of its time is on time.
    const bool isLate = late > std::min<microseconds>(period / 10, milliseconds(5));
    std::string extra = ", \"readAt\": " + JsonString(FormatUaDateTime(UaDateTimeNow())) +
                        ", \"late\": " + (isLate ? "true" : "false");
    if (isLate) extra += ", \"lateMs\": " + FormatFixed(late.count() / 1000.0, 1, '.');
    if (!PrintValues(client, nodes, extra)) result = 1;
    due += period;
    const auto now = steady_clock::now();
    if (now > due) due += (now - due) / period * period;  // rounds missed are skipped
  }
  return result;
}

int PositiveOption(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 1 || v > 86'400'000)
    throw UsageError(option + " needs a whole number from 1");
  return static_cast<int>(v);
}

}  // namespace

int RunOpc(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::cout << OpcUsageHead << UaOptionsHelp << OpcUsageTail;
      return 0;
    }
  std::string url, command, browseNode;
  std::vector<std::string> nodes;
  std::vector<Assignment> assignments;
  std::optional<int> rate, count;
  UaCommandOptions ua;
  bool each = false;  // write: every node on its own, outside the set's gate
  std::string writeLog = DefaultPlantWriteLogPath();
  try {
    // Options stand anywhere; what is left is the address, the command and its nodes.
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (TakeUaOption(args, i, ua)) continue;
      if (a == "--each") {
        each = true;
      } else if (a == "--rate" || a == "--count") {
        if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
        (a == "--rate" ? rate : count) = PositiveOption(a, args[++i]);
      } else if (a == "--write-log") {
        if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
        writeLog = args[++i];
      } else if (a.rfind("--", 0) == 0) {
        throw UsageError("unknown option '" + a + "'");
      } else {
        words.push_back(a);
      }
    }
    CompleteUaOptions(ua, "opc");
    if (words.size() < 2) throw UsageError("the server address and a command are needed");
    url = words[0];
    command = words[1];
    if (command != "browse" && command != "read" && command != "write" && command != "watch")
      throw UsageError("unknown opc command '" + command + "'");
    if (each && command != "write")
      throw UsageError("option '--each' is for write, not " + command);
    if ((rate || count) && command != "watch")
      throw UsageError(std::string("option '") + (rate ? "--rate" : "--count") +
                       "' is for watch, not " + command);
    for (std::size_t i = 2; i < words.size(); ++i) {
      const std::string& a = words[i];
      if (command == "write") {
        // The value follows the last "=": node ids have their own.
        const std::size_t eq = a.rfind('=');
        try {
          if (eq == std::string::npos || eq + 1 == a.size()) throw std::invalid_argument("");
          ParseNodeId(a.substr(0, eq));
        } catch (const std::invalid_argument&) {
          throw UsageError("'" + a + "' is not NODE=VALUE");
        }
        assignments.push_back({a.substr(0, eq), a.substr(eq + 1)});
      } else {
        ParseNodeId(a);
        nodes.push_back(a);
      }
    }
    if (command == "browse") {
      if (nodes.size() > 1) throw UsageError("browse takes one node");
      if (!nodes.empty()) browseNode = nodes[0];
    } else if (command == "read" || command == "watch") {
      if (nodes.empty()) throw UsageError(command + " needs at least one node");
    } else if (assignments.empty()) {
      throw UsageError("write needs at least one NODE=VALUE");
    }
    if (url.rfind("opc.tcp://", 0) != 0) throw UsageError("'" + url + "' is not an opc.tcp:// address");
  } catch (const std::exception& e) {  // a UsageError, or a node id that is none
    std::cerr << "vortuner-cli opc: " << VisibleText(e.what()) << "\n"
              << OpcUsageHead << UaOptionsHelp << OpcUsageTail;
    return 2;
  }

  CatchInterrupts();
  UaClient client;
  const bool bounded = command != "watch";
  if (bounded) {
    const int boundMs = static_cast<int>(std::chrono::milliseconds(CommandBound).count());
    client.Channel().SetOperationBound(
        UaOperationBound{std::chrono::steady_clock::now() + CommandBound, "command", boundMs});
  }
  try {
    client.Connect(url, ua.Options);
    if (interrupted && command != "watch") throw UaLinkError("interrupted");
    int result = 0;
    if (command == "browse") {
      result = Browse(client, browseNode);
    } else if (command == "read") {
      result = PrintValues(client, nodes) ? 0 : 1;
    } else if (command == "write") {
      result = each ? Write(client, url, assignments, writeLog)
                    : WriteSet(client, url, assignments, writeLog);
    } else {
      result = Watch(client, nodes, rate.value_or(1000), count.value_or(-1));
    }
    client.Close();
    return result;
  } catch (const UsageError& e) {
    std::cerr << "vortuner-cli opc: " << VisibleText(e.what()) << "\n";
    return 2;
  } catch (const UaCertificateError& e) {
    std::cerr << "vortuner-cli opc: " << url << ": " << VisibleText(e.what()) << "\n";
    // A sound certificate that is only unknown: what the engineer can do next.
    if (e.Unknown)
      std::cerr << "vortuner-cli opc: check the thumbprint with the server's administrator, "
                   "then run again with --trust-server to trust the certificate, or with "
                   "--security none where the server allows a connection without security\n";
    return 1;
  } catch (const std::exception& e) {
    // The server's own words (a reason, a name) are shown, never obeyed by the terminal.
    std::cerr << "vortuner-cli opc: " << url << ": " << VisibleText(e.what()) << "\n";
    return 1;
  }
}
