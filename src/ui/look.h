#pragma once
// The look every window of the program is laid out for: fixed rectangles made
// for a small dialog font, so the font and the control style are chosen here
// once rather than left to the desktop theme.

#include <QFont>
#include <QRect>

class QApplication;

namespace ui {

// The windows are laid out in twips: 15 to the pixel at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

constexpr QRect twipsToPixels(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// A control named and placed as its window's layout says.
template <typename Widget>
Widget *place(Widget *widget, const QString &name, const QRect &rect)
{
    widget->setObjectName(name);
    widget->setGeometry(rect);
    return widget;
}

// Every window of the program: fixed size, a close box, no minimize or
// maximize button.
inline constexpr Qt::WindowFlags kFixedWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
    | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

// A narrow sans at 11 px: as tall as the classic 8-point dialog font, and
// narrow enough that every caption, and every catalogue text, fits its
// rectangle.
QFont dialogFont();

// Sets the program's style and font on the application, and has its plain
// top-level windows (About, Readme) announced to screen readers as windows.
void setUpApplication(QApplication &app);

} // namespace ui
