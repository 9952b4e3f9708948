// What the commands of vortuner-cli share: the error of a wrong command line and the
// JSON output (numbers with 17 significant digits and a decimal point, null for a value
// that is not finite).
#pragma once

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "data/NumberFormat.h"
#include "data/SafeText.h"

// A wrong command line: the command prints it with its usage and exits with code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline std::string JsonNumber(double v) {
  return std::isfinite(v) ? FormatGeneral(v, 17, '.') : "null";
}

// A JSON string of any text: invalid UTF-8 replaced by U+FFFD, control characters
// (also DEL and the C1 controls, which drive terminals) escaped.
inline std::string JsonString(const std::string& s) {
  std::string out = "\"";
  ForEachCharacter(ValidUtf8(s), [&](char32_t c, std::string_view bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += bytes;
    }
  });
  return out + "\"";
}

// One JSON object, a member per line; Str(indent) closes it at the given indent, so
// that it can stand as the value of an enclosing object's member.
class JsonObject {
 public:
  void Number(const std::string& key, double v) { Add(key, JsonNumber(v)); }
  void Integer(const std::string& key, int v) { Add(key, std::to_string(v)); }
  void Boolean(const std::string& key, bool v) { Add(key, v ? "true" : "false"); }
  void Text(const std::string& key, const std::string& v) { Add(key, JsonString(v)); }
  void Raw(const std::string& key, const std::string& json) { Add(key, json); }
  std::string Str(const std::string& indent = "") const {
    return "{" + body_ + (body_.empty() ? "" : "\n" + indent) + "}";
  }
  void SetIndent(const std::string& indent) { indent_ = indent; }

 private:
  void Add(const std::string& key, const std::string& value) {
    body_ += (body_.empty() ? "\n" : ",\n") + indent_ + "  " + JsonString(key) + ": " + value;
  }
  std::string body_, indent_;
};
