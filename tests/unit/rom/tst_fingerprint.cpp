#include "platform/files.h"
#include "platform_fixture.h"
#include "rom/fingerprint.h"
#include "unit/rom/rom_fixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>


using namespace rom;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += char(v);
    return out;
}

QByteArray toQ(const std::string &s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

class TestFingerprint final : public QObject
{
    Q_OBJECT

private slots:
    void fingerprintOfFile_data();
    void fingerprintOfFile();
    void everyByteValueWrittenWithoutLeadingZero();
    void bytesAfterTheNinthIgnored();
    void firstLineStart_data();
    void firstLineStart();
    void rejectedPaths_data();
    void rejectedPaths();
    void fifoDoesNotBlock();
    void symlinkToRegularFileIsRead();
    void unreadableFile();
    void hugeSparseFileReadsOnlyItsStart();
    void fileWithoutCarriageReturn();

private:
    QTemporaryDir m_dir;
};

void TestFingerprint::fingerprintOfFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    const std::string nine = "ABCDEFGHI";
    QTest::newRow("worked example, row 5 key")
        << toQ(bytes({0x78, 0xD8, 0xA2, 0xFF, 0x9A, 0xE8, 0x8A, 0x95, 0x00})) << "78D8A2FF9AE88A95";
    QTest::newRow("three bytes below 16")
        << toQ(bytes({0x00, 0xFF, 0x10, 0x0F, 0x80, 0x01, 0x7F, 0xFE, 0x20})) << "0FF10F8017FFE";
    QTest::newRow("bytes 01 to 08")
        << toQ(bytes({1, 2, 3, 4, 5, 6, 7, 8, 9})) << "12345678";
    QTest::newRow("eight characters then CR")
        << toQ("ABCDEFGH\rIJKLMNOP") << "414243";
    QTest::newRow("nine characters then CR")
        << toQ(nine + "\rJ") << "4142434445464748";
    QTest::newRow("line feed is an ordinary character")
        << toQ(bytes({0x41, 0x0A, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48})) << "41A424344454647";
    QTest::newRow("line feed makes the ninth character")
        << toQ("ABCDEFGH\n\rxyz") << "4142434445464748";
    QTest::newRow("CR LF after eight")
        << toQ("ABCDEFGH\r\nIJ") << "414243";
    QTest::newRow("two characters then CR") << toQ(bytes({0x41, 0x42, 0x0D})) << "4142";
    QTest::newRow("four characters then CR") << toQ(bytes({0x41, 0x42, 0x43, 0x44, 0x0D})) << "414243";
    QTest::newRow("one character, no CR") << toQ("A") << "41";
    QTest::newRow("one low byte") << toQ(bytes({0x05})) << "5";
    QTest::newRow("empty first line") << toQ("\rABCDEFGHIJ") << "";
    QTest::newRow("byte 26 kept")
        << toQ(bytes({0x1A, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48})) << "1A41424344454647";
    QTest::newRow("byte 26 keeps the line long")
        << toQ(bytes({0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x1A})) << "4142434445464748";
    QTest::newRow("CR as tenth byte") << toQ(nine + "\r") << "4142434445464748";
    QTest::newRow("2048 bytes, no CR")
        << toQ(fixtures::bytesForFingerprint("78D8A9AA95E8D0FB") + std::string(2039, '\x55'))
        << "78D8A9AA95E8D0FB";
}

void TestFingerprint::fingerprintOfFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(QStringLiteral("case.bin"));
    QVERIFY(fixtures::writeRawFile(path, std::string_view(content.constData(), std::size_t(content.size()))));

    const auto probe = probeRom(platform::nameBytes(path));
    QVERIFY(probe);
    QCOMPARE(probe->length, std::int64_t(content.size()));
    QVERIFY(probe->firstLine.size() <= std::size_t(kFirstLineBytesNeeded));
    QCOMPARE(QString::fromStdString(fingerprint(probe->firstLine)), expected);
}

void TestFingerprint::everyByteValueWrittenWithoutLeadingZero()
{
    for (int b = 0; b < 256; ++b) {
        const std::string line(9, char(b));
        const QString part = QString::number(b, 16).toUpper();
        QCOMPARE(QString::fromStdString(fingerprint(line)), part.repeated(8));
        QCOMPARE(QString::fromStdString(fingerprint(line.substr(0, 3))), part.repeated(3));
    }
}

void TestFingerprint::bytesAfterTheNinthIgnored()
{
    QCOMPARE(fingerprint("ABCDEFGHIJKLMNOP"), std::string("4142434445464748"));
    QCOMPARE(fingerprint(""), std::string());
}

void TestFingerprint::firstLineStart_data()
{
    QTest::addColumn<QByteArray>("fileStart");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("starts with CR") << QByteArray("\rABC") << QByteArray();
    QTest::newRow("cut at CR") << QByteArray("AB\rCD") << QByteArray("AB");
    QTest::newRow("cut at first of two CRs") << QByteArray("ABCD\rEF\rG") << QByteArray("ABCD");
    QTest::newRow("at most nine bytes") << QByteArray("ABCDEFGHIJKL") << QByteArray("ABCDEFGHI");
    QTest::newRow("CR beyond nine bytes") << QByteArray("ABCDEFGHIJ\rK") << QByteArray("ABCDEFGHI");
    QTest::newRow("line feed kept") << QByteArray("A\nB\nC") << QByteArray("A\nB\nC");
    QTest::newRow("byte 26 kept") << QByteArray("AB\x1A" "CD") << QByteArray("AB\x1A" "CD");
    QTest::newRow("NUL bytes kept") << QByteArray("\0\0A\r", 4) << QByteArray("\0\0A", 3);
}

void TestFingerprint::firstLineStart()
{
    QFETCH(QByteArray, fileStart);
    QFETCH(QByteArray, expected);
    const std::string got = rom::firstLineStart(std::string_view(fileStart.constData(), std::size_t(fileStart.size())));
    QCOMPARE(toQ(got), expected);
}

void TestFingerprint::rejectedPaths_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"missing", "zero bytes", "directory"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
    if constexpr (fixture::kPosix) {
        for (const char *kind : {"symlink to directory", "broken symlink", "symlink to zero bytes", "socket",
                                 "character device", "symlink to device"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
}

void TestFingerprint::rejectedPaths()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("x.bin"));

    if (kind == QLatin1String("missing")) {
        // nothing to create
    } else if (kind == QLatin1String("zero bytes")) {
        QVERIFY(fixtures::writeRawFile(path, {}));
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("x.bin")));
    } else if (kind == QLatin1String("symlink to directory")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("d")));
        QVERIFY(fixture::makeSymlink(dir.filePath(QStringLiteral("d")), path));
    } else if (kind == QLatin1String("broken symlink")) {
        QVERIFY(fixture::makeSymlink(dir.filePath(QStringLiteral("gone.bin")), path));
    } else if (kind == QLatin1String("symlink to zero bytes")) {
        QVERIFY(fixtures::writeRawFile(dir.filePath(QStringLiteral("empty")), {}));
        QVERIFY(fixture::makeSymlink(dir.filePath(QStringLiteral("empty")), path));
    } else if (kind == QLatin1String("socket")) {
        QVERIFY(fixture::makeSocket(path));
    } else if (kind == QLatin1String("character device")) {
        QVERIFY(QFile::exists(QStringLiteral("/dev/zero")));
        QVERIFY(!probeRom(platform::nameBytes(QStringLiteral("/dev/zero"))));
        QVERIFY(!probeRom(platform::nameBytes(QStringLiteral("/dev/null"))));
        return;
    } else if (kind == QLatin1String("symlink to device")) {
        QVERIFY(fixture::makeSymlink(QStringLiteral("/dev/zero"), path));
    }

    QVERIFY(!probeRom(platform::nameBytes(path)));
}

void TestFingerprint::fifoDoesNotBlock()
{
    if constexpr (!fixture::kPosix)
        QSKIP("Windows has no named pipes among file names");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("x.bin"));
    QVERIFY(fixture::makeFifo(fifo));
    const QString link = dir.filePath(QStringLiteral("link.bin"));
    QVERIFY(fixture::makeSymlink(fifo, link));

    for (const QString &path : {fifo, link}) {
        fixtures::FifoRescuer rescuer(fifo);
        const auto probe = probeRom(platform::nameBytes(path));
        QVERIFY2(!rescuer.hadToRescue(), qPrintable(QStringLiteral("blocked opening %1").arg(path)));
        QVERIFY(!probe);
    }
}

void TestFingerprint::symlinkToRegularFileIsRead()
{
    if constexpr (!fixture::kPosix)
        QSKIP("links are not tried on Windows");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("real.bin"));
    QVERIFY(fixtures::writeRomFile(target, "7E666666667E7E18", 2048));
    const QString link = dir.filePath(QStringLiteral("x.bin"));
    QVERIFY(fixture::makeSymlink(target, link));

    const auto probe = probeRom(platform::nameBytes(link));
    QVERIFY(probe);
    QCOMPARE(probe->length, std::int64_t(2048));
    QCOMPARE(fingerprint(probe->firstLine), std::string("7E666666667E7E18"));
}

void TestFingerprint::unreadableFile()
{
    if (fixture::readsEveryFile() || !fixture::kPosix)
        QSKIP("root reads files regardless of their permissions, and Windows has no unreadable mode");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("x.bin"));
    QVERIFY(fixtures::writeRomFile(path, "78D8A2FF9AE88A95", 4096));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QVERIFY(!probeRom(platform::nameBytes(path)));
}

void TestFingerprint::hugeSparseFileReadsOnlyItsStart()
{
    constexpr std::int64_t fourGiB = std::int64_t(4) << 30;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("huge.bin"));
    if (!fixtures::writeRomFile(path, "78D8A2FF9AE88A95", fourGiB))
        QSKIP("the file system cannot hold a sparse 4 GiB file here");

    // Only the first line's start is read, however large the file: the bytes
    // this process reads (rchar) grow by a handful, not by gigabytes.
    const qint64 before = fixtures::bytesReadSoFar();
    QVERIFY2(before >= 0, "this system does not count the bytes a process reads");
    const auto probe = probeRom(platform::nameBytes(path));
    const qint64 read = fixtures::bytesReadSoFar() - before;
    QVERIFY(probe);
    QCOMPARE(probe->length, fourGiB);
    QCOMPARE(fingerprint(probe->firstLine), std::string("78D8A2FF9AE88A95"));
    QVERIFY2(read < 64 * 1024, qPrintable(QStringLiteral("read %1 bytes").arg(read)));
}

void TestFingerprint::fileWithoutCarriageReturn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("x.bin"));
    QVERIFY(fixtures::writeRawFile(path, std::string(1 << 20, 'Z')));

    const auto probe = probeRom(platform::nameBytes(path));
    QVERIFY(probe);
    QCOMPARE(probe->length, std::int64_t(1 << 20));
    QCOMPARE(probe->firstLine, std::string(9, 'Z'));
    QCOMPARE(fingerprint(probe->firstLine), std::string("5A5A5A5A5A5A5A5A"));
}

QTEST_APPLESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
