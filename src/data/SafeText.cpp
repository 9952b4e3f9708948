#include "data/SafeText.h"

#include <cstdio>

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at text[i], 0 when there is none.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const auto continuation = [&](std::size_t k) {
    return i + k < text.size() && (b(k) & 0xC0) == 0x80;
  };
  const unsigned char lead = b(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && b(1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && b(1) >= 0xA0) return 0;  // a surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (lead == 0xF0 && b(1) < 0x90) return 0;   // overlong
    if (lead == 0xF4 && b(1) >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = SequenceAt(text, i);
    if (n == 0) {
      out += Replacement;
      ++i;
    } else {
      out += text.substr(i, n);
      i += n;
    }
  }
  return out;
}

std::string VisibleText(std::string_view text) {
  std::string out;
  ForEachCharacter(ValidUtf8(text), [&](char32_t c, std::string_view bytes) {
    char escape[8];
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
      out += escape;
    } else if (c >= 0x80 && c <= 0x9F) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += bytes;
    }
  });
  return out;
}

std::string BoundedText(std::string_view text, std::size_t maxCharacters) {
  const std::string valid = ValidUtf8(text);
  std::size_t characters = 0, end = 0;
  bool cut = false;
  ForEachCharacter(valid, [&](char32_t, std::string_view bytes) {
    if (cut) return;
    if (characters == maxCharacters) {
      cut = true;
      return;
    }
    ++characters;
    end += bytes.size();
  });
  if (!cut) return valid;
  return valid.substr(0, end) + "… (cut at " + std::to_string(maxCharacters) + " characters of " +
         std::to_string(text.size()) + " bytes)";
}
