#pragma once
// The program's data files (pictures, the readme), named relative to the
// current directory with backslashes ("graphics\\atari.gif") and found in any
// letter case (platform::findFile). Where the current directory has none, the
// copy installed with the program serves.

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

// The folder of the data files installed with the program, found from the
// executable's own folder so that any install prefix (and the build tree)
// works. Needs the application object.
QString installedDataFolder();

// The whole content of the data file `relative`, found in any letter case and
// read without waiting on a pipe or device; a file over `limit` bytes is
// refused with its size. The current directory's copy wins; only when it has
// none is the installed one read.
std::variant<DataFile, DataFileFailure> readDataFile(QStringView relative, qint64 limit);

} // namespace ui
