// vortuner-cli opc: an OPC UA server by hand on site: browse, read, write and watch
// nodes, one JSON object a line.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "opc/ua/UaClient.h"

namespace {

const char* const OpcUsage =
    "Usage: vortuner-cli opc URL COMMAND ...\n"
    "       vortuner-cli opc URL [OPTION...] COMMAND ...\n"
    "  URL                      opc.tcp://host:port of the server\n"
    "  --security auto|none|sign|encrypt\n"
    "                           the channel's security (default auto: the most secure\n"
    "                           endpoint the server and the program share)\n"
    "  --policy NAME            Basic256Sha256, Aes128_Sha256_RsaOaep or Aes256_Sha256_RsaPss\n"
    "  --user NAME              log in with this user name (default: anonymous); the\n"
    "                           password comes from --password-file FILE (its first line)\n"
    "                           or the environment variable VORTUNER_OPC_PASSWORD\n"
    "  --pki DIR                the certificate folder (own/, trusted/, rejected/;\n"
    "                           default: the program's in the user's data folder)\n"
    "  --trust-server           trust the server's certificate when it is unknown and\n"
    "                           remember it in trusted/\n"
    "  browse [NODE]            the children of NODE (default: the Objects folder)\n"
    "  read NODE...             value, data type, status and source time of each node\n"
    "  write NODE=VALUE...      writes each value in the node's own data type\n"
    "  watch NODE... [--rate MS] [--count N]\n"
    "                           reads the nodes every MS milliseconds (default 1000),\n"
    "                           N times (default: until interrupted)\n"
    "Nodes are node ids: ns=2;s=MV, ns=1;i=1001, i=2259, nsu=URI;s=MV.\n"
    "Exit code 0 success, 1 a failure reported by the server or the link, 2 a wrong command line.\n";

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

std::vector<UaReadValueId> Nodes(const UaClient& client, const std::vector<std::string>& texts) {
  std::vector<UaReadValueId> nodes;
  for (const std::string& t : texts) nodes.push_back({client.Resolve(ParseNodeId(t))});
  return nodes;
}

// Prints the values; true when every status is good.
bool PrintValues(UaClient& client, const std::vector<std::string>& texts) {
  const auto values = client.Read(Nodes(client, texts));
  bool good = true;
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::cout << ValueLine(texts[i], values[i]) << "\n";
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

int Write(UaClient& client, const std::vector<Assignment>& assignments) {
  std::vector<UaWriteValue> writes;
  std::vector<UaReadValueId> types;
  for (const auto& a : assignments) {
    const UaNodeId node = client.Resolve(ParseNodeId(a.Node));
    types.push_back({node, UaAttribute::DataType});
    types.push_back({node, UaAttribute::Value});
  }
  const auto known = client.Read(types);
  bool good = true;
  std::vector<std::string> lines(assignments.size());  // printed in the command line's order
  std::vector<std::size_t> sent;
  for (std::size_t i = 0; i < assignments.size(); ++i) {
    const UaDataValue& dataType = known[2 * i];
    if (!UaIsGood(dataType.Status)) {  // an unknown node: nothing to write into
      lines[i] = "{\"node\": " + JsonString(assignments[i].Node) +
                 ", \"status\": " + JsonString(UaStatusName(dataType.Status)) + "}";
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
      good = false;
    }
  }
  if (!writes.empty()) {
    const auto results = client.Write(writes);
    for (std::size_t k = 0; k < results.size(); ++k) {
      lines[sent[k]] = "{\"node\": " + JsonString(assignments[sent[k]].Node) +
                       ", \"status\": " + JsonString(UaStatusName(results[k])) + "}";
      good &= UaIsGood(results[k]);
    }
  }
  for (const std::string& line : lines) std::cout << line << "\n";
  return good ? 0 : 1;
}

int Browse(UaClient& client, const std::string& nodeText) {
  const UaNodeId node =
      nodeText.empty() ? UaNodeId::Num(85) : client.Resolve(ParseNodeId(nodeText));
  for (const UaReference& r : client.Browse(node))
    std::cout << "{\"node\": " << JsonString(FormatNodeId(r.Target.Id))
              << ", \"name\": " << JsonString(r.DisplayName.Text.empty() ? r.BrowseName.Name
                                                                        : r.DisplayName.Text)
              << ", \"class\": " << JsonString(NodeClassName(r.NodeClass)) << "}\n";
  return 0;
}

int PositiveOption(const std::string& option, const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < 1 || v > 86'400'000)
    throw UsageError(option + " needs a whole number from 1");
  return static_cast<int>(v);
}

// The password's file: its first line, without the line end.
std::string ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError("cannot read the password file " + path);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int RunOpc(const std::vector<std::string>& args) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << OpcUsage;
    return 0;
  }
  std::string url, command, browseNode;
  std::vector<std::string> nodes;
  std::vector<Assignment> assignments;
  int rateMs = 1000, count = -1;
  UaConnectOptions options;
  bool trustServer = false;
  try {
    if (args.size() < 2) throw UsageError("the server address and a command are needed");
    url = args[0];
    std::size_t at = 1;
    std::string passwordFile;
    for (; at < args.size() && args[at].rfind("--", 0) == 0; ++at) {
      const std::string& a = args[at];
      if (a == "--trust-server") {
        trustServer = true;
        continue;
      }
      if (a != "--security" && a != "--policy" && a != "--user" && a != "--password-file" &&
          a != "--pki")
        throw UsageError("unknown option '" + a + "'");
      if (at + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
      const std::string& v = args[++at];
      if (a == "--security") {
        try {
          options.Security = ParseUaSecurityChoice(v);
        } catch (const std::invalid_argument& e) {
          throw UsageError(e.what());
        }
      } else if (a == "--policy") {
        options.Policy = v;
      } else if (a == "--user") {
        options.User = v;
      } else if (a == "--password-file") {
        passwordFile = v;
      } else {
        options.PkiFolder = v;
      }
    }
    if (!options.User.empty()) {
      if (!passwordFile.empty())
        options.Password = ReadPasswordFile(passwordFile);
      else if (const char* env = std::getenv("VORTUNER_OPC_PASSWORD"))
        options.Password = env;
      else
        throw UsageError("--user needs a password: --password-file FILE or VORTUNER_OPC_PASSWORD");
    }
    if (at >= args.size()) throw UsageError("a command is needed after the options");
    command = args[at];
    for (std::size_t i = at + 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (command == "watch" && (a == "--rate" || a == "--count")) {
        if (i + 1 >= args.size()) throw UsageError("option '" + a + "' needs a value");
        (a == "--rate" ? rateMs : count) = PositiveOption(a, args[++i]);
      } else if (command == "write") {
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
    } else if (command == "write") {
      if (assignments.empty()) throw UsageError("write needs at least one NODE=VALUE");
    } else {
      throw UsageError("unknown opc command '" + command + "'");
    }
    if (url.rfind("opc.tcp://", 0) != 0) throw UsageError("'" + url + "' is not an opc.tcp:// address");
  } catch (const std::exception& e) {  // a UsageError, or a node id that is none
    std::cerr << "vortuner-cli opc: " << e.what() << "\n" << OpcUsage;
    return 2;
  }

  if (trustServer)
    options.AskTrust = [](const UaCertificateSummary& c) {
      std::cerr << "vortuner-cli opc: trusting the server's certificate " << c.Thumbprint << " ("
                << c.Subject << ")\n";
      return UaTrustAnswer::Always;
    };
  UaClient client;
  try {
    client.Connect(url, options);
    int result = 0;
    if (command == "browse") {
      result = Browse(client, browseNode);
    } else if (command == "read") {
      result = PrintValues(client, nodes) ? 0 : 1;
    } else if (command == "write") {
      result = Write(client, assignments);
    } else {
      for (int round = 0; count < 0 || round < count; ++round) {
        if (round > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rateMs));
        if (!PrintValues(client, nodes)) result = 1;
      }
    }
    client.Close();
    return result;
  } catch (const UsageError& e) {
    std::cerr << "vortuner-cli opc: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vortuner-cli opc: " << url << ": " << e.what() << "\n";
    return 1;
  }
}
