#include "windows/look.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

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

} // namespace

QFont dialogFont()
{
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(10);
    return font;
}

void applyLook(QApplication &app)
{
    app.setStyle(new FixedLayoutStyle);
    app.setFont(dialogFont());
}

} // namespace ui
