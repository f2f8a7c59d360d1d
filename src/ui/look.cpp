#include "ui/look.h"

#include "ui/data_file.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QWidget>

namespace ui {

namespace {

// Fusion, with check box indicators small enough for rows 13 pixels high.
class FixedLayoutStyle final : public QProxyStyle {
public:
    FixedLayoutStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
            return 11;
        case PM_CheckBoxLabelSpacing:
            return 4;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

// Plain widgets would meet screen readers as anonymous panes; exposed as
// windows they are announced by their title.
QAccessibleInterface *plainWindowAccessible(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget && widget->isWindow() && className == QLatin1String("QWidget"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

} // namespace

QFont dialogFont()
{
    QFont font(QStringLiteral("Nimbus Sans Narrow"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    // Hinted as Debian's fontconfig hints it by default, whatever the system's
    // own default: the captions' widths are part of the layout.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

void setUpApplication(QApplication &app)
{
    // The layout is measured with one font. Where the system has none of
    // its own (Windows), the copy that comes with the program serves.
    const QDir fonts(installedDataFolder() + QLatin1String("/fonts"));
    for (const QString &name : fonts.entryList({QStringLiteral("*.pfa"), QStringLiteral("*.otf"), QStringLiteral("*.ttf")},
                                               QDir::Files))
        QFontDatabase::addApplicationFont(fonts.filePath(name));
    app.setStyle(new FixedLayoutStyle);
    // The style's own colours rather than the desktop's, as with the font:
    // the same window on every system.
    app.setPalette(app.style()->standardPalette());
    app.setFont(dialogFont());
    QAccessible::installFactory(plainWindowAccessible);
}

} // namespace ui
