// Text that came from elsewhere (a server, a file) made safe to show: valid UTF-8, and
// control characters made visible, so that it cannot forge a line or drive a terminal.
#pragma once

#include <string>
#include <string_view>

// The text with every byte that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// ValidUtf8, with control characters (C0, DEL, C1) written as escapes: "\n", "\r", "\t",
// "\x1B", "\u0085".
std::string VisibleText(std::string_view text);

// ValidUtf8, at most maxCharacters characters of it: a longer text is cut at a character
// and says so: "… (cut at 300 characters of 65000 bytes)".
std::string BoundedText(std::string_view text, std::size_t maxCharacters);

// Calls f(codePoint, bytes) for each character of valid UTF-8 text (ValidUtf8's result).
template <typename F>
void ForEachCharacter(std::string_view utf8, F&& f) {
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    f(c, utf8.substr(i, n));
    i += n;
  }
}
