#include "ui/data_file.h"

#include "platform/files.h"

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

std::variant<DataFile, DataFileFailure> readDataFile(QStringView relative, qint64 limit)
{
    const QByteArray path = QFile::encodeName(resolveRelativePath(relative));
    const QString shown = platform::shownPath(path);
    auto read = platform::readWholeFile(path, limit);
    const auto *failure = std::get_if<platform::FileFailure>(&read);
    if (!failure)
        return DataFile{std::get<QByteArray>(std::move(read)), shown};
    switch (failure->kind) {
    case platform::FileFailure::NotFound:
        return DataFileFailure{ErrorNumber::FileNotFound, QStringLiteral("File not found: %1").arg(shown)};
    case platform::FileFailure::Denied:
        return DataFileFailure{ErrorNumber::PermissionDenied, QStringLiteral("Cannot open %1: %2").arg(shown, failure->reason)};
    case platform::FileFailure::TooLarge:
        return DataFileFailure{ErrorNumber::PathFileAccess,
                               QStringLiteral("Cannot read %1: it holds %2 bytes (%3 MiB), more than the %4 MiB such a "
                                              "file may hold")
                                   .arg(shown)
                                   .arg(failure->size)
                                   .arg(failure->size >> 20)
                                   .arg(limit >> 20)};
    case platform::FileFailure::NotRegular:
    case platform::FileFailure::Other:
        break;
    }
    return DataFileFailure{ErrorNumber::PathFileAccess, QStringLiteral("Cannot read %1: %2").arg(shown, failure->reason)};
}

} // namespace ui
