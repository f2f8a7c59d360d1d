// zerivirav: a front end that starts the quex emulator on a chosen ROM.

#include "app/zerivirav.h"
#include "launch/task.h"
#include "windows/error_report.h"
#include "windows/look.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    launch::prepareProcess();
    QApplication app(argc, argv);
    ui::setUpApplication(app);

    ui::MessageBoxReport errors;
    Zerivirav window(errors);
    if (!window.loaded())
        return 1; // the start-up picture failure has been reported
    window.show();
    return app.exec();
}
