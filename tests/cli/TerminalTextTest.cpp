// What a terminal is shown of server text: line breaks and printable text
// kept, every control character and malformed byte made visible.

#include <gtest/gtest.h>

#include <string>

#include "cli/TerminalText.h"

namespace kestrava::cli {
namespace {

using namespace std::string_literals;

TEST(ForTerminal, ShowsControlCharactersVisiblyAndKeepsTheRest) {
  struct Case {
    std::string text, shown;
  };
  const Case cases[] = {
      {"", ""},
      {"plain text 12.50 {\"a\":[1]}", "plain text 12.50 {\"a\":[1]}"},
      // Line breaks: CR LF and a lone CR are one break each; LF and tab stay.
      {"a\r\nb", "a\r\nb"},
      {"status\rbody", "status\r\nbody"},
      {"end\r", "end\r\n"},
      {"\r\r\n\n", "\r\n\r\n\n"},
      {"a\tb\nc", "a\tb\nc"},
      // C0 controls and DEL.
      {"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
      {"a\0b"s, "a\\x00b"},
      {"\x08\x0b\x0c\x0e\x1f\x7f", "\\x08\\x0b\\x0c\\x0e\\x1f\\x7f"},
      // C1 controls as code points; the rest of Unicode as it is.
      {"\xC2\x9B"
       "31m",
       "\\x9b31m"},
      {"\xC2\x80\xC2\x85\xC2\x9F", "\\x80\\x85\\x9f"},
      {"\xC2\xA0\xC3\xA9\xC8\x9B\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC2\xA0\xC3\xA9\xC8\x9B\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // Bytes that are no UTF-8: a lone 8-bit CSI, cut, overlong, surrogate,
      // beyond U+10FFFF.
      {"\x9b"
       "2J",
       "\\x9b2J"},
      {"\xE2\x82", "\\xe2\\x82"},
      {"\xC0\xAF", "\\xc0\\xaf"},
      {"\xED\xA0\x80", "\\xed\\xa0\\x80"},
      {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
      {"\xFF", "\\xff"},
      // Bidirectional controls: a name shown as "SRL evil" that holds
      // "live SRL" reversed, marks, embeddings and isolates.
      {"\xE2\x80\xAE"
       "LRS live\xE2\x80\xAC",
       "\\u202eLRS live\\u202c"},
      {"\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C", "\\u200e\\u200f\\u061c"},
      {"\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAD", "\\u202a\\u202b\\u202d"},
      {"\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9", "\\u2066\\u2067\\u2068\\u2069"},
      // Their neighbours are ordinary text: a zero width joiner, an em dash,
      // U+2065, U+206A and Arabic letters.
      {"\xE2\x80\x8D\xE2\x80\x94\xE2\x81\xA5\xE2\x81\xAA\xD8\xA7\xD8\x9B",
       "\xE2\x80\x8D\xE2\x80\x94\xE2\x81\xA5\xE2\x81\xAA\xD8\xA7\xD8\x9B"},
  };
  for (const Case& c : cases) EXPECT_EQ(ForTerminal(c.text), c.shown) << c.text;
}

}  // namespace
}  // namespace kestrava::cli
