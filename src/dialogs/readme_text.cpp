#include "dialogs/readme_text.h"

#include "base/ascii.h"

#include <QStringDecoder>

#include <array>
#include <vector>

namespace windows {

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

using ascii::hexDigitValue;
using ascii::isDigit;
using ascii::isLetter;

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

    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE)(bytes);
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringConverter::Utf16BE)(bytes);
    return decodeWindows1252(bytes);
}

bool isRichText(QByteArrayView bytes)
{
    return bytes.startsWith("{\\rtf");
}

namespace {

// Walks a rich-text document once, keeping the text of the groups that hold
// document text.
class RichTextReader {
public:
    explicit RichTextReader(QByteArrayView rtf) : m_rtf(rtf) { m_out.reserve(rtf.size() / 2); }

    QString text()
    {
        while (m_at < m_rtf.size()) {
            const char c = m_rtf[m_at];
            if (c == '{') {
                m_outer.push_back(m_state);
                m_fallbackLeft = 0;
                ++m_at;
            } else if (c == '}') {
                if (!closeGroup())
                    break; // the document's own group has ended
            } else if (c == '\r' || c == '\n') {
                ++m_at;
            } else if (c != '\\') {
                put(cp1252(static_cast<unsigned char>(c)));
                ++m_at;
            } else if (m_at + 1 >= m_rtf.size()) {
                ++m_at;
            } else if (isLetter(m_rtf[m_at + 1])) {
                controlWord();
            } else {
                controlSymbol();
            }
        }
        return m_out;
    }

private:
    struct State {
        bool skip = false;
        int fallbackLength = 1; // \uc: how many fallback characters follow each \u
    };

    void put(char16_t ch)
    {
        if (m_fallbackLeft > 0) {
            --m_fallbackLeft;
            return;
        }
        if (!m_state.skip)
            m_out.append(QChar(ch));
    }

    bool closeGroup()
    {
        m_fallbackLeft = 0;
        if (m_outer.empty())
            return false;
        m_state = m_outer.back();
        m_outer.pop_back();
        ++m_at;
        return !m_outer.empty();
    }

    // \word, an optional signed number, and one blank that belongs to it.
    void controlWord()
    {
        const qsizetype n = m_rtf.size();
        qsizetype j = m_at + 1;
        while (j < n && isLetter(m_rtf[j]))
            ++j;
        const QByteArrayView word = m_rtf.sliced(m_at + 1, j - m_at - 1);
        bool hasParam = false;
        const bool negative = j + 1 < n && m_rtf[j] == '-' && isDigit(m_rtf[j + 1]);
        if (negative)
            ++j;
        long long param = 0;
        for (; j < n && isDigit(m_rtf[j]); ++j) {
            hasParam = true;
            if (param < 1'000'000'000)
                param = param * 10 + (m_rtf[j] - '0');
        }
        if (negative)
            param = -param;
        if (j < n && m_rtf[j] == ' ')
            ++j;
        m_at = j;
        applyControlWord(word, hasParam, param);
    }

    void applyControlWord(QByteArrayView word, bool hasParam, long long param)
    {
        if (word == "bin") {
            if (hasParam && param > 0)
                m_at += std::min<long long>(param, m_rtf.size() - m_at);
        } else if (word == "u" && hasParam) {
            m_fallbackLeft = 0;
            if (param >= -32768 && param <= 65535)
                put(static_cast<char16_t>(param < 0 ? param + 65536 : param));
            m_fallbackLeft = m_state.fallbackLength;
        } else if (word == "uc" && hasParam) {
            m_state.fallbackLength = static_cast<int>(std::max(0LL, param));
        } else if (isSkippedDestination(word)) {
            m_state.skip = true;
        } else if (const char16_t ch = symbolFor(word)) {
            m_fallbackLeft = 0;
            put(ch);
        }
    }

    // \ and one character that is not a letter.
    void controlSymbol()
    {
        const char symbol = m_rtf[m_at + 1];
        m_at += 2;
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
            m_state.skip = true;
            break;
        case '\r': case '\n':
            put(u'\n');
            break;
        case '\'':
            if (m_at + 1 < m_rtf.size() && hexDigitValue(m_rtf[m_at]) >= 0 && hexDigitValue(m_rtf[m_at + 1]) >= 0) {
                put(cp1252(static_cast<unsigned char>(hexDigitValue(m_rtf[m_at]) * 16 + hexDigitValue(m_rtf[m_at + 1]))));
                m_at += 2;
            }
            break;
        default: // \- optional hyphen, \| and others carry no text
            break;
        }
    }

    QByteArrayView m_rtf;
    qsizetype m_at = 0;
    std::vector<State> m_outer;
    State m_state;
    int m_fallbackLeft = 0;
    QString m_out;
};

} // namespace

QString richTextToPlainText(QByteArrayView rtf)
{
    return RichTextReader(rtf).text();
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

} // namespace windows
