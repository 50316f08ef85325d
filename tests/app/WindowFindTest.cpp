// Find in the window: Ctrl+F opens a bar under Memo1 that searches as the
// operator types, steps through the matches both ways and round, marks
// them on screen and counts them without holding up typing.

#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <string>

#include "tests/app/WindowFixture.h"

namespace kestrava::testing {
namespace {

class WindowFindTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // A large text: every line a record, a few of them special.
    for (int i = 0; i < kLines; ++i) {
      text += "    \"line\": " + std::to_string(i) + ",";
      if (i % 50'000 == 7) text += " \"Needle\": \"Ștefan\",";
      text += "\r\n";
    }
    text += "]";
    form->Memo1.SetUtf8Text(text);
    form->Memo1.setFocus();
  }

  TFindBar* Bar() { return form->findChild<TFindBar*>(); }
  void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  // Lets the count run to its end.
  void CountAll() {
    for (int i = 0; i < 10'000 && Bar()->Counting(); ++i) QApplication::processEvents();
    ASSERT_FALSE(Bar()->Counting());
  }
  std::string Selected() const {
    return text.substr(form->Memo1.SelectionStart(),
                       form->Memo1.SelectionEnd() - form->Memo1.SelectionStart());
  }
  std::size_t Nth(const std::string& needle, int n) const {
    std::size_t at = text.find(needle);
    while (n-- > 0) at = text.find(needle, at + 1);
    return at;
  }

  static constexpr int kLines = 300'000;
  std::string text;
};

TEST_F(WindowFindTest, CtrlFOpensTheBarUnderTheTextAreaAndEscapeClosesIt) {
  EXPECT_EQ(Bar(), nullptr);  // nothing of it at rest
  const QRect memo = form->Memo1.geometry();
  form->edID.setFocus();
  Press(Qt::Key_F, Qt::ControlModifier);
  ASSERT_NE(Bar(), nullptr);
  ASSERT_TRUE(Bar()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), &Bar()->SearchBox());
  const QRect bar = Bar()->geometry();
  EXPECT_EQ(form->Memo1.geometry().top(), memo.top());
  EXPECT_EQ(form->Memo1.geometry().bottom() + 1, bar.top());
  EXPECT_EQ(bar.bottom(), memo.bottom());
  EXPECT_EQ(bar.width(), memo.width());

  Press(Qt::Key_Escape);
  EXPECT_FALSE(Bar()->isVisible());
  EXPECT_EQ(form->Memo1.geometry(), memo);
  EXPECT_EQ(QApplication::focusWidget(), &form->edID);  // where it was
}

TEST_F(WindowFindTest, TypingFindsNextAndPreviousGoRoundAndTheCountFollows) {
  const std::size_t start = Nth("\"line\": 100000,", 0);
  form->Memo1.SetCaretPosition(start);
  Press(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(&Bar()->SearchBox(), "needle");
  // From where the bar opened: the first match after the caret.
  EXPECT_EQ(form->Memo1.SelectionStart(), Nth("Needle", 2));
  EXPECT_EQ(Selected(), "Needle");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "3 of 6");

  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int match;  // which, from 0
  };
  const Step steps[] = {
      {Qt::Key_Return, Qt::NoModifier, 3},    {Qt::Key_F3, Qt::NoModifier, 4},
      {Qt::Key_Enter, Qt::NoModifier, 5},     {Qt::Key_Return, Qt::NoModifier, 0},  // round
      {Qt::Key_Return, Qt::ShiftModifier, 5},                                       // and back
      {Qt::Key_F3, Qt::ShiftModifier, 4},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.match);
    Press(step.key, step.modifiers);
    EXPECT_EQ(form->Memo1.SelectionStart(), Nth("Needle", step.match));
    EXPECT_EQ(Bar()->CountText(), QString::number(step.match + 1) + " of 6");
    EXPECT_FALSE(form->Memo1.CharacterRect(form->Memo1.CaretPosition()).isEmpty());
  }
  // F3 goes on with the focus in the text area too.
  form->Memo1.setFocus();
  Press(Qt::Key_F3);
  EXPECT_EQ(form->Memo1.SelectionStart(), Nth("Needle", 5));
}

TEST_F(WindowFindTest, CaseCountsOnlyWhenTheSearchHoldsACapital) {
  Press(Qt::Key_F, Qt::ControlModifier);
  struct Case {
    const char* typed;
    const char* count;
  };
  const Case cases[] = {
      {"needle", "1 of 6"},        {"Needle", "1 of 6"},
      {"NEEDLE", "0 of 0"},        {"\xC8\x99tefan", "1 of 6"},  // ș finds Ș
      {"\xC8\x98tefan", "1 of 6"}, {"LINE", "0 of 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Bar()->SearchBox().clear();
    form->Memo1.SetCaretPosition(0);
    Bar()->SearchBox().insert(QString::fromUtf8(c.typed));  // as an input method types
    CountAll();
    EXPECT_EQ(Bar()->CountText(), c.count);
  }
}

TEST_F(WindowFindTest, TheCountGoesOnWhileTypingAndMatchesAreMarkedOnScreen) {
  Press(Qt::Key_F, Qt::ControlModifier);
  // Every line matches: the first is selected at once, the count of all
  // of them is made after the key.
  QTest::keyClicks(&Bar()->SearchBox(), "line");
  EXPECT_EQ(form->Memo1.SelectionStart(), Nth("line", 0));
  EXPECT_TRUE(Bar()->Counting());
  EXPECT_TRUE(Bar()->CountText().endsWith(QChar(0x2026))) << Bar()->CountText().toStdString();
  QTest::keyClicks(&Bar()->SearchBox(), "\"");  // typing goes on meanwhile
  EXPECT_EQ(Bar()->SearchBox().text(), "line\"");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "1 of " + QString::number(kLines));

  // The second match on screen is marked; the first is the selection.
  const QImage image = form->Memo1.viewport()->grab().toImage();
  const QRect second = form->Memo1.CharacterRect(Nth("line\"", 1) + 1);
  ASSERT_FALSE(second.isEmpty());
  bool marked = false;
  for (int y = second.top(); y <= second.bottom() && !marked; ++y)
    for (int x = second.left(); x <= second.right() && !marked; ++x)
      marked = image.pixel(x, y) == qRgb(255, 214, 0);
  EXPECT_TRUE(marked);

  // Closed: nothing marked any more.
  Press(Qt::Key_Escape);
  const QImage after = form->Memo1.viewport()->grab().toImage();
  bool still = false;
  for (int y = second.top(); y <= second.bottom(); ++y)
    for (int x = second.left(); x <= second.right(); ++x)
      still = still || after.pixel(x, y) == qRgb(255, 214, 0);
  EXPECT_FALSE(still);
}

TEST_F(WindowFindTest, TypingOnAfterNothingWasFoundAndBackAgain) {
  Press(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(&Bar()->SearchBox(), "needlex");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "0 of 0");
  EXPECT_FALSE(form->Memo1.HasSelection());
  QTest::keyClicks(&Bar()->SearchBox(), "y");
  EXPECT_EQ(Bar()->CountText(), "0 of 0");
  QTest::keyClick(&Bar()->SearchBox(), Qt::Key_Backspace);
  QTest::keyClick(&Bar()->SearchBox(), Qt::Key_Backspace);
  EXPECT_EQ(Selected(), "Needle");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "1 of 6");
  // A capital makes a search that matches less: still nothing.
  QTest::keyClicks(&Bar()->SearchBox(), "X");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "0 of 0");
}

TEST_F(WindowFindTest, ANewTextIsSearchedAgain) {
  Press(Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(&Bar()->SearchBox(), "needle");
  CountAll();
  form->Memo1.SetText("one needle\r\ntwo needles");
  CountAll();
  EXPECT_EQ(Bar()->CountText(), "0 of 2");
  Press(Qt::Key_Return);
  EXPECT_EQ(form->Memo1.SelectionStart(), 4u);
  EXPECT_EQ(Bar()->CountText(), "1 of 2");
}

}  // namespace
}  // namespace kestrava::testing
