#include "windows/form2.h"

#include "platform/files.h"
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

// A readme is a page or two of text; a file past this is no readme, and
// loading it would hold the window for a long time.
constexpr qint64 kLargestReadme = 16 * 1024 * 1024;

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
    const QString shown = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    auto read = platform::readWholeFile(QFile::encodeName(path), kLargestReadme);
    if (const auto *failure = std::get_if<platform::FileFailure>(&read)) {
        switch (failure->kind) {
        case platform::FileFailure::NotFound:
            errors.report(ErrorNumber::FileNotFound, QStringLiteral("File not found: %1").arg(shown));
            break;
        case platform::FileFailure::Denied:
            errors.report(ErrorNumber::PermissionDenied, QStringLiteral("Cannot open %1: %2").arg(shown, failure->reason));
            break;
        case platform::FileFailure::TooLarge:
            errors.report(ErrorNumber::PathFileAccess,
                          QStringLiteral("The readme %1 is too large to show: it holds %2 bytes (%3 MiB), and a "
                                         "readme may hold at most %4 MiB.")
                              .arg(shown)
                              .arg(failure->size)
                              .arg(failure->size / (1024 * 1024))
                              .arg(kLargestReadme / (1024 * 1024)));
            break;
        case platform::FileFailure::NotRegular:
        case platform::FileFailure::Other:
            errors.report(ErrorNumber::PathFileAccess, QStringLiteral("Cannot read %1: %2").arg(shown, failure->reason));
            break;
        }
        return false;
    }

    RichTextBox1->setPlainText(readmeDisplayText(std::get<QByteArray>(read)));
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
