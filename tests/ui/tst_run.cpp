// Run, from the ticked options to the emulator's arguments: the exact bytes of
// Quex.bat and what the quex stand-in really received.

#include "app/zerivirav.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QTabWidget>

namespace {

void selectFile(Zerivirav &w, const QString &name)
{
    const QStringList names = qobject_cast<QStringListModel *>(w.File2->model())->stringList();
    const int row = int(names.indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    w.File2->setCurrentIndex(w.File2->model()->index(row, 0));
}

QByteArray script(const QByteArray &commandLine)
{
    return "\"\r\necho off\r\n" + commandLine + "\r\n\"\r\n";
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT

private slots:
    void runPassesOptionsAndName_data()
    {
        QTest::addColumn<QString>("rom");
        QTest::addColumn<QByteArray>("commandLine");
        QTest::addColumn<QList<QByteArray>>("received");
        QTest::newRow("plain") << "GAME.BIN" << QByteArray("quex.exe -r50 -q -x GAME.BIN")
                               << QList<QByteArray>{"-r50", "-q", "-x", "GAME.BIN"};
        QTest::newRow("blank") << "Test Cart.bin" << QByteArray("quex.exe -r50 -q -x \"Test Cart.bin\"")
                               << QList<QByteArray>{"-r50", "-q", "-x", "Test Cart.bin"};
        QTest::newRow("ampersand") << "Tom&Jerry.bin" << QByteArray("quex.exe -r50 -q -x \"Tom&Jerry.bin\"")
                                   << QList<QByteArray>{"-r50", "-q", "-x", "Tom&Jerry.bin"};
        QTest::newRow("percent") << "100%.bin" << QByteArray("quex.exe -r50 -q -x 100%%.bin")
                                 << QList<QByteArray>{"-r50", "-q", "-x", "100%.bin"};
        QTest::newRow("non-ASCII") << QString::fromUtf8("Ärger (1983).bin")
                                   << QByteArray("quex.exe -r50 -q -x \"\xC3\x84rger (1983).bin\"")
                                   << QList<QByteArray>{"-r50", "-q", "-x", "\xC3\x84rger (1983).bin"};
    }
    void runPassesOptionsAndName()
    {
        QFETCH(QString, rom);
        QFETCH(QByteArray, commandLine);
        QFETCH(QList<QByteArray>, received);
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(rom, "rom"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, rom);
        // Ticked on three different pages; only the General page is ever shown.
        w.TabStrip1->setCurrentIndex(3);
        w.Check5->setChecked(true);
        w.Check4->setChecked(true);
        w.Text1->setText(QStringLiteral("50"));
        w.Check18->setChecked(true);
        w.Text5->setText(QStringLiteral("3")); // its box is not ticked
        w.Run_Click();
        QVERIFY2(errors.entries.isEmpty(), qPrintable(errors.entries.value(0).description));
        QCOMPARE(w.optionsLine(), QStringLiteral(" -r50 -q -x"));
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script(commandLine));
        const QList<StandinRecord> runs = waitForStandinLog(1);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].args, received);
        QCOMPARE(double(runs[0].pid), w.taskId());
    }

    void runWithNothingSelected()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        w.Run_Click();
        QVERIFY(errors.entries.isEmpty());
        const QByteArray bytes = UiFolder::readAll(QStringLiteral("Quex.bat"));
        QCOMPARE(bytes.size(), 27);
        QCOMPARE(bytes, script("quex.exe "));
        const QList<StandinRecord> runs = waitForStandinLog(1);
        QCOMPARE(runs.size(), 1);
        QVERIFY(runs[0].args.isEmpty());
    }

    void twoRunsWriteIdenticalScripts()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "rom"));
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("Quex.bat"), QByteArray(5000, 'x').toStdString()));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, QStringLiteral("GAME.BIN"));
        w.Check5->setChecked(true);
        w.Run_Click();
        const QByteArray first = UiFolder::readAll(QStringLiteral("Quex.bat"));
        QCOMPARE(first.size(), 38); // the old, longer file is gone completely
        w.Run_Click();
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), first);
        QCOMPARE(waitForStandinLog(2).size(), 2);
        QVERIFY(errors.entries.isEmpty());
    }

    // A name that cannot be passed safely is refused: nothing written, nothing started.
    void unsafeNameRefused_data()
    {
        QTest::addColumn<QString>("rom");
        QTest::newRow("double quote") << "say \"hi\".bin";
        QTest::newRow("line break") << "two\nlines.bin";
    }
    void unsafeNameRefused()
    {
        QFETCH(QString, rom);
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(rom, "rom"));
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("Quex.bat"), "old script"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, rom);
        w.Run_Click();
        QCOMPARE(errors.entries.size(), 1);
        QCOMPARE(errors.entries[0].number, ui::ErrorNumber::BadFileName);
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), QByteArray("old script"));
        QTest::qWait(200);
        QVERIFY(readStandinLog().isEmpty());
    }

    // After start-up a failure is reported and the program keeps what it had.
    void failuresAreReportedAndSurvived()
    {
        UiFolder folder(true, false);
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "rom"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, QStringLiteral("GAME.BIN"));
        w.Check3->setChecked(true);

        // No quex.exe: the script is written, the start is reported.
        w.Run_Click();
        QCOMPARE(errors.entries.size(), 1);
        QVERIFY2(errors.entries[0].description.contains(QLatin1String("quex.exe")),
                 qPrintable(errors.entries[0].description));
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script("quex.exe -r GAME.BIN"));

        // A script that cannot be written: reported, nothing started, ticks kept.
        QVERIFY(QFile::remove(QStringLiteral("Quex.bat")));
        QVERIFY(QDir().mkdir(QStringLiteral("Quex.bat")));
        w.Run_Click();
        QCOMPARE(errors.entries.size(), 2);
        QVERIFY2(errors.entries[1].description.contains(QLatin1String("Quex.bat")),
                 qPrintable(errors.entries[1].description));
        QVERIFY(w.Check3->isChecked());

        // Fixed: the next Run works.
        QVERIFY(QDir().rmdir(QStringLiteral("Quex.bat")));
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("ZV_QUEX_STANDIN")), QStringLiteral("quex.exe")));
        w.Run_Click();
        QCOMPARE(errors.entries.size(), 2);
        const QList<StandinRecord> runs = waitForStandinLog(1);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].args, (QList<QByteArray>{"-r", "GAME.BIN"}));
    }
};

QTEST_MAIN(TestRun)
#include "tst_run.moc"
