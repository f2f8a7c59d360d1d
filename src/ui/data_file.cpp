#include "ui/data_file.h"

#include "platform/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace ui {

QString installedDataFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1String("/" ZV_DATA_FROM_BINARY));
}

std::variant<DataFile, DataFileFailure> readDataFile(QStringView relative, qint64 limit)
{
    const QString name = relative.toString().replace(QLatin1Char('\\'), QLatin1Char('/'));
    QByteArray path = platform::nameBytes(name);
    if (auto here = platform::findFile(path)) {
        path = *here;
    } else {
        const QByteArray installed = platform::nameBytes(installedDataFolder() + QLatin1Char('/') + name);
        const auto there = platform::findFile(installed);
        if (!there)
            return DataFileFailure{ErrorNumber::FileNotFound,
                                   QStringLiteral("File not found: %1, nor among the installed defaults as %2")
                                       .arg(platform::shownPath(path), platform::shownPath(installed))};
        path = *there;
    }
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
