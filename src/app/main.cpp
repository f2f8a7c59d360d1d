// zerivirav: a front end that starts the quex emulator on a chosen ROM.

#include "app/rom_list.h"
#include "app/zerivirav.h"
#include "launch/task.h"
#include "ui/error_report.h"
#include "ui/look.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // First of all: the ROM folder is read while the toolkit starts, the two
    // start-up pictures while the window is made, once the application object
    // exists. The window takes both before it shows; nothing else runs beside
    // it.
    Zerivirav::ReadAhead readAhead{RomNames::readCurrentFolderAsync(), {}};
    launch::prepareProcess();

    // The program takes no command line: Qt's own options (-reverse,
    // -stylesheet, -qwindowgeometry, ...) would change the fixed window.
    static char fallbackName[] = "zerivirav";
    int qtArgc = 1;
    char *qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    QApplication app(qtArgc, qtArgv);
    readAhead.readPictures();
    ui::setUpApplication(app);

    ui::MessageBoxReport errors;
    Zerivirav window(errors, std::move(readAhead));
    if (!window.loaded())
        return 1; // the start-up picture failure has been reported
    window.show();
    return app.exec();
}
