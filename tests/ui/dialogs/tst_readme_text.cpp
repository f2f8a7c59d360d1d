#include "dialogs/readme_text.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestReadmeText : public QObject {
    Q_OBJECT
private slots:
    void decodeText_data();
    void decodeText();
    void windows1252CoversEveryByte();
    void richText_data();
    void richText();
    void richTextSurvivesBrokenInput_data();
    void richTextSurvivesBrokenInput();
    void displayText_data();
    void displayText();
    void longLinesAreBroken();
};

void TestReadmeText::decodeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << "Hello\nworld"_ba << u"Hello\nworld"_s;
    QTest::newRow("utf-8") << "K\xC3\xA4se \xE2\x82\xAC 5"_ba << u"K\u00E4se \u20AC 5"_s;
    QTest::newRow("utf-8 with byte-order mark") << "\xEF\xBB\xBFReadme"_ba << u"Readme"_s;
    QTest::newRow("1252 punctuation") << "\x93quoted\x94 it\x92s \x80 5 \x96 6\x85"_ba
                                      << u"\u201Cquoted\u201D it\u2019s \u20AC 5 \u2013 6\u2026"_s;
    // One valid UTF-8 sequence does not make a file UTF-8 when another byte is not.
    QTest::newRow("mixed is 1252") << "caf\xE9 \xE2\x82\xAC"_ba << u"caf\u00E9 \u00E2\u201A\u00AC"_s;
    QTest::newRow("truncated utf-8 is 1252") << "ab\xE2\x82"_ba << u"ab\u00E2\u201A"_s;
    QTest::newRow("utf-16le") << QByteArray("\xFF\xFEH\0i\0", 6) << u"Hi"_s;
}

void TestReadmeText::decodeText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(windows::decodeText(bytes), expected);
}

void TestReadmeText::windows1252CoversEveryByte()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<char>(b);
    const QString text = windows::decodeWindows1252(all);
    QCOMPARE(text.size(), 256);
    for (int b = 0; b < 256; ++b) {
        const char16_t ch = text.at(b).unicode();
        if (b < 0x80 || b >= 0xA0)
            QCOMPARE(ch, char16_t(b));
        else if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            QCOMPARE(ch, u'\uFFFD');
        else
            QVERIFY2(ch >= 0x100, qPrintable(u"byte 0x%1 maps to U+%2"_s.arg(b, 0, 16).arg(ch, 4, 16)));
    }
    QCOMPARE(text.at(0x99), QChar(u'\u2122'));
}

void TestReadmeText::richText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("paragraphs") << R"({\rtf1\ansi Hello\par World\par})"_ba << u"Hello\nWorld\n"_s;
    QTest::newRow("tables skipped")
        << R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1 Courier;}}{\colortbl ;\red255\green0\blue0;}{\stylesheet{\s0 Normal;}}\f0\fs20 Text\par})"_ba
        << u"Text\n"_s;
    QTest::newRow("ignorable destination")
        << R"({\rtf1{\*\generator Riched20 10.0;}{\*\unknownthing {nested} stuff}Kept})"_ba << u"Kept"_s;
    QTest::newRow("formatting groups keep text")
        << R"({\rtf1 plain {\b bold} and {\i\ul italic}.})"_ba << u"plain bold and italic."_s;
    QTest::newRow("escaped symbols") << R"({\rtf1 a\{b\}c\\d})"_ba << u"a{b}c\\d"_s;
    QTest::newRow("hex bytes are 1252") << R"({\rtf1 caf\'e9 \'80})"_ba << u"caf\u00E9 \u20AC"_s;
    QTest::newRow("unicode with fallback") << R"({\rtf1 x\u8364?y})"_ba << u"x\u20ACy"_s;
    QTest::newRow("unicode no fallback") << R"({\rtf1\uc0 \u233 z})"_ba << u"\u00E9z"_s;
    QTest::newRow("uc restored after group") << R"({\rtf1{\uc2 \u233??}\u233?z})"_ba << u"\u00E9\u00E9z"_s;
    QTest::newRow("surrogate pair") << R"({\rtf1 \u-10179?\u-9090?})"_ba << u"\U0001F47E"_s;
    QTest::newRow("delimiter space eaten, others kept") << R"({\rtf1 \b  two})"_ba << u" two"_s;
    QTest::newRow("tab, line, quotes")
        << R"({\rtf1 a\tab b\line c\lquote d\rquote\ldblquote e\rdblquote\emdash})"_ba
        << u"a\tb\nc\u2018d\u2019\u201Ce\u201D\u2014"_s;
    QTest::newRow("source line breaks ignored") << "{\\rtf1 one\r\ntwo\\par\r\n}"_ba << u"onetwo\n"_s;
    QTest::newRow("binary data skipped") << "{\\rtf1 A{\\*\\blob\\bin3 }}x}B}"_ba << u"AB"_s;
    QTest::newRow("field result kept")
        << R"({\rtf1 see {\field{\*\fldinst HYPERLINK "x"}{\fldrslt here}}.})"_ba << u"see here."_s;
}

void TestReadmeText::richText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QVERIFY(windows::isRichText(rtf));
    QCOMPARE(windows::richTextToPlainText(rtf), expected);
}

void TestReadmeText::richTextSurvivesBrokenInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unclosed") << R"({\rtf1 abc{\b de)"_ba << u"abcde"_s;
    QTest::newRow("trailing backslash") << "{\\rtf1 abc\\"_ba << u"abc"_s;
    QTest::newRow("short hex") << "{\\rtf1 a\\'4"_ba << u"a4"_s;
    QTest::newRow("bin past end") << "{\\rtf1 a\\bin999999 xyz"_ba << u"a"_s;
    QTest::newRow("huge parameter") << "{\\rtf1 \\u99999999999999999999?b}"_ba << u"b"_s;
}

void TestReadmeText::richTextSurvivesBrokenInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QCOMPARE(windows::richTextToPlainText(rtf), expected);
}

void TestReadmeText::displayText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("crlf") << "one\r\ntwo\r\n"_ba << u"one\ntwo\n"_s;
    QTest::newRow("lone cr") << "one\rtwo"_ba << u"one\ntwo"_s;
    QTest::newRow("nul visible") << QByteArray("a\0b", 3) << u"a\uFFFDb"_s;
    QTest::newRow("rtf-looking text later in file") << "x {\\rtf1 y}"_ba << u"x {\\rtf1 y}"_s;
}

void TestReadmeText::displayText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(windows::readmeDisplayText(bytes), expected);
}

void TestReadmeText::longLinesAreBroken()
{
    const qsizetype limit = windows::kLongestReadmeLine;

    // Exactly the limit: untouched.
    const QByteArray exact(limit, 'x');
    QCOMPARE(windows::readmeDisplayText(exact + "\nend"), QString::fromLatin1(exact + "\nend"));

    // 2.5 times the limit, in one line: three lines, nothing lost.
    const QString broken = windows::readmeDisplayText(QByteArray(limit * 5 / 2, 'y') + "\nend");
    const QStringList lines = broken.split(u'\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0].size(), limit);
    QCOMPARE(lines[1].size(), limit);
    QCOMPARE(lines[2].size(), limit / 2);
    QCOMPARE(lines[3], u"end"_s);

    // A break never falls between the two halves of a surrogate pair.
    QByteArray astral(limit - 1, 'z');
    astral += "\xF0\x9F\x91\xBE" "after";
    const QStringList parts = windows::readmeDisplayText(astral).split(u'\n');
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts[0].size(), limit + 1);
    QVERIFY(parts[0].back().isLowSurrogate());
    QCOMPARE(parts[1], u"after"_s);
}

QTEST_APPLESS_MAIN(TestReadmeText)
#include "tst_readme_text.moc"
