#include "launch/script_command_line.h"

namespace launch {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray collapsePercents(const QByteArray &line)
{
    QByteArray out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        out += line.at(i);
        if (line.at(i) == '%' && i + 1 < line.size() && line.at(i + 1) == '%')
            ++i;
    }
    return out;
}

} // namespace

std::vector<QByteArray> splitScriptCommandLine(const QByteArray &scriptLine)
{
    const QByteArray line = collapsePercents(scriptLine);
    const qsizetype n = line.size();
    std::vector<QByteArray> args;
    qsizetype i = 0;

    const auto skipBlanks = [&] {
        while (i < n && isBlank(line.at(i)))
            ++i;
    };

    // The program name knows no backslash escapes: quotes only group.
    skipBlanks();
    if (i < n) {
        QByteArray program;
        bool quoted = false;
        for (; i < n; ++i) {
            const char c = line.at(i);
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && isBlank(c))
                break;
            else
                program += c;
        }
        args.push_back(program);
    }

    for (;;) {
        skipBlanks();
        if (i >= n)
            break;
        QByteArray arg;
        bool quoted = false;
        while (i < n) {
            const char c = line.at(i);
            if (!quoted && isBlank(c))
                break;
            if (c == '\\') {
                qsizetype end = i;
                while (end < n && line.at(end) == '\\')
                    ++end;
                const qsizetype count = end - i;
                if (end < n && line.at(end) == '"') {
                    arg += QByteArray(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        ++end;
                    }
                } else {
                    arg += QByteArray(count, '\\');
                }
                i = end;
            } else if (c == '"') {
                if (quoted && i + 1 < n && line.at(i + 1) == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace launch
