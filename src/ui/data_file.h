#pragma once
// The program's data files (pictures, the readme), named relative to the
// current directory with backslashes ("graphics\\atari.gif"). On a
// case-sensitive file system a folder copied from Windows may spell them
// differently, so a path that does not exist as written is looked up again
// one component at a time, ignoring case.

#include "ui/error_report.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <variant>

namespace ui {

// The path to open for `relative`: the existing spelling when one is found,
// otherwise the path as written (with the platform's separator).
QString resolveRelativePath(QStringView relative);

struct DataFileFailure {
    ErrorNumber number;
    QString description; // names the file and the reason
};

struct DataFile {
    QByteArray bytes;
    QString shown; // where it was found, for messages
};

// The whole content of the data file `relative`, found in any letter case and
// read without waiting on a pipe or device; a file over `limit` bytes is
// refused with its size.
std::variant<DataFile, DataFileFailure> readDataFile(QStringView relative, qint64 limit);

} // namespace ui
