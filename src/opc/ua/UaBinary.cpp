#include "opc/ua/UaBinary.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t ArrayBit = 0x80;
constexpr std::uint8_t DimensionsBit = 0x40;
constexpr std::uint8_t NamespaceUriBit = 0x80;
constexpr std::uint8_t ServerIndexBit = 0x40;

// The encoding byte of a node id, without the expanded flags.
std::uint8_t NodeIdForm(const UaNodeId& id) {
  switch (id.IdKind) {
    case UaNodeId::Kind::String: return 0x03;
    case UaNodeId::Kind::Guid: return 0x04;
    case UaNodeId::Kind::Opaque: return 0x05;
    case UaNodeId::Kind::Numeric: break;
  }
  if (id.Namespace == 0 && id.Numeric <= 0xFF) return 0x00;
  if (id.Namespace <= 0xFF && id.Numeric <= 0xFFFF) return 0x01;
  return 0x02;
}

}  // namespace

// ---- writer ----

void UaWriter::Little(std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void UaWriter::Float(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, 4);
  UInt32(bits);
}

void UaWriter::Double(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  UInt64(bits);
}

void UaWriter::String(std::string_view v) {
  Int32(static_cast<std::int32_t>(v.size()));
  out_.append(v);
}

void UaWriter::Guid(const UaGuid& g) { out_.append(reinterpret_cast<const char*>(g.data()), 16); }

void UaWriter::PatchUInt32(std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void UaWriter::NodeId(const UaNodeId& id) {
  const std::uint8_t form = NodeIdForm(id);
  Byte(form);
  switch (form) {
    case 0x00: Byte(static_cast<std::uint8_t>(id.Numeric)); return;
    case 0x01:
      Byte(static_cast<std::uint8_t>(id.Namespace));
      UInt16(static_cast<std::uint16_t>(id.Numeric));
      return;
    case 0x02: UInt16(id.Namespace); UInt32(id.Numeric); return;
    case 0x04: UInt16(id.Namespace); Guid(id.GuidId); return;
    default: UInt16(id.Namespace); String(id.Text); return;
  }
}

void UaWriter::ExpandedNodeId(const UaExpandedNodeId& id) {
  const std::size_t at = out_.size();
  NodeId(id.Id);
  if (!id.NamespaceUri.empty()) {
    out_[at] = static_cast<char>(out_[at] | NamespaceUriBit);
    String(id.NamespaceUri);
  }
  if (id.ServerIndex != 0) {
    out_[at] = static_cast<char>(out_[at] | ServerIndexBit);
    UInt32(id.ServerIndex);
  }
}

void UaWriter::QualifiedName(const UaQualifiedName& q) {
  UInt16(q.Namespace);
  String(q.Name);
}

void UaWriter::LocalizedText(const UaLocalizedText& t) {
  const std::uint8_t mask = (t.Locale.empty() ? 0 : 1) | (t.Text.empty() ? 0 : 2);
  Byte(mask);
  if (mask & 1) String(t.Locale);
  if (mask & 2) String(t.Text);
}

void UaWriter::ExtensionObject(const UaExtensionObject& e) {
  NodeId(e.TypeId);
  Byte(e.Encoding);
  if (e.Encoding != 0) String(e.Body);
}

void UaWriter::Scalar(UaType type, const UaScalar& s) {
  auto i64 = [&] { return std::holds_alternative<std::int64_t>(s) ? std::get<std::int64_t>(s) : 0; };
  auto u64 = [&] { return std::holds_alternative<std::uint64_t>(s) ? std::get<std::uint64_t>(s) : 0; };
  auto dbl = [&] { return std::holds_alternative<double>(s) ? std::get<double>(s) : 0.0; };
  auto text = [&]() -> std::string_view {
    return std::holds_alternative<std::string>(s) ? std::string_view(std::get<std::string>(s)) : "";
  };
  switch (type) {
    case UaType::Boolean: Boolean(std::holds_alternative<bool>(s) && std::get<bool>(s)); return;
    case UaType::SByte: Byte(static_cast<std::uint8_t>(i64())); return;
    case UaType::Byte: Byte(static_cast<std::uint8_t>(u64())); return;
    case UaType::Int16: UInt16(static_cast<std::uint16_t>(i64())); return;
    case UaType::UInt16: UInt16(static_cast<std::uint16_t>(u64())); return;
    case UaType::Int32: Int32(static_cast<std::int32_t>(i64())); return;
    case UaType::UInt32: UInt32(static_cast<std::uint32_t>(u64())); return;
    case UaType::Int64:
    case UaType::DateTime: Int64(i64()); return;
    case UaType::UInt64: UInt64(u64()); return;
    case UaType::StatusCode: UInt32(static_cast<std::uint32_t>(u64())); return;
    case UaType::Float: Float(static_cast<float>(dbl())); return;
    case UaType::Double: Double(dbl()); return;
    case UaType::String:
    case UaType::ByteString:
    case UaType::XmlElement: String(text()); return;
    case UaType::Guid: Guid(std::holds_alternative<UaGuid>(s) ? std::get<UaGuid>(s) : UaGuid{}); return;
    case UaType::NodeId:
      NodeId(std::holds_alternative<UaNodeId>(s) ? std::get<UaNodeId>(s) : UaNodeId{});
      return;
    case UaType::ExpandedNodeId:
      ExpandedNodeId({std::holds_alternative<UaNodeId>(s) ? std::get<UaNodeId>(s) : UaNodeId{}, {}, 0});
      return;
    case UaType::QualifiedName:
      QualifiedName(std::holds_alternative<UaQualifiedName>(s) ? std::get<UaQualifiedName>(s)
                                                               : UaQualifiedName{});
      return;
    case UaType::LocalizedText:
      LocalizedText(std::holds_alternative<UaLocalizedText>(s) ? std::get<UaLocalizedText>(s)
                                                               : UaLocalizedText{});
      return;
    case UaType::ExtensionObject:
      ExtensionObject(std::holds_alternative<UaExtensionObject>(s) ? std::get<UaExtensionObject>(s)
                                                                   : UaExtensionObject{});
      return;
    // What this client never sends: an empty nested value.
    case UaType::DataValue: Byte(0); return;
    case UaType::Variant: Byte(0); return;
    case UaType::DiagnosticInfo: Byte(0); return;
    case UaType::Null: return;
  }
}

void UaWriter::Variant(const UaVariant& v) {
  if (v.Type == UaType::Null) {
    Byte(0);
    return;
  }
  std::uint8_t mask = static_cast<std::uint8_t>(v.Type);
  if (v.IsArray) mask |= ArrayBit;
  if (v.IsArray && !v.Dimensions.empty()) mask |= DimensionsBit;
  Byte(mask);
  if (!v.IsArray) {
    Scalar(v.Type, v.Values.empty() ? UaScalar{} : v.Values.front());
    return;
  }
  Int32(static_cast<std::int32_t>(v.Values.size()));
  for (const UaScalar& s : v.Values) Scalar(v.Type, s);
  if (mask & DimensionsBit) {
    Int32(static_cast<std::int32_t>(v.Dimensions.size()));
    for (std::int32_t d : v.Dimensions) Int32(d);
  }
}

void UaWriter::DataValue(const UaDataValue& v) {
  std::uint8_t mask = 0;
  if (v.HasValue) mask |= 0x01;
  if (v.HasStatus) mask |= 0x02;
  if (v.HasSourceTime) mask |= 0x04;
  if (v.HasServerTime) mask |= 0x08;
  if (v.HasSourceTime && v.SourcePicoseconds) mask |= 0x10;
  if (v.HasServerTime && v.ServerPicoseconds) mask |= 0x20;
  Byte(mask);
  if (mask & 0x01) Variant(v.Value);
  if (mask & 0x02) UInt32(v.Status);
  if (mask & 0x04) Int64(v.SourceTime);
  if (mask & 0x10) UInt16(v.SourcePicoseconds);
  if (mask & 0x08) Int64(v.ServerTime);
  if (mask & 0x20) UInt16(v.ServerPicoseconds);
}

// ---- reader ----

void UaReader::Fail(const std::string& what) const {
  throw UaDecodeError(what + " at byte " + std::to_string(pos_));
}

std::string_view UaReader::Take(std::size_t n) {
  if (n > Remaining()) Fail("Message ends early");
  const std::string_view part = in_.substr(pos_, n);
  pos_ += n;
  return part;
}

std::uint64_t UaReader::Little(int bytes) {
  const std::string_view b = Take(static_cast<std::size_t>(bytes));
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[i]);
  return v;
}

float UaReader::Float() {
  const std::uint32_t bits = UInt32();
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

double UaReader::Double() {
  const std::uint64_t bits = UInt64();
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

void UaReader::Charge(std::size_t bytes) {
  if (bytes > budget_ - charged_)
    throw UaDecodeError("its values would take more memory than its " + std::to_string(in_.size()) +
                            " bytes can carry",
                        true);
  charged_ += bytes;
}

std::string UaReader::String() {
  const std::int32_t length = Int32();
  if (length == -1) return {};
  if (length < 0 || length > UaMaxStringLength) Fail("String length " + std::to_string(length) + " out of bounds");
  const std::string_view bytes = Take(static_cast<std::size_t>(length));
  Charge(bytes.size());
  return std::string(bytes);
}

std::size_t UaReader::ArrayLength(std::size_t minBytesEach, std::size_t decodedEach) {
  const std::int32_t length = Int32();
  if (length == -1) return 0;
  if (length < 0 || length > UaMaxArrayLength ||
      static_cast<std::size_t>(length) * minBytesEach > Remaining())
    Fail("Array length " + std::to_string(length) + " out of bounds");
  Charge(static_cast<std::size_t>(length) * std::max<std::size_t>(decodedEach, 1));
  return static_cast<std::size_t>(length);
}

UaGuid UaReader::Guid() {
  UaGuid g;
  std::memcpy(g.data(), Take(16).data(), 16);
  return g;
}

UaNodeId UaReader::NodeId() {
  const std::uint8_t form = Byte();
  if (form & (NamespaceUriBit | ServerIndexBit)) Fail("Expanded node id where a node id belongs");
  return NodeIdOfForm(form);
}

UaNodeId UaReader::NodeIdOfForm(std::uint8_t form) {
  UaNodeId id;
  switch (form) {
    case 0x00: id.Numeric = Byte(); break;
    case 0x01:
      id.Namespace = Byte();
      id.Numeric = UInt16();
      break;
    case 0x02:
      id.Namespace = UInt16();
      id.Numeric = UInt32();
      break;
    case 0x03:
      id.Namespace = UInt16();
      id.IdKind = UaNodeId::Kind::String;
      id.Text = String();
      break;
    case 0x04:
      id.Namespace = UInt16();
      id.IdKind = UaNodeId::Kind::Guid;
      id.GuidId = Guid();
      break;
    case 0x05:
      id.Namespace = UInt16();
      id.IdKind = UaNodeId::Kind::Opaque;
      id.Text = String();
      break;
    default: Fail("Unknown node id encoding " + std::to_string(form));
  }
  return id;
}

UaExpandedNodeId UaReader::ExpandedNodeId() {
  const std::uint8_t flags = Byte();
  UaExpandedNodeId out;
  out.Id = NodeIdOfForm(flags & 0x3F);
  if (flags & NamespaceUriBit) out.NamespaceUri = String();
  if (flags & ServerIndexBit) out.ServerIndex = UInt32();
  return out;
}

UaQualifiedName UaReader::QualifiedName() {
  UaQualifiedName q;
  q.Namespace = UInt16();
  q.Name = String();
  return q;
}

UaLocalizedText UaReader::LocalizedText() {
  UaLocalizedText t;
  const std::uint8_t mask = Byte();
  if (mask & 1) t.Locale = String();
  if (mask & 2) t.Text = String();
  return t;
}

UaExtensionObject UaReader::ExtensionObject() {
  UaExtensionObject e;
  e.TypeId = NodeId();
  e.Encoding = Byte();
  if (e.Encoding > 2) Fail("Unknown extension object encoding " + std::to_string(e.Encoding));
  if (e.Encoding != 0) e.Body = String();
  return e;
}

UaScalar UaReader::Scalar(UaType type) {
  switch (type) {
    case UaType::Boolean: return Boolean();
    case UaType::SByte: return static_cast<std::int64_t>(static_cast<std::int8_t>(Byte()));
    case UaType::Byte: return static_cast<std::uint64_t>(Byte());
    case UaType::Int16: return static_cast<std::int64_t>(Int16());
    case UaType::UInt16: return static_cast<std::uint64_t>(UInt16());
    case UaType::Int32: return static_cast<std::int64_t>(Int32());
    case UaType::UInt32: return static_cast<std::uint64_t>(UInt32());
    case UaType::Int64:
    case UaType::DateTime: return Int64();
    case UaType::UInt64: return UInt64();
    case UaType::StatusCode: return static_cast<std::uint64_t>(UInt32());
    case UaType::Float: return static_cast<double>(Float());
    case UaType::Double: return Double();
    case UaType::String:
    case UaType::ByteString:
    case UaType::XmlElement: return String();
    case UaType::Guid: return Guid();
    case UaType::NodeId: return NodeId();
    case UaType::ExpandedNodeId: return ExpandedNodeId().Id;
    case UaType::QualifiedName: return QualifiedName();
    case UaType::LocalizedText: return LocalizedText();
    case UaType::ExtensionObject: return ExtensionObject();
    case UaType::Null: return {};
    default: Fail("Nested value where a scalar belongs");
  }
}

UaVariant UaReader::Variant() { return VariantAt(0); }

UaVariant UaReader::VariantAt(int depth) {
  if (depth > UaMaxNesting) Fail("Values nested too deep");
  const std::uint8_t mask = Byte();
  const std::uint8_t typeId = mask & 0x3F;
  if (typeId > static_cast<std::uint8_t>(UaType::DiagnosticInfo))
    Fail("Unknown variant type " + std::to_string(typeId));
  UaVariant v;
  v.Type = static_cast<UaType>(typeId);
  v.IsArray = (mask & ArrayBit) != 0;
  if (v.Type == UaType::Null && !v.IsArray) return v;
  auto one = [&]() -> UaScalar {
    switch (v.Type) {
      case UaType::DataValue: DataValueAt(depth + 1); return {};
      case UaType::Variant: VariantAt(depth + 1); return {};
      case UaType::DiagnosticInfo: SkipDiagnosticInfoAt(depth + 1); return {};
      default: return Scalar(v.Type);
    }
  };
  if (!v.IsArray) {
    Charge(sizeof(UaScalar));
    v.Values.push_back(one());
    return v;
  }
  // A Null element takes no bytes on the wire; the budget still pays for it.
  const std::size_t n = ArrayLength(v.Type == UaType::Null ? 0 : 1, sizeof(UaScalar));
  v.Values.reserve(n);
  for (std::size_t i = 0; i < n; ++i) v.Values.push_back(one());
  if (mask & DimensionsBit) {
    const std::size_t dims = ArrayOf<std::int32_t>(4);
    for (std::size_t i = 0; i < dims; ++i) v.Dimensions.push_back(Int32());
  }
  return v;
}

UaDataValue UaReader::DataValue() { return DataValueAt(0); }

UaDataValue UaReader::DataValueAt(int depth) {
  if (depth > UaMaxNesting) Fail("Values nested too deep");
  if (depth > 0) Charge(sizeof(UaDataValue));  // a nested one; the caller pays for the first
  UaDataValue v;
  const std::uint8_t mask = Byte();
  v.HasValue = mask & 0x01;
  v.HasStatus = mask & 0x02;
  v.HasSourceTime = mask & 0x04;
  v.HasServerTime = mask & 0x08;
  if (v.HasValue) v.Value = VariantAt(depth + 1);
  if (v.HasStatus) v.Status = UInt32();
  if (v.HasSourceTime) v.SourceTime = Int64();
  if (mask & 0x10) v.SourcePicoseconds = UInt16();
  if (v.HasServerTime) v.ServerTime = Int64();
  if (mask & 0x20) v.ServerPicoseconds = UInt16();
  return v;
}

void UaReader::SkipDiagnosticInfo() { SkipDiagnosticInfoAt(0); }

void UaReader::SkipDiagnosticInfoAt(int depth) {
  if (depth > UaMaxNesting) Fail("Values nested too deep");
  const std::uint8_t mask = Byte();
  if (mask & 0x01) Int32();  // symbolic id
  if (mask & 0x02) Int32();  // namespace uri
  if (mask & 0x08) Int32();  // locale
  if (mask & 0x04) Int32();  // localized text
  if (mask & 0x10) String();  // additional info
  if (mask & 0x20) UInt32();  // inner status code
  if (mask & 0x40) SkipDiagnosticInfoAt(depth + 1);
}
