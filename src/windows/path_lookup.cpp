#include "windows/path_lookup.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace ui {

namespace {

// The entry of `dir` whose name equals `name` ignoring case, or empty.
QString findIgnoringCase(const QString &dir, const QString &name)
{
    QDirIterator it(dir.isEmpty() ? QStringLiteral(".") : dir,
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().compare(name, Qt::CaseInsensitive) == 0)
            return it.fileName();
    }
    return {};
}

} // namespace

QString resolveRelativePath(QStringView relative)
{
    QString asWritten = relative.toString();
    asWritten.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (asWritten.isEmpty() || QFileInfo::exists(asWritten))
        return asWritten;

    const QStringList parts = asWritten.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString found;
    for (const QString &part : parts) {
        const QString candidate = found.isEmpty() ? part : found + QLatin1Char('/') + part;
        if (QFileInfo::exists(candidate) || part == QLatin1String(".") || part == QLatin1String("..")) {
            found = candidate;
            continue;
        }
        const QString match = findIgnoringCase(found, part);
        if (match.isEmpty())
            return asWritten;
        found = found.isEmpty() ? match : found + QLatin1Char('/') + match;
    }
    return found;
}

} // namespace ui
