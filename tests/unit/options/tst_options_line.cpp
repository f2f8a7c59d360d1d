#include "options/option_table.h"
#include "options/options_line.h"
#include "options/pages.h"

#include <QSet>
#include <QTest>

using options::CheckValues;
using options::FieldTexts;

namespace {

// Boxes are 1-based as on the form: {4, 18} ticks Check4 and Check18.
CheckValues checks(const QList<int> &ticked, int value = 1)
{
    CheckValues values{};
    for (int box : ticked)
        values[static_cast<std::size_t>(box) - 1] = value;
    return values;
}

// Only the named fields get text: {{1, "60"}} sets Text1.
FieldTexts fields(const QList<QPair<int, QString>> &set)
{
    FieldTexts texts;
    for (const auto &[field, text] : set)
        texts[static_cast<std::size_t>(field) - 1] = text;
    return texts;
}

using Fields = QList<QPair<int, QString>>;

} // namespace

class TestOptionsLine final : public QObject {
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void sound_data();
    void sound();
    void dsp_data();
    void dsp();
    void notTickedValues_data();
    void notTickedValues();
    void separator_data();
    void separator();
    void pages();
};

void TestOptionsLine::line_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<Fields>("texts");
    QTest::addColumn<QString>("expected");

    const Fields allFilled{{1, "60"}, {2, "1"}, {3, "39"}, {4, "0"}, {5, "3"}, {6, "1"}};

    QTest::newRow("nothing ticked") << QList<int>{} << Fields{} << "";
    QTest::newRow("nothing ticked, fields filled") << QList<int>{} << allFilled << "";
    QTest::newRow("plain boxes") << QList<int>{1, 2, 3, 5, 6, 7, 12, 14, 18} << Fields{}
                                 << " -0 -1 -r -q -j0 -j2 -b -5 -x";
    QTest::newRow("max speed and frame rate") << QList<int>{3, 4} << Fields{{1, "60"}} << " -r -r60";

    // an empty or non-numeric field still gives the switch with 0
    QTest::newRow("frame rate empty") << QList<int>{4} << Fields{} << " -r0";
    QTest::newRow("frame rate abc") << QList<int>{4} << Fields{{1, "abc"}} << " -r0";
    QTest::newRow("paddle empty") << QList<int>{8} << Fields{} << " -p0";
    QTest::newRow("paddle button empty") << QList<int>{9} << Fields{} << " -k0";
    QTest::newRow("video empty") << QList<int>{10} << Fields{} << " -v0";
    QTest::newRow("scanline empty") << QList<int>{11} << Fields{} << " -u0";
    QTest::newRow("palette empty") << QList<int>{13} << Fields{} << " -c0";

    // each value box reads its own field; distinct values expose a swap
    QTest::newRow("field pairing") << QList<int>{4, 8, 9, 10, 11, 13}
                                   << Fields{{1, "61"}, {2, "2"}, {3, "33"}, {4, "1"}, {5, "5"}, {6, "0"}}
                                   << " -r61 -p5 -k0 -v2 -u33 -c1";

    // limits: frame rate below 254, the others at most their limit
    QTest::newRow("frame rate 253") << QList<int>{4} << Fields{{1, "253"}} << " -r253";
    QTest::newRow("frame rate 254") << QList<int>{4} << Fields{{1, "254"}} << "";
    QTest::newRow("frame rate 300") << QList<int>{4} << Fields{{1, "300"}} << "";
    QTest::newRow("frame rate 253.5") << QList<int>{4} << Fields{{1, "253.5"}} << " -r253.5";
    QTest::newRow("frame rate 253.99999") << QList<int>{4} << Fields{{1, "253.99999"}} << " -r253.99999";
    QTest::newRow("frame rate -1E20") << QList<int>{4} << Fields{{1, "-1E20"}} << " -r-1E+20";
    QTest::newRow("frame rate overflow") << QList<int>{4} << Fields{{1, "1E999"}} << "";
    QTest::newRow("frame rate negative overflow") << QList<int>{4} << Fields{{1, "-1E999"}}
                                                  << " -r-1.7976931348623157E+308";
    QTest::newRow("paddle 15") << QList<int>{8} << Fields{{5, "15"}} << " -p15";
    QTest::newRow("paddle 15.5") << QList<int>{8} << Fields{{5, "15.5"}} << "";
    QTest::newRow("paddle 16") << QList<int>{8} << Fields{{5, "16"}} << "";
    QTest::newRow("paddle -3") << QList<int>{8} << Fields{{5, "-3"}} << " -p-3";
    QTest::newRow("paddle 3.00") << QList<int>{8} << Fields{{5, "3.00"}} << " -p3";
    QTest::newRow("paddle ' 03'") << QList<int>{8} << Fields{{5, " 03"}} << " -p3";
    QTest::newRow("paddle button 3") << QList<int>{9} << Fields{{6, "3"}} << " -k3";
    QTest::newRow("paddle button 3.5") << QList<int>{9} << Fields{{6, "3.5"}} << "";
    QTest::newRow("video 14") << QList<int>{10} << Fields{{2, "14"}} << " -v14";
    QTest::newRow("video 15") << QList<int>{10} << Fields{{2, "15"}} << "";
    QTest::newRow("video ' 1 4 '") << QList<int>{10} << Fields{{2, " 1 4 "}} << " -v14";
    QTest::newRow("video hex") << QList<int>{10} << Fields{{2, "&HE"}} << " -v14";
    QTest::newRow("palette 1") << QList<int>{13} << Fields{{4, "1"}} << " -c1";
    QTest::newRow("palette 2") << QList<int>{13} << Fields{{4, "2"}} << "";
    QTest::newRow("palette 0.5") << QList<int>{13} << Fields{{4, "0.5"}} << " -c0.5";
    QTest::newRow("scanline 1000") << QList<int>{11} << Fields{{3, "1000"}} << " -u1000";
    QTest::newRow("scanline overflow") << QList<int>{11} << Fields{{3, "1E999"}}
                                       << " -u1.7976931348623157E+308";

    // a value field counts only for its own ticked box
    QTest::newRow("text without tick") << QList<int>{4} << Fields{{5, "5"}} << " -r0";
    QTest::newRow("rules in place") << QList<int>{14, 17, 18, 20} << Fields{} << " -5 -s2 -x -d2";
    QTest::newRow("everything ticked")
        << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}
        << Fields{{1, "60"}, {5, "3"}, {6, "1"}, {2, "0"}, {3, "39"}, {4, "0"}}
        << " -0 -1 -r -r60 -q -j0 -j2 -p3 -k1 -v0 -u39 -b -c0 -5 -s1 -x -d1";
}

void TestOptionsLine::line()
{
    QFETCH(QList<int>, ticked);
    QFETCH(Fields, texts);
    QFETCH(QString, expected);
    QCOMPARE(options::buildOptionsLine(checks(ticked), fields(texts)), expected);
}

void TestOptionsLine::sound_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("expected");
    QTest::newRow("F F F") << QList<int>{} << "";
    QTest::newRow("T F F") << QList<int>{15} << " -s0";
    QTest::newRow("F T F") << QList<int>{16} << "";
    QTest::newRow("F F T") << QList<int>{17} << " -s2";
    QTest::newRow("T T F") << QList<int>{15, 16} << "";
    QTest::newRow("T F T") << QList<int>{15, 17} << "";
    QTest::newRow("F T T") << QList<int>{16, 17} << "";
    QTest::newRow("T T T") << QList<int>{15, 16, 17} << " -s1";
}

void TestOptionsLine::sound()
{
    QFETCH(QList<int>, ticked);
    QFETCH(QString, expected);
    QCOMPARE(options::buildOptionsLine(checks(ticked), FieldTexts{}), expected);
}

void TestOptionsLine::dsp_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("expected");
    QTest::newRow("F F") << QList<int>{} << "";
    QTest::newRow("T F") << QList<int>{19} << "";
    QTest::newRow("F T") << QList<int>{20} << " -d2";
    QTest::newRow("T T") << QList<int>{19, 20} << " -d1";
}

void TestOptionsLine::dsp()
{
    QFETCH(QList<int>, ticked);
    QFETCH(QString, expected);
    QCOMPARE(options::buildOptionsLine(checks(ticked), FieldTexts{}), expected);
}

void TestOptionsLine::notTickedValues_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("greyed") << 2;
    QTest::newRow("negative") << -1;
    QTest::newRow("large") << 257;
}

// Only exactly 1 ticks a box; in the rules it is not "unticked" (0) either.
void TestOptionsLine::notTickedValues()
{
    QFETCH(int, value);
    QList<int> all;
    for (int box = 1; box <= 20; ++box)
        all << box;
    const FieldTexts texts = fields({{1, "60"}, {2, "1"}, {3, "39"}, {4, "0"}, {5, "3"}, {6, "1"}});
    QCOMPARE(options::buildOptionsLine(checks(all, value), texts), QString());

    CheckValues mixed = checks({15, 19});
    mixed[15] = value; // Check16: the sound rule wants 0 here for " -s0"
    mixed[19] = value; // Check20
    QCOMPARE(options::buildOptionsLine(mixed, FieldTexts{}), QString());

    mixed = checks({4});
    mixed[2] = value; // Check3 beside a ticked Check4
    QCOMPARE(options::buildOptionsLine(mixed, fields({{1, "60"}})), QStringLiteral(" -r60"));
}

void TestOptionsLine::separator_data()
{
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<Fields>("texts");
    QTest::addColumn<QString>("expected");
    QTest::newRow("frame rate") << QList<int>{4} << Fields{{1, "253.5"}} << " -r253,5";
    QTest::newRow("palette") << QList<int>{13} << Fields{{4, "0.5"}} << " -c0,5";
    QTest::newRow("comma typed is no point") << QList<int>{13} << Fields{{4, "0,5"}} << " -c0";
    QTest::newRow("exponent") << QList<int>{11} << Fields{{3, "-1.5e-7"}} << " -u-1,5E-07";
}

// A comma separator changes only what is written, never what is read.
void TestOptionsLine::separator()
{
    QFETCH(QList<int>, ticked);
    QFETCH(Fields, texts);
    QFETCH(QString, expected);
    QCOMPARE(options::buildOptionsLine(checks(ticked), fields(texts), QLatin1Char(',')), expected);
}

void TestOptionsLine::pages()
{
    QSet<QString> expectedNames;
    for (int i = 1; i <= 20; ++i)
        expectedNames << QStringLiteral("Check%1").arg(i);
    for (int i = 1; i <= 6; ++i)
        expectedNames << QStringLiteral("Text%1").arg(i);

    QHash<QString, int> pageOf;
    int perPage[options::kPageCount] = {};
    int lastPage = 1;
    for (const auto &control : options::kPageControls) {
        const QString name = QStringLiteral("%1%2")
                                 .arg(options::isValueField(control.control) ? "Text" : "Check")
                                 .arg(options::numberOf(control.control));
        QVERIFY2(expectedNames.contains(name), qPrintable(name));
        QVERIFY2(!pageOf.contains(name), qPrintable(name + " listed twice"));
        QVERIFY(control.page >= 1 && control.page <= options::kPageCount);
        QVERIFY2(control.page >= lastPage, "controls must come page by page");
        lastPage = control.page;
        pageOf.insert(name, control.page);
        ++perPage[control.page - 1];
    }
    QCOMPARE(pageOf.size(), 26);
    QCOMPARE(perPage[0], 6);
    QCOMPARE(perPage[1], 8);
    QCOMPARE(perPage[2], 6);
    QCOMPARE(perPage[3], 6);

    // A value field stands on the same page as the box it belongs to.
    for (const auto &row : options::kOptionRows) {
        if (row.field == 0)
            continue;
        const QString box = QStringLiteral("Check%1").arg(row.box);
        const QString field = QStringLiteral("Text%1").arg(row.field);
        QCOMPARE(pageOf.value(field), pageOf.value(box));
    }

    QCOMPARE(options::kPageCaptions[0], std::string_view("Sound"));
    QCOMPARE(options::kPageCaptions[3], std::string_view("General"));
}

QTEST_APPLESS_MAIN(TestOptionsLine)
#include "tst_options_line.moc"
