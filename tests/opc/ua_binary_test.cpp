// The binary encoding against hand-made byte fixtures: every node id form, variants with
// arrays, data values with their optional fields, DateTime, and refused garbage.
#include <gtest/gtest.h>

#include <cmath>

#include "opc/UaBytes.h"
#include "opc/ua/UaBinary.h"
#include "opc/ua/UaServices.h"

namespace {

std::string Encode(const UaNodeId& id) {
  UaWriter w;
  w.NodeId(id);
  return Hex(w.Bytes());
}

TEST(UaBinary, EveryNodeIdFormMatchesItsFixtureBothWays) {
  const struct {
    const char* Text;
    const char* Wire;
  } cases[] = {
      {"i=85", "00 55"},
      {"ns=1;i=1001", "01 01 E9 03"},
      {"ns=2;i=70000", "02 02 00 70 11 01 00"},
      {"ns=300;i=5", "02 2C 01 05 00 00 00"},
      {"ns=2;s=MV", "03 02 00 02 00 00 00 4D 56"},
      {"g=72962B91-FA75-4AE6-8D28-B404DC7DAF63",
       "04 00 00 91 2B 96 72 75 FA E6 4A 8D 28 B4 04 DC 7D AF 63"},
      {"ns=3;b=AQI=", "05 03 00 02 00 00 00 01 02"},
  };
  for (const auto& c : cases) {
    const UaNodeId id = ParseNodeId(c.Text);
    EXPECT_EQ(Encode(id), c.Wire) << c.Text;
    const std::string rBytes = Bytes(c.Wire);
  UaReader r(rBytes);
    const UaNodeId back = r.NodeId();
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(FormatNodeId(back), c.Text);
  }
}

TEST(UaBinary, NodeIdTextsThatAreNoneOfTheFormsAreRefusedByName) {
  for (const char* bad : {"", "MV", "ns=2", "ns=70000;i=1", "ns=x;s=MV", "i=-1", "i=4294967296",
                          "s=", "g=1234", "q=5", "nsu=;s=MV"}) {
    try {
      ParseNodeId(bad);
      ADD_FAILURE() << bad;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid node id");
    }
  }
  const UaNodeId byUri = ParseNodeId("nsu=urn:plant;s=Loop1.MV");
  EXPECT_EQ(byUri.NamespaceUri, "urn:plant");
  EXPECT_EQ(byUri.Text, "Loop1.MV");
}

TEST(UaBinary, ExpandedNodeIdCarriesItsUriAndServerIndex) {
  const std::string rBytes = Bytes("C1 02 E9 03 03 00 00 00 75 72 6E 07 00 00 00");
  UaReader r(rBytes);
  const UaExpandedNodeId id = r.ExpandedNodeId();
  EXPECT_EQ(FormatNodeId(id.Id), "ns=2;i=1001");
  EXPECT_EQ(id.NamespaceUri, "urn");
  EXPECT_EQ(id.ServerIndex, 7u);
  UaWriter w;
  w.ExpandedNodeId(id);
  EXPECT_EQ(Hex(w.Bytes()), "C1 02 E9 03 03 00 00 00 75 72 6E 07 00 00 00");
}

TEST(UaBinary, VariantsScalarArrayAndMatrix) {
  UaWriter w;
  w.Variant(UaVariant::Scalar(UaType::Double, 1.5));
  EXPECT_EQ(Hex(w.Bytes()), "0B 00 00 00 00 00 00 F8 3F");

  const std::string arrayBytes = Bytes("86 02 00 00 00 01 00 00 00 FE FF FF FF");
  UaReader array(arrayBytes);
  const UaVariant v = array.Variant();
  ASSERT_TRUE(v.IsArray);
  ASSERT_EQ(v.Values.size(), 2u);
  EXPECT_EQ(std::get<std::int64_t>(v.Values[1]), -2);
  EXPECT_FALSE(v.IsNumeric());  // an array is not one number

  const std::string matrixWire =
      "C5 04 00 00 00 01 00 02 00 03 00 04 00 02 00 00 00 02 00 00 00 02 00 00 00";
  const std::string mBytes = Bytes(matrixWire);
  UaReader m(mBytes);
  const UaVariant matrix = m.Variant();
  EXPECT_EQ(matrix.Type, UaType::UInt16);
  EXPECT_EQ(matrix.Dimensions, (std::vector<std::int32_t>{2, 2}));
  UaWriter back;
  back.Variant(matrix);
  EXPECT_EQ(Hex(back.Bytes()), matrixWire);
}

TEST(UaBinary, EveryNumericTypeReadsAsItsValue) {
  const struct {
    const char* Wire;
    double Value;
  } cases[] = {{"01 01", 1},          {"02 FF", -1},          {"03 FF", 255},
               {"04 00 80", -32768},  {"05 FF FF", 65535},    {"06 FF FF FF FF", -1},
               {"07 FF FF FF FF", 4294967295.0},              {"08 FE FF FF FF FF FF FF FF", -2},
               {"09 00 00 00 00 00 00 00 01", 72057594037927936.0},
               {"0A 00 00 20 40", 2.5}};
  for (const auto& c : cases) {
    const std::string rBytes = Bytes(c.Wire);
  UaReader r(rBytes);
    EXPECT_EQ(r.Variant().ToDouble(), c.Value) << c.Wire;
  }
  const std::string textBytes = Bytes("0C 01 00 00 00 41");
  UaReader text(textBytes);
  EXPECT_TRUE(std::isnan(text.Variant().ToDouble()));
}

TEST(UaBinary, NumbersAreWrittenInTheNodesOwnTypeOrRefused) {
  UaWriter w;
  w.Variant(NumericVariant(UaType::Int32, 42));
  w.Variant(NumericVariant(UaType::UInt16, 7));
  w.Variant(NumericVariant(UaType::Float, 0.5));
  w.Variant(NumericVariant(UaType::Boolean, 1));
  EXPECT_EQ(Hex(w.Bytes()), "06 2A 00 00 00 05 07 00 0A 00 00 00 3F 01 01");
  EXPECT_THROW(NumericVariant(UaType::UInt16, -1), std::range_error);
  // Never rounded: a fraction into an integer, a non-boolean into a Boolean.
  EXPECT_THROW(NumericVariant(UaType::Int32, 41.6), std::range_error);
  EXPECT_THROW(NumericVariant(UaType::Boolean, 2), std::range_error);
  EXPECT_THROW(NumericVariant(UaType::Int32, NAN), std::range_error);
  EXPECT_THROW(NumericVariant(UaType::Float, 1e300), std::range_error);
  EXPECT_THROW(NumericVariant(UaType::String, 1), std::range_error);
}

TEST(UaBinary, DataValueOptionalFieldsInWireOrder) {
  // Value Float 2.5, status BadNotWritable, source time with picoseconds, server time.
  const std::string wire =
      "3F 0A 00 00 20 40 00 00 3B 80 00 80 3E D5 DE B1 9D 01 0A 00 00 80 3E D5 DE B1 9D 01 14 00";
  const std::string rBytes = Bytes(wire);
  UaReader r(rBytes);
  const UaDataValue v = r.DataValue();
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(v.Value.ToDouble(), 2.5);
  EXPECT_EQ(UaStatusName(v.Status), "BadNotWritable");
  EXPECT_EQ(FormatUaDateTime(v.SourceTime), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(v.SourcePicoseconds, 10);
  EXPECT_EQ(v.ServerPicoseconds, 20);
  UaWriter w;
  w.DataValue(v);
  EXPECT_EQ(Hex(w.Bytes()), wire);

  const std::string statusOnlyBytes = Bytes("02 00 00 34 80");
  UaReader statusOnly(statusOnlyBytes);
  const UaDataValue bad = statusOnly.DataValue();
  EXPECT_FALSE(bad.HasValue);
  EXPECT_EQ(UaStatusName(bad.Status), "BadNodeIdUnknown");
}

TEST(UaBinary, DateTimeAndStatusTexts) {
  EXPECT_EQ(FormatUaDateTime(0), "");
  EXPECT_EQ(FormatUaDateTime(116444736000000000LL + 1'234'5670'000LL), "1970-01-01T00:20:34.567Z");
  EXPECT_EQ(UaStatusName(0x80740000), "BadTypeMismatch");
  EXPECT_EQ(UaStatusName(0x803B0400), "BadNotWritable");  // flag bits do not change the name
  // A code without a name is said with its severity, and every code with a sentence.
  EXPECT_EQ(UaStatusName(0x81230000), "Bad 0x81230000");
  EXPECT_EQ(UaStatusName(0x41230000), "Uncertain 0x41230000");
  EXPECT_EQ(UaStatusText(0xBB000000),
            "Bad 0xBB000000 (a failure whose code this program does not know)");
  EXPECT_EQ(UaStatusText(0x80340000), "BadNodeIdUnknown (the server does not know the node)");
  EXPECT_EQ(UaStatusText(0x80AC0000), "BadConnectionRejected (the server refused or failed)");
}

// The durations a response carries that the client acts on: NaN or an infinity makes
// the answer malformed; a finite one of any size passes (its user bounds it).
TEST(UaBinary, DurationsThatAreNoNumbersMakeTheirAnswerMalformed) {
  const auto header = [](UaWriter& w) {
    w.Int64(0);
    w.UInt32(1);
    w.UInt32(0);
    w.Byte(0);
    w.Int32(-1);
    w.ExtensionObject({});
  };
  const auto createSession = [&](double timeoutMs) {
    UaWriter w;
    header(w);
    w.NodeId(UaNodeId::Num(1));
    w.NodeId(UaNodeId::Num(2));
    w.Double(timeoutMs);
    for (int i = 0; i < 2; ++i) w.NullString();  // nonce, certificate
    for (int i = 0; i < 2; ++i) w.Int32(-1);     // endpoints, software certificates
    for (int i = 0; i < 2; ++i) w.NullString();  // signature
    w.UInt32(0);
    return w.Bytes();
  };
  const auto createSubscription = [&](double intervalMs) {
    UaWriter w;
    header(w);
    w.UInt32(7);
    w.Double(intervalMs);
    w.UInt32(30);
    w.UInt32(10);
    return w.Bytes();
  };
  const auto createMonitoredItems = [&](double intervalMs) {
    UaWriter w;
    header(w);
    w.Int32(1);
    w.UInt32(0);
    w.UInt32(1);
    w.Double(intervalMs);
    w.UInt32(1);
    w.ExtensionObject({});
    w.Int32(-1);
    return w.Bytes();
  };
  const auto refusal = [](std::uint32_t type, const std::string& body) -> std::string {
    try {
      DecodeAnyResponse(type, body);
      return "decoded";
    } catch (const UaDecodeError& e) {
      return e.what();
    }
  };
  const double nan = std::nan(""), inf = HUGE_VAL;
  for (const auto& [x, shown] : {std::pair{nan, "NaN"}, {inf, "+inf"}, {-inf, "-inf"}}) {
    const std::string tail = std::string(" is not a finite number (") + shown + ")";
    EXPECT_EQ(refusal(UaMessageId::CreateSessionResponse, createSession(x)),
              "its revised session time-out" + tail);
    EXPECT_EQ(refusal(UaMessageId::CreateSubscriptionResponse, createSubscription(x)),
              "its revised publishing interval" + tail);
    EXPECT_EQ(refusal(UaMessageId::CreateMonitoredItemsResponse, createMonitoredItems(x)),
              "its revised sampling interval" + tail);
  }
  for (const double x : {-1e300, 0.0, 1e300}) {
    EXPECT_EQ(refusal(UaMessageId::CreateSessionResponse, createSession(x)), "decoded");
    EXPECT_EQ(refusal(UaMessageId::CreateSubscriptionResponse, createSubscription(x)), "decoded");
    EXPECT_EQ(refusal(UaMessageId::CreateMonitoredItemsResponse, createMonitoredItems(x)),
              "decoded");
  }
}

TEST(UaBinary, GarbageIsRefusedBeforeAnythingIsAllocated) {
  const struct {
    const char* Wire;
    const char* Message;
  } cases[] = {
      {"FF FF FF 7F", "String length 2147483647 out of bounds at byte 4"},
      {"0C 05 00 00 00 41", "Message ends early at byte 5"},
      {"86 FF FF FF 7F", "Array length 2147483647 out of bounds at byte 5"},
      {"86 FE FF FF FF", "Array length -2 out of bounds at byte 5"},
      {"1F", "Unknown variant type 31 at byte 1"},
      {"11 09", "Unknown node id encoding 9 at byte 2"},
  };
  for (const auto& c : cases) {
    const std::string rBytes = Bytes(c.Wire);
  UaReader r(rBytes);
    try {
      if (std::string(c.Wire).rfind("FF", 0) == 0)
        r.String();
      else
        r.Variant();
      ADD_FAILURE() << c.Wire;
    } catch (const UaDecodeError& e) {
      EXPECT_EQ(std::string(e.what()), c.Message) << c.Wire;
    }
  }
  // Variants nested without end stop at the nesting bound.
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "18 ";
  const std::string rBytes = Bytes(deep + "00");
  UaReader r(rBytes);
  EXPECT_THROW(r.Variant(), UaDecodeError);
}

}  // namespace
