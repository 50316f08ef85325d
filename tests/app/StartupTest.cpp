// The program's start-up, in a process of its own (it makes the one
// application object): the regional formats are filled from the system and
// overridden before anything else, the window is created and shown with the
// id selected in the focused edID, and the program ends with 0 once the
// window has closed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QSize>
#include <QtGlobal>
#include <algorithm>

#include "app/Application.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "datetime/FormatSettings.h"

namespace kestrava {
namespace {

TEST(Startup, FormatsComeFirstThenTheWindowAndTheProgramEndsWithZero) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Nonsense that only a fill from the system replaces.
  FormatSettings = TFormatSettings{"#", "#", "#", "#", "#", "#", "#"};
  const TFormatSettings system = ReadSystemFormatSettings();

  TFormatSettings atApplication;
  int windowsAtApplication = -1;
  bool shown = false;
  bool focusInId = false;
  QString desktopFileName;
  QList<QSize> iconSizes;
  QString selectedAtShow;
  TStartupHooks hooks;
  hooks.applicationCreated = [&](TKestravaApplication&) {
    atApplication = FormatSettings;
    windowsAtApplication = static_cast<int>(QApplication::topLevelWidgets().size());
  };
  hooks.windowShown = [&](TKestravaApplication&, TForm2& form) {
    shown = form.isVisible() && form.windowTitle() == "Form2";
    focusInId = form.focusWidget() == &form.edID;
    desktopFileName = QGuiApplication::desktopFileName();
    iconSizes = form.windowIcon().availableSizes();
    std::sort(iconSizes.begin(), iconSizes.end(),
              [](QSize a, QSize b) { return a.width() < b.width(); });
    selectedAtShow = form.edID.selectedText();
    form.close();
  };
  char name[] = "kestrava";
  EXPECT_EQ(RunApplication(name, hooks), 0);

  EXPECT_EQ(windowsAtApplication, 0);
  EXPECT_EQ(atApplication.DateSeparator, ".");
  EXPECT_EQ(atApplication.ShortDateFormat, "dd/mm/yyyy");
  EXPECT_EQ(atApplication.ShortTimeFormat, "hh:nn:ss");
  EXPECT_EQ(atApplication.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(atApplication.ThousandSeparator, ".");
  EXPECT_EQ(atApplication.DecimalSeparator, ",");
  EXPECT_EQ(atApplication.TimeSeparator, system.TimeSeparator);  // the system's, not overridden
  EXPECT_TRUE(shown);
  EXPECT_TRUE(focusInId);
  // Taskbars find the menu entry and its icon; with no icon theme (offscreen)
  // the window shows the icon built into the program, at every size.
  EXPECT_EQ(desktopFileName, KESTRAVA_APPLICATION_ID);
  EXPECT_EQ(iconSizes, (QList<QSize>{{48, 48}, {64, 64}, {128, 128}, {256, 256}}));
  EXPECT_EQ(selectedAtShow.toStdString(), "K27315TQB");  // typing replaces the design-time id
}

}  // namespace
}  // namespace kestrava
