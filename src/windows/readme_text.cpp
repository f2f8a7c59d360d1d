#include "windows/readme_text.h"

#include <QStringDecoder>

#include <array>
#include <vector>

namespace ui {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Code page 1252 differs from Latin-1 only in 0x80-0x9F.
constexpr std::array<char16_t, 32> kCp1252High = {
    u'\u20AC', kReplacement, u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', kReplacement, u'\u017D', kReplacement,
    kReplacement, u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', kReplacement, u'\u017E', u'\u0178',
};

char16_t cp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kCp1252High[byte - 0x80];
    return byte;
}

bool startsWith(QByteArrayView bytes, QByteArrayView prefix)
{
    return bytes.size() >= prefix.size() && bytes.first(prefix.size()) == prefix;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Groups whose content is not document text.
bool isSkippedDestination(QByteArrayView word)
{
    static constexpr std::array<const char *, 30> kWords = {
        "fonttbl",   "colortbl",  "stylesheet", "info",         "pict",
        "object",    "objdata",   "header",     "headerl",      "headerr",
        "headerf",   "footer",    "footerl",    "footerr",      "footerf",
        "footnote",  "fldinst",   "themedata",  "colorschememapping",
        "latentstyles", "datastore", "xmlnstbl", "rsidtbl",     "listtable",
        "listoverridetable", "generator", "filetbl", "revtbl",  "pgdsctbl",
        "nonshppict",
    };
    for (const char *w : kWords)
        if (word == QByteArrayView(w))
            return true;
    return false;
}

char16_t symbolFor(QByteArrayView word)
{
    struct Entry { const char *word; char16_t ch; };
    static constexpr std::array<Entry, 14> kSymbols = {{
        {"par", u'\n'},        {"line", u'\n'},       {"sect", u'\n'},
        {"page", u'\n'},       {"row", u'\n'},        {"tab", u'\t'},
        {"cell", u'\t'},       {"emdash", u'\u2014'}, {"endash", u'\u2013'},
        {"bullet", u'\u2022'}, {"lquote", u'\u2018'}, {"rquote", u'\u2019'},
        {"ldblquote", u'\u201C'}, {"rdblquote", u'\u201D'},
    }};
    for (const Entry &e : kSymbols)
        if (word == QByteArrayView(e.word))
            return e.ch;
    return 0;
}

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(cp1252(static_cast<unsigned char>(bytes[i])));
    return text;
}

QString decodeText(QByteArrayView bytes)
{
    // Stateless: a sequence cut off at the end of the file is an error too.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;

    if (startsWith(bytes, "\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE)(bytes);
    if (startsWith(bytes, "\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE)(bytes);
    return decodeWindows1252(bytes);
}

bool isRichText(QByteArrayView bytes)
{
    return startsWith(bytes, "{\\rtf");
}

QString richTextToPlainText(QByteArrayView rtf)
{
    struct State {
        bool skip = false;
        int fallbackLength = 1; // \uc: how many fallback characters follow each \u
    };
    std::vector<State> outer;
    State state;
    int fallbackLeft = 0;
    QString out;
    out.reserve(rtf.size() / 2);

    auto put = [&](char16_t ch) {
        if (fallbackLeft > 0) {
            --fallbackLeft;
            return;
        }
        if (!state.skip)
            out.append(QChar(ch));
    };

    const qsizetype n = rtf.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = rtf[i];
        if (c == '{') {
            outer.push_back(state);
            fallbackLeft = 0;
            ++i;
        } else if (c == '}') {
            fallbackLeft = 0;
            if (outer.empty())
                break;
            state = outer.back();
            outer.pop_back();
            if (outer.empty())
                break; // the document's own group has ended
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            put(cp1252(static_cast<unsigned char>(c)));
            ++i;
        } else if (i + 1 >= n) {
            ++i;
        } else if (isLetter(rtf[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isLetter(rtf[j]))
                ++j;
            const QByteArrayView word = rtf.sliced(i + 1, j - i - 1);
            bool hasParam = false;
            bool negative = false;
            long long param = 0;
            if (j < n && rtf[j] == '-' && j + 1 < n && isDigit(rtf[j + 1])) {
                negative = true;
                ++j;
            }
            while (j < n && isDigit(rtf[j])) {
                hasParam = true;
                if (param < 1'000'000'000)
                    param = param * 10 + (rtf[j] - '0');
                ++j;
            }
            if (negative)
                param = -param;
            if (j < n && rtf[j] == ' ')
                ++j;
            i = j;

            if (word == "bin") {
                if (hasParam && param > 0)
                    i += std::min<long long>(param, n - i);
            } else if (word == "u" && hasParam) {
                fallbackLeft = 0;
                if (param >= -32768 && param <= 65535)
                    put(static_cast<char16_t>(param < 0 ? param + 65536 : param));
                fallbackLeft = state.fallbackLength;
            } else if (word == "uc" && hasParam) {
                state.fallbackLength = static_cast<int>(std::max(0LL, param));
            } else if (isSkippedDestination(word)) {
                state.skip = true;
            } else if (const char16_t ch = symbolFor(word)) {
                fallbackLeft = 0;
                put(ch);
            }
        } else {
            const char symbol = rtf[i + 1];
            i += 2;
            switch (symbol) {
            case '\\': case '{': case '}':
                put(static_cast<char16_t>(symbol));
                break;
            case '~':
                put(u'\u00A0');
                break;
            case '_':
                put(u'\u2011');
                break;
            case '*':
                state.skip = true;
                break;
            case '\r': case '\n':
                put(u'\n');
                break;
            case '\'':
                if (i + 1 < n && hexValue(rtf[i]) >= 0 && hexValue(rtf[i + 1]) >= 0) {
                    put(cp1252(static_cast<unsigned char>(hexValue(rtf[i]) * 16 + hexValue(rtf[i + 1]))));
                    i += 2;
                }
                break;
            default: // \- optional hyphen, \| and others carry no text
                break;
            }
        }
    }
    return out;
}

QString readmeDisplayText(QByteArrayView bytes)
{
    const QString decoded = isRichText(bytes) ? richTextToPlainText(bytes) : decodeText(bytes);

    // One pass: CR LF and lone CR become LF, NUL becomes a visible mark, and
    // overlong lines are broken.
    const qsizetype n = decoded.size();
    QString text(n + n / kLongestReadmeLine + 1, Qt::Uninitialized);
    QChar *out = text.data();
    const QChar *in = decoded.constData();
    qsizetype k = 0;
    qsizetype column = 0;
    for (qsizetype i = 0; i < n; ++i) {
        char16_t ch = in[i].unicode();
        if (ch == u'\r') {
            ch = u'\n';
            if (i + 1 < n && in[i + 1] == QChar(u'\n'))
                ++i;
        } else if (ch == 0) {
            ch = kReplacement;
        }
        if (ch == u'\n') {
            column = 0;
        } else if (column >= kLongestReadmeLine && !QChar::isLowSurrogate(ch)) {
            out[k++] = QChar(u'\n');
            column = 0;
        }
        if (ch != u'\n')
            ++column;
        out[k++] = QChar(ch);
    }
    text.truncate(k);
    return text;
}

} // namespace ui
