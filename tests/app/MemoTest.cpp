// The text area: the text as set, appending, and what a person does with it
// (select, copy, scroll, read it with a screen reader), much of it checked
// against a real QPlainTextEdit holding the same text, which is what the
// window showed before.

#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextCursor>
#include <functional>
#include <string>

#include "app/Memo.h"

namespace kestrava {
namespace {

// What a screen reader reads: the whole text through the text interface.
QString AccessibleText(TMemo& memo) {
  QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&memo)->textInterface();
  return text->text(0, text->characterCount());
}

TEST(Memo, LinesAddFollowsTheLineBreakAtTheEnd) {
  struct Case {
    const char* name;
    QString before, line, after;
  };
  const Case cases[] = {
      {"empty", "", "tok", "tok\r\n"},
      {"after a line break", "tok1\r\n", "tok2", "tok1\r\ntok2\r\n"},
      {"after a JSON text", "[\r\n]", "tok", "[\r\n]\r\ntok"},
      {"after a lone CR", "msg\r", "tok", "msg\rtok\r\n"},
      {"after a lone LF", "msg\n", "tok", "msg\ntok\r\n"},
      {"empty line", "a", "", "a\r\n"},
      {"a token that starts with a line feed joins the CR", "msg\r", "\ntoken", "msg\r\ntoken\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemo memo;
    memo.SetText(c.before);
    memo.LinesAdd(c.line);
    EXPECT_EQ(memo.Text(), c.after);
    EXPECT_EQ(AccessibleText(memo), ShownText(c.after));
    EXPECT_EQ(memo.CaretPosition(), memo.Utf8Text().size());
    EXPECT_FALSE(memo.HasSelection());
  }
}

TEST(Memo, EveryLineBreakFormShowsAsOneBreak) {
  EXPECT_EQ(ShownText("a\r\nb\rc\nd\r\r\ne"), "a\nb\nc\nd\n\ne");
  EXPECT_EQ(ShownText("plain"), "plain");
  TMemo memo;
  memo.SetText("StatusCode: 401 - Unauthorized\r{\"x\":1}");
  EXPECT_EQ(memo.LineCount(), 2u);
  EXPECT_EQ(AccessibleText(memo), "StatusCode: 401 - Unauthorized\n{\"x\":1}");
}

TEST(Memo, TheTextComesBackExactlyAsSet) {
  const QString texts[] = {"", "[\r\n    1\r\n]", "a\rb\nc\r\n",
                           QString::fromUtf8("\xC8\x99\xE2\x82\xAC\xF0\x9F\x98\x80"),
                           QString("nul") + QChar(0) + "inside"};
  for (const QString& text : texts) {
    TMemo memo;
    memo.SetText(text);
    EXPECT_EQ(memo.Text(), text);
    EXPECT_EQ(memo.Utf8Text(), text.toStdString());
  }
  // Bytes that are not UTF-8 read as QString reads them, once and for all.
  TMemo memo;
  memo.SetUtf8Text("bad \xFF byte\r\n");
  EXPECT_EQ(memo.Text(), QString::fromUtf8("bad \xFF byte\r\n"));
  EXPECT_EQ(memo.Utf8Text(), "bad \xEF\xBF\xBD byte\r\n");
}

TEST(Memo, IsReadOnlyWithAVerticalScrollBar) {
  TMemo memo;
  memo.resize(300, 200);
  memo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
  memo.SetText("kept\r\ntext");
  memo.SetSelection(0, 4);
  QTest::keyClicks(&memo, "typed");
  for (const int key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Tab})
    QTest::keyClick(&memo, static_cast<Qt::Key>(key));
  QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&memo, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(memo.Text(), "kept\r\ntext");
  EXPECT_EQ(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(memo.focusPolicy(), Qt::StrongFocus);
  EXPECT_EQ(memo.viewport()->cursor().shape(), Qt::IBeamCursor);
}

QString ManyLines(int count, const QString& tag) {
  QString text;
  for (int i = 0; i < count; ++i) text += tag + QString::number(i) + "\r\n";
  return text;
}

TEST(Memo, SettingTheSameTextLeavesCaretAndScrollAlone) {
  TMemo memo;
  memo.resize(300, 200);
  memo.show();
  const QString text = ManyLines(500, "line ");
  memo.SetText(text);
  memo.SetSelection(1200, 1234);
  memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum() / 2);
  const int scroll = memo.verticalScrollBar()->value();
  ASSERT_GT(scroll, 0);

  memo.SetText(QString(text));  // an equal copy
  memo.SetUtf8Text(text.toStdString());
  EXPECT_EQ(memo.CaretPosition(), 1234u);
  EXPECT_EQ(memo.AnchorPosition(), 1200u);
  EXPECT_EQ(memo.verticalScrollBar()->value(), scroll);

  memo.SetText(ManyLines(500, "other "));
  EXPECT_EQ(memo.CaretPosition(), 0u);
  EXPECT_FALSE(memo.HasSelection());
  EXPECT_EQ(memo.verticalScrollBar()->value(), 0);
  EXPECT_EQ(memo.FirstVisibleLine(), 0u);
}

// A TMemo and a QPlainTextEdit of the same size and font holding the same
// text, for comparing what a person gets from each.
class MemoAndPlainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFont font = memo.font();
    font.setPixelSize(11);
    font.setBold(true);
    for (QWidget* widget : {static_cast<QWidget*>(&memo), static_cast<QWidget*>(&plain)}) {
      widget->setFont(font);
      widget->resize(360, 220);
    }
    plain.setReadOnly(true);
    plain.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    plain.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo.show();
    plain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
  }

  void SetBoth(const std::string& utf8) {
    memo.SetUtf8Text(utf8);
    plain.setPlainText(QString::fromStdString(utf8));
  }

  // The document position of a byte offset of the memo's text.
  int PlainPosition(std::size_t offset) const {
    return static_cast<int>(memo.Content().ShownOffset(offset));
  }

  static QString Clipboard() { return QApplication::clipboard()->text(); }

  // Copies what the plain widget has selected; gives the clipboard text.
  QString PlainCopy() {
    QApplication::clipboard()->setText("nothing copied");
    plain.copy();
    return Clipboard();
  }
  QString MemoCopy() {
    QApplication::clipboard()->setText("nothing copied");
    memo.Copy();
    return Clipboard();
  }

  TMemo memo;
  QPlainTextEdit plain;
};

// The design text for the clipboard cases: every line break form and the
// characters a plain-text widget copies differently from how it holds them.
const std::string kMixedText =
    "alpha beta\r\ngamma\rdelta\nepsilon\xE2\x80\xA8zeta\xE2\x80\xA9"
    "eta\xC2\xA0theta\tiota \xC8\x99i \xF0\x9F\x98\x80\r\n\r\nlast line";

TEST_F(MemoAndPlainTest, TheClipboardGetsWhatAPlainTextWidgetCopies) {
  SetBoth(kMixedText);
  const auto at = [](const char* piece) { return kMixedText.find(piece); };
  struct Case {
    const char* name;
    std::size_t anchor, caret;
  };
  const Case cases[] = {
      {"inside a line", at("beta"), at("beta") + 4},
      {"across lines", at("beta"), at("mma")},
      {"across a CR LF exactly", at("\r\ngamma"), at("gamma")},
      {"across a lone CR", at("mma"), at("del")},
      {"across a lone LF", at("ta\neps"), at("eps")},
      {"line and paragraph separators", at("silon"), at("eta\xC2")},
      {"no-break space and tab", at("eta\xC2"), at("iota")},
      {"multi-byte characters", at("\xC8\x99"), kMixedText.size() - 12},
      {"ending in an empty line", at("iota"), at("last")},
      {"backwards", at("last") + 2, at("gamma") + 1},
      {"the whole text", 0, kMixedText.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NE(c.anchor, std::string::npos);
    ASSERT_NE(c.caret, std::string::npos);
    memo.SetSelection(c.anchor, c.caret);
    QTextCursor cursor(plain.document());
    cursor.setPosition(PlainPosition(c.anchor));
    cursor.setPosition(PlainPosition(c.caret), QTextCursor::KeepAnchor);
    plain.setTextCursor(cursor);
    const QString expected = PlainCopy();
    EXPECT_EQ(MemoCopy(), expected);
    EXPECT_EQ(memo.SelectedText(), expected);
    // Ctrl+C and the context menu's Copy put the same there.
    QApplication::clipboard()->clear();
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), expected);
  }
  // Without a selection, copying leaves the clipboard alone.
  memo.SetCaretPosition(3);
  EXPECT_EQ(MemoCopy(), "nothing copied");
}

TEST_F(MemoAndPlainTest, KeyboardSelectionsCopyAsInAPlainTextWidget) {
  std::string text;
  for (int i = 0; i < 60; ++i) {
    text += "record " + std::to_string(i) +
            " with a somewhat longer description that wraps at "
            "the width of the view\r\n";
  }
  text += "last";
  SetBoth(text);
  using Keys = std::function<void(QWidget&)>;
  const auto repeat = [](Qt::Key key, Qt::KeyboardModifiers modifiers, int times) {
    return [=](QWidget& widget) {
      for (int i = 0; i < times; ++i) QTest::keyClick(&widget, key, modifiers);
    };
  };
  const struct {
    const char* name;
    Keys keys;
  } cases[] = {
      {"Shift+Right", repeat(Qt::Key_Right, Qt::ShiftModifier, 13)},
      {"Shift+Down through wrapped lines", repeat(Qt::Key_Down, Qt::ShiftModifier, 5)},
      {"Shift+End of a wrapped line", repeat(Qt::Key_End, Qt::ShiftModifier, 1)},
      {"Ctrl+Shift+Right by words",
       repeat(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier, 9)},
      {"Shift+PageDown", repeat(Qt::Key_PageDown, Qt::ShiftModifier, 2)},
      {"Shift+Ctrl+End", repeat(Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, 1)},
      {"Ctrl+A", repeat(Qt::Key_A, Qt::ControlModifier, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (QWidget* widget : {static_cast<QWidget*>(&memo), static_cast<QWidget*>(&plain)}) {
      QTest::keyClick(widget, Qt::Key_Home, Qt::ControlModifier);
      QTest::keyClick(widget, Qt::Key_Right);
      QTest::keyClick(widget, Qt::Key_Right);
      c.keys(*widget);
    }
    EXPECT_EQ(MemoCopy(), PlainCopy());
  }
  // A selection collapses to its end with Right, to its start with Left.
  memo.SetSelection(10, 20);
  QTest::keyClick(&memo, Qt::Key_Right);
  EXPECT_EQ(memo.CaretPosition(), 20u);
  memo.SetSelection(20, 10);
  QTest::keyClick(&memo, Qt::Key_Right);
  EXPECT_EQ(memo.CaretPosition(), 20u);
  memo.SetSelection(10, 20);
  QTest::keyClick(&memo, Qt::Key_Left);
  EXPECT_EQ(memo.CaretPosition(), 10u);
  EXPECT_FALSE(memo.HasSelection());
}

TEST_F(MemoAndPlainTest, MouseSelectionsCopyAsInAPlainTextWidget) {
  SetBoth("first line of text\r\nsecond \"x\\/y\": 12.50, words here\r\nthird line\r\nfourth");
  const QPoint inSecond(60, 4 + 13 + 6);
  const QPoint inFourth(30, 4 + 3 * 13 + 6);
  const struct {
    const char* name;
    std::function<void(QWidget*)> act;
  } cases[] = {
      {"press and drag",
       [&](QWidget* viewport) {
         QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(20, 10));
         QTest::mouseMove(viewport, inSecond);
         QTest::mouseMove(viewport, inFourth);
         QTest::mouseRelease(viewport, Qt::LeftButton, {}, inFourth);
       }},
      {"click then shift-click",
       [&](QWidget* viewport) {
         QTest::mouseClick(viewport, Qt::LeftButton, {}, inSecond);
         QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, inFourth);
       }},
      {"double-click selects a word",
       [&](QWidget* viewport) { QTest::mouseDClick(viewport, Qt::LeftButton, {}, inSecond); }},
      {"triple-click selects the line and its break",
       [&](QWidget* viewport) {
         QTest::mouseDClick(viewport, Qt::LeftButton, {}, inSecond);
         QTest::mouseClick(viewport, Qt::LeftButton, {}, inSecond);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (QAbstractScrollArea* widget :
         {static_cast<QAbstractScrollArea*>(&memo), static_cast<QAbstractScrollArea*>(&plain)}) {
      QTest::mouseClick(widget->viewport(), Qt::LeftButton, {}, QPoint(5, 150));
      QTest::qWait(QApplication::doubleClickInterval() + 20);  // no click counts as a double
      c.act(widget->viewport());
    }
    const QString expected = PlainCopy();
    EXPECT_FALSE(expected.isEmpty());
    EXPECT_EQ(MemoCopy(), expected);
  }
}

TEST_F(MemoAndPlainTest, LongLinesWrapWhereAPlainTextWidgetWrapsThemAndAgainOnResize) {
  const std::string words = [] {
    std::string s;
    for (int i = 0; i < 80; ++i) s += "word" + std::to_string(i) + " ";
    return s;
  }();
  const std::string unbroken(300, 'x');  // longer than the width: wrapped anywhere, not cut
  const std::string text = "short\r\n" + words + "\r\n" + unbroken + "\r\nend";
  SetBoth(text);
  for (const int width : {360, 520, 250}) {
    SCOPED_TRACE(width);
    memo.resize(width, 400);
    plain.resize(width, 400);
    QApplication::processEvents();
    int lowest = 0;
    for (std::size_t p = 0; p < text.size(); p = memo.Content().NextPosition(p)) {
      if (text[p] == '\r' || text[p] == '\n') continue;
      QTextCursor cursor(plain.document());
      cursor.setPosition(PlainPosition(p));
      const QRect expected = plain.cursorRect(cursor);
      const QRect got = memo.CharacterRect(p);
      if (expected.bottom() >= plain.viewport()->height()) break;  // below the view
      ASSERT_EQ(got.top(), expected.top()) << "offset " << p;
      ASSERT_NEAR(got.left(), expected.left(), 1) << "offset " << p;
      EXPECT_LE(got.right(), memo.viewport()->width()) << "offset " << p;
      lowest = std::max(lowest, got.top());
    }
    EXPECT_GT(lowest, 4 * 13);  // the long lines took several lines each
  }
}

TEST_F(MemoAndPlainTest, WheelAndScrollBarMoveByLinesAsInAPlainTextWidget) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\r\n";
  text += "the last line";
  SetBoth(text);
  EXPECT_EQ(memo.verticalScrollBar()->maximum(), plain.verticalScrollBar()->maximum());
  EXPECT_EQ(memo.verticalScrollBar()->pageStep(), plain.verticalScrollBar()->pageStep());
  for (int notches : {-1, -2, 1}) {
    SCOPED_TRACE(notches);
    for (QAbstractScrollArea* widget :
         {static_cast<QAbstractScrollArea*>(&memo), static_cast<QAbstractScrollArea*>(&plain)}) {
      const QPoint at(50, 50);
      QWheelEvent wheel(at, widget->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(widget->viewport(), &wheel);
    }
    EXPECT_EQ(memo.verticalScrollBar()->value(), plain.verticalScrollBar()->value());
    EXPECT_EQ(memo.FirstVisibleLine(), static_cast<std::size_t>(memo.verticalScrollBar()->value()));
  }
}

// Whether the text area shows ink (anything but its background) inside a
// rectangle of its viewport.
bool DrawnIn(TMemo& memo, const QRect& rect) {
  const QImage image = memo.viewport()->grab().toImage();
  const QRgb background = memo.palette().color(QPalette::Base).rgb();
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.rect().contains(x, y) && image.pixel(x, y) != background) return true;
  return false;
}

// The rectangle of the first characters of a line.
QRect LineRect(TMemo& memo, std::size_t line) {
  const std::size_t start = memo.Content().LineStart(line);
  const QRect first = memo.CharacterRect(start);
  const QRect last = memo.CharacterRect(memo.Content().LineEnd(line) - 1);
  return first.isEmpty() || last.isEmpty() ? QRect() : first.united(last);
}

class MemoAtScaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memo.resize(400, 300);
    memo.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
    for (int i = 0; i < kLines; ++i) text += "    \"line\": " + std::to_string(i) + ",\r\n";
    text += "the last line";
    memo.SetUtf8Text(text);
    memo.setFocus();
  }
  static constexpr int kLines = 100'000;
  TMemo memo;
  std::string text;
};

TEST_F(MemoAtScaleTest, FirstAndLastLinesAreReachableAndDrawn) {
  const std::size_t last = memo.LineCount() - 1;
  ASSERT_EQ(last, static_cast<std::size_t>(kLines));
  ASSERT_TRUE(DrawnIn(memo, LineRect(memo, 0)));

  struct Way {
    const char* name;
    std::function<void()> toEnd, toStart;
  };
  QScrollBar& bar = *memo.verticalScrollBar();
  const Way ways[] = {
      {"Ctrl+End and Ctrl+Home", [&] { QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier); },
       [&] { QTest::keyClick(&memo, Qt::Key_Home, Qt::ControlModifier); }},
      {"the scroll bar's ends", [&] { bar.triggerAction(QAbstractSlider::SliderToMaximum); },
       [&] { bar.triggerAction(QAbstractSlider::SliderToMinimum); }},
      {"dragging the scroll bar's handle",
       [&] {
         QStyleOptionSlider option;
         option.initFrom(&bar);
         option.orientation = Qt::Vertical;
         option.minimum = bar.minimum();
         option.maximum = bar.maximum();
         option.sliderPosition = option.sliderValue = bar.value();
         option.pageStep = bar.pageStep();
         const QRect handle = bar.style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                          QStyle::SC_ScrollBarSlider, &bar);
         QTest::mousePress(&bar, Qt::LeftButton, {}, handle.center());
         QTest::mouseMove(&bar, QPoint(handle.center().x(), bar.height() / 2));
         QTest::mouseMove(&bar, QPoint(handle.center().x(), bar.height() + 50));
         QTest::mouseRelease(&bar, Qt::LeftButton, {},
                             QPoint(handle.center().x(), bar.height() + 50));
       },
       [&] { bar.setValue(0); }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    way.toEnd();
    QApplication::processEvents();
    // The caret's line at the bottom edge may leave the margin below the
    // last line to one more step, as in a plain-text widget.
    EXPECT_GE(bar.value(), bar.maximum() - 1);
    EXPECT_GT(memo.FirstVisibleLine(), last - 30);
    const QRect lastLine = LineRect(memo, last);
    ASSERT_FALSE(lastLine.isEmpty());
    EXPECT_LE(lastLine.bottom(), memo.viewport()->height());
    EXPECT_TRUE(DrawnIn(memo, lastLine));
    way.toStart();
    EXPECT_EQ(memo.FirstVisibleLine(), 0u);
    EXPECT_TRUE(DrawnIn(memo, LineRect(memo, 0)));
  }
}

TEST_F(MemoAtScaleTest, PagesAndLinesMoveTheCaretAndTheView) {
  const auto caretLine = [this] { return memo.Content().LineOf(memo.CaretPosition()); };
  const auto caretInView = [this] { return !memo.CharacterRect(memo.CaretPosition()).isEmpty(); };
  QTest::keyClick(&memo, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(&memo, Qt::Key_PageDown);
  const std::size_t page = caretLine();  // about a screen of lines
  EXPECT_GT(page, 10u);
  EXPECT_GT(memo.FirstVisibleLine(), page - 3);
  EXPECT_TRUE(caretInView());
  QTest::keyClick(&memo, Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_NEAR(static_cast<double>(caretLine()), 2.0 * page, 1);
  EXPECT_EQ(memo.Content().LineOf(memo.AnchorPosition()), page);
  EXPECT_TRUE(caretInView());
  QTest::keyClick(&memo, Qt::Key_PageUp);
  EXPECT_NEAR(static_cast<double>(caretLine()), 1.0 * page, 1);
  EXPECT_FALSE(memo.HasSelection());
  const std::size_t before = caretLine();
  QTest::keyClick(&memo, Qt::Key_Down);
  EXPECT_EQ(caretLine(), before + 1);
  QTest::keyClick(&memo, Qt::Key_PageUp);
  QTest::keyClick(&memo, Qt::Key_PageUp);
  QTest::keyClick(&memo, Qt::Key_PageUp);
  EXPECT_EQ(memo.CaretPosition(), 0u);  // the first line once the top is in view
  EXPECT_EQ(memo.FirstVisibleLine(), 0u);

  QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(memo.CaretPosition(), text.size());
  EXPECT_TRUE(caretInView());
  QTest::keyClick(&memo, Qt::Key_Down);  // nowhere further
  QTest::keyClick(&memo, Qt::Key_PageDown);
  EXPECT_EQ(memo.CaretPosition(), text.size());
  QTest::keyClick(&memo, Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(memo.SelectedText(), "the last line");
}

TEST_F(MemoAtScaleTest, DraggingASelectionPastTheBottomKeepsScrolling) {
  QWidget* viewport = memo.viewport();
  const QPoint below(30, viewport->height() + 20);
  QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(30, 8));
  QTest::mouseMove(viewport, below);
  const std::size_t first = memo.FirstVisibleLine();
  EXPECT_GT(first, 0u);
  QTest::qWait(300);  // the mouse stays there: the view goes on
  EXPECT_GT(memo.FirstVisibleLine(), first);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, below);
  const std::size_t released = memo.FirstVisibleLine();
  QTest::qWait(150);
  EXPECT_EQ(memo.FirstVisibleLine(), released);  // and stops with the button
  EXPECT_LT(memo.AnchorPosition(), 8u);
  EXPECT_GT(memo.Content().LineOf(memo.CaretPosition()), released);
  EXPECT_FALSE(memo.CharacterRect(memo.CaretPosition()).isEmpty());
}

TEST_F(MemoAtScaleTest, SelectAllAndTheContextMenu) {
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(20, 20),
                            memo.viewport()->mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(memo.viewport(), &request);
  auto* menu = memo.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  auto* copy = menu->findChild<QAction*>("edit-copy");
  auto* selectAll = menu->findChild<QAction*>("select-all");
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(selectAll, nullptr);
  EXPECT_TRUE(copy->text().startsWith("&Copy"));
  EXPECT_TRUE(selectAll->text().startsWith("Select All"));
  EXPECT_FALSE(copy->isEnabled());  // nothing selected yet
  EXPECT_TRUE(selectAll->isEnabled());
  menu->hide();

  selectAll->trigger();
  EXPECT_EQ(memo.AnchorPosition(), 0u);
  EXPECT_EQ(memo.CaretPosition(), text.size());
  EXPECT_EQ(memo.FirstVisibleLine(), 0u);  // selecting all leaves the view alone
  QApplication::sendEvent(memo.viewport(), &request);
  EXPECT_TRUE(copy->isEnabled());
  menu->hide();
  QApplication::clipboard()->clear();
  copy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), ShownText(QString::fromStdString(text)));

  memo.SetText("");
  QApplication::sendEvent(memo.viewport(), &request);
  EXPECT_FALSE(selectAll->isEnabled());
  menu->hide();
}

TEST_F(MemoAtScaleTest, AShortTextReplacesALongOneAtOnce) {
  QTest::keyClick(&memo, Qt::Key_End, Qt::ControlModifier);
  memo.SetText("404/Not Found - gone");
  EXPECT_EQ(memo.LineCount(), 1u);
  EXPECT_EQ(memo.FirstVisibleLine(), 0u);
  EXPECT_EQ(memo.verticalScrollBar()->maximum(), 0);
  EXPECT_TRUE(DrawnIn(memo, LineRect(memo, 0)));
}

TEST(MemoAccessibility, AScreenReaderReadsTheTextTheCaretAndTheSelection) {
  TMemo memo;
  memo.resize(400, 200);
  memo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
  const std::string text = "first line\r\nsecond \xC8\x99 line\rthird words here\nlast";
  memo.SetUtf8Text(text);

  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&memo);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::EditableText);
  EXPECT_TRUE(accessible->state().readOnly);
  EXPECT_TRUE(accessible->state().multiLine);
  EXPECT_TRUE(accessible->state().selectableText);
  EXPECT_FALSE(accessible->state().editable);
  const QString shown = ShownText(QString::fromStdString(text));
  EXPECT_EQ(accessible->text(QAccessible::Value), shown);

  QAccessibleTextInterface* reader = accessible->textInterface();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->characterCount(), shown.size());
  EXPECT_EQ(reader->text(0, reader->characterCount()), shown);
  EXPECT_EQ(reader->text(6, 13), "line\nse");

  // The caret and the selection, in shown offsets (one per line break).
  const int third = static_cast<int>(shown.indexOf("third"));
  memo.SetCaretPosition(text.find("third"));
  EXPECT_EQ(reader->cursorPosition(), third);
  reader->setCursorPosition(third + 6);
  EXPECT_EQ(memo.CaretPosition(), text.find("words"));
  reader->setSelection(0, third, third + 5);
  EXPECT_EQ(memo.SelectedText(), "third");
  int from = 0, to = 0;
  EXPECT_EQ(reader->selectionCount(), 1);
  reader->selection(0, &from, &to);
  EXPECT_EQ(from, third);
  EXPECT_EQ(to, third + 5);
  reader->removeSelection(0);
  EXPECT_EQ(reader->selectionCount(), 0);

  // Lines, words and characters around an offset.
  EXPECT_EQ(reader->textAtOffset(third + 7, QAccessible::LineBoundary, &from, &to),
            "third words here");
  EXPECT_EQ(from, third);
  EXPECT_EQ(reader->textAtOffset(third + 7, QAccessible::WordBoundary, &from, &to), "words");
  EXPECT_EQ(reader->textBeforeOffset(third + 7, QAccessible::LineBoundary, &from, &to),
            QString::fromUtf8("second \xC8\x99 line"));
  EXPECT_EQ(reader->textAfterOffset(third + 7, QAccessible::LineBoundary, &from, &to), "last");
  EXPECT_EQ(reader->textAtOffset(1, QAccessible::CharBoundary, &from, &to), "i");
  EXPECT_EQ(reader->textAtOffset(0, QAccessible::NoBoundary, &from, &to), shown);

  // Where a character is on screen, and back.
  const QRect rect = reader->characterRect(third + 7);
  ASSERT_FALSE(rect.isEmpty());
  EXPECT_TRUE(memo.viewport()
                  ->rect()
                  .translated(memo.viewport()->mapToGlobal(QPoint(0, 0)))
                  .contains(rect.center()));
  EXPECT_EQ(reader->offsetAtPoint(rect.center() - QPoint(rect.width() / 4, 0)), third + 7);
}

}  // namespace
}  // namespace kestrava
