// The search of the find bar, against a plain reading that compares every
// position character by character.

#include <gtest/gtest.h>

#include <QChar>
#include <QList>
#include <QString>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/TextSearch.h"

namespace kestrava {
namespace {

constexpr std::size_t npos = TTextSearch::npos;

std::vector<std::size_t> AllMatches(const TTextSearch& search, const std::string& text) {
  std::vector<std::size_t> found;
  for (std::size_t at = search.FindForward(text, 0, text.size()); at != npos;
       at = search.FindForward(text, at + 1, text.size()))
    found.push_back(at);
  return found;
}

TEST(TextSearch, FindsWhatItShouldAndNothingElse) {
  struct Case {
    const char* name;
    std::string needle, text;
    std::vector<std::size_t> matches;
  };
  const Case cases[] = {
      {"no capital: either case", "abc", "ABC abc aBc ab", {0, 4, 8}},
      {"a capital: that case only", "aBc", "ABC abc aBc", {8}},
      {"matches overlap", "aa", "aaaa", {0, 1, 2}},
      {"at the very end", "end", "the end", {4}},
      {"longer than the text", "longer", "long", {}},
      {"letters of two bytes, either case",
       "\xC8\x99i",
       "\xC8\x98I \xC8\x99i \xC8\x98i",
       {0, 4, 8}},
      {"a capital of two bytes: that case", "\xC8\x98", "\xC8\x99 \xC8\x98", {3}},
      {"a character of four bytes",
       "\xF0\x9F\x98\x80",
       "a\xF0\x9F\x98\x80"
       "b",
       {1}},
      {"quotes, digits and letters in either case", "\"id\": 1", "\"id\": 12, \"ID\": 1", {0, 10}},
      {"not UTF-8: nothing", "\xFF", "\xFF", {}},
      {"empty: nothing", "", "abc", {}},
      {"a digit and a word", "12.50", "\"amount\": 12.50,\r\n\"amount\": 112.500", {10, 29}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TTextSearch search(c.needle);
    EXPECT_EQ(AllMatches(search, c.text), c.matches);
    EXPECT_EQ(search.Count(c.text, 0, c.text.size()), c.matches.size());
    EXPECT_EQ(search.FindBackward(c.text, 0, c.text.size()),
              c.matches.empty() ? npos : c.matches.back());
  }
  EXPECT_FALSE(TTextSearch("abc").CaseSensitive());
  EXPECT_TRUE(TTextSearch("aBc").CaseSensitive());
}

// Whether the search matches at a position, read character by character:
// equal, or (without a capital in the search) equal once case-folded.
bool PlainMatch(const QList<uint>& needle, bool caseSensitive, const std::string& text,
                std::size_t at, std::size_t length) {
  if (at + length > text.size()) return false;
  if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) return false;
  const QList<uint> here = QString::fromStdString(text.substr(at, length)).toUcs4();
  if (here.size() != needle.size()) return false;
  for (qsizetype i = 0; i < here.size(); ++i) {
    const bool same = caseSensitive
                          ? here[i] == needle[i]
                          : QChar::toCaseFolded(here[i]) == QChar::toCaseFolded(needle[i]);
    if (!same) return false;
  }
  return true;
}

// Texts of a few letters in both cases and a character of two bytes, so
// that matches fall at every place of the sixteen bytes looked at together
// and across them; every range of the search checked against the plain
// reading.
TEST(TextSearch, AgreesWithAPlainReadingAtEveryPlace) {
  std::mt19937 random(20251211);
  const std::vector<std::string> alphabet = {"a", "A", "b", "B", " ", "\xC3\xA9", "\xC3\x89"};
  const auto pick = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    const std::string text = pick(40 + random() % 120);
    const std::string needle = pick(1 + random() % 3);
    SCOPED_TRACE(::testing::Message() << "search \"" << needle << "\" in \"" << text << "\"");
    const TTextSearch search(needle);
    const QList<uint> characters = QString::fromStdString(needle).toUcs4();
    std::vector<std::size_t> expected;
    for (std::size_t at = 0; at < text.size(); ++at)
      if (PlainMatch(characters, search.CaseSensitive(), text, at, search.Length()))
        expected.push_back(at);
    ASSERT_EQ(AllMatches(search, text), expected);
    const std::size_t from = random() % (text.size() + 1);
    const std::size_t to = from + random() % (text.size() + 1 - from);
    std::size_t inRange = 0, first = npos, last = npos;
    for (const std::size_t at : expected) {
      if (at < from || at >= to) continue;
      ++inRange;
      if (first == npos) first = at;
      last = at;
    }
    EXPECT_EQ(search.Count(text, from, to), inRange) << from << ".." << to;
    EXPECT_EQ(search.FindForward(text, from, to), first) << from << ".." << to;
    EXPECT_EQ(search.FindBackward(text, from, to), last) << from << ".." << to;
  }
}

// A backward search goes a block at a time: a match far before, across a
// block's edge, is found.
TEST(TextSearch, BackwardFindsAMatchFarBeforeAcrossBlocks) {
  std::string text(300'000, 'x');
  text.replace(65'534, 4, "Find");
  text.replace(200'000, 4, "find");
  const TTextSearch search("find");
  EXPECT_EQ(search.FindBackward(text, 0, text.size()), 200'000u);
  EXPECT_EQ(search.FindBackward(text, 0, 200'000), 65'534u);
  EXPECT_EQ(search.FindBackward(text, 0, 65'534), npos);
  EXPECT_EQ(search.Count(text, 0, text.size()), 2u);
}

}  // namespace
}  // namespace kestrava
