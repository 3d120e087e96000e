#pragma once
// One dark look for every window of the program: the Home window, its
// questions and dialogs, the alerts, Help and the file chooser. Qt's own
// Fusion style draws everything from the palette, so scroll bars, menus and
// dialogs come out dark as well, whatever the desktop's theme is.
#include <QPalette>

class QApplication;

namespace tavlo::hub {

// The dark palette the Home window and its dialogs are drawn with.
QPalette hubPalette();
// The Fusion style and the dark palette for the whole program, before any
// window is made.
void applyHubTheme(QApplication& application);

}  // namespace tavlo::hub
