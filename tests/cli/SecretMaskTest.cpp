// A secret is masked wherever a failure text holds it: as written, and as
// JSON may write it, with any of its characters escaped.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/SecretMask.h"

namespace kestrava::cli {
namespace {

TEST(SecretMask, MasksEveryFormJsonCanWriteASecretIn) {
  struct Case {
    std::vector<std::string> secrets;
    std::string text, masked;
  };
  const Case cases[] = {
      {{"s3cret"}, "x s3cret y", "x ******** y"},
      {{"s3cret"}, "s3crets3cret", "****************"},
      // The short escapes of JSON.
      {{R"(ab/c+d"e\f==)"}, R"({"k":"ab\/c+d\"e\\f=="})", R"({"k":"********"})"},
      // \u escapes of any character, in either letter case, mixed with
      // written ones.
      {{"s3cret"}, R"(\u0073\u0033\u0063\u0072\u0065\u0074)", "********"},
      {{"s3cret"}, R"(s\u0033cr\u0065t!)", "********!"},
      {{"caf\xC3\xA9-key"}, R"(caf\u00E9-key caf\u00e9-key)", "******** ********"},
      {{"tab\there"}, R"(tab\there tab\u0009here)", "******** ********"},
      // Above U+FFFF: a surrogate pair.
      {{"key\xF0\x9F\x98\x80z"}, R"(key\ud83d\ude00z key\uD83D\uDE00z)", "******** ********"},
      // A backslash of the secret as itself or escaped, in any mix.
      {{R"(a\b\c)"}, R"(a\b\c a\\b\c a\u005cb\\c)", "******** ******** ********"},
      // The longest secret first, so none is left half masked.
      {{"token", "token-and-more"}, "token-and-more token", "******** ********"},
      // A byte that is no UTF-8 stands only as written.
      {{"ab\xFF"
        "cd"},
       "ab\xFF"
       "cd ab\\u00ffcd",
       "******** ab\\u00ffcd"},
      // What is not the secret stays as it is.
      {{"s3cret"},
       R"(s3cre \u0073 s\u003 s\u00733cre \q)",
       R"(s3cre \u0073 s\u003 s\u00733cre \q)"},
      {{"s3cret"}, R"(\ud800s3cret)", R"(\ud800********)"},
      // Too short to mask, or nothing to mask.
      {{"abc"}, "abc abc", "abc abc"},
      {{}, "anything", "anything"},
  };
  for (const Case& c : cases) {
    SecretMask mask;
    for (const std::string& secret : c.secrets) mask.Add(secret);
    EXPECT_EQ(mask(c.text), c.masked) << c.text;
  }
}

}  // namespace
}  // namespace kestrava::cli
