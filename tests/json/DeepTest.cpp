#include <gtest/gtest.h>

#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava {
namespace {

// Arrays nested `depth` deep, built by code (beyond the parser's limit).
std::unique_ptr<TJSONValue> DeepArrays(int depth) {
  std::unique_ptr<TJSONValue> v = std::make_unique<TJSONArray>();
  for (int i = 1; i < depth; ++i) {
    auto outer = std::make_unique<TJSONArray>();
    outer->AddElement(std::move(v));
    v = std::move(outer);
  }
  return v;
}

// Objects and arrays alternating, with a parsed tree at the bottom.
std::unique_ptr<TJSONValue> DeepMixed(int depth) {
  std::unique_ptr<TJSONValue> v = ParseJSONValue("{\"leaf\":[1,\"two\",{\"three\":3}]}");
  for (int i = 0; i < depth; ++i) {
    if (i % 2 == 0) {
      auto outer = std::make_unique<TJSONObject>();
      outer->AddPair("before", "a long string value here").AddPair("k", std::move(v));
      v = std::move(outer);
    } else {
      auto outer = std::make_unique<TJSONArray>();
      outer->AddElement(std::make_unique<TJSONNumber>("1")).AddElement(std::move(v));
      v = std::move(outer);
    }
  }
  return v;
}

TEST(DeepTree, DestroysAMillionNestedArrays) {
  auto v = DeepArrays(1'000'000);
  v.reset();
  SUCCEED();
}

TEST(DeepTree, WritesAndClonesDeepCodeBuiltTrees) {
  constexpr int kDepth = 200'000;
  const auto v = DeepArrays(kDepth);
  const std::string text = v->ToString();
  EXPECT_EQ(text, std::string(kDepth, '[') + std::string(kDepth, ']'));
  const auto copy = v->Clone();
  EXPECT_TRUE(JSONEqual(*v, *copy));
  EXPECT_EQ(ParseJSONValue(text), nullptr);  // beyond the nesting limit
}

TEST(DeepTree, MixedDeepTreeWithParsedPartsRoundTrips) {
  const auto v = DeepMixed(100'000);
  const auto copy = v->Clone();
  EXPECT_TRUE(JSONEqual(*v, *copy));
  EXPECT_EQ(copy->ToString(), v->ToString());
}

TEST(DeepTree, DisplaysDeepCodeBuiltTrees) {
  constexpr int kDepth = 2000;
  const auto v = DeepArrays(kDepth);
  const std::string display = TJson::Format(*v);
  // Two lines per level; the innermost empty array takes two as well.
  std::size_t lines = 1;
  for (char c : display) lines += c == '\n';
  EXPECT_EQ(lines, 2u * kDepth);
  EXPECT_EQ(display.substr(display.size() - 3), "\r\n]");
}

TEST(DeepTree, ParsesWritesClonesAndDisplaysAtTheNestingLimit) {
  std::string text;
  for (int i = 0; i < 256; ++i) text += "{\"k\":[";
  text += "\"leaf\"";
  for (int i = 0; i < 256; ++i) text += "]}";
  const auto v = ParseJSONValue(text);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->ToString(), text);
  const auto copy = v->Clone();
  EXPECT_TRUE(JSONEqual(*v, *copy));
  const auto fromDisplay = ParseJSONValue(TJson::Format(*v));
  ASSERT_NE(fromDisplay, nullptr);
  EXPECT_TRUE(JSONEqual(*v, *fromDisplay));
}

}  // namespace
}  // namespace kestrava
