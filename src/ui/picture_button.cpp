#include "ui/picture_button.h"

#include "ui/button_face.h"

#include <QKeyEvent>
#include <QPixmap>

namespace ui {

PictureButton::PictureButton(const QString &words, QWidget *parent)
    : QPushButton(parent), m_words(words)
{
    // Drawn when the program was built, for the program's own words.
    QImage face = builtButtonFace(words);
    if (face.isNull())
        face = drawButtonFace(words);
    setIcon(QIcon(QPixmap::fromImage(face)));
    setIconSize(kButtonFaceSize);
    setAccessibleName(words);
    setAutoDefault(false);
    setDefault(false);
}

void PictureButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace ui
