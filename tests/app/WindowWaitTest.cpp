// The window while it waits on the service: input is dropped, Escape and
// closing the window break the wait off, and a progress bar shows the
// pages of a transaction export. Each wait is made long by the scripted
// server; what happens "during" it is done by a timer, which the window's
// repaints deliver.

#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/app/WindowFixture.h"
#include "tests/cli/Process.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

// A reply that never comes within a test: the wait must be broken off.
Reply Never() {
  return Reply().Pause(60s).Send(JsonReply(200, "OK", PageBody(1, {99})));
}

class WindowWaitTest : public WindowTest {
 protected:
  // Runs `what` once the window has waited this long in the handler that
  // `button` starts.
  void During(std::chrono::milliseconds after, std::function<void()> what) {
    QTimer::singleShot(after, form.get(), std::move(what));
  }
  static void PressEscape() {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target != nullptr ? target : QApplication::activeWindow(), Qt::Key_Escape);
  }
  // Highlight-coloured pixels in a rectangle of the text area's view.
  int HighlightIn(const QRect& rect) {
    const QImage image = form->Memo1.viewport()->grab().toImage();
    const QRgb highlight = form->Memo1.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x)
        if (image.rect().contains(x, y) && image.pixel(x, y) == highlight) ++count;
    return count;
  }
};

// A click on "Login" and text typed into the id while a read waits do
// nothing, then or when the read is over; the mouse shows the wait cursor.
TEST_F(WindowWaitTest, InputDuringAReadIsDroppedNotReplayed) {
  Login(TokenReply("tok-1"));
  const TKestrava_2* client = form->SA.get();
  server->Enqueue(Reply().Pause(1500ms).Send(JsonReply(200, "OK", PageBody(1, {7}))));
  std::string lines;
  for (int i = 0; i < 500; ++i) lines += "line " + std::to_string(i) + "\r\n";
  form->Memo1.SetUtf8Text(lines);
  Qt::CursorShape cursor = Qt::ArrowCursor;
  std::size_t topBefore = 1, topAfter = 0;
  During(150ms, [&] {
    QWidget& view = *form->Memo1.viewport();
    topBefore = form->Memo1.FirstVisibleLine();
    QWheelEvent wheel(QPointF(20, 20), view.mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -360),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    topAfter = form->Memo1.FirstVisibleLine();
    cursor = QApplication::overrideCursor() != nullptr ? QApplication::overrideCursor()->shape()
                                                       : Qt::ArrowCursor;
    QTest::mouseClick(&form->btn1, Qt::LeftButton);
    QTest::keyClicks(&form->edID, "typed");
    // The same as queued input: it comes to the window on a later pass.
    QCoreApplication::postEvent(&form->edID,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z"));
    QCoreApplication::postEvent(
        &form->btn1, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        &form->btn1, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5),
                                     Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  });
  Click(form->BTranz);
  QTest::qWait(100);

  EXPECT_EQ(cursor, Qt::WaitCursor);
  EXPECT_EQ(topAfter, topBefore);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(form->edID.text(), "K27315TQB");
  EXPECT_EQ(server->Requests().size(), 2u);  // no second sign-in
  EXPECT_EQ(form->SA.get(), client);
  EXPECT_EQ(form->Memo1.Text(),
            "[\r\n    {\r\n        \"id\": 7,\r\n        \"amount\": 12.50\r\n    }\r\n]");
  EXPECT_TRUE(presenter.shown.empty());

  // Once the read is over, input acts again.
  QTest::keyClicks(&form->edID, "x");
  EXPECT_EQ(form->edID.text(), "K27315TQBx");
}

// Escape breaks a read off, wherever it waits: the read fails with the
// cancel text, the buttons stay as they were, and the next read goes as
// usual.
TEST_F(WindowWaitTest, EscapeCancelsAReadWithItsOwnText) {
  struct Case {
    const char* name;
    bool transactions;
    std::vector<Reply> replies;
    std::chrono::milliseconds escapeAfter;
    std::size_t requests;  // the sign-in's included
  };
  const Case cases[] = {
      {"accounts, waiting for the reply", false, {Never()}, 150ms, 2},
      {"transactions, waiting for the second page",
       true,
       {Reply(JsonReply(200, "OK", PageBody(3, {1}))), Never()},
       150ms,
       3},
      // Escape at once: the first page, which comes at once, ends the
      // export; no second page is asked for.
      {"transactions, between two pages",
       true,
       {Reply(JsonReply(200, "OK", PageBody(3, {1}))),
        Reply(JsonReply(200, "OK", PageBody(3, {2})))},
       0ms,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Login(TokenReply("tok-1"));
    form->Memo1.SetText("earlier");
    for (const Reply& reply : c.replies) server->Enqueue(reply);
    During(c.escapeAfter, &PressEscape);
    Click(c.transactions ? form->BTranz : form->BAccounts);
    EXPECT_EQ(form->Memo1.Text(), TForm2::kCancelledText);
    EXPECT_EQ(server->Requests().size(), c.requests);
    EXPECT_TRUE(form->BAccounts.isEnabled());
    EXPECT_TRUE(form->BTranz.isEnabled());
    EXPECT_TRUE(presenter.shown.empty());
    EXPECT_FALSE(form->Memo1.ShowsProgress());

    server->Enqueue(Reply(JsonReply(200, "OK", PageBody(1, {5}))));
    Click(form->BTranz);
    EXPECT_TRUE(form->Memo1.Text().startsWith("[\r\n")) << form->Memo1.Text().toStdString();
    TearDown();
  }
}

TEST_F(WindowWaitTest, EscapeCancelsASignInWithItsOwnTextInTheMessageBox) {
  server->Enqueue(Never());
  During(150ms, &PressEscape);
  Click(form->btn1);
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, TForm2::kCancelledText);
  EXPECT_EQ(presenter.shown[0].icon, TMessageBoxIcon::None);
  EXPECT_FALSE(form->BAccounts.isEnabled());
  EXPECT_FALSE(form->BTranz.isEnabled());
  EXPECT_EQ(form->Memo1.Text(), "");
  // Escape outside a wait is nothing.
  PressEscape();
  Login(TokenReply("tok-2"));
  EXPECT_EQ(form->Memo1.Text(), "tok-2\r\n");
}

// Closing the window breaks the wait off at once; the window closes when
// the handler has returned, and nothing is shown in a message box.
TEST_F(WindowWaitTest, ClosingTheWindowDuringAWaitEndsItAtOnce) {
  struct Case {
    const char* name;
    std::vector<Reply> replies;
    QPushButton TForm2::*button;
    std::size_t requests;
  };
  const Case cases[] = {
      {"a sign-in", {Never()}, &TForm2::btn1, 1},
      {"a transaction export",
       {Reply(TokenReply("tok-1")), Reply(JsonReply(200, "OK", PageBody(3, {1}))), Never()},
       &TForm2::BTranz,
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (const Reply& reply : c.replies) server->Enqueue(reply);
    if (c.button != &TForm2::btn1) {
      Click(form->btn1);
      ASSERT_TRUE(form->BTranz.isEnabled());
    }
    During(150ms, [this] { form->close(); });
    Click((*form).*c.button);
    EXPECT_TRUE(form->isVisible());  // until the handler has returned
    EXPECT_EQ(server->Requests().size(), c.requests);
    EXPECT_TRUE(presenter.shown.empty());
    QTest::qWait(50);
    EXPECT_FALSE(form->isVisible());
    TearDown();
  }
}

TEST(WindowClose, ClosingTheWindowDuringAReadEndsTheProgramAtOnceWithExitCodeZero) {
  TrustTestCa();
  ScriptedServer server;
  server.Enqueue(Reply(TokenReply("tok-1")));
  server.Enqueue(Never());
  // Far less than the reply's pause: only the close can have ended it.
  const ProcessResult result =
      RunProcess({KESTRAVA_WINDOW_CLOSE_CHILD, server.HostPort()}, {}, "", 30s);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, std::string("read ended: ") + TForm2::kCancelledText + "\n");
  EXPECT_EQ(result.err.find("message box"), std::string::npos) << result.err;
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The bar fills with the pages read of the pages announced while the
// export runs, and is gone with the result; it is never part of the text.
TEST_F(WindowWaitTest, AProgressBarShowsThePagesReadAndGoesWithTheResult) {
  Login(TokenReply("tok-1"));
  form->Memo1.SetText("earlier");
  const QRect bar = form->Memo1.ProgressRect();
  ASSERT_EQ(bar.bottom(), form->Memo1.viewport()->height() - 1);
  EXPECT_EQ(HighlightIn(bar), 0);  // none at rest

  for (int page = 0; page < 2; ++page)
    server->Enqueue(Reply(JsonReply(200, "OK", PageBody(4, {page}))));
  server->Enqueue(Reply().Pause(1500ms).Send(JsonReply(200, "OK", PageBody(4, {2}))));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(4, {3}))));
  int filledDuring = -1;
  bool shownDuring = false;
  QString textDuring;
  During(400ms, [&] {
    shownDuring = form->Memo1.ShowsProgress();
    filledDuring = HighlightIn(bar);
    textDuring = form->Memo1.Text();
  });
  Click(form->BTranz);

  EXPECT_TRUE(shownDuring);
  // Two pages of four: half the width, on each of its rows.
  EXPECT_NEAR(filledDuring, bar.height() * bar.width() / 2, bar.height() * 2);
  EXPECT_EQ(textDuring, "earlier");
  EXPECT_FALSE(form->Memo1.ShowsProgress());
  EXPECT_EQ(HighlightIn(bar), 0);
  EXPECT_TRUE(form->Memo1.Text().startsWith("[\r\n"));
  EXPECT_EQ(server->Requests().size(), 5u);
}

}  // namespace
}  // namespace kestrava::testing
