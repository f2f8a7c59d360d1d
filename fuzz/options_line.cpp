// Twenty arbitrary ticks and six arbitrary value texts: the options line is
// a run of switches (" -", the switch, for six of them a number text), and
// each number text parses back to the value its field parsed to.

#include "options/options_line.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QRegularExpression>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    options::CheckValues checks{};
    for (int &box : checks)
        box = input.ConsumeIntegralInRange(0, 2); // 2: greyed
    options::FieldTexts texts;
    for (QString &text : texts) {
        const std::string bytes = input.ConsumeRandomLengthString(64);
        text = input.ConsumeBool() ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))
                                   : QString(reinterpret_cast<const QChar *>(bytes.data()), qsizetype(bytes.size() / 2));
    }
    const QString line = options::buildOptionsLine(checks, texts);

    // Check4 -r, Check8 -p, Check9 -k, Check10 -v, Check11 -u, Check13 -c take a number.
    static const QRegularExpression grammar(QStringLiteral(
        R"(^(?: -(?:0|1|q|j0|j2|b|5|s0|s1|s2|x|d1|d2|r|[rpkvuc]-?[0-9]+(?:\.[0-9]+)?(?:E[+-][0-9]{2,3})?))*$)"));
    if (!grammar.match(line).hasMatch())
        std::abort();
    static const QRegularExpression valued(QStringLiteral(R"( -([rpkvuc])(-?[0-9][^ ]*))"));
    const QString fieldOf = QStringLiteral("r1p5k6v2u3c4");
    for (const QRegularExpressionMatch &m : valued.globalMatch(line)) {
        const int field = fieldOf.at(fieldOf.indexOf(m.captured(1)) + 1).digitValue();
        if (options::parseNumber(m.captured(2)) != options::parseNumber(texts[std::size_t(field) - 1]))
            std::abort();
    }
    return 0;
}
