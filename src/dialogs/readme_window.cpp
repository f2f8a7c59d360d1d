#include "dialogs/readme_window.h"

#include "ui/data_file.h"
#include "ui/error_report.h"
#include "ui/look.h"
#include "ui/picture_button.h"
#include "dialogs/readme_text.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QShortcut>

#include <memory>

namespace windows {

using namespace ui;

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

    RichTextBox1 = place(new QPlainTextEdit(this), QStringLiteral("RichTextBox1"), twipsToPixels(0, 0, 5775, 4455));
    RichTextBox1->setAccessibleName(QStringLiteral("Readme"));
    RichTextBox1->setReadOnly(true);
    RichTextBox1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    RichTextBox1->setUndoRedoEnabled(false);
    RichTextBox1->setFont(readmeFont());
    Command1 = place(new PictureButton(QStringLiteral("Ok"), this), QStringLiteral("Command1"),
                     twipsToPixels(2280, 4680, 1215, 375));

    setTabOrder(Command1, RichTextBox1);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    // Escape dismisses the window as its Ok button does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &Form2::Command1_Click);
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
    auto read = readDataFile(u"zerivirav.txt", kLargestReadme);
    if (const auto *failure = std::get_if<DataFileFailure>(&read)) {
        errors.report(failure->number, failure->description);
        return false;
    }
    RichTextBox1->setPlainText(readmeDisplayText(std::get<DataFile>(read).bytes));
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

} // namespace windows
