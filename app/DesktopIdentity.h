#pragma once

class QIcon;

namespace kestrava {

// Ties the application's windows to the installed desktop entry: its desktop
// file name (the application id) and the window icon, the theme's icon of
// that name or, where the theme has none, the icon built into the program.
// Taskbars and window lists then show the menu entry's icon.
void ApplyDesktopIdentity();

// The icon built into the program, at every size it is rendered in.
QIcon BundledIcon();

}  // namespace kestrava
