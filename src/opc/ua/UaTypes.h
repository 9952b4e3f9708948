// The values of the OPC UA binary protocol that this client reads and writes: node ids,
// names, variants, data values, and the status codes with their names.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Garbage or a value past its bound in what the peer sent; what() says what and where.
// OverBudget: the message holds more values than its size allows (what() says so, with
// no byte offset: the whole message is at fault).
class UaDecodeError : public std::runtime_error {
 public:
  explicit UaDecodeError(const std::string& what, bool overBudget = false)
      : std::runtime_error(what), OverBudget(overBudget) {}
  bool OverBudget;
};

// Built-in type ids of the binary encoding.
enum class UaType : std::uint8_t {
  Null = 0, Boolean = 1, SByte = 2, Byte = 3, Int16 = 4, UInt16 = 5, Int32 = 6, UInt32 = 7,
  Int64 = 8, UInt64 = 9, Float = 10, Double = 11, String = 12, DateTime = 13, Guid = 14,
  ByteString = 15, XmlElement = 16, NodeId = 17, ExpandedNodeId = 18, StatusCode = 19,
  QualifiedName = 20, LocalizedText = 21, ExtensionObject = 22, DataValue = 23, Variant = 24,
  DiagnosticInfo = 25
};
// The type's name as servers and engineers write it ("Double", "Int32"), "" past the table.
const char* UaTypeName(UaType type);

using UaGuid = std::array<std::uint8_t, 16>;

struct UaNodeId {
  enum class Kind : std::uint8_t { Numeric, String, Guid, Opaque };
  std::uint16_t Namespace = 0;
  Kind IdKind = Kind::Numeric;
  std::uint32_t Numeric = 0;
  std::string Text;  // the String or Opaque identifier
  UaGuid GuidId{};
  // Set when the id was written "nsu=URI;…" and the namespace index is not yet resolved.
  std::string NamespaceUri;

  static UaNodeId Num(std::uint32_t id, std::uint16_t ns = 0) {
    UaNodeId n;
    n.Namespace = ns;
    n.Numeric = id;
    return n;
  }
  static UaNodeId Str(std::string id, std::uint16_t ns) {
    UaNodeId n;
    n.Namespace = ns;
    n.IdKind = Kind::String;
    n.Text = std::move(id);
    return n;
  }
  bool IsNull() const { return Namespace == 0 && IdKind == Kind::Numeric && Numeric == 0; }
  bool operator==(const UaNodeId&) const = default;
};

// The text form of a node id: "i=2259", "ns=2;s=MV", "ns=1;g=…", "ns=3;b=<base64>",
// "nsu=URI;s=…". Throws std::invalid_argument with the text when it is none of these.
UaNodeId ParseNodeId(const std::string& text);
std::string FormatNodeId(const UaNodeId& id);

struct UaExpandedNodeId {
  UaNodeId Id;
  std::string NamespaceUri;
  std::uint32_t ServerIndex = 0;
};

struct UaQualifiedName {
  std::uint16_t Namespace = 0;
  std::string Name;
  bool operator==(const UaQualifiedName&) const = default;
};

struct UaLocalizedText {
  std::string Locale;
  std::string Text;
  bool operator==(const UaLocalizedText&) const = default;
};

// An extension object whose body is kept as bytes (binary) or text (XML).
struct UaExtensionObject {
  UaNodeId TypeId;
  std::uint8_t Encoding = 0;  // 0 no body, 1 binary, 2 XML
  std::string Body;
  bool operator==(const UaExtensionObject&) const = default;
};

// One element of a variant. Integers of every width are held as int64 or uint64 (the
// variant's type says the width on the wire), Float and Double as double, DateTime as
// its int64 ticks, StatusCode as uint64; String, ByteString and XmlElement as bytes.
// A nested DataValue, Variant or DiagnosticInfo is read past and held as monostate.
using UaScalar = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                              std::string, UaNodeId, UaQualifiedName, UaLocalizedText, UaGuid,
                              UaExtensionObject>;

struct UaVariant {
  UaType Type = UaType::Null;
  bool IsArray = false;
  std::vector<UaScalar> Values;       // one element for a scalar
  std::vector<std::int32_t> Dimensions;  // of a multi-dimensional array

  static UaVariant Scalar(UaType type, UaScalar value) {
    UaVariant v;
    v.Type = type;
    v.Values.push_back(std::move(value));
    return v;
  }
  bool IsEmpty() const { return Type == UaType::Null || Values.empty(); }
  bool IsNumeric() const;
  // The first element as a double: numbers, Boolean (0 or 1), StatusCode; NaN otherwise.
  double ToDouble() const;
};

// A value of the given numeric type (Boolean, an integer type, Float, Double) holding x,
// rounded to an integer type. Throws std::range_error when x is not finite or does not fit.
UaVariant NumericVariant(UaType type, double x);

// 100-nanosecond intervals since 1601-01-01 UTC, the protocol's DateTime.
using UaDateTime = std::int64_t;
UaDateTime UaDateTimeNow();
// ISO 8601 UTC with milliseconds ("2026-12-07T22:34:46.123Z"); "" for 0 (no time).
std::string FormatUaDateTime(UaDateTime t);

using UaStatusCode = std::uint32_t;
constexpr UaStatusCode UaGood = 0;
inline bool UaIsGood(UaStatusCode s) { return (s >> 30) == 0; }
inline bool UaIsBad(UaStatusCode s) { return (s >> 30) == 2; }
// The symbolic name ("BadNodeIdUnknown"); for a code not in the table its severity and
// the code ("Bad 0xBB000000").
std::string UaStatusName(UaStatusCode code);
// The name and what it means, for a message: "BadNodeIdUnknown (the server does not know
// the node)"; a code without a sentence of its own gets its severity's.
std::string UaStatusText(UaStatusCode code);

// The longest text of a server's (an error's reason, a certificate's subject, a policy's
// URI) that a message quotes, in characters.
inline constexpr std::size_t UaMaxServerText = 300;
// A server's text as a message quotes it: valid UTF-8, cut at UaMaxServerText and marked.
std::string UaServerText(std::string_view text);

struct UaDataValue {
  bool HasValue = false, HasStatus = false, HasSourceTime = false, HasServerTime = false;
  UaVariant Value;
  UaStatusCode Status = UaGood;
  UaDateTime SourceTime = 0, ServerTime = 0;
  std::uint16_t SourcePicoseconds = 0, ServerPicoseconds = 0;
};
