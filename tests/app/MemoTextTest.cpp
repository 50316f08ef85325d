// The text area's store: lines of every break form, positions, shown offsets
// and appending, checked against a straightforward reading of the same text.

#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <string>
#include <vector>

#include "app/MemoText.h"

namespace kestrava {
namespace {

struct Line {
  std::size_t start, end;  // end: where the separator begins
};

// The lines of a text, read byte by byte.
std::vector<Line> PlainLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back({start, i});
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back({start, text.size()});
  return lines;
}

bool IsPosition(const std::string& text, std::size_t p) {
  if (p > text.size()) return false;
  if (p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) return false;
  return !(p > 0 && p < text.size() && text[p - 1] == '\r' && text[p] == '\n');
}

// Checks every line and every byte offset of the text.
void CheckAgainstPlainReading(const TMemoText& memo, const std::string& text) {
  const std::vector<Line> lines = PlainLines(text);
  ASSERT_EQ(memo.LineCount(), lines.size());
  for (std::size_t n = 0; n < lines.size(); ++n) {
    ASSERT_EQ(memo.LineStart(n), lines[n].start) << "line " << n;
    ASSERT_EQ(memo.LineEnd(n), lines[n].end) << "line " << n;
  }
  const QString shown = ShownText(QString::fromStdString(text));
  ASSERT_EQ(memo.ShownSize(), static_cast<std::size_t>(shown.size()));
  std::size_t line = 0;
  for (std::size_t p = 0; p <= text.size(); ++p) {
    while (line + 1 < lines.size() && p >= lines[line + 1].start) ++line;
    const bool position = IsPosition(text, p);
    ASSERT_EQ(memo.Snap(p) == p, position) << "offset " << p;
    if (!position) continue;
    ASSERT_EQ(memo.LineOf(p), line) << "offset " << p;
    const std::size_t shownOffset =
        static_cast<std::size_t>(ShownText(QString::fromStdString(text.substr(0, p))).size());
    ASSERT_EQ(memo.ShownOffset(p), shownOffset) << "offset " << p;
    ASSERT_EQ(memo.PositionOfShown(shownOffset), p) << "offset " << p;
    std::size_t next = p + 1;
    while (next <= text.size() && !IsPosition(text, next)) ++next;
    ASSERT_EQ(memo.NextPosition(p), std::min(next, text.size())) << "offset " << p;
    if (p < text.size()) {
      ASSERT_EQ(memo.PreviousPosition(next), p) << "offset " << p;
    }
  }
}

TEST(MemoText, LinesPositionsAndShownOffsetsOfEveryBreakForm) {
  std::string many;
  for (int i = 0; i < 300; ++i) {
    many += "line " + std::to_string(i);
    many += i % 7 == 0 ? "\r" : i % 5 == 0 ? "\n" : "\r\n";
  }
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"one line", "abc"},
      {"CR LF", "a\r\nb\r\nc"},
      {"lone CR and lone LF", "a\rb\nc"},
      {"breaks only", "\r\n\r\r\n\n\n\r"},
      {"CR then CR LF", "a\r\r\nb"},
      {"LF then CR", "a\n\rb"},
      {"ends with a break", "[\r\n]\r\n"},
      {"multi-byte characters",
       "\xC8\x99"
       "a\r\n\xE2\x82\xAC\r\xF0\x9F\x98\x80x\n\xE2\x80\xA8"},
      {"hundreds of lines, every form", many},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoText memo;
    memo.Assign(c.text);
    CheckAgainstPlainReading(memo, c.text);
  }
}

// The text is read eight bytes at a time: breaks at every place in a word
// and across two words.
TEST(MemoText, BreaksAtEveryAlignmentOfAWord) {
  for (const char* form : {"\r\n", "\r", "\n", "\r\r\n", "\n\r"}) {
    for (std::size_t at = 0; at < 17; ++at) {
      SCOPED_TRACE(::testing::Message()
                   << "break " << ::testing::PrintToString(form) << " at " << at);
      std::string text(24, 'x');
      text.insert(at, form);
      text.insert(at + 9, "\r\n");
      TMemoText memo;
      memo.Assign(text);
      CheckAgainstPlainReading(memo, text);
    }
  }
}

// A long line is searched in longer steps than a word: its break is found
// wherever it lies, at every alignment to those steps.
TEST(MemoText, TheBreakOfALongLineIsFoundWhereverItLies) {
  constexpr std::size_t kBlock = 64 << 10;
  for (const std::size_t length :
       {std::size_t{127}, std::size_t{128}, std::size_t{129}, std::size_t{4000}, kBlock - 1, kBlock,
        kBlock + 127, kBlock + 128, kBlock + 129, 3 * kBlock + 5}) {
    for (const char* form : {"\r\n", "\r", "\n", "\n\r"}) {
      SCOPED_TRACE(::testing::Message()
                   << "line of " << length << " then " << ::testing::PrintToString(form));
      const std::string text = std::string(length, 'x') + form + "next\r\nlast";
      EXPECT_EQ(FindLineBreak(text.data(), text.data() + text.size()) - text.data(),
                static_cast<std::ptrdiff_t>(length));
      TMemoText memo;
      memo.Assign(text);
      EXPECT_EQ(memo.LineEnd(0), length);
      EXPECT_EQ(memo.LineOf(length - 1), 0u);
      EXPECT_EQ(memo.LineText(1), form == std::string("\n\r") ? "" : "next");
    }
  }
  // No break at all: the end.
  const std::string unbroken(3 * kBlock + 11, 'y');
  EXPECT_EQ(FindLineBreak(unbroken.data(), unbroken.data() + unbroken.size()),
            unbroken.data() + unbroken.size());
}

// Longer texts are read sixty-four bytes at a time: breaks at every place
// around the edges of those blocks, a CR LF split by one, and more than a
// kept chunk's worth of lines in one block.
TEST(MemoText, BreaksAtEveryAlignmentOfABlock) {
  for (const char* form : {"\r\n", "\r", "\n", "\r\r\n", "\n\r"}) {
    for (std::size_t at = 56; at < 72; ++at) {
      SCOPED_TRACE(::testing::Message()
                   << "break " << ::testing::PrintToString(form) << " at " << at);
      std::string text(200, 'x');
      text.insert(at, form);
      text.insert(at + 64, form);
      text.insert(130, "\r\n");
      TMemoText memo;
      memo.Assign(text);
      CheckAgainstPlainReading(memo, text);
    }
  }
  std::string dense;
  for (int i = 0; i < 300; ++i) dense += i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n";
  TMemoText memo;
  memo.Assign(dense + "end");
  CheckAgainstPlainReading(memo, dense + "end");
}

TEST(MemoText, AppendingReadsTheJoinedTextAsAWhole) {
  std::string start;
  for (int i = 0; i < 129; ++i) start += "x\r\n";  // the last line opens a new kept chunk
  const struct {
    const char* name;
    std::string before, piece;
  } cases[] = {
      {"to an empty text", "", "tok\r\n"},
      {"after a line break", "a\r\n", "b\r\n"},
      {"a CR joins the LF after it", "msg\r", "\ntoken\r\n"},
      {"a CR at a chunk start joins", start + "y\r", "\nz"},
      {"at a chunk boundary", start, "tail\r\nmore"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoText memo;
    memo.Assign(c.before);
    memo.ShownSize();  // made before appending: must follow the append
    memo.Append(c.piece);
    EXPECT_EQ(memo.Bytes(), c.before + c.piece);
    CheckAgainstPlainReading(memo, c.before + c.piece);
  }
}

TEST(MemoText, OffsetsThatAreNoPositionSnapBackAndShownOffsetsPastTheEndGiveTheEnd) {
  TMemoText memo;
  memo.Assign("a\r\n\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(memo.Snap(2), 1u);    // between CR and LF
  EXPECT_EQ(memo.Snap(4), 3u);    // inside the euro sign
  EXPECT_EQ(memo.Snap(9), 6u);    // inside the emoji
  EXPECT_EQ(memo.Snap(99), 10u);  // past the end
  // "a", LF, euro, the emoji's two halves: a shown offset inside the pair
  // gives the emoji's start.
  EXPECT_EQ(memo.ShownSize(), 5u);
  EXPECT_EQ(memo.PositionOfShown(4), 6u);
  EXPECT_EQ(memo.PositionOfShown(5), 10u);
  EXPECT_EQ(memo.PositionOfShown(1000), 10u);
}

}  // namespace
}  // namespace kestrava
