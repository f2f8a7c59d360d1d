// Numeric parse and number text of the option value fields. Both work on
// ASCII only and never consult the C or Qt locale, so a field reads the same
// on every machine; only the separator written by numberText is the caller's.

#include "options/options_line.h"

#include "base/ascii.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace options {

namespace {

// Walks a field's text as if blanks, tabs and line feeds were not there.
class Reader {
public:
    explicit Reader(QStringView text) : text_(text) { skipDropped(); }

    // 0 at the end; a NUL in the text cannot continue a number either.
    char16_t peek() const { return pos_ < text_.size() ? text_[pos_].unicode() : u'\0'; }
    void next()
    {
        ++pos_;
        skipDropped();
    }

private:
    void skipDropped()
    {
        while (pos_ < text_.size()) {
            const char16_t c = text_[pos_].unicode();
            if (c != u' ' && c != u'\t' && c != u'\n')
                break;
            ++pos_;
        }
    }

    QStringView text_;
    qsizetype pos_ = 0;
};

int digitValue(char16_t c, int radix)
{
    const int d = ascii::hexDigitValue(c);
    return d < radix ? d : -1;
}

double clampedMagnitude(bool negative, double magnitude)
{
    if (std::isinf(magnitude))
        magnitude = DBL_MAX;
    return negative ? -magnitude : magnitude;
}

// "&H"/"&O" digits are an unsigned whole number of any length, so "&HFFFF" is
// 65535 rather than a wrapped 16-bit -1: a typed value never turns negative.
// Digits past 64 bits only scale the value and feed the rounding bit, which
// keeps the result correctly rounded without big-number arithmetic.
double parseWhole(Reader &reader, int bitsPerDigit)
{
    const int radix = 1 << bitsPerDigit;
    constexpr int kMaxExtraDigits = 2048; // far past the double range already
    std::uint64_t acc = 0;
    int extraDigits = 0;
    bool nonZeroDropped = false;
    for (int d; (d = digitValue(reader.peek(), radix)) >= 0; reader.next()) {
        if (extraDigits == 0 && acc <= (UINT64_MAX >> bitsPerDigit)) {
            acc = (acc << bitsPerDigit) | static_cast<std::uint64_t>(d);
        } else {
            if (extraDigits < kMaxExtraDigits)
                ++extraDigits;
            nonZeroDropped = nonZeroDropped || d != 0;
        }
    }
    if (nonZeroDropped)
        acc |= 1; // acc holds 60+ bits here, so bit 0 lies below the rounding point
    return clampedMagnitude(false, std::ldexp(static_cast<double>(acc), extraDigits * bitsPerDigit));
}

double parseDecimal(Reader &reader)
{
    bool negative = false;
    if (reader.peek() == u'+' || reader.peek() == u'-') {
        negative = reader.peek() == u'-';
        reader.next();
    }

    // The value is 0.<significant> times ten to the power of scale.
    std::string significant;
    std::int64_t scale = 0;
    bool anyDigit = false;
    bool pointSeen = false;
    for (;; reader.next()) {
        const char16_t c = reader.peek();
        if (ascii::isDigit(c)) {
            anyDigit = true;
            if (significant.empty() && c == u'0') {
                if (pointSeen)
                    --scale;
            } else {
                significant.push_back(static_cast<char>(c));
                if (!pointSeen)
                    ++scale;
            }
        } else if (c == u'.' && !pointSeen) {
            pointSeen = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;

    // "1e" and "1e+" keep their mantissa: without digits the exponent is 0.
    if (reader.peek() == u'E' || reader.peek() == u'e') {
        reader.next();
        bool negativeExponent = false;
        if (reader.peek() == u'+' || reader.peek() == u'-') {
            negativeExponent = reader.peek() == u'-';
            reader.next();
        }
        constexpr std::int64_t kExponentCap = 1'000'000'000;
        std::int64_t exponent = 0;
        for (; ascii::isDigit(reader.peek()); reader.next())
            exponent = std::min(exponent * 10 + (reader.peek() - u'0'), kExponentCap);
        scale += negativeExponent ? -exponent : exponent;
    }

    if (significant.empty())
        return negative ? -0.0 : 0.0;
    // Decided outside from_chars so that a huge exponent never reaches it.
    if (scale > DBL_MAX_10_EXP + 1)
        return clampedMagnitude(negative, HUGE_VAL);
    if (scale < DBL_MIN_10_EXP - DBL_DIG - 20)
        return negative ? -0.0 : 0.0;

    std::string text = "0." + significant + 'e';
    char exponentText[24];
    const auto written = std::to_chars(std::begin(exponentText), std::end(exponentText), scale);
    text.append(exponentText, written.ptr);

    double value = 0.0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec == std::errc::result_out_of_range)
        value = scale > 0 ? HUGE_VAL : 0.0;
    return clampedMagnitude(negative, value);
}

} // namespace

double parseNumber(QStringView text)
{
    Reader reader(text);
    if (reader.peek() == u'&') {
        reader.next();
        const char16_t kind = reader.peek();
        if (kind == u'H' || kind == u'h') {
            reader.next();
            return parseWhole(reader, 4);
        }
        if (kind == u'O' || kind == u'o') {
            reader.next();
            return parseWhole(reader, 3);
        }
        return 0.0;
    }
    return parseDecimal(reader);
}

QChar scriptDecimalPoint(QStringView localeSeparator)
{
    if (localeSeparator.size() == 1 && localeSeparator.front().unicode() > 0x20
        && localeSeparator.front().unicode() < 0x7F && !localeSeparator.front().isDigit())
        return localeSeparator.front();
    return QLatin1Char('.');
}

namespace {

// A finite, non-zero value that is not a small whole number, as the fewest
// significant digits that read back as the same double (at most seventeen;
// fifteen or fewer for anything typed with fifteen or fewer), without
// trailing zeros, and the decimal exponent of the first of them.
struct Digits {
    bool negative;
    std::string digits;
    int exponent;
};

Digits significantDigits(double value)
{
    char buffer[40];
    const auto written = std::to_chars(std::begin(buffer), std::end(buffer), value, std::chars_format::scientific);
    const std::string_view formatted(buffer, static_cast<std::size_t>(written.ptr - buffer));
    const std::size_t ePos = formatted.find('e');
    Digits out{formatted.front() == '-', {}, 0};
    for (char c : formatted.substr(0, ePos))
        if (ascii::isDigit(c))
            out.digits.push_back(c);
    while (out.digits.size() > 1 && out.digits.back() == '0')
        out.digits.pop_back();
    std::string_view exponentText = formatted.substr(ePos + 1);
    if (exponentText.front() == '+')
        exponentText.remove_prefix(1);
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), out.exponent);
    return out;
}

QLatin1String latin1(std::string_view part)
{
    return QLatin1String(part.data(), static_cast<qsizetype>(part.size()));
}

// 1.5E+20, 1E-05: one digit before the separator, a signed exponent of at least two digits.
QString scientificText(const Digits &d, QChar decimalPoint)
{
    QString out = latin1(std::string_view(d.digits).substr(0, 1));
    if (d.digits.size() > 1)
        out += decimalPoint + latin1(std::string_view(d.digits).substr(1));
    out += d.exponent < 0 ? QLatin1String("E-") : QLatin1String("E+");
    const int magnitude = std::abs(d.exponent);
    if (magnitude < 10)
        out += QLatin1Char('0');
    return out + QString::number(magnitude);
}

// 2.5, 0.0001, 123456789012345: the digits with the separator where it falls.
QString positionalText(const Digits &d, QChar decimalPoint)
{
    const std::string_view digits(d.digits);
    if (d.exponent < 0)
        return QLatin1String("0") + decimalPoint + QString(-d.exponent - 1, QLatin1Char('0')) + latin1(digits);
    const std::size_t whole = static_cast<std::size_t>(d.exponent) + 1;
    if (digits.size() <= whole)
        return latin1(digits) + QString(static_cast<qsizetype>(whole - digits.size()), QLatin1Char('0'));
    return latin1(digits.substr(0, whole)) + decimalPoint + latin1(digits.substr(whole));
}

} // namespace

QString numberText(double value, QChar decimalPoint)
{
    if (std::isnan(value) || value == 0.0)
        return QStringLiteral("0");
    if (std::isinf(value))
        value = std::copysign(DBL_MAX, value);
    if (std::fabs(value) < 1e15 && value == std::trunc(value))
        return QString::number(static_cast<qint64>(value));

    const Digits d = significantDigits(value);
    const QString text = d.exponent >= 15 || d.exponent < -4 ? scientificText(d, decimalPoint)
                                                             : positionalText(d, decimalPoint);
    return d.negative ? QLatin1Char('-') + text : text;
}

} // namespace options
