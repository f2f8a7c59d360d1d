#include "options/options_line.h"

#include "options/option_table.h"

namespace options {

namespace {

constexpr bool rowsInOrder()
{
    for (std::size_t i = 0; i < kOptionRows.size(); ++i)
        if (kOptionRows[i].box != int(i) + 1 || (kOptionRows[i].test == ValueTest::None) != (kOptionRows[i].field == 0))
            return false;
    return true;
}
static_assert(rowsInOrder(), "option rows must list Check1..Check14 in order, a field exactly where a value is tested");

QLatin1String latin1(std::string_view text)
{
    return QLatin1String(text.data(), static_cast<qsizetype>(text.size()));
}

bool passes(const OptionRow &row, double value)
{
    switch (row.test) {
    case ValueTest::LessThan:
        return value < row.limit;
    case ValueTest::AtMost:
        return value <= row.limit;
    case ValueTest::Any:
    case ValueTest::None:
        break;
    }
    return true;
}

void appendRow(const OptionRow &row, const CheckValues &checks, const FieldTexts &texts, QChar decimalPoint,
               QString &line)
{
    const bool ticked = checks[std::size_t(row.box) - 1] == 1;
    if (row.field == 0) {
        if (ticked)
            line += latin1(row.text);
        return;
    }
    // The field is read whether or not its box is ticked.
    const double value = parseNumber(texts[std::size_t(row.field) - 1]);
    if (ticked && passes(row, value))
        line += latin1(row.text) + numberText(value, decimalPoint);
}

} // namespace

QString buildOptionsLine(const CheckValues &checks, const FieldTexts &texts, QChar decimalPoint)
{
    // A box is ticked only with value 1 and clear only with value 0: a greyed
    // box (2) is neither, and so fails both kinds of test.
    const auto ticked = [&checks](int box) { return checks[std::size_t(box) - 1] == 1; };
    const auto clear = [&checks](int box) { return checks[std::size_t(box) - 1] == 0; };

    QString line;
    for (const OptionRow &row : kOptionRows)
        appendRow(row, checks, texts, decimalPoint, line);

    // Sound: diagnostics alone, all three together, or 15700 samples alone.
    if (ticked(15) && clear(16) && clear(17))
        line += QLatin1String(" -s0");
    if (ticked(16) && ticked(15) && ticked(17))
        line += QLatin1String(" -s1");
    if (ticked(17) && clear(15) && clear(16))
        line += QLatin1String(" -s2");

    appendRow(kChecksumRow, checks, texts, decimalPoint, line);

    // DSP: both boxes give "low", the high box alone "high".
    if (ticked(19) && ticked(20))
        line += QLatin1String(" -d1");
    if (ticked(20) && clear(19))
        line += QLatin1String(" -d2");
    return line;
}

} // namespace options
