#include <gtest/gtest.h>

#include "app/FormatJson.h"

namespace kestrava {
namespace {

TEST(FormatJson, GivesTheDisplayTextOfTheWantedKind) {
  struct Case {
    const char* name;
    const char* json;
    int tipjSon;
    const char* display;
  };
  const Case cases[] = {
      {"empty array", "[]", 1, "[\r\n]"},
      {"worked example", R"([{"id":"A-1","note":"x\/y","amount":12.50,"tags":[],"ok":true}])", 1,
       "[\r\n    {\r\n        \"id\": \"A-1\",\r\n        \"note\": \"x\\/y\",\r\n"
       "        \"amount\": 12.50,\r\n        \"tags\": [\r\n        ],\r\n"
       "        \"ok\": true\r\n    }\r\n]"},
      {"any non-zero is an array", "[1]", -7, "[\r\n    1\r\n]"},
      {"object", R"({"a":"}, ["})", 0, "{\r\n    \"a\": \"}, [\"\r\n}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatJson(c.json, c.tipjSon), c.display);
  }
}

TEST(FormatJson, TextOfAnotherKindOrNotJsonComesBackUnchanged) {
  EXPECT_EQ(FormatJson("{}", 1), "{}");
  EXPECT_EQ(FormatJson("[]", 0), "[]");
  EXPECT_EQ(FormatJson("[1,", 1), "[1,");
  EXPECT_EQ(FormatJson("", 1), "");
  EXPECT_EQ(FormatJson("\"text\"", 1), "\"text\"");
}

}  // namespace
}  // namespace kestrava
