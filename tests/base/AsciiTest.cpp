#include <gtest/gtest.h>

#include <string>

#include "base/Ascii.h"

namespace kestrava {
namespace {

TEST(Ascii, LetterCaseOfAToZOnly) {
  EXPECT_EQ(AsciiLower("Content-Type: Application/JSON @[`{"),
            "content-type: application/json @[`{");
  // Bytes above U+007F stay, whatever an 8-bit locale would make of them.
  EXPECT_EQ(AsciiLower("\xC9t\xC9"), "\xC9t\xC9");
  EXPECT_EQ(AsciiLower(std::string("A\0B", 3)), std::string("a\0b", 3));

  struct Case {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"Set-Cookie", "set-cookie", true},
      {"", "", true},
      {"HTTP/1.1", "http/1.1", true},
      {"a", "ab", false},
      {"\xC9", "\xE9", false},  // É and é of ISO-8859-1 are no ASCII letters
      {"@", "`", false},        // 0x40 and 0x60 differ by the case bit, too
      {"[", "{", false},
  };
  for (const auto& c : cases) EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << " " << c.b;

  EXPECT_TRUE(StartsWithIgnoreCase("Bearer tok", "bearer "));
  EXPECT_TRUE(StartsWithIgnoreCase("charset", "CHARSET"));
  EXPECT_FALSE(StartsWithIgnoreCase("Bear", "bearer"));
  EXPECT_TRUE(StartsWithIgnoreCase("x", ""));
}

TEST(Ascii, DigitsLettersAndHexadecimalDigits) {
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    const bool digit = c >= '0' && c <= '9';
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    EXPECT_EQ(IsAsciiDigit(ch), digit) << c;
    EXPECT_EQ(IsAsciiLetter(ch), letter) << c;
    int value = -1;
    if (digit) value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    EXPECT_EQ(HexDigitValue(ch), value) << c;
    EXPECT_EQ(IsHexDigit(ch), value >= 0) << c;
  }
  std::string out;
  for (unsigned char byte : {0x00, 0x0F, 0xA5, 0xFF}) AppendHexByte(out, byte, HexCase::Upper);
  AppendHexByte(out, 0xAB, HexCase::Lower);
  EXPECT_EQ(out, "000FA5FFab");
}

}  // namespace
}  // namespace kestrava
