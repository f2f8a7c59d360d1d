#include "launch/program_lookup_posix.h"

#include "launch/script_command_line.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtEndian>

#include <optional>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace launch {

namespace {

bool isIgnoredScriptLine(QByteArray line)
{
    line = line.trimmed().toLower();
    if (line.startsWith('@'))
        line.remove(0, 1);
    return line.isEmpty() || line == "\"" || line == "echo off";
}

// The first line of the script that is a command, or empty.
QByteArray commandLineOf(const QByteArray &script)
{
    for (QByteArray line : script.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isIgnoredScriptLine(line))
            return line;
    }
    return {};
}

// Where the program named on the command line is: a path as written, else a
// regular file of that name in the folder (any letter case), else PATH. A
// folder or a dangling link of that name is no program and hides none on
// PATH. Relative paths throughout: the folder's own name may not survive a
// trip through text (bytes that are not UTF-8).
std::variant<QByteArray, StartFailure> locateProgram(const QByteArray &program)
{
    if (program.contains('/'))
        return program;
    if (const auto entry = platform::findRegularFile(program))
        return "./" + *entry;
    if (const QString onPath = QStandardPaths::findExecutable(QFile::decodeName(program)); !onPath.isEmpty())
        return QFile::encodeName(onPath);
    return StartFailure{QStringLiteral("Cannot start %1: there is no program file of that name in %2, nor on PATH (%3)")
                            .arg(QFile::decodeName(program), QDir::toNativeSeparators(platform::currentFolder().path),
                                 QString::fromLocal8Bit(qgetenv("PATH")))};
}

// A Windows program: "MZ" at its start, and "PE\0\0" where the offset stored
// at 0x3C points. Read without waiting on a pipe, a few bytes at most.
bool isWindowsProgram(const QByteArray &path)
{
    constexpr qint64 kLargestHeaderOffset = 1 << 20;
    auto opened = platform::openForReading(path);
    if (!std::holds_alternative<std::unique_ptr<QFile>>(opened))
        return false;
    QFile &file = *std::get<std::unique_ptr<QFile>>(opened);
    const QByteArray start = file.read(0x40);
    if (start.size() < 0x40 || !start.startsWith("MZ"))
        return false;
    const quint32 offset = qFromLittleEndian<quint32>(start.constData() + 0x3C);
    return offset <= kLargestHeaderOffset && file.seek(offset) && file.read(4) == QByteArrayView("PE\0\0", 4);
}

std::optional<StartFailure> checkRunnable(const QByteArray &path, bool windowsProgram)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return cannotStart(path, qt_error_string(errno));
    if (S_ISDIR(st.st_mode))
        return cannotStart(path, QStringLiteral("it is a directory"));
    // Wine reads a Windows program; only a native one must be executable.
    if (!windowsProgram && ::access(path.constData(), X_OK) != 0)
        return cannotStart(path, QStringLiteral("it is not executable"));
    return std::nullopt;
}

} // namespace

StartFailure cannotStart(const QByteArray &path, const QString &reason)
{
    return StartFailure{QStringLiteral("Cannot start %1: %2").arg(platform::shownPath(path), reason)};
}

std::variant<ProgramToRun, StartFailure> programToRun(const QByteArray &scriptName, const QByteArray &script)
{
    const QByteArray commandLine = commandLineOf(script);
    if (commandLine.isEmpty())
        return StartFailure{QStringLiteral("Cannot start the launch script %1: it holds no command line")
                                .arg(platform::shownPath(scriptName))};
    std::vector<QByteArray> args = splitScriptCommandLine(commandLine);
    if (args.empty() || args.front().isEmpty())
        return StartFailure{QStringLiteral("Cannot start the launch script %1: its command line names no program")
                                .arg(platform::shownPath(scriptName))};

    const auto located = locateProgram(args.front());
    if (const auto *failure = std::get_if<StartFailure>(&located))
        return *failure;
    const QByteArray &program = std::get<QByteArray>(located);
    const bool windowsProgram = isWindowsProgram(program);
    if (auto failure = checkRunnable(program, windowsProgram))
        return *failure;
    if (!windowsProgram)
        return ProgramToRun{program, program, std::move(args)};

    const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
    if (wine.isEmpty())
        return cannotStart(program, QStringLiteral("it is a Windows program, and it needs wine to run. Install "
                                                   "wine (the Debian package \"wine\") and press Run again."));
    // Wine runs it with the very arguments the native path would get, in
    // this process (its pid is the task id) and with the user's own wine
    // set-up; wine's exit status is the program's. Not through "wine cmd
    // /c": that interpreter reads the script in the OEM code page and
    // garbles names outside ASCII.
    const QByteArray path = QFile::encodeName(wine);
    args.front() = program;
    args.insert(args.begin(), path);
    return ProgramToRun{path, program, std::move(args)};
}

} // namespace launch
