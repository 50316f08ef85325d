#include <gtest/gtest.h>

#include "json/JSON.h"

namespace kestrava {
namespace {

std::unique_ptr<TJSONObject> ParseObject(std::string_view text) {
  auto object = AsJSONObject(ParseJSONValue(text));
  if (object == nullptr) ADD_FAILURE() << "not an object: " << text;
  return object;
}

template <class E, class F>
void ExpectFailure(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no failure, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "other failure: " << e.what();
  }
}

const char* const kMembers =
    "{\"s\":\"text\",\"n\":3.0,\"t\":true,\"f\":false,\"z\":null,\"o\":{},\"a\":[1],"
    "\"status\":\"ok\",\"e\":\"\",\"esc\":\"a\\/b\\n\"}";

TEST(TypedRead, TextReadsEveryScalarKind) {
  const auto o = ParseObject(kMembers);
  const struct {
    const char* name;
    const char* expected;
  } cases[] = {
      {"s", "text"},   {"n", "3.0"},   {"t", "true"},    {"f", "false"}, {"z", ""},
      {"missing", ""}, {"Status", ""}, {"status", "ok"}, {"e", ""},      {"esc", "a/b\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(o->GetValue(c.name, ""), c.expected) << c.name;
  EXPECT_EQ(o->GetValue("z", "fallback"), "fallback");
  EXPECT_EQ(o->GetValue("missing", "fallback"), "fallback");
  EXPECT_EQ(o->GetValue("e", "fallback"), "");
}

TEST(TypedRead, TextReadOfAContainerFailsWithItsTypeName) {
  const auto o = ParseObject(kMembers);
  ExpectFailure<EJSONException>([&] { o->GetValue("o", ""); },
                                "Conversion from TJSONObject to string is not supported");
  ExpectFailure<EJSONException>([&] { o->GetValue("a", ""); },
                                "Conversion from TJSONArray to string is not supported");
}

TEST(TypedRead, ObjectAndArrayReads) {
  const auto o = ParseObject(kMembers);
  EXPECT_EQ(o->GetValue<TJSONObject>("o"), o->FindValue("o"));
  EXPECT_EQ(o->GetValue<TJSONArray>("a"), o->FindValue("a"));
  EXPECT_EQ(o->GetValue<TJSONObject>("missing"), nullptr);
  EXPECT_EQ(o->GetValue<TJSONArray>("z"), nullptr);
  TJSONArray fallback;
  EXPECT_EQ(o->GetValue<TJSONArray>("missing", &fallback), &fallback);
  for (const char* name : {"s", "n", "t", "f", "a"})
    ExpectFailure<EInvalidCast>([&] { o->GetValue<TJSONObject>(name); }, "Invalid class typecast");
  for (const char* name : {"s", "n", "t", "f", "o"})
    ExpectFailure<EInvalidCast>([&] { o->GetValue<TJSONArray>(name); }, "Invalid class typecast");
}

TEST(TypedRead, FailuresDeriveFromTheRootKind) {
  const auto o = ParseObject(kMembers);
  EXPECT_THROW(o->GetValue("o", ""), Exception);
  EXPECT_THROW(o->GetValue<TJSONArray>("s"), Exception);
}

TEST(Lookup, FindsTheFirstOfDuplicateNamesExactly) {
  const auto o = ParseObject("{\"a\":1,\"a\":2,\"ab\":3,\"A\":4}");
  ASSERT_EQ(o->Count(), 4u);
  EXPECT_EQ(o->ToString(), "{\"a\":1,\"a\":2,\"ab\":3,\"A\":4}");
  EXPECT_EQ(o->GetValue("a", ""), "1");
  EXPECT_EQ(o->GetValue("A", ""), "4");
  EXPECT_EQ(o->GetValue("ab", ""), "3");
  EXPECT_EQ(o->FindValue("b"), nullptr);
  EXPECT_EQ(o->FindValue(""), nullptr);
  EXPECT_EQ(o->PairName(1), "a");
  EXPECT_EQ(o->PairValue(1)->ToString(), "2");
  EXPECT_EQ(o->PairValue(4), nullptr);
}

TEST(Lookup, NonObjectsHaveNoMembers) {
  for (const char* text : {"[1]", "\"a\"", "1", "true", "null"}) {
    const auto v = ParseJSONValue(text);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->FindValue("a"), nullptr);
    EXPECT_EQ(v->GetValue("a", "d"), "d");
    EXPECT_EQ(v->GetValue<TJSONObject>("a"), nullptr);
  }
}

TEST(Cast, NoneKindAndOtherKind) {
  EXPECT_EQ(AsJSONObject(nullptr), nullptr);
  EXPECT_EQ(AsJSONArray(nullptr), nullptr);
  EXPECT_NE(AsJSONObject(ParseJSONValue("{}")), nullptr);
  EXPECT_NE(AsJSONArray(ParseJSONValue("[]")), nullptr);
  for (const char* text : {"[]", "\"{}\"", "1", "true", "false", "null"})
    ExpectFailure<EInvalidCast>([&] { AsJSONObject(ParseJSONValue(text)); },
                                "Invalid class typecast");
  for (const char* text : {"{}", "\"[]\"", "1", "null"})
    ExpectFailure<EInvalidCast>([&] { AsJSONArray(ParseJSONValue(text)); },
                                "Invalid class typecast");
}

TEST(Build, SignInBodyShape) {
  TJSONObject o;
  o.AddPair("path", "a/b").AddPair("note", "x");
  EXPECT_EQ(o.ToString(), "{\"path\":\"a\\/b\",\"note\":\"x\"}");
  EXPECT_EQ(o.ToString().size(), 26u);
  TJSONObject empty;
  empty.AddPair("k", "");
  EXPECT_EQ(empty.ToString(), "{\"k\":\"\"}");
}

TEST(Build, AppendsToParsedAndBuiltContainers) {
  auto parsed = AsJSONArray(ParseJSONValue("[1,\"a string longer than eight\"]"));
  for (int i = 0; i < 100; ++i)
    parsed->AddElement(std::make_unique<TJSONNumber>(std::to_string(i)));
  parsed->AddElement(ParseJSONValue("{\"k\":[true]}"));
  ASSERT_EQ(parsed->Count(), 103u);
  EXPECT_EQ(parsed->Get(1)->ToString(), "\"a string longer than eight\"");
  EXPECT_EQ(parsed->Get(101)->ToString(), "99");
  EXPECT_EQ(parsed->Get(102)->ToString(), "{\"k\":[true]}");
  EXPECT_EQ(parsed->Get(103), nullptr);

  auto object = AsJSONObject(ParseJSONValue("{\"a\":1}"));
  for (int i = 0; i < 20; ++i) object->AddPair("name number " + std::to_string(i), "v");
  object->AddPair("sub", ParseJSONValue("[[]]"));
  EXPECT_EQ(object->Count(), 22u);
  EXPECT_EQ(object->PairName(0), "a");
  EXPECT_EQ(object->PairName(20), "name number 19");
  EXPECT_EQ(object->GetValue<TJSONArray>("sub")->ToString(), "[[]]");

  TJSONObject built;
  auto inner = std::make_unique<TJSONArray>();
  inner->AddElement(std::make_unique<TJSONTrue>()).AddElement(std::make_unique<TJSONFalse>());
  built.AddPair("inner", std::move(inner)).AddPair("object", std::move(object));
  EXPECT_EQ(built.ToString(),
            "{\"inner\":[true,false],\"object\":" + built.PairValue(1)->ToString() + "}");
}

TEST(Build, NullPointerIsStoredAsNull) {
  TJSONArray a;
  a.AddElement(nullptr);
  TJSONObject o;
  o.AddPair("x", std::unique_ptr<TJSONValue>());
  EXPECT_EQ(a.ToString(), "[null]");
  EXPECT_EQ(o.ToString(), "{\"x\":null}");
}

TEST(Build, ScalarsKeepTheirText) {
  EXPECT_EQ(TJSONString("").Value(), "");
  EXPECT_EQ(TJSONString(std::string_view("a\0b", 3)).Value(), std::string_view("a\0b", 3));
  EXPECT_EQ(TJSONString("exactly8").Value(), "exactly8");
  EXPECT_EQ(TJSONString("ninechars").Value(), "ninechars");
  EXPECT_EQ(TJSONNumber("1.50").Value(), "1.50");
  EXPECT_EQ(TJSONNumber("12345678901234567890.5e-3").ToString(), "12345678901234567890.5e-3");
}

TEST(Equality, ComparesKindsOrderNamesAndTexts) {
  const auto base = ParseJSONValue("{\"a\":[1,\"x\",true],\"b\":{}}");
  const struct {
    const char* text;
    bool equal;
  } cases[] = {
      {"{\"a\":[1,\"x\",true],\"b\":{}}", true},
      {"{ \"a\" : [ 1 , \"x\" , true ] , \"b\" : { } }", true},
      {"{\"b\":{},\"a\":[1,\"x\",true]}", false},
      {"{\"a\":[1.0,\"x\",true],\"b\":{}}", false},
      {"{\"a\":[1,\"y\",true],\"b\":{}}", false},
      {"{\"a\":[1,\"x\",false],\"b\":{}}", false},
      {"{\"a\":[1,\"x\",true],\"b\":[]}", false},
      {"{\"a\":[1,\"x\",true],\"c\":{}}", false},
      {"{\"a\":[1,\"x\"],\"b\":{}}", false},
      {"{\"a\":[1,\"x\",true]}", false},
  };
  for (const auto& c : cases) {
    const auto other = ParseJSONValue(c.text);
    ASSERT_NE(other, nullptr) << c.text;
    EXPECT_EQ(JSONEqual(*base, *other), c.equal) << c.text;
    EXPECT_EQ(JSONEqual(*other, *base), c.equal) << c.text;
  }
}

}  // namespace
}  // namespace kestrava
