#include "ui/button_face.h"

#include <QColor>
#include <QPainter>

namespace ui {

QFont buttonFaceFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    return font;
}

QImage drawButtonFace(const QString &words)
{
    QImage face(kButtonFaceSize, QImage::Format_RGB32);
    face.fill(QColor(178, 178, 178));
    QPainter painter(&face);
    painter.setFont(buttonFaceFont());
    painter.setPen(QColor(255, 0, 204));
    painter.drawText(face.rect(), Qt::AlignCenter, words);
    return face;
}

} // namespace ui
