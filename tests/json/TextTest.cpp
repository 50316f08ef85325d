#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/JSON.h"
#include "json/JsonFormat.h"
#include "tests/json/JsonCases.h"

namespace kestrava {
namespace {

TEST(CompactText, WritesExactlyTheEightEscapes) {
  std::string all;
  for (int c = 0; c < 0x80; ++c) all.push_back(static_cast<char>(c));
  all += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::string expected = "\"";
  for (int c = 0; c < 0x80; ++c) {
    switch (c) {
      case '"':
        expected += "\\\"";
        break;
      case '\\':
        expected += "\\\\";
        break;
      case '/':
        expected += "\\/";
        break;
      case '\b':
        expected += "\\b";
        break;
      case '\t':
        expected += "\\t";
        break;
      case '\n':
        expected += "\\n";
        break;
      case '\f':
        expected += "\\f";
        break;
      case '\r':
        expected += "\\r";
        break;
      default:
        expected.push_back(static_cast<char>(c));
    }
  }
  expected += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"";
  const TJSONString s(all);
  EXPECT_EQ(s.ToString(), expected);
  EXPECT_EQ(s.ToString().find("\\u"), std::string::npos);

  // Names follow the same rule, and the text reads back to the same content.
  TJSONObject o;
  o.AddPair(all, all);
  EXPECT_EQ(o.ToString(), "{" + expected + ":" + expected + "}");
  const auto back = AsJSONObject(ParseJSONValue(o.ToString()));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->PairName(0), all);
  EXPECT_EQ(back->GetValue(all, "none"), all);
}

TEST(CompactText, EscapesInLongRunsAtEveryPosition) {
  for (std::size_t at = 0; at < 40; ++at) {
    std::string content(40, 'x');
    content[at] = '/';
    std::string expected = "\"" + content.substr(0, at) + "\\/" + content.substr(at + 1) + "\"";
    EXPECT_EQ(TJSONString(content).ToString(), expected) << at;
  }
}

TEST(CompactText, ControlCharactersOtherThanTheEightStayRaw) {
  const auto v = ParseJSONValue("[\"\\u0001\\u001f\\u007f\\u000b\"]");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->ToString(), "[\"\x01\x1f\x7f\x0b\"]");
}

TEST(CompactText, NumbersKeepTheirTextVerbatim) {
  for (const char* text :
       {"1.50", "-0", "1e2", "1E+3", "0.000", "-12.34e-056", "123456789012345678901234567890"}) {
    const auto v = ParseJSONValue(std::string("{\"n\":") + text + "}");
    ASSERT_NE(v, nullptr) << text;
    EXPECT_EQ(v->ToString(), std::string("{\"n\":") + text + "}");
    EXPECT_EQ(v->GetValue("n", ""), text);
    EXPECT_EQ(v->Clone()->GetValue("n", ""), text);
    EXPECT_EQ(TJson::Format(*v), std::string("{\r\n    \"n\": ") + text + "\r\n}");
    EXPECT_EQ(ParseJSONValue(text)->ToString(), text);
  }
}

TEST(DisplayText, WorkedExample) {
  const auto v = ParseJSONValue(
      "[{\"id\":\"A-1\",\"note\":\"x\\/y\",\"amount\":12.50,\"tags\":[],\"ok\":true}]");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->ToString(),
            "[{\"id\":\"A-1\",\"note\":\"x\\/y\",\"amount\":12.50,\"tags\":[],\"ok\":true}]");
  const std::string expected =
      "[\r\n"
      "    {\r\n"
      "        \"id\": \"A-1\",\r\n"
      "        \"note\": \"x\\/y\",\r\n"
      "        \"amount\": 12.50,\r\n"
      "        \"tags\": [\r\n"
      "        ],\r\n"
      "        \"ok\": true\r\n"
      "    }\r\n"
      "]";
  EXPECT_EQ(TJson::Format(*v), expected);

  // Built by code, the same tree gives the same text.
  auto record = std::make_unique<TJSONObject>();
  record->AddPair("id", "A-1").AddPair("note", "x/y");
  record->AddPair("amount", std::make_unique<TJSONNumber>("12.50"));
  record->AddPair("tags", std::make_unique<TJSONArray>());
  record->AddPair("ok", std::make_unique<TJSONTrue>());
  TJSONArray built;
  built.AddElement(std::move(record));
  EXPECT_EQ(TJson::Format(built), expected);
}

TEST(DisplayText, Layouts) {
  for (const auto& c : kDisplayCases) {
    const auto v = ParseJSONValue(c.text);
    ASSERT_NE(v, nullptr) << c.text;
    const std::string display = TJson::Format(*v);
    EXPECT_EQ(display, c.display) << c.text;
    EXPECT_NE(display.back(), '\n');
    const auto back = ParseJSONValue(display);
    if (v->Kind() == TJSONKind::Object || v->Kind() == TJSONKind::Array) {
      ASSERT_NE(back, nullptr);
      EXPECT_TRUE(JSONEqual(*v, *back)) << c.text;
    }
  }
}

TEST(DisplayText, LeavesTheValueUnchanged) {
  const auto v = ParseJSONValue("{\"a\":[1,2],\"b\":\"c\"}");
  const std::string before = v->ToString();
  TJson::Format(*v);
  EXPECT_EQ(v->ToString(), before);
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// Piece by piece, the texts of an array's elements join to the text of the
// whole array.
TEST(AppendedText, ElementsJoinToTheTextOfTheirArray) {
  std::string display = "before", compact = "before";
  std::string joined = "[";
  bool first = true;
  for (const char* text : kAppendedElements) {
    SCOPED_TRACE(text);
    const auto element = ParseJSONValue(text);
    ASSERT_NE(element, nullptr);
    display += first ? "[\r\n    " : ",\r\n    ";
    AppendDisplayText(display, *element, 1);
    compact += first ? "[" : ",";
    AppendCompactText(compact, *element);
    joined += (first ? "" : ",") + std::string(text);
    first = false;
  }
  display += "\r\n]";
  compact += "]";
  joined += "]";
  const auto array = ParseJSONValue(joined);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(display, "before" + TJson::Format(*array));
  EXPECT_EQ(compact, "before" + array->ToString());

  // Deeper levels indent further; depth 0 is the text on its own.
  const auto nested = ParseJSONValue("{\"a\":[1]}");
  std::string deep;
  AppendDisplayText(deep, *nested, 2);
  EXPECT_EQ(deep, "{\r\n            \"a\": [\r\n                1\r\n            ]\r\n        }");
  std::string alone;
  AppendDisplayText(alone, *nested, 0);
  EXPECT_EQ(alone, TJson::Format(*nested));
}

}  // namespace
}  // namespace kestrava

namespace kestrava {
namespace {

// What a text handed out in pieces gave: the pieces joined, how many, the
// longest.
struct Pieces {
  std::string text;
  std::size_t count = 0;
  std::size_t longest = 0;
};

template <class Write>
Pieces Collect(Write write) {
  Pieces pieces;
  const bool finished = write([&pieces](std::string_view piece) {
    pieces.text.append(piece);
    ++pieces.count;
    pieces.longest = std::max(pieces.longest, piece.size());
    return true;
  });
  EXPECT_TRUE(finished);
  return pieces;
}

std::string ManyRecords() {
  std::string records = "[";
  for (int i = 0; i < 4000; ++i)
    records += (i > 0 ? ",{\"id\":\"TX-" : "{\"id\":\"TX-") + std::to_string(i) +
               R"(","amount":-12.50,"ok":true,"note":null,"tags":["a\/b",{}],"m":{"k":[]}})";
  return records + "]";
}

// Values whose texts cross many piece boundaries in every way: long strings
// (escapes on every byte, on none, at the cuts), a long number text, many
// records, the deepest nesting the parser takes.
std::vector<std::string> LongTexts() {
  std::string mixed;
  for (int i = 0; i < 70000; ++i) mixed += (i % 7 == 0) ? R"(\\/\n\")" : "\xC3\xA9x\x01";
  return {
      "\"" + std::string(200000, 'a') + "\"",
      "[\"" + std::string(100000, '/') + "\",1]",
      "{\"" + mixed + "\":\"" + mixed + "\"}",
      "[" + std::string(150000, '9') + ".5e-1]",
      std::string(150000, '7'),
      ManyRecords(),
      std::string(512, '[') + std::string(512, ']'),
  };
}

TEST(TextPieces, JoinToExactlyTheWholeTextsWithinThePieceSize) {
  for (const std::string& text : LongTexts()) {
    SCOPED_TRACE(text.substr(0, 40));
    const auto value = ParseJSONValue(text);
    ASSERT_NE(value, nullptr);
    const std::string compact = value->ToString();
    const std::string display = TJson::Format(*value);

    const Pieces compactPieces =
        Collect([&](const TextPieces& take) { return WriteCompactText(*value, take); });
    EXPECT_TRUE(compactPieces.text == compact);
    EXPECT_LE(compactPieces.longest, kTextPieceSize);
    EXPECT_GT(compactPieces.count, compact.size() / kTextPieceSize);

    const Pieces displayPieces =
        Collect([&](const TextPieces& take) { return WriteDisplayText(*value, take); });
    EXPECT_TRUE(displayPieces.text == display);
    EXPECT_LE(displayPieces.longest, kTextPieceSize);
    EXPECT_GT(displayPieces.count, display.size() / kTextPieceSize);
  }
}

TEST(TextPieces, SmallValuesComeInOnePieceAndAtADepthAsAppended) {
  for (const char* text : {"[]", "{}", "0", "\"\"", "null", "[{\"a\":[1,{}]}]"}) {
    SCOPED_TRACE(text);
    const auto value = ParseJSONValue(text);
    ASSERT_NE(value, nullptr);
    const Pieces display =
        Collect([&](const TextPieces& take) { return WriteDisplayText(*value, take); });
    EXPECT_EQ(display.text, TJson::Format(*value));
    EXPECT_EQ(display.count, 1u);
    EXPECT_EQ(Collect([&](const TextPieces& take) { return WriteCompactText(*value, take); }).text,
              value->ToString());
  }
  // So deep inside that each line break is followed by more than a piece of
  // spaces.
  const auto nested = ParseJSONValue("{\"a\":[1]}");
  for (const std::size_t depth : {std::size_t{1}, std::size_t{3}, std::size_t{20000}}) {
    SCOPED_TRACE(depth);
    std::string appended;
    AppendDisplayText(appended, *nested, depth);
    const Pieces pieces =
        Collect([&](const TextPieces& take) { return WriteDisplayText(*nested, take, depth); });
    EXPECT_TRUE(pieces.text == appended);
    EXPECT_LE(pieces.longest, kTextPieceSize);
  }
}

TEST(TextPieces, NoPieceFollowsTheOneRefused) {
  const auto value = ParseJSONValue(ManyRecords());
  ASSERT_NE(value, nullptr);
  for (const std::size_t taken : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
    SCOPED_TRACE(taken);
    std::size_t calls = 0;
    const auto refuseLater = [&](std::string_view) { return ++calls < taken; };
    EXPECT_FALSE(WriteDisplayText(*value, refuseLater));
    EXPECT_EQ(calls, taken);
    calls = 0;
    EXPECT_FALSE(WriteCompactText(*value, refuseLater));
    EXPECT_EQ(calls, taken);
  }
}

}  // namespace
}  // namespace kestrava
