#include "options/options_line.h"

#include <QTest>

#include <cfloat>
#include <cmath>
#include <limits>

using options::numberText;
using options::parseNumber;

namespace {

QByteArray describe(double v)
{
    return QByteArray::number(v, 'g', 17);
}

// Exact comparison: QCOMPARE on doubles is fuzzy, which would hide an
// off-by-one-ulp parse or a clamp that lands next to DBL_MAX.
bool same(double a, double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

} // namespace

class TestOptionsNumber final : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseLongText_data();
    void parseLongText();
    void text_data();
    void text();
    void scriptSeparator_data();
    void scriptSeparator();
};

// The separator a locale gives, and the one that goes into the script.
void TestOptionsNumber::scriptSeparator_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QChar>("written");
    QTest::newRow("point") << "." << QChar(u'.');
    QTest::newRow("comma") << "," << QChar(u',');
    QTest::newRow("arabic decimal separator") << QString(QChar(0x066B)) << QChar(u'.');
    QTest::newRow("empty") << "" << QChar(u'.');
    QTest::newRow("two characters") << ".," << QChar(u'.');
    QTest::newRow("a blank") << " " << QChar(u'.');
}

void TestOptionsNumber::scriptSeparator()
{
    QFETCH(QString, locale);
    QFETCH(QChar, written);
    QCOMPARE(options::scriptDecimalPoint(locale), written);
}

void TestOptionsNumber::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    // no number at the start
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("plus only") << "+" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("two signs") << "+-3" << 0.0;
    QTest::newRow("exponent only") << "e5" << 0.0;
    QTest::newRow("fullwidth digits") << QString::fromUtf8("\xEF\xBC\x91\xEF\xBC\x92") << 0.0;

    // blanks, tabs and line feeds vanish wherever they are
    QTest::newRow("inner blank") << "1 5" << 15.0;
    QTest::newRow("padded") << " 1 4 " << 14.0;
    QTest::newRow("tab and line feed") << "\t1\n2" << 12.0;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("blanks in exponent") << "1 e - 2" << 0.01;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("no-break space stops") << QString::fromUtf8("12\xC2\xA0" "3") << 12.0;

    // leading number, rest ignored
    QTest::newRow("plain") << "60" << 60.0;
    QTest::newRow("trailing letters") << "60fps" << 60.0;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("second point stops") << "2.5.1" << 2.5;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("plus sign") << "+3" << 3.0;
    QTest::newRow("minus sign") << "-3" << -3.0;
    QTest::newRow("trailing zeros") << "3.00" << 3.0;
    QTest::newRow("leading zero") << " 03" << 3.0;
    QTest::newRow("tenth") << "0.1" << 0.1;
    QTest::newRow("negative zero") << "-0" << -0.0;
    QTest::newRow("many significant digits") << "123456789012345678901234567890"
                                             << 123456789012345678901234567890.0;

    // exponent counts only with digits
    QTest::newRow("bare e") << "1e" << 1.0;
    QTest::newRow("e and sign") << "1e+" << 1.0;
    QTest::newRow("e and minus") << "2E-x" << 2.0;
    QTest::newRow("exponent") << "1e2" << 100.0;
    QTest::newRow("signed exponent") << "1E+2" << 100.0;
    QTest::newRow("negative exponent") << "2.5e-1" << 0.25;
    QTest::newRow("exponent then text") << "3E2abc" << 300.0;
    QTest::newRow("D is no exponent") << "1D2" << 1.0;
    QTest::newRow("minus 1E20") << "-1E20" << -1e20;

    // range
    QTest::newRow("largest") << "1.7976931348623157E308" << DBL_MAX;
    QTest::newRow("just past largest") << "1.8E308" << DBL_MAX;
    QTest::newRow("overflow") << "1E999" << DBL_MAX;
    QTest::newRow("negative overflow") << "-1E999" << -DBL_MAX;
    QTest::newRow("exponent beyond int") << "1E99999999999999999999" << DBL_MAX;
    QTest::newRow("tiny") << "1E-999" << 0.0;
    QTest::newRow("negative tiny") << "-1E-999" << -0.0;
    QTest::newRow("exponent below int") << "1E-99999999999999999999" << 0.0;
    QTest::newRow("zero with huge exponent") << "0E99999999999" << 0.0;
    QTest::newRow("subnormal") << "4.9E-324" << std::numeric_limits<double>::denorm_min();

    // "&H" / "&O" whole numbers
    QTest::newRow("hex") << "&HFF" << 255.0;
    QTest::newRow("hex 10") << "&H10" << 16.0;
    QTest::newRow("hex lower case") << "&hff" << 255.0;
    QTest::newRow("hex 16 bit stays positive") << "&HFFFF" << 65535.0;
    QTest::newRow("hex stops at non-digit") << "&HFFg1" << 255.0;
    QTest::newRow("hex with blanks") << " & H F F" << 255.0;
    QTest::newRow("hex no digits") << "&H" << 0.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O178" << 15.0;
    QTest::newRow("octal no digits") << "&O8" << 0.0;
    QTest::newRow("other ampersand") << "&X1" << 0.0;
    QTest::newRow("ampersand digits") << "&17" << 0.0;
    QTest::newRow("sign before hex") << "-&H1" << 0.0;
    QTest::newRow("hex 64 bits") << "&HFFFFFFFFFFFFFFFF" << 18446744073709551615.0;
    QTest::newRow("hex 80 bits") << "&HFFFFFFFFFFFFFFFFFFFF" << 1208925819614629174706176.0;
    // 2^64 + 2^11 + 1: only the digit past 64 bits decides to round up
    QTest::newRow("hex rounding from dropped digit") << "&H10000000000000801" << 18446744073709555712.0;
    QTest::newRow("hex halfway rounds even") << "&H10000000000000800" << 18446744073709551616.0;
    QTest::newRow("octal 66 bits") << "&O7777777777777777777777" << 73786976294838206464.0;
}

void TestOptionsNumber::parse()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = parseNumber(text);
    QVERIFY2(same(actual, expected), describe(actual) + " != " + describe(expected));
}

void TestOptionsNumber::parseLongText_data()
{
    constexpr qsizetype n = 1'000'000;
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("nines") << QString(n, QLatin1Char('9')) << DBL_MAX;
    QTest::newRow("negative nines") << QLatin1Char('-') + QString(n, QLatin1Char('9')) << -DBL_MAX;
    QTest::newRow("one and zeros after point") << QLatin1String("1.") + QString(n, QLatin1Char('0')) << 1.0;
    QTest::newRow("leading zeros") << QString(n, QLatin1Char('0')) + QLatin1String("42") << 42.0;
    QTest::newRow("tiny fraction") << QLatin1String("0.") + QString(n, QLatin1Char('0')) + QLatin1Char('1')
                                   << 0.0;
    // 10^-(n+1) scaled back up by a long exponent
    QTest::newRow("tiny fraction scaled")
        << QLatin1String("0.") + QString(n, QLatin1Char('0')) + QLatin1String("1E") + QString::number(n + 5) << 1e4;
    QTest::newRow("blanks then digit") << QString(n, QLatin1Char(' ')) + QLatin1Char('7') << 7.0;
    QTest::newRow("digits split by blanks")
        << QLatin1Char('1') + QString(n, QLatin1Char(' ')) + QLatin1Char('2') << 12.0;
    QTest::newRow("hex digits") << QLatin1String("&H") + QString(n, QLatin1Char('F')) << DBL_MAX;
    QTest::newRow("octal digits") << QLatin1String("&O") + QString(n, QLatin1Char('7')) << DBL_MAX;
    QTest::newRow("garbage") << QString(n, QLatin1Char('x')) << 0.0;
}

void TestOptionsNumber::parseLongText()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    // A walk that is quadratic in the length would not end within the suite's
    // time limit at this size (10^12 steps); a linear one takes milliseconds.
    const double actual = parseNumber(text);
    QVERIFY2(same(actual, expected), describe(actual) + " != " + describe(expected));
}

void TestOptionsNumber::text_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("expected");

    const QChar point = QLatin1Char('.');
    const QChar comma = QLatin1Char(',');

    QTest::newRow("zero") << 0.0 << point << "0";
    QTest::newRow("negative zero") << -0.0 << point << "0";
    QTest::newRow("whole") << 60.0 << point << "60";
    QTest::newRow("negative whole") << -5.0 << point << "-5";
    QTest::newRow("whole with comma") << 1000.0 << comma << "1000";
    QTest::newRow("largest plain whole") << 999999999999999.0 << point << "999999999999999";
    QTest::newRow("largest plain negative") << -999999999999999.0 << point << "-999999999999999";
    QTest::newRow("fraction") << 253.5 << point << "253.5";
    QTest::newRow("fraction comma") << 253.5 << comma << "253,5";
    QTest::newRow("half") << 0.5 << point << "0.5";
    QTest::newRow("half comma") << 0.5 << comma << "0,5";
    QTest::newRow("negative fraction") << -0.25 << point << "-0.25";
    QTest::newRow("tenth") << 0.1 << point << "0.1";
    // As many digits as it takes to read back as the same number, and no more.
    QTest::newRow("sum is another number than 0.3") << 0.1 + 0.2 << point << "0.30000000000000004";
    QTest::newRow("third") << 1.0 / 3.0 << point << "0.3333333333333333";
    QTest::newRow("two thirds") << 2.0 / 3.0 << point << "0.6666666666666666";
    QTest::newRow("sixteen digits") << 4444444444444444.0 << point << "4.444444444444444E+15";
    QTest::newRow("mixed") << 1234.5678 << comma << "1234,5678";
    QTest::newRow("15 digits with fraction") << 12345678901234.5 << point << "12345678901234.5";
    QTest::newRow("fraction kept beside 15 whole digits") << 123456789012345.67 << point << "123456789012345.67";
    QTest::newRow("just below 1E+15") << 999999999999999.9 << point << "999999999999999.9";
    QTest::newRow("small fixed") << 0.0001 << point << "0.0001";
    QTest::newRow("small fixed comma") << 0.00015 << comma << "0,00015";
    QTest::newRow("small exponent") << 0.00001 << point << "1E-05";
    QTest::newRow("1E+15") << 1e15 << point << "1E+15";
    QTest::newRow("1E+20") << 1e20 << point << "1E+20";
    QTest::newRow("-1E+20") << -1e20 << point << "-1E+20";
    QTest::newRow("1E+100") << 1e100 << point << "1E+100";
    QTest::newRow("-1.5E-07") << -1.5e-7 << point << "-1.5E-07";
    QTest::newRow("-1,5E-07") << -1.5e-7 << comma << "-1,5E-07";
    QTest::newRow("1E-300") << 1e-300 << point << "1E-300";
    QTest::newRow("big whole") << 123456789012345678.0 << point << "1.2345678901234568E+17";
    QTest::newRow("big whole comma") << 123456789012345678.0 << comma << "1,2345678901234568E+17";
    QTest::newRow("largest") << DBL_MAX << point << "1.7976931348623157E+308";
    QTest::newRow("negative largest") << -DBL_MAX << point << "-1.7976931348623157E+308";
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min() << point << "5E-324";
    QTest::newRow("infinity clamps") << std::numeric_limits<double>::infinity() << point
                                     << "1.7976931348623157E+308";
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << point << "0";
}

void TestOptionsNumber::text()
{
    QFETCH(double, value);
    QFETCH(QChar, separator);
    QFETCH(QString, expected);
    QCOMPARE(numberText(value, separator), expected);
}

QTEST_APPLESS_MAIN(TestOptionsNumber)
#include "tst_options_number.moc"
