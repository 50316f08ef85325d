#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QTest>
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

// An exception escaping a handler is shown in an error message box by the
// event loop, and the handler's widget goes on working.
TEST_F(ApplicationTest, ExceptionsEscapingAHandlerAreShownAndTheLoopGoesOn) {
  QPushButton button("go");
  button.resize(80, 25);
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] {
    ++clicks;
    if (clicks == 1) throw EConvertError("first failure");
    if (clicks == 2) throw std::runtime_error("second failure");
    throw 42;
  });
  for (int i = 0; i < 3; ++i) QTest::mouseClick(&button, Qt::LeftButton);
  ASSERT_EQ(presenter.shown.size(), 3u);
  EXPECT_EQ(presenter.shown[0].text, "first failure");
  EXPECT_EQ(presenter.shown[1].text, "second failure");
  EXPECT_EQ(presenter.shown[2].text, "Unknown failure");
  for (const auto& box : presenter.shown) {
    EXPECT_EQ(box.icon, TMessageBoxIcon::Error);
    EXPECT_EQ(box.title, "kestrava_app_tests");
  }
  EXPECT_FALSE(button.isDown());
  QTest::keyClick(&button, Qt::Key_Space);  // still usable
  EXPECT_EQ(clicks, 4);
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
