// Text from elsewhere made safe to show: invalid UTF-8 replaced, control characters
// visible, and JSON strings that stay one valid line whatever the text.
#include <gtest/gtest.h>

#include "cli/CliSupport.h"
#include "data/SafeText.h"

namespace {

TEST(SafeText, InvalidUtf8IsReplacedAndValidTextKept) {
  EXPECT_EQ(ValidUtf8("Strežnik €"), "Strežnik €");
  EXPECT_EQ(ValidUtf8("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ValidUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // an overlong "/"
  EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
  EXPECT_EQ(ValidUtf8("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // cut short
  EXPECT_EQ(ValidUtf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(SafeText, ControlCharactersAreShownNotObeyed) {
  EXPECT_EQ(VisibleText(std::string("a\nb\r\tc\x1B[2J\0d\x7F", 13)),
            "a\\nb\\r\\tc\\x1B[2J\\x00d\\x7F");
  EXPECT_EQ(VisibleText("\xC2\x85"
                        "x\xFF"),
            "\\u0085x\xEF\xBF\xBD");
  EXPECT_EQ(JsonString(std::string("\"q\"\\\n\x1B\0\xC2\x9B\xFF", 10)),
            "\"\\\"q\\\"\\\\\\n\\u001b\\u0000\\u009b\xEF\xBF\xBD\"");
}

TEST(SafeText, ABoundedTextIsCutAtAWholeCharacterAndSaysSo) {
  EXPECT_EQ(BoundedText("abc", 3), "abc");
  EXPECT_EQ(BoundedText("abcd", 3), "abc… (cut at 3 characters of 4 bytes)");
  EXPECT_EQ(BoundedText("ččč", 2), "čč… (cut at 2 characters of 6 bytes)");
  EXPECT_EQ(BoundedText("a\xFF", 5), "a\xEF\xBF\xBD");  // valid UTF-8 whatever came
}

}  // namespace
