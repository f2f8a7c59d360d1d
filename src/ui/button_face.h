#pragma once
// The face of a picture button: a 75 x 25 bitmap of pink words on light grey.

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

namespace ui {

inline constexpr QSize kButtonFaceSize(75, 25);

// The font the words are drawn in.
QFont buttonFaceFont();

// Draws the face of `words`; needs the fonts of a QGuiApplication.
QImage drawButtonFace(const QString &words);

// The face of `words` as drawn when the program was built, for the words of
// the program's own buttons; a null image for any other words.
QImage builtButtonFace(const QString &words);

} // namespace ui
