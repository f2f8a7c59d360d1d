#include "windows/about.h"

#include "windows/error_report.h"
#include "windows/look.h"
#include "windows/picture.h"
#include "windows/picture_button.h"

#include <QLabel>

#include <memory>

namespace ui {

namespace {

QLabel *notice(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
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

    Cmd1 = new PictureButton(QStringLiteral("Ok"), this);
    Cmd1->setObjectName(QStringLiteral("Cmd1"));
    Cmd1->setGeometry(twipsToPixels(1680, 2520, 1215, 495));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setAccessibleName(QStringLiteral("quex Front End banner"));
    Image1->setGeometry(twipsToPixels(1080, 0, 2535, 735));

    Label1 = notice(QStringLiteral("Label1"),
                    QStringLiteral("This front end is its author's own work, in no way "
                                   "affiliated with Atari or with the author of quex."),
                    this);
    Label1->setGeometry(twipsToPixels(120, 720, 4455, 495));

    Label2 = notice(QStringLiteral("Label2"),
                    QStringLiteral("The quex emulator is the work of its author; it is a derived "
                                   "work with many contributors."),
                    this);
    Label2->setGeometry(twipsToPixels(120, 1320, 4455, 495));

    connect(Cmd1, &QPushButton::clicked, this, &About::Cmd1_Click);
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

} // namespace ui
