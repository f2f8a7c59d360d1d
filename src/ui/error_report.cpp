#include "ui/error_report.h"

#include <QApplication>
#include <QMessageBox>

namespace ui {

void MessageBoxReport::report(ErrorNumber number, const QString &description)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("quex Front End"),
                    QStringLiteral("Error %1\n\n%2").arg(static_cast<int>(number)).arg(description),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}

} // namespace ui
