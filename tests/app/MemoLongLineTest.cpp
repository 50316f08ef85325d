// One unbroken long line in the text area (an error page, one long JSON
// string): it is laid out in pieces, and nothing but the drawing may see
// them. Characters of several bytes, a surrogate pair, combining marks and
// an emoji sequence sit exactly where pieces would begin.

#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QTextBoundaryFinder>
#include <string>
#include <vector>

#include "app/Memo.h"

namespace kestrava {
namespace {

constexpr std::size_t kPiece = kPieceBytes;

// What sits at each place where a piece would begin, by its number.
struct Straddler {
  const char* name;
  std::string bytes;
  std::size_t lead;  // bytes of it before the place
};
const Straddler kStraddlers[] = {
    {"a space just before", "word ", 5},
    {"a two-byte character", "\xC3\xA9", 1},
    {"a surrogate pair", "\xF0\x9F\x98\x80", 2},
    {"a combining mark", "e\xCC\x81", 1},
    {"an emoji sequence with a joiner", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", 4},
    {"two combining marks", "a\xCC\x81\xCC\xA7", 2},
};

// A line of about kPiece * (pieces + 1) bytes without a space anywhere but
// at the first place, and the straddlers placed across the places.
std::string LongLine() {
  std::string line;
  const std::size_t count = std::size(kStraddlers);
  for (std::size_t k = 1; k <= count; ++k) {
    const Straddler& s = kStraddlers[k - 1];
    line.resize(k * kPiece - s.lead, static_cast<char>('a' + k % 26));
    line += s.bytes;
  }
  line.resize(line.size() + kPiece + 100, 'z');
  return line;
}

const std::string kFirst = "first line\r\n";
const std::string kLast = "\r\nthe last line";

class MemoLongLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memo.resize(420, 300);
    memo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    memo.SetUtf8Text(text);
    memo.setFocus();
  }

  // Byte offsets where a character as a person sees it (a grapheme) starts
  // on the long line, and its end.
  std::vector<std::size_t> Graphemes() const {
    const QString shown = QString::fromStdString(line);
    std::vector<std::size_t> positions{kFirst.size()};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, shown);
    qsizetype before = 0;
    for (qsizetype at = finder.toNextBoundary(); at >= 0; at = finder.toNextBoundary()) {
      positions.push_back(positions.back() +
                          static_cast<std::size_t>(shown.mid(before, at - before).toUtf8().size()));
      before = at;
    }
    return positions;
  }

  // The byte offset of a place where a piece would begin.
  static std::size_t Place(std::size_t k) { return kFirst.size() + k * kPiece; }

  std::string Between(std::size_t from, std::size_t to) const {
    return text.substr(from, to - from);
  }

  const std::string line = LongLine();
  const std::string text = kFirst + line + kLast;
  TMemo memo;
};

TEST_F(MemoLongLineTest, PiecesTileTheLineAndBeginWhereACharacterBegins) {
  const std::vector<std::size_t> graphemes = Graphemes();
  const std::size_t lineStart = kFirst.size();
  const std::size_t lineEnd = lineStart + line.size();
  std::vector<std::size_t> starts;
  for (std::size_t at = lineStart; at < lineEnd;) {
    const TRangeOfText piece = memo.PieceAt(at);
    ASSERT_EQ(piece.from, at);
    ASSERT_GT(piece.to, piece.from);
    starts.push_back(piece.from);
    at = piece.to;
    if (at == lineEnd) break;
    // Every position inside a piece is in that piece.
    ASSERT_EQ(memo.PieceAt(at - 1).from, piece.from);
  }
  ASSERT_EQ(starts.size(), line.size() / kPiece);
  for (std::size_t k = 1; k < starts.size(); ++k) {
    SCOPED_TRACE(kStraddlers[k - 1].name);
    EXPECT_TRUE(std::binary_search(graphemes.begin(), graphemes.end(), starts[k]))
        << "piece " << k << " begins at " << starts[k];
    EXPECT_LE(starts[k], Place(k));
    EXPECT_GT(starts[k] + 300, Place(k));
  }
  EXPECT_EQ(starts[1], Place(1)) << "just after the space";
  // The short lines around it are one piece each.
  EXPECT_EQ(memo.PieceAt(3).from, 0u);
  EXPECT_EQ(memo.PieceAt(3).to, kFirst.size() - 2);
}

TEST_F(MemoLongLineTest, SelectionAndCopyAcrossPiecesGiveTheTextUnchanged) {
  for (std::size_t k = 1; k < line.size() / kPiece; ++k) {
    SCOPED_TRACE(kStraddlers[k - 1].name);
    const std::size_t boundary = memo.PieceAt(Place(k)).from;
    const std::size_t from = memo.Content().Snap(boundary - 9);
    const std::size_t to = memo.Content().Snap(boundary + 9);
    memo.SetSelection(from, to);
    EXPECT_EQ(memo.SelectedText(), QString::fromStdString(Between(from, to)));
    QApplication::clipboard()->clear();
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(Between(from, to)));

    // What a screen reader reads there.
    QAccessibleTextInterface* reader =
        QAccessible::queryAccessibleInterface(&memo)->textInterface();
    const int shownFrom = static_cast<int>(memo.Content().ShownOffset(from));
    const int shownTo = static_cast<int>(memo.Content().ShownOffset(to));
    EXPECT_EQ(reader->text(shownFrom, shownTo), QString::fromStdString(Between(from, to)));
  }
  memo.SelectAll();
  EXPECT_EQ(memo.SelectedText(), ShownText(QString::fromStdString(text)));

  // A screen reader's character at a piece boundary is the whole cluster.
  QAccessibleTextInterface* reader = QAccessible::queryAccessibleInterface(&memo)->textInterface();
  for (const std::size_t k : {std::size_t{4}, std::size_t{5}}) {
    SCOPED_TRACE(kStraddlers[k - 1].name);
    const std::size_t boundary = memo.PieceAt(Place(k)).from;
    int from = 0, to = 0;
    const QString character =
        reader->textAtOffset(static_cast<int>(memo.Content().ShownOffset(boundary)),
                             QAccessible::CharBoundary, &from, &to);
    EXPECT_EQ(character, QString::fromStdString(kStraddlers[k - 1].bytes));
    EXPECT_EQ(static_cast<std::size_t>(from), memo.Content().ShownOffset(boundary));
  }
}

TEST_F(MemoLongLineTest, ArrowKeysStepThroughEveryCharacterAcrossPieces) {
  const std::vector<std::size_t> graphemes = Graphemes();
  for (std::size_t k = 1; k < line.size() / kPiece; ++k) {
    SCOPED_TRACE(kStraddlers[k - 1].name);
    const auto first =
        std::lower_bound(graphemes.begin(), graphemes.end(), memo.PieceAt(Place(k)).from - 12);
    memo.SetCaretPosition(*first);
    std::vector<std::size_t> right{*first};
    for (int i = 0; i < 20; ++i) {
      QTest::keyClick(&memo, Qt::Key_Right);
      right.push_back(memo.CaretPosition());
    }
    EXPECT_EQ(right, std::vector<std::size_t>(first, first + 21));
    for (int i = 20; i > 0; --i) {
      QTest::keyClick(&memo, Qt::Key_Left);
      ASSERT_EQ(memo.CaretPosition(), right[static_cast<std::size_t>(i - 1)]) << i;
    }
  }
}

TEST_F(MemoLongLineTest, ClicksAndDragsLandOnTheCharacterUnderTheMouse) {
  const std::vector<std::size_t> graphemes = Graphemes();
  QWidget* viewport = memo.viewport();
  for (std::size_t k = 1; k < line.size() / kPiece; ++k) {
    SCOPED_TRACE(kStraddlers[k - 1].name);
    const std::size_t boundary = memo.PieceAt(Place(k)).from;
    const auto at = std::lower_bound(graphemes.begin(), graphemes.end(), boundary);
    memo.EnsureVisible(at[-4]);
    memo.EnsureVisible(at[4]);
    for (auto p = at - 4; p != at + 4; ++p) {
      const QRect rect = memo.CharacterRect(*p);
      ASSERT_FALSE(rect.isEmpty()) << *p;
      EXPECT_LE(rect.right(), viewport->width());
      QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(rect.left() + 1, rect.center().y()));
      EXPECT_EQ(memo.CaretPosition(), *p);
    }
    // A drag from the piece before into this one.
    const QRect from = memo.CharacterRect(at[-3]);
    const QRect to = memo.CharacterRect(at[3]);
    EXPECT_GT(to.top(), from.top());
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(from.left() + 1, from.center().y()));
    QTest::mouseMove(viewport, QPoint(to.left() + 1, to.center().y()));
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(to.left() + 1, to.center().y()));
    EXPECT_EQ(memo.SelectedText(), QString::fromStdString(Between(at[-3], at[3])));

    // The selection is painted on both sides of the piece boundary.
    const QImage image = viewport->grab().toImage();
    const QRgb highlight = memo.palette().color(QPalette::Inactive, QPalette::Highlight).rgb();
    const QRgb active = memo.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    for (const QRect& rect : {memo.CharacterRect(at[-2]), memo.CharacterRect(at[1])}) {
      bool painted = false;
      for (int y = rect.top(); y <= rect.bottom() && !painted; ++y) {
        for (int x = rect.left(); x <= rect.right() && !painted; ++x) {
          const QRgb pixel = image.pixel(x, y);
          painted = pixel == highlight || pixel == active;
        }
      }
      EXPECT_TRUE(painted) << rect.top();
    }
  }
}

TEST_F(MemoLongLineTest, HomeAndEndKeepToTheLineAsDrawnAtAPieceBoundary) {
  // The first piece ends just after a space: its last line as drawn ends
  // before it, and the next piece begins a line of its own.
  const std::size_t boundary = memo.PieceAt(Place(1)).from;
  ASSERT_EQ(text[boundary - 1], ' ');
  memo.EnsureVisible(boundary - 40);
  memo.EnsureVisible(boundary + 40);
  const int row = memo.CharacterRect(boundary - 3).top();
  const int next = memo.CharacterRect(boundary).top();
  EXPECT_GT(next, row);

  memo.SetCaretPosition(boundary - 3);
  QTest::keyClick(&memo, Qt::Key_End);
  EXPECT_EQ(memo.CaretPosition(), boundary - 1);
  EXPECT_EQ(memo.CharacterRect(memo.CaretPosition()).top(), row);
  QTest::keyClick(&memo, Qt::Key_Home, Qt::ShiftModifier);
  const std::size_t rowStart = memo.CaretPosition();
  EXPECT_LT(rowStart, boundary - 3);
  EXPECT_EQ(memo.CharacterRect(rowStart).top(), row);
  EXPECT_EQ(memo.SelectedText(), QString::fromStdString(Between(rowStart, boundary - 1)));

  memo.SetCaretPosition(boundary + 2);
  QTest::keyClick(&memo, Qt::Key_Home);
  EXPECT_EQ(memo.CaretPosition(), boundary);
  // Down from the last line of one piece goes to the first of the next.
  memo.SetCaretPosition(boundary - 3);
  QTest::keyClick(&memo, Qt::Key_Down);
  EXPECT_EQ(memo.CharacterRect(memo.CaretPosition()).top(), next);
  QTest::keyClick(&memo, Qt::Key_Up);
  EXPECT_EQ(memo.CaretPosition(), boundary - 3);
}

// Whether anything but the background is drawn inside a rectangle.
bool DrawnIn(TMemo& memo, const QRect& rect) {
  const QImage image = memo.viewport()->grab().toImage();
  const QRgb background = memo.palette().color(QPalette::Base).rgb();
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.rect().contains(x, y) && image.pixel(x, y) != background) return true;
  return false;
}

TEST(MemoLongLine, TenMegabytesOnOneLineShowScrollAndWrapAgain) {
  TMemo memo;
  memo.resize(500, 300);
  memo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
  std::string text;
  text.reserve(10'000'100);
  for (int i = 0; text.size() < 10'000'000; ++i) text += "\"key" + std::to_string(i) + "\":[1,2],";
  text += "\"end\"";
  memo.SetUtf8Text(text);
  memo.setFocus();
  EXPECT_EQ(memo.LineCount(), 1u);
  ASSERT_TRUE(DrawnIn(memo, memo.CharacterRect(0)));

  QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(memo.CaretPosition(), text.size());
  const QRect last = memo.CharacterRect(text.size() - 1);
  ASSERT_FALSE(last.isEmpty());
  EXPECT_TRUE(DrawnIn(memo, last));

  // Narrower: laid out again at the new width.
  memo.resize(300, 300);
  QApplication::processEvents();
  QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
  const QRect narrower = memo.CharacterRect(text.size() - 1);
  ASSERT_FALSE(narrower.isEmpty());
  EXPECT_LE(narrower.right(), memo.viewport()->width());
  EXPECT_TRUE(DrawnIn(memo, narrower));

  // Pages up through it, each one line as drawn or more above the last.
  std::size_t caret = memo.CaretPosition();
  for (int page = 0; page < 5; ++page) {
    QTest::keyClick(&memo, Qt::Key_PageUp);
    EXPECT_LT(memo.CaretPosition(), caret);
    caret = memo.CaretPosition();
    EXPECT_FALSE(memo.CharacterRect(caret).isEmpty());
  }
  QTest::keyClick(&memo, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(memo.CaretPosition(), 0u);
  EXPECT_TRUE(DrawnIn(memo, memo.CharacterRect(0)));
}

}  // namespace
}  // namespace kestrava
