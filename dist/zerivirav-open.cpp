// zerivirav-open [FOLDER]: starts zerivirav in FOLDER, or in the home folder
// without one. The desktop entry runs it for "Open With" on a folder; the
// folder's name reaches chdir() as the very bytes it came as, with no shell
// in between, whatever blanks, quotes or other bytes it holds.
//
// Started from a file manager or the menu, its error output reaches no one,
// so a failure is shown in the program's own error box as well, where there
// is a display: the user learns why nothing opened, right where they asked,
// and is not put in a folder they did not choose.

#include "ui/error_report.h"
#include "ui/look.h"

#include <QApplication>

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr char kUsage[] = "Usage: zerivirav-open [FOLDER | --help | --version]\n"
                          "\n"
                          "Starts zerivirav in FOLDER, or in the home folder without one: the menu\n"
                          "entry and \"Open With\" on a folder in a file manager use it. A folder whose\n"
                          "name could be taken for an option is given as ./--help, or after \"--\".\n";

[[noreturn]] void fail(char *programName, ui::ErrorNumber number, const std::string &message)
{
    std::fprintf(stderr, "zerivirav-open: %s\n", message.c_str());
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) {
        int qtArgc = 1;
        char *qtArgv[] = {programName, nullptr};
        QApplication app(qtArgc, qtArgv);
        ui::setUpApplication(app);
        ui::MessageBoxReport().report(number, QString::fromLocal8Bit(message));
    }
    std::exit(1);
}

std::string quoted(const char *name)
{
    return '"' + std::string(name) + '"';
}

} // namespace

int main(int argc, char *argv[])
{
    static char fallbackName[] = "zerivirav-open";
    char *programName = argc > 0 && argv[0] ? argv[0] : fallbackName;
    int first = 1;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        if (arg == "--help" || arg == "--version") {
            std::fputs(arg == "--help" ? kUsage : "zerivirav-open " ZV_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        if (arg == "--")
            first = 2;
    }

    const char *folder = argc > first ? argv[first] : std::getenv("HOME");
    if (argc > first && !*folder)
        fail(programName, ui::ErrorNumber::PathNotFound,
             "It was given an empty folder name. Give the folder to open, or none for the home folder.");
    if (!folder || !*folder) {
        const passwd *user = getpwuid(getuid());
        folder = user ? user->pw_dir : "/";
    }
    if (chdir(folder) != 0)
        fail(programName, ui::ErrorNumber::PathNotFound,
             "Cannot open the folder " + quoted(folder) + ": " + std::strerror(errno));
    // zerivirav is installed beside this program.
    std::string program(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", program.data(), program.size());
    if (length <= 0 || std::size_t(length) >= program.size())
        fail(programName, ui::ErrorNumber::FileNotFound,
             std::string("Cannot find the folder zerivirav-open was started from: ") + std::strerror(errno));
    program.resize(std::size_t(length));
    program.replace(program.rfind('/') + 1, std::string::npos, "zerivirav");
    char *const args[] = {program.data(), nullptr};
    execv(program.c_str(), args);
    fail(programName, ui::ErrorNumber::FileNotFound, "Cannot start " + program + ": " + std::strerror(errno));
}
