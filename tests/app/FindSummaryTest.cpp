// The search guided by the text's summary against the plain search over the
// whole text: it must find exactly the same matches, whatever the text, the
// search, where it starts and in which direction it goes. A summary that
// lets a chunk be passed over that holds a match's start shows here as a
// difference.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/MemoText.h"
#include "app/ParallelFind.h"

namespace kestrava {
namespace {

constexpr std::size_t kChunk = TFindSummary::kChunk;
constexpr std::size_t npos = TTextSearch::npos;

// Records much as the window shows them: names, dates, numbers, CR LF.
std::string Records(std::mt19937& random, std::size_t size) {
  std::string text = "[";
  std::uniform_int_distribution<unsigned> digit(0, 9);
  const auto digits = [&](int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += static_cast<char>('0' + digit(random));
    return out;
  };
  while (text.size() < size) {
    text += "\r\n    {\r\n        \"transactionId\": \"TRX2026-03-" + digits(2) + "-" + digits(4) +
            "\",\r\n        \"iban\": \"RO49BTRL" + digits(16) +
            "\",\r\n        \"amount\": " + digits(3) + "." + digits(2) +
            ",\r\n        \"description\": \"Plat\xC4\x83 \xC8\x98" + "coala nr. " + digits(3) +
            "\"\r\n    },";
  }
  return text;
}

// Letters of both cases, two-byte letters whose cases differ in their last
// byte, four-byte characters and line breaks of every form.
std::string Mixed(std::mt19937& random, std::size_t size) {
  static const char* const kPieces[] = {"a",        "B", "c",    "D",  "e",  "\xC8\x99",
                                        "\xC8\x98", " ", "\r\n", "\n", "\r", "\xF0\x9F\x98\x80",
                                        "Z",        "z", "0",    "7",  "\""};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  std::string text;
  while (text.size() < size) text += kPieces[pick(random)];
  return text;
}

// The same line over and over: every chunk holds every group.
std::string Repetitive(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "\"Id\": 1,\r\n";
  return text;
}

// The other case form of each letter: ASCII letters and the two-byte
// letters of Mixed; a search without capitals finds them all.
std::string OtherCase(std::string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
    if (c == 0xC8 && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) == 0x98 ||
         static_cast<unsigned char>(text[i + 1]) == 0x99))
      text[i + 1] = static_cast<char>(text[i + 1] ^ 1);
  }
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // The capital two-byte letter of Mixed too.
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '\xC8' && text[i + 1] == '\x98') text[i + 1] = '\x99';
  return text;
}

// Whether `at` starts a character of the text.
bool AtCharacter(const std::string& text, std::size_t at) {
  return at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
}

// Searches taken from the text: pieces of every length that matter (shorter
// than a group, about a group, long, longer than the overlap), starting at
// and across chunk ends, in lower case and in the text's case; and a few
// found nowhere.
std::vector<std::string> SearchesIn(std::mt19937& random, const std::string& text) {
  std::vector<std::size_t> starts;
  for (std::size_t end = kChunk; end < text.size(); end += kChunk)
    for (const std::size_t back : {1, 6}) starts.push_back(end - back);
  starts.push_back(text.size() > 20 ? text.size() - 20 : 0);
  std::uniform_int_distribution<std::size_t> anywhere(0, text.size() - 1);
  for (int k = 0; k < 2; ++k) starts.push_back(anywhere(random));
  std::vector<std::string> searches = {"no such text anywhere", "zq", "\xE2\x82\xAC"};
  for (std::size_t start : starts) {
    while (!AtCharacter(text, start)) --start;
    for (const std::size_t length : {1, 3, 7, 9, 300}) {
      std::size_t end = std::min(text.size(), start + length);
      while (!AtCharacter(text, end)) ++end;
      if (end <= start) continue;
      const std::string piece = text.substr(start, end - start);
      searches.push_back(piece);
      searches.push_back(Lower(piece));
    }
  }
  std::sort(searches.begin(), searches.end());
  searches.erase(std::unique(searches.begin(), searches.end()), searches.end());
  return searches;
}

// Every way the find bar asks, guided and plain: the plain search's matches
// are read once, and from each start the guided search must give the next
// one round past the end and the one before round past the start.
void ExpectSameAsPlain(const TMemoText& memo, const std::vector<std::string>& searches,
                       std::mt19937& random) {
  const std::string& text = memo.Bytes();
  const TFindSummary& summary = memo.Summary();
  std::vector<std::size_t> starts = {0, text.size()};
  for (std::size_t end = kChunk; end < text.size(); end += kChunk)
    for (const std::size_t at : {end - 2, end + 1}) starts.push_back(at);
  std::uniform_int_distribution<std::size_t> anywhere(0, text.size());
  for (int k = 0; k < 3; ++k) starts.push_back(anywhere(random));
  for (const std::string& needle : searches) {
    SCOPED_TRACE("search: " + needle.substr(0, 40));
    const TTextSearch search(needle);
    std::vector<std::size_t> matches;
    for (std::size_t at = search.FindForward(text, 0, text.size()); at != npos;
         at = search.FindForward(text, at + 1, text.size()))
      matches.push_back(at);
    ASSERT_EQ(CountWithSummary(search, summary, text, 0, text.size()), matches.size());
    for (const std::size_t from : starts) {
      SCOPED_TRACE("from " + std::to_string(from));
      const auto next = std::lower_bound(matches.begin(), matches.end(), from);
      const std::size_t nextRound = matches.empty()         ? npos
                                    : next != matches.end() ? *next
                                                            : matches.front();
      const std::size_t beforeRound = matches.empty()           ? npos
                                      : next != matches.begin() ? *(next - 1)
                                                                : matches.back();
      std::size_t guided =
          FindWithSummary(search, summary, text, from, text.size(), TFindDirection::Forward);
      if (guided == npos)
        guided = FindWithSummary(search, summary, text, 0, from, TFindDirection::Forward);
      ASSERT_EQ(guided, nextRound);
      guided = FindWithSummary(search, summary, text, 0, from, TFindDirection::Backward);
      if (guided == npos)
        guided =
            FindWithSummary(search, summary, text, from, text.size(), TFindDirection::Backward);
      ASSERT_EQ(guided, beforeRound);
    }
    // A count over part of the text, from a start inside a chunk.
    const std::size_t from = std::min(text.size(), kChunk / 2 + 1);
    const std::size_t to = std::min(text.size(), from + 3 * kChunk / 2);
    ASSERT_EQ(CountWithSummary(search, summary, text, from, to),
              static_cast<std::size_t>(std::lower_bound(matches.begin(), matches.end(), to) -
                                       std::lower_bound(matches.begin(), matches.end(), from)));
  }
}

// The text set whole, and the same text appended in pieces of every size as
// the pages of a read arrive: both summaries must serve the search alike.
TEST(FindSummary, GuidedSearchFindsExactlyWhatThePlainSearchFinds) {
  std::mt19937 random(20261211);
  struct Text {
    const char* what;
    std::string text;
  };
  const Text texts[] = {
      {"records", Records(random, 3 * kChunk + 123)},
      {"mixed letters and breaks", Mixed(random, 2 * kChunk + 7)},
      {"the same letters throughout", Repetitive(kChunk + 4098)},
      {"shorter than a group", "ab"},
      {"one chunk", Records(random, 1000)},
  };
  for (const Text& t : texts) {
    SCOPED_TRACE(t.what);
    const std::vector<std::string> searches = SearchesIn(random, t.text);
    TMemoText whole;
    whole.Assign(t.text);
    ExpectSameAsPlain(whole, searches, random);
    // Other case forms than the searches' (a search without capitals finds
    // them), appended in pieces that end anywhere, mid-character too.
    TMemoText paged;
    paged.Assign("");
    const std::string other = OtherCase(t.text);
    std::uniform_int_distribution<std::size_t> pieceSize(1, 9000);
    for (std::size_t at = 0; at < other.size();) {
      std::size_t end = std::min(other.size(), at + pieceSize(random));
      while (!AtCharacter(other, end)) ++end;
      paged.Append(std::string_view(other).substr(at, end - at));
      at = end;
    }
    ASSERT_EQ(paged.Bytes(), other);
    ExpectSameAsPlain(paged, searches, random);
  }
}

// A text set again is summarised again: what the earlier text held is not
// found in the new one, and what the new one holds is.
TEST(FindSummary, ANewTextHasASummaryOfItsOwn) {
  std::mt19937 random(7);
  TMemoText memo;
  std::string first = Records(random, 4 * kChunk);
  first.replace(3 * kChunk + 10, 13, "UniqueMarker1");
  memo.Assign(first);
  const TTextSearch search("uniquemarker1");
  EXPECT_EQ(FindWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size(),
                            TFindDirection::Forward),
            3 * kChunk + 10);
  std::string second = Records(random, 4 * kChunk);
  second.replace(kChunk - 5, 13, "uniqueMARKER1");
  memo.Assign(second);
  EXPECT_EQ(FindWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size(),
                            TFindDirection::Forward),
            kChunk - 5);
  memo.Assign("short");
  EXPECT_EQ(FindWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size(),
                            TFindDirection::Backward),
            npos);
  memo.Append(" then uniquemarker1");
  EXPECT_EQ(FindWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size(),
                            TFindDirection::Backward),
            11u);
}

// A match split between two appended pieces, at every byte of it and at
// every place from a summarised byte: the groups across the join count.
TEST(FindSummary, AMatchAcrossTwoAppendedPiecesIsFound) {
  std::mt19937 random(3);
  const std::string before = Records(random, kChunk + 1000);
  const std::string marker = "UniqueMarker1";
  const TTextSearch search("uniquemarker1");
  for (std::size_t shift = 0; shift < TFindSummary::kSpacing; ++shift) {
    for (std::size_t split = 1; split < marker.size(); ++split) {
      SCOPED_TRACE("shift " + std::to_string(shift) + ", split " + std::to_string(split));
      TMemoText memo;
      memo.Assign(before + std::string(shift, ' '));
      memo.Append(marker.substr(0, split));
      memo.Append(marker.substr(split) + " and after");
      const std::size_t at = before.size() + shift;
      EXPECT_EQ(FindWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size(),
                                TFindDirection::Forward),
                at);
      EXPECT_EQ(CountWithSummary(search, memo.Summary(), memo.Bytes(), 0, memo.Size()), 1u);
    }
  }
}

// The point of the summary: in records of random numbers, a search of an
// account number and one found nowhere leave almost every chunk unread,
// while a word of every record leaves none.
TEST(FindSummary, MostChunksArePassedOverForARareSearch) {
  std::mt19937 random(11);
  TMemoText memo;
  memo.Assign(Records(random, 64 * kChunk));
  const std::string& text = memo.Bytes();
  const std::size_t iban = text.rfind("RO49BTRL");
  ASSERT_NE(iban, std::string::npos);
  const auto chunksToRead = [&](const std::string& needle) {
    const TFindSummary::TKeys keys = TFindSummary::KeysOf(TTextSearch(needle).Folded());
    std::size_t count = 0;
    for (std::size_t chunk = 0; chunk < memo.Summary().ChunkCount(); ++chunk)
      count += memo.Summary().MayHold(chunk, keys) ? 1 : 0;
    return count;
  };
  const std::size_t chunks = memo.Summary().ChunkCount();
  EXPECT_EQ(chunks, (text.size() + kChunk - 1) / kChunk);
  EXPECT_LE(chunksToRead(text.substr(iban, 24)), 4u);
  EXPECT_LE(chunksToRead("no such text anywhere"), 4u);
  EXPECT_EQ(chunksToRead("\"amount\": "), chunks);
  // Too short to have a group wherever it starts: every chunk is read.
  EXPECT_EQ(chunksToRead("q7z"), chunks);
}

}  // namespace
}  // namespace kestrava
