#include "dialogs/about_window.h"

#include "ui/error_report.h"
#include "ui/look.h"
#include "ui/picture.h"
#include "ui/picture_button.h"

#include <QLabel>
#include <QShortcut>

#include <memory>

namespace windows {

using namespace ui;

namespace {

QLabel *notice(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

About::About()
    : QWidget(nullptr, kFixedWindowFlags)
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(4680 / kTwipsPerPixel, 3195 / kTwipsPerPixel);

    Cmd1 = place(new PictureButton(QStringLiteral("Ok"), this), QStringLiteral("Cmd1"),
                 twipsToPixels(1680, 2520, 1215, 495));
    Image1 = place(new QLabel(this), QStringLiteral("Image1"), twipsToPixels(1080, 0, 2535, 735));
    Image1->setScaledContents(true);
    Image1->setAccessibleName(QStringLiteral("quex Front End banner"));
    Label1 = place(notice(QStringLiteral("This front end is its author's own work, in no way "
                                         "affiliated with Atari or with the author of quex."),
                          this),
                   QStringLiteral("Label1"), twipsToPixels(120, 720, 4455, 495));
    Label2 = place(notice(QStringLiteral("The quex emulator is the work of its author; it is a derived "
                                         "work with many contributors."),
                          this),
                   QStringLiteral("Label2"), twipsToPixels(120, 1320, 4455, 495));

    connect(Cmd1, &QPushButton::clicked, this, &About::Cmd1_Click);
    // Escape dismisses the window as its Ok button does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &About::Cmd1_Click);
}

About *About::create(ErrorReport &errors)
{
    std::unique_ptr<About> window(new About);
    if (!window->Form_Load(errors))
        return nullptr;
    return window.release();
}

bool About::Form_Load(ErrorReport &errors)
{
    return showPicture(Image1, u"graphics\\zerivirav.jpg", &errors);
}

void About::Cmd1_Click()
{
    hide();
}

void About::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Cmd1->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace windows
