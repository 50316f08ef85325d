#include <gtest/gtest.h>

#include <string>

#include "base/Utf8.h"

namespace kestrava {
namespace {

TEST(Utf8, SequenceLengthAndStrictValidation) {
  struct Case {
    std::string bytes;
    std::size_t length;  // of the sequence at the start; 0 for none
    bool valid;
  } cases[] = {
      {"a", 1, true},
      {"plain ascii", 1, true},
      {"\xC3\xA9", 2, true},
      {"\xE2\x82\xAC", 3, true},
      {"\xF0\x9F\x98\x80", 4, true},
      {"\xF4\x8F\xBF\xBF", 4, true},   // U+10FFFF
      {"\xED\x9F\xBF", 3, true},       // U+D7FF
      {"\xEE\x80\x80", 3, true},       // U+E000
      {"\xE0\xA0\x80", 3, true},       // U+0800, the least three-byte value
      {"\xF0\x90\x80\x80", 4, true},   // U+10000
      {"\xC2\x80", 2, true},           // U+0080
      {"\xE9", 0, false},              // lone Latin-1 byte
      {"\xC3", 0, false},              // cut off
      {"\xC0\xAF", 0, false},          // overlong "/"
      {"\xC1\xBF", 0, false},          // overlong
      {"\xE0\x80\xAF", 0, false},      // overlong
      {"\xE0\x9F\xBF", 0, false},      // overlong
      {"\xF0\x80\x80\xAF", 0, false},  // overlong
      {"\xF0\x8F\xBF\xBF", 0, false},  // overlong
      {"\xED\xA0\x80", 0, false},      // surrogate U+D800
      {"\xED\xBF\xBF", 0, false},      // surrogate U+DFFF
      {"\xF4\x90\x80\x80", 0, false},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0, false},
      {"\xFF", 0, false},
      {"\x80", 0, false},
      {"\xBF", 0, false},
      {"\xE2\x82", 0, false},
      {"\xE2\x28\xAC", 0, false},
      {"\xE2\x82\x28", 0, false},
      {"\xF0\x9F\x98", 0, false},
      {"\xF0\x9F\x98\x28", 0, false},
      {"\xC3\xA9\xE9", 2, false},  // a good sequence, then a bad one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8SequenceLength(c.bytes, 0), c.length) << ::testing::PrintToString(c.bytes);
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << ::testing::PrintToString(c.bytes);
  }
  EXPECT_TRUE(IsValidUtf8(""));
}

TEST(Utf8, ABadByteIsFoundAtEveryPlaceOfALongAsciiRun) {
  // Runs of ASCII are checked eight bytes at a time: the bad byte must be
  // seen in every position of such a block and after it.
  for (std::size_t at = 0; at < 25; ++at) {
    std::string text(24, 'a');
    text.insert(at, "\xE9");
    EXPECT_FALSE(IsValidUtf8(text)) << at;
    text.replace(at, 1, "\xC3\xA9");
    EXPECT_TRUE(IsValidUtf8(text)) << at;
  }
}

TEST(Utf8, AppendUtf8WritesTheShortestFormAndDecodeUtf8ReadsItBack) {
  struct Case {
    char32_t codePoint;
    std::string bytes;
  } cases[] = {
      {U'\0', std::string(1, '\0')},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0xE9, "\xC3\xA9"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFD, "\xEF\xBF\xBD"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1F600, "\xF0\x9F\x98\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : cases) {
    std::string out = "x";
    AppendUtf8(out, c.codePoint);
    EXPECT_EQ(out, "x" + c.bytes) << static_cast<std::uint32_t>(c.codePoint);
    EXPECT_TRUE(IsValidUtf8(out));
    EXPECT_EQ(Utf8SequenceLength(out, 1), c.bytes.size());
    EXPECT_EQ(DecodeUtf8(out, 1, c.bytes.size()), c.codePoint);
  }
}

}  // namespace
}  // namespace kestrava
