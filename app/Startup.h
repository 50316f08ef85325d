#pragma once

#include <functional>

namespace kestrava {

class TForm2;
class TKestravaApplication;

// What a program built on the window adds to the start-up.
struct TStartupHooks {
  // Runs once the application object exists, before the window is created.
  std::function<void(TKestravaApplication&)> applicationCreated;
  // Runs from the event loop once the window shows.
  std::function<void(TKestravaApplication&, TForm2&)> windowShown;
};

// The program's start-up: fills the regional formats and applies their
// overrides, creates the application object and the one window Form2, shows
// it and runs the event loop until the window closes. Qt is given the
// program name only: the window reads nothing from the command line.
// Returns 0; without a display, 1 after one line on standard error
// (app/NoDisplay.h).
int RunApplication(char* programName, const TStartupHooks& hooks = {});

}  // namespace kestrava
