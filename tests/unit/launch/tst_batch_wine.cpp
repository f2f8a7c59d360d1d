// Our batch quoting and our command-line split, checked against a real
// command interpreter: each launch script is run by wine's cmd with the
// Windows stand-in as quex.exe, and what the stand-in's C runtime parsed must
// equal what splitScriptCommandLine makes of the same script.

#include "launch/script.h"
#include "launch/script_command_line.h"
#include "options/options_line.h"
#include "standin_log.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// ROM names the front end passes on: ASCII, with every character the
// interpreter treats specially, alone and mixed.
QList<QByteArray> corpus()
{
    QList<QByteArray> names{"plain.bin", "blank name.bin", " leading.bin", "trailing.bin ", "  two  blanks  .bin",
                            "%%.bin", "%1.bin", "%PATH%.bin", "100% fun.bin", "50%off%.bin", "!x!.bin", "x -s0",
                            "x-s0 x.bin", "\\back\\slash\\.bin", "a\\ b.bin", "(.bin", ").bin", "^^caret^.bin"};
    for (char special : QByteArrayView("&|<>^(),;=%"))
        names << QByteArray("a") + special + "b.bin" << QByteArray(1, special) + ".bin";
    names << QByteArray(196, 'x') + ".bin"; // 200 characters
    names << "Tom & Jerry (1982) [a];b=c,d^e%f%g!h!.bin" << "%PATH% & %1 > nul.bin" << "a|b<c>d.bin"
          << "x ^& y.bin" << "=start.bin" << ",;=.bin" << "quoted\\\\ end .bin";
    return names;
}

// A random options line, as Run builds it.
QByteArray optionsLine(QRandomGenerator &random)
{
    static const QStringList values{"", "60", "3", "1", "0", "2.5", "-3", "1e5", "253", "abc", "&H1F"};
    options::CheckValues checks{};
    for (int &box : checks)
        box = int(random.bounded(2));
    options::FieldTexts texts;
    for (QString &text : texts)
        text = values.at(int(random.bounded(int(values.size()))));
    return options::buildOptionsLine(checks, texts).toLatin1();
}

} // namespace

class TestBatchWine final : public QObject
{
    Q_OBJECT

private slots:
    void interpreterAgrees();
};

void TestBatchWine::interpreterAgrees()
{
    const QString standin = qEnvironmentVariable("ZV_QUEX_STANDIN_WIN");
    QVERIFY2(QFileInfo(standin).isFile(), "ZV_QUEX_STANDIN_WIN must name the Windows stand-in");
    QVERIFY2(!qEnvironmentVariable("WINEPREFIX").isEmpty(), "the tests' own wine prefix must be set");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QFile::copy(standin, "quex.exe"));

    QRandomGenerator random(2600);
    for (const QByteArray &name : corpus()) {
        const std::optional<QByteArray> argument = launch::commandLineRomName(name);
        QVERIFY2(argument, name.constData());
        const QByteArray script = launch::scriptBytes(optionsLine(random), *argument);
        QCOMPARE(launch::writeScript(script), std::nullopt);
        QFile::remove("quex.log");

        QProcess cmd;
        cmd.setProcessChannelMode(QProcess::MergedChannels);
        cmd.start("wine", {"cmd", "/c", "Quex.bat"});
        QVERIFY2(cmd.waitForFinished(60000), name.constData());

        // Line 3, without its CR, as our split takes it.
        std::vector<QByteArray> expected = launch::splitScriptCommandLine(script.split('\n').value(2).chopped(1));
        expected.erase(expected.begin());
        const QList<StandinRecord> runs = readStandinLog();
        QVERIFY2(runs.size() == 1, qPrintable(QString("%1: %2 runs; the interpreter said: %3")
                                                  .arg(QString::fromLatin1(name)).arg(runs.size())
                                                  .arg(QString::fromLocal8Bit(cmd.readAll()))));
        QCOMPARE(runs.front().args, QList<QByteArray>(expected.begin(), expected.end()));
        QCOMPARE(runs.front().args.last(), name);
    }
    QDir::setCurrent(previous);
}

QTEST_APPLESS_MAIN(TestBatchWine)
#include "tst_batch_wine.moc"
