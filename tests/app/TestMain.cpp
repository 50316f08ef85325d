// The window tests run the real widgets under Qt's offscreen platform, with
// one application object for the whole run, as the program has.

#include <gtest/gtest.h>

#include <QtGlobal>

#include "app/Application.h"
#include "datetime/FormatSettings.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  kestrava::InitializeFormatSettings();
  kestrava::TKestravaApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
