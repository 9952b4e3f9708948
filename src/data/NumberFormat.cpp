#include "data/NumberFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <regex>

namespace {

void ReplaceDecimalPoint(std::string& s, char separator) {
  if (separator == '.') return;
  for (char& c : s)
    if (c == '.') c = separator;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Strict decimal number with the given separator: [sign] digits [sep digits] [E [sign] digits].
std::optional<double> ParseDecimal(std::string_view text, char separator) {
  const std::string_view s = Trim(text);
  std::string canonical;
  canonical.reserve(s.size());
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) canonical += s[i++];
  int mantissaDigits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
    canonical += s[i++];
    ++mantissaDigits;
  }
  if (i < s.size() && s[i] == separator) {
    canonical += '.';
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      canonical += s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    canonical += 'e';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) canonical += s[i++];
    int exponentDigits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      canonical += s[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(canonical.c_str(), &end);
  if (end != canonical.c_str() + canonical.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::string FormatGeneral(double value, int digits, char separator, double minPlain) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";
  digits = std::clamp(digits, 1, 17);
  // Round to `digits` significant digits first; the notation depends on the rounded value.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
  if (std::isinf(std::strtod(buf, nullptr))) {
    // Rounded past the largest double, the text would not read back: cut the digits
    // instead of rounding them (only values this near the largest double get here).
    std::snprintf(buf, sizeof buf, "%.16e", value);
    std::string cut(buf);
    const size_t point = cut.find('.'), kept = point + static_cast<size_t>(digits);
    cut.erase(digits == 1 ? point : kept, cut.find('e') - (digits == 1 ? point : kept));
    std::snprintf(buf, sizeof buf, "%s", cut.c_str());
  }
  std::string s(buf);
  const size_t ePos = s.find('e');
  const int exponent = std::atoi(s.c_str() + ePos + 1);
  std::string mantissa = s.substr(0, ePos);  // "-d.ddd"
  const bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digitsOnly;
  for (char c : mantissa)
    if (c != '.') digitsOnly += c;
  while (digitsOnly.size() > 1 && digitsOnly.back() == '0') digitsOnly.pop_back();

  const double rounded = std::fabs(std::strtod(buf, nullptr));
  std::string out = negative ? "-" : "";
  if (rounded >= minPlain && exponent < digits) {
    if (exponent >= 0) {
      const size_t intDigits = static_cast<size_t>(exponent) + 1;
      if (digitsOnly.size() <= intDigits) {
        out += digitsOnly + std::string(intDigits - digitsOnly.size(), '0');
      } else {
        out += digitsOnly.substr(0, intDigits);
        out += separator;
        out += digitsOnly.substr(intDigits);
      }
    } else {
      out += '0';
      out += separator;
      out += std::string(static_cast<size_t>(-exponent - 1), '0') + digitsOnly;
    }
    return out;
  }
  out += digitsOnly.substr(0, 1);
  if (digitsOnly.size() > 1) {
    out += separator;
    out += digitsOnly.substr(1);
  }
  out += 'E';
  out += std::to_string(exponent);
  return out;
}

std::string FormatShortest(double value, char separator) {
  return FormatGeneral(value, 15, separator);
}

std::string FormatFixed(double value, int decimals, char separator) {
  if (!std::isfinite(value)) return FormatGeneral(value, 15, separator);
  decimals = std::clamp(decimals, 0, 18);
  char buf[400];
  const double scaled = std::fabs(value) * std::pow(10.0, decimals);
  std::string out;
  if (scaled < 1e15) {
    // Round half away from zero on the decimal value: the scaled value is first taken
    // to 15 significant digits, so 2.675 with 2 decimals gives 2.68, not the binary 2.67.
    std::snprintf(buf, sizeof buf, "%.15g", scaled);
    std::snprintf(buf, sizeof buf, "%.0f", std::floor(std::strtod(buf, nullptr) + 0.5));
    std::string digits = buf;
    if (decimals > 0) {
      if (digits.size() <= static_cast<size_t>(decimals))
        digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
      digits.insert(digits.size() - static_cast<size_t>(decimals), ".");
    }
    out = digits;
  } else {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
    out = buf;
  }
  if (value < 0 && out.find_first_of("123456789") != std::string::npos) out.insert(0, "-");
  ReplaceDecimalPoint(out, separator);
  return out;
}

ConversionError::ConversionError(std::string_view text, bool integer)
    : std::runtime_error("'" + std::string(text) + "' is not a valid " +
                         (integer ? "integer" : "floating point") + " value"),
      slovenian_("»" + std::string(text) + "« ni veljavno " + (integer ? "celo " : "") +
                 "število.") {}

std::string ConversionError::InSlovenian(const std::string& text) {
  static const std::regex english(R"('(.*)' is not a valid (floating point|integer) value)");
  std::smatch m;
  if (!std::regex_search(text, m, english)) return text;
  return m.prefix().str() + ConversionError(m.str(1), m.str(2) == "integer").Slovenian() +
         m.suffix().str();
}

std::optional<double> TryParseFloat(std::string_view text, char separator) {
  return ParseDecimal(text, separator);
}

double ParseFloat(std::string_view text, char separator) {
  if (auto v = ParseDecimal(text, separator)) return *v;
  throw ConversionError(text, false);
}

std::optional<int> TryParseInt(std::string_view text) {
  const std::string_view s = Trim(text);
  if (s.empty()) return std::nullopt;
  size_t start = 0;
  if (s[0] == '+') start = 1;
  int value = 0;
  const char* first = s.data() + start;
  const char* last = s.data() + s.size();
  if (first == last) return std::nullopt;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  if (start == 1 && *first == '-') return std::nullopt;
  return value;
}

int ParseInt(std::string_view text) {
  if (auto v = TryParseInt(text)) return *v;
  throw ConversionError(text, true);
}

std::optional<double> TryParseNumber(std::string_view text) {
  std::string s(text);
  if (const size_t comma = s.find(','); comma != std::string::npos) s[comma] = '.';
  return ParseDecimal(s, '.');
}

double ParseNumber(std::string_view text) {
  if (auto v = TryParseNumber(text)) return *v;
  throw ConversionError(text, false);
}

std::string FormatFixedPrecision(double value, int precision, int decimals, char separator) {
  precision = std::clamp(precision, 1, 17);
  if (!std::isfinite(value)) return FormatGeneral(value, precision, separator);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, value);
  const double rounded = std::strtod(buf, nullptr);
  if (std::fabs(rounded) >= std::pow(10.0, precision))
    return FormatGeneral(value, precision, separator);
  return FormatFixed(rounded, decimals, separator);
}

std::string CountText(long long count, std::string_view one, std::string_view two,
                      std::string_view threeFour, std::string_view many) {
  const long long hundreds = (count < 0 ? -count : count) % 100;
  const std::string_view noun = hundreds == 1                    ? one
                                : hundreds == 2                  ? two
                                : hundreds == 3 || hundreds == 4 ? threeFour
                                                                 : many;
  return std::to_string(count) + " " + std::string(noun);
}
