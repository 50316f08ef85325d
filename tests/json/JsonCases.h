#pragma once

// The JSON texts the JSON tests hold, in tables that other suites read too
// (the window's display text is checked against every one of them).

#include <ostream>
#include <string>

namespace kestrava {

// Texts and what parsing gives.
struct ParseCase {
  std::string text;
  // Compact text of the result, or empty when the parse must give none.
  std::string compact;
};

inline void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

inline const ParseCase kParseCases[] = {
    // Accepted.
    {"{}", "{}"},
    {"[]", "[]"},
    {" \t\r\n{ } \t\r\n", "{}"},
    {"{\"a\":1}\r\n", "{\"a\":1}"},
    {"[1] ", "[1]"},
    {"\xEF\xBB\xBF[true]", "[true]"},
    {"\xEF\xBB\xBF\"x\"", "\"x\""},
    {"\"abc\"", "\"abc\""},
    {"\"\"", "\"\""},
    {"0", "0"},
    {"-0", "-0"},
    {"1.50", "1.50"},
    {"1E+3", "1E+3"},
    {"-12.5e-07", "-12.5e-07"},
    {"  7", "7"},
    {"true", "true"},
    {"false", "false"},
    {"null", "null"},
    {"[ 1 , \"a\" , null , true , false , { } , [ ] ]", "[1,\"a\",null,true,false,{},[]]"},
    {"{ \"a\" : { \"b\" : [ 1 , 2 ] } , \"c\" : -0.0 }", "{\"a\":{\"b\":[1,2]},\"c\":-0.0}"},
    {"[\"tab\there\"]", "[\"tab\\there\"]"},  // raw control characters inside strings
    {std::string("[\"nul\0x\"]", 9), std::string("[\"nul\0x\"]", 9)},
    {"[\"\\u0041\\u00e9\\u20AC\"]", "[\"A\xC3\xA9\xE2\x82\xAC\"]"},
    {"[\"\\ud83d\\ude00\"]", "[\"\xF0\x9F\x98\x80\"]"},
    {"[\"\\ud83d\"]", "[\"\xEF\xBF\xBD\"]"},    // lone high surrogate
    {"[\"\\ude00x\"]", "[\"\xEF\xBF\xBDx\"]"},  // lone low surrogate
    {"[\"\\ud83d\\u0041\"]",
     "[\"\xEF\xBF\xBD"
     "A\"]"},  // high, then no low
    {"[\"\\ud83d\\ud83d\\ude00\"]", "[\"\xEF\xBF\xBD\xF0\x9F\x98\x80\"]"},
    {"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]", "[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"]"},
    {"[\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\"]",
     "[\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\"]"},
    {"{\"a\":1,\"a\":2}", "{\"a\":1,\"a\":2}"},

    // Refused.
    {"", ""},
    {"   ", ""},
    {"\xEF\xBB\xBF", ""},
    {"\xEF\xBB\xBF\xEF\xBB\xBF[]", ""},
    {"\xEF\xBB[]", ""},  // part of a byte-order mark
    {"{} x", ""},
    {"{}x", ""},
    {"[1,]", ""},
    {"[1 2]", ""},
    {"[,1]", ""},
    {"[", ""},
    {"]", ""},
    {"[1", ""},
    {"{\"a\":1,}", ""},
    {"{\"a\" 1}", ""},
    {"{\"a\":1 \"b\":2}", ""},
    {"{\"a\"}", ""},
    {"{a:1}", ""},
    {"{1:1}", ""},
    {"{\"a\":}", ""},
    {"[1]]", ""},
    {"[1][2]", ""},
    {"01", ""},
    {"-01", ""},
    {"[01]", ""},
    {"1.", ""},
    {".5", ""},
    {"-", ""},
    {"+1", ""},
    {"1e", ""},
    {"1e+", ""},
    {"1.e5", ""},
    {"0x10", ""},
    {"1 ", ""},        // nothing at all may follow a top-level number
    {"\"a\" ", ""},    // ... nor a string
    {"true\r\n", ""},  // ... nor a word
    {"\"a\"\"b\"", ""},
    {"True", ""},
    {"nul", ""},
    {"nulls", ""},
    {"[truex]", ""},
    {"NaN", ""},
    {"[\"abc", ""},
    {"\"\\", ""},
    {"[\"\\x\"]", ""},
    {"[\"\\'\"]", ""},
    {"[\"\\u12\"]", ""},
    {"[\"\\u12G4\"]", ""},
    {"[\"\\ud83d\\u12\"]", ""},
    {"[\v1]", ""},  // vertical tab is no whitespace
    {"[\f1]", ""},
    {"\xC2\xA0[]", ""},  // no-break space is no whitespace
    {"[1]\xC2\xA0", ""},
    {"[\xC3\xA9]", ""},  // characters above U+007F outside strings
    {"[\"\x80\"]", ""},  // stray continuation byte
    {"[\"\xC3\"]", ""},  // truncated sequence
    {"[\"\xC3(\"]", ""},
    {"[\"\xC0\xAF\"]", ""},  // overlong solidus
    {"[\"\xC1\xBF\"]", ""},
    {"[\"\xE0\x80\xAF\"]", ""},  // overlong three-byte
    {"[\"\xF0\x80\x80\xAF\"]", ""},
    {"[\"\xED\xA0\x80\"]", ""},  // surrogate encoded in UTF-8
    {"[\"\xED\xBF\xBF\"]", ""},
    {"[\"\xF4\x90\x80\x80\"]", ""},  // above U+10FFFF
    {"[\"\xF5\x80\x80\x80\"]", ""},
    {"[\"\xFF\"]", ""},
    {"[\"\xE2\x82\"]", ""},
    {"\"\xE2\x82", ""},
    {"{\"\xFF\":1}", ""},  // malformed UTF-8 in a name
};

struct DisplayCase {
  const char* text;
  const char* display;
};

// Texts and their display text.
inline const DisplayCase kDisplayCases[] = {
    {"[]", "[\r\n]"},
    {"{}", "{\r\n}"},
    {"[{}]", "[\r\n    {\r\n    }\r\n]"},
    {"[[],[]]", "[\r\n    [\r\n    ],\r\n    [\r\n    ]\r\n]"},
    {"{\"a\":{},\"b\":[1,{\"c\":null}]}",
     "{\r\n    \"a\": {\r\n    },\r\n    \"b\": [\r\n        1,\r\n        {\r\n            "
     "\"c\": "
     "null\r\n        }\r\n    ]\r\n}"},
    {"\"text\"", "\"text\""},
    {"12.50", "12.50"},
    {"true", "true"},
    {"false", "false"},
    {"null", "null"},
    {"[\"} , [\"]", "[\r\n    \"} , [\"\r\n]"},
    {"[\"line\\nfeed\\ttab a/b\"]", "[\r\n    \"line\\nfeed\\ttab a\\/b\"\r\n]"},
    {"{\"k\\/\":\"{\\\"x\\\":[1]}\"}", "{\r\n    \"k\\/\": \"{\\\"x\\\":[1]}\"\r\n}"},
};

// Elements whose texts join to the text of their array.
inline const char* const kAppendedElements[] = {
    "1",
    "\"a\\/b\\n\"",
    "null",
    "[]",
    "{}",
    "[1,[2,{\"x\":[]}]]",
    "{\"id\":\"A-1\",\"amount\":12.50,\"tags\":[],\"nested\":{\"k\":[true,false,{}]}}",
};

struct RangeCase {
  const char* text;
  bool fits;
};

// Number texts and whether a copy can hold them (the 80-bit extended
// range).
inline const RangeCase kNumberRangeCases[] = {
    {"0", true},
    {"-0", true},
    {"1.50", true},
    {"1e4931", true},
    {"9.999e4931", true},
    {"1e4932", true},
    {"1.18973e4932", true},
    {"-1.18973e4932", true},
    {"1.18974e4932", false},
    {"-1.18974e4932", false},
    {"1.19e4932", false},
    {"11.9e4931", false},
    {"0.0119e4934", false},
    {"1e4933", false},
    {"1e5000", false},
    {"-1e5000", false},
    {"1E+5000", false},
    {"1e99999999999999999999", false},
    {"1e000000000000000000000000000000000004931", true},
    {"1e000000000000000000000000000000000004933", false},
    {"0e99999999999999999999", true},
    {"0.000e5000", true},
    {"1e-5000", true},  // too small only reads as zero: no failure
    {"1e-99999999999999999999", true},
    {"0.0000000001e4942", true},
    {"0.0000000001e4943", false},
    {"12345678901234567890123456789012345678901234567890", true},
};

}  // namespace kestrava
