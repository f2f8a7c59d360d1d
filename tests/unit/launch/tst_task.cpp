#include "launch/after_fork_posix.h"
#include "launch/script.h"
#include "launch/task.h"
#include "platform_fixture.h"
#include "standin_log.h"

#include <QDir>
#include <QScopeGuard>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <memory>

#include <pthread.h>

using ByteList = QList<QByteArray>;

namespace {

constexpr auto kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                             | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool installStandin(const QString &path)
{
    const QString standin = qEnvironmentVariable("ZV_QUEX_STANDIN");
    return QFile::copy(standin, path) && QFile::setPermissions(path, kExecutable);
}

QByteArray scriptFor(const QByteArray &options, const QByteArray &rawRom)
{
    const std::optional<QByteArray> rom = launch::commandLineRomName(rawRom);
    return rom ? launch::scriptBytes(options, *rom) : QByteArray();
}

std::variant<double, launch::StartFailure> start(const QByteArray &script)
{
    // Windows' interpreter reads the script from the disk: it is written
    // first, as Run does.
    if constexpr (!fixture::kPosix) {
        if (auto failure = launch::writeScript(script))
            return launch::StartFailure{*failure};
    }
    return launch::startTask(launch::kScriptName, script);
}

QString messageOf(const std::variant<double, launch::StartFailure> &result)
{
    const auto *failure = std::get_if<launch::StartFailure>(&result);
    return failure ? failure->message : QString();
}

// The task's output goes where the front end's does: to these files while
// it starts, or nowhere, as if the front end had been started without them;
// with a `limit`, the front end's files may grow to that size only.
class OutputToFiles {
public:
    explicit OutputToFiles(bool closed = false, rlim_t limit = 0) : m_saved{::dup(STDOUT_FILENO), ::dup(STDERR_FILENO)}
    {
        ::getrlimit(RLIMIT_FSIZE, &m_limit);
        const rlimit lowered{limit, m_limit.rlim_max};
        if (limit > 0)
            ::setrlimit(RLIMIT_FSIZE, &lowered);
        std::fflush(nullptr);
        for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            const int file = ::open(fd == STDOUT_FILENO ? "out.txt" : "err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (closed)
                ::close(fd);
            else
                ::dup2(file, fd);
            ::close(file);
        }
    }
    ~OutputToFiles()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_limit);
        std::fflush(nullptr);
        ::dup2(m_saved[0], STDOUT_FILENO);
        ::dup2(m_saved[1], STDERR_FILENO);
        ::close(m_saved[0]);
        ::close(m_saved[1]);
    }

private:
    int m_saved[2];
    rlimit m_limit;
};

// The stand-in's behaviour for the next start, as NAME=VALUE pairs.
void setStandinEnvironment(const QStringList &settings)
{
    for (const QString &setting : settings)
        qputenv(qPrintable("QUEX_STANDIN_" + setting.section('=', 0, 0)), setting.section('=', 1).toUtf8());
}

// A field of /proc/PID/status, in KiB.
qint64 statusKiB(qint64 pid, QByteArrayView field)
{
    for (const QByteArray &line : readBytes(QString("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').front().toLongLong();
    return -1;
}

// The fields of /proc/PID/stat after the command name: [0] the state, [1] the parent.
QByteArrayList statFields(qint64 pid)
{
    const QByteArray stat = readBytes(QString("/proc/%1/stat").arg(pid));
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

// Above the standard ones, the descriptors of `pid` that are not pipes or a
// signalfd, with what they are; a process whose descriptors cannot be read
// is no proof.
QStringList descriptorsBeyondPipes(qint64 pid)
{
    const QString folder = QString("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    QStringList found;
    if (fds.isEmpty())
        found << "none readable in " + folder;
    for (const QString &fd : fds) {
        char target[256] = {};
        ::readlink(QFile::encodeName(folder + '/' + fd).constData(), target, sizeof target - 1);
        if (fd.toInt() > STDERR_FILENO && !QByteArray(target).startsWith("pipe:")
            && QByteArray(target) != "anon_inode:[signalfd]")
            found << fd + '=' + target;
    }
    return found;
}

// Holds up one process of a start inside fork() itself, as a machine too busy
// to schedule it would: the middle process is generation 1, the watcher 2,
// the task 3 (before its exec). Each child counts in its own copy.
namespace forkHold {
int generation = 0;
int held = 0; // the generation held, 0: none
bool stop = false; // stopped until SIGCONT, else held 3 s
void inChild()
{
    if (++generation != held)
        return;
    const timespec pause{3, 0};
    if (stop)
        ::raise(SIGSTOP);
    else
        ::nanosleep(&pause, nullptr);
}
} // namespace forkHold

} // namespace

class TestTask final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsEmulatorWithExactArguments_data();
    void startsEmulatorWithExactArguments();
    void programLookup_data();
    void programLookup();
    void runsOnlyTheBytesGiven();
    void startupTokenOnlyTheFreshOne();
    void windowsProgram_data();
    void windowsProgram();
    void failures_data();
    void failures();
    void doesNotWaitAndLeaksNoDescriptor();
    void slowWatcherIsNoFailure();
    void manyStartsLeaveNoZombie();
    void standinRecordsOddBytes();
    void standinCannotWriteLog();
    void earlyEnd_data();
    void earlyEnd();
    void lateEndNotReported();
    void outputOutlivesTheWatch();
    void readableOutput_data();
    void readableOutput();

private:
    void startAndExpect(const QByteArray &script, const ByteList &expected);

    std::unique_ptr<QTemporaryDir> dir;
    QString originalDir;
    QByteArray originalPath;
};

void TestTask::initTestCase()
{
    QVERIFY2(QFileInfo(qEnvironmentVariable("ZV_QUEX_STANDIN")).isExecutable(),
             "ZV_QUEX_STANDIN must name the built quex stand-in");
    originalDir = QDir::currentPath();
    originalPath = qgetenv("PATH");
    QCOMPARE(::pthread_atfork(nullptr, nullptr, forkHold::inChild), 0);
}

void TestTask::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
    // An empty folder first on PATH: nothing of the machine's can stand in.
    QVERIFY(QDir().mkdir("emptybin"));
    qputenv("PATH", dir->filePath("emptybin").toLocal8Bit());
}

void TestTask::cleanup()
{
    forkHold::held = 0;
    qputenv("PATH", originalPath);
    for (const char *name : {"SECONDS", "SAY", "WRITE_MB", "EXIT", "SIGNAL"})
        qunsetenv(QByteArray("QUEX_STANDIN_") + name);
    QDir::setCurrent(originalDir);
    dir.reset();
}

// Starts the script and checks the one run the stand-in logged: its
// arguments, and that the task id is its pid.
void TestTask::startAndExpect(const QByteArray &script, const ByteList &expected)
{
    const auto result = start(script);
    QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
    const QList<StandinRecord> records = waitForStandinLog(1, QStringLiteral("quex.log"), 20000);
    QCOMPARE(records.size(), 1);
    // On Windows the task is the interpreter, the emulator its child.
    if constexpr (fixture::kPosix)
        QCOMPARE(records.front().pid, qint64(std::get<double>(result)));
    QCOMPARE(records.front().args, expected);
}

void TestTask::startsEmulatorWithExactArguments_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<ByteList>("expected");

    QTest::newRow("plain") << QByteArray(" -r50") << QByteArray("AIRRAID.BIN") << ByteList{"-r50", "AIRRAID.BIN"};
    QTest::newRow("blanks and &") << QByteArray(" -q -r60") << QByteArray("Tom & Jerry (1982).bin")
                                  << ByteList{"-q", "-r60", "Tom & Jerry (1982).bin"};
    QTest::newRow("percent") << QByteArray() << QByteArray("100% fun.bin") << ByteList{"100% fun.bin"};
    QTest::newRow("percent, no quotes") << QByteArray(" -q") << QByteArray("%PATH%.bin")
                                        << ByteList{"-q", "%PATH%.bin"};
    // Windows' interpreter reads the script in another code page than the
    // program's names come in: not passed on there yet.
    if constexpr (fixture::kPosix)
        QTest::newRow("utf-8, trailing backslash") << QByteArray() << QByteArray("sp\xC3\xA4t \\")
                                                   << ByteList{"sp\xC3\xA4t \\"};
    QTest::newRow("trailing backslash") << QByteArray() << QByteArray("spat \\") << ByteList{"spat \\"};
    QTest::newRow("no ROM") << QByteArray(" -q") << QByteArray() << ByteList{"-q"};
}

void TestTask::startsEmulatorWithExactArguments()
{
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, rom);
    QFETCH(ByteList, expected);
    QVERIFY(installStandin("quex.exe"));
    startAndExpect(scriptFor(options, rom), expected);
}

void TestTask::programLookup_data()
{
    QTest::addColumn<QString>("folderName"); // where the stand-in goes in the current folder, if anywhere
    QTest::addColumn<bool>("alsoOnPath");    // a do-nothing "quex.exe" on PATH
    QTest::addColumn<QStringList>("decoys"); // newer entries beside it: folders end in '/', dangling
                                             // links in '@', others do nothing

    QTest::newRow("folder, other letter case") << QStringLiteral("QUEX.EXE") << false << QStringList();
    QTest::newRow("on PATH only") << QString() << true << QStringList();
    QTest::newRow("folder before PATH") << QStringLiteral("quex.exe") << true << QStringList();
    QTest::newRow("a newer folder of that name") << QStringLiteral("Quex.exe") << false << QStringList{"QUEX.EXE/"};
    QTest::newRow("of two spellings the first by bytes")
        << QStringLiteral("QUEX.EXE") << false << QStringList{"quex.EXE", "qUEX.exe"};
    QTest::newRow("a folder quex.exe hides not PATH") << QString() << true << QStringList{"quex.exe/"};
    QTest::newRow("a dangling link quex.exe hides not PATH") << QString() << true << QStringList{"quex.exe@"};
    QTest::newRow("nor does a dangling link in another case")
        << QString() << true << QStringList{"QUEX.EXE@", "Quex.exe/"};
}

void TestTask::programLookup()
{
    if constexpr (!fixture::kPosix)
        QSKIP("The interpreter finds the program itself on Windows");
    QFETCH(QString, folderName);
    QFETCH(bool, alsoOnPath);
    QFETCH(QStringList, decoys);
    QVERIFY(QDir().mkdir("bin"));
    for (const QString &decoy : decoys) {
        if (decoy.endsWith('@')) {
            QVERIFY(QFile::link("nowhere", decoy.chopped(1)));
            continue;
        }
        if (decoy.endsWith('/')) {
            QVERIFY(QDir().mkdir(decoy));
        } else {
            QVERIFY(writeBytes(decoy, "#!/bin/sh\nexit 0\n"));
            QVERIFY(QFile::setPermissions(decoy, kExecutable));
        }
        const std::filesystem::path path = decoy.chopped(decoy.endsWith('/')).toStdString();
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() + std::chrono::hours(24));
    }
    if (folderName.isEmpty())
        QVERIFY(installStandin("bin/quex.exe"));
    else
        QVERIFY(installStandin(folderName));
    if (alsoOnPath && !folderName.isEmpty()) {
        QVERIFY(writeBytes("bin/quex.exe", "#!/bin/sh\nexit 0\n"));
        QVERIFY(QFile::setPermissions("bin/quex.exe", kExecutable));
    }
    if (alsoOnPath)
        qputenv("PATH", dir->filePath("emptybin").toLocal8Bit() + ':' + dir->filePath("bin").toLocal8Bit());
    startAndExpect(scriptFor(" -q", "GAME.BIN"), {"-q", "GAME.BIN"});
}

// The task gets the token asked for on this Run, under both names, and never
// one the front end itself was started with.
void TestTask::startupTokenOnlyTheFreshOne()
{
    if constexpr (!fixture::kPosix)
        QSKIP("Startup tokens are handed on by AllowSetForegroundWindow on Windows");
    QVERIFY(writeBytes("quex.exe", "#!/bin/sh\necho \"[$XDG_ACTIVATION_TOKEN][$DESKTOP_STARTUP_ID][$HOME]\" > env.$1\n"));
    QVERIFY(QFile::setPermissions("quex.exe", kExecutable));
    qputenv("XDG_ACTIVATION_TOKEN", "the front end's own");
    qputenv("DESKTOP_STARTUP_ID", "the front end's own");
    const auto restore = qScopeGuard([] {
        qunsetenv("XDG_ACTIVATION_TOKEN");
        qunsetenv("DESKTOP_STARTUP_ID");
    });
    const QByteArray home = qgetenv("HOME");
    QVERIFY(std::holds_alternative<double>(launch::startTask(launch::kScriptName, scriptFor("", "1"), {"fresh"})));
    QVERIFY(std::holds_alternative<double>(launch::startTask(launch::kScriptName, scriptFor("", "2"))));
    for (const auto &[file, tokens] : {std::pair{"env.1", QByteArray("[fresh][fresh]")}, {"env.2", "[][]"}}) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile(file).size() > 0, 10000);
        QFile out(file);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), tokens + '[' + home + "]\n"); // the rest of the environment as it was
    }
}

// Scripts lying in the folder under any spelling of the name are never read:
// what runs is the command line of the bytes handed over.
void TestTask::runsOnlyTheBytesGiven()
{
    if constexpr (!fixture::kPosix)
        QSKIP("The interpreter runs the script written on the disk on Windows");
    QVERIFY(installStandin("quex.exe"));
    for (const char *planted : {"quex.bat", "QUEX.BAT", "Quex.bat"})
        QVERIFY(writeBytes(planted, "\"\r\necho off\r\nquex.exe PLANTED.BIN\r\n\"\r\n"));
    startAndExpect(scriptFor(" -q", "NEW.BIN"), {"-q", "NEW.BIN"});
}

// A Windows program ("MZ", and "PE\0\0" where the offset at 0x3C points) is
// started through wine with the same arguments; wine's process is the task.
// A fake wine on PATH records what it was asked to run.
void TestTask::windowsProgram_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<bool>("wineInstalled");
    QTest::addColumn<QString>("expected"); // what wine received, or a part of the report

    QByteArray pe = "MZ" + QByteArray(0x3A, '\0') + QByteArray("\x40\0\0\0", 4) + QByteArray("PE\0\0", 4);
    QTest::newRow("through wine") << pe << true << "./QUEX.EXE|-q|GAME NAME.BIN|";
    QTest::newRow("no wine") << pe << false << "it is a Windows program, and it needs wine";
    QByteArray farOffset = pe;
    farOffset[0x3D] = '\x10';
    QTest::newRow("MZ without PE is no Windows program") << farOffset << true << "it is not executable";
}

void TestTask::windowsProgram()
{
    if constexpr (!fixture::kPosix)
        QSKIP("A Windows program needs no wine on Windows");
    QFETCH(QByteArray, header);
    QFETCH(bool, wineInstalled);
    QFETCH(QString, expected);
    QVERIFY(writeBytes("QUEX.EXE", header + QByteArray(512, '\0'))); // as copied from Windows: not executable
    if (wineInstalled) {
        QVERIFY(writeBytes("emptybin/wine", "#!/bin/sh\nprintf '%s|' \"$$\" \"$@\" > wine.tmp\n/bin/mv wine.tmp wine.args\n"));
        QVERIFY(QFile::setPermissions("emptybin/wine", kExecutable));
    }

    const auto result = start(scriptFor(" -q", "GAME NAME.BIN"));
    if (const QString message = messageOf(result); !message.isEmpty()) {
        QVERIFY2(message.contains(expected) && message.contains(QDir::current().filePath("QUEX.EXE")),
                 qPrintable(message));
        QVERIFY(!QFile::exists("wine.args"));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("wine.args"), 30000);
    QFile file("wine.args");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray args = file.readAll();
    const qsizetype bar = args.indexOf('|');
    QCOMPARE(args.mid(bar + 1), expected.toUtf8());
    QCOMPARE(args.left(bar).toLongLong(), qint64(std::get<double>(result)));
}

void TestTask::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("expectedParts");

    const QString inFolder = QStringLiteral("%1/quex.exe"); // %1: the test's folder
    QTest::newRow("no command line") << "empty script" << QStringList{"%1/Quex.bat", "no command line"};
    // Neither in the folder nor on PATH: the message names both places.
    const QStringList nowhere{"quex.exe", "no program file", "%1,", "PATH (%1/emptybin)"};
    QTest::newRow("emulator missing") << "no emulator" << nowhere;
    QTest::newRow("a folder of its name") << "directory" << nowhere;
    QTest::newRow("a dangling link of its name") << "dangling link" << nowhere;
    QTest::newRow("emulator not executable") << "not executable" << QStringList{inFolder, "not executable"};
    QTest::newRow("emulator not a program") << "text file" << QStringList{inFolder, "Exec format error"};
}

void TestTask::failures()
{
    if constexpr (!fixture::kPosix)
        QSKIP("The interpreter reports these itself on Windows");
    QFETCH(QString, setup);
    QFETCH(QStringList, expectedParts);

    const QByteArray script = setup == "empty script" ? QByteArray("\"\r\nECHO OFF\r\n  \r\n\"\r\n")
                                                     : scriptFor(" -q", "GAME.BIN");
    if (setup == "directory") {
        QVERIFY(QDir().mkdir("quex.exe"));
    } else if (setup == "dangling link") {
        QVERIFY(QFile::link("gone.exe", "quex.exe"));
    } else if (setup == "not executable") {
        QVERIFY(installStandin("quex.exe"));
        QVERIFY(QFile::setPermissions("quex.exe", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    } else if (setup == "text file") {
        QVERIFY(writeBytes("quex.exe", "not a program\n"));
        QVERIFY(QFile::setPermissions("quex.exe", kExecutable));
    }

    const auto result = start(script);
    const QString message = messageOf(result);
    QVERIFY2(!message.isEmpty(), "the start should have failed");
    for (QString part : expectedParts) {
        part.replace("%1", QDir::currentPath());
        QVERIFY2(message.contains(part), qPrintable(message));
    }
    QVERIFY(!QFile::exists("quex.log"));
}

void TestTask::doesNotWaitAndLeaksNoDescriptor()
{
    if constexpr (!fixture::kPosix)
        QSKIP("No descriptors to leak and no process tree of ours on Windows");
    QVERIFY(installStandin("quex.exe"));
    // The stand-in stays far longer than any start may take: it is still
    // running when startTask returns, so startTask did not wait for it.
    qputenv("QUEX_STANDIN_SECONDS", "120");
    const int inheritable = fixture::openInheritable();
    QVERIFY(inheritable >= 0);
    // The task stopped before its exec: its watcher is seen while it waits.
    forkHold::held = 3;
    forkHold::stop = true;

    const auto result = start(scriptFor(" -q", "GAME.BIN"));
    fixture::closeDescriptor(inheritable);
    QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
    const qint64 pid = qint64(std::get<double>(result));
    const auto endStandin = qScopeGuard([pid] { fixture::killProcess(pid); });
    QTRY_COMPARE_WITH_TIMEOUT(statFields(pid).value(0), QByteArray("T"), 20000);
    const qint64 watcher = statFields(pid).value(1).toLongLong();
    QVERIFY(watcher > 1 && watcher != ::getpid());
    // Neither the task nor its watcher holds a descriptor of ours (a display
    // connection would keep our windows), at any time; the watcher shows a
    // name of its own, not the front end's.
    QVERIFY2(descriptorsBeyondPipes(watcher).isEmpty(), qPrintable(descriptorsBeyondPipes(watcher).join(' ')));
    QCOMPARE(readBytes(QString("/proc/%1/comm").arg(watcher)), QByteArray(launch::kWatcherName) + '\n');
    QCOMPARE(::kill(pid, SIGCONT), 0);

    QVERIFY(fixture::processRunning(pid));
    QCOMPARE(waitForStandinLog(1).size(), 1);
    QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1); // not our child
    QCOMPARE(statFields(pid).value(1).toLongLong(), watcher);
    for (const qint64 process : {watcher, pid})
        QVERIFY2(descriptorsBeyondPipes(process).isEmpty(), qPrintable(descriptorsBeyondPipes(process).join(' ')));
}

// The watcher's first word can come late on a busy machine: the task is
// started all the same, once, so the start is no failure.
void TestTask::slowWatcherIsNoFailure()
{
    QVERIFY(installStandin("quex.exe"));
    forkHold::held = 2;
    forkHold::stop = false;
    startAndExpect(scriptFor(" -q", "GAME.BIN"), {"-q", "GAME.BIN"});
}

void TestTask::manyStartsLeaveNoZombie()
{
    if constexpr (!fixture::kPosix)
        QSKIP("No zombies on Windows");
    constexpr int kStarts = 50;
    QVERIFY(installStandin("quex.exe"));
    const QByteArray script = scriptFor(" -q", "GAME.BIN");

    QSet<qint64> ids;
    for (int i = 0; i < kStarts; ++i) {
        const auto result = start(script);
        QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
        ids.insert(qint64(std::get<double>(result)));
    }
    QVERIFY(!fixture::hasChildren());

    const QList<StandinRecord> records = waitForStandinLog(kStarts, "quex.log", 60000);
    QCOMPARE(records.size(), kStarts);
    QSet<qint64> logged;
    for (const StandinRecord &record : records) {
        logged.insert(record.pid);
        QCOMPARE(record.args, (ByteList{"-q", "GAME.BIN"}));
    }
    QCOMPARE(logged, ids);
}

// Bytes no launch script can carry still come back exact from the log.
void TestTask::standinRecordsOddBytes()
{
    const ByteList args{"", "a\tb\nc\r", "%25%", "\x01\x1F\x7F", "sp\xC3\xA4ter \xE2\x98\x83.bin"};
    QStringList arguments;
    for (const QByteArray &arg : args)
        arguments << QString::fromUtf8(arg);
    QCOMPARE(QProcess::execute(qEnvironmentVariable("ZV_QUEX_STANDIN"), arguments), 0);

    const QList<StandinRecord> records = readStandinLog();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.front().args, args);
}

void TestTask::standinCannotWriteLog()
{
    QVERIFY(QDir().mkdir("quex.log"));
    QCOMPARE(QProcess::execute(qEnvironmentVariable("ZV_QUEX_STANDIN"), {"GAME.BIN"}), 3);
}

// The watch reports a task that ends at once, badly, with the end of its
// output, which still reaches the front end's own outputs in full; a good
// end goes unreported.
void TestTask::earlyEnd_data()
{
    QTest::addColumn<QStringList>("standin");
    QTest::addColumn<QString>("how");         // empty: no report
    QTest::addColumn<QByteArray>("outputEnd"); // how the output the report shows ends
    QTest::addColumn<qint64>("outputBytes");   // what must reach the front end's output
    QTest::addColumn<bool>("closed");          // the front end has no output and error output
    QTest::addColumn<qint64>("fileLimit");     // the front end's file-size limit, if any

    QTest::newRow("exit 3, a message on standard error")
        << QStringList{"SAY=quex: cannot open display", "EXIT=3"} << "with exit status 3"
        << QByteArray("quex: cannot open display\n") << qint64(0) << false << qint64(0);
    QTest::newRow("SIGSEGV") << QStringList{"SIGNAL=11"} << "by signal 11 (SIGSEGV, Segmentation fault)" << QByteArray()
                             << qint64(0) << false << qint64(0);
    QTest::newRow("exit 0 at once") << QStringList{"SAY=all well"} << QString() << QByteArray() << qint64(0) << false
                                    << qint64(0);
    QTest::newRow("50 MiB of output, then exit 1")
        << QStringList{"WRITE_MB=50", "EXIT=1"} << "with exit status 1"
        << QByteArray("quex stand-in output line 1574703\nqu") << qint64(50) * 1024 * 1024 << false << qint64(0);
    QByteArray progress;
    for (int percent = 0; progress.size() < 6000; percent = (percent + 1) % 100)
        progress += "quex: loading " + QByteArray::number(percent) + "%\r";
    QTest::newRow("progress longer than the tail, then an error line")
        << QStringList{"SAY=" + progress + "quex: bad ROM header", "EXIT=2"} << "with exit status 2"
        << QByteArray("quex: bad ROM header\n") << qint64(0) << false << qint64(0);
    // The watcher outlives a full output file: the task's output is read on,
    // and dropped, so the task writes on and ends as it would.
    QTest::newRow("output past the file-size limit, then exit 3")
        << QStringList{"WRITE_MB=1", "EXIT=3"} << "with exit status 3"
        << QByteArray("quex stand-in output line 33115\nqu") << qint64(64 * 1024) << false << qint64(64 * 1024);
    QTest::newRow("the front end without outputs") << QStringList{"SAY=quex: cannot open display", "EXIT=3"}
                                                   << "with exit status 3" << QByteArray("quex: cannot open display\n")
                                                   << qint64(0) << true << qint64(0);
}

void TestTask::earlyEnd()
{
    QFETCH(QStringList, standin);
    QFETCH(QString, how);
    QFETCH(QByteArray, outputEnd);
    QFETCH(qint64, outputBytes);
    QFETCH(bool, closed);
    QFETCH(qint64, fileLimit);
    QVERIFY(installStandin("quex.exe"));
    setStandinEnvironment(standin);

    launch::TaskWatch watch;
    QSignalSpy ended(&watch, &launch::TaskWatch::endedEarly);
    QSignalSpy finished(&watch, &launch::TaskWatch::finished);
    std::variant<double, launch::StartFailure> result;
    {
        const OutputToFiles redirected(closed, rlim_t(fileLimit));
        result = launch::startTask(launch::kScriptName, scriptFor(" -q", "GAME.BIN"), {}, &watch);
    }
    QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
    QVERIFY(watch.isWatching());
    QVERIFY(finished.wait(launch::kWatchSeconds * 1000 + 5000));
    QVERIFY(!watch.isWatching());
    QCOMPARE(finished.size(), 1);

    QCOMPARE(ended.size(), how.isEmpty() ? 0 : 1);
    if (!how.isEmpty()) {
        const auto end = ended.front().front().value<launch::TaskEnd>();
        QCOMPARE(end.how, how);
        QVERIFY2(end.output.endsWith(outputEnd), end.output.right(200).constData());
        const QString shown = launch::readableOutput(end.output);
        QVERIFY2(shown.endsWith(QString::fromUtf8(outputEnd).trimmed()), qPrintable(shown));
    }
    // The task's words reach the front end's own output and error output, all of them.
    const QString said = standin.filter("SAY=").value(0).mid(4);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo("out.txt").size(), outputBytes, 10000);
    if (!closed)
        QTRY_VERIFY_WITH_TIMEOUT(readBytes("err.txt").startsWith(said.toUtf8()), 10000);
}

// A task that runs past the span, or ends badly only after it, is not
// reported: the watch finishes when the span is over.
void TestTask::lateEndNotReported()
{
    QVERIFY(installStandin("quex.exe"));
    std::vector<std::unique_ptr<launch::TaskWatch>> watches;
    QList<pid_t> pids;
    for (const QStringList &standin : {QStringList{"SECONDS=60"}, QStringList{"SECONDS=12", "EXIT=3"}}) {
        setStandinEnvironment(standin);
        watches.push_back(std::make_unique<launch::TaskWatch>());
        const auto result = launch::startTask(launch::kScriptName, scriptFor("", "GAME.BIN"), {}, watches.back().get());
        QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
        pids << pid_t(std::get<double>(result));
    }
    const auto endStandins = qScopeGuard([&pids] {
        for (pid_t pid : pids)
            ::kill(pid, SIGKILL);
    });
    QSignalSpy ended0(watches[0].get(), &launch::TaskWatch::endedEarly);
    QSignalSpy ended1(watches[1].get(), &launch::TaskWatch::endedEarly);
    QTRY_VERIFY_WITH_TIMEOUT(!watches[0]->isWatching() && !watches[1]->isWatching(),
                             launch::kWatchSeconds * 1000 + 5000);
    QCOMPARE(::kill(pids[0], 0), 0); // still running, and no child of ours
    QCOMPARE(::waitpid(pids[0], nullptr, WNOHANG), -1);
    QTRY_COMPARE_WITH_TIMEOUT(::kill(pids[1], 0), -1, 10000); // it has ended by now, and been reaped
    QCOMPARE(ended0.size() + ended1.size(), 0);
}

// The watch gone (the front end ended), the task goes on writing: its
// reader is the watcher, not the front end, which passes the output on
// without holding it: the watcher's memory stays what it got from the fork.
void TestTask::outputOutlivesTheWatch()
{
    QVERIFY(installStandin("quex.exe"));
    setStandinEnvironment({"WRITE_MB=20", "SECONDS=60"});
    const qint64 forkedKiB = statusKiB(::getpid(), "VmRSS:");
    std::variant<double, launch::StartFailure> result;
    {
        auto watch = std::make_unique<launch::TaskWatch>();
        const OutputToFiles redirected;
        result = launch::startTask(launch::kScriptName, scriptFor("", "GAME.BIN"), {}, watch.get());
    }
    QVERIFY2(std::holds_alternative<double>(result), qPrintable(messageOf(result)));
    const qint64 pid = qint64(std::get<double>(result));
    const auto endStandin = qScopeGuard([pid] { fixture::killProcess(pid); });
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo("out.txt").size(), qint64(20) * 1024 * 1024, 20000);
    const qint64 watcherKiB = statusKiB(statFields(pid).value(1).toLongLong(), "VmHWM:");
    QVERIFY2(watcherKiB > 0 && watcherKiB < forkedKiB + 4 * 1024,
             qPrintable(QString("%1 KiB, forked with %2 KiB").arg(watcherKiB).arg(forkedKiB)));
}

void TestTask::readableOutput_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("shown");

    QTest::newRow("markup is text") << QByteArray("<b>bold</b> &amp;\n") << "<b>bold</b> &amp;";
    QTest::newRow("controls replaced") << QByteArrayLiteral("a\x07" "b\x00" "c\x7f") << "a\uFFFDb\uFFFDc\uFFFD";
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9 \xff!") << "caf\uFFFD \uFFFD!";
    QTest::newRow("right-to-left override") << QByteArray("gro\xe2\x80\xaeund\xe2\x80\xa8x") << "gro\uFFFDund\uFFFDx";
    QTest::newRow("terminal colours and title") << QByteArray("\x1b[1;31merror\x1b[0m\x1b]0;title\x07!") << "error!";
    QTest::newRow("CR LF, and a progress count") << QByteArray("one\r\n10%\r50%\r100%\r\ntwo") << "one\n100%\ntwo";
    QTest::newRow("tabs to columns") << QByteArray("a\tbc\td") << "a       bc      d";
    QTest::newRow("blank lines around") << QByteArray("\n\n  \nlast  \n\n") << "last";
    QByteArray many;
    QStringList last;
    for (int i = 1; i <= 30; ++i) {
        many += "line " + QByteArray::number(i) + '\n';
        if (i > 30 - launch::kOutputTailLines)
            last << QStringLiteral("line %1").arg(i);
    }
    QTest::newRow("the last lines") << many << last.join('\n');
}

void TestTask::readableOutput()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, shown);
    QCOMPARE(launch::readableOutput(output), shown);
}

QTEST_GUILESS_MAIN(TestTask)
#include "tst_task.moc"
