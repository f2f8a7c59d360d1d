#include "ui/error_report.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ui {

namespace {

const QString kTitle = QStringLiteral("quex Front End");

// The later report: the description and, in a box of its own that keeps its
// lines and scrolls, the failing program's output. Everything is plain text,
// whatever it holds ("<b>" shows as written).
class LaterReport final : public QDialog {
public:
    LaterReport()
    {
        setObjectName(QStringLiteral("LaterReport"));
        setWindowTitle(kTitle);
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        setAttribute(Qt::WA_DeleteOnClose);
        setModal(false);

        auto *icon = new QLabel(this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
        icon->setAlignment(Qt::AlignTop);
        m_description = new QLabel(this);
        m_description->setObjectName(QStringLiteral("description"));
        m_description->setTextFormat(Qt::PlainText);
        m_description->setWordWrap(true);
        m_description->setMinimumWidth(m_description->fontMetrics().averageCharWidth() * 80);
        m_description->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_outputCaption = new QLabel(this);
        m_outputCaption->setTextFormat(Qt::PlainText);
        m_output = new QPlainTextEdit(this);
        m_output->setObjectName(QStringLiteral("output"));
        m_output->setAccessibleName(QStringLiteral("Output"));
        m_output->setReadOnly(true);
        m_output->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPixelSize(12);
        m_output->setFont(fixed);
        m_output->setMinimumSize(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('x')) * 80 + 24,
                                 QFontMetrics(fixed).lineSpacing() * 12 + 12);
        m_outputCaption->setBuddy(m_output);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

        auto *text = new QVBoxLayout;
        text->addWidget(m_description);
        text->addWidget(m_outputCaption);
        text->addWidget(m_output, 1);
        auto *row = new QHBoxLayout;
        row->addWidget(icon);
        row->addLayout(text, 1);
        auto *layout = new QVBoxLayout(this);
        layout->addLayout(row, 1);
        layout->addWidget(buttons);
        buttons->button(QDialogButtonBox::Ok)->setFocus();
    }

    void show(const QString &description, const QString &output)
    {
        m_description->setText(description);
#ifdef Q_OS_WIN
        // There the task writes to the interpreter's console: nothing of it is kept.
        const QString none = QStringLiteral("Its output went to its console window, which closed when it ended.");
#else
        const QString none = QStringLiteral("It wrote nothing to its output.");
#endif
        m_outputCaption->setText(output.isEmpty() ? none : QStringLiteral("The last of its output:"));
        m_output->setPlainText(output);
        m_output->setVisible(!output.isEmpty());
        m_output->moveCursor(QTextCursor::End);
        QDialog::show();
        raise();
        activateWindow();
    }

private:
    QLabel *m_description;
    QLabel *m_outputCaption;
    QPlainTextEdit *m_output;
};

} // namespace

MessageBoxReport::MessageBoxReport() = default;

MessageBoxReport::~MessageBoxReport()
{
    delete m_later.data();
}

void MessageBoxReport::report(ErrorNumber number, const QString &description)
{
    QMessageBox box(QMessageBox::Critical, kTitle,
                    QStringLiteral("Error %1\n\n%2").arg(static_cast<int>(number)).arg(description),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.setTextFormat(Qt::PlainText); // file names may hold "<"
    box.exec();
}

void MessageBoxReport::reportLater(const QString &description, const QString &output)
{
    if (!m_later)
        m_later = new LaterReport;
    static_cast<LaterReport *>(m_later.data())->show(description, output);
}

} // namespace ui
