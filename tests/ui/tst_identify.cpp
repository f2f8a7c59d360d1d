// Selecting a ROM in the file list: what the window shows for it.

#include "app/zerivirav.h"
#include "platform_fixture.h"
#include "rom/catalogue.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"

#include <QImage>
#include <QLabel>
#include <QListView>

#include <optional>

namespace {

using rom::fixtures::writeRawFile;
using rom::fixtures::writeRomFile;

QStringList shownTexts(const Zerivirav &w)
{
    return {w.Label10->text(), w.Label4->text(), w.Label6->text(),
            w.Label8->text(),  w.Label13->text(), w.Label14->text()};
}

QImage picture(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

QImage shownPicture(const Zerivirav &w)
{
    return w.Image1->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
}

int rowOf(const Zerivirav &w, const QString &name)
{
    return int(listedNames(w.File2->model()).indexOf(name));
}

void select(Zerivirav &w, const QString &name)
{
    const int row = rowOf(w, name);
    QVERIFY2(row >= 0, qPrintable(name));
    w.File2->setCurrentIndex(w.File2->model()->index(row, 0));
}

} // namespace

class TestIdentify : public QObject {
    Q_OBJECT

private slots:
    // Every row of the catalogue from a generated file, shown as the table says.
    void everyRowRecognised()
    {
        UiFolder folder;
        const std::pair<const char *, std::int64_t> files[] = {
            {"row01.bin", 16384}, {"row02.bin", 4096}, {"row03.bin", 4096}, {"row04.bin", 4096},
            {"row05.bin", 4096},  {"row06.bin", 2048}, {"row07.bin", 4096}, {"row08.bin", 4096},
            {"row09.bin", 4096},  {"row10.bin", 4096}};
        for (std::size_t i = 0; i < rom::kCatalogue.size(); ++i)
            QVERIFY(writeRomFile(QString::fromLatin1(files[i].first), rom::kCatalogue[i].key,
                                 files[i].second));
        CapturingReport errors;
        Zerivirav w(errors);
        const QImage defaultPicture = picture(QStringLiteral("graphics/atari.gif"));
        for (std::size_t i = 0; i < rom::kCatalogue.size(); ++i) {
            const rom::GameRow &row = rom::kCatalogue[i];
            select(w, QString::fromLatin1(files[i].first));
            const QStringList expected{QString::fromUtf8(row.name.data(), qsizetype(row.name.size())),
                                       QString::fromUtf8(row.sizeText.data(), qsizetype(row.sizeText.size())),
                                       QString::fromUtf8(row.romType.data(), qsizetype(row.romType.size())),
                                       QString::fromUtf8(row.joystick.data(), qsizetype(row.joystick.size())),
                                       QString::fromUtf8(row.maker.data(), qsizetype(row.maker.size())),
                                       QString::fromUtf8(row.rarity.data(), qsizetype(row.rarity.size()))};
            QCOMPARE(shownTexts(w), expected);
            // Shown in full, not cut at the label's edge.
            for (const QLabel *label : {w.Label10, w.Label4, w.Label6, w.Label8, w.Label13, w.Label14})
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
                         qPrintable(label->objectName() + ": " + label->text()));
            QString file = QString::fromLatin1(row.picture.data(), qsizetype(row.picture.size()));
            file.replace(QLatin1Char('\\'), QLatin1Char('/'));
            QCOMPARE(shownPicture(w), row.picture.empty() ? defaultPicture : picture(file));
        }
        QVERIFY(errors.entries.isEmpty());
    }

    // What a user sees, spelled out: the typical run's game, and the changed-graphics row.
    void shownTextsVerbatim()
    {
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        QVERIFY(writeRomFile(QStringLiteral("AIRSEA2.BIN"), "78D8A9AA95E8D0FB", 4096));
        QVERIFY(writeRomFile(QStringLiteral("AIRSEA.BIN"), "78D8A9AA95E8D0FB", 4097));
        CapturingReport errors;
        Zerivirav w(errors);
        select(w, QStringLiteral("AIRRAID.BIN"));
        QCOMPARE(shownTexts(w), QStringList({"Air Raid", "4 KB", "Standard 4K game", "Joystick",
                                             "Unknown company", "Prototype"}));
        QCOMPARE(shownPicture(w), picture(QStringLiteral("graphics/airraid.bmp")));
        select(w, QStringLiteral("AIRSEA2.BIN"));
        QCOMPARE(shownTexts(w), QStringList({"Air-Sea Battle (Changed Graphics)", "4 KB",
                                             "Standard 4K game", "Joystick", "Unknown",
                                             "Hack/Prototype"}));
        QCOMPARE(shownPicture(w), picture(QStringLiteral("graphics/airsea2.bmp")));
        select(w, QStringLiteral("AIRSEA.BIN"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air-Sea Battle"));
        QCOMPARE(w.Label4->text(), QStringLiteral("2 KB"));
    }

    // Nothing of an earlier selection survives a later one.
    void resetBetweenSelections()
    {
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("a_adventure.bin"), "4CEFF278D84C6F3"));
        QVERIFY(writeRomFile(QStringLiteral("b_acid.bin"), "A9FD85858D8A2FF", 16384));
        QVERIFY(writeRawFile(QStringLiteral("c_unknown.bin"), "\x78\xD8\xA2\xFF\r rest"));
        CapturingReport errors;
        Zerivirav w(errors);
        const QImage defaultPicture = picture(QStringLiteral("graphics/atari.gif"));
        select(w, QStringLiteral("a_adventure.bin"));
        QCOMPARE(shownPicture(w), picture(QStringLiteral("graphics/adventure.bmp")));
        select(w, QStringLiteral("b_acid.bin")); // a game without a picture of its own
        QCOMPARE(w.Label10->text(), QStringLiteral("Acid Drop"));
        QCOMPARE(w.Label14->text(), QStringLiteral("Extremly Rare"));
        QCOMPARE(shownPicture(w), defaultPicture);
        select(w, QStringLiteral("a_adventure.bin"));
        select(w, QStringLiteral("c_unknown.bin"));
        QCOMPARE(shownTexts(w), QStringList(6));
        QCOMPARE(shownPicture(w), defaultPicture);
    }

    void selectByMouseAndKeyboard()
    {
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("ADVENTUR.BIN"), "4CEFF278D84C6F3"));
        QVERIFY(writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        const QRect first = w.File2->visualRect(w.File2->model()->index(0, 0));
        QTest::mouseClick(w.File2->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(w.Label10->text(), QStringLiteral("Adventure"));
        // Once chosen, an entry stays chosen: Ctrl+click does not take it away.
        QTest::mouseClick(w.File2->viewport(), Qt::LeftButton, Qt::ControlModifier, first.center());
        QCOMPARE(w.selectedFileName(), QByteArray("ADVENTUR.BIN"));
        QTest::keyClick(w.File2, Qt::Key_Down);
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        QTest::keyClick(w.File2, Qt::Key_Up);
        QCOMPARE(w.Label10->text(), QStringLiteral("Adventure"));
        // Typing the start of a name selects it.
        QTest::keyClicks(w.File2, QStringLiteral("AIRR"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
    }

    // With nothing selected, the first key in the list selects an end of it
    // (the view's unselected "current" row does not count), and File2_Click runs.
    void firstKeySelects_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("selected");
        for (const auto &[name, key] : {std::pair{"Down", Qt::Key_Down}, {"Up", Qt::Key_Up}, {"Home", Qt::Key_Home},
                                        {"PageUp", Qt::Key_PageUp}, {"Space", Qt::Key_Space}})
            QTest::newRow(name) << int(key) << "ADVENTUR.BIN";
        QTest::newRow("End") << int(Qt::Key_End) << "ZZZ.BIN";
    }
    void firstKeySelects()
    {
        QFETCH(int, key);
        QFETCH(QString, selected);
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("ADVENTUR.BIN"), "4CEFF278D84C6F3"));
        QVERIFY(writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        QVERIFY(writeRomFile(QStringLiteral("ZZZ.BIN"), "1E33333333331E3F"));
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        w.File2->setFocus(Qt::TabFocusReason);
        QVERIFY(w.selectedFileName().isEmpty());
        QTest::keyClick(w.File2, Qt::Key(key));
        QCOMPARE(QString::fromLatin1(w.selectedFileName()), selected);
        QCOMPARE(w.Label10->text(), selected == "ZZZ.BIN" ? QStringLiteral("Alien") : QStringLiteral("Adventure"));
        // From there on the keys move as usual.
        QTest::keyClick(w.File2, Qt::Key_Down);
        QCOMPARE(QString::fromLatin1(w.selectedFileName()), selected == "ZZZ.BIN" ? "ZZZ.BIN" : "AIRRAID.BIN");
    }

    // Files that cannot be read are shown as unrecognised, at once, and
    // nothing ends the program.
    void unreadableFilesShowUnrecognised_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("zero bytes") << "empty";
        QTest::newRow("removed after listing") << "removed";
        QTest::newRow("directory") << "directory";
        if constexpr (fixture::kPosix) {
            QTest::newRow("named pipe") << "fifo";
            QTest::newRow("broken link") << "broken";
            QTest::newRow("no permission") << "unreadable";
        } else {
            QTest::newRow("open and shared with no one") << "locked";
        }
    }
    void unreadableFilesShowUnrecognised()
    {
        QFETCH(QString, kind);
        if (kind == "unreadable" && fixture::readsEveryFile())
            QSKIP("root reads every file; the end-to-end suite covers this as another user");
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        QVERIFY(writeRomFile(QStringLiteral("x.bin"), "4CEFF278D84C6F3"));
        CapturingReport errors;
        Zerivirav w(errors);
        // The list was read at start; now the file changes under it.
        QVERIFY(QFile::remove(QStringLiteral("x.bin")));
        if (kind == "empty")
            QVERIFY(writeRawFile(QStringLiteral("x.bin"), ""));
        else if (kind == "fifo")
            QVERIFY(fixture::makeFifo(QStringLiteral("x.bin")));
        else if (kind == "directory")
            QVERIFY(QDir().mkdir(QStringLiteral("x.bin")));
        else if (kind == "broken")
            QVERIFY(fixture::makeSymlink(QStringLiteral("gone"), QStringLiteral("x.bin")));
        else if (kind == "unreadable" || kind == "locked")
            QVERIFY(writeRomFile(QStringLiteral("x.bin"), "4CEFF278D84C6F3"));
        if (kind == "unreadable")
            QVERIFY(fixture::setMode(QStringLiteral("x.bin"), 0));
        std::optional<fixture::WriteBlocker> lock;
        if (kind == "locked") {
            lock.emplace(QStringLiteral("x.bin"));
            QVERIFY(lock->active());
        }
        select(w, QStringLiteral("AIRRAID.BIN"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        {
            // Opening a pipe must not wait for a writer; should it, the rescuer
            // frees the window after a while and the test fails.
            std::optional<rom::fixtures::FifoRescuer> rescuer;
            if (kind == "fifo")
                rescuer.emplace(QStringLiteral("x.bin"));
            select(w, QStringLiteral("x.bin"));
            QVERIFY2(!rescuer || !rescuer->hadToRescue(), "selecting a named pipe blocked the window");
        }
        QCOMPARE(shownTexts(w), QStringList(6));
        QCOMPARE(shownPicture(w), picture(QStringLiteral("graphics/atari.gif")));
        QVERIFY(errors.entries.isEmpty());
    }

    // A missing or broken game picture: the texts are all shown, the default
    // picture stays, no dialog. Without the default picture Image1 is empty.
    void brokenPictures()
    {
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        QVERIFY(writeRomFile(QStringLiteral("ALIEN.BIN"), "1E33333333331E3F"));
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(QFile::remove(QStringLiteral("graphics/airraid.bmp")));
        QVERIFY(writeRawFile(QStringLiteral("graphics/alien.bmp"), "BM not really a bitmap"));
        for (const QString &name : {QStringLiteral("AIRRAID.BIN"), QStringLiteral("ALIEN.BIN")}) {
            select(w, name);
            QCOMPARE(w.Label13->text().isEmpty(), false);
            QCOMPARE(w.Label14->text().isEmpty(), false);
            QCOMPARE(shownPicture(w), picture(QStringLiteral("graphics/atari.gif")));
        }
        QVERIFY(QFile::remove(QStringLiteral("graphics/atari.gif")));
        select(w, QStringLiteral("AIRRAID.BIN"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        QVERIFY(w.Image1->pixmap().isNull());
        QVERIFY(errors.entries.isEmpty());
    }

    // A game picture cut short, as a BMP or a GIF: never part of it over
    // leftover memory, always the default picture, selected again or not.
    void truncatedPictures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("keep"); // bytes kept; negative: all but that many
        for (int keep : {14, 54, 3000, -1})
            QTest::addRow("bmp, %d", keep) << QStringLiteral("graphics/airsea.bmp") << keep;
        for (int keep : {13, 1800, -1})
            QTest::addRow("gif, %d", keep) << QStringLiteral("graphics/atari.gif") << keep;
    }
    void truncatedPictures()
    {
        QFETCH(QString, source);
        QFETCH(int, keep);
        UiFolder folder;
        QVERIFY(writeRomFile(QStringLiteral("AIRSEA.BIN"), "78D8A9AA95E8D0FB", 2048));
        const QByteArray whole = UiFolder::readAll(source);
        const QByteArray cut = whole.left(keep < 0 ? whole.size() + keep : keep);
        QVERIFY(writeRawFile(QStringLiteral("graphics/airsea.bmp"), cut.toStdString()));
        CapturingReport errors;
        Zerivirav w(errors);
        const QImage defaultPicture = picture(QStringLiteral("graphics/atari.gif"));
        for (int time = 0; time < 2; ++time) {
            w.File2->clearSelection();
            select(w, QStringLiteral("AIRSEA.BIN"));
            QCOMPARE(w.Label10->text().isEmpty(), false);
            QCOMPARE(shownPicture(w), defaultPicture);
        }
        QVERIFY(errors.entries.isEmpty());
    }
};

QTEST_MAIN(TestIdentify)
#include "tst_identify.moc"
