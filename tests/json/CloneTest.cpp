#include <gtest/gtest.h>

#include "json/JSON.h"
#include "json/JsonFormat.h"
#include "tests/json/JsonCases.h"

namespace kestrava {
namespace {

TEST(Clone, MakesAnIndependentEqualCopy) {
  const auto source =
      AsJSONObject(ParseJSONValue("{\"a\":1,\"a\":\"twice\",\"list\":[1.50,-0,1e2,\"a string well "
                                  "past eight bytes\",true,false,"
                                  "null,{},[]],\"nested\":{\"deeper\":{\"x\":\"y\"}}}"));
  ASSERT_NE(source, nullptr);
  const std::string before = source->ToString();

  auto copy = AsJSONObject(source->Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(JSONEqual(*source, *copy));
  EXPECT_EQ(copy->ToString(), before);
  EXPECT_NE(copy->FindValue("list"), source->FindValue("list"));

  copy->AddPair("added", "v");
  EXPECT_EQ(source->ToString(), before);
  EXPECT_EQ(copy->Count(), source->Count() + 1);

  // The copy outlives its source.
  auto list = AsJSONArray(source->FindValue("list")->Clone());
  list->AddElement(std::make_unique<TJSONString>("more"));
  EXPECT_EQ(source->ToString(), before);
  const std::string listText = list->ToString();
  EXPECT_EQ(listText.substr(listText.size() - 8), ",\"more\"]");
}

TEST(Clone, CopiesEachKindAtTopLevel) {
  for (const char* text : {"\"s\"", "\"a longer string value\"", "12.50", "true", "false", "null",
                           "{}", "[]", "[[]]", "{\"\":{}}"}) {
    const auto v = ParseJSONValue(text);
    ASSERT_NE(v, nullptr) << text;
    const auto c = v->Clone();
    EXPECT_EQ(c->Kind(), v->Kind());
    EXPECT_EQ(c->ToString(), text);
  }
}

TEST(Clone, GatheringRecordsIntoABuiltArray) {
  // The export path: elements of one reply cloned into the caller's array.
  TJSONArray collected;
  for (int page = 0; page < 3; ++page) {
    const auto reply = AsJSONObject(ParseJSONValue(
        "{\"totalPages\":3,\"result\":[{\"id\":\"" + std::to_string(page) +
        "-a\",\"amount\":1.50},{\"id\":\"" + std::to_string(page) + "-b\",\"amount\":-2}]}"));
    const TJSONArray* result = reply->GetValue<TJSONArray>("result");
    ASSERT_NE(result, nullptr);
    const std::size_t count = result->Count();
    for (std::size_t i = 0; i < count; ++i) collected.AddElement(result->Get(i)->Clone());
  }
  ASSERT_EQ(collected.Count(), 6u);
  EXPECT_EQ(collected.Get(5)->GetValue("id", ""), "2-b");
  const auto reparsed = AsJSONArray(ParseJSONValue(collected.ToString()));
  ASSERT_NE(reparsed, nullptr);
  EXPECT_TRUE(JSONEqual(collected, *reparsed));
  EXPECT_EQ(TJson::Format(*reparsed).substr(0, 8), "[\r\n    {");
}

TEST(Clone, NumberRangeOfTheExtendedFormat) {
  for (const auto& c : kNumberRangeCases) {
    const TJSONNumber n(c.text);
    if (c.fits) {
      EXPECT_NO_THROW(EXPECT_EQ(n.Clone()->ToString(), c.text)) << c.text;
    } else {
      try {
        n.Clone();
        ADD_FAILURE() << "no failure for " << c.text;
      } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), std::string("'") + c.text + "' is not a valid floating point value");
      }
    }
  }
}

TEST(Clone, RangeFailureInsideATreeLeavesNothingBehind) {
  const auto v = ParseJSONValue("[1,{\"big\":[\"x\",1e5000]},3]");
  ASSERT_NE(v, nullptr);
  try {
    v->Clone();
    ADD_FAILURE() << "no failure";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'1e5000' is not a valid floating point value");
  }
  EXPECT_EQ(v->ToString(), "[1,{\"big\":[\"x\",1e5000]},3]");
}

TEST(Clone, LargeTextsAndLongNumbers) {
  const std::string huge(5000, '9');
  EXPECT_THROW(TJSONNumber(huge).Clone(), EConvertError);
  EXPECT_NO_THROW(TJSONNumber(huge.substr(0, 4932)).Clone());
  const std::string digits = "0." + std::string(6000, '0') + "1e6000";
  EXPECT_NO_THROW(TJSONNumber(digits).Clone());
}

TEST(Clone, NumberTextsThatAreNoNumbersFail) {
  for (const char* text : {"", "abc", "1.", "--1", "1e", "1,5", " 1"}) {
    try {
      TJSONNumber(text).Clone();
      ADD_FAILURE() << "no failure for '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + text + "' is not a valid floating point value");
    }
  }
}

TEST(Clone, TheCheckAloneFailsExactlyAsTheCopyWould) {
  for (const char* text :
       {"[]", "1e5000", "\"1e5000\"", "[1,{\"a\":[2.5,{}]},null]",
        "[1,{\"big\":[\"x\",1e5000]},1e6000]", "{\"a\":{\"b\":[-1e99999]}}", "[[],[[[1e4933]]]]"}) {
    SCOPED_TRACE(text);
    const auto v = ParseJSONValue(text);
    ASSERT_NE(v, nullptr);
    std::string copyFailure, checkFailure;
    try {
      v->Clone();
    } catch (const EConvertError& e) {
      copyFailure = e.Message();
    }
    try {
      v->CheckClone();
    } catch (const EConvertError& e) {
      checkFailure = e.Message();
    }
    EXPECT_EQ(checkFailure, copyFailure);
  }
}

}  // namespace
}  // namespace kestrava
