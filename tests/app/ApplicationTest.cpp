#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QEvent>
#include <QFile>
#include <stdexcept>

#include "app/Application.h"
#include "base/Exception.h"
#include "datetime/FormatSettings.h"
#include "tests/app/RecordingPresenter.h"

namespace kestrava {
namespace {

TKestravaApplication& App() {
  return *static_cast<TKestravaApplication*>(qApp);
}

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { App().SetMessageBoxPresenter(&presenter); }
  void TearDown() override { App().SetMessageBoxPresenter(nullptr); }
  testing::TRecordingPresenter presenter;
};

// Throws from its event handler: the n-th event it gets throws the n-th
// failure kind.
class TThrowingReceiver final : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    ++events;
    if (events == 1) throw EConvertError("first failure");
    if (events == 2) throw std::runtime_error("second failure");
    if (events == 3) throw 42;
    return true;
  }
  int events = 0;
};

// An exception escaping an event handler is shown in an error message box by
// the event loop, and the loop goes on delivering events.
TEST_F(ApplicationTest, ExceptionsEscapingAHandlerAreShownAndTheLoopGoesOn) {
  TThrowingReceiver receiver;
  for (int i = 0; i < 4; ++i) {
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &event) && i < 3);
  }
  EXPECT_EQ(receiver.events, 4);
  ASSERT_EQ(presenter.shown.size(), 3u);
  EXPECT_EQ(presenter.shown[0].text, "first failure");
  EXPECT_EQ(presenter.shown[1].text, "second failure");
  EXPECT_EQ(presenter.shown[2].text, "Unknown failure");
  for (const auto& box : presenter.shown) {
    EXPECT_EQ(box.icon, TMessageBoxIcon::Error);
    EXPECT_EQ(box.title, "kestrava_app_tests");
  }
}

TEST_F(ApplicationTest, ALocaleChangeRefillsTheFormatsWithoutTheOverrides) {
  InitializeFormatSettings();
  ASSERT_EQ(FormatSettings.DecimalSeparator, ",");
  ASSERT_EQ(FormatSettings.DateSeparator, ".");
  QEvent change(QEvent::LocaleChange);
  QCoreApplication::sendEvent(&App(), &change);
  const TFormatSettings system = ReadSystemFormatSettings();
  EXPECT_EQ(FormatSettings.DecimalSeparator, system.DecimalSeparator);
  EXPECT_EQ(FormatSettings.DateSeparator, system.DateSeparator);
  EXPECT_EQ(FormatSettings.TimeSeparator, system.TimeSeparator);
  EXPECT_EQ(FormatSettings.ShortDateFormat, system.ShortDateFormat);
  InitializeFormatSettings();
}

TEST(DesignFont, TahomaIsAvailableWhereFontsWineIsInstalled) {
  if (!QFile::exists("/usr/share/wine/fonts/tahoma.ttf")) GTEST_SKIP() << "fonts-wine missing";
  EXPECT_TRUE(EnsureDesignFont());
}

}  // namespace
}  // namespace kestrava
