#include "windows/form2.h"

#include "windows/error_report.h"
#include "windows/look.h"
#include "windows/path_lookup.h"
#include "windows/picture_button.h"
#include "windows/readme_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>

#include <memory>

namespace ui {

namespace {

QFont readmeFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.5);
    return font;
}

} // namespace

Form2::Form2()
    : QWidget(nullptr, kFixedWindowFlags)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Readme"));
    setAttribute(Qt::WA_DeleteOnClose);
    // A top-level geometry places the client area, not the frame.
    setGeometry(QRect(QPoint(1620 / kTwipsPerPixel, 990 / kTwipsPerPixel),
                      QSize(5775 / kTwipsPerPixel, 5220 / kTwipsPerPixel)));
    setFixedSize(size());

    RichTextBox1 = new QPlainTextEdit(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setAccessibleName(QStringLiteral("Readme"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RichTextBox1->setUndoRedoEnabled(false);
    RichTextBox1->setFont(readmeFont());
    RichTextBox1->setGeometry(twipsToPixels(0, 0, 5775, 4455));

    Command1 = new PictureButton(QStringLiteral("Ok"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsToPixels(2280, 4680, 1215, 375));

    setTabOrder(Command1, RichTextBox1);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
}

Form2 *Form2::create(ErrorReport &errors)
{
    std::unique_ptr<Form2> window(new Form2);
    if (!window->Form_Load(errors))
        return nullptr;
    return window.release();
}

bool Form2::Form_Load(ErrorReport &errors)
{
    const QString path = resolveRelativePath(u"zerivirav.txt");
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists()) {
        errors.report(ErrorNumber::FileNotFound, QStringLiteral("File not found: %1").arg(shown));
        return false;
    }
    // Opening a FIFO or device would block or never end.
    if (!info.isFile()) {
        errors.report(ErrorNumber::PathFileAccess,
                      QStringLiteral("Cannot read %1: it is not a regular file").arg(shown));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errors.report(info.isReadable() ? ErrorNumber::PathFileAccess : ErrorNumber::PermissionDenied,
                      QStringLiteral("Cannot open %1: %2").arg(shown, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        errors.report(ErrorNumber::PathFileAccess,
                      QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString()));
        return false;
    }

    RichTextBox1->setPlainText(readmeDisplayText(bytes));
    RichTextBox1->moveCursor(QTextCursor::Start);
    return true;
}

void Form2::Command1_Click()
{
    hide();
}

void Form2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Command1->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace ui
