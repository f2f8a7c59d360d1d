#include "launch/script.h"
#include "launch/script_command_line.h"
#include "launch/task.h"
#include "platform_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

using ByteList = std::vector<QByteArray>;

namespace {

// A temporary folder that is the current one while the object lives.
class ScratchFolder {
public:
    ScratchFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ScratchFolder() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

class TestScript final : public QObject
{
    Q_OBJECT

private slots:
    void interpreterRunsItsOwnCopy();
    void scriptBytes_data();
    void scriptBytes();
    void commandLineRomName_data();
    void commandLineRomName();
    void split_data();
    void split();
    void romNameRoundTrip_data();
    void romNameRoundTrip();
    void writeReplacesWholeFile();
    void writeReplacesTheEntryItself_data();
    void writeReplacesTheEntryItself();
    void writeFailureNamesFile_data();
    void writeFailureNamesFile();
    void failedWriteKeepsOldFile();
};

void TestScript::scriptBytes_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("rom");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("worked example")
        << QByteArray(" -q") << QByteArray("GAME.BIN")
        << QByteArray::fromHex("22 0D 0A 65 63 68 6F 20 6F 66 66 0D 0A 71 75 65 78 2E 65 78 65 20 2D 71 20 47 41 4D 45 "
                               "2E 42 49 4E 0D 0A 22 0D 0A");
    QTest::newRow("nothing ticked, no ROM")
        << QByteArray() << QByteArray()
        << QByteArray("\"\r\necho off\r\nquex.exe \r\n\"\r\n");
    QTest::newRow("quoted ROM")
        << QByteArray(" -r50") << QByteArray("\"my game.bin\"")
        << QByteArray("\"\r\necho off\r\nquex.exe -r50 \"my game.bin\"\r\n\"\r\n");
}

void TestScript::scriptBytes()
{
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, rom);
    QFETCH(QByteArray, expected);
    QCOMPARE(launch::scriptBytes(options, rom), expected);
}

void TestScript::commandLineRomName_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QByteArray("GAME.BIN") << true << QByteArray("GAME.BIN");
    QTest::newRow("empty") << QByteArray() << true << QByteArray();
    QTest::newRow("utf-8") << QByteArray("sp\xC3\xA4ter.bin") << true << QByteArray("sp\xC3\xA4ter.bin");
    QTest::newRow("backslash, no quotes") << QByteArray("a\\") << true << QByteArray("a\\");
    QTest::newRow("percent") << QByteArray("100%.bin") << true << QByteArray("100%%.bin");
    QTest::newRow("blank") << QByteArray("my game.bin") << true << QByteArray("\"my game.bin\"");
    QTest::newRow("percent and blank") << QByteArray("50% off.bin") << true << QByteArray("\"50%% off.bin\"");
    QTest::newRow("trailing backslashes") << QByteArray("a b\\\\") << true << QByteArray("\"a b\\\\\\\\\"");
    for (const char c : QByteArray("&|<>^(),;=")) {
        const QByteArray name = QByteArray("a") + c + "b.bin";
        QTest::addRow("special %c", c) << name << true << ('"' + name + '"');
    }
    QTest::newRow("double quote") << QByteArray("a\"b.bin") << false << QByteArray();
    QTest::newRow("tab") << QByteArray("a\tb.bin") << false << QByteArray();
    QTest::newRow("newline") << QByteArray("a\nb.bin") << false << QByteArray();
    QTest::newRow("unit separator") << QByteArray("\x1F") << false << QByteArray();
    QTest::newRow("leading -") << QByteArray("-s0.bin") << false << QByteArray();
    QTest::newRow("leading - and blank") << QByteArray("-s0 x.bin") << false << QByteArray();
    QTest::newRow("- further on") << QByteArray("a-s0.bin") << true << QByteArray("a-s0.bin");
}

void TestScript::commandLineRomName()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> name = launch::commandLineRomName(raw);
    QCOMPARE(name.has_value(), accepted);
    if (accepted)
        QCOMPARE(*name, expected);
}

void TestScript::split_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<ByteList>("expected");

    QTest::newRow("empty") << QByteArray() << ByteList{};
    QTest::newRow("blanks only") << QByteArray(" \t ") << ByteList{};
    QTest::newRow("no ROM") << QByteArray("quex.exe -q ") << ByteList{"quex.exe", "-q"};
    QTest::newRow("blanks and tabs") << QByteArray("  quex.exe\t-q  \t GAME.BIN ")
                                     << ByteList{"quex.exe", "-q", "GAME.BIN"};
    QTest::newRow("quoted group") << QByteArray("quex.exe \"a b\"c d") << ByteList{"quex.exe", "a bc", "d"};
    QTest::newRow("empty quotes") << QByteArray("quex.exe \"\" x") << ByteList{"quex.exe", "", "x"};
    QTest::newRow("literal backslashes") << QByteArray("quex.exe a\\b\\\\c\\") << ByteList{"quex.exe", "a\\b\\\\c\\"};
    QTest::newRow("2n backslashes, quote") << QByteArray("quex.exe a\\\\\"b c\"") << ByteList{"quex.exe", "a\\b c"};
    QTest::newRow("2n+1 backslashes, quote") << QByteArray("quex.exe a\\\\\\\"b c")
                                             << ByteList{"quex.exe", "a\\\"b", "c"};
    QTest::newRow("doubled quote inside group") << QByteArray("quex.exe \"a\"\"b\" c")
                                                << ByteList{"quex.exe", "a\"b", "c"};
    QTest::newRow("percent pairs") << QByteArray("quex.exe 100%%.bin %%%") << ByteList{"quex.exe", "100%.bin", "%%"};
    QTest::newRow("lone percent") << QByteArray("quex.exe 5%x") << ByteList{"quex.exe", "5%x"};
    QTest::newRow("quoted program, no escapes") << QByteArray("\"C:\\quex dir\\\"quex.exe -q")
                                                << ByteList{"C:\\quex dir\\quex.exe", "-q"};
}

void TestScript::split()
{
    QFETCH(QByteArray, line);
    QFETCH(ByteList, expected);
    QCOMPARE(launch::splitScriptCommandLine(line), expected);
}

void TestScript::romNameRoundTrip_data()
{
    QTest::addColumn<QByteArray>("name");

    const QByteArray names[] = {
        "GAME.BIN", "my game.bin", "a&b.bin", "Tom & Jerry (1982).bin", "100%.bin", "%%%", "50% off & more.bin",
        "a b\\", "a b\\\\", "a\\", "\\\\server\\share x", " lead", "trail ", "sp\xC3\xA4ter \xE2\x98\x83.bin",
        "\x80\xFF raw bytes", "%PATH%",
    };
    for (const QByteArray &name : names)
        QTest::newRow(name.constData()) << name;

    QByteArray printable;
    for (int c = 32; c < 127; ++c) {
        if (c != '"')
            printable += char(c);
    }
    QTest::newRow("every printable ASCII byte") << printable;
    QTest::newRow("255 bytes, plain") << QByteArray(251, 'x') + ".bin";
    QTest::newRow("255 bytes, blanks and %") << (QByteArray("a %").repeated(84) + "\\\\\\");
}

void TestScript::romNameRoundTrip()
{
    QFETCH(QByteArray, name);
    const std::optional<QByteArray> argument = launch::commandLineRomName(name);
    QVERIFY(argument);
    const ByteList expected{"quex.exe", "-r50", name};
    QCOMPARE(launch::splitScriptCommandLine("quex.exe -r50 " + *argument), expected);
}

void TestScript::writeReplacesWholeFile()
{
    ScratchFolder dir;
    QCOMPARE(launch::writeScript(QByteArray(4096, 'x')), std::nullopt);
    QCOMPARE(readAll("Quex.bat"), QByteArray(4096, 'x'));
    // Whatever the old file's permissions (on Windows: read-only), the
    // script has a new file's.
    QVERIFY(QFile::setPermissions("Quex.bat", QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    const QByteArray script = launch::scriptBytes(" -q", "GAME.BIN");
    QCOMPARE(launch::writeScript(script), std::nullopt);
    QCOMPARE(readAll("Quex.bat"), script);
    if constexpr (fixture::kPosix)
        QCOMPARE(fixture::fileMode("Quex.bat"), 0666 & ~fixture::currentUmask());
    else
        QVERIFY(QFileInfo("Quex.bat").permissions() & QFileDevice::WriteOwner);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"Quex.bat"});
}

// Whatever lies in the folder under the script's name is replaced by the
// script itself: a link's target is never written, a pipe never waited on.
void TestScript::writeReplacesTheEntryItself_data()
{
    QTest::addColumn<QString>("kind");
    if constexpr (!fixture::kPosix) {
        QTest::newRow("hidden, read-only file") << "hidden";
        return;
    }
    QTest::newRow("link to a file outside") << "link";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("named pipe") << "fifo";
}

void TestScript::writeReplacesTheEntryItself()
{
    QFETCH(QString, kind);
    ScratchFolder dir;
    QVERIFY(QDir().mkdir("roms"));
    QVERIFY(QDir::setCurrent("roms"));
    const QByteArray precious = "export PATH=/usr/bin\n";
    {
        QFile outside("../profile");
        QVERIFY(outside.open(QIODevice::WriteOnly));
        QCOMPARE(outside.write(precious), precious.size());
    }
    if (kind == "link")
        QVERIFY(fixture::makeSymlink("../profile", "Quex.bat"));
    else if (kind == "dangling")
        QVERIFY(fixture::makeSymlink("../nothing-here", "Quex.bat"));
    else if (kind == "fifo")
        QVERIFY(fixture::makeFifo("Quex.bat"));
    else
        QVERIFY(QFile::copy("../profile", "Quex.bat") && fixture::makeHiddenReadOnly("Quex.bat"));

    const QByteArray script = launch::scriptBytes(" -q", "GAME.BIN");
    QCOMPARE(launch::writeScript(script), std::nullopt);

    const QFileInfo written("Quex.bat");
    QVERIFY(written.isFile() && !written.isSymLink());
    QCOMPARE(readAll("Quex.bat"), script);
    QCOMPARE(readAll("../profile"), precious);
    QVERIFY(!QFile::exists("../nothing-here"));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Quex.bat"});
}

// The message names the script by the folder's real name, also once the
// folder has been deleted under the running program.
void TestScript::writeFailureNamesFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // empty: the system's words, whatever they are
    QTest::newRow("a folder in its place") << "folder" << QString();
    if constexpr (fixture::kPosix) // Windows keeps the current folder from being deleted
        QTest::newRow("the folder deleted") << "deleted" << "its folder no longer exists";
}

void TestScript::writeFailureNamesFile()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    ScratchFolder dir;
    const QString shown = QDir::toNativeSeparators(QDir::current().absoluteFilePath("Quex.bat"));
    if (fault == "deleted")
        QVERIFY(QDir(QDir::currentPath()).removeRecursively());
    else
        QVERIFY(QDir().mkdir("Quex.bat"));

    const std::optional<QString> message = launch::writeScript("bytes");
    QVERIFY(message);
    QVERIFY2(message->startsWith("Cannot write the launch script " + shown + ": "), qPrintable(*message));
    QVERIFY2(!message->endsWith(": ") && message->endsWith(reason), qPrintable(*message));
    if (fault == "folder") {
        QVERIFY(QFileInfo("Quex.bat").isDir());
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Quex.bat"});
    }
}

// A write that fails (a file-size limit; on Windows, the file locked by
// another program) is reported and leaves the old script whole.
void TestScript::failedWriteKeepsOldFile()
{
    ScratchFolder dir;
    const QByteArray old = launch::scriptBytes(" -q", "OLD.BIN");
    QCOMPARE(launch::writeScript(old), std::nullopt);

    fixture::WriteBlocker blocker("Quex.bat");
    QVERIFY(blocker.active());
    const std::optional<QString> message = launch::writeScript(QByteArray(64 * 1024, 'n'));
    blocker.release();

    QVERIFY(message);
    QVERIFY2(message->contains(QDir::toNativeSeparators(QDir::current().absoluteFilePath("Quex.bat"))),
             qPrintable(*message));
    if constexpr (fixture::kPosix)
        QVERIFY2(message->contains("too large", Qt::CaseInsensitive), qPrintable(*message));
    QCOMPARE(readAll("Quex.bat"), old);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"Quex.bat"});
}

// The interpreter reads a copy of the script's very bytes that no later Run
// rewrites, gone once the interpreter has ended, watched or not; a copy left
// by an interpreter that ended unseen goes at the next start.
void TestScript::interpreterRunsItsOwnCopy()
{
    if constexpr (fixture::kPosix)
        QSKIP("Only Windows' interpreter reads the script as it goes");
    ScratchFolder folder;
    const QString leftOver = QDir::temp().filePath(QStringLiteral("zerivirav-run-ended-long-ago.bat"));
    QVERIFY(QFile(leftOver).open(QIODevice::WriteOnly));
    const QByteArray script = "\"\r\necho off\r\ncopy /b \"%~f0\" seen.bat >nul & echo %~f0> where.txt\r\n\"\r\n";
    QVERIFY(std::holds_alternative<double>(launch::startTask(launch::kScriptName, script)));
    const auto until = [](auto done) {
        for (const QDeadlineTimer deadline(20000); !done() && !deadline.hasExpired();)
            QThread::msleep(20);
        return done();
    };
    QVERIFY(until([] { return QFile::exists(QStringLiteral("where.txt")); }));
    QVERIFY(!QFile::exists(leftOver));
    const QString copy = QString::fromLocal8Bit(readAll(QStringLiteral("where.txt"))).trimmed();
    QVERIFY2(QFileInfo(copy).fileName().startsWith(QLatin1String("zerivirav-run-")), qPrintable(copy));
    QCOMPARE(readAll(QStringLiteral("seen.bat")), script);
    QVERIFY2(until([&copy] { return !QFile::exists(copy); }), qPrintable(copy));
}

QTEST_APPLESS_MAIN(TestScript)
#include "tst_script.moc"
