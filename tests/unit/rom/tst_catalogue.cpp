#include "platform/files.h"
#include "rom/catalogue.h"
#include "rom/fingerprint.h"
#include "unit/rom/rom_fixtures.h"

#include <QTemporaryDir>
#include <QTest>

using namespace rom;

namespace {

QString q(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// What identification of a file on disk yields: the row index, or -1.
int identify(const QString &path)
{
    const auto probe = probeRom(platform::nameBytes(path));
    if (!probe)
        return -2;
    const GameRow *row = lookup(fingerprint(probe->firstLine), probe->length);
    return row ? int(row - kCatalogue.data()) : -1;
}

} // namespace

class TestCatalogue final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void textsVerbatim_data();
    void textsVerbatim();
    void fixtureBytesFormEachKey();
    void eachRowRecognisedFromFile_data();
    void eachRowRecognisedFromFile();
    void rowSixOrNineByLength_data();
    void rowSixOrNineByLength();
    void nearMissesMatchNothing_data();
    void nearMissesMatchNothing();
    void shortFirstLineMatchesNothing();

private:
    QTemporaryDir m_dir;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestCatalogue::textsVerbatim_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("key");
    QTest::addColumn<qint64>("requiredLength");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("picture");

    const auto add = [](int row, const char *key, qint64 len, QStringList texts, const char *picture) {
        QTest::addRow("row %d", row) << row << QString::fromLatin1(key) << len << texts
                                     << QString::fromLatin1(picture);
    };
    add(1, "A9FD85858D8A2FF", 0,
        {"Acid Drop", "16 KB", "Standard 16K bank switching", "Joystick", "Salu", "Extremly Rare"}, "");
    add(2, "4CEFF278D84C6F3", 0, {"Adventure", "4 KB", "Standard 4K game", "Joystick", "Atari", "Common"},
        "graphics\\adventure.bmp");
    add(3, "78D8A28A959A8685", 0,
        {"Action Force", "4 KB", "Standard 4K game", "Paddle", "Parker Bros", "Extremly Rare"},
        "graphics\\actionmn.bmp");
    add(4, "7E666666667E7E18", 0,
        {"Adventures of the TRON", "4 KB", "Standard 4K game", "Joystick", "M-Network", "Uncommon"},
        "graphics\\tron.bmp");
    add(5, "78D8A2FF9AE88A95", 0,
        {"Air Raid", "4 KB", "Standard 4K game", "Joystick", "Unknown company", "Prototype"},
        "graphics\\airraid.bmp");
    add(6, "78D8A9AA95E8D0FB", 0,
        {"Air-Sea Battle", "2 KB", "Standard 2K game", "Joystick", "Atari", "Uncommon"}, "graphics\\airsea.bmp");
    add(7, "FEC6D6D6C6FE3818", 0, {"Air Raiders", "4 KB", "Standard 4K game", "Joystick", "M-Network", "Rare"},
        "graphics\\airraids.bmp");
    add(8, "78D8A9AA95CAD0FB", 0, {"Airlock", "4 KB", "Standard 4K game", "Joystick", "Data Age", "Common"},
        "graphics\\airlock.bmp");
    add(9, "78D8A9AA95E8D0FB", 4096,
        {"Air-Sea Battle (Changed Graphics)", "4 KB", "Standard 4K game", "Joystick", "Unknown", "Hack/Prototype"},
        "graphics\\airsea2.bmp");
    add(10, "1E33333333331E3F", 0,
        {"Alien", "4 KB", "Standard 4K game", "Joystick", "20th Century Fox", "Rare"}, "graphics\\alien.bmp");
}

void TestCatalogue::textsVerbatim()
{
    QFETCH(int, row);
    QFETCH(QString, key);
    QFETCH(qint64, requiredLength);
    QFETCH(QStringList, texts);
    QFETCH(QString, picture);

    const GameRow &r = kCatalogue[std::size_t(row - 1)];
    QCOMPARE(q(r.key), key);
    QCOMPARE(qint64(r.requiredLength), requiredLength);
    const QStringList got{q(r.name), q(r.sizeText), q(r.romType), q(r.joystick), q(r.maker), q(r.rarity)};
    QCOMPARE(got, texts);
    QCOMPARE(q(r.picture), picture);
    QCOMPARE(q(kDefaultPicture), QStringLiteral("graphics\\atari.gif"));
}

void TestCatalogue::fixtureBytesFormEachKey()
{
    for (const GameRow &row : kCatalogue) {
        const std::string head = fixtures::bytesForFingerprint(row.key);
        QCOMPARE(head.size(), std::size_t(kFirstLineBytesNeeded));
        QCOMPARE(head.find('\r'), std::string::npos);
        QCOMPARE(q(fingerprint(firstLineStart(head))), q(row.key));
    }
    // Not every hex text is a fingerprint of eight positions.
    QVERIFY(fixtures::bytesForFingerprint("41").empty());
    QVERIFY(fixtures::bytesForFingerprint("0000000000000000").empty());
    QVERIFY(fixtures::bytesForFingerprint("4142434445464748A").empty());
}

void TestCatalogue::eachRowRecognisedFromFile_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<qint64>("length");
    for (int row = 1; row <= 10; ++row) {
        // Row 6's key at 4096 bytes is row 9's file.
        const qint64 length = row == 1 ? 16384 : row == 6 ? 2048 : 4096;
        QTest::addRow("row %d", row) << row << length;
    }
}

void TestCatalogue::eachRowRecognisedFromFile()
{
    QFETCH(int, row);
    QFETCH(qint64, length);

    const QString path = m_dir.filePath(QStringLiteral("row%1.bin").arg(row));
    QVERIFY(fixtures::writeRomFile(path, kCatalogue[std::size_t(row - 1)].key, length));
    QCOMPARE(identify(path), row - 1);
}

void TestCatalogue::rowSixOrNineByLength_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("picture");

    const QString six = QStringLiteral("Air-Sea Battle");
    const QString sixPicture = QStringLiteral("graphics\\airsea.bmp");
    QTest::newRow("2048") << qint64(2048) << six << sixPicture;
    QTest::newRow("4095") << qint64(4095) << six << sixPicture;
    QTest::newRow("4096") << qint64(4096) << QStringLiteral("Air-Sea Battle (Changed Graphics)")
                          << QStringLiteral("graphics\\airsea2.bmp");
    QTest::newRow("4097") << qint64(4097) << six << sixPicture;
    QTest::newRow("8192") << qint64(8192) << six << sixPicture;
}

void TestCatalogue::rowSixOrNineByLength()
{
    QFETCH(qint64, length);
    QFETCH(QString, name);
    QFETCH(QString, picture);

    const QString path = m_dir.filePath(QStringLiteral("airsea.bin"));
    QVERIFY(fixtures::writeRomFile(path, "78D8A9AA95E8D0FB", length));
    const auto probe = probeRom(platform::nameBytes(path));
    QVERIFY(probe);
    QCOMPARE(qint64(probe->length), length);
    const GameRow *row = lookup(fingerprint(probe->firstLine), probe->length);
    QVERIFY(row);
    QCOMPARE(q(row->name), name);
    QCOMPARE(q(row->picture), picture);
    if (length != 4096)
        QCOMPARE(q(row->sizeText), QStringLiteral("2 KB"));
}

void TestCatalogue::nearMissesMatchNothing_data()
{
    QTest::addColumn<QString>("fingerprint");
    QTest::addColumn<qint64>("length");

    QTest::newRow("empty") << QString() << qint64(4096);
    QTest::newRow("lower case key") << QStringLiteral("78d8a2ff9ae88a95") << qint64(4096);
    QTest::newRow("key plus a digit") << QStringLiteral("A9FD85858D8A2FF0") << qint64(4096);
    QTest::newRow("key less its first digit") << QStringLiteral("CEFF278D84C6F3") << qint64(4096);
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        const GameRow &row = kCatalogue[i];
        if (row.key.size() == 16)
            QTest::addRow("15-digit prefix of row %d", int(i + 1))
                << q(row.key.substr(0, 15)) << qint64(row.requiredLength ? row.requiredLength : 4096);
    }
}

void TestCatalogue::nearMissesMatchNothing()
{
    QFETCH(QString, fingerprint);
    QFETCH(qint64, length);
    QCOMPARE(lookup(fingerprint.toStdString(), length), nullptr);
}

void TestCatalogue::shortFirstLineMatchesNothing()
{
    // A row 5 file whose first line ends after eight bytes gives only three parts.
    std::string content = fixtures::bytesForFingerprint("78D8A2FF9AE88A95");
    content[8] = '\r';
    content.resize(4096, '\0');
    const QString path = m_dir.filePath(QStringLiteral("short.bin"));
    QVERIFY(fixtures::writeRawFile(path, content));
    QCOMPARE(identify(path), -1);
}

QTEST_APPLESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
