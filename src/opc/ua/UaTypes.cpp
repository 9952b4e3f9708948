#include "opc/ua/UaTypes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

#include "data/NumberFormat.h"
#include "data/SafeText.h"
#include "opc/OpcClient.h"

namespace {

constexpr const char* TypeNames[] = {
    "Null",   "Boolean",  "SByte",      "Byte",         "Int16",          "UInt16",
    "Int32",  "UInt32",   "Int64",      "UInt64",       "Float",          "Double",
    "String", "DateTime", "Guid",       "ByteString",   "XmlElement",     "NodeId",
    "ExpandedNodeId",     "StatusCode", "QualifiedName", "LocalizedText", "ExtensionObject",
    "DataValue", "Variant", "DiagnosticInfo"};

constexpr const char* Base64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const std::string& in) {
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (unsigned char c : in) {
    buffer = (buffer << 8) | c;
    bits += 8;
    while (bits >= 6) out += Base64Alphabet[(buffer >> (bits -= 6)) & 0x3F];
  }
  if (bits > 0) out += Base64Alphabet[(buffer << (6 - bits)) & 0x3F];
  while (out.size() % 4) out += '=';
  return out;
}

std::string Base64Decode(const std::string& in, const std::string& whole) {
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (char c : in) {
    if (c == '=') break;
    const char* at = std::char_traits<char>::find(Base64Alphabet, 64, c);
    if (!at) throw std::invalid_argument("'" + whole + "' is not a valid node id");
    buffer = (buffer << 6) | static_cast<std::uint32_t>(at - Base64Alphabet);
    bits += 6;
    if (bits >= 8) out += static_cast<char>((buffer >> (bits -= 8)) & 0xFF);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number of up to max with nothing else in the text.
bool ParseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > max) return false;
  out = v;
  return true;
}

// The wire order of a Guid: Data1 (4 bytes), Data2, Data3 little-endian, then Data4 as is.
constexpr int GuidTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

bool ParseGuid(const std::string& text, UaGuid& out) {
  if (text.size() != 36) return false;
  std::string hex;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
    } else {
      if (HexDigit(text[i]) < 0) return false;
      hex += text[i];
    }
  }
  for (int k = 0; k < 16; ++k)
    out[GuidTextOrder[k]] =
        static_cast<std::uint8_t>(HexDigit(hex[2 * k]) * 16 + HexDigit(hex[2 * k + 1]));
  return true;
}

std::string FormatGuid(const UaGuid& g) {
  std::string out;
  char two[3];
  for (int k = 0; k < 16; ++k) {
    if (k == 4 || k == 6 || k == 8 || k == 10) out += '-';
    std::snprintf(two, sizeof two, "%02X", g[GuidTextOrder[k]]);
    out += two;
  }
  return out;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t EpochDifferenceSeconds = 11'644'473'600LL;

}  // namespace

const char* UaTypeName(UaType type) {
  const auto i = static_cast<std::size_t>(type);
  return i < std::size(TypeNames) ? TypeNames[i] : "";
}

UaNodeId ParseNodeId(const std::string& text) {
  const auto invalid = [&] { return std::invalid_argument("'" + text + "' is not a valid node id"); };
  UaNodeId id;
  std::string rest = text;
  if (rest.rfind("ns=", 0) == 0 || rest.rfind("nsu=", 0) == 0) {
    const std::size_t semi = rest.find(';');
    if (semi == std::string::npos) throw invalid();
    if (rest[2] == '=') {
      std::uint64_t ns;
      if (!ParseUnsigned(rest.substr(3, semi - 3), 0xFFFF, ns)) throw invalid();
      id.Namespace = static_cast<std::uint16_t>(ns);
    } else {
      id.NamespaceUri = rest.substr(4, semi - 4);
      if (id.NamespaceUri.empty()) throw invalid();
    }
    rest = rest.substr(semi + 1);
  }
  if (rest.size() < 2 || rest[1] != '=') throw invalid();
  const std::string value = rest.substr(2);
  switch (rest[0]) {
    case 'i': {
      std::uint64_t n;
      if (!ParseUnsigned(value, 0xFFFFFFFFu, n)) throw invalid();
      id.Numeric = static_cast<std::uint32_t>(n);
      break;
    }
    case 's':
      if (value.empty()) throw invalid();
      id.IdKind = UaNodeId::Kind::String;
      id.Text = value;
      break;
    case 'g':
      id.IdKind = UaNodeId::Kind::Guid;
      if (!ParseGuid(value, id.GuidId)) throw invalid();
      break;
    case 'b':
      id.IdKind = UaNodeId::Kind::Opaque;
      id.Text = Base64Decode(value, text);
      if (id.Text.empty()) throw invalid();
      break;
    default: throw invalid();
  }
  return id;
}

std::string FormatNodeId(const UaNodeId& id) {
  std::string out;
  if (!id.NamespaceUri.empty())
    out = "nsu=" + id.NamespaceUri + ";";
  else if (id.Namespace != 0)
    out = "ns=" + std::to_string(id.Namespace) + ";";
  switch (id.IdKind) {
    case UaNodeId::Kind::Numeric: return out + "i=" + std::to_string(id.Numeric);
    case UaNodeId::Kind::String: return out + "s=" + id.Text;
    case UaNodeId::Kind::Guid: return out + "g=" + FormatGuid(id.GuidId);
    case UaNodeId::Kind::Opaque: return out + "b=" + Base64Encode(id.Text);
  }
  return out;
}

bool UaVariant::IsNumeric() const {
  return !IsArray && !Values.empty() && Type >= UaType::Boolean && Type <= UaType::Double;
}

double UaVariant::ToDouble() const {
  if (Values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const UaScalar& s = Values.front();
  if (Type >= UaType::Boolean && Type <= UaType::Double) {
    if (auto* b = std::get_if<bool>(&s)) return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&s)) return static_cast<double>(*i);
    if (auto* u = std::get_if<std::uint64_t>(&s)) return static_cast<double>(*u);
    if (auto* d = std::get_if<double>(&s)) return *d;
  }
  if (Type == UaType::StatusCode)
    if (auto* u = std::get_if<std::uint64_t>(&s)) return static_cast<double>(*u);
  return std::numeric_limits<double>::quiet_NaN();
}

UaVariant NumericVariant(UaType type, double x) {
  // A value the type cannot hold exactly is refused, never rounded or clipped.
  const bool numeric = type >= UaType::Boolean && type <= UaType::Double;
  const OpcValueFit fit = FitOfValue(
      numeric ? static_cast<OpcDataType>(static_cast<int>(type)) : OpcDataType::NotNumeric, x);
  const std::string value = FormatShortest(x);
  switch (fit) {
    case OpcValueFit::Fits:
      break;
    case OpcValueFit::NotFinite:
      throw std::range_error("The value is not a finite number");
    case OpcValueFit::Fraction:
      throw std::range_error("The value " + value + " is not a whole number, as " +
                             UaTypeName(type) + " requires");
    case OpcValueFit::OutOfRange:
      throw std::range_error("The value " + value + " does not fit in " + UaTypeName(type));
    case OpcValueFit::NotBoolean:
      throw std::range_error("The value " + value + " is not a Boolean (0 or 1)");
    case OpcValueFit::NotNumeric:
      throw std::range_error(std::string("A number cannot be written as ") + UaTypeName(type));
  }
  switch (type) {
    case UaType::Boolean: return UaVariant::Scalar(type, x != 0);
    case UaType::SByte:
    case UaType::Int16:
    case UaType::Int32:
    case UaType::Int64:
      return UaVariant::Scalar(type, static_cast<std::int64_t>(x));
    case UaType::Byte:
    case UaType::UInt16:
    case UaType::UInt32:
    case UaType::UInt64:
      return UaVariant::Scalar(type, static_cast<std::uint64_t>(x));
    default:
      return UaVariant::Scalar(type, x);
  }
}

UaDateTime UaDateTimeNow() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return since1970 * 10 + EpochDifferenceSeconds * 10'000'000;
}

std::string FormatUaDateTime(UaDateTime t) {
  if (t <= 0) return {};
  const std::int64_t ms = t / 10'000 - EpochDifferenceSeconds * 1000;
  const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(((ms % 1000) + 1000) % 1000));
  return text;
}

std::string UaServerText(std::string_view text) { return BoundedText(text, UaMaxServerText); }
