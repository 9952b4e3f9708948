// The decoder's budget: what a response may build is bounded by the bytes that arrived,
// whatever its arrays claim, and the refusal says so without a byte offset.
#include <gtest/gtest.h>

#include <chrono>

#include "opc/ua/UaBinary.h"
#include "opc/ua/UaServices.h"

namespace {

// A response header with a good result, as a server writes it.
void Header(UaWriter& w) {
  w.Int64(0);
  w.UInt32(1);
  w.UInt32(0);
  w.Byte(0);    // no diagnostics
  w.Int32(-1);  // no string table
  w.ExtensionObject({});
}

// A ReadResponse of `count` data values, each holding the variant bytes given.
std::string ReadResponse(int count, const std::string& variant) {
  UaWriter w;
  Header(w);
  w.Int32(count);
  for (int i = 0; i < count; ++i) {
    w.Byte(0x01);
    w.Bytes() += variant;
  }
  w.Int32(-1);
  return w.Bytes();
}

// A variant array of n elements of the type, the elements' bytes given.
std::string ArrayVariant(UaType type, std::int32_t n, const std::string& elements = "") {
  UaWriter w;
  w.Byte(static_cast<std::uint8_t>(type) | 0x80);
  w.Int32(n);
  w.Bytes() += elements;
  return w.Bytes();
}

std::string RefusalOf(std::uint32_t type, const std::string& body) {
  try {
    DecodeAnyResponse(type, body);
  } catch (const UaDecodeError& e) {
    EXPECT_TRUE(e.OverBudget) << e.what();
    return e.what();
  }
  return "decoded";
}

TEST(UaDecodeBudget, ArraysOfElementsThatTakeNoBytesAreChargedAndRefused) {
  // 65 KB of data values, each an array of a million Null variants (5 bytes on the wire):
  // about 48 GB if it were built.
  const std::string nulls = ReadResponse(13'000, ArrayVariant(UaType::Null, 1'000'000));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RefusalOf(UaMessageId::ReadResponse, nulls),
            "its values would take more memory than its " + std::to_string(nulls.size()) +
                " bytes can carry");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  // Arrays of variants nested to the bound, each level claiming as many as the bytes allow.
  std::string nested = ArrayVariant(UaType::Null, 1'000'000);
  for (int level = 0; level < 15; ++level) {
    std::string many;
    for (int i = 0; i < 200; ++i) many += ArrayVariant(UaType::Null, 0);
    nested = ArrayVariant(UaType::Variant, 201, nested + many);
  }
  EXPECT_NE(RefusalOf(UaMessageId::ReadResponse, ReadResponse(1, nested)), "decoded");
}

TEST(UaDecodeBudget, OrdinaryAnswersDecodeWithinTheirBudget) {
  // A thousand doubles and a thousand Booleans: the densest values an answer carries.
  UaWriter doubles, booleans;
  for (int i = 0; i < 1000; ++i) doubles.Double(i);
  for (int i = 0; i < 1000; ++i) booleans.Boolean(i % 2);
  const std::string body = ReadResponse(1, ArrayVariant(UaType::Double, 1000, doubles.Bytes()));
  const std::size_t decoded = DecodeAnyResponse(UaMessageId::ReadResponse, body);
  EXPECT_GT(decoded, 1000 * sizeof(UaScalar));
  EXPECT_LE(decoded, UaDecodeFactor * body.size());
  const std::string flags = ReadResponse(1, ArrayVariant(UaType::Boolean, 1000, booleans.Bytes()));
  EXPECT_LE(DecodeAnyResponse(UaMessageId::ReadResponse, flags), UaDecodeFactor * flags.size());
  // A thousand scalar values of one byte each, as a read of many switches gives.
  const std::string switches = ReadResponse(1000, std::string("\x01\x01", 2));
  EXPECT_LE(DecodeAnyResponse(UaMessageId::ReadResponse, switches),
            UaDecodeFactor * switches.size());
  // The fixed cap holds whatever the size.
  EXPECT_EQ(UaDecodeBudget(std::size_t{1} << 30), UaDecodeCap);
}

}  // namespace
