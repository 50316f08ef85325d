// The JSON that kestrava-cli writes of itself: any text becomes a valid JSON
// string that gives the text back, "/" as it is.

#include <gtest/gtest.h>

#include <string>

#include "cli/JsonText.h"

namespace kestrava::testing {
namespace {

using cli::JsonArray;
using cli::JsonObject;
using cli::JsonString;

TEST(JsonText, EveryTextBecomesAValidString) {
  using namespace std::string_literals;
  struct Case {
    std::string text, json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"HTTP/1.1 500 https://bank.example/x", R"("HTTP/1.1 500 https://bank.example/x")"},
      {R"(say "no" \ then)", R"("say \"no\" \\ then")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      // The other control characters, NUL included, as \u escapes; DEL is
      // no control character in JSON.
      {"a\0b"s, R"("a\u0000b")"},
      {"\x01\x1b[2J\x1f\x7f", "\"\\u0001\\u001b[2J\\u001f\x7f\""},
      // UTF-8 as it is; a byte that is none, a cut sequence or a
      // surrogate's bytes each as U+FFFD.
      {"caf\xC3\xA9 \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
      {"a\xFF"
       "b",
       "\"a\xEF\xBF\xBD"
       "b\""},
      {"cut \xC3", "\"cut \xEF\xBF\xBD\""},
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

TEST(JsonText, ObjectsAndArraysInTheOrderGiven) {
  EXPECT_EQ(JsonObject().Text(), "{}");
  EXPECT_EQ(JsonArray().Text(), "[]");
  const std::string inner = JsonObject().String("to", "a/b").Text();
  EXPECT_EQ(JsonObject()
                .String("host", "h")
                .Number("n", -9'007'199'254'740'993)
                .Null("none")
                .Json("list", JsonArray().Json(inner).Json("1").Text())
                .String("n\"ame", "")
                .Text(),
            R"({"host":"h","n":-9007199254740993,"none":null,"list":[{"to":"a/b"},1],)"
            R"("n\"ame":""})");
}

}  // namespace
}  // namespace kestrava::testing
