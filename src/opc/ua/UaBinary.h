// The OPC UA binary encoding: a writer that appends little-endian values to a byte string
// and a reader that takes them from received bytes, checking every length and count
// against what is left and against fixed bounds before it allocates anything, and
// charging everything it builds against a budget set by the size of what arrived.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "opc/ua/UaTypes.h"

// Bounds on what one received value may hold.
inline constexpr std::int32_t UaMaxArrayLength = 1'000'000;
inline constexpr std::int32_t UaMaxStringLength = 16 * 1024 * 1024;
inline constexpr int UaMaxNesting = 16;
// What a reader may build from a message: at most UaDecodeFactor bytes of decoded values
// per byte received, never more than UaDecodeCap. Every array element (also one that takes
// no bytes on the wire, such as a Null variant), string and nested value is charged before
// it is built, so memory and work stay in proportion to the bytes that arrived.
inline constexpr std::size_t UaDecodeFactor = 160;
inline constexpr std::size_t UaDecodeCap = 64 * 1024 * 1024;
inline std::size_t UaDecodeBudget(std::size_t bytes) {
  return bytes > UaDecodeCap / UaDecodeFactor ? UaDecodeCap : bytes * UaDecodeFactor;
}

class UaWriter {
 public:
  std::string& Bytes() { return out_; }
  const std::string& Bytes() const { return out_; }

  void Boolean(bool v) { Byte(v ? 1 : 0); }
  void Byte(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void UInt16(std::uint16_t v) { Little(v, 2); }
  void UInt32(std::uint32_t v) { Little(v, 4); }
  void Int32(std::int32_t v) { Little(static_cast<std::uint32_t>(v), 4); }
  void UInt64(std::uint64_t v) { Little(v, 8); }
  void Int64(std::int64_t v) { Little(static_cast<std::uint64_t>(v), 8); }
  void Float(float v);
  void Double(double v);
  // A String or ByteString; NullString() writes the null one (length -1).
  void String(std::string_view v);
  void NullString() { Int32(-1); }
  void Guid(const UaGuid& g);
  void NodeId(const UaNodeId& id);
  void ExpandedNodeId(const UaExpandedNodeId& id);
  void QualifiedName(const UaQualifiedName& q);
  void LocalizedText(const UaLocalizedText& t);
  void ExtensionObject(const UaExtensionObject& e);
  void Variant(const UaVariant& v);
  void DataValue(const UaDataValue& v);
  // Overwrites four bytes at a position already written (a chunk's size).
  void PatchUInt32(std::size_t at, std::uint32_t v);

 private:
  void Little(std::uint64_t v, int bytes);
  void Scalar(UaType type, const UaScalar& s);
  std::string out_;
};

class UaReader {
 public:
  explicit UaReader(std::string_view bytes) : in_(bytes), budget_(UaDecodeBudget(bytes.size())) {}
  std::size_t Remaining() const { return in_.size() - pos_; }
  std::size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ == in_.size(); }

  bool Boolean() { return Byte() != 0; }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Take(1)[0]); }
  std::uint16_t UInt16() { return static_cast<std::uint16_t>(Little(2)); }
  std::int16_t Int16() { return static_cast<std::int16_t>(Little(2)); }
  std::uint32_t UInt32() { return static_cast<std::uint32_t>(Little(4)); }
  std::int32_t Int32() { return static_cast<std::int32_t>(Little(4)); }
  std::uint64_t UInt64() { return Little(8); }
  std::int64_t Int64() { return static_cast<std::int64_t>(Little(8)); }
  float Float();
  double Double();
  std::string String();  // a null string reads as ""
  std::string_view Raw(std::size_t n) { return Take(n); }
  UaGuid Guid();
  UaNodeId NodeId();
  UaExpandedNodeId ExpandedNodeId();
  UaQualifiedName QualifiedName();
  UaLocalizedText LocalizedText();
  UaExtensionObject ExtensionObject();
  UaVariant Variant();
  UaDataValue DataValue();
  // Reads past a DiagnosticInfo, keeping nothing.
  void SkipDiagnosticInfo();
  // An array's length: -1 (null) reads as 0; a negative or too large one, or one that
  // cannot fit in what is left at minBytesEach per element, is refused. Each element is
  // charged decodedEach bytes of the budget.
  std::size_t ArrayLength(std::size_t minBytesEach, std::size_t decodedEach);
  template <typename T>
  std::size_t ArrayOf(std::size_t minBytesEach) {
    return ArrayLength(minBytesEach, sizeof(T));
  }
  // Takes bytes from the budget; throws UaDecodeError (OverBudget) when it is spent.
  void Charge(std::size_t bytes);
  // What has been charged so far.
  std::size_t Decoded() const { return charged_; }

 private:
  std::string_view Take(std::size_t n);
  std::uint64_t Little(int bytes);
  UaScalar Scalar(UaType type);
  UaNodeId NodeIdOfForm(std::uint8_t form);
  UaVariant VariantAt(int depth);
  UaDataValue DataValueAt(int depth);
  void SkipDiagnosticInfoAt(int depth);
  [[noreturn]] void Fail(const std::string& what) const;

  std::string_view in_;
  std::size_t pos_ = 0;
  std::size_t budget_;
  std::size_t charged_ = 0;
};
