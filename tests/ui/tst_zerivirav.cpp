// The main window, built for real in a temporary folder and driven with QTest.

#include "app/controls.h"
#include "app/zerivirav.h"
#include "platform_fixture.h"
#include "rom/fingerprint.h"
#include "ui/data_file.h"
#include "ui/look.h"
#include "ui/button_face.h"
#include "ui/picture_button.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"

#include <QAction>
#include <QCheckBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>

#include <memory>


using namespace controls;

namespace {

QString str(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The folder and the start-up pictures read ahead on threads, as main() has
// them read, or (false) read by the window itself.
Zerivirav::ReadAhead readAhead(bool onThreads)
{
    Zerivirav::ReadAhead ahead;
    if (onThreads) {
        ahead.folder = RomNames::readCurrentFolderAsync();
        ahead.readPictures();
    }
    return ahead;
}

void addReadAheadRows()
{
    QTest::addColumn<bool>("onThreads");
    QTest::newRow("read by the window") << false;
    QTest::newRow("read ahead on threads") << true;
}

// Runs the application's event loop until the window ends the program or a
// second passes; returns the exit code, or -1 when the program did not end.
int exitCodeAfter(const std::function<void()> &action)
{
    QObject context;
    QTimer::singleShot(0, &context, action);
    QTimer::singleShot(1000, &context, [] { QCoreApplication::exit(-1); });
    return QCoreApplication::exec();
}

} // namespace

class TestZerivirav : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::setUpApplication(*qApp); }

    void windowProperties()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(w.loaded());
        QVERIFY(errors.entries.isEmpty());
        // The client area is placed at (-45, 525) twips on the screen, kept
        // on the screen; the window manager has the last word once it is shown.
        QCOMPARE(w.geometry().topLeft() + QPoint(0, w.menuBar()->sizeHint().height()), QPoint(0, 35));
        QVERIFY(shownAndExposed(w));
        QCOMPARE(w.objectName(), QStringLiteral("Zerivirav"));
        QCOMPARE(w.windowTitle(), QStringLiteral("quex Front End"));
        QCOMPARE(w.centralWidget()->size(), QSize(634, 358));
        QCOMPARE(w.centralWidget()->y(), w.menuBar()->height());
        // Fixed size, no minimize or maximize button, close box present.
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(QApplication::focusWidget(), w.Run);
    }

    // Every control of the tables is there, named, placed and captioned as
    // the tables say; a few rectangles are checked against hand-worked pixels.
    void controlTable()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QWidget *client = w.centralWidget();
        auto check = [&](auto member, std::string_view name, QRect rect) {
            QWidget *found = client->findChild<QWidget *>(str(name));
            QVERIFY2(found, name.data());
            QCOMPARE(static_cast<QWidget *>(w.*member), found);
            QCOMPARE(found->geometry(), rect);
        };
        for (const auto &d : kLabels) {
            check(d.member, d.name, pixels(d.rect));
            QCOMPARE((w.*d.member)->text(), str(d.caption));
        }
        for (const auto &d : kImages)
            check(d.member, d.name, pixels(d.rect));
        for (const auto &d : kLines)
            check(d.member, d.name, pixels(d.from, d.to));
        for (const auto &d : kChecks) {
            check(d.member, d.name, pixels(d.rect));
            QCOMPARE((w.*d.member)->text(), str(d.caption));
            QCOMPARE((w.*d.member)->checkState(), Qt::Unchecked);
        }
        for (const auto &d : kTexts) {
            check(d.member, d.name, pixels(d.rect));
            QVERIFY((w.*d.member)->text().isEmpty());
            QVERIFY(!(w.*d.member)->accessibleName().isEmpty());
        }
        for (const auto &d : kButtons) {
            check(d.member, d.name, pixels(d.rect));
            QVERIFY((w.*d.member)->text().isEmpty());
            QCOMPARE((w.*d.member)->accessibleName(), str(d.words));
            QCOMPARE((w.*d.member)->iconSize(), QSize(75, 25));
        }
        QCOMPARE(client->findChildren<QCheckBox *>().size(), 20);
        QCOMPARE(client->findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly).size(), 6);

        // Worked by hand from the twips of the window definition.
        QCOMPARE(w.File2->geometry(), QRect(0, 16, 129, 149));
        QCOMPARE(w.Image1->geometry(), QRect(376, 8, 241, 145));
        QCOMPARE(w.Image2->geometry(), QRect(136, 128, 169, 65));
        QCOMPARE(w.TabStrip1->geometry(), QRect(8, 200, 401, 153));
        QCOMPARE(w.Frame5->geometry(), QRect(16, 224, 385, 121));
        QCOMPARE(w.Run->geometry(), QRect(480, 272, 81, 33));
        QCOMPARE(w.Check4->geometry(), QRect(24, 288, 281, 17));
        QCOMPARE(w.Text1->geometry(), QRect(304, 288, 25, 19));
        QCOMPARE(w.Line1->geometry(), QRect(368, 0, 1, 161));
        QCOMPARE(w.Line2->geometry(), QRect(368, 160, 257, 1));
        QCOMPARE(w.label9->text(), QStringLiteral("Name"));
        QCOMPARE(w.Label2->text(), QStringLiteral("Select rom from file location."));
        QCOMPARE(w.Check10->text(), QStringLiteral("Select vidoe mode. From 0 to 14."));
        QVERIFY(w.Image1->hasScaledContents() && w.Image2->hasScaledContents());
        QVERIFY(!w.Image1->pixmap().isNull());
        QVERIFY(!w.Image2->pixmap().isNull());
    }

    // The captions the window shows whole must fit their rectangles.
    void captionsFit()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        for (QCheckBox *box : w.centralWidget()->findChildren<QCheckBox *>())
            QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->objectName()));
        for (const auto &d : kLabels) {
            QLabel *label = w.*d.member;
            const QFontMetrics metrics(label->font());
            QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), d.name.data());
            QVERIFY2(metrics.height() <= label->height(), d.name.data());
        }
        // A value field stands to the right of its box's caption.
        const std::pair<QCheckBox *, QLineEdit *> pairs[] = {
            {w.Check4, w.Text1}, {w.Check10, w.Text2}, {w.Check11, w.Text3},
            {w.Check13, w.Text4}, {w.Check8, w.Text5}, {w.Check9, w.Text6}};
        for (auto [box, field] : pairs) {
            QCOMPARE(field->y(), box->y());
            QVERIFY2(box->x() + box->sizeHint().width() <= field->x(), qPrintable(field->objectName()));
        }
        // Each button shows its words' face, pink on grey, the face made when
        // the program was built: nothing is drawn, and no font is needed, as
        // the window starts.
        for (ui::PictureButton *button : {w.Run, w.Command1, w.Clear}) {
            const QImage image = button->icon().pixmap(QSize(75, 25)).toImage().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(image.size(), QSize(75, 25));
            QCOMPARE(image.pixelColor(0, 0), QColor(178, 178, 178));
            bool pink = false;
            for (int y = 0; y < image.height() && !pink; ++y)
                for (int x = 0; x < image.width() && !pink; ++x)
                    pink = image.pixelColor(x, y) == QColor(255, 0, 204);
            QVERIFY2(pink, qPrintable(button->words()));
            const QImage built = ui::builtButtonFace(button->words());
            QVERIFY2(!built.isNull(), qPrintable(button->words() + QStringLiteral(": not drawn when built")));
            QCOMPARE(image, built.convertToFormat(QImage::Format_RGB32));
        }
    }

    // Frame5's caption sits on its top line, so the line runs above the first
    // option row (3600 twips) instead of through it.
    void frameLineAboveFirstRow()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        const QImage frame = w.Frame5->grab().toImage();
        const QColor background = w.Frame5->palette().color(QPalette::Window);
        int lineY = -1;
        for (int y = 0; y < frame.height() && lineY < 0; ++y) {
            int marked = 0;
            for (int x = 0; x < frame.width(); ++x)
                marked += frame.pixelColor(x, y) != background;
            if (marked > frame.width() * 3 / 4)
                lineY = y;
        }
        const int firstRow = w.Check15->y() - w.Frame5->y();
        QVERIFY2(lineY >= 0 && lineY < firstRow, qPrintable(QString::number(lineY)));
        // The caption is drawn across the line.
        QVERIFY(lineY < w.Frame5->fontMetrics().height());
    }

    // Option controls above Frame5 above TabStrip1; labels, images and lines beneath them all.
    void stacking()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        const QObjectList children = w.centralWidget()->children();
        auto at = [&](QWidget *widget) { return children.indexOf(widget); };
        QVERIFY(at(w.Frame5) > at(w.TabStrip1));
        for (QCheckBox *box : w.centralWidget()->findChildren<QCheckBox *>())
            QVERIFY(at(box) > at(w.Frame5));
        for (QWidget *field : {w.Text1, w.Text2, w.Text3, w.Text4, w.Text5, w.Text6})
            QVERIFY(at(field) > at(w.Frame5));
        for (QWidget *low : {static_cast<QWidget *>(w.Label2), static_cast<QWidget *>(w.Label5),
                             static_cast<QWidget *>(w.Image1), w.Line4})
            QVERIFY(at(low) < at(w.TabStrip1));
    }

    void focusChain()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        // Every control in focus order, hidden ones included.
        const QStringList expected = QStringLiteral(
            "Run File2 Clear Command1 TabStrip1 Check15 Check17 Check19 Check20 Check5 Check10 "
            "Text2 Check14 Check13 Text4 Check11 Text3 Check12 Check16 Check7 Check6 Check8 "
            "Text5 Check9 Text6 Check1 Check2 Check3 Check4 Text1 Check18").split(QLatin1Char(' '));
        QStringList chain;
        QWidget *widget = w.Run;
        QTabBar *tabBar = w.TabStrip1->tabBar();
        do {
            if (widget == tabBar || widget == w.TabStrip1) {
                if (!chain.contains(QStringLiteral("TabStrip1")))
                    chain << QStringLiteral("TabStrip1");
            }
            else if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName()))
                chain << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != w.Run);
        QCOMPARE(chain, expected);

        // The Tab key skips the hidden pages: from TabStrip1 it goes to Check15, then Check17.
        w.TabStrip1->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.Check15);
        QTest::keyClick(w.Check15, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.Check17);
        QTest::keyClick(w.Check17, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.Check19);
    }

    void initialPage()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QCOMPARE(w.TabStrip1->count(), 4);
        QCOMPARE(w.TabStrip1->tabText(0), QStringLiteral("Sound"));
        QCOMPARE(w.TabStrip1->tabText(3), QStringLiteral("General"));
        QCOMPARE(w.TabStrip1->currentIndex(), 0);
        QCOMPARE(w.Frame5->title(), QStringLiteral("Sound"));
        QStringList shown;
        for (QWidget *c : w.centralWidget()->findChildren<QWidget *>())
            if ((qobject_cast<QCheckBox *>(c) || qobject_cast<QLineEdit *>(c)) && !c->isHidden())
                shown << c->objectName();
        shown.sort();
        QCOMPARE(shown, QStringLiteral("Check15 Check16 Check17 Check19 Check20 Check5").split(' '));
        for (QLabel *value : {w.Label10, w.Label4, w.Label6, w.Label8, w.Label13, w.Label14})
            QVERIFY(value->text().isEmpty());
    }

    void menu()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        const QList<QAction *> top = w.menuBar()->actions();
        QCOMPARE(top.size(), 2);
        QCOMPARE(top[0]->text(), QStringLiteral("&File"));
        QCOMPARE(top[1]->text(), QStringLiteral("&Help"));
        QCOMPARE(w.File->actions(), QList<QAction *>{w.Exit});
        QCOMPARE(w.Help->actions(), (QList<QAction *>{w.ViewHelp, w.aAbout}));
        QCOMPARE(w.Exit->text(), QStringLiteral("&Exit"));
        QCOMPARE(w.Exit->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
        QCOMPARE(w.ViewHelp->text(), QStringLiteral("&View Readme"));
        QCOMPARE(w.ViewHelp->shortcut(), QKeySequence(Qt::Key_F1));
        QCOMPARE(w.aAbout->text(), QStringLiteral("&About"));
        QVERIFY(w.aAbout->shortcut().isEmpty());
    }

    void fileList_data() { addReadAheadRows(); }
    void fileList()
    {
        QFETCH(bool, onThreads);
        UiFolder folder;
        using rom::fixtures::writeRawFile;
        for (const char *name : {"zeta.bin", "GAME.BIN", "alpha.Bin", "game.txt", ".hidden.bin",
                                 "Beta.bin", "b.bin.txt", "Test Cart.bin"})
            QVERIFY(writeRawFile(QString::fromLatin1(name), "x"));
        QVERIFY(QDir().mkdir(QStringLiteral("folder.bin")));
        QString expected = QStringLiteral("alpha.Bin,Beta.bin,caf\uFFFD.bin,GAME.BIN,link.bin,Test Cart.bin,zeta.bin");
        if constexpr (fixture::kPosix) {
            QVERIFY(fixture::makeSymlink(QStringLiteral("zeta.bin"), QStringLiteral("link.bin")));
            QVERIFY(fixture::makeSymlink(QStringLiteral("missing"), QStringLiteral("broken.bin")));
        } else {
            // Hidden and system are a file's attributes there, and names
            // are Unicode, kept in UTF-8 whatever the system's code page.
            QVERIFY(fixture::makeHiddenReadOnly(QStringLiteral(".hidden.bin")));
            QVERIFY(writeRawFile(QStringLiteral("system.bin"), "x"));
            QVERIFY(fixture::makeSystem(QStringLiteral("system.bin")));
            QVERIFY(writeRawFile(QStringLiteral("\u03A9mega.bin"), "xy"));
            expected = QStringLiteral("alpha.Bin,Beta.bin,caf\u00E9.bin,GAME.BIN,Test Cart.bin,zeta.bin,\u03A9mega.bin");
        }
        // A Latin-1 name from an old archive: not UTF-8, listed all the same
        // (on Windows the name is Unicode on disk: "café.bin").
        const QByteArray latin1 = "caf\xE9.bin";
        QVERIFY(fixture::createNamed(fixture::kPosix ? latin1 : QByteArray("caf\xC3\xA9.bin")));
        CapturingReport errors;
        Zerivirav w(errors, readAhead(onThreads));
        QVERIFY(w.loaded());
        const QStringList names = listedNames(w.File2->model());
        QCOMPARE(names, expected.split(QLatin1Char(',')));
        QVERIFY(!w.File2->selectionModel()->hasSelection());
        QVERIFY(w.selectedFileName().isEmpty());
        QCOMPARE(w.File2->selectionMode(), QAbstractItemView::SingleSelection);
        // Selected, it is the very name on disk, and the very file is read.
        w.File2->setCurrentIndex(w.File2->model()->index(2, 0));
        QCOMPARE(w.selectedFileName(), fixture::kPosix ? latin1 : QByteArray("caf\xC3\xA9.bin"));
        if constexpr (!fixture::kPosix) {
            w.File2->setCurrentIndex(w.File2->model()->index(6, 0));
            const auto probe = rom::probeRom(w.selectedFileName());
            QVERIFY(probe);
            QCOMPARE(probe->length, std::int64_t(2));
        }
    }

    // A folder whose entries take more than one read of the system's listing
    // (256 KiB at a time) is listed whole, in order.
    void largeFolderListedWhole_data() { addReadAheadRows(); }
    void largeFolderListedWhole()
    {
        QFETCH(bool, onThreads);
        UiFolder folder;
        // Each entry some 72 bytes: 420 KiB, past the reader's buffer. Under
        // wine, where every file made is a round trip to its server, fewer.
        constexpr int kRoms = fixture::kPosix ? 6000 : 600;
        QStringList expected;
        for (int i = 0; i < kRoms; ++i) {
            const QString name =
                QStringLiteral("Cartridge image number %1 of many.bin").arg(i, 5, 10, QLatin1Char('0'));
            QVERIFY(fixture::createNamed(name.toUtf8()));
            if (i % 2 == 0) // and as many other files between them
                QVERIFY(fixture::createNamed((name + QStringLiteral(".txt")).toUtf8()));
            expected << name;
        }
        CapturingReport errors;
        Zerivirav w(errors, readAhead(onThreads));
        QCOMPARE(listedNames(w.File2->model()), expected);
        QCoreApplication::processEvents();
        QVERIFY(errors.entries.isEmpty());
    }

    // A folder that cannot be listed is reported, naming it and the reason,
    // once the window is there; the window works on with an empty list.
    void unlistableFolderReported_data() { addReadAheadRows(); }
    void unlistableFolderReported()
    {
        QFETCH(bool, onThreads);
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRawFile(QStringLiteral("GAME.BIN"), "x"));
        if constexpr (!fixture::kPosix)
            QSKIP("Windows has no folder that may be entered but not listed");
        QVERIFY(fixture::setMode(QStringLiteral("."), 0311)); // its files may be opened by name, not listed
        const auto restore = qScopeGuard([] { fixture::setMode(QStringLiteral("."), 0755); });
        const PermissionsApply asAnyUser;
        CapturingReport errors;
        Zerivirav w(errors, readAhead(onThreads));
        QVERIFY(w.loaded());
        QCOMPARE(w.File2->model()->rowCount(), 0);
        QVERIFY(errors.entries.isEmpty()); // not before the window can show
        QTRY_COMPARE(errors.entries.size(), 1);
        QCOMPARE(errors.entries[0].number, ui::ErrorNumber::PermissionDenied);
        QCOMPARE(errors.entries[0].description,
                 QStringLiteral("Cannot list the ROM files of the folder %1: %2")
                     .arg(QDir::toNativeSeparators(QDir::currentPath()), qt_error_string(EACCES)));
    }

    // The list's fast ASCII ordering must agree with Qt's case-insensitive
    // comparison (exact spelling breaking ties) on every kind of name: all
    // ASCII (sorted by their leading bytes) and with other characters.
    void fileListOrder_data()
    {
        QTest::addColumn<bool>("otherCharacters");
        QTest::addColumn<bool>("onThreads");
        QTest::newRow("ASCII only") << false << false;
        QTest::newRow("with other characters") << true << false;
        QTest::newRow("ASCII only, read ahead") << false << true;
        QTest::newRow("with other characters, read ahead") << true << true;
    }
    void fileListOrder()
    {
        QFETCH(bool, otherCharacters);
        QFETCH(bool, onThreads);
        UiFolder folder;
        QStringList names{QStringLiteral("game.bin"), QStringLiteral("GAME.bin"), QStringLiteral("Game10.bin"),
                          QStringLiteral("game2.bin"), QStringLiteral("_under.bin"), QStringLiteral("[x].bin"),
                          QStringLiteral("@at.bin"), QStringLiteral("Zebra.bin"), QStringLiteral("zoo.BIN"),
                          QStringLiteral("A Long Name With Sixteen.bin"), QStringLiteral("a long name with sixteen.BIN"),
                          QStringLiteral("A LONG NAME WITH SIXTEEN AND MORE.bin")};
        if (otherCharacters)
            names << QString::fromUtf8("\xC3\x84rger.bin") << QString::fromUtf8("\xC3\xA4pfel.bin")
                  << QString::fromUtf8("stra\xC3\x9F" "e.bin") << QString::fromUtf8("STRASSE.bin")
                  << QString::fromUtf8("\xF0\x9F\x8E\xAE.bin");
        // And a few hundred pseudo-random ASCII names sharing long prefixes.
        quint32 seed = 12345;
        const QString alphabet = QStringLiteral("aAbBzZ09 -_~.()");
        for (int i = 0; i < 300; ++i) {
            QString name = i % 2 ? QStringLiteral("Common Prefix ") : QStringLiteral("CP");
            for (int k = 0; k < 1 + i % 9; ++k) {
                seed = seed * 1103515245 + 12345;
                name += alphabet.at(int((seed >> 16) % alphabet.size()));
            }
            names << name + QStringLiteral(".bin");
        }
        names.removeDuplicates();
        if constexpr (!fixture::kPosix) {
            // Windows names ignore letter case (the first spelling stays), and
            // the program's names are in the system's code page there.
            names.removeAll(QString::fromUtf8("\xF0\x9F\x8E\xAE.bin"));
            QStringList unique;
            for (const QString &name : names)
                if (!unique.contains(name, Qt::CaseInsensitive))
                    unique << name;
            names = unique;
        }
        for (const QString &name : names)
            QVERIFY(rom::fixtures::writeRawFile(name, "x"));
        CapturingReport errors;
        Zerivirav w(errors, readAhead(onThreads));
        QStringList expected = names;
        std::sort(expected.begin(), expected.end(), [](const QString &a, const QString &b) {
            const int folded = a.compare(b, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a < b;
        });
        QCOMPARE(listedNames(w.File2->model()), expected);
    }

    void startupWithoutGraphics_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("onThreads");
        for (const bool onThreads : {false, true}) {
            const char *how = onThreads ? ", read ahead" : "";
            // {data}: the defaults' folder beside the program, which has none here.
            QTest::addRow("no graphics folder%s", how)
                << "folder"
                << "File not found: %1/graphics/atari.gif, nor among the installed defaults as {data}/graphics/atari.gif"
                << onThreads;
            QTest::addRow("no banner%s", how) << "banner"
                                              << "File not found: %1/graphics/zerivirav.jpg, nor among the installed "
                                                 "defaults as {data}/graphics/zerivirav.jpg"
                                              << onThreads;
            QTest::addRow("truncated gif%s", how)
                << "truncate" << "Cannot read the picture %1/graphics/atari.gif: the file is incomplete" << onThreads;
        }
    }
    void startupWithoutGraphics()
    {
        QFETCH(QString, damage);
        QFETCH(QString, named);
        QFETCH(bool, onThreads);
        UiFolder folder;
        if (damage == "folder")
            QVERIFY(QDir(QStringLiteral("graphics")).removeRecursively());
        else if (damage == "banner")
            QVERIFY(QFile::remove(QStringLiteral("graphics/zerivirav.jpg")));
        else
            QVERIFY(QFile::resize(QStringLiteral("graphics/atari.gif"), 20));
        CapturingReport errors;
        Zerivirav w(errors, readAhead(onThreads));
        QVERIFY(!w.loaded());
        // Only the first picture that fails is reported, word for word.
        QCOMPARE(errors.entries.size(), 1);
        QCOMPARE(errors.entries[0].description,
                 QDir::toNativeSeparators(
                     named.arg(QDir::currentPath()).replace(QLatin1String("{data}"), ui::installedDataFolder())));
    }

    // A folder copied from Windows may spell the data files in another case.
    void picturesFoundInAnyCase()
    {
        UiFolder folder;
        QVERIFY(QDir().rename(QStringLiteral("graphics"), QStringLiteral("Graphics")));
        QVERIFY(QDir().rename(QStringLiteral("Graphics/atari.gif"), QStringLiteral("Graphics/ATARI.GIF")));
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(w.loaded());
        QVERIFY(!w.Image1->pixmap().isNull());
    }

    void exitPaths_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("File > Exit") << "menu";
        QTest::newRow("Ctrl+X on the list") << "ctrl-x";
        QTest::newRow("Command1") << "button";
        QTest::newRow("close box") << "close";
    }
    void exitPaths()
    {
        QFETCH(QString, how);
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        const int code = exitCodeAfter([&] {
            if (how == "menu")
                w.Exit->trigger();
            else if (how == "ctrl-x")
                QTest::keyClick(w.File2, Qt::Key_X, Qt::ControlModifier);
            else if (how == "button")
                QTest::mouseClick(w.Command1, Qt::LeftButton);
            else
                w.close();
        });
        QCOMPARE(code, 0);
        QVERIFY(!w.isVisible());
    }

    // In a value field Ctrl+X cuts, as everywhere on the desktop.
    void ctrlXCutsInValueField()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        w.TabStrip1->setCurrentIndex(3);
        w.Text1->setText(QStringLiteral("60"));
        w.Text1->setFocus();
        w.Text1->selectAll();
        const int code = exitCodeAfter([&] {
            QTest::keyClick(w.Text1, Qt::Key_X, Qt::ControlModifier);
        });
        QCOMPARE(code, -1);
        QVERIFY(w.isVisible());
        QVERIFY(w.Text1->text().isEmpty());
    }
};

QTEST_MAIN(TestZerivirav)
#include "tst_zerivirav.moc"
