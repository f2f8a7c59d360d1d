// The About and Readme windows as the main window's menu opens them: one
// instance each, Ok hides, the close box destroys, and ending takes them along.

#include "app/zerivirav.h"
#include "ui/picture_button.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"
#include "dialogs/about_window.h"
#include "dialogs/readme_window.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QTimer>

namespace {

int visibleTopLevels(const QString &name)
{
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            ++count;
    return count;
}

template <typename Window>
Window *shown(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return qobject_cast<Window *>(w);
    return nullptr;
}

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestSecondary : public QObject {
    Q_OBJECT

private slots:
    void aboutSingleInstance()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        w.aAbout->trigger();
        QPointer<windows::About> first = shown<windows::About>(QStringLiteral("About"));
        QVERIFY(first);
        w.aAbout->trigger(); // while shown: the same window comes to the front
        QCOMPARE(visibleTopLevels(QStringLiteral("About")), 1);
        QCOMPARE(shown<windows::About>(QStringLiteral("About")), first.data());

        // Ok hides; the next command shows the same window without reading the banner again.
        first->Cmd1_Click();
        QVERIFY(!first->isVisible());
        QVERIFY(QFile::remove(QStringLiteral("graphics/zerivirav.jpg")));
        w.aAbout->trigger();
        QCOMPARE(shown<windows::About>(QStringLiteral("About")), first.data());
        QVERIFY(errors.entries.isEmpty());

        // The close box destroys; the next command creates it anew and reads the
        // banner again, which is now missing: reported, no window, program alive.
        first->close();
        processDeferredDeletes();
        QVERIFY(!first);
        w.aAbout->trigger();
        QCOMPARE(errors.entries.size(), 1);
        QVERIFY(errors.entries[0].description.contains(QLatin1String("zerivirav.jpg")));
        QCOMPARE(visibleTopLevels(QStringLiteral("About")), 0);
        QVERIFY(QFile::copy(QStringLiteral(ZV_SOURCE_DIR "/data/graphics/zerivirav.jpg"),
                            QStringLiteral("graphics/zerivirav.jpg")));
        w.aAbout->trigger();
        QVERIFY(shown<windows::About>(QStringLiteral("About")));
    }

    void readmeSingleInstance()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("zerivirav.txt"), "first text\n"));
        CapturingReport errors;
        Zerivirav w(errors);
        w.ViewHelp->trigger();
        QPointer<windows::Form2> readme = shown<windows::Form2>(QStringLiteral("Form2"));
        QVERIFY(readme);
        QCOMPARE(readme->RichTextBox1->toPlainText(), QStringLiteral("first text\n"));
        w.ViewHelp->trigger();
        QCOMPARE(visibleTopLevels(QStringLiteral("Form2")), 1);

        // Ok, a changed file, the command again: the same window and text.
        readme->Command1_Click();
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("zerivirav.txt"), "second text\n"));
        w.ViewHelp->trigger();
        QCOMPARE(shown<windows::Form2>(QStringLiteral("Form2")), readme.data());
        QCOMPARE(readme->RichTextBox1->toPlainText(), QStringLiteral("first text\n"));

        // Closed and opened again: the file is read again.
        readme->close();
        processDeferredDeletes();
        QVERIFY(!readme);
        w.ViewHelp->trigger();
        readme = shown<windows::Form2>(QStringLiteral("Form2"));
        QVERIFY(readme);
        QCOMPARE(readme->RichTextBox1->toPlainText(), QStringLiteral("second text\n"));

        // A missing readme is reported and the program goes on.
        readme->close();
        processDeferredDeletes();
        QVERIFY(QFile::remove(QStringLiteral("zerivirav.txt")));
        w.ViewHelp->trigger();
        QCOMPARE(errors.entries.size(), 1);
        QVERIFY(errors.entries[0].description.contains(QLatin1String("zerivirav.txt")));
        QCOMPARE(visibleTopLevels(QStringLiteral("Form2")), 0);
    }

    // With both windows open the main window keeps working.
    void mainWindowStaysUsable()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        CapturingReport errors;
        Zerivirav w(errors);
        w.show();
        w.aAbout->trigger();
        w.ViewHelp->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(shown<windows::Form2>(QStringLiteral("Form2"))));
        w.File2->setCurrentIndex(w.File2->model()->index(0, 0));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        QTest::mouseClick(w.Run, Qt::LeftButton);
        QCOMPARE(standinArguments(), QList<QList<QByteArray>>{{"AIRRAID.BIN"}});
    }

    // Ending closes the About and Readme windows too, shown or hidden.
    void endingTakesEveryWindow_data()
    {
        QTest::addColumn<bool>("hideFirst");
        QTest::newRow("shown") << false;
        QTest::newRow("hidden") << true;
    }
    void endingTakesEveryWindow()
    {
        QFETCH(bool, hideFirst);
        UiFolder folder;
        CapturingReport errors;
        QPointer<windows::About> about;
        QPointer<windows::Form2> readme;
        int code = -1;
        {
            Zerivirav w(errors);
            w.show();
            w.aAbout->trigger();
            w.ViewHelp->trigger();
            about = shown<windows::About>(QStringLiteral("About"));
            readme = shown<windows::Form2>(QStringLiteral("Form2"));
            QVERIFY(about && readme);
            if (hideFirst) {
                about->Cmd1_Click();
                readme->Command1_Click();
            }
            QObject context;
            QTimer::singleShot(0, &context, [&w] { w.Exit->trigger(); });
            QTimer::singleShot(1000, &context, [] { QCoreApplication::exit(-1); });
            code = QCoreApplication::exec();
            QVERIFY(!w.isVisible());
            QVERIFY(!about->isVisible() && !readme->isVisible());
        }
        QCOMPARE(code, 0);
        QVERIFY(!about && !readme); // gone with the main window
    }
};

QTEST_MAIN(TestSecondary)
#include "tst_secondary.moc"
