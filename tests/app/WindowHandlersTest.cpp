#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <vector>

#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "tests/app/WindowFixture.h"

namespace kestrava::testing {
namespace {

std::string Accounts(int count) {
  std::string body = R"({"result":[)";
  for (int i = 0; i < count; ++i) {
    if (i > 0) body += ",";
    body += R"({"iban":"RO49AAAA1B31007593840000","name":"Cont )" + std::to_string(i) + R"("})";
  }
  return body + "]}";
}

using SignInTest = WindowTest;

TEST_F(SignInTest, SuccessAppendsTheTokenAndEnablesTheDataButtons) {
  form->edID.setText("my id \"1\"");
  form->edSecret.setText(" s3cret ");
  Login(TokenReply("tok-1"));
  EXPECT_EQ(form->Memo1.Text(), "tok-1\r\n");
  EXPECT_TRUE(form->BAccounts.isEnabled());
  EXPECT_TRUE(form->BTranz.isEnabled());
  EXPECT_TRUE(presenter.shown.empty());
  ASSERT_NE(form->SA, nullptr);
  EXPECT_TRUE(form->SA->LogatLaServer);

  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, kTokenPath);
  EXPECT_EQ(requests[0].Header("Host"), server->HostPort());
  // The edit texts go as typed: no trimming.
  EXPECT_EQ(requests[0].body, R"({"grant_type":"client_credentials","client_id":"my id \"1\"",)"
                              R"("client_secret":" s3cret "})");
}

TEST_F(SignInTest, FailureShowsTheErrorTextInTheMessageBoxAndLeavesMemoAlone) {
  form->Memo1.SetText("earlier");
  Login(JsonReply(401, "Unauthorized", R"({"error":"invalid_client"})"));
  ASSERT_EQ(presenter.shown.size(), 1u);
  const TMessageBoxRequest& box = presenter.shown[0];
  EXPECT_EQ(box.text, "StatusCode: 401 - Unauthorized\r{\"error\":\"invalid_client\"}");
  EXPECT_EQ(box.title, "kestrava_app_tests");
  EXPECT_EQ(box.icon, TMessageBoxIcon::None);
  EXPECT_EQ(box.window, form.get());
  EXPECT_EQ(form->Memo1.Text(), "earlier");
  EXPECT_FALSE(form->BAccounts.isEnabled());
  EXPECT_FALSE(form->BTranz.isEnabled());
  ASSERT_NE(form->SA, nullptr);
  EXPECT_FALSE(form->SA->LogatLaServer);
}

TEST_F(SignInTest, AReplyThatIsNotAnObjectShowsAnEmptyMessage) {
  Login(JsonReply(200, "OK", "[]"));
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "");
  EXPECT_FALSE(form->BTranz.isEnabled());
}

TEST_F(SignInTest, TwoSignInsInARowLeaveTwoLinesWithANewClient) {
  Login(TokenReply("tok-1"));
  const TKestrava_2* first = form->SA.get();
  ASSERT_NE(first, nullptr);
  Login(TokenReply("tok-2"));
  EXPECT_EQ(form->Memo1.Text(), "tok-1\r\ntok-2\r\n");
  EXPECT_EQ(form->Memo1.ShownString(0, form->Memo1.Utf8Text().size()), "tok-1\ntok-2\n");
  EXPECT_EQ(form->SA->Token, "tok-2");
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(SignInTest, AFailedSignInAfterASuccessfulOneDisablesTheDataButtons) {
  Login(TokenReply("tok-1"));
  Login(JsonReply(200, "OK", R"({"status":"401 Unauthorized","message":"bad secret"})"));
  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "Status = 401 Unauthorized bad secret");
  EXPECT_EQ(form->Memo1.Text(), "tok-1\r\n");
  EXPECT_FALSE(form->BAccounts.isEnabled());
  EXPECT_FALSE(form->BTranz.isEnabled());
}

TEST_F(SignInTest, TestEnvironmentSignsInAtTheTestHost) {
  form->GMediu.Item(1).click();
  ASSERT_EQ(form->GMediu.ItemIndex(), 1);
  Login(TokenReply("tok-test"));
  EXPECT_EQ(form->Memo1.Text(), "tok-test\r\n");
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Header("Host"), "api.test." + server->HostPort());
  EXPECT_EQ(form->SA->URLTipMediu(), "api.test.");
}

using ReadTest = WindowTest;

TEST_F(ReadTest, AccountsShowAsDisplayTextAndATokenFollowsOnANewLine) {
  Login(TokenReply("tok-1"));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"id":"A-1","note":"x/y"}]})")));
  Click(form->BAccounts);
  const QString display =
      "[\r\n    {\r\n        \"id\": \"A-1\",\r\n        \"note\": \"x\\/y\"\r\n"
      "    }\r\n]";
  EXPECT_EQ(form->Memo1.Text(), display);
  const auto requests = server->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, kAccountsPath);
  EXPECT_EQ(requests[1].Header("Authorization"), "Bearer tok-1");

  // The display text ends without a line break: the token goes on the next
  // line, with no line break after it.
  Login(TokenReply("tok-2"));
  EXPECT_EQ(form->Memo1.Text(), display + "\r\ntok-2");
  EXPECT_EQ(form->Memo1.ShownString(0, form->Memo1.Utf8Text().size()),
            ShownText(display) + "\ntok-2");
}

TEST_F(ReadTest, TransactionsOfEveryPageShowAsOneArray) {
  Login(TokenReply("tok-1"));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(2, {1, 2}))));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(2, {3}))));
  Click(form->BTranz);
  EXPECT_EQ(form->Memo1.Text(),
            "[\r\n    {\r\n        \"id\": 1,\r\n        \"amount\": 12.50\r\n    },\r\n"
            "    {\r\n        \"id\": 2,\r\n        \"amount\": 12.50\r\n    },\r\n"
            "    {\r\n        \"id\": 3,\r\n        \"amount\": 12.50\r\n    }\r\n]");
  ASSERT_EQ(server->Requests().size(), 3u);
  EXPECT_NE(Target(1).find("&pageNumber=0&pageSize=50"), std::string::npos);
  EXPECT_NE(Target(2).find("&pageNumber=1&pageSize=50"), std::string::npos);
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(ReadTest, AFailedReadShowsTheErrorTextAndKeepsTheButtonsEnabled) {
  struct Case {
    const char* name;
    std::vector<std::string> replies;
    bool transactions;
    const char* text;
  };
  const Case cases[] = {
      {"accounts refused",
       {JsonReply(401, "Unauthorized", "{\"e\":1}")},
       false,
       "401/Unauthorized - {\"e\":1}"},
      {"accounts not an object", {JsonReply(200, "OK", "[1]")}, false, "StatusCode: 200 - OK"},
      {"accounts server error",
       {JsonReply(503, "Service Unavailable", "down")},
       false,
       "HTTP/1.1 503 Service Unavailable\rdown"},
      // A later page that fails is never shown as a complete export.
      {"second page refused",
       {JsonReply(200, "OK", PageBody(2, {1})), JsonReply(404, "Not Found", "gone")},
       true,
       "404/Not Found - gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Login(TokenReply("tok-1"));
    for (const std::string& reply : c.replies) server->Enqueue(Reply(reply));
    Click(c.transactions ? form->BTranz : form->BAccounts);
    EXPECT_EQ(form->Memo1.Text(), c.text);
    EXPECT_TRUE(form->BAccounts.isEnabled());
    EXPECT_TRUE(form->BTranz.isEnabled());
    EXPECT_TRUE(presenter.shown.empty());
    TearDown();
  }
}

TEST_F(ReadTest, TheRangeSentIsThePickedDayAtThePickedTime) {
  Login(TokenReply("tok-1"));
  // Whole values first (as at creation), then the operator's edits: the
  // date pickers' own times of day never reach the request, the time
  // pickers' seconds and milliseconds do.
  form->XDStart.SetDateTime(EncodeDateTime(2025, 3, 1, 23, 1, 2, 3));
  form->XTStart.SetDateTime(EncodeDateTime(2025, 5, 14, 8, 30, 5, 7));
  form->XDEnd.SetDateTime(EncodeDateTime(2025, 5, 14, 11, 11, 11, 111));
  form->XTEnd.SetDateTime(EncodeDateTime(2025, 5, 14, 9, 0, 42, 123));
  form->XDEnd.Editor().setDate(QDate(2025, 3, 3));
  form->XTEnd.Editor().setTime(QTime(7, 15));

  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(1, {}))));
  Click(form->BTranz);
  ASSERT_EQ(server->Requests().size(), 2u);
  EXPECT_EQ(Target(1), std::string(kTransactionsPath) +
                           "?startDate=2025-03-01T08:30:05.007Z&endDate=2025-03-03T07:15:42.123Z"
                           "&pageNumber=0&pageSize=50");
  EXPECT_EQ(form->Memo1.Text(), "[\r\n]");
  // The pickers still show their dates; the date pickers now hold the times.
  EXPECT_EQ(form->XDEnd.Editor().text(), "03.03.2025");
  EXPECT_EQ(DateTimeToMilliseconds(form->XDEnd.DateTime()),
            DateTimeToMilliseconds(EncodeDateTime(2025, 3, 3, 7, 15, 42, 123)));
}

TEST_F(ReadTest, TheEndDoesNotFollowTheClock) {
  Login(TokenReply("tok-1"));
  const TDateTime end = form->XTEnd.DateTime();
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(1, {}))));
  QTest::qWait(20);
  Click(form->BTranz);
  const std::string expected = "&endDate=" + FormatDateTime("yyyy-mm-dd", end, FormatSettings) +
                               "T" + FormatDateTime("hh:nn:ss.zzz", end, FormatSettings) + "Z&";
  EXPECT_NE(Target(1).find(expected), std::string::npos) << Target(1);
}

TEST_F(ReadTest, AnUnchangedResultLeavesCaretAndScrollAlone) {
  Login(TokenReply("tok-1"));
  server->Enqueue(Reply(JsonReply(200, "OK", Accounts(200))));
  Click(form->BAccounts);
  const QString first = form->Memo1.Text();
  ASSERT_TRUE(first.startsWith("[\r\n"));

  form->Memo1.SetCaretPosition(500);
  QScrollBar& scroll = *form->Memo1.verticalScrollBar();
  scroll.setValue(scroll.maximum() / 3);
  const int position = scroll.value();
  ASSERT_GT(position, 0);

  server->Enqueue(Reply(JsonReply(200, "OK", Accounts(200))));
  Click(form->BAccounts);
  ASSERT_EQ(server->Requests().size(), 3u);
  EXPECT_EQ(form->Memo1.Text(), first);
  EXPECT_EQ(form->Memo1.CaretPosition(), 500u);
  EXPECT_EQ(scroll.value(), position);
}

TEST_F(ReadTest, AZeroDateIsRefusedByTheEventLoopAndNothingIsSent) {
  Login(TokenReply("tok-1"));
  form->Memo1.SetText("kept");
  form->XDStart.SetDateTime(EncodeDateTime(1899, 12, 30, 14, 0, 0, 0));
  form->XTStart.SetDateTime(EncodeDateTime(1899, 12, 31, 0, 0, 0, 0));
  Click(form->BTranz);

  ASSERT_EQ(presenter.shown.size(), 1u);
  EXPECT_EQ(presenter.shown[0].text, "You must be in ShowCheckbox mode to set to this date");
  EXPECT_EQ(presenter.shown[0].icon, TMessageBoxIcon::Error);
  EXPECT_EQ(presenter.shown[0].title, "kestrava_app_tests");
  EXPECT_EQ(server->Requests().size(), 1u);
  EXPECT_EQ(form->Memo1.Text(), "kept");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // The window stays usable.
  form->XTStart.Editor().setTime(QTime(6, 0));
  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(1, {7}))));
  Click(form->BTranz);
  EXPECT_EQ(server->Requests().size(), 2u);
  EXPECT_NE(Target(1).find("startDate=1899-12-30T06:00:00.000Z"), std::string::npos) << Target(1);
  EXPECT_TRUE(form->Memo1.Text().startsWith("[\r\n"));
}

// Counts the paints of a widget and notes how many requests the server had
// received by the first one.
class TPaintWatch final : public QObject {
 public:
  TPaintWatch(QWidget& widget, const ScriptedServer& server) : server_(server) {
    widget.installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && requestsAtFirstPaint < 0) {
      requestsAtFirstPaint = static_cast<int>(server_.Requests().size());
    }
    return false;
  }
  int requestsAtFirstPaint = -1;

 private:
  const ScriptedServer& server_;
};

TEST_F(ReadTest, TheWindowRepaintsBetweenThePagesOfALongExport) {
  Login(TokenReply("tok-1"));
  constexpr int kPages = 5;
  for (int page = 0; page < kPages; ++page) {
    server->Enqueue(Reply()
                        .Pause(std::chrono::milliseconds(80))
                        .Send(JsonReply(200, "OK", PageBody(kPages, {page}))));
  }
  QTest::qWait(20);  // nothing left to paint from before
  TPaintWatch watch(*form->Memo1.viewport(), *server);
  // Something asks for a repaint while the export runs (as an expose does).
  QTimer::singleShot(30, form.get(), [this] { form->Memo1.viewport()->update(); });
  Click(form->BTranz);
  ASSERT_EQ(server->Requests().size(), 1u + kPages);
  EXPECT_GT(watch.requestsAtFirstPaint, 1);
  EXPECT_LT(watch.requestsAtFirstPaint, 1 + kPages);
  EXPECT_TRUE(form->Memo1.Text().startsWith("[\r\n"));
}

// Paints the window gets while the sign-in that "Login" makes is still
// waiting for its reply (the client object not yet made).
class TSignInPaints final : public QObject {
 public:
  explicit TSignInPaints(TForm2& form) : form_(form) {
    form.Memo1.viewport()->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && form_.SA == nullptr) times.push_back(Clock::now());
    return false;
  }
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> times;

 private:
  TForm2& form_;
};

TEST_F(SignInTest, TheWindowRepaintsWhileASlowSignInWaitsAtMostEveryFiftyMilliseconds) {
  server->Enqueue(Reply().Pause(std::chrono::milliseconds(600)).Send(TokenReply("tok-slow")));
  QTest::qWait(20);  // nothing left to paint from before
  TSignInPaints paints(*form);
  // Something asks for repaints all the time meanwhile (as a window moved
  // over this one does).
  QTimer asker;
  QObject::connect(&asker, &QTimer::timeout, form.get(),
                   [this] { form->Memo1.viewport()->update(); });
  asker.start(5);
  Click(form->btn1);
  asker.stop();
  EXPECT_EQ(form->Memo1.Text(), "tok-slow\r\n");
  ASSERT_GE(paints.times.size(), 2u);
  for (std::size_t i = 1; i < paints.times.size(); ++i)
    EXPECT_GE(paints.times[i] - paints.times[i - 1], std::chrono::milliseconds(50)) << i;
}

TEST_F(SignInTest, TheFirstShowSelectsTheDesignTimeIdSoTypingReplacesIt) {
  EXPECT_EQ(form->edID.selectedText(), "K27315TQB");
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  ASSERT_EQ(QApplication::focusWidget(), &form->edID);
  QTest::keyClicks(&form->edID, "my-id");
  EXPECT_EQ(form->edID.text(), "my-id");
  // Later shows leave the edit box as it is.
  form->hide();
  form->show();
  EXPECT_FALSE(form->edID.hasSelectedText());
}

// Enter on a focused button presses it, as Space does; no button is the
// window's default, so Enter anywhere else does nothing.
TEST_F(SignInTest, EnterPressesTheFocusedButtonAndNothingElse) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  const auto requests = [this] { return server->Requests().size(); };
  const auto press = [](QWidget& widget, Qt::Key key, Qt::KeyboardModifiers modifiers,
                        bool autoRepeat = false) {
    widget.setFocus();
    QKeyEvent down(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, QString(), autoRepeat);
    QApplication::sendEvent(&widget, &up);
  };

  press(form->edID, Qt::Key_Return, Qt::NoModifier);
  press(form->edSecret, Qt::Key_Enter, Qt::KeypadModifier);
  press(form->btn1, Qt::Key_Return, Qt::ControlModifier);
  press(form->btn1, Qt::Key_Return, Qt::NoModifier, true);  // a held key's repeats
  EXPECT_EQ(requests(), 0u);

  server->Enqueue(Reply(TokenReply("tok-enter")));
  press(form->btn1, Qt::Key_Return, Qt::NoModifier);
  EXPECT_EQ(requests(), 1u);
  EXPECT_EQ(form->Memo1.Text(), "tok-enter\r\n");

  server->Enqueue(Reply(JsonReply(200, "OK", Accounts(1))));
  press(form->BAccounts, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(requests(), 2u);
  EXPECT_TRUE(form->Memo1.Text().startsWith("[\r\n"));

  server->Enqueue(Reply(JsonReply(200, "OK", PageBody(1, {5}))));
  press(form->BTranz, Qt::Key_Space, Qt::NoModifier);
  EXPECT_EQ(requests(), 3u);
  EXPECT_EQ(form->Memo1.Text(),
            "[\r\n    {\r\n        \"id\": 5,\r\n        \"amount\": 12.50\r\n    }\r\n]");
  for (QPushButton* button : {&form->btn1, &form->BAccounts, &form->BTranz})
    EXPECT_FALSE(button->isDefault() || button->autoDefault());
}

TEST_F(ReadTest, AFailedReadAfterALargeResultReplacesItAtOnce) {
  Login(TokenReply("tok-1"));
  server->Enqueue(Reply(JsonReply(200, "OK", Accounts(20'000))));
  Click(form->BAccounts);
  ASSERT_GT(form->Memo1.LineCount(), 80'000u);
  form->Memo1.setFocus();
  QTest::keyClick(&form->Memo1, Qt::Key_End, Qt::ControlModifier);
  ASSERT_GT(form->Memo1.FirstVisibleLine(), 0u);

  server->Enqueue(Reply(JsonReply(503, "Service Unavailable", "down")));
  Click(form->BAccounts);
  EXPECT_EQ(form->Memo1.Text(), "HTTP/1.1 503 Service Unavailable\rdown");
  EXPECT_EQ(form->Memo1.LineCount(), 2u);
  EXPECT_EQ(form->Memo1.FirstVisibleLine(), 0u);
  EXPECT_EQ(form->Memo1.CaretPosition(), 0u);
  EXPECT_EQ(form->Memo1.verticalScrollBar()->maximum(), 0);
}

}  // namespace
}  // namespace kestrava::testing
