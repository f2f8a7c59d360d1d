#pragma once
// Loading the program's picture files (GIF, BMP, JPEG) by relative path.

#include "windows/error_report.h"

#include <QPixmap>
#include <QString>
#include <QStringView>

#include <variant>

namespace ui {

struct PictureFailure {
    ErrorNumber number;
    QString description; // names the file and the reason
};

std::variant<QPixmap, PictureFailure> loadPicture(QStringView relativePath);

} // namespace ui
