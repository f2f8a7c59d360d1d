// Run, from the ticked options to the emulator's arguments: the exact bytes of
// Quex.bat and what the quex stand-in really received.

#include "app/zerivirav.h"
#include "launch/task.h"
#include "platform_fixture.h"
#include "ui/picture_button.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QListView>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace {

void selectFile(Zerivirav &w, const QString &name)
{
    const QStringList names = listedNames(w.File2->model());
    const int row = int(names.indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    w.File2->setCurrentIndex(w.File2->model()->index(row, 0));
}

QByteArray script(const QByteArray &commandLine)
{
    return "\"\r\necho off\r\n" + commandLine + "\r\n\"\r\n";
}

// Until the interpreter has ended: the watch goes then.
void untilScriptDone(Zerivirav &w)
{
    if constexpr (!fixture::kPosix)
        QTRY_VERIFY_WITH_TIMEOUT(w.findChildren<launch::TaskWatch *>().isEmpty(), 15000);
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
        // On Windows the name goes in the system's code page or by its short
        // name: what reaches quex.exe is checked by the file it opens.
        QTest::newRow("non-ASCII") << QString::fromUtf8("Ärger (1983).bin")
                                   << QByteArray("quex.exe -r50 -q -x \"\xC3\x84rger (1983).bin\"")
                                   << QList<QByteArray>{"-r50", "-q", "-x", "\xC3\x84rger (1983).bin"};
        QTest::newRow("Greek") << QString::fromUtf8("Ωμέγα.bin") << QByteArray("quex.exe -r50 -q -x Ωμέγα.bin")
                               << QList<QByteArray>{"-r50", "-q", "-x", "Ωμέγα.bin"};
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
        const QList<StandinRecord> runs = waitForStandinLog(1);
        QCOMPARE(runs.size(), 1);
        if (fixture::kPosix || rom.toLatin1() == rom.toUtf8()) {
            QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script(commandLine));
            QCOMPARE(runs[0].args, received);
        } else {
            QVERIFY(!UiFolder::readAll(QStringLiteral("Quex.bat")).contains('?'));
        }
        if constexpr (!fixture::kPosix) {
            const QList<StandinRecord> opened = waitForStandinLog(1, QStringLiteral("quex.opened"));
            QCOMPARE(opened.size(), 1);
            QCOMPARE(opened[0].args, (QList<QByteArray>{rom.toUtf8(), "rom"}));
        }
        if constexpr (fixture::kPosix) // on Windows the task is the interpreter, the emulator its child
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
        QCOMPARE(standinArguments(), QList<QList<QByteArray>>{{}});
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
        w.Run_Click(); // while the first interpreter may still run

        QVERIFY2(errors.entries.isEmpty(), qPrintable(errors.entries.value(0).description));
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), first);
        QCOMPARE(waitForStandinLog(2).size(), 2);
        QVERIFY2(errors.later.isEmpty(), qPrintable(errors.later.value(0).description));
    }

    // A double-click on Run starts one emulator; presses further apart, or
    // with other options, each start one. Times are the events' own. Every
    // Run is over when its click returns: whether it started a task shows in
    // the task id at once.
    void doubleClickStartsOnce()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "rom"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, QStringLiteral("GAME.BIN"));
        QList<double> tasks; // the window's task id after each click
        const auto click = [&w, &tasks](quint64 time) {
            const QPointF at(10, 10);
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent event(type, at, w.Run->mapToGlobal(at), Qt::LeftButton,
                                  type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
                event.setTimestamp(time);
                QApplication::sendEvent(w.Run, &event);
            }
            tasks << w.taskId();
        };
        const quint64 interval = quint64(QApplication::doubleClickInterval());
        click(1000);
        click(1000 + interval / 2); // the same press
        click(1000 + interval * 2); // a press of its own
        w.Check5->setChecked(true);
        click(1000 + interval * 2 + 10); // other options: a press of its own
        // Events whose time stands still (a virtual keyboard's) are timed as
        // they come; the second follows the first Run at once, however long
        // that Run took.
        QTest::qWait(int(interval) + 100);
        click(0);
        click(0);
        QCOMPARE(tasks.size(), 6);
        QVERIFY(tasks[0] > 0);
        QCOMPARE(tasks[1], tasks[0]);
        QVERIFY(tasks[2] != tasks[1]);
        QVERIFY(tasks[3] != tasks[2]);
        QVERIFY(tasks[4] != tasks[3]);
        QCOMPARE(tasks[5], tasks[4]);
        QList<QList<QByteArray>> runs = standinArguments(4); // in the order the processes got to it
        std::sort(runs.begin(), runs.end());
        QCOMPARE(runs, (QList<QList<QByteArray>>{{"-q", "GAME.BIN"}, {"-q", "GAME.BIN"}, {"GAME.BIN"}, {"GAME.BIN"}}));
        QVERIFY(errors.entries.isEmpty());
    }

    // A key that clicked nothing lends no time to a later click without an
    // input event of its own, such as a screen reader's press action.
    void pressActionAfterOtherKeysStarts()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "rom"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, QStringLiteral("GAME.BIN"));
        QVERIFY(shownAndExposed(w));
        w.Run->setFocus();
        const auto key = [&w](QEvent::Type type, int code, quint64 time) {
            QKeyEvent event(type, code, Qt::NoModifier, code == Qt::Key_Space ? QStringLiteral(" ") : QString());
            event.setTimestamp(time);
            QApplication::sendEvent(w.Run, &event);
        };
        key(QEvent::KeyPress, Qt::Key_Space, 1000);
        key(QEvent::KeyRelease, Qt::Key_Space, 1010);
        const double first = w.taskId();
        QVERIFY(first > 0);
        key(QEvent::KeyPress, Qt::Key_Shift, 1020); // clicks nothing
        key(QEvent::KeyRelease, Qt::Key_Shift, 1030);
        QCoreApplication::processEvents();
        w.Run->click();
        QVERIFY(w.taskId() != first);
        QCOMPARE(standinArguments(2).size(), 2);
        QVERIFY(errors.entries.isEmpty());
    }

    // A name that cannot be passed safely is refused: nothing written, nothing started.
    void unsafeNameRefused_data()
    {
        QTest::addColumn<QString>("rom");
        QTest::addColumn<QString>("reason");
        if constexpr (fixture::kPosix) { // names Windows cannot have
            QTest::newRow("double quote") << "say \"hi\".bin" << "double quote";
            QTest::newRow("line break") << "two\nlines.bin" << "control character";
        }
        QTest::newRow("a switch") << "-s0.bin" << "starts with \"-\"";
    }
    void unsafeNameRefused()
    {
        QFETCH(QString, rom);
        QFETCH(QString, reason);
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(rom, "rom"));
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("Quex.bat"), "old script"));
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, rom);
        w.Run_Click();
        QCOMPARE(errors.entries.size(), 1);
        QCOMPARE(errors.entries[0].number, ui::ErrorNumber::BadFileName);
        QVERIFY2(errors.entries[0].description.contains(rom) && errors.entries[0].description.contains(reason),
                 qPrintable(errors.entries[0].description));
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), QByteArray("old script"));
        QTest::qWait(200);
        QVERIFY(readStandinLog().isEmpty());
    }

    // A ROM folder is untrusted: whatever it holds under the script's name,
    // Run starts the emulator with the chosen ROM, as the script just written
    // says, and writes nothing outside the folder.
    void plantedScriptsNeverRun_data()
    {
        QTest::addColumn<QStringList>("planted");
        QTest::addColumn<QString>("kind");
        QTest::newRow("lowercase quex.bat") << QStringList{"quex.bat"} << "script";
        QTest::newRow("future-dated QUEX.BAT") << QStringList{"QUEX.BAT"} << "future script";
        QTest::newRow("qUeX.bAt") << QStringList{"qUeX.bAt"} << "script";
        if constexpr (fixture::kPosix) {
            QTest::newRow("pipes") << QStringList{"quex.bat", "QUEX.BAT"} << "pipe";
            QTest::newRow("link to a file outside") << QStringList{"Quex.bat"} << "link";
            QTest::newRow("set-user-ID, writable by all") << QStringList{"Quex.bat"} << "mode 6777";
        } else {
            QTest::newRow("hidden, read-only") << QStringList{"Quex.bat"} << "hidden";
        }
    }
    void plantedScriptsNeverRun()
    {
        QFETCH(QStringList, planted);
        QFETCH(QString, kind);
        QTemporaryDir outside;
        const QString precious = outside.filePath(QStringLiteral("profile"));
        QVERIFY(rom::fixtures::writeRawFile(precious, "export PATH=/usr/bin\n"));
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "rom"));
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("hijack.sh"), "#!/bin/sh\n: > HIJACKED\n"));
        QVERIFY(QFile::setPermissions(QStringLiteral("hijack.sh"), QFile::ReadOwner | QFile::ExeOwner));
        std::optional<rom::fixtures::FifoRescuer> rescuer;
        for (const QString &name : planted) {
            if (kind == "pipe") {
                QVERIFY(fixture::makeFifo(name));
                rescuer.emplace(name);
            } else if (kind == "link") {
                QVERIFY(fixture::makeSymlink(precious, name));
            } else {
                QVERIFY(rom::fixtures::writeRawFile(name, "\"\r\necho off\r\nhijack.sh GAME.BIN\r\n\"\r\n"));
                QFile file(name);
                QVERIFY(file.open(QIODevice::ReadWrite));
                if (kind == "future script")
                    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(1), QFileDevice::FileModificationTime));
                file.close();
                if (kind == "mode 6777")
                    QVERIFY(fixture::setMode(name, 06777));
                if (kind == "hidden")
                    QVERIFY(fixture::makeHiddenReadOnly(name));
            }
        }
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, QStringLiteral("GAME.BIN"));
        w.Check5->setChecked(true);
        w.Run_Click();
        QVERIFY2(errors.entries.isEmpty(), qPrintable(errors.entries.value(0).description));
        QVERIFY2(!rescuer || !rescuer->hadToRescue(), "Run waited on a pipe");

        QCOMPARE(standinArguments(), (QList<QList<QByteArray>>{{"-q", "GAME.BIN"}}));
        QVERIFY(!QFile::exists(QStringLiteral("HIJACKED")));
        QCOMPARE(UiFolder::readAll(precious), QByteArray("export PATH=/usr/bin\n"));
        const QFileInfo written(QStringLiteral("Quex.bat"));
        QVERIFY(written.isFile() && !written.isSymLink());
        if constexpr (fixture::kPosix)
            QCOMPARE(fixture::fileMode(QStringLiteral("Quex.bat")) & 06002, 0u); // nothing of a planted file's mode
        else
            QVERIFY(!QFileInfo(QStringLiteral("Quex.bat")).isHidden());
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script("quex.exe -q GAME.BIN"));
    }

    // Where the locale's decimal separator is not one ASCII character (U+066B
    // in Arabic-script locales) the script gets a point: it holds single bytes.
    void decimalSeparatorInScript_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("commandLine");
        QTest::newRow("point") << QLocale(QLocale::English, QLocale::UnitedStates) << QByteArray("quex.exe -r2.5 ");
        QTest::newRow("comma") << QLocale(QLocale::German, QLocale::Germany) << QByteArray("quex.exe -r2,5 ");
        QTest::newRow("arabic") << QLocale(QLocale::Arabic, QLocale::Egypt) << QByteArray("quex.exe -r2.5 ");
    }
    void decimalSeparatorInScript()
    {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, commandLine);
        const QLocale saved;
        QLocale::setDefault(locale);
        const auto restore = qScopeGuard([&saved] { QLocale::setDefault(saved); });
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        w.Check4->setChecked(true);
        w.Text1->setText(QStringLiteral("2.5"));
        w.Run_Click();
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script(commandLine));
    }

    // A folder whose name is not UTF-8 (a byte 0xFF; on Windows, whose names
    // are Unicode, one outside ASCII) works: listing, identification and
    // Run, all by relative names.
    void folderNameNotUtf8()
    {
        UiFolder folder;
        const QByteArray odd = fixture::kPosix ? "roms\xFF" : "roms \xC3\xBF";
        QVERIFY(fixture::makeFolder(odd));
        namespace fs = std::filesystem;
        const fs::path there = fixture::kPosix ? fs::path(odd.toStdString())
                                               : fs::path(std::u8string(odd.begin(), odd.end()));
        fs::copy("graphics", there / "graphics", fs::copy_options::recursive);
        fs::copy_file("quex.exe", there / "quex.exe");
        QVERIFY(fixture::enterFolder(odd));
        const auto back = qScopeGuard([] { QVERIFY(fixture::enterFolder("..")); });
        QVERIFY(rom::fixtures::writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(w.loaded());
        selectFile(w, QStringLiteral("AIRRAID.BIN"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        w.Run_Click();
        QVERIFY2(errors.entries.isEmpty(), qPrintable(errors.entries.value(0).description));
        QCOMPARE(standinArguments(), QList<QList<QByteArray>>{{"AIRRAID.BIN"}});
    }

    // Enter, like Space, presses the focused button; in a value field it presses nothing.
    void enterPressesFocusedButton()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        w.TabStrip1->setCurrentIndex(3);
        w.Check3->setChecked(true);
        w.Text1->setFocus();
        QTest::keyClick(w.Text1, Qt::Key_Return);
        QVERIFY(!QFile::exists(QStringLiteral("Quex.bat")));
        w.Run->setFocus();
        QTest::keyClick(w.Run, Qt::Key_Return);
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script("quex.exe -r "));
        w.Clear->setFocus();
        QTest::keyClick(w.Clear, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!w.Check3->isChecked());
        QCOMPARE(waitForStandinLog(1).size(), 1);
    }

    // An emulator that ends at once, badly, is reported when it has ended,
    // beside the window: what ran, on which ROM, how it ended, and its last
    // words as plain text. A good end, or none, is not.
    void emulatorEndingAtOnce_data()
    {
        QTest::addColumn<QString>("rom");
        QTest::addColumn<QStringList>("standin");
        QTest::addColumn<QString>("description"); // empty: no report
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("present"); // whether the folder has quex.exe
        // How a bad end reads to the user: emulatorFailureShown. Names with
        // '<' are no Windows names.
        if constexpr (fixture::kPosix) {
            QTest::newRow("markup and controls") << "<b>Pitfall&amp;.bin" << QStringList{"SAY=<i>\x1b[31mbad\x07</i>", "EXIT=2"}
                                                 << "quex.exe ended with exit status 2 within 10 seconds of its start, on "
                                                    "the ROM \"<b>Pitfall&amp;.bin\"."
                                                 << "<i>bad\uFFFD</i>" << true;
        }
        QTest::newRow("exit 0") << "GAME.BIN" << QStringList{"SAY=fine"} << QString() << QString() << true;
        // Elsewhere the front end itself looks for quex.exe before it starts anything.
        if constexpr (!fixture::kPosix) {
            QTest::newRow("no quex.exe") << "GAME.BIN" << QStringList{}
                                         << "quex.exe ended before it ran: the command interpreter found no quex.exe "
                                            "in the folder or on the PATH within 10 seconds of its start, on the ROM "
                                            "\"GAME.BIN\"."
                                         << QString() << false;
        }
    }
    void emulatorEndingAtOnce()
    {
        QFETCH(QString, rom);
        QFETCH(QStringList, standin);
        QFETCH(QString, description);
        QFETCH(QString, output);
        QFETCH(bool, present);
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(rom, "rom"));
        if (!present)
            QVERIFY(QFile::remove(QStringLiteral("quex.exe")));
        for (const QString &setting : standin)
            qputenv(qPrintable("QUEX_STANDIN_" + setting.section('=', 0, 0)), setting.section('=', 1).toUtf8());
        const auto restore = qScopeGuard([&standin] {
            for (const QString &setting : standin)
                qunsetenv(qPrintable("QUEX_STANDIN_" + setting.section('=', 0, 0)));
        });
        CapturingReport errors;
        Zerivirav w(errors);
        selectFile(w, rom);
        w.Run_Click();
        QVERIFY(errors.entries.isEmpty());
        QVERIFY(errors.later.isEmpty()); // Run has returned before the emulator ended
        // The watch goes once it has nothing more to tell.
        QTRY_VERIFY_WITH_TIMEOUT(w.findChildren<launch::TaskWatch *>().isEmpty(), 15000);
        QCOMPARE(errors.later.size(), description.isEmpty() ? 0 : 1);
        if (!description.isEmpty()) {
            QCOMPARE(errors.later[0].description, description);
            QCOMPARE(errors.later[0].output, output);
        }
        QCOMPARE(errors.entries.size(), 0);
    }

    // An emulator that ends badly, as the user sees it: one report window
    // however many Runs end so, modal to no window, read as plain text
    // (Windows tells an exit code, and keeps no output).
    void emulatorFailureShown()
    {
        const QString rom = fixture::kPosix ? "<b>GAME.bin" : "GAME.BIN";
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(rom, "rom"));
        qputenv("QUEX_STANDIN_SAY", "quex: cannot open <i>display");
        qputenv("QUEX_STANDIN_EXIT", "3");
        const auto restore = qScopeGuard([] {
            qunsetenv("QUEX_STANDIN_SAY");
            qunsetenv("QUEX_STANDIN_EXIT");
        });
        ui::MessageBoxReport errors;
        Zerivirav w(errors);
        selectFile(w, rom);
        for (int run = 0; run < 2; ++run) {
            w.Run_Click();
            QTRY_VERIFY_WITH_TIMEOUT(w.findChildren<launch::TaskWatch *>().isEmpty(), 15000);
        }
        QList<QDialog *> shown;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
                shown << dialog;
        QCOMPARE(shown.size(), 1);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        const auto *description = shown[0]->findChild<QLabel *>(QStringLiteral("description"));
        QVERIFY(description);
        QCOMPARE(QAccessible::queryAccessibleInterface(const_cast<QLabel *>(description))->text(QAccessible::Name),
                 "quex.exe ended with " + QString(fixture::kPosix ? "exit status" : "exit code")
                     + " 3 within 10 seconds of its start, on the ROM \"" + rom + "\".");
        const auto *output = shown[0]->findChild<QPlainTextEdit *>(QStringLiteral("output"));
        QVERIFY(output);
        QCOMPARE(output->isVisible() ? output->toPlainText() : QString(),
                 fixture::kPosix ? "quex: cannot open <i>display" : "");
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

        // No quex.exe: the script is written, the start is reported (on
        // Windows the interpreter starts all the same and says so itself).
        const qsizetype reported = fixture::kPosix ? 1 : 0;
        w.Run_Click();
        QCOMPARE(errors.entries.size(), reported);
        if (reported)
            QVERIFY2(errors.entries[0].description.contains(QLatin1String("quex.exe")),
                     qPrintable(errors.entries[0].description));
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")), script("quex.exe -r GAME.BIN"));
        untilScriptDone(w); // it must not find the quex.exe put in below

        // A script that cannot be written: reported, nothing started, ticks kept.
        QVERIFY(QFile::remove(QStringLiteral("Quex.bat")));
        QVERIFY(QDir().mkdir(QStringLiteral("Quex.bat")));
        w.Run_Click();
        QCOMPARE(errors.entries.size(), reported + 1);
        QVERIFY2(errors.entries[reported].description.contains(QLatin1String("Quex.bat")),
                 qPrintable(errors.entries[reported].description));
        QVERIFY(w.Check3->isChecked());

        // Fixed: the next Run works.
        QVERIFY(QDir().rmdir(QStringLiteral("Quex.bat")));
        QVERIFY(QFile::copy(QString::fromLocal8Bit(qgetenv("ZV_QUEX_STANDIN")), QStringLiteral("quex.exe")));
        w.Run_Click();
        QCOMPARE(errors.entries.size(), reported + 1);
        QCOMPARE(standinArguments(), (QList<QList<QByteArray>>{{"-r", "GAME.BIN"}}));
    }
};

QTEST_MAIN(TestRun)
#include "tst_run.moc"
