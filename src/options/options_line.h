#pragma once
// The emulator's options line, built from the twenty option boxes and six
// value fields. Pure: no widgets, no locale lookups (the decimal separator is
// passed in by the caller).

#include <QChar>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <string_view>

namespace options {

// Check box values as the window holds them: 0 unticked, 1 ticked, 2 greyed.
// Index 0 is Check1 ... index 19 is Check20.
using CheckValues = std::array<int, 20>;
// Index 0 is Text1 ... index 5 is Text6.
using FieldTexts = std::array<QString, 6>;

// Leading-number parse of a value field's text. Never fails: no number gives 0,
// a number beyond the double range clamps to +/- the largest finite double.
double parseNumber(QStringView text);

// Shortest decimal text of a parsed value, as written after a switch.
QString numberText(double value, QChar decimalPoint = QLatin1Char('.'));

// The decimal separator written after a switch: the locale's when it is one
// ASCII character, else "." (the launch script holds single-byte characters,
// and Arabic-script locales use U+066B).
QChar scriptDecimalPoint(QStringView localeSeparator);

// The options line: empty, or " -x" switches in option table order.
QString buildOptionsLine(const CheckValues &checks, const FieldTexts &texts,
                         QChar decimalPoint = QLatin1Char('.'));

} // namespace options
