#include "launch/task.h"

#include <QStringList>

namespace launch {

namespace {

constexpr char16_t kReplacement = u'\uFFFD';
constexpr int kTabWidth = 8;

// Characters that would change how the rest is shown: controls, and
// formatting such as the marks that turn text right to left.
bool isUnsafe(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// A terminal's escape sequences (colours, cursor moves, titles) say nothing
// to a reader: they are left out, up to their end. CSI ends in a byte from
// 0x40 to 0x7E, OSC in BEL or ST; other escapes are two characters.
qsizetype skipEscape(const QString &line, qsizetype at)
{
    const qsizetype size = line.size();
    if (at + 1 >= size)
        return size;
    const QChar kind = line.at(at + 1);
    if (kind == u'[') {
        qsizetype i = at + 2;
        while (i < size && !(line.at(i).unicode() >= 0x40 && line.at(i).unicode() <= 0x7E))
            ++i;
        return std::min(i + 1, size);
    }
    if (kind == u']') {
        for (qsizetype i = at + 2; i < size; ++i) {
            if (line.at(i) == u'\a')
                return i + 1;
            if (line.at(i) == u'\x1b' && i + 1 < size && line.at(i + 1) == u'\\')
                return i + 2;
        }
        return size;
    }
    return at + 2;
}

QString readableLine(const QString &line)
{
    // What a terminal would show of a line rewritten after carriage returns
    // (a progress count): its last text.
    QString shown = line;
    if (const qsizetype cr = line.lastIndexOf(u'\r', line.size() - 2); cr >= 0)
        shown = line.mid(cr + 1);
    if (shown.endsWith(u'\r'))
        shown.chop(1);

    QString out;
    out.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size();) {
        const QChar c = shown.at(i);
        if (c == u'\x1b') {
            i = skipEscape(shown, i);
            continue;
        }
        if (c == u'\t')
            out += QString(kTabWidth - out.size() % kTabWidth, u' ');
        else
            out += isUnsafe(c) ? QChar(kReplacement) : c;
        ++i;
    }
    return out;
}

} // namespace

TaskWatch::TaskWatch(QObject *parent) : QObject(parent) {}

TaskWatch::~TaskWatch() = default;

bool TaskWatch::isWatching() const
{
    return m_source != nullptr;
}

void TaskWatch::finish()
{
    m_source.reset();
    emit finished();
}

QString readableOutput(const QByteArray &output)
{
    // Bytes that are not UTF-8 become U+FFFD.
    const QStringList lines = QString::fromUtf8(output).split(u'\n');
    QStringList shown;
    for (qsizetype i = lines.size(); i-- > 0 && shown.size() < kOutputTailLines;) {
        QString line = readableLine(lines.at(i));
        while (line.endsWith(u' '))
            line.chop(1);
        if (!line.isEmpty() || !shown.isEmpty())
            shown.prepend(line);
    }
    while (!shown.isEmpty() && shown.front().isEmpty())
        shown.removeFirst();
    return shown.join(u'\n');
}

} // namespace launch
