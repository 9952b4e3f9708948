#include <cmath>
#include <limits>

#include "opc/OpcClient.h"

const char* OpcDataTypeName(OpcDataType type) {
  switch (type) {
    case OpcDataType::Boolean:
      return "Boolean";
    case OpcDataType::SByte:
      return "SByte";
    case OpcDataType::Byte:
      return "Byte";
    case OpcDataType::Int16:
      return "Int16";
    case OpcDataType::UInt16:
      return "UInt16";
    case OpcDataType::Int32:
      return "Int32";
    case OpcDataType::UInt32:
      return "UInt32";
    case OpcDataType::Int64:
      return "Int64";
    case OpcDataType::UInt64:
      return "UInt64";
    case OpcDataType::Float:
      return "Float";
    case OpcDataType::Double:
      return "Double";
    case OpcDataType::NotNumeric:
      return "ni število";
    case OpcDataType::Unknown:
      break;
  }
  return "";
}

OpcValueFit FitOfValue(OpcDataType type, double value) {
  if (type == OpcDataType::NotNumeric) return OpcValueFit::NotNumeric;
  if (!std::isfinite(value)) return OpcValueFit::NotFinite;
  // The integer types' bounds; 2^63 and 2^64 themselves are past them.
  auto integer = [value](double low, double highExclusive) {
    if (value != std::trunc(value)) return OpcValueFit::Fraction;
    return value < low || value >= highExclusive ? OpcValueFit::OutOfRange : OpcValueFit::Fits;
  };
  switch (type) {
    case OpcDataType::Boolean:
      return value == 0 || value == 1 ? OpcValueFit::Fits : OpcValueFit::NotBoolean;
    case OpcDataType::SByte:
      return integer(-128, 128);
    case OpcDataType::Byte:
      return integer(0, 256);
    case OpcDataType::Int16:
      return integer(-32768, 32768);
    case OpcDataType::UInt16:
      return integer(0, 65536);
    case OpcDataType::Int32:
      return integer(-2147483648.0, 2147483648.0);
    case OpcDataType::UInt32:
      return integer(0, 4294967296.0);
    case OpcDataType::Int64:
      return integer(-9223372036854775808.0, 9223372036854775808.0);
    case OpcDataType::UInt64:
      return integer(0, 18446744073709551616.0);
    case OpcDataType::Float:
      return std::abs(value) > std::numeric_limits<float>::max() ? OpcValueFit::OutOfRange
                                                                 : OpcValueFit::Fits;
    default:
      return OpcValueFit::Fits;
  }
}
