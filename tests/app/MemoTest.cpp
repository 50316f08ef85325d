#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QScrollBar>
#include <QTextCursor>

#include "app/Memo.h"

namespace kestrava {
namespace {

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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMemo memo;
    memo.SetText(c.before);
    memo.LinesAdd(c.line);
    EXPECT_EQ(memo.Text(), c.after);
    EXPECT_EQ(memo.toPlainText(), TMemo::ShownText(c.after));
  }
}

TEST(Memo, EveryLineBreakFormShowsAsOneBreak) {
  EXPECT_EQ(TMemo::ShownText("a\r\nb\rc\nd\r\r\ne"), "a\nb\nc\nd\n\ne");
  EXPECT_EQ(TMemo::ShownText("plain"), "plain");
  TMemo memo;
  memo.SetText("StatusCode: 401 - Unauthorized\r{\"x\":1}");
  EXPECT_EQ(memo.document()->blockCount(), 2);
}

TEST(Memo, ACarriageReturnJoinedByALineFeedIsShownAsOneBreak) {
  TMemo memo;
  memo.SetText("msg\r");
  memo.LinesAdd("\ntoken");  // a token that starts with a line feed
  EXPECT_EQ(memo.Text(), "msg\r\ntoken\r\n");
  EXPECT_EQ(memo.toPlainText(), "msg\ntoken\n");
}

TEST(Memo, IsReadOnlyWithAVerticalScrollBarAndWordWrap) {
  TMemo memo;
  EXPECT_TRUE(memo.isReadOnly());
  EXPECT_EQ(memo.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo.lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_TRUE(memo.tabChangesFocus());
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
  QTextCursor caret = memo.textCursor();
  caret.setPosition(1234);
  memo.setTextCursor(caret);
  memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum() / 2);
  const int scroll = memo.verticalScrollBar()->value();
  ASSERT_GT(scroll, 0);

  memo.SetText(QString(text));  // an equal copy
  EXPECT_EQ(memo.textCursor().position(), 1234);
  EXPECT_EQ(memo.verticalScrollBar()->value(), scroll);

  memo.SetText(ManyLines(500, "other "));
  EXPECT_EQ(memo.textCursor().position(), 0);
  EXPECT_EQ(memo.verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace kestrava
