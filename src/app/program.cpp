#include "app/program.h"

#include "app/rom_list.h"
#include "app/zerivirav.h"
#include "launch/task.h"
#include "platform/console.h"
#include "ui/data_file.h"
#include "ui/error_report.h"
#include "ui/look.h"

#include <QApplication>
#include <QDir>

#include <optional>
#include <string_view>

namespace {

QByteArray usage()
{
    return "Usage: zerivirav [--help | --version]\n"
           "\n"
           "A front end for the Atari 2600 emulator quex. It lists the ROM images (*.bin)\n"
           "of the folder it is started in and shows what its game catalogue knows about\n"
           "the one selected. Run writes the launch script Quex.bat into that folder and\n"
           "starts it, which starts quex.exe on the ROM with the options ticked.\n"
           "\n"
           "It works in the current folder and takes no other arguments. There it reads\n"
           "the ROM images, quex.exe (else found on PATH) and its data files: the pictures\n"
           "graphics/atari.gif, graphics/zerivirav.jpg and graphics/*.bmp, and the readme\n"
           "zerivirav.txt, in any letter case. A data file the folder lacks is taken from\n"
           "the defaults installed in\n  "
        + QDir::toNativeSeparators(ui::installedDataFolder()).toUtf8() + "\n";
}

// --help and --version are answered at once: no folder is read for them,
// which might be a hung network folder. Nothing when neither is asked for.
std::optional<int> answerQuestion(int argc, char *argv[], char *qtArgv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (platform::asksForHelp(arg)) {
            int qtArgc = 1;
            const QCoreApplication core(qtArgc, qtArgv); // for the executable's folder
            return platform::writeAnswer(usage().toStdString(), "zerivirav") ? 0 : 1;
        }
        if (arg == "--version")
            return platform::writeAnswer("zerivirav " ZV_VERSION "\n", "zerivirav") ? 0 : 1;
    }
    return std::nullopt;
}

} // namespace

namespace app {

int run(int argc, char *argv[])
{
    // The program takes no command line: Qt's own options (-reverse,
    // -stylesheet, -qwindowgeometry, ...) would change the fixed window.
    // Only --help and --version are answered.
    static char fallbackName[] = "zerivirav";
    int qtArgc = 1;
    char *qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    if (const auto answered = answerQuestion(argc, argv, qtArgv))
        return *answered;

    // Then, first of all: the ROM folder is read while the toolkit starts,
    // the two start-up pictures while the window is made, once the
    // application object exists. The window takes both before it shows;
    // nothing else runs beside it.
    Zerivirav::ReadAhead readAhead{RomNames::readCurrentFolderAsync(), {}};
    launch::ignoreFileSizeSignal();
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

} // namespace app
