#pragma once

// Where the window has no display to show on, the program says so in one
// line on standard error and ends with exit code 1, instead of Qt's abort.
//
// There is none when no platform is asked for (QT_QPA_PLATFORM) and neither
// DISPLAY nor WAYLAND_DISPLAY names a display; and when the platform plugin
// fails to start (a DISPLAY that cannot be reached, a platform asked for
// that has no display). Qt's own messages about that failure are held back.

#include <string>

namespace kestrava {

// "PROGRAM: no display: set DISPLAY or WAYLAND_DISPLAY, or use
// QT_QPA_PLATFORM=offscreen", PROGRAM the last part of `programName`.
std::string NoDisplayLine(const char* programName);

// Whether the environment names a display or a platform to try.
bool DisplayNamed();

// While it exists, a platform plugin that fails to start prints
// NoDisplayLine and ends the process with exit code 1 (it never returns
// from Qt's fatal message); Qt's platform messages are held back and passed
// on when it ends. One at a time, around the making of the application
// object.
class TPlatformStartWatch {
 public:
  explicit TPlatformStartWatch(const char* programName);
  ~TPlatformStartWatch();
  TPlatformStartWatch(const TPlatformStartWatch&) = delete;
  TPlatformStartWatch& operator=(const TPlatformStartWatch&) = delete;
};

}  // namespace kestrava
