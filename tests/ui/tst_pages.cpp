// The four option pages and Clear.

#include "app/zerivirav.h"
#include "ui_fixture.h"
#include "unit/rom/rom_fixtures.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTabBar>
#include <QTabWidget>

namespace {

QList<QWidget *> optionControls(const Zerivirav &w)
{
    QList<QWidget *> all;
    for (QWidget *c : w.centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (qobject_cast<QCheckBox *>(c) || qobject_cast<QLineEdit *>(c))
            all << c;
    return all;
}

QStringList visibleOptions(const Zerivirav &w)
{
    QStringList names;
    for (QWidget *c : optionControls(w))
        if (!c->isHidden())
            names << c->objectName();
    names.sort();
    return names;
}

// Everything a page change must leave alone.
QStringList optionState(const Zerivirav &w)
{
    QStringList state;
    for (QWidget *c : optionControls(w)) {
        if (auto *box = qobject_cast<QCheckBox *>(c))
            state << c->objectName() + '=' + QString::number(box->checkState());
        else
            state << c->objectName() + '=' + qobject_cast<QLineEdit *>(c)->text();
    }
    return state;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestPages : public QObject {
    Q_OBJECT

private slots:
    void pages_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("Sound") << 0 << "Sound"
                               << sorted({"Check15", "Check16", "Check17", "Check19", "Check20", "Check5"});
        QTest::newRow("Video") << 1 << "Video"
                               << sorted({"Check10", "Text2", "Check14", "Check13", "Text4", "Check11",
                                          "Text3", "Check12"});
        QTest::newRow("Joystick") << 2 << "Joystick"
                                  << sorted({"Check7", "Check6", "Check8", "Text5", "Check9", "Text6"});
        QTest::newRow("General") << 3 << "General"
                                 << sorted({"Check1", "Check2", "Check3", "Check4", "Text1", "Check18"});
    }
    void pages()
    {
        QFETCH(int, tab);
        QFETCH(QString, caption);
        QFETCH(QStringList, shown);
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        w.Check1->setChecked(true);
        w.Check16->setChecked(true);
        w.Text3->setText(QStringLiteral("39"));
        const QStringList before = optionState(w);
        // From every other page, so no page leaves anything behind.
        for (int from = 0; from < 4; ++from) {
            w.TabStrip1->setCurrentIndex(from);
            w.TabStrip1->setCurrentIndex(tab);
            QCOMPARE(w.Frame5->title(), caption);
            QCOMPARE(visibleOptions(w), shown);
        }
        QCOMPARE(optionState(w), before);
        // The selected tab clicked again changes nothing.
        QVERIFY(shownAndExposed(w));
        QTabBar *bar = w.TabStrip1->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        QCOMPARE(w.TabStrip1->currentIndex(), tab);
        QCOMPARE(w.Frame5->title(), caption);
        QCOMPARE(visibleOptions(w), shown);
        QCOMPARE(optionState(w), before);
    }

    void keyboardChangesPages()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        QVERIFY(shownAndExposed(w));
        QTabBar *bar = w.TabStrip1->tabBar();
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(w.Frame5->title(), QStringLiteral("Video"));
        QVERIFY(!w.Text2->isHidden());
        QTest::keyClick(bar, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.Frame5->title(), QStringLiteral("Joystick"));
        QTest::keyClick(bar, Qt::Key_Left);
        QTest::keyClick(bar, Qt::Key_Left);
        QCOMPARE(w.Frame5->title(), QStringLiteral("Sound"));
        QVERIFY(w.Text2->isHidden());
    }

    // Clear acts on every page and on nothing else.
    void clearEverything()
    {
        UiFolder folder;
        QVERIFY(rom::fixtures::writeRomFile(QStringLiteral("AIRRAID.BIN"), "78D8A2FF9AE88A95"));
        CapturingReport errors;
        Zerivirav w(errors);
        w.File2->setCurrentIndex(w.File2->model()->index(0, 0));
        const QImage picture = w.Image1->pixmap().toImage();
        for (QWidget *c : optionControls(w)) {
            if (auto *box = qobject_cast<QCheckBox *>(c))
                box->setChecked(true);
            else
                qobject_cast<QLineEdit *>(c)->setText(QStringLiteral("7"));
        }
        w.Check9->setChecked(false); // a field holding text while its box is unticked
        w.TabStrip1->setCurrentIndex(1);
        const QStringList visible = visibleOptions(w);

        w.Clear_Click();
        for (QWidget *c : optionControls(w)) {
            if (auto *box = qobject_cast<QCheckBox *>(c))
                QVERIFY2(box->checkState() == Qt::Unchecked, qPrintable(c->objectName()));
            else
                QVERIFY2(qobject_cast<QLineEdit *>(c)->text().isEmpty(), qPrintable(c->objectName()));
        }
        QCOMPARE(w.TabStrip1->currentIndex(), 1);
        QCOMPARE(w.Frame5->title(), QStringLiteral("Video"));
        QCOMPARE(visibleOptions(w), visible);
        QCOMPARE(w.selectedFileName(), QByteArray("AIRRAID.BIN"));
        QCOMPARE(w.Label10->text(), QStringLiteral("Air Raid"));
        QCOMPARE(w.Label14->text(), QStringLiteral("Prototype"));
        QCOMPARE(w.Image1->pixmap().toImage(), picture);

        // Clear, then Run: no switch at all.
        w.Run_Click();
        QCOMPARE(w.optionsLine(), QString());
        QCOMPARE(UiFolder::readAll(QStringLiteral("Quex.bat")),
                 QByteArray("\"\r\necho off\r\nquex.exe AIRRAID.BIN\r\n\"\r\n"));
        QCOMPARE(standinArguments(), QList<QList<QByteArray>>{{"AIRRAID.BIN"}});
    }

    // Ticks and texts stay through page changes and all reach Run.
    void ticksSurvivePageChanges()
    {
        UiFolder folder;
        CapturingReport errors;
        Zerivirav w(errors);
        w.TabStrip1->setCurrentIndex(2);
        w.Check8->setChecked(true);
        w.Text5->setText(QStringLiteral("3"));
        w.TabStrip1->setCurrentIndex(0);
        w.Check20->setChecked(true);
        w.TabStrip1->setCurrentIndex(3);
        w.TabStrip1->setCurrentIndex(2);
        QVERIFY(w.Check8->isChecked());
        QCOMPARE(w.Text5->text(), QStringLiteral("3"));
        w.TabStrip1->setCurrentIndex(1);
        w.Run_Click();
        QCOMPARE(w.optionsLine(), QStringLiteral(" -p3 -d2"));
        QCOMPARE(waitForStandinLog(1).size(), 1);
    }
};

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
