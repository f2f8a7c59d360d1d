#pragma once
// The look every window of the program is laid out for: fixed rectangles made
// for a small dialog font, so the font and the control style are chosen here
// once rather than left to the desktop theme.

#include <QFont>

class QApplication;

namespace ui {

// A condensed sans at 10 px keeps every caption inside its rectangle.
QFont dialogFont();

// Sets the program's style and font on the application, and has its plain
// top-level windows (About, Readme) announced to screen readers as windows.
void setUpApplication(QApplication &app);

} // namespace ui
