#include "platform_fixture.h"
#include "ui_fixture.h"
#include "dialogs/about_window.h"
#include "ui/error_report.h"
#include "dialogs/readme_window.h"
#include "ui/look.h"
#include "ui/picture_button.h"
#include "dialogs/readme_text.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QWidget *createWindow(const QString &kind, CapturingReport &errors)
{
    if (kind == u"About")
        return windows::About::create(errors);
    return windows::Form2::create(errors);
}

bool topLevelNamed(const QString &name)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(),
                       [&](QWidget *w) { return w->objectName() == name; });
}

void expectOneReport(const CapturingReport &errors, ui::ErrorNumber number, const QString &file)
{
    QCOMPARE(errors.entries.size(), 1);
    QCOMPARE(errors.entries[0].number, number);
    QVERIFY2(errors.entries[0].description.contains(file), qPrintable(errors.entries[0].description));
}

} // namespace

class TestAboutReadmeWindows : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowAndControls_data();
    void windowAndControls();
    void okHasFocusThenTabOrder_data();
    void okHasFocusThenTabOrder();
    void noticesFitTwoLines_data();
    void noticesFitTwoLines();
    void banner_data();
    void banner();

    void readmeShown_data();
    void readmeShown();
    void readmeReadOnlyAndReadableToTheEnd();
    void readmeFailureReported_data();
    void readmeFailureReported();
    void largeReadmeShownWhole_data();
    void largeReadmeShownWhole();

    void okHidesCloseBoxDestroys_data();
    void okHidesCloseBoxDestroys();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_startDir;
};

void TestAboutReadmeWindows::init()
{
    m_startDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    QVERIFY(QDir().mkpath(u"graphics"_s));
    QImage banner(169, 49, QImage::Format_RGB32);
    banner.fill(QColor(40, 20, 120));
    QVERIFY(banner.save(u"graphics/zerivirav.jpg"_s, "JPG"));
    writeFile(u"zerivirav.txt"_s, "First line\nSecond line\n");
}

void TestAboutReadmeWindows::cleanup()
{
    QDir::setCurrent(m_startDir);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_dir.reset();
}

void TestAboutReadmeWindows::windowAndControls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("client"); // a null top-left: the platform places it
    QTest::addColumn<QStringList>("controls");
    QTest::addColumn<QList<QRect>>("rects");

    QTest::newRow("About") << u"About"_s << u"About"_s << QRect(0, 0, 312, 213)
                           << QStringList{u"Image1"_s, u"Label1"_s, u"Label2"_s, u"Cmd1"_s}
                           << QList<QRect>{twips(1080, 0, 2535, 735), twips(120, 720, 4455, 495),
                                           twips(120, 1320, 4455, 495), twips(1680, 2520, 1215, 495)};
    QTest::newRow("Form2") << u"Form2"_s << u"Readme"_s << QRect(108, 66, 385, 348)
                           << QStringList{u"RichTextBox1"_s, u"Command1"_s}
                           << QList<QRect>{twips(0, 0, 5775, 4455), twips(2280, 4680, 1215, 375)};
}

void TestAboutReadmeWindows::windowAndControls()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, client);
    QFETCH(QStringList, controls);
    QFETCH(QList<QRect>, rects);

    CapturingReport errors;
    std::unique_ptr<QWidget> window(createWindow(kind, errors));
    QVERIFY(window);
    QVERIFY(errors.entries.isEmpty());
    QCOMPARE(window->objectName(), kind);
    QCOMPARE(window->windowTitle(), caption);
    QCOMPARE(window->parentWidget(), nullptr);
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    if (!client.topLeft().isNull())
        QCOMPARE(window->geometry().topLeft(), client.topLeft());

    window->show();
    QCOMPARE(window->size(), client.size());
    QCOMPARE(window->minimumSize(), client.size());
    QCOMPARE(window->maximumSize(), client.size());
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    // Without it the platform puts minimize and maximize back.
    QVERIFY(flags & Qt::CustomizeWindowHint);

    for (qsizetype i = 0; i < controls.size(); ++i) {
        auto *widget = window->findChild<QWidget *>(controls[i]);
        QVERIFY2(widget, qPrintable(controls[i]));
        QCOMPARE(widget->parentWidget(), window.get());
        QCOMPARE(widget->geometry(), rects[i]);
        auto *label = qobject_cast<QLabel *>(widget);
        QVERIFY2((label && !label->text().isEmpty()) || !widget->accessibleName().isEmpty(),
                 qPrintable(controls[i] + u" has nothing for a screen reader"_s));
        if (auto *button = qobject_cast<ui::PictureButton *>(widget))
            QCOMPARE(button->words(), u"Ok"_s);
    }
    if (auto *readme = qobject_cast<windows::Form2 *>(window.get())) {
        QCOMPARE(readme->RichTextBox1->font().pointSizeF(), 8.5);
        QCOMPARE(readme->RichTextBox1->font().styleHint(), QFont::SansSerif);
    }
}

void TestAboutReadmeWindows::okHasFocusThenTabOrder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("About") << u"About"_s << u"Cmd1"_s << u"Cmd1"_s;
    QTest::newRow("Form2") << u"Form2"_s << u"Command1"_s << u"RichTextBox1"_s;
}

void TestAboutReadmeWindows::okHasFocusThenTabOrder()
{
    QFETCH(QString, kind);
    QFETCH(QString, first);
    QFETCH(QString, second);

    CapturingReport errors;
    std::unique_ptr<QWidget> window(createWindow(kind, errors));
    QVERIFY(window);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTRY_COMPARE(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(),
                 first);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), second);
}

void TestAboutReadmeWindows::noticesFitTwoLines_data()
{
    QTest::addColumn<bool>("programLook");
    QTest::newRow("desktop font") << false;
    QTest::newRow("program font") << true;
}

void TestAboutReadmeWindows::noticesFitTwoLines()
{
    QFETCH(bool, programLook);

    CapturingReport errors;
    std::unique_ptr<windows::About> window(windows::About::create(errors));
    QVERIFY(window);
    if (programLook)
        window->setFont(ui::dialogFont());
    window->show();
    for (QLabel *label : {window->Label1, window->Label2}) {
        QVERIFY(label->wordWrap());
        const int needed = label->heightForWidth(label->width());
        QVERIFY2(needed <= label->height(), qPrintable(u"%1 needs %2 px, has %3"_s.arg(
                                                label->objectName()).arg(needed).arg(label->height())));
    }
}

void TestAboutReadmeWindows::banner_data()
{
    QTest::addColumn<QByteArray>("replacement"); // "-": remove the file
    QTest::addColumn<int>("number");             // 0: no error
    QTest::newRow("present") << QByteArray() << 0;
    QTest::newRow("missing") << "-"_ba << int(ui::ErrorNumber::FileNotFound);
    QTest::newRow("not a picture") << "this is no JPEG"_ba << int(ui::ErrorNumber::InvalidPicture);
    QTest::newRow("a PNG by another name") << "png"_ba << 0;
    // A small, whole GIF whose screen claims 5000 by 5000 pixels: refused
    // before hundreds of megabytes are decoded.
    QTest::newRow("a GIF of 5000 by 5000") << "huge gif"_ba << int(ui::ErrorNumber::InvalidPicture);
}

void TestAboutReadmeWindows::banner()
{
    QFETCH(QByteArray, replacement);
    QFETCH(int, number);

    if (!replacement.isEmpty()) {
        QVERIFY(QFile::remove(u"graphics/zerivirav.jpg"_s));
        if (replacement == "huge gif") {
            QFile gif(QStringLiteral(ZV_SOURCE_DIR "/data/graphics/atari.gif"));
            QVERIFY(gif.open(QIODevice::ReadOnly));
            QByteArray bytes = gif.readAll();
            bytes.replace(6, 4, "\x88\x13\x88\x13"_ba);
            writeFile(u"graphics/zerivirav.jpg"_s, bytes);
        } else if (replacement == "png")
            QVERIFY(QImage(169, 49, QImage::Format_RGB32).save(u"graphics/zerivirav.jpg"_s, "PNG"));
        else if (replacement != "-")
            writeFile(u"graphics/zerivirav.jpg"_s, replacement);
    }
    CapturingReport errors;
    std::unique_ptr<windows::About> window(windows::About::create(errors));
    if (number == 0) {
        QVERIFY(window);
        QVERIFY(window->Image1->hasScaledContents());
        QCOMPARE(window->Image1->pixmap().size(), QSize(169, 49));
        return;
    }
    QVERIFY(!window);
    expectOneReport(errors, ui::ErrorNumber(number), u"zerivirav.jpg"_s);
    QVERIFY2(!topLevelNamed(u"About"_s), "a failed About window was left behind");
}

void TestAboutReadmeWindows::readmeShown_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");

    const QString name = u"zerivirav.txt"_s;
    QTest::newRow("lines as written, no html")
        << name << "Title\n\n  indented\ttab\n<b>not html</b> &amp;\n\n"_ba
        << u"Title\n\n  indented\ttab\n<b>not html</b> &amp;\n\n"_s;
    QTest::newRow("windows line ends") << name << "one\r\ntwo\r\n"_ba << u"one\ntwo\n"_s;
    QTest::newRow("empty") << name << QByteArray() << QString();
    QTest::newRow("utf-8") << name << "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x94 \xE2\x82\xAC"_ba
                           << u"Gr\u00FC\u00DFe \u2014 \u20AC"_s;
    QTest::newRow("windows-1252") << name << "Gr\xFC\xDF" "e \x97 \x80"_ba
                                  << u"Gr\u00FC\u00DFe \u2014 \u20AC"_s;
    QTest::newRow("rich text")
        << name << R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0 Hello {\b world}\par Bye\par})"_ba
        << u"Hello world\nBye\n"_s;
    QTest::newRow("name in other case") << u"ZeriVirav.TXT"_s << "found"_ba << u"found"_s;
}

void TestAboutReadmeWindows::readmeShown()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);

    QVERIFY(QFile::remove(u"zerivirav.txt"_s));
    writeFile(fileName, bytes);
    CapturingReport errors;
    std::unique_ptr<windows::Form2> window(windows::Form2::create(errors));
    QVERIFY(window);
    QVERIFY(errors.entries.isEmpty());
    QCOMPARE(window->RichTextBox1->toPlainText(), shown);
    QCOMPARE(window->RichTextBox1->textCursor().position(), 0);
}

void TestAboutReadmeWindows::readmeReadOnlyAndReadableToTheEnd()
{
    QByteArray text;
    for (int i = 1; i <= 500; ++i)
        text += "Line " + QByteArray::number(i) + "\n";
    text += "The last line";
    writeFile(u"zerivirav.txt"_s, text);

    CapturingReport errors;
    std::unique_ptr<windows::Form2> window(windows::Form2::create(errors));
    QVERIFY(window);
    window->show();
    QPlainTextEdit *box = window->RichTextBox1;

    QCOMPARE(box->verticalScrollBar()->value(), 0);
    QCOMPARE(box->cursorForPosition(QPoint(5, 5)).block().text(), u"Line 1"_s);
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    const QPoint bottom(5, box->viewport()->height() - 5);
    QCOMPARE(box->cursorForPosition(bottom).block().text(), u"The last line"_s);

    box->setFocus();
    QTest::keyClicks(box, u"typed"_s);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->toPlainText(), QString::fromLatin1(text));
}

void TestAboutReadmeWindows::readmeFailureReported_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<ui::ErrorNumber>("number");
    QTest::newRow("missing") << u"missing"_s << ui::ErrorNumber::FileNotFound;
    QTest::newRow("a folder") << u"folder"_s << ui::ErrorNumber::PathFileAccess;
    if constexpr (fixture::kPosix) {
        QTest::newRow("no permission") << u"unreadable"_s << ui::ErrorNumber::PermissionDenied;
        QTest::newRow("a named pipe") << u"fifo"_s << ui::ErrorNumber::PathFileAccess;
    }
    QTest::newRow("1 GiB") << u"huge"_s << ui::ErrorNumber::PathFileAccess;
}

void TestAboutReadmeWindows::readmeFailureReported()
{
    QFETCH(QString, setup);
    QFETCH(ui::ErrorNumber, number);

    QVERIFY(QFile::remove(u"zerivirav.txt"_s));
    if (setup == u"folder") {
        QVERIFY(QDir().mkdir(u"zerivirav.txt"_s));
    } else if (setup == u"fifo") {
        QVERIFY(fixture::makeFifo(u"zerivirav.txt"_s));
    } else if (setup == u"huge") {
        // Sparse: nothing of it is read, its length alone decides.
        QFile huge(u"zerivirav.txt"_s);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        if (!huge.resize(qint64(1) << 30))
            QSKIP("the file system cannot hold a sparse 1 GiB file here");
    } else if (setup == u"unreadable") {
        writeFile(u"zerivirav.txt"_s, "secret");
        QVERIFY(QFile::setPermissions(u"zerivirav.txt"_s, QFileDevice::WriteOwner));
        if (QFile probe(u"zerivirav.txt"_s); probe.open(QIODevice::ReadOnly))
            QSKIP("running with rights that read any file");
    }

    CapturingReport errors;
    std::unique_ptr<windows::Form2> window(windows::Form2::create(errors));
    QVERIFY(!window);
    expectOneReport(errors, number, u"zerivirav.txt"_s);
    if (setup == u"huge")
        QVERIFY2(errors.entries[0].description.contains(u"1073741824 bytes"_s),
                 qPrintable(errors.entries[0].description));
    QVERIFY2(!topLevelNamed(u"Form2"_s), "a failed Readme window was left behind");
}

void TestAboutReadmeWindows::largeReadmeShownWhole_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text") << u"text"_s;
    QTest::newRow("random bytes") << u"random"_s;
    QTest::newRow("all NUL, one line") << u"nul"_s;
}

void TestAboutReadmeWindows::largeReadmeShownWhole()
{
    QFETCH(QString, kind);
    constexpr qsizetype kSize = 10 * 1024 * 1024;

    QByteArray bytes;
    if (kind == u"text") {
        const QByteArray line = "A readme line of ordinary length, with words to wrap.\r\n";
        bytes = line.repeated(kSize / line.size());
    } else if (kind == u"random") {
        bytes.resize(kSize);
        QRandomGenerator(2600).fillRange(reinterpret_cast<quint32 *>(bytes.data()), kSize / 4);
    } else {
        bytes = QByteArray(kSize, '\0');
    }
    writeFile(u"zerivirav.txt"_s, bytes);

    CapturingReport errors;
    std::unique_ptr<windows::Form2> window(windows::Form2::create(errors));
    QVERIFY(window);
    window->show();
    QCoreApplication::processEvents();
    QScrollBar *bar = window->RichTextBox1->verticalScrollBar();
    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();

    // The box holds the whole text and can be scrolled to its end.
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // (The box hands out no-break spaces as plain ones.)
    const QString expected = windows::readmeDisplayText(bytes).replace(QChar::Nbsp, QLatin1Char(' '));
    const QString shown = window->RichTextBox1->toPlainText();
    QCOMPARE(shown.size(), expected.size());
    QCOMPARE(shown.right(200), expected.right(200));
}

void TestAboutReadmeWindows::okHidesCloseBoxDestroys_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("ok"); // empty: use the close box; "Escape": that key
    QTest::addColumn<bool>("survives");
    QTest::newRow("About Ok") << u"About"_s << u"Cmd1"_s << true;
    QTest::newRow("About Escape") << u"About"_s << u"Escape"_s << true;
    QTest::newRow("About close box") << u"About"_s << QString() << false;
    QTest::newRow("Form2 Ok") << u"Form2"_s << u"Command1"_s << true;
    QTest::newRow("Form2 Escape") << u"Form2"_s << u"Escape"_s << true;
    QTest::newRow("Form2 close box") << u"Form2"_s << QString() << false;
}

void TestAboutReadmeWindows::okHidesCloseBoxDestroys()
{
    QFETCH(QString, kind);
    QFETCH(QString, ok);
    QFETCH(bool, survives);

    CapturingReport errors;
    QPointer<QWidget> window = createWindow(kind, errors);
    QVERIFY(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.data()));

    if (ok.isEmpty()) {
        QVERIFY(window->close());
    } else if (ok == u"Escape"_s) {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.data()));
        QTest::keyClick(window->focusWidget(), Qt::Key_Escape);
    } else {
        auto *button = window->findChild<ui::PictureButton *>(ok);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(!window.isNull(), survives);
    if (window) {
        QVERIFY(!window->isVisible());
        window->show();
        QVERIFY(window->isVisible());
        delete window.data();
    }
}

QTEST_MAIN(TestAboutReadmeWindows)
#include "tst_about_readme_dialogs.moc"
