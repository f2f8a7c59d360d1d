#pragma once
// The program's data files (pictures, the readme), named relative to the
// current directory with backslashes ("graphics\\atari.gif") and found in any
// letter case (platform::findFile).

#include "ui/error_report.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <variant>

namespace ui {

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
