#include <gtest/gtest.h>

#include <string>

#include "json/JSON.h"
#include "json/JsonFormat.h"
#include "tests/json/JsonCases.h"

namespace kestrava {
namespace {

class ParseOutcome : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOutcome, GivesTheExpectedValueOrNone) {
  const ParseCase& c = GetParam();
  const auto value = ParseJSONValue(c.text);
  if (c.compact.empty()) {
    EXPECT_EQ(value, nullptr) << value->ToString();
  } else {
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->ToString(), c.compact);
  }
}

// Handed out in pieces, the texts of every value that parses are the whole
// texts, byte for byte.
TEST_P(ParseOutcome, TextsInPiecesAreTheWholeTexts) {
  const auto value = ParseJSONValue(GetParam().text);
  if (value == nullptr) return;
  std::string compact, display;
  EXPECT_TRUE(WriteCompactText(*value, [&](std::string_view piece) {
    compact.append(piece);
    return true;
  }));
  EXPECT_TRUE(WriteDisplayText(*value, [&](std::string_view piece) {
    display.append(piece);
    return true;
  }));
  EXPECT_EQ(compact, value->ToString());
  EXPECT_EQ(display, TJson::Format(*value));
}

INSTANTIATE_TEST_SUITE_P(Table, ParseOutcome, ::testing::ValuesIn(kParseCases));

std::string Nested(int depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(ParseNesting, AllowsExactlyTheNestingLimit) {
  ASSERT_EQ(MaximumNestingLevel, 512);
  const auto deepest = ParseJSONValue(Nested(512));
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->ToString(), Nested(512));
  EXPECT_EQ(ParseJSONValue(Nested(513)), nullptr);

  std::string objects;
  for (int i = 0; i < 511; ++i) objects += "{\"k\":";
  objects += "[]";
  for (int i = 0; i < 511; ++i) objects += "}";
  EXPECT_NE(ParseJSONValue(objects), nullptr);
  EXPECT_EQ(ParseJSONValue("[" + objects + "]"), nullptr);
}

TEST(ParseNesting, RefusesDeepUnclosedInputWithoutExhaustingTheStack) {
  EXPECT_EQ(ParseJSONValue(std::string(1'000'000, '[')), nullptr);
  EXPECT_EQ(ParseJSONValue(std::string(1'000'000, '{')), nullptr);
}

TEST(ParseKinds, GivesTheKindAndClassOfEachValue) {
  const auto v =
      ParseJSONValue("{\"o\":{},\"a\":[],\"s\":\"x\",\"n\":1,\"t\":true,\"f\":false,\"z\":null}");
  ASSERT_NE(v, nullptr);
  const auto& o = static_cast<const TJSONObject&>(*v);
  const struct {
    TJSONKind kind;
    const char* name;
  } expected[] = {{TJSONKind::Object, "TJSONObject"}, {TJSONKind::Array, "TJSONArray"},
                  {TJSONKind::String, "TJSONString"}, {TJSONKind::Number, "TJSONNumber"},
                  {TJSONKind::True, "TJSONTrue"},     {TJSONKind::False, "TJSONFalse"},
                  {TJSONKind::Null, "TJSONNull"}};
  ASSERT_EQ(o.Count(), 7u);
  for (std::size_t i = 0; i < o.Count(); ++i) {
    EXPECT_EQ(o.PairValue(i)->Kind(), expected[i].kind);
    EXPECT_STREQ(o.PairValue(i)->ClassName(), expected[i].name);
  }
}

TEST(ParseStrings, DecodesEscapesIntoContent) {
  const auto v = ParseJSONValue(
      "[\"a\\/b\",\"\\u0000\",\"x\\ty\",\"long text with an escape \\n at the end\"]");
  ASSERT_NE(v, nullptr);
  const auto& a = static_cast<const TJSONArray&>(*v);
  EXPECT_EQ(static_cast<const TJSONString*>(a.Get(0))->Value(), "a/b");
  EXPECT_EQ(static_cast<const TJSONString*>(a.Get(1))->Value(), std::string_view("\0", 1));
  EXPECT_EQ(static_cast<const TJSONString*>(a.Get(2))->Value(), "x\ty");
  EXPECT_EQ(static_cast<const TJSONString*>(a.Get(3))->Value(),
            "long text with an escape \n at the end");
}

TEST(ParseStrings, KeepsLongAndShortTextsOfEveryLength) {
  for (std::size_t n = 0; n < 70; ++n) {
    const std::string content(n, static_cast<char>('a' + n % 26));
    const auto v = ParseJSONValue("{\"" + content + "\":[\"" + content + "\"]}");
    ASSERT_NE(v, nullptr) << n;
    const auto& o = static_cast<const TJSONObject&>(*v);
    EXPECT_EQ(o.PairName(0), content);
    EXPECT_EQ(
        static_cast<const TJSONString*>(static_cast<const TJSONArray*>(o.PairValue(0))->Get(0))
            ->Value(),
        content);
  }
}

TEST(ParseStrings, KeepsTextsLargerThanAStorageBlock) {
  std::string big;
  for (int i = 0; big.size() < 300000; ++i) big += "chunk " + std::to_string(i) + " \xC3\xA9/";
  std::string escaped;
  for (char c : big) escaped += c == '/' ? std::string("\\/") : std::string(1, c);
  const std::string text = "[\"" + escaped + "\",{\"" + big + "\":\"" + big + "\"},1]";
  const auto v = AsJSONArray(ParseJSONValue(text));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(static_cast<const TJSONString*>(v->Get(0))->Value(), big);
  EXPECT_EQ(v->Get(1)->GetValue(big, ""), big);
  EXPECT_EQ(v->ToString(), "[\"" + escaped + "\",{\"" + escaped + "\":\"" + escaped + "\"},1]");
  EXPECT_TRUE(JSONEqual(*v, *v->Clone()));
}

TEST(ParseRoundTrip, CompactTextReparsesToAnEqualTree) {
  const char* texts[] = {
      "[\"\\ud800\", \"\\udfff\", \"\\u0001\\u007f\", \"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]",
      "{\"a\" : [1.50, -0, 1E+3, {\"\": \"\"}], \"a\": null}",
      "\"\\u0008\\u000c\"",
      "[\"\xE2\x82\xAC \\u00e9\", {\"\\n\": {\"x/y\": [[], {}]}}]",
  };
  for (const char* text : texts) {
    const auto first = ParseJSONValue(text);
    ASSERT_NE(first, nullptr) << text;
    const auto second = ParseJSONValue(first->ToString());
    ASSERT_NE(second, nullptr) << first->ToString();
    EXPECT_TRUE(JSONEqual(*first, *second)) << text;
    EXPECT_EQ(second->ToString(), first->ToString());
  }
}

TEST(ParseNames, ManyDistinctAndRepeatedNamesStayApart) {
  // Repeated names share storage inside a tree; names that collide in that
  // sharing must still read back exactly.
  std::string text = "[";
  for (int i = 0; i < 3000; ++i) {
    if (i != 0) text += ',';
    text += "{\"k" + std::to_string(i % 700) + "\":" + std::to_string(i) + ",\"name" +
            std::to_string((i * 7) % 1300) + "\":\"v\",\"k" + std::to_string(i % 700) + "\":0}";
  }
  text += "]";
  const auto v = AsJSONArray(ParseJSONValue(text));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->ToString(), text);
  for (int i : {0, 1, 699, 700, 1299, 2999}) {
    const auto* o = static_cast<const TJSONObject*>(v->Get(i));
    EXPECT_EQ(o->PairName(0), "k" + std::to_string(i % 700));
    EXPECT_EQ(o->PairName(1), "name" + std::to_string((i * 7) % 1300));
    EXPECT_EQ(o->GetValue("k" + std::to_string(i % 700), ""), std::to_string(i));
  }
  const auto copy = v->Clone();
  EXPECT_TRUE(JSONEqual(*v, *copy));
  EXPECT_EQ(copy->ToString(), text);
}

TEST(ParseLarge, ReadsManyValuesAcrossArenaBlocks) {
  std::string text = "[";
  for (int i = 0; i < 20000; ++i) {
    if (i != 0) text += ',';
    text += "{\"id\":\"record-number-" + std::to_string(i) + "\",\"n\":" + std::to_string(i) +
            ".50,\"ok\":true}";
  }
  text += "]";
  const auto v = AsJSONArray(ParseJSONValue(text));
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->Count(), 20000u);
  EXPECT_EQ(v->Get(12345)->GetValue("id", ""), "record-number-12345");
  EXPECT_EQ(v->Get(19999)->GetValue("n", ""), "19999.50");
  EXPECT_EQ(v->ToString(), text);
}

}  // namespace
}  // namespace kestrava
