#include "ui/picture_button.h"

#include <QFont>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>

namespace ui {

namespace {
constexpr QSize kBitmapSize(75, 25);
const QColor kField(178, 178, 178);
const QColor kInk(255, 0, 204);
} // namespace

PictureButton::PictureButton(const QString &words, QWidget *parent)
    : QPushButton(parent), m_words(words)
{
    setIcon(QIcon(drawBitmap(words)));
    setIconSize(kBitmapSize);
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

QPixmap PictureButton::drawBitmap(const QString &words)
{
    QPixmap bitmap(kBitmapSize);
    bitmap.fill(kField);
    QPainter painter(&bitmap);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(kInk);
    painter.drawText(bitmap.rect(), Qt::AlignCenter, words);
    return bitmap;
}

} // namespace ui
