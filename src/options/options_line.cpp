#include "options/options_line.h"

#include "options/option_table.h"

namespace options {

namespace {

constexpr bool tableIsSound()
{
    for (std::size_t i = 0; i < kOptionRows.size(); ++i) {
        const OptionRow &row = kOptionRows[i];
        if (row.box != static_cast<int>(i) + 1)
            return false;
        const bool hasField = row.test == ValueTest::LessThan || row.test == ValueTest::AtMost
                              || row.test == ValueTest::Any;
        if (hasField != (row.field >= 1 && row.field <= 6))
            return false;
    }
    for (const Rule *rule : kRules) {
        for (int box : rule->boxes)
            if (box != 0 && kOptionRows[static_cast<std::size_t>(box) - 1].test != ValueTest::Rule)
                return false;
    }
    return true;
}
static_assert(tableIsSound(), "option rows must list Check1..Check20 in order with matching fields");

QLatin1String latin1(std::string_view text)
{
    return QLatin1String(text.data(), static_cast<qsizetype>(text.size()));
}

bool boxMatches(BoxState state, int value)
{
    switch (state) {
    case BoxState::Ticked:
        return value == 1;
    case BoxState::Clear:
        return value == 0;
    case BoxState::Either:
        break;
    }
    return true;
}

void applyRule(const Rule &rule, const CheckValues &checks, QString &line)
{
    for (int c = 0; c < rule.caseCount; ++c) {
        const RuleCase &ruleCase = rule.cases[static_cast<std::size_t>(c)];
        bool matches = true;
        for (std::size_t b = 0; b < rule.boxes.size() && rule.boxes[b] != 0; ++b)
            matches = matches
                      && boxMatches(ruleCase.states[b],
                                    checks[static_cast<std::size_t>(rule.boxes[b]) - 1]);
        if (matches)
            line += latin1(ruleCase.text);
    }
}

const Rule *ruleStartingAt(int box)
{
    for (const Rule *rule : kRules)
        if (rule->boxes[0] == box)
            return rule;
    return nullptr;
}

bool passes(const OptionRow &row, double value)
{
    switch (row.test) {
    case ValueTest::LessThan:
        return value < row.limit;
    case ValueTest::AtMost:
        return value <= row.limit;
    case ValueTest::Any:
        return true;
    case ValueTest::None:
    case ValueTest::Rule:
        break;
    }
    return false;
}

} // namespace

QString buildOptionsLine(const CheckValues &checks, const FieldTexts &texts, QChar decimalPoint)
{
    QString line;
    for (const OptionRow &row : kOptionRows) {
        const bool ticked = checks[static_cast<std::size_t>(row.box) - 1] == 1;
        switch (row.test) {
        case ValueTest::None:
            if (ticked)
                line += latin1(row.text);
            break;
        case ValueTest::Rule:
            if (const Rule *rule = ruleStartingAt(row.box))
                applyRule(*rule, checks, line);
            break;
        case ValueTest::LessThan:
        case ValueTest::AtMost:
        case ValueTest::Any: {
            const double value = parseNumber(texts[static_cast<std::size_t>(row.field) - 1]);
            if (ticked && passes(row, value))
                line += latin1(row.text) + numberText(value, decimalPoint);
            break;
        }
        }
    }
    return line;
}

} // namespace options
