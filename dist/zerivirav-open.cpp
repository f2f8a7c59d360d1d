// zerivirav-open [FOLDER]: starts zerivirav in FOLDER. The desktop entry runs
// it for "Open With" on a folder; the folder's name reaches chdir() as the
// very bytes it came as, with no shell in between, whatever blanks, quotes or
// other bytes it holds. Without a folder (the menu entry, which starts
// programs in the home folder, where no ROMs lie) it asks for one, and the
// folder chosen goes the same way.
//
// Started from a file manager or the menu, its error output reaches no one,
// so a failure is shown in the program's own error box as well, where there
// is a display: the user learns why nothing opened, right where they asked,
// and is not put in a folder they did not choose.

#include "ui/error_report.h"
#include "ui/look.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QSettings>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr char kUsage[] = "Usage: zerivirav-open [FOLDER | --help | --version]\n"
                          "\n"
                          "Starts zerivirav in FOLDER. Without one it asks for the ROM folder in a\n"
                          "folder dialog, and starts nothing when the dialog is cancelled. The menu\n"
                          "entry and \"Open With\" on a folder in a file manager use it. A folder whose\n"
                          "name could be taken for an option is given as ./--help, or after \"--\".\n";

bool hasDisplay()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"})
        if (const char *value = std::getenv(name); value && *value)
            return true;
    return false;
}

[[noreturn]] void fail(char *programName, ui::ErrorNumber number, const std::string &message)
{
    std::fprintf(stderr, "zerivirav-open: %s\n", message.c_str());
    if (hasDisplay()) {
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

std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    const passwd *user = getpwuid(getuid());
    return user ? user->pw_dir : "/";
}

// Qt reads file names as UTF-8 and shows other bytes as U+FFFD, so a folder
// named so cannot be opened by the name its dialog gives. It is found again
// by its bytes: each part of the path as named, or else the one entry of its
// parent that Qt names the same way.
std::optional<std::string> folderBytes(const QString &path)
{
    std::string found;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        std::string next = found + '/' + QFile::encodeName(part).toStdString();
        struct stat info;
        if (lstat(next.c_str(), &info) != 0) {
            DIR *parent = opendir(found.empty() ? "/" : found.c_str());
            if (!parent)
                return std::nullopt;
            int matches = 0;
            while (const dirent *entry = readdir(parent)) {
                if (QFile::decodeName(entry->d_name) == part) {
                    next = found + '/' + entry->d_name;
                    ++matches;
                }
            }
            closedir(parent);
            if (matches != 1)
                return std::nullopt;
        }
        found = std::move(next);
    }
    struct stat info;
    if (found.empty())
        found = "/";
    return stat(found.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? std::optional(found) : std::nullopt;
}

// What QFileDialog::getExistingDirectory shows (the desktop's own dialog
// where it has one), taking the folder chosen by its bytes.
class FolderDialog final : public QFileDialog
{
public:
    FolderDialog()
        : QFileDialog(nullptr, QStringLiteral("Select rom folder"), QFile::decodeName(homeFolder().c_str()))
    {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly);
    }

    std::string chosen;

    void accept() override
    {
        const QStringList picked = selectedFiles();
        if (const auto folder = picked.isEmpty() ? std::nullopt : folderBytes(picked.first())) {
            chosen = *folder;
            QDialog::accept();
        } else {
            QFileDialog::accept(); // Qt's own answer: no such folder
        }
    }
};

// The folder the user chooses; nothing when they cancel.
std::optional<std::string> askForFolder(char *programName)
{
    // Qt's dialog keeps its last folder, history and side bar in the user's
    // settings. This program remembers nothing: the settings are looked for
    // under a path that is no folder, so none is read and none can be written.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    int qtArgc = 1;
    char *qtArgv[] = {programName, nullptr};
    QApplication app(qtArgc, qtArgv);
    FolderDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    if (dialog.chosen.empty()) // accepted other than through accept() above
        return QFile::encodeName(dialog.selectedFiles().value(0)).toStdString();
    return dialog.chosen;
}

[[noreturn]] void startIn(char *programName, const char *folder)
{
    if (!*folder)
        fail(programName, ui::ErrorNumber::PathNotFound,
             "It was given an empty folder name. Give the folder to open, or none to choose one.");
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
    if (argc > first)
        startIn(programName, argv[first]);

    // A dialog that cannot show would leave the user waiting on nothing.
    if (!hasDisplay()) {
        std::fputs("zerivirav-open: it needs the folder to open, as in \"zerivirav-open FOLDER\": without a\n"
                   "display (neither DISPLAY nor WAYLAND_DISPLAY is set) it cannot ask for one.\n",
                   stderr);
        return 2;
    }
    // The dialog and its application are gone before zerivirav takes the process over.
    const std::optional<std::string> folder = askForFolder(programName);
    if (!folder)
        return 0;
    startIn(programName, folder->c_str());
}
